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
EDirNode* addDir(EDirNode& parent, std::string_view name) {
    return static_cast<EDirNode*>(
        parent.addChild(std::make_unique<EDirNode>(parent.path() + "/" + std::string(name))));
}
EHtmlNode* addPage(EDirNode& parent, std::string_view name) {
    return static_cast<EHtmlNode*>(parent.addChild(
        std::make_unique<EHtmlNode>(parent.path() + "/" + std::string(name), nullptr, HtmlDefinitions{})));
}
ENode* addFile(EDirNode& parent, std::string_view name) {
    return parent.addChild(std::make_unique<EFileNode>(parent.path() + "/" + std::string(name)));
}

template <typename Iterator>
Names walk(ENode* root) {
    Names names;
    Iterator it(root);
    for (it.first(); !it.isDone(); it.next())
        names.emplace_back(it.currentItem()->getFileName());
    return names;
}

TEST(Iterators, StlWalksTheVectorAndToleratesNone) {
    std::vector<int> values{1, 2, 3};
    std::vector<int> seen;
    for (TIterStl<int> it(&values); !it.isDone(); it.next())
        seen.push_back(it.currentItem());
    EXPECT_EQ(seen, values);
    TIterStl<int> none(nullptr);
    EXPECT_TRUE(none.isDone());
    EXPECT_EQ(none.currentItem(), 0);
}

TEST(Iterators, PreOrderGoesDepthFirstThroughEmptyDirectoriesAtEveryDepth) {
    EDirNode a("/A");
    EDirNode* b = addDir(a, "B");
    EDirNode* c = addDir(*b, "C");
    addDir(*c, "D");
    addFile(*b, "E");
    addDir(a, "F");
    EXPECT_EQ(walk<TIterPreOrder<ENode*>>(&a), (Names{"A", "B", "C", "D", "E", "F"}));
    EXPECT_EQ(walk<TIterPreOrderTyped<ENode*>>(&a), (Names{"A", "B", "C", "D", "E", "F"}));

    // The child iterator is made only when the walk moves past a directory: children added before are walked.
    TIterPreOrder<ENode*> it(c);
    addFile(*c, "late");
    it.next();
    it.next();
    ASSERT_FALSE(it.isDone());
    EXPECT_EQ(it.currentItem()->getFileName(), "late");
}

TEST(Iterators, OnlyTheUntypedWalkFollowsLinks) {
    EDirNode site("/site");
    EDirNode elsewhere("/elsewhere");
    addPage(site, "p.htm")->addLinkTarget(addFile(elsewhere, "outside.htm"));
    EXPECT_EQ(walk<TIterPreOrderTyped<ENode*>>(&site), (Names{"site", "p.htm"}));
    EXPECT_EQ(walk<TIterPreOrder<ENode*>>(&site), (Names{"site", "p.htm", "outside.htm"}));
}

TEST(Iterators, TheCyclicWalkVisitsEachPageOnceSkippingRepeatsAndSelfLinks) {
    EDirNode site("/site");
    EHtmlNode* p = addPage(site, "P");
    EHtmlNode* q = addPage(site, "Q");
    EHtmlNode* r = addPage(site, "R");
    ENode* img = addFile(site, "img.gif");
    for (ENode* target : std::initializer_list<ENode*>{p, q, img, r})
        p->addLinkTarget(target);
    q->addLinkTarget(r);
    q->addLinkTarget(img);
    r->addLinkTarget(p);
    EXPECT_EQ(walk<TIterPreOrderCyclic<ENode*>>(p), (Names{"P", "Q", "R", "img.gif"}));
}

class RecordingVisitor : public EVisitor {
  public:
    bool visitFile(EFileNode& node) override { return record(node); }
    bool visitHtml(EHtmlNode& node) override { return record(node); }
    bool visitDir(EDirNode& node) override { return record(node) && acceptDirs; }

    Names visited;
    std::string stopAt;
    bool acceptDirs = true;

  private:
    bool record(ENode& node) {
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
        TTraverse<TIterPreOrderTyped<ENode*>> traverse(&a, visitor);
        return traverse.run("Title", 4);
    }
    testing::ScriptedPrompts prompts;
    ui::PromptsScope scope{prompts};
    EDirNode a;
    RecordingVisitor visitor;
};

TEST_F(Traverse, CountsAcceptedNodesAndShowsTheTitle) {
    visitor.acceptDirs = false;
    EXPECT_EQ(run(), 2);  // C and D; A and B are declined
    EXPECT_EQ(visitor.visited, (Names{"A", "B", "C", "D"}));
    EXPECT_EQ(prompts.progressTitles(), Names{"Title"});

    visitor.acceptDirs = true;
    EDirNode alone("/alone");
    TTraverse<TIterPreOrderTyped<ENode*>> traverse(&alone, visitor);
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
    TTraverse<TIterPreOrderTyped<ENode*>, GUIProgress> traverse(&a, visitor);
    EXPECT_EQ(traverse.run("Title", 4), 4);
    EXPECT_TRUE(prompts.progressTitles().empty());
}

TEST(PointerSet, HoldsExactlyWhatWasInsertedThroughEveryGrowth) {
    std::vector<int> items(5000);
    TPointerSet<const int*> set;
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
