#include "cli/check_command.h"

#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/terminal_prompts.h"
#include "jobs/command.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
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

// Writes the report where the person asked: standard output, or a file (replaced whole, never half).
bool deliverReport(const std::string& reportPath, const std::string& destination, std::ostream& out,
                   std::ostream& err) {
    std::string text;
    if (auto ec = platform::readWholeFile(reportPath, text)) {
        err << "korvel: cannot read the report " << reportPath << ": " << ec.message() << '\n';
        return false;
    }
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
        err << "korvel: link analysis is not available in this version; checking names only\n";
        job.FilesOnly = true;
    }

    auto prompts = TerminalPrompts::forProcess(false);
    ui::PromptsScope promptsScope(prompts);
    installInterruptHandler();
    EKVCheckCmd command(job, loadHtmlDefinitions(options.settingsPath), /*askSettings=*/false,
                        prompts.interactive());
    command.execute();

    if (command.reportPath().empty()) {
        err << "korvel: the report could not be made\n";
        return kExitUsage;
    }
    const bool delivered = deliverReport(command.reportPath(), options.reportFile, out, err);
    platform::removeFile(command.reportPath());
    if (!delivered) return kExitUsage;

    if (command.scanStatus() == ScanStatus::TopMissing || command.scanStatus() == ScanStatus::TopUnlistable) {
        err << "korvel: the top directory " << job.Directory << " could not be scanned\n";
        return kExitUsage;
    }
    return command.foundSomething() ? kExitFindings : kExitOk;
}

}  // namespace korvel::cli
