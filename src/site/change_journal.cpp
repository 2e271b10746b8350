#include "site/change_journal.h"

#include <vector>

#include "platform/files.h"
#include "report/log.h"
#include "res/strings.h"
#include "site/node.h"

namespace korvel {
namespace {
ChangeJournal* current = nullptr;
std::int32_t hardLinks = kHardLinksSkip;

// Another name of the file "node" names (device and inode) among the site's files, or "".
std::string otherNameInSite(const Node& node, dev_t device, ino_t inode) {
    const Node* top = &node;
    while (top->getParent())
        top = top->getParent();
    std::vector<const Node*> pending{top};
    while (!pending.empty()) {
        const Node* at = pending.back();
        pending.pop_back();
        if (const auto* dir = dynamic_cast<const DirNode*>(at)) {
            pending.insert(pending.end(), dir->children().begin(), dir->children().end());
            continue;
        }
        platform::FileInfo info;
        if (at == &node || platform::fileInfo(at->path(), info) || info.isSymlink) continue;
        if (info.device == device && info.inode == inode) return at->path();
    }
    return {};
}
}  // namespace

ChangeJournal* currentJournal() { return current; }

JournalScope::JournalScope(ChangeJournal* journal) : previous_(current) { current = journal; }

JournalScope::~JournalScope() { current = previous_; }

HardLinkScope::HardLinkScope(std::int32_t policy) : previous_(hardLinks) {
    hardLinks = policy;
}

HardLinkScope::~HardLinkScope() {
    hardLinks = previous_;
}

int replaceFailureMessage(std::error_code ec, ContentChange::Kind kind) {
    if (ec == platform::FileError::ChangedSinceRead)
        return kind == ContentChange::Kind::Links ? res::kPageChangedSinceRead
                                                  : res::kLineEndsChangedSinceRead;
    if (ec == platform::FileError::HardLinked) return res::kHardLinkSkipped;
    if (ec == platform::FileError::NoTemporaryBeside) return res::kNoTemporaryBeside;
    if (ec == platform::FileError::OwnerNotKept) return res::kOwnerNotKept;
    return res::kFileWriteFailed;
}

bool replaceRecorded(const Node& node, std::string_view before, std::string_view after,
                     const ContentChange& why, const platform::FileStamp* readAs) {
    platform::FileInfo st;
    if (platform::fileInfo(node.path(), st) || st.kind == platform::EntryKind::Missing) {
        node.logError(res::kFileWriteFailed);
        return false;
    }
    platform::ReplaceOptions options;
    options.readAs = readAs;
    options.splitHardLinks = hardLinks == kHardLinksSplit;
    ContentChange recorded = why;
    if (st.linkCount > 1) {
        if (!options.splitHardLinks) {
            node.logError(res::kHardLinkSkipped);
            return false;
        }
        recorded.hardLinkOf = otherNameInSite(node, st.device, st.inode);
    }
    if (ChangeJournal* journal = currentJournal();
        journal && !journal->willReplace(node.path(), before, after, recorded))
        return false;
    if (const std::error_code ec = platform::replaceFileContents(node.path(), after, options)) {
        // Every failure leaves the file exactly as it was.
        node.logError(replaceFailureMessage(ec, why.kind));
        return false;
    }
    // The new file has the old one's mode: a read-only file that the person let be changed stays so.
    if (node.isReadOnly()) currentLog().errorDetail(res::kReadOnlyKept, node.path());
    if (ChangeJournal* journal = currentJournal(); journal && !platform::ReplaceBatch::current())
        journal->changeMade();
    return true;
}

}  // namespace korvel
