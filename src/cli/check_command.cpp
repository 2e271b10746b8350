#include "cli/check_command.h"

#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json_report.h"
#include "cli/terminal_prompts.h"
#include "html/url.h"
#include "jobs/command.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile_file.h"
#include "settings/extension_presets.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"
#include "ui/prompts.h"

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
    if (options.reportOrphans) settings.ReportUnusedFiles = *options.reportOrphans;
    if (options.reportExternal) settings.ReportExternalRefs = *options.reportExternal;
    if (options.reportTimes) settings.ReportEstimated = *options.reportTimes;
    if (options.caseConversion) settings.CaseConv = *options.caseConversion;
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

// The server's default documents: the option, else the stored list, else the usual four names. Never
// empty: with no default documents no directory link could resolve, and every one would read as broken.
bool chooseServerDefaults(const CheckOptions& options, JobSettings& settings, std::ostream& err) {
    if (options.serverDefaults) {
        if (parseServerDefaults(*options.serverDefaults).empty()) {
            err << "korvel: --server-defaults needs at least one name, such as \"index.html;index.htm\"\n";
            return false;
        }
        settings.ServerDefaultFiles = *options.serverDefaults;
        return true;
    }
    platform::ProfileFile profile;
    profile.load(options.settingsPath);
    UserList list = serverDefaultList();
    list.load(profile);
    settings.ServerDefaultFiles = serverDefaultFilesOrStandIn(list);
    if (parseServerDefaults(settings.ServerDefaultFiles).empty())
        settings.ServerDefaultFiles = std::string(kServerDefaultStandIn);
    return true;
}

// The home page: the option (relative to the top directory unless absolute), else the first of the
// server's default documents that the top directory holds as a file.
bool chooseHomePage(const CheckOptions& options, JobSettings& settings, std::ostream& err) {
    if (options.homePage) {
        const std::string& page = *options.homePage;
        settings.HomePage = !page.empty() && page.front() == platform::kSeparator
                                ? page
                                : platform::joinPath(settings.Directory, page);
        return true;
    }
    for (const auto& name : parseServerDefaults(settings.ServerDefaultFiles)) {
        const std::string candidate = platform::joinPath(settings.Directory, name);
        platform::FileInfo info;
        if (!platform::fileInfo(candidate, info) && info.kind == platform::EntryKind::File) {
            settings.HomePage = candidate;
            return true;
        }
    }
    err << "korvel: no home page found in " << settings.Directory << " (looked for "
        << settings.ServerDefaultFiles << "); name one with --home PAGE, or use --files-only\n";
    return false;
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

}  // namespace

int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err) {
    JobSettings settings = settingsFileDefaults();
    LoadSettings(options.settingsPath, settings);  // a missing file leaves the defaults
    if (!applyOptions(options, settings, err)) return kExitUsage;
    if (options.homePage) settings.HomePage = *options.homePage;
    if (options.saveSettings && !SaveSettings(options.settingsPath, settings)) {
        err << "korvel: cannot save the settings to " << options.settingsPath << '\n';
        return kExitUsage;
    }

    JobSettings job = settings;
    // A check lists its suggestions in the report; it never stops to ask about each name. Skipped entries
    // are listed there too, so a notice for each on the terminal would only say it twice.
    job.AutoFileName = true;
    job.ReportSpecial = false;
    if (!job.FilesOnly) {
        if (!chooseServerDefaults(options, job, err)) return kExitUsage;
        if (!chooseHomePage(options, job, err)) return kExitUsage;
    }

    auto prompts = TerminalPrompts::forProcess(false);
    ui::PromptsScope promptsScope(prompts);
    installInterruptHandler();
    EKVCheckCmd command(job, loadHtmlDefinitions(options.settingsPath), /*askSettings=*/false,
                        prompts.interactive());
    const bool json = options.format == ReportFormat::Json;
    command.setCollectFindings(json);
    command.execute();

    // The text report is made in either form (the log assembles it), and it is ours to remove.
    std::string text;
    bool made = !command.reportPath().empty();
    if (made) {
        if (json) {
            made = command.findings() != nullptr;
            if (made) text = jsonReport(*command.findings(), {command.foundSomething()});
        } else if (auto ec = platform::readWholeFile(command.reportPath(), text)) {
            err << "korvel: cannot read the report " << command.reportPath() << ": " << ec.message() << '\n';
            platform::removeFile(command.reportPath());
            return kExitUsage;
        }
        platform::removeFile(command.reportPath());
    }
    if (!made) {
        err << "korvel: the report could not be made\n";
        return kExitUsage;
    }
    if (!deliverReport(text, options.reportFile, out, err)) return kExitUsage;

    if (command.scanStatus() == ScanStatus::TopMissing || command.scanStatus() == ScanStatus::TopUnlistable) {
        err << "korvel: the top directory " << job.Directory << " could not be scanned\n";
        return kExitUsage;
    }
    return command.foundSomething() ? kExitFindings : kExitOk;
}

}  // namespace korvel::cli
