#include "cli/commands.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "cli/check_command.h"
#include "cli/probe_command.h"
#include "cli/scan_command.h"
#include "platform/locations.h"
#include "res/strings.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"

namespace korvel::cli {

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Korvel checks and fixes the names, links and line ends of a web site or any tree of files.",
                 "korvel"};
    std::string version =
        std::string(res::loadString(res::kProductName)) + " " + std::string(res::loadString(res::kVersion));
    while (!version.empty() && version.back() == ' ')
        version.pop_back();
    app.set_version_flag("--version", version);
    app.require_subcommand(1);
    app.fallthrough();  // options of the program may follow the command

    std::string settingsFile;
    app.add_option("--settings", settingsFile,
                   "Settings file (default: $KORVEL_SETTINGS, else $XDG_CONFIG_HOME/korvel/korvel.ini)");

    std::vector<std::string> probePaths;
    auto* probe =
        app.add_subcommand("probe", "Classify files: HTML or not, ASCII or not, and their line ends.");
    probe->add_option("PATH", probePaths, "Files or directories (a directory is probed with all below it)")
        ->required();

    ScanOptions scanOptions;
    auto* scan = app.add_subcommand(
        "scan", "Scan a directory tree as a job does: count its files, list what is skipped.");
    scan->add_option("DIR", scanOptions.directory, "The top directory")->required();
    scan->add_flag("--no-subdirs", scanOptions.noSubdirs, "Only the top directory's own entries");
    scan->add_flag("--list", scanOptions.list, "Also list every node with its kind");

    CheckOptions check;
    auto* checkCmd =
        app.add_subcommand("check", "Check the names of a tree against a target convention and report.");
    checkCmd->add_option("DIR", check.directory, "The top directory")->required();
    const std::map<std::string, int> targets{
        {"none", kTargetNone}, {"iso9660", kTargetIso9660}, {"dos", kTargetDos},  {"vfat", kTargetVfat},
        {"ntfs", kTargetNtfs}, {"mac", kTargetMacintosh},   {"unix", kTargetUnix}};
    checkCmd
        ->add_option("--target", check.target, "Target convention: none, iso9660, dos, vfat, ntfs, mac, unix")
        ->transform(CLI::CheckedTransformer(targets, CLI::ignore_case));
    const std::map<std::string, int> cases{{"keep", kCaseNone}, {"lower", kCaseLower}, {"upper", kCaseUpper}};
    checkCmd->add_option("--case", check.caseConversion, "Case conversion: keep, lower, upper")
        ->transform(CLI::CheckedTransformer(cases, CLI::ignore_case));
    checkCmd->add_option("--map", check.maps,
                         "Map an extension, OLD=NEW (repeatable; replaces the stored map)");
    checkCmd->add_option("--map-preset", check.mapPreset, "Start the map from a preset: windows, mac-unix")
        ->check(CLI::IsMember({"windows", "mac-unix"}));
    checkCmd->add_flag("--files-only", check.filesOnly, "Names only: no home page, no HTML parsing");
    checkCmd->add_option(
        "--home", check.homePage,
        "The home page, relative to DIR (default: the first of the server's default documents)");
    checkCmd->add_option("--server", check.server, "The site's server name, such as www.example.com");
    const std::map<std::string, int> linkForms{
        {"keep", kUrlKeep}, {"relative", kUrlRelative}, {"root", kUrlRoot}, {"absolute", kUrlAbsolute}};
    checkCmd
        ->add_option("--links", check.links, "Link form the report suggests: keep, relative, root, absolute")
        ->transform(CLI::CheckedTransformer(linkForms, CLI::ignore_case));
    checkCmd->add_option("--server-defaults", check.serverDefaults,
                         "Documents the server gives for a directory, \"index.html;index.htm\"");
    // Each report has an on and an off switch; neither leaves the settings file's choice.
    const auto onOff = [&](const std::string& name, std::optional<bool>& value, const std::string& what) {
        checkCmd->add_flag_callback(
            "--report-" + name, [&value] { value = true; }, "Report " + what);
        checkCmd->add_flag_callback(
            "--no-report-" + name, [&value] { value = false; }, "Do not report " + what);
    };
    onOff("broken", check.reportBroken, "broken local links");
    onOff("orphans", check.reportOrphans, "files no page reaches from the home page");
    onOff("external", check.reportExternal, "external URLs");
    onOff("times", check.reportTimes, "page sizes and download times");
    checkCmd->add_flag("--no-subdirs", check.noSubdirs, "Only the top directory's own entries");
    checkCmd->add_flag("--save-settings", check.saveSettings, "Store these settings in the settings file");
    checkCmd->add_option("--report", check.reportFile, "Write the report to FILE (default: standard output)");
    const std::map<std::string, ReportFormat> formats{{"text", ReportFormat::Text},
                                                      {"json", ReportFormat::Json}};
    checkCmd
        ->add_option(
            "--format", check.format,
            "Report form: text (for people, the default) or json (for programs; see docs/json-report.md)")
        ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitOk;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << '\n';
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        err << "korvel: " << e.what() << '\n';
        return kExitUsage;
    }

    const std::string settingsPath = platform::settingsFilePath(settingsFile);
    if (probe->parsed()) return runProbe(probePaths, loadHtmlDefinitions(settingsPath), out, err);
    if (checkCmd->parsed()) {
        check.settingsPath = settingsPath;
        return runCheck(check, out, err);
    }
    if (scan->parsed()) {
        scanOptions.settingsPath = settingsPath;
        return runScan(scanOptions, out, err);
    }
    return kExitUsage;
}

int run(int argc, char** argv) {
    return run(argc, argv, std::cout, std::cerr);
}

}  // namespace korvel::cli
