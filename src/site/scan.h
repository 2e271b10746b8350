#pragma once
// Building the tree of a site from the disk.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report/findings.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"
#include "site/job_context.h"
#include "site/node.h"
#include "site/site_tree.h"
#include "site/visitor.h"

namespace korvel::platform {
class WorkShare;
}

namespace korvel {

// Visits directories and makes the nodes of their entries, so that the walk that visits a directory goes
// on into the children just made. Hidden, temporary and system entries get no node; each is listed in the
// job's report as skipped (and, when asked, shown to the person). So is every entry the host cannot reach
// by path (too long), and every directory that cannot be listed goes into the errors section. "count" is
// the number of directories visited.
class NodeMaker : public Visitor {
  public:
    NodeMaker(bool promptSkipped, NodeFactory& creator, const JobContext& job);
    ~NodeMaker() override;

    bool visitDir(DirNode& dir) override;
    // Looks at a directory's entries on two threads (the nodes are made, then kept in listing order here).
    void shareWork(platform::WorkShare* share) { share_ = share; }

    // The directory without a parent (the top) could not be listed.
    bool topUnlistable() const { return topUnlistable_; }

    // Korvel's own directories, which get no node wherever they turn up below the top, however spelled:
    // the directory at "path" (when it exists) is recognised by its device and inode. "kind" is the word
    // for the skipped list.
    void leaveOut(std::string_view path, std::string_view kind);

  private:
    void skip(std::string_view path, std::string_view kind);

    bool promptSkipped_;
    NodeFactory* creator_;
    platform::WorkShare* share_ = nullptr;
    report::ReportSink* report_;
    bool topUnlistable_ = false;
    // Directories listed so far, by device and inode: a bind mount that shows a directory inside itself
    // must not make the walk go round.
    std::set<std::pair<std::uint64_t, std::uint64_t>> listed_;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> leftOut_;  // the kind of each
};

// Counts every node ("count" and nodeCount) and every directory.
class NodeCounter : public Visitor {
  public:
    bool visitFile(FileNode&) override { return countNode(false); }
    bool visitHtml(HtmlNode&) override { return countNode(false); }
    bool visitDir(DirNode&) override { return countNode(true); }

    std::uint32_t nodeCount = 0;
    std::uint32_t dirCount = 0;

  private:
    bool countNode(bool directory) {
        ++count;
        ++nodeCount;
        if (directory) ++dirCount;
        return true;
    }
};

// Scans settings.Directory (its subdirectories too when settings.UseSubdirs), showing the progress through
// the job's prompts; what it skips goes to the job's report. "tree" always receives the tree, with its status
// and counts. False when the scan was cancelled or the top directory is missing or cannot be listed (each
// reported in the current log).
bool buildTree(const JobSettings& settings, const HtmlDefinitions& definitions,
               std::unique_ptr<SiteTree>& tree, const JobContext& job);

}  // namespace korvel
