#include "site/site_tree.h"

#include <algorithm>

#include "platform/ascii.h"
#include "site/node.h"

namespace korvel {

namespace {

std::string_view withoutTrailingSeparator(std::string_view path) {
    if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

// Among paths equal but for case, the byte-wise smallest comes first.
bool pathLess(const Node* a, const Node* b) {
    return a->originalPath() < b->originalPath();
}

}  // namespace

void PathIndex::add(Node* node) {
    Slot& slot = byUpperPath_[asciiUpper(node->originalPath())];
    if (!slot.first) {
        slot.first = node;
    } else {
        if (slot.first == node || std::find(slot.twins.begin(), slot.twins.end(), node) != slot.twins.end())
            return;
        slot.twins.push_back(node);
        if (pathLess(node, slot.first)) std::swap(slot.first, slot.twins.back());
        std::sort(slot.twins.begin(), slot.twins.end(), pathLess);
    }
    ++size_;
}

void PathIndex::remove(Node* node) {
    const auto it = byUpperPath_.find(asciiUpper(node->originalPath()));
    if (it == byUpperPath_.end()) return;
    Slot& slot = it->second;
    if (slot.first == node) {
        if (slot.twins.empty()) {
            byUpperPath_.erase(it);
        } else {
            slot.first = slot.twins.front();
            slot.twins.erase(slot.twins.begin());
        }
        --size_;
    } else if (std::erase(slot.twins, node) != 0) {
        --size_;
    }
}

Node* PathIndex::find(std::string_view path) const {
    path = withoutTrailingSeparator(path);
    // Every link of the site is looked up here: the upper-case key goes into a buffer kept per thread.
    thread_local std::string upper;
    upper.assign(path);
    for (char& c : upper)
        c = platform::asciiUpper(c);
    const auto it = byUpperPath_.find(std::string_view(upper));
    if (it == byUpperPath_.end()) return nullptr;
    const Slot& slot = it->second;
    if (slot.first->originalPath() == path) return slot.first;
    for (Node* twin : slot.twins)
        if (twin->originalPath() == path) return twin;
    return slot.first;
}

SiteTree::SiteTree(std::unique_ptr<DirNode> top) : top_(std::move(top)) {
    DirNode::joinIndex(top_.get(), &index_);
}

SiteTree::~SiteTree() = default;

}  // namespace korvel
