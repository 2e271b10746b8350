#pragma once
// The work a pass does on each node, reached by double dispatch through ENode::accept.
#include <cstdint>

namespace korvel {

class EDirNode;
class EFileNode;
class EHtmlNode;
class ESection;

class EVisitor {
  public:
    virtual ~EVisitor() = default;
    // Each returns whether the node counts as accepted by the pass.
    virtual bool visitFile(EFileNode&) { return false; }
    virtual bool visitHtml(EHtmlNode&) { return false; }
    virtual bool visitDir(EDirNode&) { return false; }

    bool stop = false;            // set to end the traversal after the current node
    ESection* section = nullptr;  // the pass's findings, once it opened a section (owned by the log)
    std::uint32_t count = 0;      // for the pass's own counting
};

}  // namespace korvel
