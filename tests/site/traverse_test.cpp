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

using testing::ScriptedPrompts;

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
std::vector<std::string> walk(ENode* root) {
    std::vector<std::string> names;
    Iterator it(root);
    for (it.first(); !it.isDone(); it.next())
        names.emplace_back(it.currentItem()->getFileName());
    return names;
}

using Names = std::vector<std::string>;

// ---- TIterStl

TEST(IterStlTest, WalksTheVectorAndToleratesNone) {
    std::vector<int> values{1, 2, 3};
    TIterStl<int> it(&values);
    std::vector<int> seen;
    for (; !it.isDone(); it.next())
        seen.push_back(it.currentItem());
    EXPECT_EQ(seen, values);
    it.first();
    EXPECT_EQ(it.currentItem(), 1);

    TIterStl<int> none(nullptr);
    EXPECT_TRUE(none.isDone());
    EXPECT_EQ(none.currentItem(), 0);
}

// ---- Pre-order walks

TEST(PreOrderTest, ParentBeforeChildrenDepthFirst) {
    EDirNode a("/A");
    EDirNode* b = addDir(a, "B");
    addFile(*b, "C");
    addFile(a, "D");
    EXPECT_EQ(walk<TIterPreOrder<ENode*>>(&a), (Names{"A", "B", "C", "D"}));
    EXPECT_EQ(walk<TIterPreOrderTyped<ENode*>>(&a), (Names{"A", "B", "C", "D"}));
}

TEST(PreOrderTest, EmptyDirectoriesAtEveryDepthAndClimbingSeveralLevels) {
    EDirNode a("/A");
    EDirNode* b = addDir(a, "B");
    EDirNode* c = addDir(*b, "C");
    addDir(*c, "D");
    addDir(*b, "E");
    addDir(a, "F");
    EXPECT_EQ(walk<TIterPreOrder<ENode*>>(&a), (Names{"A", "B", "C", "D", "E", "F"}));
}

TEST(PreOrderTest, ChildrenAddedWhileTheirDirectoryIsCurrentAreWalked) {
    EDirNode a("/A");
    TIterPreOrder<ENode*> it(&a);
    addFile(a, "late");  // the child iterator is made only when the walk moves past "A"
    it.next();
    ASSERT_FALSE(it.isDone());
    EXPECT_EQ(it.currentItem()->getFileName(), "late");
}

TEST(PreOrderTest, TypedWalkFromDirectoryYieldsPagesButNotTheirLinks) {
    EDirNode site("/site");
    EDirNode elsewhere("/elsewhere");
    ENode* outside = addFile(elsewhere, "outside.htm");
    EHtmlNode* page = addPage(site, "p.htm");
    page->addLinkTarget(outside);
    EXPECT_EQ(walk<TIterPreOrderTyped<ENode*>>(&site), (Names{"site", "p.htm"}));
    // The untyped walk would follow the link.
    EXPECT_EQ(walk<TIterPreOrder<ENode*>>(&site), (Names{"site", "p.htm", "outside.htm"}));
}

TEST(PreOrderTest, CyclicWalkYieldsEachPageOnceThroughACycle) {
    EDirNode site("/site");
    EHtmlNode* p = addPage(site, "P");
    EHtmlNode* q = addPage(site, "Q");
    p->addLinkTarget(q);
    q->addLinkTarget(p);
    EXPECT_EQ(walk<TIterPreOrderCyclic<ENode*>>(p), (Names{"P", "Q"}));
}

TEST(PreOrderTest, CyclicWalkSkipsRepeatsAndSelfLinks) {
    EDirNode site("/site");
    EHtmlNode* p = addPage(site, "P");
    EHtmlNode* q = addPage(site, "Q");
    EHtmlNode* r = addPage(site, "R");
    ENode* img = addFile(site, "img.gif");
    p->addLinkTarget(p);
    p->addLinkTarget(q);
    p->addLinkTarget(img);
    p->addLinkTarget(r);
    q->addLinkTarget(r);
    q->addLinkTarget(img);
    r->addLinkTarget(p);
    EXPECT_EQ(walk<TIterPreOrderCyclic<ENode*>>(p), (Names{"P", "Q", "R", "img.gif"}));
}

// ---- TTraverse

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

class TraverseTest : public ::testing::Test {
  protected:
    TraverseTest() : a("/A") {
        EDirNode* b = addDir(a, "B");
        addFile(*b, "C");
        addFile(a, "D");
    }
    ScriptedPrompts prompts;
    ui::PromptsScope scope{prompts};
    EDirNode a;
    RecordingVisitor visitor;
};

TEST_F(TraverseTest, CountsAcceptedNodesAndShowsTheTitle) {
    visitor.acceptDirs = false;
    TTraverse<TIterPreOrderTyped<ENode*>> traverse(&a, visitor);
    EXPECT_EQ(traverse.run("Title", 4), 2);  // C and D; A and B are declined
    EXPECT_EQ(visitor.visited, (Names{"A", "B", "C", "D"}));
    EXPECT_EQ(prompts.progressTitles(), Names{"Title"});
}

TEST_F(TraverseTest, CancelEndsThePassAfterTheNodeBeingVisited) {
    // Calls: 1 at the start (the root), then one per node that has a parent: 2 for B, 3 for C.
    prompts.cancelAtDirectory(3);
    TTraverse<TIterPreOrderTyped<ENode*>> traverse(&a, visitor);
    EXPECT_EQ(traverse.run("Title", 4), -1);
    EXPECT_EQ(visitor.visited, (Names{"A", "B", "C"}));
}

TEST_F(TraverseTest, VisitorStopEndsThePassAfterTheCurrentNode) {
    visitor.stopAt = "B";
    TTraverse<TIterPreOrderTyped<ENode*>> traverse(&a, visitor);
    EXPECT_EQ(traverse.run("Title", 4), -1);
    EXPECT_EQ(visitor.visited, (Names{"A", "B"}));
}

TEST_F(TraverseTest, SilentProgressNeverCancelsAndShowsNothing) {
    prompts.cancelAtDirectory(1);
    TTraverse<TIterPreOrderTyped<ENode*>, GUIProgress> traverse(&a, visitor);
    EXPECT_EQ(traverse.run("Title", 4), 4);
    EXPECT_TRUE(prompts.progressTitles().empty());
}

TEST(TraverseRootTest, RootWithoutChildrenCountsAsItsVisitSays) {
    ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    for (const bool accept : {true, false}) {
        EDirNode root("/A");
        RecordingVisitor visitor;
        visitor.acceptDirs = accept;
        TTraverse<TIterPreOrderTyped<ENode*>> traverse(&root, visitor);
        EXPECT_EQ(traverse.run("T", 1), accept ? 1 : 0);
        EXPECT_EQ(visitor.visited, Names{"A"});
    }
}

}  // namespace
}  // namespace korvel

namespace korvel {
namespace {

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
