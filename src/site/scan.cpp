#include "site/scan.h"

#include <algorithm>

#include "platform/dir_list.h"
#include "platform/file_info.h"
#include "platform/locations.h"
#include "platform/paths.h"
#include "platform/shorten_path.h"
#include "platform/trash.h"
#include "platform/work_share.h"
#include "report/log.h"
#include "res/strings.h"
#include "site/traverse.h"
#include "ui/prompts.h"

namespace korvel {

namespace {

// Fewer entries than this are looked at by the walk alone: handing them over would cost more than it saves.
constexpr std::size_t kSharedListing = 4;

// Why an entry gets no node ("" when it gets one). System wins over temporary, temporary over hidden.
std::string_view skipKind(const Node& node) {
    if (node.isSystem()) return "system";
    if (node.isTemporary()) return "temporary";
    if (node.isHidden()) return "hidden";
    return {};
}

}  // namespace

NodeMaker::NodeMaker(bool promptSkipped, NodeFactory& creator, const JobContext& job)
    : promptSkipped_(promptSkipped), creator_(&creator), report_(&job.report) {
    report_->listStarted(report::List::Skipped);
}

NodeMaker::~NodeMaker() {
    report_->listEnded(report::List::Skipped);
}

void NodeMaker::skip(std::string_view path, std::string_view kind) {
    if (promptSkipped_) {
        const std::size_t room = platform::roomForPath(res::loadString(res::kSkippedFilePrompt), kind);
        ui::prompts().messageBox(
            res::formatString(res::kSkippedFilePrompt, platform::shortenPath(path, room), kind));
    }
    report_->skipped({std::string(path), std::string(kind)});
}

void NodeMaker::leaveOut(std::string_view path, std::string_view kind) {
    platform::FileInfo info;
    if (path.empty() || platform::fileInfo(path, info) || info.kind != platform::EntryKind::Directory) return;
    leftOut_.emplace(
        std::make_pair(static_cast<std::uint64_t>(info.device), static_cast<std::uint64_t>(info.inode)),
        std::string(kind));
}

bool NodeMaker::visitDir(DirNode& dir) {
    ++count;
    platform::FileInfo info;
    if (!platform::fileInfo(dir.path(), info) &&
        !listed_.emplace(static_cast<std::uint64_t>(info.device), static_cast<std::uint64_t>(info.inode))
             .second) {
        report_->skipped({dir.path(), "scanned-twice"});
        return true;
    }

    // Held open while its entries are looked at, each by its name in it.
    platform::OpenDirectory opened;
    std::vector<std::string> names;
    if (opened.open(dir.path()) || opened.list(names)) {
        if (!dir.getParent()) topUnlistable_ = true;
        dir.logError(res::kDirectoryListFailed);
        return true;
    }

    // Making a node is a few system calls on its entry and nothing shared: the entries are looked at on
    // two threads when there are enough to pay for the hand-over.
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const std::string& name : names)
        paths.push_back(platform::joinPath(dir.path(), name));
    std::vector<std::unique_ptr<Node>> made(paths.size());
    const auto make = [&](std::size_t i) {
        if (paths[i].size() < platform::kMaxPath)
            made[i] = creator_->createAt(opened.fd(), names[i], paths[i]);
    };
    if (share_ && paths.size() >= kSharedListing) {
        share_->forEach(paths.size(), make);
    } else {
        for (std::size_t i = 0; i < paths.size(); ++i)
            make(i);
    }

    std::vector<std::unique_ptr<Node>> kept;
    kept.reserve(names.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        if (path.size() >= platform::kMaxPath) {
            report_->skipped({path, "path-too-long"});
            continue;
        }
        std::unique_ptr<Node> node = std::move(made[i]);
        if (!node->exists()) continue;  // gone since the listing
        if (!leftOut_.empty() && dynamic_cast<DirNode*>(node.get())) {
            platform::FileInfo info;
            if (!platform::fileInfo(path, info) && info.kind == platform::EntryKind::Directory) {
                const auto own = leftOut_.find(
                    {static_cast<std::uint64_t>(info.device), static_cast<std::uint64_t>(info.inode)});
                if (own != leftOut_.end()) {
                    // Reading them would report Korvel's own files, and a fix would rewrite them.
                    report_->skipped({path, own->second});
                    continue;
                }
            }
        }
        const std::string_view kind = skipKind(*node);
        if (!kind.empty()) {
            skip(path, kind);
            continue;
        }
        // Kept, so that its name is still checked and links to it resolve, but never read as text.
        if (auto* file = dynamic_cast<FileNode*>(node.get()); file && !file->isReadable())
            file->logError(res::kFileOpenFailed);
        kept.push_back(std::move(node));
    }
    // Sorted once here, so that every addChild appends.
    std::sort(kept.begin(), kept.end(), [](const std::unique_ptr<Node>& a, const std::unique_ptr<Node>& b) {
        return siblingLess(a->getFileName(), b->getFileName());
    });
    dir.reserveChildren(dir.children().size() + kept.size());
    for (auto& node : kept)
        dir.addChild(std::move(node));
    return true;
}

bool buildTree(const JobSettings& settings, const HtmlDefinitions& definitions,
               std::unique_ptr<SiteTree>& tree, const JobContext& job) {
    tree = std::make_unique<SiteTree>(std::make_unique<DirNode>(settings.Directory));
    DirNode& top = tree->top();

    // A missing top would otherwise look like an empty, clean site.
    platform::FileInfo info;
    if (platform::fileInfo(top.path(), info) || info.kind != platform::EntryKind::Directory) {
        currentLog().errorDetail(res::kTopDirectoryNotFound, top.path());
        tree->setStatus(ScanStatus::TopMissing);
        return false;
    }

    NodeFactory creator(definitions);
    {
        platform::WorkShare share;
        NodeMaker scan(settings.ReportSpecial, creator, job);
        scan.shareWork(&share);
        scan.leaveOut(platform::stateDirectory(), "korvel-state");
        if (settings.MoveOrphans) scan.leaveOut(settings.MoveToDir, "move-to-directory");
        for (const std::string& trash : platform::trashDirectories(settings.Directory))
            scan.leaveOut(trash, "trash");
        const std::string title(res::loadString(res::kLookingForFiles));
        bool finished;
        if (settings.UseSubdirs) {
            Traversal<TypedWalk<Node*>, GUIProgressDlg> walk(&top, scan);
            finished = walk.run(title, 50) >= 0;
        } else {
            finished = top.accept(scan);
        }
        if (scan.topUnlistable()) {
            tree->setStatus(ScanStatus::TopUnlistable);
            return false;
        }
        if (!finished) {
            tree->setStatus(ScanStatus::Cancelled);
            return false;
        }
    }

    NodeCounter counter;
    Traversal<TypedWalk<Node*>, GUIProgress> countWalk(&top, counter);
    countWalk.run(res::loadString(res::kLookingForFiles), 50);
    tree->setCounts(counter.nodeCount, counter.dirCount);
    tree->setStatus(ScanStatus::Complete);
    return true;
}

}  // namespace korvel
