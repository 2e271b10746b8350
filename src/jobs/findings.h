#pragma once
// What a check found, as plain data: the same findings as its text report, each with its page and line,
// taken from the tree before the job lets go of it. Texts are the bytes the site holds (paths, links), not
// yet escaped for showing; whoever writes them out decides how.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/findings.h"
#include "settings/job_settings.h"

namespace korvel {

class LinkIndex;
class HtmlNode;
class Node;
class SiteTree;
class UrlContext;

struct CheckFindings {
    struct BrokenLink {
        std::string page;
        std::int64_t line = 0;
        std::string link;  // as the record holds it: cut at its fragment or query, percent-decoded
    };
    struct BrokenAnchor {
        std::string page;
        std::int64_t line = 0;
        std::string link;      // as the record holds it (as for a broken link); "" for a link within the page
        std::string fragment;  // as the page writes it, without the "#"
        std::string target;    // the page that has no such anchor
    };
    struct SyntaxError {
        std::string page;
        std::int64_t line = 0;
        std::string kind;  // "no-close", "no-start", "unmatched-comment", "end-quote"
        std::string message;
    };
    struct SuggestedName {
        std::string path;
        std::string name;     // the new file name
        std::string newPath;  // the full path once it and every directory above it carry their new names
    };
    struct LinkChange {
        std::string page;
        std::int64_t line = 0;
        std::string oldText;
        std::string newText;
        std::string note;  // "", "case-change" or "reserved-character-encode"
    };
    struct ExternalUrl {
        std::string page;
        std::int64_t line = 0;
        std::string url;
    };
    struct PageWeight {
        std::string page;
        std::int64_t bytes = 0;
        // Seconds at 14.4, 28.8, 33.6 and 56 kbit/s, rounded up, as the report's columns.
        std::int64_t seconds[4] = {0, 0, 0, 0};
        bool external = false;  // an embedded external resource: its size is not known
        bool broken = false;    // an embedded local link resolves to nothing
        bool unknown = false;   // a size could not be read
    };
    struct Skipped {
        std::string path;
        std::string kind;
    };
    struct Error {
        std::string text;                  // the message's first line
        std::vector<std::string> details;  // the lines under it (usually the path)
    };

    // What the job ran with, as it ran (a check's own choices applied over the settings file).
    JobSettings settings;
    std::uint32_t fileCount = 0;  // every node but the directories
    std::uint32_t dirCount = 0;
    bool completed = false;
    bool linksChecked = false;     // link finding ran (not --files-only, and the home page was found)
    bool linkFormRefused = false;  // absolute links were asked for without a server: no link change planned

    std::vector<BrokenLink> brokenLinks;
    std::vector<BrokenAnchor> brokenAnchors;
    std::vector<SyntaxError> syntaxErrors;
    std::vector<SuggestedName> suggestedNames;
    std::vector<LinkChange> linkChanges;
    std::vector<std::string> orphans;
    std::vector<ExternalUrl> externalUrls;
    // The home page with everything its frames load, when times are reported and the home page is one.
    bool hasFrontPage = false;
    PageWeight frontPage;
    std::vector<PageWeight> pageWeights;
    std::vector<Skipped> skipped;
    std::vector<Error> errors;

    // What an orphans job did with the orphans it found ("orphans" lists every one it found).
    struct OrphansOutcome {
        bool moved = false;                           // moved to a directory; otherwise sent to the trash
        std::string movedTo;                          // the directory they went into; "" when none was moved
        std::vector<std::string> removed;             // the files really moved or trashed
        std::vector<std::string> removedDirectories;  // the directories they left empty, removed
    };
    std::optional<OrphansOutcome> orphansJob;
};

// Where the findings are taken from. Everything but the tree may be null (a pass that did not run).
struct FindingsSource {
    SiteTree* tree = nullptr;
    LinkIndex* found = nullptr;
    const std::vector<Node*>* orphans = nullptr;
};

// A page's weight with its load times, as the report's columns give them.
CheckFindings::PageWeight pageWeight(const report::PageWeight& weight);

// Takes the findings out of the tree (the page weights excepted: the pass hands them on as it weighs). Reads
// no page but to count a line that link finding did not keep (as the text report does). "findings" already
// holds the settings and the counts.
void collectFindings(const FindingsSource& source, CheckFindings& findings);

// The errors section's text (without its header) cut into entries: a line that does not start with a tab
// begins one, the tab-indented lines under it are its details.
std::vector<CheckFindings::Error> splitErrorText(std::string_view body);

}  // namespace korvel
