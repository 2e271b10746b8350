#pragma once
// A job is a command object: made from the settings, executed once, it leaves a report behind and may
// later be asked to undo what it did.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/command.h"
#include "html/find_links.h"
#include "html/url.h"
#include "jobs/findings.h"
#include "report/sinks.h"
#include "report/text_report.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"
#include "site/job_context.h"
#include "site/site_tree.h"

namespace korvel {

class DirNode;
class Node;
class Visitor;
class HtmlNode;
class Log;
class LinkWriter;

// The base of the three job commands.
class Job : public Command {
  public:
    // "definitions": what makes a file HTML, as the settings file says.
    Job(const JobSettings& settings, HtmlDefinitions definitions, bool askSettings, bool interactive);
    ~Job() override;

    // The job's copy of the settings, as the job and its prompts left it; the caller copies it back.
    const JobSettings& settings() const { return settings_; }
    // The finished report file ("" before a run, or when no report could be made). The caller owns it.
    const std::string& reportPath() const { return reportPath_; }
    unsigned status() const { return status_; }
    std::uint32_t nodeCount() const { return nodeCount_; }
    std::uint32_t dirCount() const { return dirCount_; }
    // How the scan of the last run ended (a missing top directory means the job could not run).
    ScanStatus scanStatus() const { return scanStatus_; }
    // For a process that ends soon after its jobs (the command line): a released tree is parked, still
    // reachable, instead of freed. Freeing a million URL records one by one takes longer than the report;
    // the end of the process gives the memory back at once.
    static void parkReleasedTrees(bool park);

    // Whether the last run found anything for the person to act on: names to change, errors, or a run
    // that did not reach its end.
    bool foundSomething() const { return foundSomething_; }
    // Whether the last run refused at once because another job was changing the same site.
    bool siteBusy() const { return siteBusy_; }

    // Asks the next run to also leave its findings as data (findings()); off, the run pays nothing for it.
    void setCollectFindings(bool collect) { keepFindings_ = collect; }
    // The last run's findings when they were asked for and could be taken; null otherwise.
    const CheckFindings* findings() const { return findings_.get(); }

  protected:
    // Takes the findings (when asked for) and drops the tree, unless "keepTree" (a job that can be undone
    // in this process keeps it).
    void finishFindings(bool keepTree);
    void takeFindings();
    std::unique_ptr<CheckFindings> findings_;

    // Runs "passes" with memory running out caught: it ends the passes, sets its status bit and tells the
    // person, so that a partial report is still made.
    void runGuarded(const std::function<void()>& passes);
    // Scans the job's tree and takes its counts and status. False when the scan failed (reported).
    bool scanTree();
    // Looks at what the run found before the report is made: what counts as a finding.
    void noteFindings();
    // Reads every page once: first the web of pages from the home page (filling the URL map with what it
    // reaches), then every other page of the tree. False when the top directory or the home page is
    // missing (reported) or a pass was cancelled.
    bool findLinks();
    // The link passes after link finding: the link update (report-only without a writer; with one, the
    // pages are rewritten) and the reports the settings ask for. False when a pass was cancelled.
    bool reportLinks(LinkWriter* writer = nullptr);
    // Set once the broken links are in the log, so that the link passes do not list them twice.
    bool brokenLinksReported_ = false;
    bool brokenAnchorsReported_ = false;
    // Drops the tree and everything that points into it.
    void releaseTree();

    // Set by a job asked for its findings as data: the link passes then keep what the collection needs.
    bool keepFindings_ = false;
    // What the passes of the current run find goes to the job's text report and, when findings are kept,
    // to the collector too. Set up for a run by a RunContext, on the run's log.
    class RunContext {
      public:
        RunContext(Job& job, Log& log);
        ~RunContext();
        RunContext(const RunContext&) = delete;
        RunContext& operator=(const RunContext&) = delete;

      private:
        Job& job_;
    };
    std::optional<report::TextReport> text_;
    std::optional<report::FindingsCollector> collected_;
    std::optional<report::TeeSink> both_;
    std::optional<report::RecordCounts> counts_;
    std::optional<JobContext> job_;

    JobSettings settings_;
    HtmlDefinitions definitions_;
    bool askSettings_;
    bool interactive_;
    std::string reportPath_;
    unsigned status_ = 0;
    std::unique_ptr<SiteTree> tree_;
    // What link finding learns, for the link passes after it; both point into the tree.
    std::unique_ptr<UrlContext> urlContext_;
    std::unique_ptr<LinkIndex> foundLinks_;
    ReachedNodes urlMap_;             // the nodes reached from the home page
    std::vector<Node*> unusedFiles_;  // the orphans, in tree order
    std::uint32_t nodeCount_ = 0;
    std::uint32_t dirCount_ = 0;
    std::int32_t pageCount_ = 0;
    bool foundSomething_ = false;
    std::uint32_t namesToChange_ = 0;  // nodes the name pass gave a new name
    std::uint32_t linkFindings_ = 0;   // pages with broken links or link changes, and orphan files
    ScanStatus scanStatus_ = ScanStatus::Complete;
    bool siteBusy_ = false;
};

// The check job: scans, works out the names files would need, and reports; it changes nothing on disk.
class CheckJob : public Job {
  public:
    using Job::Job;

  protected:
    bool doExecute() override;
    bool doUnexecute() override { return false; }
};

// A whole-tree pass in pre-order over the directory tree, under the progress title "titleId": the number
// of nodes the visitor accepted, or -1 when the person cancelled it.
std::int32_t runTreePass(Node& top, Visitor& visitor, int titleId, std::uint32_t total);

// Hands the job's report a one-line note ("messageId", with "path" for its %1), as a missing top directory
// or home page, or a job refused before it began, is reported.
void writeJobNote(const JobContext& job, int messageId, std::string_view path = {});

// The top directory's node, or null (a job note, 302) when the tree has none at "path".
DirNode* findTopDirectory(SiteTree& tree, std::string_view path, const JobContext& job);
// The home page's node, or null (reported with 303).
HtmlNode* findHomePage(SiteTree& tree, std::string_view path, const JobContext& job);

// Tells the person that another job is changing the site, so that this one changed nothing.
void showSiteBusy();

// Tells the person that the job was interrupted, and whether files may have been left half changed.
void showInterruption(unsigned status, std::string_view message);

}  // namespace korvel
