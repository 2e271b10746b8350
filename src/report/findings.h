#pragma once
// What the passes find, as typed records, and the sink they hand them to. A record holds paths and texts
// as the site has them (bytes, not yet escaped for showing): whoever renders it decides how to show them.
#include <cstdint>
#include <string>
#include <vector>

namespace korvel::report {

struct BrokenLink {
    std::string page;
    std::int64_t line = 0;
    std::string link;  // as the record holds it: cut at its fragment or query, percent-decoded

    bool operator==(const BrokenLink&) const = default;
};

struct BrokenAnchor {
    std::string page;
    std::int64_t line = 0;
    std::string link;      // as for a broken link; "" for a link within the page
    std::string fragment;  // as the page writes it, without the "#"
    std::string target;    // the page that has no such anchor

    bool operator==(const BrokenAnchor&) const = default;
};

struct SyntaxError {
    std::string page;
    std::int64_t line = 0;
    std::string kind;  // "no-close", "no-start", "unmatched-comment", "end-quote"

    bool operator==(const SyntaxError&) const = default;
};

struct ExternalUrl {
    std::string page;
    std::int64_t line = 0;
    std::string url;

    bool operator==(const ExternalUrl&) const = default;
};

struct Orphan {
    std::string path;

    bool operator==(const Orphan&) const = default;
};

// A page with what it embeds. Sizes that could not be read count as 0 and set "unknown".
struct PageWeight {
    std::string page;
    std::int64_t bytes = 0;
    bool external = false;  // an embedded external resource: its size is not known
    bool broken = false;    // an embedded local link resolves to nothing
    bool unknown = false;   // a size could not be read

    bool operator==(const PageWeight&) const = default;
};

// An entry the scan left out of the tree: the path as found, and why.
struct Skipped {
    std::string path;
    // "system", "temporary", "hidden", "path-too-long", "scanned-twice", or one of Korvel's own
    // directories: "korvel-state", "move-to-directory", "trash"
    std::string kind;

    bool operator==(const Skipped&) const = default;
};

// A word about the job as a whole (a missing top directory or home page, a job refused before it began):
// a message of the string table, with "path" for its %1.
struct JobNote {
    int messageId = 0;
    std::string path;

    bool operator==(const JobNote&) const = default;
};

// The lists a report is made of. A pass says when it starts and ends one, even with no entry: "nothing
// found" is itself a finding of a pass that ran.
enum class List {
    BrokenLinks,
    BrokenAnchors,
    ExternalUrls,
    Orphans,
    PageWeights,
    Skipped,
    SyntaxErrors,
};

// Where a job's passes hand what they find. Every call is made on the job's own thread, or on a sink of
// the caller's own that it replays there.
class ReportSink {
  public:
    virtual ~ReportSink() = default;

    virtual void listStarted(List list) = 0;
    virtual void listEnded(List list) = 0;

    virtual void syntaxError(const SyntaxError& error) = 0;
    virtual void brokenLink(const BrokenLink& link) = 0;
    virtual void brokenAnchor(const BrokenAnchor& anchor) = 0;
    virtual void externalUrl(const ExternalUrl& url) = 0;
    virtual void orphan(const Orphan& orphan) = 0;
    // The home page with everything its frames load; comes before the pages' own weights.
    virtual void frontPageWeight(const PageWeight& weight) = 0;
    virtual void pageWeight(const PageWeight& weight) = 0;
    virtual void skipped(const Skipped& entry) = 0;
    virtual void jobNote(const JobNote& note) = 0;
};

}  // namespace korvel::report
