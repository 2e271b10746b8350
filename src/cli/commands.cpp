#include "cli/commands.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "cli/check_command.h"
#include "cli/fix_command.h"
#include "cli/job_options.h"
#include "cli/orphans_command.h"
#include "cli/probe_command.h"
#include "cli/scan_command.h"
#include "jobs/command.h"
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
    addCheckOptions(*checkCmd, check);

    FixOptions fix;
    auto* fixCmd = app.add_subcommand(
        "fix", "Rename what breaks the target, rewrite the links that renaming breaks, convert line ends.");
    addFixOptions(*fixCmd, fix);

    OrphansOptions orphans;
    auto* orphansCmd = app.add_subcommand(
        "orphans", "Move the files no page reaches to another directory, or send them to the trash.");
    addOrphansOptions(*orphansCmd, orphans);

    UndoOptions undo;
    auto* undoCmd = app.add_subcommand("undo", "Put back what the last fix or orphans job on DIR changed.");
    addUndoOptions(*undoCmd, undo);

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
    Job::parkReleasedTrees(true);
    if (probe->parsed()) return runProbe(probePaths, loadHtmlDefinitions(settingsPath), out, err);
    if (checkCmd->parsed()) {
        check.settingsPath = settingsPath;
        return runCheck(check, out, err);
    }
    if (fixCmd->parsed()) {
        fix.job.settingsPath = settingsPath;
        return runFix(fix, out, err);
    }
    if (orphansCmd->parsed()) {
        orphans.job.settingsPath = settingsPath;
        return runOrphans(orphans, out, err);
    }
    if (undoCmd->parsed()) {
        undo.settingsPath = settingsPath;
        return runUndo(undo, out, err);
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
