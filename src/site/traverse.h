#pragma once
// One pass over the tree: an iterator yields the nodes, a visitor works on each, and a progress display
// (reached only through ui/) shows where the pass is and offers a way to cancel it.
#include <cstdint>
#include <memory>
#include <string_view>

#include "site/node.h"
#include "site/visitor.h"

namespace korvel::ui {
class Progress;
}

namespace korvel {

// Shows nothing and never reports a cancel.
class GUIProgress {
  public:
    virtual ~GUIProgress();
    virtual void begin(std::string_view title, std::int64_t total);
    virtual void end();
    // Shows the directory; "cancelled" receives whether the person asked to cancel (then and since).
    virtual void setDirectory(std::string_view path, bool& cancelled);
    // Shows the file and steps the count.
    virtual void setFile(std::string_view path);
};

// Shows the pass through the progress display of the prompts installed for the job.
class GUIProgressDlg : public GUIProgress {
  public:
    GUIProgressDlg();
    ~GUIProgressDlg() override;
    void begin(std::string_view title, std::int64_t total) override;
    void end() override;
    void setDirectory(std::string_view path, bool& cancelled) override;
    void setFile(std::string_view path) override;

  private:
    std::unique_ptr<ui::Progress> display_;
    bool cancelled_ = false;
};

// "Walk" is one of the pre-order iterators over Node*; "Progress" the display made when run() is
// given none.
template <typename Walk, typename Progress = GUIProgressDlg>
class Traversal {
  public:
    Traversal(Node* root, Visitor& visitor) : iterator_(root), visitor_(&visitor) {}
    virtual ~Traversal() = default;

    // The number of nodes the visitor accepted, or -1 when the person cancelled or the visitor stopped
    // the pass (after the node being visited).
    std::int32_t run(std::string_view title, std::int64_t total, GUIProgress* progress = nullptr) {
        iterator_.first();
        if (iterator_.isDone()) return 0;
        std::unique_ptr<GUIProgress> local;
        if (!progress) {
            local = std::make_unique<Progress>();
            progress = local.get();
        }
        bool cancelled = false;
        progress->begin(title, total);
        progress->setDirectory(iterator_.currentItem()->path(), cancelled);
        std::int32_t count = 0;
        while (!iterator_.isDone() && !cancelled) {
            Node* node = iterator_.currentItem();
            if (const Node* parent = node->getParent()) progress->setDirectory(parent->path(), cancelled);
            progress->setFile(node->path());
            bool stop = false;
            if (visit(node, stop)) ++count;
            cancelled = cancelled || stop;
            iterator_.next();
        }
        progress->end();
        return cancelled ? -1 : count;
    }

    virtual bool visit(Node* node, bool& stop) {
        const bool accepted = node->accept(*visitor_);
        stop = visitor_->stop;
        return accepted;
    }

  private:
    Walk iterator_;
    Visitor* visitor_;
};

}  // namespace korvel
