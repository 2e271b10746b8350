#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/run_korvel.h"
#include "support/temp_dir.h"

namespace korvel::cli {
namespace {

using testing::TempDir;

// A small tree: two pages, a text file, a picture, a hidden file, an editor leftover, a subdirectory.
void plantSite(const TempDir& dir) {
    dir.write("index.html", "<html><head></head><body><a href=\"b.htm\">b</a></body></html>\n");
    dir.write("B.htm", "<p>b</p>\r\n");
    dir.write("notes.txt", "plain\n");
    dir.write("logo.gif", std::string("GIF89a\x01\x00\x01\x00\x80\xff\x00", 13));
    dir.write(".htaccess", "Options -Indexes\n");
    dir.write("index.html~", "old\n");
    dir.write("sub/page.html", "x");
}

TEST(ScanCommand, CountsNodesAndListsWhatWasSkipped) {
    const SettingsFile settings("");
    TempDir dir;
    plantSite(dir);
    const Result r = runKorvel({"scan", dir.path()});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_TRUE(r.err.empty());
    // Five files (the hidden file and the leftover get no node) in the top directory and one below it.
    EXPECT_EQ(r.out, (Lines{"5 files in 2 directories", "", "READ-ONLY, SYSTEM, HIDDEN, OR TEMPORARY FILES:",
                            "hidden file was skipped", "\t" + dir.file(".htaccess"),
                            "temporary file was skipped", "\t" + dir.file("index.html~")}));
}

TEST(ScanCommand, ListShowsEveryNodeWithItsKindInTreeOrder) {
    const SettingsFile settings("");
    TempDir dir;
    plantSite(dir);
    ASSERT_EQ(::symlink("notes.txt", dir.file("z-link.txt").c_str()), 0);
    const Result r = runKorvel({"scan", dir.path(), "--list"});
    ASSERT_GE(r.out.size(), 9u);
    EXPECT_EQ(
        Lines(r.out.begin(), r.out.begin() + 9),
        (Lines{"6 files in 2 directories", "dir  " + dir.path(), "html " + dir.file("B.htm"),
               "html " + dir.file("index.html"), "file " + dir.file("logo.gif"),
               "text " + dir.file("notes.txt"), "dir  " + dir.file("sub"),
               "html " + dir.file("sub/page.html"), "text " + dir.file("z-link.txt") + "  (symbolic link)"}));
}

TEST(ScanCommand, NoSubdirsLeavesSubdirectoriesUnscanned) {
    const SettingsFile settings("");
    TempDir dir;
    plantSite(dir);
    const Result r = runKorvel({"scan", "--no-subdirs", "--list", dir.path()});
    EXPECT_EQ(r.status, kExitOk);
    // Without subdirectories the subdirectory is a node but not a directory scanned.
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out[0], "4 files in 1 directories");
    for (const auto& line : r.out)
        EXPECT_EQ(line.find("page.html"), std::string::npos) << line;
}

TEST(ScanCommand, AMissingOrUnusableTopDirectoryIsAFailureNotAnEmptySite) {
    const SettingsFile settings("");
    TempDir dir;
    const std::string file = dir.write("file.txt", "x");
    for (const std::string& top : {dir.file("missing"), file}) {
        const Result r = runKorvel({"scan", top});
        EXPECT_EQ(r.status, kExitUsage) << top;
        EXPECT_TRUE(r.out.empty()) << top;
        EXPECT_EQ(r.err, Lines{"korvel: Top level directory was not found: " + top});
    }
}

TEST(ScanCommand, RelativeDirectoryIsShownAbsolute) {
    const SettingsFile settings("");
    TempDir dir;
    dir.write("site/a.txt", "a\n");
    char* cwd = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    const Result r = runKorvel({"scan", "site/", "--list"});
    ASSERT_EQ(::chdir(cwd), 0);
    std::free(cwd);
    EXPECT_EQ(r.status, kExitOk);
    ASSERT_EQ(r.out.size(), 3u);
    EXPECT_EQ(r.out[1], "dir  " + dir.file("site"));
    EXPECT_EQ(r.out[2], "text " + dir.file("site/a.txt"));
}

TEST(ScanCommand, UnreadableFileIsReportedAsAnError) {
    if (testing::permissionsAreIgnored()) GTEST_SKIP() << "running as root: every file is readable";
    const SettingsFile settings("");
    TempDir dir;
    const std::string secret = dir.write("secret.html", "<html>");
    ASSERT_EQ(::chmod(secret.c_str(), 0), 0);
    const Result r = runKorvel({"scan", dir.path()});
    EXPECT_EQ(r.status, kExitFindings);
    bool listed = false;
    for (const auto& line : r.out)
        listed = listed || line == "\t" + secret;
    EXPECT_TRUE(listed);
}

}  // namespace
}  // namespace korvel::cli
