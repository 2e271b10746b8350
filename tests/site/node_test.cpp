#include "site/node.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/paths.h"
#include "report/app_log.h"
#include "res/strings.h"
#include "site/site_tree.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using testing::TempDir;

std::vector<std::string> childNames(const EDirNode& dir) {
    std::vector<std::string> names;
    for (const ENode* child : dir.children())
        names.emplace_back(child->getFileName());
    return names;
}

ENode* addFile(EDirNode& dir, std::string_view name) {
    return dir.addChild(std::make_unique<EFileNode>(platform::joinPath(dir.path(), name)));
}

// ---- Order of children

TEST(DirNodeTest, ChildrenSortIgnoringCaseWhateverTheOrderAdded) {
    EDirNode dir("/site");
    for (const char* name : {"b.htm", "A.htm", "c.gif"})
        addFile(dir, name);
    EXPECT_EQ(childNames(dir), (std::vector<std::string>{"A.htm", "b.htm", "c.gif"}));
}

TEST(DirNodeTest, CaseTwinsSortByteWiseWhicheverComesFirst) {
    for (const bool lowerFirst : {true, false}) {
        EDirNode dir("/site");
        addFile(dir, "b");
        addFile(dir, lowerFirst ? "index.htm" : "Index.htm");
        addFile(dir, lowerFirst ? "Index.htm" : "index.htm");
        addFile(dir, "_x");
        EXPECT_EQ(childNames(dir), (std::vector<std::string>{"_x", "b", "Index.htm", "index.htm"}))
            << "lower-case twin added first: " << lowerFirst;
    }
}

TEST(DirNodeTest, TrailingSeparatorIsDroppedButRootStays) {
    EXPECT_EQ(EDirNode("/site/").path(), "/site");
    EXPECT_EQ(EDirNode("/").path(), "/");
}

// ---- findChild

struct FindCase {
    const char* query;
    const char* expected;  // file name of the child found, "" for none
};

class FindChildTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindChildTest, ByNameOrFullPathExactCaseFirst) {
    EDirNode dir("/site");
    for (const char* name : {"Index.HTM", "Page.htm", "page.htm", "img"})
        addFile(dir, name);
    ENode* found = nullptr;
    const bool ok = dir.findChild(GetParam().query, &found);
    const std::string expected = GetParam().expected;
    ASSERT_EQ(ok, !expected.empty());
    if (ok) {
        EXPECT_EQ(found->getFileName(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Queries, FindChildTest,
    ::testing::Values(FindCase{"index.htm", "Index.HTM"}, FindCase{"/site/Index.HTM", "Index.HTM"},
                      FindCase{"/SITE/index.htm", "Index.HTM"}, FindCase{"/site/index.htm/", "Index.HTM"},
                      FindCase{"page.htm", "page.htm"}, FindCase{"Page.htm", "Page.htm"},
                      FindCase{"/site/page.htm", "page.htm"}, FindCase{"/site/Page.htm", "Page.htm"},
                      // No exact match among twins: the first in child order.
                      FindCase{"PAGE.HTM", "Page.htm"}, FindCase{"/Site/PAGE.htm", "Page.htm"},
                      FindCase{"/other/page.htm", ""}, FindCase{"missing.htm", ""}, FindCase{"site", ""},
                      FindCase{"", ""}));

TEST(DirNodeTest, FindsEveryOneOfManyChildren) {
    EDirNode dir("/big");
    for (int i = 9999; i >= 0; --i)
        addFile(dir, "f" + std::to_string(i) + ".htm");
    ASSERT_EQ(dir.children().size(), 10000u);
    for (int i = 0; i < 10000; i += 997) {
        ENode* found = nullptr;
        ASSERT_TRUE(dir.findChild("F" + std::to_string(i) + ".HTM", &found));
        EXPECT_EQ(found->getFileName(), "f" + std::to_string(i) + ".htm");
    }
    EXPECT_TRUE(std::is_sorted(
        dir.children().begin(), dir.children().end(),
        [](const ENode* a, const ENode* b) { return siblingLess(a->getFileName(), b->getFileName()); }));
}

// ---- removeChild, setPath

TEST(DirNodeTest, RemovingANodeThatIsNotAChildChangesNothing) {
    EDirNode dir("/site");
    addFile(dir, "a.htm");
    EDirNode other("/other");
    ENode* stranger = addFile(other, "a.htm");
    EXPECT_EQ(dir.removeChild(stranger), nullptr);
    EXPECT_EQ(childNames(dir), std::vector<std::string>{"a.htm"});
    EXPECT_EQ(stranger->getParent(), &other);
}

TEST(DirNodeTest, RemovedTwinIsHandedBackAndTheOtherStaysFindable) {
    EDirNode dir("/site");
    ENode* upper = addFile(dir, "Index.htm");
    ENode* lower = addFile(dir, "index.htm");
    const std::unique_ptr<ENode> owned = dir.removeChild(upper);
    EXPECT_EQ(owned.get(), upper);
    EXPECT_EQ(upper->getParent(), nullptr);
    EXPECT_EQ(dir.children(), std::vector<ENode*>{lower});
    ENode* found = nullptr;
    ASSERT_TRUE(dir.findChild("INDEX.HTM", &found));
    EXPECT_EQ(found, lower);
}

TEST(DirNodeTest, RenamedChildIsFoundByItsNewNameAndResorted) {
    EDirNode dir("/site");
    ENode* a = addFile(dir, "a.htm");
    addFile(dir, "m.htm");
    a->setPath("/site/z.htm");
    EXPECT_FALSE(dir.findChild("a.htm"));
    ENode* found = nullptr;
    ASSERT_TRUE(dir.findChild("Z.HTM", &found));
    EXPECT_EQ(found, a);
    EXPECT_EQ(a->originalPath(), "/site/a.htm");
    EXPECT_EQ(childNames(dir), (std::vector<std::string>{"m.htm", "z.htm"}));
}

// ---- Paths after renaming

TEST(NodePathTest, NewPathAndDirectoryLengthFollowNewNamesOfEveryAncestor) {
    EDirNode top("/srv/site");
    auto* a = static_cast<EDirNode*>(top.addChild(std::make_unique<EDirNode>("/srv/site/a")));
    ENode* page = addFile(*a, "b.htm");
    EXPECT_EQ(page->newPath(), "/srv/site/a/b.htm");
    EXPECT_EQ(page->directoryPathLength(), std::string("/srv/site/a/").size());

    a->setNewName("longer_a");
    page->setNewName("c.html");
    top.setNewName("web");
    EXPECT_EQ(page->newPath(), "/srv/web/longer_a/c.html");
    EXPECT_EQ(page->directoryPathLength(), std::string("/srv/web/longer_a/").size());
    EXPECT_EQ(a->newPath(), "/srv/web/longer_a");
    EXPECT_EQ(top.newPath(), "/srv/web");
}

TEST(NodePathTest, TopAtTheRootOfTheFileSystem) {
    EDirNode top("/");
    ENode* page = addFile(top, "b.htm");
    EXPECT_EQ(page->path(), "/b.htm");
    EXPECT_EQ(page->newPath(), "/b.htm");
    EXPECT_EQ(page->directoryPathLength(), 1u);
}

TEST(NodePathTest, RefreshPathTakesTheParentsCurrentPath) {
    EDirNode top("/site");
    auto* a = static_cast<EDirNode*>(top.addChild(std::make_unique<EDirNode>("/site/a")));
    ENode* page = addFile(*a, "b.htm");
    a->setPath("/site/renamed");
    page->refreshPath();
    EXPECT_EQ(page->path(), "/site/renamed/b.htm");
    EXPECT_EQ(page->originalPath(), "/site/a/b.htm");
}

// ---- Children for a walk

TEST(NodeChildrenTest, EmptyDirectoryAndPageWithoutLinksHaveNone) {
    EDirNode dir("/site");
    EXPECT_FALSE(dir.hasChildren());
    EHtmlNode page("/site/p.htm", nullptr, HtmlDefinitions{});
    EXPECT_FALSE(page.hasChildren());
    auto links = page.createIterator();
    ASSERT_TRUE(links);
    EXPECT_TRUE(links->isDone());
    page.addLinkTarget(&dir);
    EXPECT_TRUE(page.hasChildren());
}

// ---- Node made from disk

TEST(NodeFromDiskTest, MissingPathHasNoAttributesAndIsNotText) {
    TempDir dir;
    EFileNode node(dir.file("none.htm"));
    EXPECT_FALSE(node.exists());
    EXPECT_EQ(node.attributes(), 0u);
    EXPECT_FALSE(node.isAscii());
}

TEST(NodeFromDiskTest, AttributesOfDirectoryHiddenTemporaryAndReadOnly) {
    TempDir dir;
    EXPECT_EQ(EDirNode(dir.mkdir("sub")).attributes(), std::uint32_t{kAttrDirectory});
    EXPECT_EQ(EFileNode(dir.write(".hidden", "x")).attributes(), std::uint32_t{kAttrHidden});
    EXPECT_EQ(EFileNode(dir.write("notes~", "x")).attributes(), std::uint32_t{kAttrTemporary});
    const std::string locked = dir.write("locked.txt", "x");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    EFileNode lockedNode(locked);
    EXPECT_TRUE(lockedNode.exists());
    if (!testing::permissionsAreIgnored()) {
        EXPECT_TRUE(lockedNode.isReadOnly());
    }
}

TEST(NodeFromDiskTest, HtmlPageCountsAsTextWhateverItsBytes) {
    TempDir dir;
    const std::string path = dir.write("p.htm", "<p>\xC3\xA9t\xC3\xA9</p>\r\nmore");
    EHtmlNode page(path, nullptr, HtmlDefinitions{});
    EXPECT_TRUE(page.isHtml());
    EXPECT_TRUE(page.isAscii());
    EXPECT_EQ(page.lineEnd(), kCrLf);
    EXPECT_EQ(page.originalLineEnd(), kCrLf);

    EFileNode plain(dir.write("p.bin", "\xC3\xA9\n"));
    EXPECT_FALSE(plain.isAscii());
    EXPECT_EQ(plain.lineEnd(), kNoLineEnd);
}

// ---- update

class UpdateTest : public ::testing::Test {
  protected:
    TempDir dir;
    ENodeCreator creator;
    LogScope logScope;
};

TEST_F(UpdateTest, FollowsAddedAndDeletedFilesKeepingUnchangedNodes) {
    dir.write("old.htm", "x");
    dir.write("keep.htm", "x");
    ESiteTree tree(std::make_unique<EDirNode>(dir.path()));
    ASSERT_TRUE(tree.top().update(creator, true));
    ENode* keep = nullptr;
    ASSERT_TRUE(tree.top().findChild("keep.htm", &keep));
    keep->setNewName("kept.html");

    ASSERT_EQ(::unlink(dir.file("old.htm").c_str()), 0);
    dir.write("new.htm", "x");
    ASSERT_TRUE(tree.top().update(creator, false));

    EXPECT_EQ(childNames(tree.top()), (std::vector<std::string>{"keep.htm", "new.htm"}));
    ENode* keepAfter = nullptr;
    ASSERT_TRUE(tree.top().findChild("keep.htm", &keepAfter));
    EXPECT_EQ(keepAfter, keep);
    EXPECT_EQ(keepAfter->getNewName(), "kept.html");
    EXPECT_EQ(tree.findNodeByPath(dir.file("old.htm")), nullptr);
    EXPECT_NE(tree.findNodeByPath(dir.file("new.htm")), nullptr);
    EXPECT_EQ(tree.index().size(), 3u);
}

TEST_F(UpdateTest, CaseTwinAppearingOnDiskGetsANodeOfItsOwn) {
    dir.write("Index.htm", "x");
    ESiteTree tree(std::make_unique<EDirNode>(dir.path()));
    ASSERT_TRUE(tree.top().update(creator, false));
    ENode* upper = tree.top().children().at(0);
    dir.write("index.htm", "y");
    ASSERT_TRUE(tree.top().update(creator, false));
    EXPECT_EQ(childNames(tree.top()), (std::vector<std::string>{"Index.htm", "index.htm"}));
    EXPECT_EQ(tree.top().children().at(0), upper);
    EXPECT_EQ(tree.findNodeByPath(dir.file("index.htm")), tree.top().children().at(1));
}

TEST_F(UpdateTest, RecursesIntoSubdirectoriesAndDropsRemovedOnes) {
    dir.write("a/b/c.htm", "x");
    dir.write("gone/d.htm", "x");
    ESiteTree tree(std::make_unique<EDirNode>(dir.path()));
    ASSERT_TRUE(tree.top().update(creator, true));
    EXPECT_NE(tree.findNodeByPath(dir.file("a/b/c.htm")), nullptr);
    ASSERT_NE(tree.findNodeByPath(dir.file("gone/d.htm")), nullptr);

    ASSERT_EQ(::unlink(dir.file("gone/d.htm").c_str()), 0);
    ASSERT_EQ(::rmdir(dir.file("gone").c_str()), 0);
    ASSERT_TRUE(tree.top().update(creator, true));
    EXPECT_EQ(tree.findNodeByPath(dir.file("gone/d.htm")), nullptr);
    EXPECT_EQ(tree.findNodeByPath(dir.file("gone")), nullptr);
    EXPECT_EQ(tree.index().size(), 4u);  // top, a, a/b, a/b/c.htm
}

TEST_F(UpdateTest, DirectoryThatCannotBeListedIsReported) {
    EDirNode missing(dir.file("none"));
    EXPECT_FALSE(missing.update(creator, true));
    const std::string errors = logScope.log().sectionText(res::kSectionErrors);
    EXPECT_NE(
        errors.find(std::string(res::loadString(res::kDirectoryListFailed)) + "\n\t" + dir.file("none")),
        std::string::npos)
        << errors;
}

// ---- Line index

struct LineIndexCase {
    const char* label;
    std::string bytes;
    std::vector<std::int64_t> expected;
};

void PrintTo(const LineIndexCase& c, std::ostream* os) {
    *os << c.label;
}

class LineIndexTest : public ::testing::TestWithParam<LineIndexCase> {};

TEST_P(LineIndexTest, FindsEveryLineEnd) {
    TempDir dir;
    EFileNode node(dir.write("f.txt", GetParam().bytes));
    ASSERT_TRUE(node.buildLineIndex());
    EXPECT_EQ(node.lineIndex(), GetParam().expected);
}

// "n" bytes of 'a' with "text" at "offset".
std::string bytesWith(std::size_t n, std::size_t offset, std::string_view text) {
    std::string out(n, 'a');
    out.replace(offset, text.size(), text);
    return out;
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Files, LineIndexTest,
    ::testing::Values(
        LineIndexCase{"empty", "", {0}}, LineIndexCase{"no_line_end", "abc", {3}},
        LineIndexCase{"lf", "ab\ncd\n", {2, 5, 6}}, LineIndexCase{"crlf_once", "ab\r\ncd", {2, 6}},
        LineIndexCase{"cr", "ab\rcd\r", {2, 5, 6}}, LineIndexCase{"lf_cr_is_two", "a\n\rb", {1, 2, 4}},
        LineIndexCase{"cr_cr_lf", "a\r\r\nb", {1, 2, 5}},
        LineIndexCase{"after_nul", "a\0b\nc\0\0\r\nd"s, {3, 7, 10}},
        LineIndexCase{"nul_first", "\0\n\0\n"s, {1, 3, 4}},
        // A CR LF split by a read boundary counts once, wherever the boundary lies.
        LineIndexCase{"crlf_across_512", bytesWith(1000, 511, "\r\n"), {511, 1000}},
        LineIndexCase{"crlf_across_64k", bytesWith(70000, 65535, "\r\n"), {65535, 70000}},
        LineIndexCase{"cr_cr_lf_across_64k", bytesWith(70000, 65534, "\r\r\n"), {65534, 65535, 70000}},
        LineIndexCase{"cr_at_64k_end_then_text", bytesWith(70000, 65535, "\rx"), {65535, 70000}},
        LineIndexCase{"lf_first_in_second_block", bytesWith(70000, 65536, "\n"), {65536, 70000}},
        LineIndexCase{"cr_last_byte_of_file", bytesWith(65536, 65535, "\r"), {65535, 65536}}));

TEST(LineIndexTest, LineOfOffsetBuildsTheIndexOnFirstUse) {
    TempDir dir;
    EFileNode node(dir.write("f.txt", "ab\ncd\nef"));
    ASSERT_TRUE(node.lineIndex().empty());
    EXPECT_EQ(node.lineOfOffset(0), 1);
    EXPECT_EQ(node.lineOfOffset(2), 1);  // the line end belongs to the line it ends
    EXPECT_EQ(node.lineOfOffset(3), 2);
    EXPECT_EQ(node.lineOfOffset(7), 3);
    EXPECT_EQ(node.lineOfOffset(1000), 3);  // never past the last line
}

TEST(LineIndexTest, FileThatCannotBeOpenedIsReported) {
    TempDir dir;
    LogScope logScope;
    EFileNode node(dir.file("none.txt"));
    EXPECT_FALSE(node.buildLineIndex());
    EXPECT_NE(
        logScope.log().sectionText(res::kSectionErrors).find("File open failed\n\t" + dir.file("none.txt")),
        std::string::npos);
}

TEST(LineIndexTest, OffsetsBeyondFourGibibytes) {
    EFileNode node("/none");
    const std::int64_t g = 1024LL * 1024 * 1024;
    node.setLineIndex({5 * g, 5 * g + 10, 6 * g});
    EXPECT_EQ(node.lineOfOffset(4 * g), 1);
    EXPECT_EQ(node.lineOfOffset(5 * g + 1), 2);
    EXPECT_EQ(node.lineOfOffset(5 * g + 11), 3);
    std::int64_t start = 0, end = 0;
    ASSERT_TRUE(node.lineSpan(2, start, end));
    EXPECT_EQ(start, 5 * g + 1);
    EXPECT_EQ(end, 5 * g + 10);
    ASSERT_TRUE(node.lineSpan(3, start, end));
    EXPECT_EQ(start, 5 * g + 11);
    EXPECT_EQ(end, 6 * g);
}

TEST(LineSpanTest, CrLfLinesSkipTheirTwoByteTerminator) {
    TempDir dir;
    EFileNode node(dir.write("f.txt", "ab\r\ncd\r\nef"));
    ASSERT_EQ(node.lineEnd(), kCrLf);
    ASSERT_TRUE(node.buildLineIndex());
    struct Span {
        std::int64_t line, start, end;
    };
    // Each span runs to the last byte of its terminator; the last line to the file's length.
    for (const Span s : {Span{1, 0, 3}, Span{2, 4, 7}, Span{3, 8, 10}}) {
        std::int64_t start = -1, end = -1;
        ASSERT_TRUE(node.lineSpan(s.line, start, end)) << s.line;
        EXPECT_EQ(start, s.start) << s.line;
        EXPECT_EQ(end, s.end) << s.line;
    }
    std::int64_t start = 0, end = 0;
    EXPECT_FALSE(node.lineSpan(0, start, end));
    EXPECT_FALSE(node.lineSpan(4, start, end));
}

}  // namespace
}  // namespace korvel
