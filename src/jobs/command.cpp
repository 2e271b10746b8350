#include "jobs/command.h"

#include <atomic>
#include <new>
#include <set>
#include <system_error>
#include <thread>

#include "html/download_times.h"
#include "html/find_links.h"
#include "html/link_reports.h"
#include "html/reachability.h"
#include "html/update_links.h"
#include "jobs/findings.h"
#include "names/convert_names.h"
#include "names/rename_files.h"
#include "platform/file_info.h"
#include "platform/paths.h"
#include "platform/work_share.h"
#include "report/app_log.h"
#include "report/findings.h"
#include "report/job_status.h"
#include "report/report.h"
#include "report/section.h"
#include "report/sinks.h"
#include "res/strings.h"
#include "site/iterator.h"
#include "site/node.h"
#include "site/scan.h"
#include "site/site_tree.h"
#include "site/traverse.h"
#include "ui/prompts.h"

namespace korvel {

void writeJobNote(const JobContext& job, int messageId, std::string_view path) {
    job.report.jobNote({messageId, std::string(path)});
}

std::int32_t runTreePass(Node& top, Visitor& visitor, int titleId, std::uint32_t total) {
    Traversal<TypedWalk<Node*>> pass(&top, visitor);
    return pass.run(res::loadString(titleId), total);
}

Job::Job(const JobSettings& settings, HtmlDefinitions definitions, bool askSettings, bool interactive)
    : settings_(settings),
      definitions_(std::move(definitions)),
      askSettings_(askSettings),
      interactive_(interactive) {}

Job::~Job() = default;

Job::RunContext::RunContext(Job& job, Log& log) : job_(job) {
    job.text_.emplace(log);
    report::ReportSink* sink = &*job.text_;
    if (job.keepFindings_) {
        job.collected_.emplace();
        sink = &job.both_.emplace(*job.text_, *job.collected_);
    }
    job.job_.emplace(JobContext{job.counts_.emplace(*sink)});
}

Job::RunContext::~RunContext() {
    job_.job_.reset();
    job_.counts_.reset();
    job_.both_.reset();
    job_.text_.reset();
}

void Job::runGuarded(const std::function<void()>& passes) {
    try {
        passes();
    } catch (const std::bad_alloc&) {
        status_ |= kStatusOutOfMemory;
        showInterruption(status_, {});
    }
}

bool Job::scanTree() {
    const bool scanned = buildTree(settings_, definitions_, tree_, *job_);
    nodeCount_ = tree_ ? tree_->nodeCount() : 0;
    dirCount_ = tree_ ? tree_->dirCount() : 0;
    if (tree_) scanStatus_ = tree_->status();
    return scanned;
}

void Job::noteFindings() {
    auto* log = dynamic_cast<SectionedLog*>(&currentLog());
    foundSomething_ = !(status_ & kStatusCompleted) || namesToChange_ > 0 || linkFindings_ > 0 ||
                      counts_->jobNotes > 0 || counts_->syntaxErrors > 0;
    if (!log) return;
    for (int id : {res::kSectionErrors, res::kSectionNotRenamed}) {
        const auto it = log->sections().find(id);
        if (it != log->sections().end() && it->second->hasContent()) foundSomething_ = true;
    }
}

bool CheckJob::doExecute() {
    LogScope logScope;
    const RunContext run(*this, logScope.log());
    if (askSettings_ && !ui::prompts().getInputSettings(ui::SettingsMode::Check, settings_)) return false;
    // A check serves neither an orphans job nor asks about each name: the report lists the suggestions.
    settings_.RemoveOrphans = false;

    runGuarded([&] {
        if (!scanTree()) return;
        if (namesCanChange(settings_)) {
            names::NameConversionPass convert(settings_.Target, settings_.CaseConv, &settings_.AutoFileName,
                                              &settings_.FilenameExtensions);
            const std::int32_t renamed =
                runTreePass(tree_->top(), convert, res::kValidatingFilenames, nodeCount_);
            if (renamed < 0) return;
            namesToChange_ = static_cast<std::uint32_t>(renamed);
            names::SuggestedNamesPass suggestions;
            if (runTreePass(tree_->top(), suggestions, res::kReportingSuggestedNames, nodeCount_) < 0) return;
        }
        if (!settings_.FilesOnly && !(findLinks() && reportLinks())) return;
        status_ |= kStatusCompleted;
    });

    noteFindings();
    finishFindings(false);
    undoable_ = false;
    reportPath_ = logScope.log().makeReport(settings_, nodeCount_, dirCount_, 0, 0, status_);
    return true;
}

void Job::finishFindings(bool keepTree) {
    findings_.reset();
    // Before the tree goes: the findings point into it.
    if (keepFindings_) runGuarded([&] { takeFindings(); });
    if (!keepTree) releaseTree();
}

void Job::takeFindings() {
    auto findings = std::make_unique<CheckFindings>();
    findings->settings = settings_;
    // Counted as the report's header counts them.
    findings->fileCount = nodeCount_ > dirCount_ ? nodeCount_ - dirCount_ : 0;
    findings->dirCount = settings_.UseSubdirs ? dirCount_ : (dirCount_ > 0 ? 1 : 0);
    findings->completed = (status_ & kStatusCompleted) != 0;
    FindingsSource source;
    source.tree = tree_.get();
    source.found = foundLinks_.get();
    if (settings_.ReportUnusedFiles && (status_ & kStatusUrlPass)) source.orphans = &unusedFiles_;
    collectFindings(source, *findings);
    if (collected_) {
        for (const report::Skipped& entry : collected_->skippedEntries)
            findings->skipped.push_back({entry.path, entry.kind});
        if (!collected_->frontPage.empty()) {
            findings->hasFrontPage = true;
            findings->frontPage = pageWeight(collected_->frontPage.front());
        }
        for (const report::PageWeight& weight : collected_->pageWeights)
            findings->pageWeights.push_back(pageWeight(weight));
    }
    if (auto* log = dynamic_cast<SectionedLog*>(&currentLog())) {
        // Errors come from every layer as text; the section is all there is of them.
        const std::string text = log->sectionText(res::kSectionErrors);
        std::size_t body = 0;
        for (int line = 0; line < 3 && body != std::string::npos; ++line) {
            body = text.find('\n', body);
            if (body != std::string::npos) ++body;
        }
        if (body != std::string::npos) findings->errors = splitErrorText(std::string_view(text).substr(body));
    }
    findings_ = std::move(findings);
}

bool Job::findLinks() {
    DirNode* top = findTopDirectory(*tree_, settings_.Directory, *job_);
    HtmlNode* home = findHomePage(*tree_, settings_.HomePage, *job_);
    if (!top || !home) return false;
    urlContext_ = std::make_unique<UrlContext>(tree_.get(), settings_.Server, settings_.ServerDefaultFiles);
    foundLinks_ = std::make_unique<LinkIndex>(*urlContext_);
    foundLinks_->keepSyntaxErrors(keepFindings_);
    foundLinks_->expectPages(nodeCount_);
    urlMap_.clear();
    // Declared before the walks' visitors, so that its thread ends after their last page.
    std::unique_ptr<PagePrefetcher> prefetch;
    if (platform::useSecondCore()) {
        try {
            prefetch = std::make_unique<PagePrefetcher>(*top, *urlContext_);
        } catch (const std::system_error&) {
            // No second thread to be had: the walk reads every page itself, as on one core.
        }
    }
    {
        LinkFinder find(*foundLinks_, &urlMap_, *job_);
        find.usePrefetch(prefetch.get());
        Traversal<LinkWalk<Node*>> pass(home, find);
        pageCount_ = pass.run(res::loadString(res::kCheckingUrlLinks), nodeCount_);
        if (pageCount_ < 0) return false;
    }
    // Every page of the tree, so that pages no link reaches are read (and their errors reported) too.
    LinkFinder find(*foundLinks_, nullptr, *job_);
    find.usePrefetch(prefetch.get());
    return runTreePass(*top, find, res::kCheckingUnlinkedFiles, nodeCount_) >= 0;
}

namespace {

// One pass of the link reports: made when its turn comes (or, when the passes share the cores, all before
// the first runs), then run over the tree, then finished with what it counted. "finish" says whether the
// passes go on.
struct ReportPass {
    std::function<std::unique_ptr<Visitor>(const JobContext&)> make;
    int titleId = 0;
    // Only reads the tree and hands on what it finds: it may run beside the others.
    bool readsOnly = false;
    std::function<bool(std::unique_ptr<Visitor>&, std::int32_t)> finish;
};

// Runs "passes" in their order on this thread.
bool runPassesInTurn(Node& top, std::vector<ReportPass>& passes, std::uint32_t total, const JobContext& job) {
    for (ReportPass& pass : passes) {
        std::unique_ptr<Visitor> visitor = pass.make(job);
        if (!pass.finish(visitor, runTreePass(top, *visitor, pass.titleId, total))) return false;
    }
    return true;
}

// Runs the passes that only read beside the others: a second thread takes them one by one, and this one
// takes what is left once its own passes are done, so that neither waits long for the other. They run
// without a progress display (the display belongs to the thread that runs the job, and which thread runs
// which pass depends on timing), and a cancel of the link pass lets them end, which takes a moment. Each of
// them hands its findings to a sink of its own, which this thread replays into the job's, in pass order,
// once both threads are done; one that never ran is dropped with what it said as it was made.
bool runPassesShared(Node& top, std::vector<ReportPass>& passes, std::uint32_t total, const JobContext& job) {
    std::vector<std::unique_ptr<report::BufferedSink>> held(passes.size());
    std::vector<std::unique_ptr<Visitor>> visitors;
    visitors.reserve(passes.size());
    for (std::size_t i = 0; i < passes.size(); ++i) {
        if (passes[i].readsOnly) held[i] = std::make_unique<report::BufferedSink>();
        visitors.push_back(passes[i].make(held[i] ? job.withReport(*held[i]) : job));
    }
    std::vector<std::int32_t> results(passes.size(), 0);
    std::vector<char> ran(passes.size(), 0);  // bytes, not bits: the two threads write their own
    // Ends every pass and replays what the ones that ran found.
    const auto endPasses = [&] {
        for (std::size_t i = 0; i < passes.size(); ++i) {
            visitors[i].reset();
            if (held[i] && ran[i]) held[i]->replay(job.report);
        }
    };
    // The later reports of the list read more of each page: they are taken first.
    std::vector<std::size_t> readOnly;
    for (std::size_t i = passes.size(); i-- > 0;)
        if (passes[i].readsOnly) readOnly.push_back(i);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    const auto takePasses = [&] {
        for (std::size_t k = next++; k < readOnly.size() && !stop; k = next++) {
            const std::size_t i = readOnly[k];
            Traversal<TypedWalk<Node*>, GUIProgress> pass(&top, *visitors[i]);
            results[i] = pass.run(res::loadString(passes[i].titleId), total);
            ran[i] = 1;
        }
    };
    std::exception_ptr failure;
    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                takePasses();
            } catch (...) {
                failure = std::current_exception();
                stop = true;
            }
        });
    } catch (const std::system_error&) {
        // No second thread to be had: this one takes them all after its own.
    }
    bool cancelled = false;
    try {
        for (std::size_t i = 0; i < passes.size() && !cancelled; ++i) {
            if (passes[i].readsOnly) continue;
            results[i] = runTreePass(top, *visitors[i], passes[i].titleId, total);
            ran[i] = 1;
            cancelled = results[i] < 0;
        }
        takePasses();
    } catch (...) {
        stop = true;
        if (helper.joinable()) helper.join();
        endPasses();
        throw;
    }
    if (helper.joinable()) helper.join();
    if (failure) {
        endPasses();
        std::rethrow_exception(failure);
    }
    bool goOn = !cancelled;
    for (std::size_t i = 0; i < passes.size(); ++i) {
        if (goOn) goOn = passes[i].finish(visitors[i], results[i]);
    }
    endPasses();
    return goOn;
}

}  // namespace

bool Job::reportLinks(LinkWriter* writer) {
    DirNode* top = findTopDirectory(*tree_, settings_.Directory, *job_);
    if (!top || !foundLinks_) return false;
    const bool update = writer != nullptr;
    status_ |= kStatusUrlPass;
    if (update) status_ |= kStatusUpdatingUrls;

    std::vector<ReportPass> passes;
    passes.push_back({[&](const JobContext&) {
                          return std::make_unique<LinkUpdatePass>(*foundLinks_, settings_.AbsRelCnvrt,
                                                                  writer);
                      },
                      update ? res::kUpdatingUrlLinks : res::kValidatingUrlLinks, false,
                      [&](std::unique_ptr<Visitor>&, std::int32_t pages) {
                          if (pages < 0) return false;
                          // Links a fix rewrote need nothing more from the person.
                          if (!update) linkFindings_ += static_cast<std::uint32_t>(pages);
                          return true;
                      }});
    const auto countPages = [&](std::unique_ptr<Visitor>&, std::int32_t pages) {
        if (pages < 0) return false;
        linkFindings_ += static_cast<std::uint32_t>(pages);
        return true;
    };
    if (settings_.ReportUnresolvedRefs && !brokenLinksReported_) {
        passes.push_back(
            {[&](const JobContext& job) { return std::make_unique<BrokenLinksPass>(*foundLinks_, job); },
             res::kReportingBrokenLinks, true, countPages});
    }
    if (settings_.ReportBrokenAnchors && !brokenAnchorsReported_) {
        passes.push_back(
            {[&](const JobContext& job) { return std::make_unique<BrokenAnchorsPass>(*foundLinks_, job); },
             res::kReportingBrokenAnchors, true, countPages});
    }
    if (settings_.ReportUnusedFiles) {
        passes.push_back({[&](const JobContext& job) {
                              unusedFiles_.clear();
                              return std::make_unique<OrphansPass>(urlMap_, unusedFiles_, *urlContext_, job,
                                                                   settings_.KeepPatterns);
                          },
                          res::kReportingOrphanFiles, true,
                          [&](std::unique_ptr<Visitor>&, std::int32_t result) {
                              if (result < 0) return false;
                              linkFindings_ += static_cast<std::uint32_t>(unusedFiles_.size());
                              return true;
                          }});
    }
    if (settings_.ReportExternalRefs) {
        passes.push_back(
            {[&](const JobContext& job) { return std::make_unique<ExternalLinksPass>(*foundLinks_, job); },
             res::kReportingExternalUrls, true,
             [](std::unique_ptr<Visitor>&, std::int32_t result) { return result >= 0; }});
    }
    if (settings_.ReportEstimated) {
        passes.push_back({[&](const JobContext& job) {
                              return std::make_unique<DownloadTimesPass>(
                                  findPageQuietly(*urlContext_, settings_.HomePage), *urlContext_, job);
                          },
                          res::kReportingDownloadTimes, true,
                          [](std::unique_ptr<Visitor>&, std::int32_t result) { return result >= 0; }});
    }
    // A fix rewrites pages in the first pass: what the others read (sizes, records) must come after it.
    if (update || !platform::useSecondCore()) return runPassesInTurn(*top, passes, nodeCount_, *job_);
    return runPassesShared(*top, passes, nodeCount_, *job_);
}

namespace {

// What a job let go of while trees are parked: still reachable, never freed.
struct ParkedTree {
    std::unique_ptr<LinkIndex> found;
    std::unique_ptr<UrlContext> context;
    std::unique_ptr<SiteTree> tree;
};
bool g_parkTrees = false;
std::vector<ParkedTree>* g_parked = nullptr;

}  // namespace

void Job::parkReleasedTrees(bool park) {
    g_parkTrees = park;
}

void Job::releaseTree() {
    unusedFiles_.clear();
    urlMap_.clear();
    if (g_parkTrees && tree_) {
        if (!g_parked) g_parked = new std::vector<ParkedTree>();
        g_parked->push_back({std::move(foundLinks_), std::move(urlContext_), std::move(tree_)});
        return;
    }
    foundLinks_.reset();
    urlContext_.reset();
    tree_.reset();
}

DirNode* findTopDirectory(SiteTree& tree, std::string_view path, const JobContext& job) {
    if (auto* dir = dynamic_cast<DirNode*>(tree.findNodeByPath(path))) return dir;
    writeJobNote(job, res::kTopDirectoryMissing, path);
    return nullptr;
}

HtmlNode* findHomePage(SiteTree& tree, std::string_view path, const JobContext& job) {
    auto* page = dynamic_cast<HtmlNode*>(tree.findNodeByPath(path));
    if (page && page->isHtml()) return page;
    // A page that is there but outside the site was never scanned: "not found" would send the person
    // looking for a file that exists.
    platform::FileInfo info;
    const bool outside = !platform::fileInfo(path, info) && info.kind == platform::EntryKind::File &&
                         !platform::liesWithin(path, tree.top().path());
    writeJobNote(job, outside ? res::kHomePageOutsideSite : res::kHomePageMissing, path);
    return nullptr;
}

void showSiteBusy() {
    ui::prompts().messageBox(res::loadString(res::kSiteBusy), ui::Buttons::Ok);
}

void showInterruption(unsigned status, std::string_view message) {
    ui::prompts().messageBox(interruptionMessage(status, message), ui::Buttons::Ok);
}

}  // namespace korvel
