#pragma once
// A command: executed once, it may later be asked to undo what it did. The jobs are commands, and so are
// the file operations that move or trash a list of files, so that a job can keep one to undo it.
#include <cstdint>

namespace korvel {

class Command {
  public:
    virtual ~Command() = default;
    bool execute();
    bool unexecute();
    bool undoable() const { return undoable_; }
    std::int32_t executeCount() const { return executeCount_; }

  protected:
    virtual bool doExecute() = 0;
    virtual bool doUnexecute() { return true; }
    bool undoable_ = false;

  private:
    std::int32_t executeCount_ = 0;
};

}  // namespace korvel
