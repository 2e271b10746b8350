#include "settings/job_settings.h"
#include "platform/ascii.h"

#include <cerrno>
#include <system_error>

#include "platform/paths.h"
#include "platform/profile_file.h"

namespace korvel {

bool namesCanChange(const JobSettings& settings) {
    return settings.Target != kTargetNone || settings.CaseConv != kCaseNone ||
           !settings.FilenameExtensions.empty();
}

namespace {

using platform::ProfileFile;

constexpr std::string_view kSettings = "Settings";
constexpr std::string_view kHtmlSettings = "HTMLSettings";
constexpr std::string_view kOrphanSettings = "OrphanSettings";
constexpr std::string_view kExtensions = "FilenameExtensions";
constexpr std::string_view kArrow = "->";

std::string numberedKey(std::string_view prefix, int n) {
    return std::string(prefix) + std::to_string(n);
}

std::string extKey(int n) {
    return numberedKey("Ext", n);
}

constexpr std::string_view kKeepPrefix = "Keep";

bool holdsLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}

// Paths and the server name are bounded by the host's path limit, not by a fixed buffer: a value cut
// short would name another place.
bool storableText(std::string_view s) {
    return s.size() < platform::kMaxPath && !holdsLineBreakOrNul(s);
}

std::string readText(const ProfileFile& profile, std::string_view section, std::string_view key) {
    std::string value = profile.getString(section, key, {}, ProfileFile::kWhole);
    if (value.size() >= platform::kMaxPath) value.clear();
    return value;
}

// An enumeration read from the file; a number it does not know reads as 0, the value that changes nothing,
// so that no later table is ever indexed with it.
std::int32_t readEnum(const ProfileFile& profile, std::string_view section, std::string_view key,
                      std::int32_t last) {
    const std::int32_t value = profile.getInt(section, key, 0);
    return value >= 0 && value <= last ? value : 0;
}

bool readBool(const ProfileFile& profile, std::string_view section, std::string_view key, bool fallback) {
    return profile.getInt(section, key, fallback ? 1 : 0) != 0;
}

// Collects whether every value went into the profile.
class Writer {
  public:
    explicit Writer(ProfileFile& profile) : profile_(profile) {}

    void integer(std::string_view section, std::string_view key, std::int32_t value) {
        ok_ = !profile_.setInt(section, key, value) && ok_;
    }
    void boolean(std::string_view section, std::string_view key, bool value) {
        integer(section, key, value ? 1 : 0);
    }
    void text(std::string_view section, std::string_view key, std::string_view value) {
        // Left out, the key keeps the value the file held: better than one that reads back as another.
        if (!storableText(value)) {
            ok_ = false;
            return;
        }
        ok_ = !profile_.setString(section, key, value) && ok_;
    }
    void extensions(const std::map<std::string, std::string>& map) {
        std::vector<std::string> entries;
        for (const auto& [oldExt, newExt] : map) {
            if (checkExtensionMapping(oldExt, newExt) != MappingProblem::None) {
                ok_ = false;
                continue;
            }
            entries.push_back(normaliseOldExtension(oldExt) + std::string(kArrow) +
                              normaliseExtension(newExt));
        }
        numbered(kExtensions, "Ext", entries);
    }
    // "values" as the keys prefix1, prefix2, ... of "section", with the keys of a longer list removed.
    void numbered(std::string_view section, std::string_view prefix, const std::vector<std::string>& values) {
        int n = 1;
        for (const std::string& value : values) {
            if (value.empty() || !storableText(value) ||
                profile_.setString(section, numberedKey(prefix, n), value)) {
                ok_ = false;
                continue;
            }
            ++n;
        }
        // Entries left from a longer list would otherwise come back on the next load.
        for (;; ++n) {
            const std::string key = numberedKey(prefix, n);
            if (!profile_.hasKey(section, key) ||
                profile_.getString(section, key, {}, ProfileFile::kWhole).empty()) {
                break;
            }
            profile_.deleteKey(section, key);
        }
    }
    bool ok() const { return ok_; }

  private:
    ProfileFile& profile_;
    bool ok_ = true;
};

bool isMissingFile(std::error_code ec) {
    return ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
}

}  // namespace

std::string normaliseExtension(std::string_view extension) {
    while (!extension.empty() && extension.front() == '.')
        extension.remove_prefix(1);
    return std::string(extension);
}

std::string normaliseOldExtension(std::string_view extension) {
    return platform::asciiLower(normaliseExtension(extension));
}

MappingProblem checkExtensionMapping(std::string_view oldExtension, std::string_view newExtension) {
    if (holdsLineBreakOrNul(oldExtension) || holdsLineBreakOrNul(newExtension))
        return MappingProblem::LineBreakOrNul;
    // The file splits an entry at its first arrow, so only the new extension may hold one.
    if (oldExtension.find(kArrow) != std::string_view::npos) return MappingProblem::ArrowInOldExtension;
    return MappingProblem::None;
}

bool setExtensionMapping(JobSettings& settings, std::string_view oldExtension, std::string_view newExtension,
                         MappingProblem* why) {
    const MappingProblem problem = checkExtensionMapping(oldExtension, newExtension);
    if (why) *why = problem;
    if (problem != MappingProblem::None) return false;
    settings.FilenameExtensions[normaliseOldExtension(oldExtension)] = normaliseExtension(newExtension);
    return true;
}

namespace {

// Reads every field from "profile" over a copy of "settings", so that the caller's record changes at once.
JobSettings readSettings(const ProfileFile& profile, const JobSettings& settings) {
    JobSettings s = settings;
    s.Target = readEnum(profile, kSettings, "Target", kTargetUnix);
    s.CaseConv = readEnum(profile, kSettings, "CaseConv", kCaseUpper);
    s.LineEnd = readEnum(profile, kSettings, "LineEnd", kLineEndUnix);
    s.Rename = readBool(profile, kSettings, "Rename", false);
    s.AutoFileName = readBool(profile, kSettings, "AutoFileName", false);
    s.AutoReadOnly = readEnum(profile, kSettings, "AutoReadOnly", kReadOnlyMakeWritable);
    s.HardLinks = readEnum(profile, kSettings, "HardLinks", kHardLinksSplit);
    s.ReportSpecial = readBool(profile, kSettings, "ReportSpecial", true);
    s.UseSubdirs = readBool(profile, kSettings, "UseSubdirs", true);
    s.LogSubdirs = readBool(profile, kSettings, "LogSubdirs", false);
    s.Directory = readText(profile, kSettings, "Directory");

    s.HomePage = readText(profile, kHtmlSettings, "HomePage");
    s.Server = readText(profile, kHtmlSettings, "Server");
    s.AbsRelCnvrt = readEnum(profile, kHtmlSettings, "AbsRelCnvrt", kUrlRevert);
    s.FilesOnly = readBool(profile, kHtmlSettings, "FilesOnly", false);
    s.ReportUnresolvedRefs = readBool(profile, kHtmlSettings, "ReportUnresolvedRefs", true);
    s.ReportBrokenAnchors = readBool(profile, kHtmlSettings, "ReportBrokenAnchors", true);
    s.ReportUnusedFiles = readBool(profile, kHtmlSettings, "ReportUnusedFiles", true);
    s.ReportExternalRefs = readBool(profile, kHtmlSettings, "ReportExternalRefs", true);
    s.ReportEstimated = readBool(profile, kHtmlSettings, "ReportEstimated", true);

    s.RemoveOrphans = readBool(profile, kOrphanSettings, "RemoveOrphans", false);
    s.MoveOrphans = readBool(profile, kOrphanSettings, "MoveOrphans", false);
    s.MoveToDir = readText(profile, kOrphanSettings, "MoveToDir");
    s.KeepPatterns.clear();
    for (int n = 1;; ++n) {
        std::string pattern = readText(profile, kOrphanSettings, numberedKey(kKeepPrefix, n));
        if (pattern.empty()) break;
        s.KeepPatterns.push_back(std::move(pattern));
    }

    s.FilenameExtensions.clear();
    for (int n = 1;; ++n) {
        // Read whole: a cut entry would map to a different extension.
        const std::string entry = profile.getString(kExtensions, extKey(n), {}, ProfileFile::kWhole);
        const auto arrow = entry.find(kArrow);
        if (entry.empty() || arrow == std::string::npos) break;
        const std::string_view view(entry);
        s.FilenameExtensions[normaliseOldExtension(view.substr(0, arrow))] =
            normaliseExtension(view.substr(arrow + kArrow.size()));
    }
    return s;
}

}  // namespace

bool LoadSettings(std::string_view path, JobSettings& settings) {
    ProfileFile profile;
    if (profile.load(path)) return false;
    settings = readSettings(profile, settings);
    return true;
}

JobSettings settingsFileDefaults() {
    return readSettings(ProfileFile{}, JobSettings{});
}

bool SaveSettings(std::string_view path, const JobSettings& settings) {
    ProfileFile profile;
    // A file that exists but cannot be read must not be replaced by one that holds only these keys.
    if (const auto ec = profile.load(path); ec && !isMissingFile(ec)) return false;

    Writer w(profile);
    w.integer(kSettings, "Target", settings.Target);
    w.integer(kSettings, "CaseConv", settings.CaseConv);
    w.integer(kSettings, "LineEnd", settings.LineEnd);
    w.boolean(kSettings, "Rename", settings.Rename);
    w.boolean(kSettings, "AutoFileName", settings.AutoFileName);
    w.integer(kSettings, "AutoReadOnly", settings.AutoReadOnly);
    w.integer(kSettings, "HardLinks", settings.HardLinks);
    w.boolean(kSettings, "ReportSpecial", settings.ReportSpecial);
    w.boolean(kSettings, "UseSubdirs", settings.UseSubdirs);
    w.boolean(kSettings, "LogSubdirs", settings.LogSubdirs);
    w.text(kSettings, "Directory", settings.Directory);

    w.boolean(kHtmlSettings, "FilesOnly", settings.FilesOnly);
    w.text(kHtmlSettings, "HomePage", settings.HomePage);
    w.text(kHtmlSettings, "Server", settings.Server);
    w.integer(kHtmlSettings, "AbsRelCnvrt", settings.AbsRelCnvrt);
    w.boolean(kHtmlSettings, "ReportUnresolvedRefs", settings.ReportUnresolvedRefs);
    w.boolean(kHtmlSettings, "ReportBrokenAnchors", settings.ReportBrokenAnchors);
    w.boolean(kHtmlSettings, "ReportUnusedFiles", settings.ReportUnusedFiles);
    w.boolean(kHtmlSettings, "ReportExternalRefs", settings.ReportExternalRefs);
    w.boolean(kHtmlSettings, "ReportEstimated", settings.ReportEstimated);

    w.boolean(kOrphanSettings, "RemoveOrphans", settings.RemoveOrphans);
    w.boolean(kOrphanSettings, "MoveOrphans", settings.MoveOrphans);
    w.text(kOrphanSettings, "MoveToDir", settings.MoveToDir);
    w.numbered(kOrphanSettings, kKeepPrefix, settings.KeepPatterns);

    w.extensions(settings.FilenameExtensions);

    const bool saved = !profile.save();
    return saved && w.ok();
}

}  // namespace korvel
