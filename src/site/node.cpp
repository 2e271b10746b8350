#include "site/node.h"
#include "platform/ascii.h"

#include <algorithm>
#include <unordered_set>

#include "platform/attributes.h"
#include "platform/dir_list.h"
#include "platform/file_info.h"
#include "platform/paths.h"
#include "report/log.h"
#include "res/strings.h"
#include "site/site_tree.h"
#include "site/visitor.h"

namespace korvel {

namespace {

// The attribute bits of an entry, from the probe's one look at it. A missing entry has none.
std::uint32_t attributeBits(std::string_view path, const FileProbe& probe, bool& symlink) {
    symlink = false;
    if (!probe.exists) return 0;
    symlink = probe.symlink && !probe.special && !probe.isDirectory;
    std::uint32_t bits = 0;
    const std::string_view name = platform::lastComponent(path);
    if (platform::isHiddenName(name)) bits |= kAttrHidden;
    if (platform::isTemporaryName(name)) bits |= kAttrTemporary;
    if (probe.special) bits |= kAttrSystem;
    if (probe.isDirectory) bits |= kAttrDirectory;
    if (probe.readOnly) bits |= kAttrReadOnly;
    return bits;
}

std::string_view dropTrailingSeparator(std::string_view path) {
    if (path.size() > 1 && path.back() == platform::kSeparator) path.remove_suffix(1);
    return path;
}

// The node's own name, or the new one when it has one.
std::string_view nameAfterRenaming(const Node& node) {
    return node.hasNewName() ? std::string_view(node.getNewName()) : node.getFileName();
}

// How much the line index reads at a time.
constexpr std::size_t kLineIndexBlock = 64 * 1024;

}  // namespace

std::string asciiUpper(std::string_view text) {
    return platform::asciiUpper(text);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return platform::equalsIgnoringAsciiCase(a, b);
}

bool siblingLess(std::string_view a, std::string_view b) {
    // Folded to lower case, as the C library's case-blind comparison does (so "_" sorts before letters).
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(platform::asciiLower(a[i]));
        const auto y = static_cast<unsigned char>(platform::asciiLower(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;  // case twins: byte-wise, so "Index.htm" comes before "index.htm"
}

// ---- Node

Node::Node(std::string_view path, const FileProbe* probe)
    : path_(dropTrailingSeparator(path)), originalPath_(path_) {
    FileProbe own;
    if (!probe) {
        own = makeProbe(path_);
        probe = &own;
    }
    exists_ = probe->exists;
    attributes_ = attributeBits(path_, *probe, symlink_);
}

Node::~Node() = default;

bool Node::findChild(std::string_view, Node**) const {
    return false;
}

Node* Node::addChild(std::unique_ptr<Node>) {
    return nullptr;
}

std::unique_ptr<Node> Node::removeChild(Node*) {
    return nullptr;
}

bool Node::update(NodeFactory&, bool) {
    return true;
}

std::string_view Node::getFileName() const {
    return platform::lastComponent(path_);
}

std::string_view Node::getDirectoryPart() const {
    const auto slash = path_.rfind(platform::kSeparator);
    return slash == std::string::npos ? std::string_view() : std::string_view(path_).substr(0, slash);
}

void Node::setPath(std::string path) {
    std::string oldName(getFileName());
    path_ = std::string(dropTrailingSeparator(path));
    if (!parent_) return;
    // The parent finds and orders its children by name: move this one to its new place.
    DirNode& dir = *parent_;
    dir.unindexName(this, oldName);
    auto it = std::find(dir.children_.begin(), dir.children_.end(), this);
    if (it != dir.children_.end()) dir.children_.erase(it);
    dir.insertSorted(this);
    dir.indexName(this);
}

void Node::refreshPath() {
    const std::string name(getFileName());
    if (parent_) {
        path_ = platform::joinPath(parent_->path(), name);
    } else if (!getDirectoryPart().empty()) {
        path_ = platform::joinPath(getDirectoryPart(), name);
    }
}

std::size_t Node::directoryPathLength() const {
    const Node* dir = parent_;
    if (!dir) return getDirectoryPart().size() + 1;
    std::size_t length = 0;
    while (dir->parent_) {
        length += nameAfterRenaming(*dir).size() + 1;
        dir = dir->parent_;
    }
    return length + platform::withTrailingSeparator(dir->newPath()).size();
}

std::string Node::newPath() const {
    if (!parent_) return hasNewName() ? platform::joinPath(platform::parentPath(path_), newName_) : path_;
    // Names from here up to the top, then joined from the top down.
    std::vector<std::string_view> names;
    const Node* node = this;
    for (; node->parent_; node = node->parent_)
        names.push_back(nameAfterRenaming(*node));
    std::string out = node->newPath();
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        out = platform::joinPath(out, *it);
    return out;
}

void Node::logError(int id) const {
    currentLog().errorDetail(id, path_);
}

// ---- DirNode

DirNode::DirNode(std::string_view path, const FileProbe* probe) : Node(path, probe) {}

DirNode::~DirNode() {
    for (Node* child : children_)
        delete child;
}

bool DirNode::accept(Visitor& visitor) {
    return visitor.visitDir(*this);
}

const DirNode::NameSlot* DirNode::slotFor(std::string_view name) const {
    const auto it = byName_.find(asciiUpper(name));
    return it == byName_.end() ? nullptr : &it->second;
}

bool DirNode::findChild(std::string_view name, Node** found) const {
    name = dropTrailingSeparator(name);
    const bool fullPath = name.find(platform::kSeparator) != std::string_view::npos;
    const NameSlot* slot = slotFor(fullPath ? platform::lastComponent(name) : name);
    if (!slot) return false;

    auto exact = [&](const Node* child) {
        return fullPath ? child->path() == name : child->getFileName() == name;
    };
    Node* match = nullptr;
    if (exact(slot->first)) {
        match = slot->first;
    } else {
        for (Node* twin : slot->twins)
            if (exact(twin)) match = twin;
    }
    // No exact match: the first in child order, provided the rest of a full path matches too (all twins
    // share this directory's path, so one test decides for every one of them).
    if (!match && (!fullPath || equalsIgnoringCase(slot->first->path(), name))) match = slot->first;
    if (match && found) *found = match;
    return match != nullptr;
}

std::unique_ptr<Iterator<Node*>> DirNode::createIterator() {
    return std::make_unique<ListIterator<Node*>>(&children_);
}

void DirNode::indexName(Node* child) {
    NameSlot& slot = byName_[asciiUpper(child->getFileName())];
    if (!slot.first) {
        slot.first = child;
        return;
    }
    // Case twins: the slot keeps them in child order, so that a case-blind lookup always gives the same one.
    slot.twins.push_back(child);
    if (siblingLess(child->getFileName(), slot.first->getFileName()))
        std::swap(slot.first, slot.twins.back());
    std::sort(slot.twins.begin(), slot.twins.end(),
              [](const Node* a, const Node* b) { return siblingLess(a->getFileName(), b->getFileName()); });
}

void DirNode::unindexName(Node* child, std::string_view name) {
    const auto it = byName_.find(asciiUpper(name));
    if (it == byName_.end()) return;
    NameSlot& slot = it->second;
    if (slot.first == child) {
        if (slot.twins.empty()) {
            byName_.erase(it);
            return;
        }
        slot.first = slot.twins.front();
        slot.twins.erase(slot.twins.begin());
    } else {
        std::erase(slot.twins, child);
    }
}

void DirNode::insertSorted(Node* child) {
    // The scan adds a directory's entries in order, so appending is the common case.
    const std::string_view name = child->getFileName();
    if (children_.empty() || siblingLess(children_.back()->getFileName(), name)) {
        children_.push_back(child);
        return;
    }
    const auto at =
        std::upper_bound(children_.begin(), children_.end(), name,
                         [](std::string_view n, const Node* c) { return siblingLess(n, c->getFileName()); });
    children_.insert(at, child);
}

void DirNode::joinIndex(Node* node, PathIndex* index) {
    index->add(node);
    if (auto* dir = dynamic_cast<DirNode*>(node)) {
        dir->pathIndex_ = index;
        for (Node* child : dir->children_)
            joinIndex(child, index);
    }
}

void DirNode::leaveIndex(Node* node, PathIndex* index) {
    index->remove(node);
    if (auto* dir = dynamic_cast<DirNode*>(node)) {
        dir->pathIndex_ = nullptr;
        for (Node* child : dir->children_)
            leaveIndex(child, index);
    }
}

Node* DirNode::addChild(std::unique_ptr<Node> child) {
    if (!child) return nullptr;
    Node* node = child.get();
    insertSorted(node);  // may throw (out of memory) while "child" still owns the node
    child.release();
    node->parent_ = this;
    indexName(node);
    if (pathIndex_) joinIndex(node, pathIndex_);
    return node;
}

std::unique_ptr<Node> DirNode::removeChild(Node* child) {
    const auto it = std::find(children_.begin(), children_.end(), child);
    if (it == children_.end()) return nullptr;
    children_.erase(it);
    unindexName(child, child->getFileName());
    // The node and everything below it leave the tree's index with it.
    if (pathIndex_) leaveIndex(child, pathIndex_);
    child->parent_ = nullptr;
    return std::unique_ptr<Node>(child);
}

bool DirNode::update(NodeFactory& creator, bool recurse) {
    std::vector<std::string> names;
    if (platform::listDirectory(path(), names)) {
        logError(res::kDirectoryListFailed);
        return false;
    }
    bool ok = true;
    std::unordered_set<std::string_view> seen;
    seen.reserve(names.size());
    for (const std::string& name : names) {
        const std::string full = platform::joinPath(path(), name);
        if (full.size() >= platform::kMaxPath) continue;
        Node* child = nullptr;
        const NameSlot* slot = slotFor(name);
        if (slot) {
            if (slot->first->getFileName() == name) child = slot->first;
            for (Node* twin : slot->twins)
                if (twin->getFileName() == name) child = twin;
        }
        if (!child) {
            std::unique_ptr<Node> made = creator.create(full);
            // The scan leaves these out; so does an update.
            if (!made->exists() || made->isHidden() || made->isSystem() || made->isTemporary()) continue;
            child = addChild(std::move(made));
        }
        seen.insert(name);
        if (recurse && dynamic_cast<DirNode*>(child)) ok = child->update(creator, true) && ok;
    }
    std::vector<Node*> gone;
    for (Node* child : children_)
        if (!seen.count(child->getFileName())) gone.push_back(child);
    for (Node* child : gone)
        removeChild(child);  // the returned owner deletes it
    return ok;
}

// ---- FileNode

FileNode::FileNode(std::string_view path, const FileProbe* probe) : Node(path, probe) {
    FileProbe own;
    if (!probe) {
        own = makeProbe(this->path());
        probe = &own;
    }
    readable_ = probe->exists && !probe->isDirectory && probe->size >= 0;
    ascii_ = isAsciiFile(*probe);
    if (ascii_) originalLineEnd_ = lineEnd_ = detectLineEnd(*probe);
}

bool FileNode::accept(Visitor& visitor) {
    return visitor.visitFile(*this);
}

void FileNode::markAsText(const FileProbe& probe) {
    ascii_ = true;
    originalLineEnd_ = lineEnd_ = detectLineEnd(probe);
}

bool FileNode::buildLineIndex() {
    platform::ReadFile file;
    if (file.open(path())) {
        logError(res::kFileOpenFailed);
        return false;
    }
    std::vector<std::int64_t> index;
    std::vector<char> block(kLineIndexBlock);
    std::int64_t offset = 0;
    bool skipLf = false;  // the previous block ended with a CR
    for (;;) {
        std::error_code ec;
        const std::int64_t got = file.readAt(offset, block.data(), block.size(), ec);
        if (got < 0) {
            logError(res::kFileReadFailed);
            return false;
        }
        if (got == 0) break;
        const char* data = block.data();
        const auto size = static_cast<std::size_t>(got);
        std::size_t i = 0;
        if (skipLf && data[0] == '\n') i = 1;
        skipLf = false;
        // Every CR and LF counts, also after a NUL byte, so line numbers stay right in files with binary
        // bytes.
        for (; i < size; ++i) {
            const char c = data[i];
            if (c != '\r' && c != '\n') continue;
            index.push_back(offset + static_cast<std::int64_t>(i));
            if (c == '\r') {
                if (i + 1 < size) {
                    if (data[i + 1] == '\n') ++i;
                } else {
                    skipLf = true;
                }
            }
        }
        offset += got;
    }
    index.push_back(offset);
    lineIndex_ = std::move(index);
    return true;
}

std::int64_t FileNode::lineOfOffset(std::int64_t offset) {
    if (lineIndex_.empty()) buildLineIndex();
    const auto before = std::lower_bound(lineIndex_.begin(), lineIndex_.end(), offset) - lineIndex_.begin();
    return std::min<std::int64_t>(before + 1,
                                  std::max<std::int64_t>(1, static_cast<std::int64_t>(lineIndex_.size())));
}

bool FileNode::lineSpan(std::int64_t n, std::int64_t& start, std::int64_t& end) const {
    const auto entries = static_cast<std::int64_t>(lineIndex_.size());
    if (n < 1 || n > entries) return false;
    const bool crLf = lineEnd_ == kCrLf;
    start = n == 1 ? 0 : lineIndex_[static_cast<std::size_t>(n - 2)] + 1 + (crLf ? 1 : 0);
    end = lineIndex_[static_cast<std::size_t>(n - 1)];
    // The last entry is the file's length, not a terminator: nothing to step over there.
    if (crLf && n < entries) ++end;
    return true;
}

// ---- HtmlNode

bool HtmlNode::isHtml(const FileProbe& probe, const HtmlDefinitions& definitions) {
    return probe.exists && !probe.isDirectory && probe.size >= 0 && isHtmlFile(probe, definitions);
}

HtmlNode::HtmlNode(std::string_view path, const FileProbe* probe, const HtmlDefinitions& definitions)
    : FileNode(path, probe) {
    FileProbe own;
    if (!probe) {
        own = makeProbe(this->path());
        probe = &own;
    }
    html_ = isHtml(*probe, definitions);
    // A page the file node already took for text has its line ends from the same probe.
    if (html_ && !isAscii()) markAsText(*probe);
    base_ = std::string(platform::parentPath(originalPath()));
}

bool HtmlNode::accept(Visitor& visitor) {
    return visitor.visitHtml(*this);
}

bool HtmlNode::hasChildren() const {
    if (!linkTargets_.empty()) return true;
    return std::any_of(urls_.begin(), urls_.end(), isWebLink);
}

std::unique_ptr<Iterator<Node*>> HtmlNode::createIterator() {
    return std::make_unique<WebWalk<std::vector<UrlRecord>, Node*>>(&urls_, &linkTargets_);
}

void HtmlNode::addLinkTarget(Node* target) {
    if (target) linkTargets_.push_back(target);
}

// ---- NodeFactory

std::unique_ptr<Node> NodeFactory::create(std::string_view path) {
    return fromProbe(path, makeProbe(path));
}

std::unique_ptr<Node> NodeFactory::createAt(int dirFd, std::string_view name, std::string_view path) {
    return fromProbe(path, makeProbeAt(dirFd, name, path));
}

std::unique_ptr<Node> NodeFactory::fromProbe(std::string_view path, const FileProbe& probe) {
    if (probe.isDirectory) return std::make_unique<DirNode>(path, &probe);
    if (HtmlNode::isHtml(probe, definitions_)) return std::make_unique<HtmlNode>(path, &probe, definitions_);
    return std::make_unique<FileNode>(path, &probe);
}

}  // namespace korvel
