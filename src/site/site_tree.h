#pragma once
// A scanned site: the top directory node and the index from path to node over everything below it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvel {

class Node;
class DirNode;

// Finds nodes by the path they were made with. Two paths that differ only in ASCII case both keep their
// node: an exact-case match wins; without one, the case-blind match that sorts first byte-wise.
class PathIndex {
  public:
    void add(Node* node);
    void remove(Node* node);
    // One trailing "/" is ignored. Null when no node has that path.
    Node* find(std::string_view path) const;
    std::size_t size() const { return size_; }

  private:
    struct Slot {
        Node* first = nullptr;
        std::vector<Node*> twins;  // rare: paths that differ from first's only in case
    };
    // Looked up by view, so that a lookup copies the path into no new string.
    struct ViewHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, Slot, ViewHash, std::equal_to<>> byUpperPath_;
    std::size_t size_ = 0;
};

// Why a scan ended.
enum class ScanStatus {
    Complete,
    Cancelled,      // the person cancelled; the tree holds what was scanned so far
    TopMissing,     // the top directory does not exist or is not a directory (reported)
    TopUnlistable,  // the top directory exists but cannot be listed (reported)
};

class SiteTree {
  public:
    // Takes the top directory and indexes it and everything already below it.
    explicit SiteTree(std::unique_ptr<DirNode> top);
    ~SiteTree();
    SiteTree(const SiteTree&) = delete;
    SiteTree& operator=(const SiteTree&) = delete;

    DirNode& top() const { return *top_; }
    // Nodes added to or removed from any directory of the tree join or leave the index with them.
    Node* findNodeByPath(std::string_view path) const { return index_.find(path); }
    const PathIndex& index() const { return index_; }

    // Set by the scan: every node (directories and the top included), and every directory.
    std::uint32_t nodeCount() const { return nodeCount_; }
    std::uint32_t dirCount() const { return dirCount_; }
    ScanStatus status() const { return status_; }
    void setCounts(std::uint32_t nodes, std::uint32_t dirs) {
        nodeCount_ = nodes;
        dirCount_ = dirs;
    }
    void setStatus(ScanStatus status) { status_ = status; }
    // What the scan left out, in the order it met them; few on any site, so always kept.

  private:
    PathIndex index_;  // declared first, so the nodes go before the index that points at them
    std::unique_ptr<DirNode> top_;
    std::uint32_t nodeCount_ = 0;
    std::uint32_t dirCount_ = 0;
    ScanStatus status_ = ScanStatus::Complete;
};

}  // namespace korvel
