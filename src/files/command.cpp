#include "files/command.h"

namespace korvel {

bool Command::execute() {
    ++executeCount_;
    return doExecute();
}

bool Command::unexecute() {
    --executeCount_;
    const bool result = doUnexecute();
    undoable_ = false;
    return result;
}

}  // namespace korvel
