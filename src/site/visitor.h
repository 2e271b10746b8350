#pragma once
// The work a pass does on each node, reached by double dispatch through Node::accept.
#include <cstdint>

namespace korvel {

class DirNode;
class FileNode;
class HtmlNode;
class ReportSection;

class Visitor {
  public:
    virtual ~Visitor() = default;
    // Each returns whether the node counts as accepted by the pass.
    virtual bool visitFile(FileNode&) { return false; }
    virtual bool visitHtml(HtmlNode&) { return false; }
    virtual bool visitDir(DirNode&) { return false; }

    bool stop = false;            // set to end the traversal after the current node
    ReportSection* section = nullptr;  // the pass's findings, once it opened a section (owned by the log)
    std::uint32_t count = 0;      // for the pass's own counting
};

}  // namespace korvel
