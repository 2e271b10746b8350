#include "jobs/verify_lists.h"

#include <memory>
#include <string>

#include "names/convert_names.h"
#include "names/rename_prompt.h"
#include "platform/paths.h"
#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"
#include "settings/labels.h"
#include "site/node.h"
#include "ui/prompts.h"

namespace korvel::jobs {

namespace {

void collectRenamed(Node& node, std::vector<Node*>& out) {
    if (node.hasNewName()) out.push_back(&node);
    if (auto* dir = dynamic_cast<DirNode*>(&node))
        for (Node* child : dir->children())
            collectRenamed(*child, out);
}

}  // namespace

bool verifyNewNames(DirNode& top, std::int32_t target, std::int32_t caseConversion) {
    std::vector<Node*> nodes;
    for (Node* child : top.children())
        collectRenamed(*child, nodes);
    if (nodes.empty()) return true;

    ui::VerifyNamesRequest request;
    request.conventionLabel = conventionWithCaseLabel(target, caseConversion);
    request.changes.reserve(nodes.size());
    for (const Node* node : nodes) {
        const DirNode* parent = node->getParent();
        request.changes.push_back({parent ? parent->path() : std::string(),
                                   std::string(node->getFileName()), node->getNewName()});
    }
    request.validate = [&](std::size_t index, std::string_view typed, std::string& message) {
        if (index >= nodes.size()) return std::string();
        return names::validateTypedName(*nodes[index], target, caseConversion, typed, message);
    };
    const auto reply = ui::prompts().verifyFilenames(request);
    if (!reply) return false;

    ReportSection* section = nullptr;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        Node& node = *nodes[i];
        const bool keep = i < reply->keep.size() ? reply->keep[i] : true;
        if (!keep) {
            if (!node.hasNewName()) continue;
            if (!section) section = currentLog().openSection(res::kSectionNotRenamed);
            names::writeRenameRow(section, node, "", "");
            node.setNewName("");
        } else if (i < reply->suggestedNames.size() && !reply->suggestedNames[i].empty() &&
                   reply->suggestedNames[i] != node.getNewName()) {
            // An edited name is the person's; the list has validated it.
            node.setNewName(reply->suggestedNames[i] == node.getFileName() ? std::string()
                                                                           : reply->suggestedNames[i]);
        }
    }
    if (section) currentLog().closeSection(section);
    return true;
}

bool verifyFiles(std::vector<Node*>& files, const DirNode& directory, int captionId, int explanationId,
                 int sectionId, std::string_view note) {
    if (files.empty()) return true;
    ui::VerifyFilesRequest request;
    request.note = std::string(note);
    request.captionId = captionId;
    request.explanationId = explanationId;
    request.directory = directory.path();
    request.files.reserve(files.size());
    for (const Node* node : files)
        request.files.push_back(node->path());
    const auto keep = ui::prompts().verifyFiles(request);
    if (!keep) return false;

    ReportSection* section = nullptr;
    std::vector<Node*> kept;
    kept.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i >= keep->size() || (*keep)[i]) {
            kept.push_back(files[i]);
            continue;
        }
        if (sectionId == 0) continue;
        if (!section) section = currentLog().openSection(sectionId);
        if (section) section->writeLine(files[i]->path());
    }
    if (section) currentLog().closeSection(section);
    files = std::move(kept);
    return true;
}

}  // namespace korvel::jobs
