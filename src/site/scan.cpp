#include "site/scan.h"

#include <algorithm>

#include "platform/dir_list.h"
#include "platform/file_info.h"
#include "platform/paths.h"
#include "platform/shorten_path.h"
#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"
#include "site/traverse.h"
#include "ui/prompts.h"

namespace korvel {

namespace {

// Why an entry gets no node ("" when it gets one). System wins over temporary, temporary over hidden.
std::string_view skipKind(const ENode& node) {
    if (node.isSystem()) return "system";
    if (node.isTemporary()) return "temporary";
    if (node.isHidden()) return "hidden";
    return {};
}

}  // namespace

ECreateNodes::ECreateNodes(bool promptSkipped, ENodeCreator& creator, std::vector<SkippedEntry>* skipped)
    : promptSkipped_(promptSkipped), creator_(&creator), skipped_(skipped) {}

ECreateNodes::~ECreateNodes() {
    if (section) currentLog().closeSection(section);
}

ESection& ECreateNodes::skippedSection() {
    if (!section) section = currentLog().openSection(res::kSectionSkippedFiles);
    return section ? *section : nowhereSection();
}

void ECreateNodes::skip(std::string_view path, std::string_view kind) {
    if (promptSkipped_) {
        const std::size_t room = platform::roomForPath(res::loadString(res::kSkippedFilePrompt), kind);
        ui::prompts().messageBox(
            res::formatString(res::kSkippedFilePrompt, platform::shortenPath(path, room), kind));
    }
    skippedSection().writeLine(res::kSkippedFileLine, path, kind);
    if (skipped_) skipped_->push_back({std::string(path), std::string(kind)});
}

bool ECreateNodes::visitDir(EDirNode& dir) {
    ++count;
    platform::FileInfo info;
    if (!platform::fileInfo(dir.path(), info) &&
        !listed_.emplace(static_cast<std::uint64_t>(info.device), static_cast<std::uint64_t>(info.inode))
             .second) {
        skippedSection().writeLine(res::kDirectoryScannedTwice, dir.path());
        if (skipped_) skipped_->push_back({dir.path(), "scanned-twice"});
        return true;
    }

    std::vector<std::string> names;
    if (platform::listDirectory(dir.path(), names)) {
        if (!dir.getParent()) topUnlistable_ = true;
        dir.logError(res::kDirectoryListFailed);
        return true;
    }

    std::vector<std::unique_ptr<ENode>> kept;
    kept.reserve(names.size());
    for (const std::string& name : names) {
        std::string path = platform::joinPath(dir.path(), name);
        if (path.size() >= platform::kMaxPath) {
            skippedSection().writeLine(res::kPathTooLongSkipped, path, std::to_string(platform::kMaxPath));
            if (skipped_) skipped_->push_back({path, "path-too-long"});
            continue;
        }
        std::unique_ptr<ENode> node = creator_->create(path);
        if (!node->exists()) continue;  // gone since the listing
        const std::string_view kind = skipKind(*node);
        if (!kind.empty()) {
            skip(path, kind);
            continue;
        }
        // Kept, so that its name is still checked and links to it resolve, but never read as text.
        if (auto* file = dynamic_cast<EFileNode*>(node.get()); file && !file->isReadable())
            file->logError(res::kFileOpenFailed);
        kept.push_back(std::move(node));
    }
    // Sorted once here, so that every addChild appends.
    std::sort(kept.begin(), kept.end(), [](const std::unique_ptr<ENode>& a, const std::unique_ptr<ENode>& b) {
        return siblingLess(a->getFileName(), b->getFileName());
    });
    dir.reserveChildren(dir.children().size() + kept.size());
    for (auto& node : kept)
        dir.addChild(std::move(node));
    return true;
}

bool buildTree(const JobSettings& settings, const HtmlDefinitions& definitions,
               std::unique_ptr<ESiteTree>& tree) {
    tree = std::make_unique<ESiteTree>(std::make_unique<EDirNode>(settings.Directory));
    EDirNode& top = tree->top();

    // A missing top would otherwise look like an empty, clean site.
    platform::FileInfo info;
    if (platform::fileInfo(top.path(), info) || info.kind != platform::EntryKind::Directory) {
        currentLog().errorDetail(res::kTopDirectoryNotFound, top.path());
        tree->setStatus(ScanStatus::TopMissing);
        return false;
    }

    ENodeCreator creator(definitions);
    {
        ECreateNodes scan(settings.ReportSpecial, creator, &tree->skipped());
        const std::string title(res::loadString(res::kLookingForFiles));
        bool finished;
        if (settings.UseSubdirs) {
            TTraverse<TIterPreOrderTyped<ENode*>, GUIProgressDlg> walk(&top, scan);
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

    ECountFiles counter;
    TTraverse<TIterPreOrderTyped<ENode*>, GUIProgress> countWalk(&top, counter);
    countWalk.run(res::loadString(res::kLookingForFiles), 50);
    tree->setCounts(counter.nodeCount, counter.dirCount);
    tree->setStatus(ScanStatus::Complete);
    return true;
}

}  // namespace korvel
