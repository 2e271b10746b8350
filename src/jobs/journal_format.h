#pragma once
// The undo journal's text: one entry per line, its fields escaped ("\\", "\t", "\n" and "\r" as two
// characters each) and joined by tabs, the last field a hash of the rest of the line, so that a torn or
// altered line does not pass for an entry. Reading it changes nothing and trusts nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::jobs {

// Entry tags.
inline constexpr char kHeaderTag = 'H';
inline constexpr char kRenameTag = 'R';
inline constexpr char kReplaceTag = 'C';
inline constexpr char kMakeDirectoryTag = 'M';
inline constexpr char kRemoveDirectoryTag = 'D';
inline constexpr char kTrashTag = 'T';
inline constexpr char kTrashedTag = 't';
// A file the job made in the site (a "RENAME.LOG", the external-links page): path, size, hash.
inline constexpr char kCreatedTag = 'N';
// Written by an undo after it put an entry back: the entry's line number. A rerun of an undo that was
// stopped halfway passes over what it already did, whatever that did to the paths of older entries.
inline constexpr char kUndoneTag = 'U';

inline constexpr std::string_view kJournalMagic = "korvel-undo";
inline constexpr std::string_view kJournalVersion = "2";

// One line of the journal (with its line end) holding "fields".
std::string journalLine(const std::vector<std::string_view>& fields);

struct JournalHeader {
    std::string version;
    std::string top;         // the top directory's canonical path: the journal's key
    std::string job;         // "fix" or "orphans"
    std::string time;        // when the job began
    std::string spelledTop;  // the top directory as the job named it: its entries' paths begin with it
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool identityKnown = false;  // device and inode were recorded
    std::string id;              // the job's own id; its saved copies' names begin with it
    std::string keep;            // an orphans job: the directory it moved orphans into ("" for none)
};

struct JournalEntry {
    char tag = 0;
    std::vector<std::string> fields;  // after the tag
    std::string text;                 // the entry's lines as the journal has them, to keep it
    std::size_t line = 0;             // 1-based line number of the entry
    std::string inTrash;              // a trash entry: where the file went, once known
    bool trashKnown = false;
    bool undone = false;  // an undo marked it done
};

enum class LineFault { Checksum, Malformed, Unfinished };

struct DamagedLine {
    std::size_t line = 0;
    LineFault fault = LineFault::Checksum;
};

struct JournalText {
    bool hasHeader = false;       // the first line is a readable header
    bool otherDirectory = false;  // the header names another top directory
    bool unknownVersion = false;
    JournalHeader header;
    std::string headerText;
    std::vector<JournalEntry> entries;  // oldest first
    std::vector<DamagedLine> damaged;   // lines that could not be read, in order
};

// Reads a journal's text; "top" is the canonical path of the directory whose journal it should be.
JournalText parseJournal(std::string_view content, std::string_view top);

}  // namespace korvel::jobs
