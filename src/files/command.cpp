#include "files/command.h"

namespace korvel {

bool ECommand::execute() {
    ++executeCount_;
    return doExecute();
}

bool ECommand::unexecute() {
    --executeCount_;
    const bool result = doUnexecute();
    undoable_ = false;
    return result;
}

}  // namespace korvel
