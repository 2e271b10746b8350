#include "cli/check_command.h"

#include <ostream>

#include "cli/commands.h"
#include "cli/job_options.h"
#include "cli/json_report.h"
#include "cli/terminal_prompts.h"
#include "jobs/command.h"
#include "platform/files.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"
#include "ui/prompts.h"

namespace korvel::cli {


int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err) {
    JobSettings job;
    if (!loadJobSettings(options, job, err)) return kExitUsage;
    // A check lists its suggestions in the report; it never stops to ask about each name. Skipped entries
    // are listed there too, so a notice for each on the terminal would only say it twice.
    job.AutoFileName = true;
    job.ReportSpecial = false;
    if (!chooseSiteEntry(options, job, err)) return kExitUsage;

    auto prompts = TerminalPrompts::forProcess(false);
    ui::PromptsScope promptsScope(prompts);
    installInterruptHandler();
    CheckJob command(job, loadHtmlDefinitions(options.settingsPath), /*askSettings=*/false,
                     prompts.interactive());
    const bool json = options.format == ReportFormat::Json;
    command.setCollectFindings(json);
    command.execute();

    return finishJob(command, options, out, err);
}

}  // namespace korvel::cli
