#include "jobs/command.h"

#include <new>

#include "names/convert_names.h"
#include "names/rename_files.h"
#include "report/app_log.h"
#include "report/job_status.h"
#include "report/report.h"
#include "report/section.h"
#include "res/strings.h"
#include "site/iterator.h"
#include "site/node.h"
#include "site/scan.h"
#include "site/site_tree.h"
#include "site/traverse.h"
#include "ui/prompts.h"

namespace korvel {

namespace {

// A whole-tree pass in pre-order over the directory tree; false when the person cancelled it.
bool runTreePass(ESiteTree& tree, EVisitor& visitor, int titleId, std::uint32_t total) {
    TTraverse<TIterPreOrderTyped<ENode*>> pass(&tree.top(), visitor);
    return pass.run(res::loadString(titleId), total) >= 0;
}

// Writes a one-line note into a section of its own, as a missing top directory or home page is reported.
void reportMissing(int messageId, std::string_view path) {
    ESection* section = currentLog().openSection(res::kSectionJobNote);
    if (!section) return;
    section->writeLine(messageId, path);
    currentLog().closeSection(section);
}

}  // namespace

bool ECommand::execute() {
    ++executeCount_;
    return doExecute();
}

bool ECommand::unexecute() {
    --executeCount_;
    const bool result = doUnexecute();
    undoable_ = false;
    return result;
}

EKVCmd::EKVCmd(const JobSettings& settings, HtmlDefinitions definitions, bool askSettings, bool interactive)
    : settings_(settings),
      definitions_(std::move(definitions)),
      askSettings_(askSettings),
      interactive_(interactive) {}

EKVCmd::~EKVCmd() = default;

void EKVCmd::runGuarded(const std::function<void()>& passes) {
    try {
        passes();
    } catch (const std::bad_alloc&) {
        status_ |= kStatusOutOfMemory;
        showInterruption(status_, {});
    } catch (const JobError& error) {
        status_ |= kStatusReportedError;
        // A message longer than a message box holds is cut, at a character boundary.
        std::string message = error.what();
        if (message.size() > 256) {
            std::size_t cut = 256;
            while (cut > 0 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80)
                --cut;
            message.resize(cut);
        }
        showInterruption(status_, message);
    }
}

void EKVCmd::noteFindings() {
    auto* log = dynamic_cast<ELogWithReport*>(&currentLog());
    foundSomething_ = !(status_ & kStatusCompleted) || namesToChange_ > 0;
    if (!log) return;
    // The suggested-names section is not among them: it also says when every name was valid.
    for (int id : {res::kSectionErrors, res::kSectionNotRenamed, res::kSectionJobNote}) {
        const auto it = log->sections().find(id);
        if (it != log->sections().end() && it->second->hasContent()) foundSomething_ = true;
    }
}

bool EKVCheckCmd::doExecute() {
    LogScope logScope;
    if (askSettings_ && !ui::prompts().getInputSettings(ui::SettingsMode::Check, settings_)) return false;
    // A check serves neither an orphans job nor asks about each name: the report lists the suggestions.
    settings_.RemoveOrphans = false;

    runGuarded([&] {
        const bool scanned = buildTree(settings_, definitions_, tree_);
        nodeCount_ = tree_ ? tree_->nodeCount() : 0;
        dirCount_ = tree_ ? tree_->dirCount() : 0;
        if (tree_) scanStatus_ = tree_->status();
        if (!scanned) return;
        if (needsNameConversion(settings_)) {
            names::EConvertNames convert(settings_.Target, settings_.CaseConv, &settings_.AutoFileName,
                                         &settings_.FilenameExtensions);
            TTraverse<TIterPreOrderTyped<ENode*>> pass(&tree_->top(), convert);
            const std::int32_t renamed = pass.run(res::loadString(res::kValidatingFilenames), nodeCount_);
            if (renamed < 0) return;
            namesToChange_ = static_cast<std::uint32_t>(renamed);
            names::EReportRenaming suggestions;
            if (!runTreePass(*tree_, suggestions, res::kReportingSuggestedNames, nodeCount_)) return;
        }
        status_ |= kStatusCompleted;
    });

    noteFindings();
    tree_.reset();
    undoable_ = false;
    reportPath_ = logScope.log().makeReport(settings_, nodeCount_, dirCount_, 0, 0, status_);
    return true;
}

bool needsNameConversion(const JobSettings& settings) {
    return settings.Target != kTargetNone || settings.CaseConv != kCaseNone ||
           !settings.FilenameExtensions.empty();
}

EDirNode* findTopDirectory(ESiteTree& tree, std::string_view path) {
    if (auto* dir = dynamic_cast<EDirNode*>(tree.findNodeByPath(path))) return dir;
    reportMissing(res::kTopDirectoryMissing, path);
    return nullptr;
}

EHtmlNode* findHomePage(ESiteTree& tree, std::string_view path) {
    auto* page = dynamic_cast<EHtmlNode*>(tree.findNodeByPath(path));
    if (page && page->isHtml()) return page;
    reportMissing(res::kHomePageMissing, path);
    return nullptr;
}

void showInterruption(unsigned status, std::string_view message) {
    ui::prompts().messageBox(interruptionMessage(status, message), ui::Buttons::Ok);
}

}  // namespace korvel
