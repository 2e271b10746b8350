#pragma once
// The in-memory picture of a site: one node per directory, plain file and HTML page.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "settings/user_lists.h"
#include "site/iterator.h"
#include "site/probe.h"
#include "site/url_record.h"

namespace korvel {

class Visitor;
class DirNode;
class NodeFactory;
class PathIndex;

// The attribute bits a node records (the numbers of the Windows attributes they stand for).
enum NodeAttribute : std::uint32_t {
    kAttrReadOnly = 0x1,
    kAttrHidden = 0x2,
    kAttrSystem = 0x4,
    kAttrDirectory = 0x10,
    kAttrTemporary = 0x100,
};

// ASCII-only case folding and comparison, independent of the locale.
std::string asciiUpper(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// The order of siblings: ASCII case ignored; names that differ only in case ordered byte-wise, so the order
// never depends on the order of the listing.
bool siblingLess(std::string_view a, std::string_view b);

class Node {
  public:
    // Takes "exists" and the attributes from "probe", or from a probe of its own when none is given. One
    // trailing "/" is dropped ("/" itself stays).
    explicit Node(std::string_view path, const FileProbe* probe = nullptr);
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    virtual ~Node();

    // Double dispatch: calls the visitor's visit operation for this node's class.
    virtual bool accept(Visitor& visitor) = 0;
    virtual bool hasChildren() const { return false; }
    // A child by file name or by full path; an exact-case match wins, and without one the first child (in
    // child order) that matches without regard to ASCII case.
    virtual bool findChild(std::string_view name, Node** found = nullptr) const;
    // What a walk below this node goes through; null when there is nothing.
    virtual std::unique_ptr<Iterator<Node*>> createIterator() { return nullptr; }
    // Takes ownership and returns the child, or null when this node holds no children (the child is then
    // destroyed).
    virtual Node* addChild(std::unique_ptr<Node> child);
    // Hands the child back to the caller; null when it is not a child of this node.
    virtual std::unique_ptr<Node> removeChild(Node* child);
    // Brings the children into line with the disk. False when a directory could not be listed (reported).
    virtual bool update(NodeFactory& creator, bool recurse);

    const std::string& path() const { return path_; }
    std::string getPath() const { return path_; }
    const std::string& originalPath() const { return originalPath_; }
    DirNode* getParent() const { return parent_; }
    // The part of the path after its last "/", and the part before it.
    std::string_view getFileName() const;
    std::string_view getDirectoryPart() const;
    const std::string& getNewName() const { return newName_; }
    bool hasNewName() const { return !newName_.empty(); }
    void setNewName(std::string name) { newName_ = std::move(name); }

    bool exists() const { return exists_; }
    std::uint32_t attributes() const { return attributes_; }
    bool isReadOnly() const { return attributes_ & kAttrReadOnly; }
    bool isHidden() const { return attributes_ & kAttrHidden; }
    bool isSystem() const { return attributes_ & kAttrSystem; }
    bool isTemporary() const { return attributes_ & kAttrTemporary; }
    // A symbolic link to a regular file: its name is the site's, the content behind it is not, so nothing
    // may rewrite it.
    bool isSymlink() const { return symlink_; }

    // After a rename on disk: the new full path. The parent's lookup by name follows.
    void setPath(std::string path);
    // Recomputes the path from the parent's, after the parent (or an ancestor) was renamed.
    void refreshPath();
    // The length of this node's directory part, with its trailing "/", once every ancestor carries its new
    // name.
    std::size_t directoryPathLength() const;
    // The full path once this node and every ancestor carry their new names.
    std::string newPath() const;
    // Writes the message "id" and this node's path into the errors section of the current log.
    void logError(int id) const;

  protected:
    friend class DirNode;

  private:
    DirNode* parent_ = nullptr;
    std::string path_;
    std::string originalPath_;
    std::string newName_;
    std::uint32_t attributes_ = 0;
    bool exists_ = false;
    bool symlink_ = false;
};

// A directory; it owns its children, which it keeps sorted (see siblingLess) and indexed by name.
class DirNode : public Node {
  public:
    explicit DirNode(std::string_view path, const FileProbe* probe = nullptr);
    ~DirNode() override;

    bool accept(Visitor& visitor) override;
    bool hasChildren() const override { return !children_.empty(); }
    bool findChild(std::string_view name, Node** found = nullptr) const override;
    std::unique_ptr<Iterator<Node*>> createIterator() override;
    Node* addChild(std::unique_ptr<Node> child) override;
    std::unique_ptr<Node> removeChild(Node* child) override;
    // Children whose exact name is no longer on disk are removed and destroyed; entries without a node of
    // their exact name get one (so two names that differ only in case each keep their own node); the others
    // keep their nodes, new names included. Entries skipped by the scan (too long, hidden, system,
    // temporary) are left out here too.
    bool update(NodeFactory& creator, bool recurse) override;

    const std::vector<Node*>& children() const { return children_; }
    // Room for "count" children, so that a directory's scan allocates once.
    void reserveChildren(std::size_t count) { children_.reserve(count); }

  private:
    friend class Node;
    friend class SiteTree;
    // The children of one ASCII-upper-cased name: the first in child order and, rarely, its case twins.
    struct NameSlot {
        Node* first = nullptr;
        std::vector<Node*> twins;
    };
    void indexName(Node* child);
    void unindexName(Node* child, std::string_view name);
    const NameSlot* slotFor(std::string_view name) const;
    void insertSorted(Node* child);
    // Enters "node" and everything below it into "index" (or takes them out).
    static void joinIndex(Node* node, PathIndex* index);
    static void leaveIndex(Node* node, PathIndex* index);

    std::vector<Node*> children_;  // owned
    std::unordered_map<std::string, NameSlot> byName_;
    PathIndex* pathIndex_ = nullptr;  // the index of the tree this directory belongs to, if any
};

class FileNode : public Node {
  public:
    explicit FileNode(std::string_view path, const FileProbe* probe = nullptr);

    bool accept(Visitor& visitor) override;

    LineEndKind lineEnd() const { return lineEnd_; }
    void setLineEnd(LineEndKind kind) { lineEnd_ = kind; }
    LineEndKind originalLineEnd() const { return originalLineEnd_; }
    bool isAscii() const { return ascii_; }
    // The file could be opened and read when its node was made.
    bool isReadable() const { return readable_; }

    // Every line end of the file in ascending order (a CR LF pair once, at its CR), then the file's length.
    // False, with the error reported, when the file cannot be opened or read.
    bool buildLineIndex();
    // The 1-based line that holds "offset" (building the index first when it is empty).
    std::int64_t lineOfOffset(std::int64_t offset);
    // The bytes of line "n" (1-based): from its first byte to the last byte of its terminator (for the last
    // line, to the file's length). False for 0 or a line the index does not hold.
    bool lineSpan(std::int64_t n, std::int64_t& start, std::int64_t& end) const;
    const std::vector<std::int64_t>& lineIndex() const { return lineIndex_; }
    // For a caller that already knows the line ends (having just written the file).
    void setLineIndex(std::vector<std::int64_t> index) { lineIndex_ = std::move(index); }
    // Forgets the index after the file changed.
    void clearLineIndex() { lineIndex_.clear(); }

  protected:
    // For a page: it counts as text, with the line ends its probe found.
    void markAsText(const FileProbe& probe);

  private:
    LineEndKind lineEnd_ = kNoLineEnd;
    LineEndKind originalLineEnd_ = kNoLineEnd;
    bool ascii_ = false;
    bool readable_ = false;
    std::vector<std::int64_t> lineIndex_;
};

// Whether a URL record leads to a node of the site that a walk through the web of pages can follow.
inline bool isWebLink(const UrlRecord& url) {
    return url.target && !url.has(UrlRecord::kExternal) && !url.has(UrlRecord::kBase);
}

// The children of a page in the web of links: the target of each of its URL records, in file order, that is
// a link into the site (neither external nor a base reference) and resolved to a node; a target linked
// twice comes twice. Then the targets added by hand (HtmlNode::addLinkTarget). Neither vector is owned;
// an index rather than a vector iterator keeps it safe should a vector grow while it is walked.
template <typename Container, typename T>
class WebWalk : public Iterator<T> {
  public:
    explicit WebWalk(Container* urls, std::vector<T>* extra = nullptr) : urls_(urls), extra_(extra) {
        first();
    }

    void first() override {
        index_ = 0;
        skip();
    }
    void next() override {
        if (isDone()) return;
        ++index_;
        skip();
    }
    bool isDone() const override { return index_ >= urlCount() + extraCount(); }
    T& currentItem() override {
        if (isDone()) return none_;
        return index_ < urlCount() ? (*urls_)[index_].target : (*extra_)[index_ - urlCount()];
    }

  private:
    std::size_t urlCount() const { return urls_ ? urls_->size() : 0; }
    std::size_t extraCount() const { return extra_ ? extra_->size() : 0; }
    void skip() {
        while (index_ < urlCount() && !isWebLink((*urls_)[index_]))
            ++index_;
    }

    Container* urls_;
    std::vector<T>* extra_;
    std::size_t index_ = 0;
    T none_{};
};

// A page. Its link targets (see WebWalk) are its children for a walk through the web of pages.
class HtmlNode : public FileNode {
  public:
    // Decides with isHtml(probe, definitions) whether the file is a page.
    HtmlNode(std::string_view path, const FileProbe* probe, const HtmlDefinitions& definitions);

    // A page must be readable: a file that cannot be read is never taken for one (nor for text).
    static bool isHtml(const FileProbe& probe, const HtmlDefinitions& definitions);

    bool accept(Visitor& visitor) override;
    bool hasChildren() const override;
    std::unique_ptr<Iterator<Node*>> createIterator() override;
    bool isHtml() const { return html_; }

    // Targets added by hand, walked after those of the URL records. Link finding adds none: the URL
    // records are what the web walk follows.
    const std::vector<Node*>& linkTargets() const { return linkTargets_; }
    void addLinkTarget(Node* target);
    void clearLinkTargets() { linkTargets_.clear(); }

    // Where the page's relative URLs resolve: the directory of its original path (no trailing "/") until
    // a base tag says otherwise.
    const std::string& base() const { return base_; }
    void setBase(std::string base) { base_ = std::move(base); }
    // The page's URL records in file order (filled by link finding; the page's text is not kept).
    std::vector<UrlRecord>& urls() { return urls_; }
    const std::vector<UrlRecord>& urls() const { return urls_; }
    bool linksFound() const { return linksFound_; }
    void setLinksFound(bool found) { linksFound_ = found; }

  private:
    bool html_ = false;
    bool linksFound_ = false;
    std::vector<Node*> linkTargets_;
    std::string base_;
    std::vector<UrlRecord> urls_;
};

// Makes the node for one entry on disk: a directory, a page or a plain file, by a probe of its head.
class NodeFactory {
  public:
    explicit NodeFactory(HtmlDefinitions definitions = {}) : definitions_(std::move(definitions)) {}
    virtual ~NodeFactory() = default;
    virtual std::unique_ptr<Node> create(std::string_view path);
    // The node of "path", the entry "name" of the directory open as "dirFd".
    std::unique_ptr<Node> createAt(int dirFd, std::string_view name, std::string_view path);

    const HtmlDefinitions& definitions() const { return definitions_; }

  private:
    std::unique_ptr<Node> fromProbe(std::string_view path, const FileProbe& probe);
    HtmlDefinitions definitions_;
};

}  // namespace korvel
