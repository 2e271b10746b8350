#include "cli/fix_command.h"

#include <CLI/CLI.hpp>

#include <map>
#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/job_options.h"
#include "cli/terminal_prompts.h"
#include "jobs/fix_command.h"
#include "jobs/job_setup.h"
#include "jobs/undo_journal.h"
#include "res/strings.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"
#include "ui/prompts.h"

namespace korvel::cli {

void addFixOptions(CLI::App& command, FixOptions& options) {
    addCheckOptions(command, options.job);
    const std::map<std::string, int> lineEnds{
        {"keep", kLineEndNone}, {"dos", kLineEndDos}, {"mac", kLineEndMac}, {"unix", kLineEndUnix}};
    command.add_option("--line-ends", options.lineEnds, "Convert the line ends of text files: keep, dos, mac, unix")
        ->transform(CLI::CheckedTransformer(lineEnds, CLI::ignore_case));
    command.add_flag("--suggest-only", options.suggestOnly, "Do not rename: only list the names files would need");
    command.add_flag("--prompt-each", options.promptEach, "Ask about each new name");
    command.add_flag("--log-subdirs", options.logSubdirs,
                     "Also write a RENAME.LOG into each directory where something was renamed");
    const std::map<std::string, int> readOnly{
        {"ask", kReadOnlyAsk}, {"skip", kReadOnlySkip}, {"convert", kReadOnlyMakeWritable}};
    command
        .add_option("--read-only", options.readOnly,
                    "Read-only files: ask, skip, or convert (change them all the same; they stay read-only)")
        ->transform(CLI::CheckedTransformer(readOnly, CLI::ignore_case));
    const std::map<std::string, int> hardLinks{{"skip", kHardLinksSkip}, {"split", kHardLinksSplit}};
    command
        .add_option(
            "--hard-links", options.hardLinks,
            "Files with more than one name: skip (leave them alone), or split (rewrite this name as a "
            "new file; the other names keep the old content)")
        ->transform(CLI::CheckedTransformer(hardLinks, CLI::ignore_case));
    command.add_flag("--yes", options.yes, "Accept every change without asking");
}

void addUndoOptions(CLI::App& command, UndoOptions& options) {
    command.add_option("DIR", options.directory, "The top directory of the last fix or orphans job")->required();
    command.add_flag("--list", options.list, "Only list what the undo would do");
    command.add_option("--report", options.reportFile, "Write the report to FILE (default: standard output)");
}

int runFix(const FixOptions& options, std::ostream& out, std::ostream& err) {
    JobSettings job;
    if (!loadJobSettings(options.job, job, err)) return kExitUsage;
    if (options.lineEnds) job.LineEnd = *options.lineEnds;
    if (options.readOnly) job.AutoReadOnly = *options.readOnly;
    if (options.hardLinks) job.HardLinks = *options.hardLinks;
    if (options.logSubdirs) job.LogSubdirs = true;
    job.Rename = !options.suggestOnly;
    job.AutoFileName = !options.promptEach;
    job.UpdateUrls = !job.FilesOnly;
    job.ReportSpecial = false;
    if (jobs::serverMissing(job)) {
        err << "korvel: links in absolute form need the server's name: give --server NAME\n";
        return kExitUsage;
    }
    if (!chooseSiteEntry(options.job, job, err)) return kExitUsage;
    if (!reportWritable(options.job.reportFile, err)) return kExitUsage;

    auto prompts = TerminalPrompts::forProcess(options.yes);
    if (!prompts.interactive() && !options.yes) {
        err << "korvel: fix changes files and asks first; run it on a terminal, or give --yes to accept "
               "every change\n";
        return kExitUsage;
    }
    ui::PromptsScope promptsScope(prompts);
    installInterruptHandler();
    FixJob command(job, loadHtmlDefinitions(options.job.settingsPath), /*askSettings=*/false,
                   prompts.interactive());
    command.setCollectFindings(options.job.format == ReportFormat::Json);
    command.execute();
    return finishJob(command, options.job, out, err);
}

int runUndo(const UndoOptions& options, std::ostream& out, std::ostream& err) {
    JobSettings settings = settingsFileDefaults();
    LoadSettings(options.settingsPath, settings);
    settings.Directory = absoluteDirectory(options.directory);
    if (!isTopDirectory(settings.Directory, err)) return kExitUsage;
    if (!options.list && !reportWritable(options.reportFile, err)) return kExitUsage;
    const auto lines = jobs::listJournal(settings.Directory);
    if (lines.empty()) {
        err << "korvel: " << settings.Directory << ": " << res::loadString(res::kNothingToUndo) << '\n';
        return kExitFindings;
    }
    if (options.list) {
        for (const auto& line : lines)
            out << line << '\n';
        return kExitOk;
    }
    // An undo asks nothing: it only puts back what the journal says the job changed.
    auto prompts = TerminalPrompts::forProcess(true);
    ui::PromptsScope promptsScope(prompts);
    installInterruptHandler();
    const UndoReport undo = undoLastJob(settings);
    if (undo.siteBusy) {
        err << "korvel: " << settings.Directory << ": " << res::loadString(res::kSiteBusy) << '\n';
        return kExitUsage;
    }
    if (undo.nothingToUndo) return kExitFindings;
    std::string text;
    if (undo.reportPath.empty() || !takeReport(undo.reportPath, text, err) ||
        !deliverReport(text, options.reportFile, out, err)) {
        err << "korvel: the undo ran, but its report could not be written\n";
        return kExitReportLost;
    }
    return undo.complete ? kExitOk : kExitFindings;
}

}  // namespace korvel::cli
