#include "cli/orphans_command.h"

#include <CLI/CLI.hpp>

#include <map>
#include <ostream>
#include <sstream>
#include <string_view>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/job_options.h"
#include "cli/terminal_prompts.h"
#include "jobs/job_setup.h"
#include "jobs/orphans_command.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"
#include "ui/prompts.h"

namespace korvel::cli {

void addOrphansOptions(CLI::App& command, OrphansOptions& options) {
    CheckOptions& job = options.job;
    command.add_option("DIR", job.directory, "The top directory")->required();
    command.add_option(
        "--home", job.homePage,
        "The home page, relative to DIR (default: the first of the server's default documents)");
    command.add_option("--server", job.server, "The site's server name, such as www.example.com");
    command.add_option("--server-defaults", job.serverDefaults,
                       "Documents the server gives for a directory, \"index.html;index.htm\"");
    addKeepOptions(command, job);
    auto* moveTo = command.add_option("--move-to", options.moveTo,
                                      "Move the orphans below a new directory in KEEP (named like DIR)");
    moveTo->type_name("KEEP");
    auto* trash = command.add_flag("--trash", options.trash, "Send the orphans to the desktop trash");
    moveTo->excludes(trash);
    command.add_flag("--yes", options.yes, "Handle every orphan found without showing the list");
    command.add_option("--report", job.reportFile, "Write the report to FILE (default: standard output)");
    const std::map<std::string, ReportFormat> formats{{"text", ReportFormat::Text},
                                                      {"json", ReportFormat::Json}};
    command.add_option("--format", job.format, "Report form: text (the default) or json")
        ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case));
}

int runOrphans(const OrphansOptions& options, std::ostream& out, std::ostream& err) {
    if (!options.moveTo && !options.trash) {
        err << "korvel: orphans needs --move-to KEEP or --trash: where the orphans go is your choice\n";
        return kExitUsage;
    }
    JobSettings job;
    if (!loadJobSettings(options.job, job, err)) return kExitUsage;
    job.RemoveOrphans = true;
    job.MoveOrphans = options.moveTo.has_value();
    job.UseSubdirs = true;
    job.FilesOnly = false;
    job.ReportSpecial = false;
    if (options.moveTo) {
        job.MoveToDir = options.moveTo->empty() ? std::string() : absoluteDirectory(*options.moveTo);
        switch (jobs::moveDestinationProblem(job.MoveToDir, job.Directory)) {
            case jobs::MoveProblem::None:
                break;
            case jobs::MoveProblem::NotADirectory:
                err << "korvel: --move-to " << *options.moveTo << " is not a directory\n";
                return kExitUsage;
            case jobs::MoveProblem::InsideSite:
                err << "korvel: --move-to " << *options.moveTo << " lies inside " << job.Directory
                    << ": the orphans would still be part of the site\n";
                return kExitUsage;
        }
    }
    if (!isTopDirectory(job.Directory, err)) return kExitUsage;
    std::ostringstream why;
    if (!chooseSiteEntry(options.job, job, why)) {
        // Names only, the check's way out, is no way to find orphans.
        std::string text = why.str();
        constexpr std::string_view kFilesOnly = ", or use --files-only";
        if (const auto at = text.find(kFilesOnly); at != std::string::npos) text.erase(at, kFilesOnly.size());
        err << text;
        return kExitUsage;
    }

    if (!reportWritable(options.job.reportFile, err)) return kExitUsage;

    auto prompts = TerminalPrompts::forProcess(options.yes);
    if (!prompts.interactive() && !options.yes) {
        err << "korvel: orphans moves files and shows their list first; run it on a terminal, or give --yes "
               "to handle every orphan found\n";
        return kExitUsage;
    }
    ui::PromptsScope promptsScope(prompts);
    installInterruptHandler();
    OrphansJob command(job, loadHtmlDefinitions(options.job.settingsPath), /*askSettings=*/false,
                       prompts.interactive());
    command.setCollectFindings(options.job.format == ReportFormat::Json);
    command.execute();
    return finishJob(command, options.job, out, err);
}

}  // namespace korvel::cli
