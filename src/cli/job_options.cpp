#include "cli/job_options.h"

#include <CLI/CLI.hpp>

#include <map>
#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json_report.h"
#include "jobs/command.h"
#include "jobs/job_setup.h"
#include "jobs/undo_journal.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile_file.h"
#include "res/strings.h"
#include "settings/extension_presets.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"

namespace korvel::cli {

namespace {

// Applies the options over the settings read from the file; false (with a message) for a bad mapping.
bool applyOptions(const CheckOptions& options, JobSettings& settings, std::ostream& err) {
    settings.Directory = absoluteDirectory(options.directory);
    if (options.noSubdirs) settings.UseSubdirs = false;
    if (options.filesOnly) settings.FilesOnly = true;
    if (options.target) settings.Target = *options.target;
    if (options.server) settings.Server = *options.server;
    if (options.links) settings.AbsRelCnvrt = *options.links;
    if (options.reportBroken) settings.ReportUnresolvedRefs = *options.reportBroken;
    if (options.reportAnchors) settings.ReportBrokenAnchors = *options.reportAnchors;
    if (options.reportOrphans) settings.ReportUnusedFiles = *options.reportOrphans;
    if (options.reportExternal) settings.ReportExternalRefs = *options.reportExternal;
    if (options.reportTimes) settings.ReportEstimated = *options.reportTimes;
    if (options.caseConversion) settings.CaseConv = *options.caseConversion;
    if (options.keepNone) settings.KeepPatterns.clear();
    if (!options.keep.empty()) {
        for (const std::string& pattern : options.keep) {
            if (!jobs::validKeepPattern(pattern)) {
                err << "korvel: --keep takes a pattern such as \"js/lazy/\" or \"*.json\", one line, not "
                       "empty\n";
                return false;
            }
        }
        settings.KeepPatterns = options.keep;
    }
    if (options.mapPreset || !options.maps.empty()) {
        settings.FilenameExtensions.clear();
        if (options.mapPreset == "windows") settings.FilenameExtensions = windowsExtensionPreset();
        if (options.mapPreset == "mac-unix") settings.FilenameExtensions = macUnixExtensionPreset();
        for (const auto& map : options.maps) {
            const auto eq = map.find('=');
            if (eq == std::string::npos || eq + 1 == map.size() ||
                !setExtensionMapping(settings, map.substr(0, eq), map.substr(eq + 1))) {
                err << "korvel: --map takes OLD=NEW, two extensions without line breaks or \"->\": " << map
                    << '\n';
                return false;
            }
        }
    }
    return true;
}

bool chooseServerDefaults(const CheckOptions& options, JobSettings& settings, std::ostream& err) {
    UserList stored = serverDefaultList();
    if (!options.serverDefaults) {
        platform::ProfileFile profile;
        profile.load(options.settingsPath);
        stored.load(profile);
    }
    const auto chosen = jobs::chooseServerDefaults(options.serverDefaults, stored);
    if (!chosen) {
        err << "korvel: --server-defaults needs at least one name, such as \"index.html;index.htm\"\n";
        return false;
    }
    settings.ServerDefaultFiles = *chosen;
    return true;
}

bool chooseHomePage(const CheckOptions& options, JobSettings& settings, std::ostream& err) {
    switch (jobs::chooseHomePage(options.homePage, settings.Directory, settings.ServerDefaultFiles,
                                 settings.HomePage)) {
        case jobs::HomePageChoice::Chosen:
            return true;
        case jobs::HomePageChoice::LiesOutside:
            err << "korvel: the home page " << *options.homePage << " lies outside " << settings.Directory
                << ": only a page inside the site leads to its files; name one with --home PAGE\n";
            return false;
        case jobs::HomePageChoice::NoneFound:
            break;
    }
    err << "korvel: no home page found in " << settings.Directory << " (looked for "
        << settings.ServerDefaultFiles << "); name one with --home PAGE, or use --files-only\n";
    return false;
}

}  // namespace

void addKeepOptions(CLI::App& command, CheckOptions& options) {
    command
        .add_option("--keep", options.keep,
                    "Never count files matching PATTERN as orphans, such as \"js/lazy/\" or \"*.json\" "
                    "(repeatable; relative to DIR; replaces the stored patterns)")
        ->type_name("PATTERN");
    command.add_flag("--keep-none", options.keepNone, "Forget the stored --keep patterns");
}

void addCheckOptions(CLI::App& command, CheckOptions& check) {
    command.add_option("DIR", check.directory, "The top directory")->required();
    const std::map<std::string, int> targets{
        {"none", kTargetNone}, {"iso9660", kTargetIso9660}, {"dos", kTargetDos},  {"vfat", kTargetVfat},
        {"ntfs", kTargetNtfs}, {"mac", kTargetMacintosh},   {"unix", kTargetUnix}};
    command
        .add_option("--target", check.target, "Target convention: none, iso9660, dos, vfat, ntfs, mac, unix")
        ->transform(CLI::CheckedTransformer(targets, CLI::ignore_case));
    const std::map<std::string, int> cases{{"keep", kCaseNone}, {"lower", kCaseLower}, {"upper", kCaseUpper}};
    command.add_option("--case", check.caseConversion, "Case conversion: keep, lower, upper")
        ->transform(CLI::CheckedTransformer(cases, CLI::ignore_case));
    command.add_option("--map", check.maps, "Map an extension, OLD=NEW (repeatable; replaces the stored map)");
    command.add_option("--map-preset", check.mapPreset, "Start the map from a preset: windows, mac-unix")
        ->check(CLI::IsMember({"windows", "mac-unix"}));
    command.add_flag("--files-only", check.filesOnly, "Names only: no home page, no HTML parsing");
    command.add_option("--home", check.homePage,
                       "The home page, relative to DIR (default: the first of the server's default documents)");
    command.add_option("--server", check.server, "The site's server name, such as www.example.com");
    const std::map<std::string, int> linkForms{
        {"keep", kUrlKeep}, {"relative", kUrlRelative}, {"root", kUrlRoot}, {"absolute", kUrlAbsolute}};
    command.add_option("--links", check.links, "Link form: keep, relative, root, absolute")
        ->transform(CLI::CheckedTransformer(linkForms, CLI::ignore_case));
    command.add_option("--server-defaults", check.serverDefaults,
                       "Documents the server gives for a directory, \"index.html;index.htm\"");
    // Each report has an on and an off switch; neither leaves the settings file's choice.
    const auto onOff = [&](const std::string& name, std::optional<bool>& value, const std::string& what) {
        command.add_flag_callback(
            "--report-" + name, [&value] { value = true; }, "Report " + what);
        command.add_flag_callback(
            "--no-report-" + name, [&value] { value = false; }, "Do not report " + what);
    };
    onOff("broken", check.reportBroken, "broken local links");
    onOff("anchors", check.reportAnchors, "links whose #fragment names nothing in the page they lead to");
    onOff("orphans", check.reportOrphans, "files no page reaches from the home page");
    onOff("external", check.reportExternal, "external URLs");
    onOff("times", check.reportTimes, "page sizes and download times");
    addKeepOptions(command, check);
    command.add_flag("--no-subdirs", check.noSubdirs, "Only the top directory's own entries");
    command.add_flag("--save-settings", check.saveSettings, "Store these settings in the settings file");
    command.add_option("--report", check.reportFile, "Write the report to FILE (default: standard output)");
    const std::map<std::string, ReportFormat> formats{{"text", ReportFormat::Text},
                                                      {"json", ReportFormat::Json}};
    command
        .add_option("--format", check.format,
                    "Report form: text (for people, the default) or json (for programs; see docs/json-report.md)")
        ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case));
}

bool loadJobSettings(const CheckOptions& options, JobSettings& job, std::ostream& err) {
    JobSettings settings = settingsFileDefaults();
    LoadSettings(options.settingsPath, settings);  // a missing file leaves the defaults
    if (!applyOptions(options, settings, err)) return false;
    if (options.homePage) settings.HomePage = *options.homePage;
    if (options.saveSettings && !SaveSettings(options.settingsPath, settings)) {
        err << "korvel: cannot save the settings to " << options.settingsPath << '\n';
        return false;
    }
    job = settings;
    return true;
}

bool chooseSiteEntry(const CheckOptions& options, JobSettings& job, std::ostream& err) {
    if (job.FilesOnly) return true;
    return chooseServerDefaults(options, job, err) && chooseHomePage(options, job, err);
}

bool isTopDirectory(const std::string& directory, std::ostream& err) {
    const jobs::DirectoryProblem problem = jobs::topDirectoryProblem(directory);
    if (problem == jobs::DirectoryProblem::None || problem == jobs::DirectoryProblem::HoldsNothing)
        return true;
    err << "korvel: " << directory << " is not a directory\n";
    return false;
}

bool takeReport(const std::string& path, std::string& text, std::ostream& err) {
    const auto ec = platform::readWholeFile(path, text);
    platform::removeFile(path);
    if (ec) err << "korvel: cannot read the report " << path << ": " << ec.message() << '\n';
    return !ec;
}

// Writes the report where the person asked: standard output, or a file (replaced whole, never half).
bool deliverReport(const std::string& text, const std::string& destination, std::ostream& out,
                   std::ostream& err) {
    if (destination.empty() || destination == "-") {
        out << text;
        return static_cast<bool>(out);
    }
    platform::FileInfo info;
    platform::fileInfo(destination, info);
    const auto ec = info.kind == platform::EntryKind::Missing
                        ? platform::createFile(destination, text)
                        : platform::replaceFileContents(destination, text);
    if (ec) {
        err << "korvel: cannot write the report to " << destination << ": " << ec.message() << '\n';
        return false;
    }
    return true;
}

bool reportWritable(const std::string& destination, std::ostream& err) {
    if (destination.empty() || destination == "-") return true;
    platform::FileInfo info;
    std::error_code ec = platform::fileInfo(destination, info);
    if (!ec && info.kind != platform::EntryKind::Missing && info.kind != platform::EntryKind::File)
        ec = std::make_error_code(std::errc::is_a_directory);
    if (!ec) {
        // The report takes its place through a new file in that directory, as any file Korvel replaces.
        const std::string_view dir = platform::parentPath(destination);
        platform::TempFile probe;
        ec = probe.create(dir.empty() ? std::string_view(".") : dir, ".korvel-report-");
    }
    if (!ec) return true;
    err << "korvel: cannot write the report to " << destination << ": " << ec.message() << '\n';
    return false;
}

int reportLost(const std::string& top, std::ostream& err) {
    err << "korvel: the changes were made and are recorded for \"korvel undo " << top << "\" in "
        << jobs::undoDirectory(top) << '\n';
    return kExitReportLost;
}

int finishJob(const Job& command, const CheckOptions& options, std::ostream& out, std::ostream& err) {
    if (command.siteBusy()) {
        err << "korvel: " << command.settings().Directory << ": " << res::loadString(res::kSiteBusy) << '\n';
        return kExitUsage;
    }
    // The text report is made in either form (the log assembles it), and it is ours to remove.
    std::string text;
    bool made = !command.reportPath().empty();
    if (made) {
        if (options.format == ReportFormat::Json) {
            made = command.findings() != nullptr;
            if (made) text = jsonReport(*command.findings(), {command.foundSomething()});
            platform::removeFile(command.reportPath());
        } else if (!takeReport(command.reportPath(), text, err)) {
            return kExitUsage;
        }
    }
    if (!made) {
        err << "korvel: the report could not be made\n";
        return kExitUsage;
    }
    if (!deliverReport(text, options.reportFile, out, err)) {
        return command.undoable() ? reportLost(command.settings().Directory, err) : kExitUsage;
    }

    if (command.scanStatus() == ScanStatus::TopMissing || command.scanStatus() == ScanStatus::TopUnlistable) {
        err << "korvel: the top directory " << command.settings().Directory << " could not be scanned\n";
        return kExitUsage;
    }
    return command.foundSomething() ? kExitFindings : kExitOk;
}

}  // namespace korvel::cli
