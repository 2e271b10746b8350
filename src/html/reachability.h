#pragma once
// Files that no chain of local links from the home page reaches ("orphans"). Which nodes the walk from the
// home page reached is what the first link-finding pass put into its URL map (find_links.h); the walk
// itself follows the web children of each page (WebWalk, site/node.h).
#include <vector>

#include "html/find_links.h"
#include "html/keep_patterns.h"
#include "html/url.h"
#include "site/job_context.h"
#include "site/node.h"
#include "site/visitor.h"

namespace korvel {

// "THE FOLLOWING FILES WERE NOT USED IN THE SITE HIERARCHY:": each file and page that is not in the URL
// map, one path a line, after a note that files only scripts load cannot be seen and are listed too (what
// style sheets load is reached through them: find_links.h).
// Each is also appended to "unused" (in walk order, for the orphans job to act on) and counted in "count".
// Directories are never listed, nor Korvel's own output files, nor the files "keep" names (paths relative to
// the top directory). Runs over the typed pre-order walk of the whole tree.
class OrphansPass : public Visitor {
  public:
    OrphansPass(const ReachedNodes& urlMap, std::vector<Node*>& unused, const UrlContext& context,
                const JobContext& job, const std::vector<std::string>& keep = {});
    ~OrphansPass() override;
    OrphansPass(const OrphansPass&) = delete;
    OrphansPass& operator=(const OrphansPass&) = delete;

    // True when the file is unused.
    bool visitFile(FileNode& node) override { return check(node); }
    bool visitHtml(HtmlNode& node) override { return check(node); }

  private:
    bool check(Node& node);
    std::string_view relativeToTop(std::string_view path) const;

    const ReachedNodes* urlMap_;
    std::vector<Node*>* unused_;
    const UrlContext* context_;
    report::ReportSink* report_;
    KeepPatterns keep_;
};

}  // namespace korvel
