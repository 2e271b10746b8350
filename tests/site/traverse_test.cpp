#include "site/traverse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/iterator.h"
#include "site/node.h"
#include "support/scripted_prompts.h"
#include "ui/prompts.h"

namespace korvel {
namespace {

using Names = std::vector<std::string>;

// Nodes for paths that do not exist: the walk needs only their shape.
DirNode* addDir(DirNode& parent, std::string_view name) {
    return static_cast<DirNode*>(
        parent.addChild(std::make_unique<DirNode>(parent.path() + "/" + std::string(name))));
}
HtmlNode* addPage(DirNode& parent, std::string_view name) {
    return static_cast<HtmlNode*>(parent.addChild(
        std::make_unique<HtmlNode>(parent.path() + "/" + std::string(name), nullptr, HtmlDefinitions{})));
}
Node* addFile(DirNode& parent, std::string_view name) {
    return parent.addChild(std::make_unique<FileNode>(parent.path() + "/" + std::string(name)));
}

template <typename Iterator>
Names walk(Node* root) {
    Names names;
    Iterator it(root);
    for (it.first(); !it.isDone(); it.next())
        names.emplace_back(it.currentItem()->getFileName());
    return names;
}

TEST(Iterators, StlWalksTheVectorAndToleratesNone) {
    std::vector<int> values{1, 2, 3};
    std::vector<int> seen;
    for (ListIterator<int> it(&values); !it.isDone(); it.next())
        seen.push_back(it.currentItem());
    EXPECT_EQ(seen, values);
    ListIterator<int> none(nullptr);
    EXPECT_TRUE(none.isDone());
    EXPECT_EQ(none.currentItem(), 0);
}

TEST(Iterators, PreOrderGoesDepthFirstThroughEmptyDirectoriesAtEveryDepth) {
    DirNode a("/A");
    DirNode* b = addDir(a, "B");
    DirNode* c = addDir(*b, "C");
    addDir(*c, "D");
    addFile(*b, "E");
    addDir(a, "F");
    EXPECT_EQ(walk<PreOrderWalk<Node*>>(&a), (Names{"A", "B", "C", "D", "E", "F"}));
    EXPECT_EQ(walk<TypedWalk<Node*>>(&a), (Names{"A", "B", "C", "D", "E", "F"}));

    // The child iterator is made only when the walk moves past a directory: children added before are walked.
    PreOrderWalk<Node*> it(c);
    addFile(*c, "late");
    it.next();
    it.next();
    ASSERT_FALSE(it.isDone());
    EXPECT_EQ(it.currentItem()->getFileName(), "late");
}

TEST(Iterators, OnlyTheUntypedWalkFollowsLinks) {
    DirNode site("/site");
    DirNode elsewhere("/elsewhere");
    addPage(site, "p.htm")->addLinkTarget(addFile(elsewhere, "outside.htm"));
    EXPECT_EQ(walk<TypedWalk<Node*>>(&site), (Names{"site", "p.htm"}));
    EXPECT_EQ(walk<PreOrderWalk<Node*>>(&site), (Names{"site", "p.htm", "outside.htm"}));
}

TEST(Iterators, TheCyclicWalkVisitsEachPageOnceSkippingRepeatsAndSelfLinks) {
    DirNode site("/site");
    HtmlNode* p = addPage(site, "P");
    HtmlNode* q = addPage(site, "Q");
    HtmlNode* r = addPage(site, "R");
    Node* img = addFile(site, "img.gif");
    for (Node* target : std::initializer_list<Node*>{p, q, img, r})
        p->addLinkTarget(target);
    q->addLinkTarget(r);
    q->addLinkTarget(img);
    r->addLinkTarget(p);
    EXPECT_EQ(walk<LinkWalk<Node*>>(p), (Names{"P", "Q", "R", "img.gif"}));
}

class RecordingVisitor : public Visitor {
  public:
    bool visitFile(FileNode& node) override { return record(node); }
    bool visitHtml(HtmlNode& node) override { return record(node); }
    bool visitDir(DirNode& node) override { return record(node) && acceptDirs; }

    Names visited;
    std::string stopAt;
    bool acceptDirs = true;

  private:
    bool record(Node& node) {
        visited.emplace_back(node.getFileName());
        if (visited.back() == stopAt) stop = true;
        return true;
    }
};

class Traverse : public ::testing::Test {
  protected:
    Traverse() : a("/A") {
        addFile(*addDir(a, "B"), "C");
        addFile(a, "D");
    }
    int run() {
        Traversal<TypedWalk<Node*>> traverse(&a, visitor);
        return traverse.run("Title", 4);
    }
    testing::ScriptedPrompts prompts;
    ui::PromptsScope scope{prompts};
    DirNode a;
    RecordingVisitor visitor;
};

TEST_F(Traverse, CountsAcceptedNodesAndShowsTheTitle) {
    visitor.acceptDirs = false;
    EXPECT_EQ(run(), 2);  // C and D; A and B are declined
    EXPECT_EQ(visitor.visited, (Names{"A", "B", "C", "D"}));
    EXPECT_EQ(prompts.progressTitles(), Names{"Title"});

    visitor.acceptDirs = true;
    DirNode alone("/alone");
    Traversal<TypedWalk<Node*>> traverse(&alone, visitor);
    EXPECT_EQ(traverse.run("T", 1), 1);  // a root without children counts too
}

TEST_F(Traverse, ACancelOrTheVisitorsStopEndsThePassAfterTheCurrentNode) {
    // Calls: 1 at the start (the root), then one per node that has a parent: 2 for B, 3 for C.
    prompts.cancelAtDirectory(3);
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(visitor.visited, (Names{"A", "B", "C"}));

    visitor.visited.clear();
    visitor.stopAt = "B";
    prompts.cancelAtDirectory(0);
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(visitor.visited, (Names{"A", "B"}));
}

TEST_F(Traverse, SilentProgressNeverCancelsAndShowsNothing) {
    prompts.cancelAtDirectory(1);
    Traversal<TypedWalk<Node*>, GUIProgress> traverse(&a, visitor);
    EXPECT_EQ(traverse.run("Title", 4), 4);
    EXPECT_TRUE(prompts.progressTitles().empty());
}

TEST(PointerSet, HoldsExactlyWhatWasInsertedThroughEveryGrowth) {
    std::vector<int> items(5000);
    NodeSet<const int*> set;
    EXPECT_FALSE(set.contains(nullptr));
    for (std::size_t i = 0; i < items.size(); i += 2) {
        set.insert(&items[i]);
        set.insert(&items[i]);  // twice: still once
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        ASSERT_EQ(set.contains(&items[i]), i % 2 == 0) << i;
    set.insert(nullptr);
    EXPECT_TRUE(set.contains(nullptr));
    set.clear();
    EXPECT_FALSE(set.contains(&items[0]));
    EXPECT_FALSE(set.contains(nullptr));
}

}  // namespace
}  // namespace korvel
