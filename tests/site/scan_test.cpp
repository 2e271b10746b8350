#include "site/scan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/paths.h"
#include "report/app_log.h"
#include "report/sinks.h"
#include "report/text_report.h"
#include "res/strings.h"
#include "support/env_var.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel {
namespace {

using testing::ScriptedPrompts;
using testing::TempDir;
using Names = std::vector<std::string>;
using namespace std::string_literals;

class ScanTest : public ::testing::Test {
  protected:
    ScanTest() { settings.UseSubdirs = true; }

    bool scan() {
        settings.Directory = dir.path();
        return buildTree(settings, HtmlDefinitions{}, tree, job);
    }
    Node* node(std::string_view relative) const { return tree->findNodeByPath(dir.file(relative)); }
    std::string section(int id) { return logScope.log().sectionText(id); }
    static std::string skippedLine(const std::string& path, std::string_view kind) {
        return res::formatString(res::kSkippedFileLine, path, kind);
    }
    Names childNames(const Node* parent) const {
        Names names;
        for (const Node* child : static_cast<const DirNode*>(parent)->children())
            names.emplace_back(child->getFileName());
        return names;
    }

    TempDir dir;
    ScriptedPrompts prompts;
    ui::PromptsScope promptsScope{prompts};
    LogScope logScope;
    report::TextReport text{logScope.log()};
    report::FindingsCollector collected;
    report::TeeSink both{text, collected};
    JobContext job{both};
    JobSettings settings;
    std::unique_ptr<SiteTree> tree;
};

TEST_F(ScanTest, BuildsClassifiedNodesInOrderAndCountsThem) {
    dir.write("b.htm", "<p>");
    dir.write("A.htm", "<p>");
    dir.write("c.gif", "GIF89a\x80");
    dir.write("notes.txt", "<HTML><Head>\r\n");
    dir.write("sub/deeper/page.html", "x");
    ASSERT_TRUE(scan());
    EXPECT_EQ(tree->status(), ScanStatus::Complete);
    EXPECT_EQ(childNames(&tree->top()), (Names{"A.htm", "b.htm", "c.gif", "notes.txt", "sub"}));
    EXPECT_NE(dynamic_cast<HtmlNode*>(node("A.htm")), nullptr);
    EXPECT_NE(dynamic_cast<HtmlNode*>(node("notes.txt")), nullptr);
    EXPECT_EQ(dynamic_cast<HtmlNode*>(node("c.gif")), nullptr);
    EXPECT_NE(dynamic_cast<DirNode*>(node("sub/deeper")), nullptr);
    EXPECT_NE(dynamic_cast<HtmlNode*>(node("sub/deeper/page.html")), nullptr);
    EXPECT_EQ(tree->nodeCount(), 8u);  // top, five entries, deeper and its page
    EXPECT_EQ(tree->dirCount(), 3u);
    EXPECT_EQ(tree->index().size(), 8u);
    EXPECT_EQ(prompts.progressTitles(), Names{"Looking for Files"});
    EXPECT_FALSE(logScope.log().sections().count(res::kSectionSkippedFiles) &&
                 logScope.log().sections().at(res::kSectionSkippedFiles)->hasContent());
}

TEST_F(ScanTest, FindNodeByPathWithOrWithoutTrailingSeparatorInAnyCase) {
    dir.write("Sub/Page.htm", "x");
    ASSERT_TRUE(scan());
    Node* sub = node("Sub");
    ASSERT_NE(sub, nullptr);
    for (const std::string& query : {dir.file("Sub/"), dir.file("SUB"), asciiUpper(dir.file("sub/"))})
        EXPECT_EQ(tree->findNodeByPath(query), sub) << query;
    EXPECT_EQ(tree->findNodeByPath(asciiUpper(dir.file("sub/page.htm"))), node("Sub/Page.htm"));
    EXPECT_EQ(tree->findNodeByPath(dir.path() + "/"), &tree->top());
    EXPECT_EQ(tree->findNodeByPath(dir.file("Sub/none.htm")), nullptr);
}

TEST_F(ScanTest, CaseTwinsBothGetNodesAndBothStayInTheIndex) {
    dir.write("index.htm", "lower");
    dir.write("Index.htm", "upper");
    dir.write("INDEX.HTM", "capitals");
    ASSERT_TRUE(scan());
    EXPECT_EQ(childNames(&tree->top()), (Names{"INDEX.HTM", "Index.htm", "index.htm"}));
    EXPECT_EQ(tree->nodeCount(), 4u);
    EXPECT_EQ(tree->index().size(), 4u);
    for (const char* name : {"index.htm", "Index.htm", "INDEX.HTM"}) {
        Node* found = node(name);
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(found->getFileName(), name);
        Node* child = nullptr;
        ASSERT_TRUE(tree->top().findChild(name, &child));
        EXPECT_EQ(child, found);
    }
    // No exact match: the same one every time, the byte-wise smallest.
    EXPECT_EQ(node("iNDEX.htm"), node("INDEX.HTM"));
    Node* child = nullptr;
    ASSERT_TRUE(tree->top().findChild("iNdEx.HtM", &child));
    EXPECT_EQ(child, node("INDEX.HTM"));
}

TEST_F(ScanTest, HiddenFileReportedWithAMessageWhenAsked) {
    settings.ReportSpecial = true;
    const std::string hidden = dir.write(".secret", "x");
    dir.write("page.htm", "x");
    prompts.expectMessageBox(ui::Answer::Ok,
                             "The following file is a hidden file and will be skipped.\n\t" + hidden);
    ASSERT_TRUE(scan());
    EXPECT_EQ(node(".secret"), nullptr);
    EXPECT_NE(node("page.htm"), nullptr);
    const std::string text = section(res::kSectionSkippedFiles);
    EXPECT_NE(text.find("READ-ONLY, SYSTEM, HIDDEN, OR TEMPORARY FILES:"), std::string::npos);
    EXPECT_NE(text.find(skippedLine(hidden, "hidden") + "\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("file was skipped"), text.rfind("file was skipped"));
}

TEST_F(ScanTest, HiddenFileListedWithoutAMessageWhenNotAsked) {
    settings.ReportSpecial = false;
    const std::string hidden = dir.write(".secret", "x");
    ASSERT_TRUE(scan());  // a message box would fail the test: none is expected
    EXPECT_EQ(node(".secret"), nullptr);
    EXPECT_NE(section(res::kSectionSkippedFiles).find(skippedLine(hidden, "hidden")), std::string::npos);
}

TEST_F(ScanTest, LongPathInTheMessageIsShortenedToFit) {
    settings.ReportSpecial = true;
    std::string relative;
    for (int i = 0; i < 8; ++i)
        relative += "component_of_thirty_bytes_" + std::to_string(1000 + i) + "/";
    const std::string hidden = dir.write(relative + ".secret", "x");
    ASSERT_GT(hidden.size(), 257u);
    prompts.expectMessageBox(ui::Answer::Ok, "/.secret");
    ASSERT_TRUE(scan());
    ASSERT_EQ(prompts.messages().size(), 1u);
    const std::string& message = prompts.messages()[0];
    EXPECT_LE(message.size(), 257u);
    EXPECT_NE(message.find("..."), std::string::npos) << message;
    // The section keeps the whole path.
    EXPECT_NE(section(res::kSectionSkippedFiles).find(hidden), std::string::npos);
}

struct SpecialCase {
    const char* label;
    const char* name;
    const char* kind;
    void (*make)(const std::string& path, const TempDir& dir);
};

void PrintTo(const SpecialCase& c, std::ostream* os) {
    *os << c.label;
}

class SpecialEntryTest : public ScanTest, public ::testing::WithParamInterface<SpecialCase> {};

TEST_P(SpecialEntryTest, IsSkippedAndListedNeverFollowed) {
    const SpecialCase& c = GetParam();
    const std::string path = dir.file(c.name);
    c.make(path, dir);
    dir.write("page.htm", "x");
    ASSERT_TRUE(scan());
    EXPECT_EQ(node(c.name), nullptr);
    EXPECT_EQ(childNames(&tree->top()), Names{"page.htm"});
    const std::string text = section(res::kSectionSkippedFiles);
    EXPECT_NE(text.find(skippedLine(path, c.kind)), std::string::npos) << text;
    EXPECT_EQ(collected.skippedEntries, (std::vector<report::Skipped>{{path, std::string(c.kind)}}));
    // Nothing below a skipped entry was scanned or indexed.
    EXPECT_EQ(tree->index().size(), 2u);
}

void makeFifo(const std::string& path, const TempDir&) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
}
void makeDirLink(const std::string& path, const TempDir&) {
    // A target outside the top directory: the scan must not leave it.
    ASSERT_EQ(::symlink("/", path.c_str()), 0);
}
void makeLoop(const std::string& path, const TempDir&) {
    ASSERT_EQ(::symlink(".", path.c_str()), 0);
}
void makeDangling(const std::string& path, const TempDir&) {
    ASSERT_EQ(::symlink("nowhere", path.c_str()), 0);
}
void makeHiddenFifo(const std::string& path, const TempDir&) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
}
void makeTemporary(const std::string& path, const TempDir& dir) {
    dir.write(std::string(platform::lastComponent(path)), "x");
}
void makeHiddenTemporary(const std::string& path, const TempDir& dir) {
    makeTemporary(path, dir);
}
void makeHiddenDir(const std::string&, const TempDir& dir) {
    dir.write(".git/config", "x");
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SpecialEntryTest,
    ::testing::Values(SpecialCase{"fifo", "pipe", "system", makeFifo},
                      SpecialCase{"link_to_directory", "shared", "system", makeDirLink},
                      SpecialCase{"link_loop", "loop", "system", makeLoop},
                      SpecialCase{"dangling_link", "broken.htm", "system", makeDangling},
                      SpecialCase{"hidden_and_system", ".pipe", "system", makeHiddenFifo},
                      SpecialCase{"temporary", "page.htm~", "temporary", makeTemporary},
                      SpecialCase{"hidden_and_temporary", ".page.htm~", "temporary", makeHiddenTemporary},
                      SpecialCase{"hidden_directory", ".git", "hidden", makeHiddenDir}),
    [](const ::testing::TestParamInfo<SpecialCase>& info) { return std::string(info.param.label); });

TEST_F(ScanTest, LinkToAFileIsAFileNode) {
    const std::string target = dir.write("real/style.css", "body{}\n");
    ASSERT_EQ(::symlink(target.c_str(), dir.file("style.css").c_str()), 0);
    ASSERT_TRUE(scan());
    auto* file = dynamic_cast<FileNode*>(node("style.css"));
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->isSymlink());
    EXPECT_TRUE(file->isAscii());
    EXPECT_EQ(file->lineEnd(), kLf);
}

TEST_F(ScanTest, ReadOnlyFileGetsANode) {
    const std::string path = dir.write("locked.htm", "x");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_TRUE(scan());
    Node* locked = node("locked.htm");
    ASSERT_NE(locked, nullptr);
    if (!testing::permissionsAreIgnored()) {
        EXPECT_TRUE(locked->isReadOnly());
    }
}

TEST_F(ScanTest, WithoutSubdirectoriesOnlyTheTopIsListed) {
    settings.UseSubdirs = false;
    dir.write("a.htm", "x");
    dir.write("sub/b.htm", "x");
    ASSERT_TRUE(scan());
    ASSERT_NE(node("sub"), nullptr);
    EXPECT_FALSE(node("sub")->hasChildren());
    EXPECT_EQ(node("sub/b.htm"), nullptr);
    EXPECT_EQ(tree->nodeCount(), 3u);
    EXPECT_EQ(tree->dirCount(), 2u);
    EXPECT_TRUE(prompts.progressTitles().empty());
}

TEST_F(ScanTest, CancelEndsTheScanWithThePartialTree) {
    dir.write("a/x.htm", "x");
    dir.write("b/y.htm", "x");
    prompts.cancelAtDirectory(2);
    EXPECT_FALSE(scan());
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->status(), ScanStatus::Cancelled);
    EXPECT_NE(node("a"), nullptr);
    EXPECT_EQ(node("b/y.htm"), nullptr);
}

TEST_F(ScanTest, MissingTopDirectoryIsReportedNotAnEmptySite) {
    for (const std::string& top : {dir.file("no-such-site"), dir.write("file.htm", "x")}) {
        settings.Directory = top;
        EXPECT_FALSE(buildTree(settings, HtmlDefinitions{}, tree, job));
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->status(), ScanStatus::TopMissing);
        EXPECT_NE(section(res::kSectionErrors).find("Top level directory was not found:\n\t" + top + "\n"),
                  std::string::npos)
            << section(res::kSectionErrors);
    }
}

TEST_F(ScanTest, UnlistableTopDirectoryIsReported) {
    if (testing::permissionsAreIgnored())
        GTEST_SKIP() << "permission bits do not stop this user from listing";
    const std::string top = dir.mkdir("closed");
    ASSERT_EQ(::chmod(top.c_str(), 0), 0);
    settings.Directory = top;
    EXPECT_FALSE(buildTree(settings, HtmlDefinitions{}, tree, job));
    EXPECT_EQ(tree->status(), ScanStatus::TopUnlistable);
    EXPECT_NE(section(res::kSectionErrors).find("Could not list directory\n\t" + top), std::string::npos);
}

TEST_F(ScanTest, UnlistableSubdirectoryIsReportedAndTheScanGoesOn) {
    if (testing::permissionsAreIgnored())
        GTEST_SKIP() << "permission bits do not stop this user from listing";
    const std::string closed = dir.mkdir("closed");
    dir.write("closed/x.htm", "x");
    dir.write("open.htm", "x");
    ASSERT_EQ(::chmod(closed.c_str(), 0), 0);
    ASSERT_TRUE(scan());
    EXPECT_NE(node("closed"), nullptr);
    EXPECT_NE(node("open.htm"), nullptr);
    EXPECT_NE(section(res::kSectionErrors).find("Could not list directory\n\t" + closed), std::string::npos);
}

TEST_F(ScanTest, UnreadableFileIsKeptNeverTextAndReported) {
    if (testing::permissionsAreIgnored())
        GTEST_SKIP() << "permission bits do not stop this user from reading";
    const std::string path = dir.write("secret.htm", "<html><head>\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    ASSERT_TRUE(scan());
    auto* file = dynamic_cast<FileNode*>(node("secret.htm"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(dynamic_cast<HtmlNode*>(file), nullptr);
    EXPECT_FALSE(file->isAscii());
    EXPECT_NE(section(res::kSectionErrors).find("File open failed\n\t" + path), std::string::npos);
}

// Makes "depth" nested directories of 250-byte names below "base" and returns the deepest path (built
// through directory descriptors, since the full path may pass the host's limit).
class DeepTree {
  public:
    explicit DeepTree(const std::string& base) : base_(base) {}
    ~DeepTree() {
        // std::filesystem cannot remove paths this long; go back up by descriptor.
        for (auto it = levels_.rbegin(); it != levels_.rend(); ++it) {
            for (const std::string& file : it->files)
                ::unlinkat(it->fd, file.c_str(), 0);
            ::close(it->fd);
            const int parent = std::next(it) != levels_.rend() ? std::next(it)->fd : AT_FDCWD;
            const std::string name = std::next(it) != levels_.rend() ? it->name : base_ + "/" + it->name;
            ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
        }
    }
    std::string descend(const std::string& name) {
        const int parent = levels_.empty() ? AT_FDCWD : levels_.back().fd;
        const std::string at = levels_.empty() ? base_ + "/" + name : name;
        EXPECT_EQ(::mkdirat(parent, at.c_str(), 0755), 0);
        const int fd = ::openat(parent, at.c_str(), O_RDONLY | O_DIRECTORY);
        EXPECT_GE(fd, 0);
        levels_.push_back({fd, name, {}});
        path_ += "/" + name;
        return base_ + path_;
    }
    void addFile(const std::string& name) {
        const int fd = ::openat(levels_.back().fd, name.c_str(), O_CREAT | O_WRONLY, 0644);
        EXPECT_GE(fd, 0);
        ::close(fd);
        levels_.back().files.push_back(name);
    }

  private:
    struct Level {
        int fd;
        std::string name;
        std::vector<std::string> files;
    };
    std::string base_;
    std::string path_;
    std::vector<Level> levels_;
};

TEST_F(ScanTest, EntryWhosePathIsTooLongForTheHostIsListed) {
    DeepTree deep(dir.path());
    std::string deepest;
    while ((deepest.empty() ? dir.path().size() : deepest.size()) + 251 < platform::kMaxPath - 40)
        deepest = deep.descend(std::string(250, 'd') + std::to_string(deepest.size() % 10));
    ASSERT_LT(deepest.size(), platform::kMaxPath);
    const std::string fits = "f.htm";
    const std::string tooLong(platform::kMaxPath - deepest.size(), 'x');  // full path reaches the limit
    deep.addFile(fits);
    deep.addFile(tooLong);
    ASSERT_TRUE(scan());
    EXPECT_NE(tree->findNodeByPath(deepest + "/" + fits), nullptr);
    EXPECT_EQ(tree->findNodeByPath(deepest + "/" + tooLong), nullptr);
    const std::string text = section(res::kSectionSkippedFiles);
    EXPECT_NE(text.find("Path of 4096 bytes or more was skipped\n\t" + deepest + "/" + tooLong),
              std::string::npos);
    EXPECT_EQ(collected.skippedEntries,
              (std::vector<report::Skipped>{{deepest + "/" + tooLong, "path-too-long"}}));
}

// A directory mounted inside itself: the one cycle a tree without directory links can still hold.
class BindMount {
  public:
    BindMount(const std::string& source, const std::string& target) : target_(target) {
        mounted_ = ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~BindMount() {
        if (mounted_) ::umount2(target_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

  private:
    std::string target_;
    bool mounted_ = false;
};

TEST_F(ScanTest, DirectoryMountedInsideItselfIsScannedOnce) {
    dir.write("page.htm", "x");
    const std::string loop = dir.mkdir("loop");
    BindMount mount(dir.path(), loop);  // unmounted before the temporary directory is removed
    if (!mount.mounted()) GTEST_SKIP() << "this user cannot make a bind mount";
    ASSERT_TRUE(scan());
    ASSERT_NE(node("loop"), nullptr);
    EXPECT_FALSE(node("loop")->hasChildren());
    EXPECT_EQ(tree->nodeCount(), 3u);
    EXPECT_NE(section(res::kSectionSkippedFiles).find(res::formatString(res::kDirectoryScannedTwice, loop)),
              std::string::npos);
    EXPECT_EQ(collected.skippedEntries, (std::vector<report::Skipped>{{loop, "scanned-twice"}}));
}

// Korvel's state, the "Move To" directory and the trash are left out wherever they are inside the site,
// recognised by what they are, not by how their paths are spelled.
TEST_F(ScanTest, KorvelsOwnDirectoriesInsideTheSiteAreListedAsSkippedNeverRead) {
    dir.write("index.htm", "<p>");
    dir.write("state/korvel/undo/journal", "saved original");
    dir.write("keep/site0/old.htm", "<p>");
    dir.write("data/Trash/files/gone.htm", "<p>");
    TempDir elsewhere;
    ::symlink(dir.path().c_str(), elsewhere.file("site").c_str());
    testing::EnvVar stateHome("XDG_STATE_HOME", dir.file("state"));
    testing::EnvVar dataHome("XDG_DATA_HOME", dir.file("data"));
    settings.MoveOrphans = true;
    settings.MoveToDir = elsewhere.file("site/./keep");
    ASSERT_TRUE(scan());

    EXPECT_EQ(childNames(&tree->top()), (Names{"data", "index.htm", "state"}));
    EXPECT_EQ(childNames(node("state")), Names{});
    EXPECT_EQ(childNames(node("data")), Names{});
    EXPECT_EQ(collected.skippedEntries,
              (std::vector<report::Skipped>{{dir.file("keep"), "move-to-directory"},
                                            {dir.file("data/Trash"), "trash"},
                                            {dir.file("state/korvel"), "korvel-state"}}));
    const std::string skipped = section(res::kSectionSkippedFiles);
    EXPECT_NE(skipped.find(res::formatString(res::kSkippedStateDirectory, dir.file("state/korvel"))),
              std::string::npos)
        << skipped;
}

TEST_F(ScanTest, ScanChangesNothingOnDisk) {
    const std::string page = dir.write("p.htm", "<html>\r\n<head>\n\0x\r"s);
    struct stat before {};
    ASSERT_EQ(::stat(page.c_str(), &before), 0);
    ASSERT_TRUE(scan());
    struct stat after {};
    ASSERT_EQ(::stat(page.c_str(), &after), 0);
    EXPECT_EQ(testing::readFile(page), "<html>\r\n<head>\n\0x\r"s);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mode, before.st_mode);
}

}  // namespace
}  // namespace korvel
