#include "html/reachability.h"

#include "platform/display_name.h"
#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"

namespace korvel {

EReportUnusedFiles::EReportUnusedFiles(const UrlMap& urlMap, std::vector<ENode*>& unused,
                                       const UrlContext& context)
    : urlMap_(&urlMap), unused_(&unused), context_(&context) {
    section = currentLog().openSection(res::kSectionUnusedFiles);
}

EReportUnusedFiles::~EReportUnusedFiles() {
    currentLog().closeSection(section);
}

bool EReportUnusedFiles::check(ENode& node) {
    if (isKorvelOutputFile(context_->topDir(), node.path())) return false;
    if (urlMap_->count(&node) != 0) return false;
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
