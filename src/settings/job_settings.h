#pragma once
// What a job does: the one record the settings input edits and every pass reads.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

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
enum LineEndConvention : std::int32_t { kLineEndNone = 0, kLineEndDos = 1, kLineEndMac = 2, kLineEndUnix = 3 };

enum UrlConversion : std::int32_t {
    kUrlKeep = 0,
    kUrlRelative = 1,
    kUrlRoot = 2,
    kUrlAbsolute = 3,
    kUrlRevert = 4,
};

enum ReadOnlyPolicy : std::int32_t { kReadOnlyAsk = 0, kReadOnlySkip = 1, kReadOnlyMakeWritable = 2 };

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
    bool ReportUnusedFiles = false;
    bool ReportExternalRefs = false;
    bool ReportEstimated = false;
    std::string ServerDefaultFiles;
    bool Rename = false;
    std::int32_t AutoReadOnly = kReadOnlyAsk;
    bool ReportSpecial = false;
    bool RemoveOrphans = false;
    bool MoveOrphans = false;
    std::string MoveToDir;

    bool operator==(const JobSettings&) const = default;
};

// Reads the record from the settings file at "path". False, and the record unchanged, when there is no
// such file.
bool LoadSettings(std::string_view path, JobSettings& settings);
// Writes the record into the settings file at "path", keeping every other line of it. Creates the file
// (and its folder) when it does not exist yet. False when it cannot be written.
bool SaveSettings(std::string_view path, const JobSettings& settings);

}  // namespace korvel
