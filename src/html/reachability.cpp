#include "html/reachability.h"

#include "report/findings.h"

namespace korvel {

OrphansPass::OrphansPass(const ReachedNodes& urlMap, std::vector<Node*>& unused, const UrlContext& context,
                         const JobContext& job, const std::vector<std::string>& keep)
    : urlMap_(&urlMap), unused_(&unused), context_(&context), report_(&job.report), keep_(keep) {
    report_->listStarted(report::List::Orphans);
}

OrphansPass::~OrphansPass() {
    report_->listEnded(report::List::Orphans);
}

std::string_view OrphansPass::relativeToTop(std::string_view path) const {
    std::string_view top = context_->topDir();
    while (!top.empty() && top.back() == '/')
        top.remove_suffix(1);
    if (path.size() > top.size() && path.substr(0, top.size()) == top && path[top.size()] == '/')
        return path.substr(top.size() + 1);
    return path;
}

bool OrphansPass::check(Node& node) {
    if (isKorvelOutputFile(context_->topDir(), node.path())) return false;
    if (urlMap_->count(&node) != 0) return false;
    if (!keep_.empty() && keep_.keeps(relativeToTop(node.path()))) return false;
    unused_->push_back(&node);
    report_->orphan({node.path()});
    ++count;
    return true;
}

}  // namespace korvel
