#pragma once
// The write-ahead record of what a job changes on disk, so that the change can be undone later, from
// another process too and after the job was killed halfway. Code that changes the site (renames, moves,
// rewrites, directories made or removed, files sent to the trash) tells the current journal first and
// makes the change only when the journal could record it. With no journal in force (a check, most
// tests) nothing is recorded and every change may go ahead.
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/file_info.h"
#include "settings/job_settings.h"
#include "site/probe.h"

namespace korvel {

// One link of a page as a rewrite changed it: the line it stands on, its text before and after.
struct LinkChange {
    std::int64_t line = 0;
    std::string before;
    std::string after;

    bool operator==(const LinkChange&) const = default;
};

// Why a file's contents are replaced; the undo reports the restored file in the matching section.
struct ContentChange {
    enum class Kind : std::uint8_t { Links, LineEnds };
    Kind kind = Kind::Links;
    LineEndKind fromLineEnd = kNoLineEnd;  // Kind::LineEnds
    LineEndKind toLineEnd = kNoLineEnd;    // Kind::LineEnds
    std::vector<LinkChange> links;         // Kind::Links, in page order
    // The file had other names and only this one was given the new content: another of its names inside
    // the site (same device and inode), so that an undo can join them again; empty when none is there.
    std::string hardLinkOf;

    bool operator==(const ContentChange&) const = default;
};

class ChangeJournal {
  public:
    virtual ~ChangeJournal() = default;

    // Each "will" call comes right before the change and returns whether it was recorded (and flushed);
    // on false the journal has written why into the errors section, and the caller must not make the
    // change. A change recorded but then not made (it failed, or the process died first) is harmless: the
    // undo finds the entry as it was and passes over it.

    // "from" is about to be renamed or moved to "to" (a file or a directory).
    virtual bool willRename(std::string_view from, std::string_view to) = 0;
    // The file "path", whose bytes are now "before", is about to be replaced by "after".
    virtual bool willReplace(std::string_view path, std::string_view before, std::string_view after,
                             const ContentChange& why) = 0;
    // The directory "path" is about to be made.
    virtual bool willMakeDirectory(std::string_view path) = 0;
    // The empty directory "path" is about to be removed.
    virtual bool willRemoveDirectory(std::string_view path) = 0;
    // The file "path" is about to go to the desktop trash; trashed() follows once it is there.
    virtual bool willTrash(std::string_view path) = 0;
    // "path" is now "inTrash" in the trash.
    virtual void trashed(std::string_view path, std::string_view inTrash) = 0;
    // A change announced before has been made. A journal that is not told looks for itself.
    virtual void changeMade() {}
};

// The journal in force in this process, or null.
ChangeJournal* currentJournal();

class Node;

// Puts "policy" (a HardLinkPolicy) in force for rewrites for its lifetime, then restores the one before.
// Without a scope multiply-linked files are left alone: nobody has said that they may be parted.
class HardLinkScope {
  public:
    explicit HardLinkScope(std::int32_t policy);
    ~HardLinkScope();
    HardLinkScope(const HardLinkScope&) = delete;
    HardLinkScope& operator=(const HardLinkScope&) = delete;

  private:
    std::int32_t previous_;
};

// The errors-section message for a replacement of a file that failed with "ec" (the reason of a
// rewrite of "kind").
int replaceFailureMessage(std::error_code ec, ContentChange::Kind kind);

// Replaces the bytes of "node"'s file, now "before" (as read when "readAs" was taken; null: as the file is
// found now), with "after": recorded first in the journal in force (not replaced when it cannot be
// recorded; the journal has said why), then replaced atomically, provided the file has not changed since
// it was read. A file with more than one name follows the hard-link policy in force. A failure, or a file
// left alone, is written into the errors section with the node's path. True when the file holds "after"
// (in a replace batch: once the batch commits).
bool replaceRecorded(const Node& node, std::string_view before, std::string_view after,
                     const ContentChange& why, const platform::FileStamp* readAs = nullptr);

// Puts "journal" in force for its lifetime (null: none), then restores the one before.
class JournalScope {
  public:
    explicit JournalScope(ChangeJournal* journal);
    ~JournalScope();
    JournalScope(const JournalScope&) = delete;
    JournalScope& operator=(const JournalScope&) = delete;

  private:
    ChangeJournal* previous_;
};

}  // namespace korvel
