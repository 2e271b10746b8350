#include "site/change_journal.h"

#include "platform/files.h"
#include "report/log.h"
#include "res/strings.h"
#include "site/node.h"

namespace korvel {
namespace {
ChangeJournal* current = nullptr;
}  // namespace

ChangeJournal* currentJournal() { return current; }

JournalScope::JournalScope(ChangeJournal* journal) : previous_(current) { current = journal; }

JournalScope::~JournalScope() { current = previous_; }

bool replaceRecorded(const ENode& node, std::string_view before, std::string_view after,
                     const ContentChange& why) {
    if (ChangeJournal* journal = currentJournal(); journal && !journal->willReplace(node.path(), before, after, why))
        return false;
    std::string keptCopy;
    if (const std::error_code ec = platform::replaceFileContents(node.path(), after, &keptCopy)) {
        if (ec == platform::FileError::CopyKept) {
            // The one failure that leaves the file neither old nor new: say where its old bytes are.
            node.logError(res::kUpdateRestoreFailed);
            currentLog().errorDetail(res::kOriginalCopyKept, keptCopy);
        } else {
            // Anything else leaves the file exactly as it was.
            node.logError(res::kFileWriteFailed);
        }
        return false;
    }
    if (ChangeJournal* journal = currentJournal(); journal && !platform::ReplaceBatch::current())
        journal->changeMade();
    return true;
}

}  // namespace korvel
