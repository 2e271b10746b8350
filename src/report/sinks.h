#pragma once
// The sinks that do not render: one that keeps the records (what machine formats are made from), one that
// hands every record to two others, and one that holds them back to replay them later in order.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/findings.h"

namespace korvel::report {

// Keeps every record, in the order it came.
class FindingsCollector : public ReportSink {
  public:
    void listStarted(List) override {}
    void listEnded(List) override {}
    void syntaxError(const SyntaxError& error) override { syntaxErrors.push_back(error); }
    void brokenLink(const BrokenLink& link) override { brokenLinks.push_back(link); }
    void brokenAnchor(const BrokenAnchor& anchor) override { brokenAnchors.push_back(anchor); }
    void externalUrl(const ExternalUrl& url) override { externalUrls.push_back(url); }
    void orphan(const Orphan& orphan) override { orphans.push_back(orphan); }
    void frontPageWeight(const PageWeight& weight) override { frontPage.push_back(weight); }
    void pageWeight(const PageWeight& weight) override { pageWeights.push_back(weight); }
    void skipped(const Skipped& entry) override { skippedEntries.push_back(entry); }
    void jobNote(const JobNote& note) override { jobNotes.push_back(note); }

    std::vector<SyntaxError> syntaxErrors;
    std::vector<BrokenLink> brokenLinks;
    std::vector<BrokenAnchor> brokenAnchors;
    std::vector<ExternalUrl> externalUrls;
    std::vector<Orphan> orphans;
    std::vector<PageWeight> frontPage;  // none, or the one the weights began with
    std::vector<PageWeight> pageWeights;
    std::vector<Skipped> skippedEntries;
    std::vector<JobNote> jobNotes;
};

// Hands every record to both sinks, the first first.
class TeeSink : public ReportSink {
  public:
    TeeSink(ReportSink& first, ReportSink& second) : first_(first), second_(second) {}

    void listStarted(List list) override;
    void listEnded(List list) override;
    void syntaxError(const SyntaxError& error) override;
    void brokenLink(const BrokenLink& link) override;
    void brokenAnchor(const BrokenAnchor& anchor) override;
    void externalUrl(const ExternalUrl& url) override;
    void orphan(const Orphan& orphan) override;
    void frontPageWeight(const PageWeight& weight) override;
    void pageWeight(const PageWeight& weight) override;
    void skipped(const Skipped& entry) override;
    void jobNote(const JobNote& note) override;

  private:
    ReportSink& first_;
    ReportSink& second_;
};

// Counts the records of each kind and hands every call on to "next": what a job decides by (whether it
// found something, whether links need the person's word) without looking at any rendering of them.
class RecordCounts : public ReportSink {
  public:
    explicit RecordCounts(ReportSink& next) : next_(next) {}

    void listStarted(List list) override { next_.listStarted(list); }
    void listEnded(List list) override { next_.listEnded(list); }
    void syntaxError(const SyntaxError& error) override;
    void brokenLink(const BrokenLink& link) override;
    void brokenAnchor(const BrokenAnchor& anchor) override;
    void externalUrl(const ExternalUrl& url) override { next_.externalUrl(url); }
    void orphan(const Orphan& orphan) override { next_.orphan(orphan); }
    void frontPageWeight(const PageWeight& weight) override { next_.frontPageWeight(weight); }
    void pageWeight(const PageWeight& weight) override { next_.pageWeight(weight); }
    void skipped(const Skipped& entry) override { next_.skipped(entry); }
    void jobNote(const JobNote& note) override;

    std::uint32_t syntaxErrors = 0;
    std::uint32_t brokenLinks = 0;
    std::uint32_t brokenAnchors = 0;
    std::uint32_t jobNotes = 0;

  private:
    ReportSink& next_;
};

// Holds every call back until replay(): a pass that runs on a thread of its own writes here, and the job's
// thread replays it into the job's sink once that thread is joined. The calls are kept packed into one
// block of bytes, a page's path once for all its rows, so that holding a large site's links back costs
// little more than their texts.
class BufferedSink : public ReportSink {
  public:
    void listStarted(List list) override;
    void listEnded(List list) override;
    void syntaxError(const SyntaxError& error) override;
    void brokenLink(const BrokenLink& link) override;
    void brokenAnchor(const BrokenAnchor& anchor) override;
    void externalUrl(const ExternalUrl& url) override;
    void orphan(const Orphan& orphan) override;
    void frontPageWeight(const PageWeight& weight) override;
    void pageWeight(const PageWeight& weight) override;
    void skipped(const Skipped& entry) override;
    void jobNote(const JobNote& note) override;

    // Makes the held calls on "sink", in the order they came, and forgets them.
    void replay(ReportSink& sink);

  private:
    void putTag(char tag) { bytes_.push_back(tag); }
    void putNumber(std::int64_t number);
    void putText(std::string_view text);
    // The page's path, or a mark that it is the one the last row named.
    void putPage(std::string_view page);

    std::string bytes_;
    std::string lastPage_;
};

}  // namespace korvel::report
