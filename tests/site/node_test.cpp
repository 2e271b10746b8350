#include "site/node.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "report/app_log.h"
#include "res/strings.h"
#include "site/site_tree.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using namespace std::string_literals;
using testing::TempDir;
using Names = std::vector<std::string>;

Names childNames(const DirNode& dir) {
    Names names;
    for (const Node* child : dir.children())
        names.emplace_back(child->getFileName());
    return names;
}

Node* addFile(DirNode& dir, std::string_view name) {
    return dir.addChild(std::make_unique<FileNode>(platform::joinPath(dir.path(), name)));
}

TEST(DirNode, ChildrenSortIgnoringCaseAndCaseTwinsByteWiseWhateverTheOrderAdded) {
    for (const bool lowerFirst : {true, false}) {
        DirNode dir("/site/");
        for (const char* name : {"b", lowerFirst ? "index.htm" : "Index.htm", "_x", "A.htm",
                                 lowerFirst ? "Index.htm" : "index.htm"})
            addFile(dir, name);
        EXPECT_EQ(dir.path(), "/site");
        EXPECT_EQ(childNames(dir), (Names{"_x", "A.htm", "b", "Index.htm", "index.htm"})) << lowerFirst;
    }
    EXPECT_EQ(DirNode("/").path(), "/");
}

TEST(DirNode, FindsAChildByNameOrFullPathExactCaseFirst) {
    DirNode dir("/site");
    for (const char* name : {"Index.HTM", "Page.htm", "page.htm", "img"})
        addFile(dir, name);
    const std::pair<const char*, const char*> cases[] = {
        {"index.htm", "Index.HTM"},
        {"/SITE/index.htm", "Index.HTM"},
        {"/site/index.htm/", "Index.HTM"},
        {"page.htm", "page.htm"},
        {"/site/Page.htm", "Page.htm"},
        // No exact match among twins: the first in child order.
        {"/Site/PAGE.htm", "Page.htm"},
        {"/other/page.htm", ""},
        {"missing.htm", ""},
        {"site", ""},
        {"", ""}};
    for (const auto& [query, expected] : cases) {
        Node* found = nullptr;
        ASSERT_EQ(dir.findChild(query, &found), *expected != '\0') << query;
        EXPECT_EQ(found ? std::string(found->getFileName()) : "", expected) << query;
    }
}

TEST(DirNode, RemovingAndRenamingKeepTheOrderAndTheLookUp) {
    DirNode dir("/site");
    Node* upper = addFile(dir, "Index.htm");
    Node* lower = addFile(dir, "index.htm");
    Node* a = addFile(dir, "a.htm");
    DirNode other("/other");
    Node* stranger = addFile(other, "a.htm");
    EXPECT_EQ(dir.removeChild(stranger), nullptr);
    EXPECT_EQ(stranger->getParent(), &other);

    const std::unique_ptr<Node> owned = dir.removeChild(upper);
    EXPECT_EQ(owned.get(), upper);
    EXPECT_EQ(upper->getParent(), nullptr);
    Node* found = nullptr;
    ASSERT_TRUE(dir.findChild("INDEX.HTM", &found));
    EXPECT_EQ(found, lower);

    a->setPath("/site/z.htm");
    EXPECT_FALSE(dir.findChild("a.htm"));
    ASSERT_TRUE(dir.findChild("Z.HTM", &found));
    EXPECT_EQ(found, a);
    EXPECT_EQ(a->originalPath(), "/site/a.htm");
    EXPECT_EQ(childNames(dir), (Names{"index.htm", "z.htm"}));
}

TEST(NodePath, NewPathAndDirectoryLengthFollowNewNamesOfEveryAncestor) {
    DirNode top("/srv/site");
    auto* a = static_cast<DirNode*>(top.addChild(std::make_unique<DirNode>("/srv/site/a")));
    Node* page = addFile(*a, "b.htm");
    a->setNewName("longer_a");
    page->setNewName("c.html");
    top.setNewName("web");
    EXPECT_EQ(page->newPath(), "/srv/web/longer_a/c.html");
    EXPECT_EQ(page->directoryPathLength(), std::string("/srv/web/longer_a/").size());
    EXPECT_EQ(a->newPath(), "/srv/web/longer_a");

    a->setPath("/srv/site/renamed");
    page->refreshPath();
    EXPECT_EQ(page->path(), "/srv/site/renamed/b.htm");
    EXPECT_EQ(page->originalPath(), "/srv/site/a/b.htm");

    DirNode root("/");
    Node* atRoot = addFile(root, "b.htm");
    EXPECT_EQ(atRoot->newPath(), "/b.htm");
    EXPECT_EQ(atRoot->directoryPathLength(), 1u);
}

TEST(Node, FromDisk) {
    TempDir dir;
    FileNode missing(dir.file("none.htm"));
    EXPECT_FALSE(missing.exists());
    EXPECT_EQ(missing.attributes(), 0u);
    EXPECT_FALSE(missing.isAscii());
    EXPECT_EQ(DirNode(dir.mkdir("sub")).attributes(), std::uint32_t{kAttrDirectory});
    EXPECT_EQ(FileNode(dir.write(".hidden", "x")).attributes(), std::uint32_t{kAttrHidden});
    EXPECT_EQ(FileNode(dir.write("notes~", "x")).attributes(), std::uint32_t{kAttrTemporary});
    const std::string locked = dir.write("locked.txt", "x");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    EXPECT_TRUE(FileNode(locked).isReadOnly());

    // A page counts as text whatever its bytes.
    HtmlNode page(dir.write("p.htm", "<p>\xC3\xA9t\xC3\xA9</p>\r\nmore"), nullptr, HtmlDefinitions{});
    EXPECT_TRUE(page.isHtml());
    EXPECT_TRUE(page.isAscii());
    EXPECT_EQ(page.lineEnd(), kCrLf);
    EXPECT_EQ(page.originalLineEnd(), kCrLf);
    FileNode plain(dir.write("p.bin", "\xC3\xA9\n"));
    EXPECT_FALSE(plain.isAscii());
    EXPECT_EQ(plain.lineEnd(), kNoLineEnd);

    EXPECT_FALSE(page.hasChildren());
    auto links = page.createIterator();
    ASSERT_TRUE(links);
    EXPECT_TRUE(links->isDone());
    page.addLinkTarget(&missing);
    EXPECT_TRUE(page.hasChildren());
}

TEST(Update, FollowsTheDiskKeepingUnchangedNodesAndReportsWhatCannotBeListed) {
    TempDir dir;
    NodeFactory creator;
    LogScope logScope;
    dir.write("old.htm", "x");
    dir.write("Keep.htm", "x");
    dir.write("a/b/c.htm", "x");
    dir.write("gone/d.htm", "x");
    SiteTree tree(std::make_unique<DirNode>(dir.path()));
    ASSERT_TRUE(tree.top().update(creator, true));
    Node* keep = tree.findNodeByPath(dir.file("Keep.htm"));
    ASSERT_NE(keep, nullptr);
    keep->setNewName("kept.html");

    ASSERT_EQ(::unlink(dir.file("old.htm").c_str()), 0);
    std::filesystem::remove_all(dir.file("gone"));
    dir.write("new.htm", "x");
    dir.write("keep.htm", "a case twin");
    ASSERT_TRUE(tree.top().update(creator, true));

    EXPECT_EQ(childNames(tree.top()), (Names{"a", "Keep.htm", "keep.htm", "new.htm"}));
    EXPECT_EQ(tree.findNodeByPath(dir.file("Keep.htm")), keep);
    EXPECT_EQ(keep->getNewName(), "kept.html");
    EXPECT_NE(tree.findNodeByPath(dir.file("keep.htm")), keep);
    for (const char* gone : {"old.htm", "gone", "gone/d.htm"})
        EXPECT_EQ(tree.findNodeByPath(dir.file(gone)), nullptr) << gone;
    EXPECT_NE(tree.findNodeByPath(dir.file("a/b/c.htm")), nullptr);
    EXPECT_EQ(tree.index().size(), 7u);  // top, a, a/b, a/b/c.htm and three files

    DirNode missing(dir.file("none"));
    EXPECT_FALSE(missing.update(creator, true));
    const std::string errors = logScope.log().sectionText(res::kSectionErrors);
    EXPECT_NE(
        errors.find(std::string(res::loadString(res::kDirectoryListFailed)) + "\n\t" + dir.file("none")),
        std::string::npos)
        << errors;
}

// "n" bytes of 'a' with "text" at "offset".
std::string bytesWith(std::size_t n, std::size_t offset, std::string_view text) {
    std::string out(n, 'a');
    out.replace(offset, text.size(), text);
    return out;
}

TEST(LineIndex, FindsEveryLineEnd) {
    const std::pair<std::string, std::vector<std::int64_t>> cases[] = {
        {"", {0}},
        {"ab\ncd\n", {2, 5, 6}},
        {"ab\r\ncd", {2, 6}},
        {"ab\rcd\r", {2, 5, 6}},
        {"a\n\rb", {1, 2, 4}},
        {"a\r\r\nb", {1, 2, 5}},
        {"a\0b\nc\0\0\r\nd"s, {3, 7, 10}},
        // A CR LF split by a read boundary counts once, wherever the boundary lies.
        {bytesWith(1000, 511, "\r\n"), {511, 1000}},
        {bytesWith(70000, 65535, "\r\n"), {65535, 70000}},
        {bytesWith(70000, 65534, "\r\r\n"), {65534, 65535, 70000}},
        {bytesWith(70000, 65535, "\rx"), {65535, 70000}},
        {bytesWith(70000, 65536, "\n"), {65536, 70000}},
        {bytesWith(65536, 65535, "\r"), {65535, 65536}},
    };
    TempDir dir;
    for (const auto& [bytes, expected] : cases) {
        FileNode node(dir.write("f.txt", bytes));
        ASSERT_TRUE(node.buildLineIndex());
        EXPECT_EQ(node.lineIndex(), expected) << bytes.size();
    }
}

TEST(LineIndex, LinesAndSpansOfOffsetsBuildTheIndexOnFirstUseOrReportTheFile) {
    TempDir dir;
    LogScope logScope;
    EXPECT_FALSE(FileNode(dir.file("none.txt")).buildLineIndex());
    EXPECT_NE(
        logScope.log().sectionText(res::kSectionErrors).find("File open failed\n\t" + dir.file("none.txt")),
        std::string::npos);
    FileNode node(dir.write("f.txt", "ab\r\ncd\r\nef"));
    ASSERT_TRUE(node.lineIndex().empty());
    EXPECT_EQ(node.lineOfOffset(0), 1);
    EXPECT_EQ(node.lineOfOffset(2), 1);  // the line end belongs to the line it ends
    EXPECT_EQ(node.lineOfOffset(4), 2);
    EXPECT_EQ(node.lineOfOffset(1000), 3);  // never past the last line
    // Each span runs to the last byte of its terminator; the last line to the file's length.
    struct Span {
        std::int64_t line, start, end;
    };
    for (const Span s : {Span{1, 0, 3}, Span{2, 4, 7}, Span{3, 8, 10}}) {
        std::int64_t start = -1, end = -1;
        ASSERT_TRUE(node.lineSpan(s.line, start, end)) << s.line;
        EXPECT_EQ(std::make_pair(start, end), std::make_pair(s.start, s.end)) << s.line;
    }
    std::int64_t start = 0, end = 0;
    EXPECT_FALSE(node.lineSpan(0, start, end));
    EXPECT_FALSE(node.lineSpan(4, start, end));

    const std::int64_t g = 1024LL * 1024 * 1024;
    FileNode huge("/none");
    huge.setLineIndex({5 * g, 5 * g + 10, 6 * g});
    EXPECT_EQ(huge.lineOfOffset(4 * g), 1);
    EXPECT_EQ(huge.lineOfOffset(5 * g + 11), 3);
    ASSERT_TRUE(huge.lineSpan(2, start, end));
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(5 * g + 1, 5 * g + 10));
}

}  // namespace
}  // namespace korvel
