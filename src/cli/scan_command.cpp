#include "cli/scan_command.h"

#include <fmt/format.h>

#include <memory>
#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/terminal_prompts.h"
#include "platform/display_name.h"
#include "platform/paths.h"
#include "report/app_log.h"
#include "report/report.h"
#include "report/text_report.h"
#include "res/strings.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"
#include "site/iterator.h"
#include "site/node.h"
#include "site/scan.h"
#include "site/traverse.h"
#include "site/visitor.h"
#include "ui/prompts.h"

namespace korvel::cli {

namespace {

// Prints one line per node: its kind, then its path.
class NodeLister : public Visitor {
  public:
    explicit NodeLister(std::ostream& out) : out_(out) {}
    bool visitDir(DirNode& dir) override { return line("dir", dir); }
    bool visitHtml(HtmlNode& page) override { return line("html", page); }
    bool visitFile(FileNode& file) override { return line(file.isAscii() ? "text" : "file", file); }

  private:
    bool line(std::string_view kind, const Node& node) {
        out_ << fmt::format("{:<5}{}{}\n", kind, platform::displayName(node.path()),
                            node.isSymlink() ? "  (symbolic link)" : "");
        return true;
    }
    std::ostream& out_;
};

// The section's text without its three-line header, or "" when it has none.
std::string sectionBody(JobLog& log, int titleId) {
    std::string text = log.sectionText(titleId);
    std::size_t pos = 0;
    for (int line = 0; line < 3 && pos != std::string::npos; ++line) {
        pos = text.find('\n', pos);
        if (pos != std::string::npos) ++pos;
    }
    if (pos == std::string::npos) return {};
    // Closing a section leaves blank lines for the report's layout; here they would only trail.
    std::size_t end = text.size();
    while (end > pos && text[end - 1] == '\n')
        --end;
    return end > pos ? text.substr(pos, end - pos) + '\n' : std::string{};
}

}  // namespace

int runScan(const ScanOptions& options, std::ostream& out, std::ostream& err) {
    JobSettings settings = settingsFileDefaults();
    LoadSettings(options.settingsPath, settings);  // a missing file leaves the defaults
    settings.Directory = absoluteDirectory(options.directory);
    settings.UseSubdirs = !options.noSubdirs;
    // The listing below names every skipped entry; a message for each on the terminal would only repeat it.
    settings.ReportSpecial = false;

    auto prompts = TerminalPrompts::forProcess(false);
    ui::PromptsScope promptsScope(prompts);
    installInterruptHandler();
    LogScope logScope;
    report::TextReport text(logScope.log());
    const JobContext job{text};

    std::unique_ptr<SiteTree> tree;
    const bool scanned = buildTree(settings, loadHtmlDefinitions(options.settingsPath), tree, job);

    if (tree->status() == ScanStatus::TopMissing || tree->status() == ScanStatus::TopUnlistable) {
        // Said on one line: a missing site must never read like an empty, clean one.
        std::string line;
        for (char c : sectionBody(logScope.log(), res::kSectionErrors)) {
            const bool blank = c == '\n' || c == '\t' || c == ' ';
            if (!blank)
                line.push_back(c);
            else if (!line.empty() && line.back() != ' ')
                line.push_back(' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        err << "korvel: " << line << '\n';
        return kExitUsage;
    }

    out << countLine(settings.UseSubdirs, tree->nodeCount(), tree->dirCount()) << '\n';
    if (options.list && scanned) {
        NodeLister lister(out);
        Traversal<TypedWalk<Node*>, GUIProgress> walk(&tree->top(), lister);
        walk.run("", tree->nodeCount());
    }

    bool findings = false;
    for (int id : {res::kSectionSkippedFiles, res::kSectionErrors}) {
        const std::string body = sectionBody(logScope.log(), id);
        if (body.empty()) continue;
        out << '\n' << res::loadString(id) << '\n' << body;
        findings = findings || id == res::kSectionErrors;
    }
    if (tree->status() == ScanStatus::Cancelled) {
        err << "korvel: scan cancelled; the figures above cover only what was scanned\n";
        return kExitFindings;
    }
    return findings ? kExitFindings : kExitOk;
}

}  // namespace korvel::cli
