#pragma once
// The conversion pass: gives every file and directory whose name does not fit the target convention a
// conforming name that is unique among its siblings, and stores it as the node's new name. It renames
// nothing on disk.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "settings/extension_presets.h"
#include "site/visitor.h"

namespace korvel {
class Node;
class DirNode;
class FileNode;
class HtmlNode;
class ReportSection;
class GUIProgress;
struct JobSettings;
}  // namespace korvel

namespace korvel::names {

// The names taken among one directory's children, counted (case twins each count), so that a uniqueness
// test is one hashed lookup whatever the size of the directory. Names are compared without regard to the
// case of A to Z unless "caseBlind" is false (a target that tells them apart). It also remembers, per stem,
// the next counter worth trying, so that many clashes of one stem stay linear.
class SiblingNames {
  public:
    explicit SiblingNames(bool caseBlind = true) : caseBlind_(caseBlind) {}
    // Every child's name as it will be: its new name when it has one, else its current name.
    explicit SiblingNames(const DirNode& dir, bool caseBlind = true);

    void add(std::string_view name);
    // Takes away one occurrence (a node's own name, so that it does not count against the node).
    void remove(std::string_view name);
    bool contains(std::string_view name) const;

    // For makeUnique: the counter to start from for a stem; 0 when none is remembered.
    std::int64_t nextCounter(const std::string& stemKey) const;
    void rememberCounter(const std::string& stemKey, std::int64_t next);

  private:
    std::string key(std::string_view name) const;

    bool caseBlind_ = true;
    std::unordered_map<std::string, std::uint32_t> taken_;
    std::unordered_map<std::string, std::int64_t> nextCounter_;
};

enum class Uniqueness {
    AlreadyUnique,  // "name" is left as it was
    MadeUnique,     // "name" now carries a counter ("index_1.htm", "longn_10.htm")
    NoFit,          // no unique name fits in "maxLength": "name" is left as it was and must not be used
};

// Makes "name" unique among the names in "taken" (which must not hold the node's own name): on a clash
// "_N" goes before the extension (an earlier "_N" counts on), cutting the base, never the extension, to
// keep within "maxLength" (and within 8 + extension for 8.3 lengths). Cuts fall on UTF-8 boundaries.
// Reports nothing: the caller decides what a NoFit means.
Uniqueness makeUnique(std::string& name, char replacement, std::int32_t maxLength, SiblingNames& taken);
// The same among the siblings of "node" as they stand (new names where given), the node itself left out.
// Costs one walk over the siblings: for one-off callers such as the rename prompt. "caseBlind" as for
// SiblingNames.
Uniqueness makeUnique(const Node& node, std::string& name, char replacement, std::int32_t maxLength,
                      bool caseBlind = true);

// One of the ready-made single mappings the mappings dialog offers ("htm->html", ...).
struct ExtensionMapping {
    std::string_view oldExtension;
    std::string_view newExtension;
};
// The thirteen predefined single mappings, in the order the dialog lists them. (The two whole-map presets
// are in settings/extension_presets.h.)
std::span<const ExtensionMapping> predefinedMappings();

// "name" with its extension replaced through "map": the extension is the text after the last "." (empty
// when there is none, so an entry with an empty key appends one); looked up in ASCII lower case, the value
// used as stored. Nothing when the map has no entry for it.
std::optional<std::string> mapExtension(std::string_view name, const ExtensionMap& map);

// "name" brought into the target's convention and cut to "budget" bytes: case, characters, trailing dots
// and spaces (DOS, VFAT, NTFS), 8.3 structure, length (the extension kept when it fits). The result is
// never "", ".", "..", never a reserved device name of the target ("con.html" becomes "con_1.html"), never
// holds "/" or NUL, and starts with "." only when "mayStartWithDot" (the name was hidden already). A name
// left with nothing usable becomes "_1". Nothing when the budget leaves no room.
std::optional<std::string> conformName(std::string_view name, std::int32_t target,
                                       std::int32_t caseConversion, std::int32_t budget,
                                       bool mayStartWithDot);

// One row of a rename table: column 1 is "first" (the node's new name when empty), cut to 36 characters and
// padded to 40; column 2 is "second" (the node's original path when empty). Names that are not valid UTF-8
// are shown escaped. False, and nothing written, when the node has no new name or there is no section.
bool writeRenameRow(ReportSection* section, const Node& node, std::string_view first,
                    std::string_view second);

// The pass. Walk it in pre-order over the directory tree (TypedWalk) so that a directory's
// children come in child order; see convertNames below for the usual way to run it.
class NameConversionPass : public Visitor {
  public:
    // "autoFileName": the running job's AutoFileName; while it is false each new name is put to the person,
    // and "Accept All" sets it. Null: never ask. "extensions": the job's FilenameExtensions, or null.
    // Both must outlive the pass.
    NameConversionPass(std::int32_t target, std::int32_t caseConversion, bool* autoFileName,
                       const ExtensionMap* extensions);
    ~NameConversionPass() override;

    bool visitFile(FileNode& node) override;
    bool visitHtml(HtmlNode& node) override;
    // The top directory is never converted; a directory deeper than kPathWarningThreshold warns once.
    bool visitDir(DirNode& node) override;

    // Maps the extension (files only), converts, asks the person when asking is on; whether the node has
    // a new name afterwards.
    bool convertNode(Node& node, bool isFile);

    // Whether the section of names the person chose not to rename holds anything from this pass. Kept here,
    // per pass, not process-wide: two jobs never share it.
    bool notRenamedInUse() const { return notRenamedInUse_; }

  private:
    bool isOwnOutput(const Node& node);
    std::string topDir_;  // the walk's top directory, for Korvel's own files
    // The directories on the walk's current path, each with its taken names (pre-order keeps this a stack)
    // and the final names of the children visited so far.
    struct OpenDirectory {
        const DirNode* dir;
        SiblingNames names;
        SiblingNames settled;
    };
    // The conforming unique name from "start" (the current name, or the mapped one); stores it as the new
    // name and says whether there is one. "open" holds the names taken beside the node.
    bool convertName(Node& node, std::string_view start, OpenDirectory* open);
    // The taken names of "node"'s directory, made on the first child visited there.
    OpenDirectory& siblingsOf(const Node& node);
    // Puts the new name to the person and acts on the answer.
    void ask(Node& node, SiblingNames* siblings);
    void accept(Node& node, const std::string& replied, SiblingNames* siblings);
    void noteNotRenamed(Node& node);

    std::int32_t target_;
    std::int32_t case_;
    bool* autoFileName_;
    const ExtensionMap* extensions_;
    bool pathWarningShown_ = false;
    bool notRenamedInUse_ = false;
    std::vector<OpenDirectory> open_;
};

// Runs the pass "Validating Filenames" over the tree below "top" with the job's settings (the rename prompt
// may set settings.AutoFileName). Returns the number of nodes that got a new name, or -1 when the person
// cancelled. "total" is the number of nodes for the progress display.
std::int32_t convertNames(DirNode& top, JobSettings& settings, std::int64_t total,
                          GUIProgress* progress = nullptr);

}  // namespace korvel::names
