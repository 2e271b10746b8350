#pragma once
// What a job does: the one record the settings input edits and every pass reads.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

enum TargetFileSystem : std::int32_t {
    kTargetNone = 0,
    kTargetIso9660 = 1,
    kTargetDos = 2,
    kTargetVfat = 3,
    kTargetNtfs = 4,
    kTargetMacintosh = 5,
    kTargetUnix = 6,
};

enum CaseConversion : std::int32_t { kCaseNone = 0, kCaseLower = 1, kCaseUpper = 2 };

// Also the numbers of LineEndKind: 0 none found, 1 CR LF, 2 CR, 3 LF.
enum LineEndConvention : std::int32_t {
    kLineEndNone = 0,
    kLineEndDos = 1,
    kLineEndMac = 2,
    kLineEndUnix = 3
};

enum UrlConversion : std::int32_t {
    kUrlKeep = 0,
    kUrlRelative = 1,
    kUrlRoot = 2,
    kUrlAbsolute = 3,
    kUrlRevert = 4,
};

enum ReadOnlyPolicy : std::int32_t { kReadOnlyAsk = 0, kReadOnlySkip = 1, kReadOnlyMakeWritable = 2 };

// What a rewrite does with a file that has more than one name (hard links): leave it alone, or give only
// the site's name the new content (the other names keep the old bytes).
enum HardLinkPolicy : std::int32_t { kHardLinksSkip = 0, kHardLinksSplit = 1 };

struct JobSettings {
    std::int32_t Target = kTargetNone;
    std::int32_t CaseConv = kCaseNone;
    std::map<std::string, std::string> FilenameExtensions;  // old extension -> new, both without the dot
    std::string Directory;
    bool UseSubdirs = false;
    bool LogSubdirs = false;
    bool AutoFileName = false;
    std::int32_t LineEnd = kLineEndNone;
    bool FilesOnly = false;
    bool UpdateUrls = false;
    std::string HomePage;
    std::string Server;
    std::int32_t AbsRelCnvrt = kUrlKeep;
    bool ReportUnresolvedRefs = false;
    bool ReportBrokenAnchors = false;
    bool ReportUnusedFiles = false;
    bool ReportExternalRefs = false;
    bool ReportEstimated = false;
    std::string ServerDefaultFiles;
    bool Rename = false;
    std::int32_t AutoReadOnly = kReadOnlyAsk;
    std::int32_t HardLinks = kHardLinksSkip;
    bool ReportSpecial = false;
    bool RemoveOrphans = false;
    bool MoveOrphans = false;
    std::string MoveToDir;
    // Patterns of files that stay out of the orphans (keep_patterns.h): what only a script loads.
    std::vector<std::string> KeepPatterns;

    bool operator==(const JobSettings&) const = default;
};

// Whether file names can change at all: a target convention, a case conversion or an extension mapping.
bool namesCanChange(const JobSettings& settings);

// Reads the record from the settings file at "path". False, and the record unchanged, when there is no
// such file (no regular file at that path, or one that cannot be read).
// Stored enumerations outside their range read as 0, which changes nothing. A stored path or server
// longer than the host allows reads as empty rather than cut, since a cut path may name another tree.
bool LoadSettings(std::string_view path, JobSettings& settings);
// The record as a settings file that holds none of its keys gives it: every default of the file, not the
// all-false record that nothing has loaded. What a job starts from when there is no settings file yet.
JobSettings settingsFileDefaults();
// Writes the record into the settings file at "path", keeping every other line of it. Creates the file
// (and its folder) when it does not exist yet. False when it cannot be written, and also when a value
// could not be stored so that it reads back the same (a string with a line break or NUL, or longer than
// the host allows; an extension mapping that checkExtensionMapping refuses): such a value is left out
// (a string keeps what the file held before), everything else is still written.
bool SaveSettings(std::string_view path, const JobSettings& settings);

// Why an extension mapping cannot be stored.
enum class MappingProblem {
    None,
    ArrowInOldExtension,  // "->" separates the two extensions in the settings file
    LineBreakOrNul,       // would split or end the line in the settings file
};

// An extension as the map keeps it: without leading dots (".htm" is "htm").
std::string normaliseExtension(std::string_view extension);
// The old extension as the map keys it: normalised and in ASCII lower case, since a name's extension is
// looked up lower-cased and an upper-case key could never match.
std::string normaliseOldExtension(std::string_view extension);
// Whether old -> new (after normalising) can be stored and read back as the same entry. An empty old
// extension is allowed: it maps names that have no extension.
MappingProblem checkExtensionMapping(std::string_view oldExtension, std::string_view newExtension);
// Adds or replaces the mapping of the normalised old extension. False, and the map unchanged, when
// checkExtensionMapping refuses it; "why" (when given) receives the problem.
bool setExtensionMapping(JobSettings& settings, std::string_view oldExtension, std::string_view newExtension,
                         MappingProblem* why = nullptr);

}  // namespace korvel
