#include "html/reachability.h"

#include "platform/display_name.h"
#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"

namespace korvel {

EReportUnusedFiles::EReportUnusedFiles(const UrlMap& urlMap, std::vector<ENode*>& unused,
                                       const UrlContext& context, const std::vector<std::string>& keep)
    : urlMap_(&urlMap), unused_(&unused), context_(&context), keep_(keep) {
    section = currentLog().openSection(res::kSectionUnusedFiles);
}

EReportUnusedFiles::~EReportUnusedFiles() {
    currentLog().closeSection(section);
}

std::string_view EReportUnusedFiles::relativeToTop(std::string_view path) const {
    std::string_view top = context_->topDir();
    while (!top.empty() && top.back() == '/')
        top.remove_suffix(1);
    if (path.size() > top.size() && path.substr(0, top.size()) == top && path[top.size()] == '/')
        return path.substr(top.size() + 1);
    return path;
}

bool EReportUnusedFiles::check(ENode& node) {
    if (isKorvelOutputFile(context_->topDir(), node.path())) return false;
    if (urlMap_->count(&node) != 0) return false;
    if (!keep_.empty() && keep_.keeps(relativeToTop(node.path()))) return false;
    unused_->push_back(&node);
    if (section) {
        // No script is read, so what only scripts load looks unused; a person who removes orphans must
        // know that before acting on the list. Only above a list: an empty section must stay empty.
        if (count == 0) {
            section->writeLine(res::kOrphansScriptNote);
            section->endLine();
        }
        section->writeLine(platform::displayName(node.path()));
    }
    ++count;
    return true;
}

}  // namespace korvel
