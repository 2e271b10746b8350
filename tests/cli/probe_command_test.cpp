#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/run_korvel.h"
#include "support/temp_dir.h"

namespace korvel::cli {
namespace {

using namespace std::string_literals;
using testing::TempDir;

const std::string kHeader = "exists dir  html ascii line-end         size  path";

TEST(ProbeCommand, WalksADirectoryInByteOrderWithoutFollowingLinkedDirectories) {
    const SettingsFile settings("");
    TempDir dir;
    dir.write("index.html", "<p>\r\n</p>\r\n");
    dir.write("notes.txt", "<HTML><Head>\n");
    dir.write("Zebra.txt", "mac\rline");
    dir.write("empty", "");
    dir.write("logo.gif", "GIF89a\x01\x00\x01\x00\x80\x00\x00"s);
    dir.write("caf\xE9.txt", "\xA9 1999\n");
    dir.write("sub/deep/page.htm", "x");
    dir.mkdir("sub/none");
    ASSERT_EQ(::symlink("sub", dir.file("sub/loop").c_str()), 0);
    ASSERT_EQ(::symlink("../notes.txt", dir.file("sub/notes-link.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("sub/pipe").c_str(), 0644), 0);

    // A trailing separator gives single separators below.
    const Result r = runKorvel({"probe", dir.path() + "/"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_TRUE(r.err.empty());
    const std::string& p = dir.path();
    EXPECT_EQ(r.out, (Lines{
                         kHeader,
                         "yes    yes  -    -     -                   -  " + p + "/",
                         "yes    no   no   yes   CR                  8  " + p + "/Zebra.txt",
                         "yes    no   no   yes   LF                  7  " + p + "/caf\\xE9.txt",
                         "yes    no   no   yes   none                0  " + p + "/empty",
                         "yes    no   yes  yes   CRLF               11  " + p + "/index.html",
                         "yes    no   no   no    none               13  " + p + "/logo.gif",
                         "yes    no   yes  yes   LF                 13  " + p + "/notes.txt",
                         "yes    yes  -    -     -                   -  " + p + "/sub",
                         "yes    yes  -    -     -                   -  " + p + "/sub/deep",
                         "yes    no   yes  yes   none                1  " + p + "/sub/deep/page.htm",
                         "yes    -    -    -     -                   -  " + p +
                             "/sub/loop  (skipped: not a regular file or directory)",
                         "yes    yes  -    -     -                   -  " + p + "/sub/none",
                         "yes    no   yes  yes   LF                 13  " + p + "/sub/notes-link.txt",
                         "yes    -    -    -     -                   -  " + p +
                             "/sub/pipe  (skipped: not a regular file or directory)",
                     }));
}

TEST(ProbeCommand, MissingPathIsReportedAndTheOthersStillProbed) {
    const SettingsFile settings("");
    TempDir dir;
    const std::string file = dir.write("a.txt", "a\n");
    const Result r = runKorvel({"probe", dir.file("gone.html"), file});
    EXPECT_EQ(r.status, kExitFindings);
    EXPECT_EQ(r.out, (Lines{kHeader,
                            "no     -    -    -     -                   -  " + dir.file("gone.html") +
                                "  (does not exist)",
                            "yes    no   no   yes   LF                  2  " + file}));
}

TEST(ProbeCommand, UnreadableFileAndDirectoryFailTheRun) {
    if (testing::permissionsAreIgnored()) GTEST_SKIP() << "permission bits are ignored for this user";
    const SettingsFile settings("");
    TempDir dir;
    const std::string file = dir.write("locked.html", "<html>");
    const std::string sub = dir.mkdir("shut");
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    ASSERT_EQ(::chmod(sub.c_str(), 0), 0);
    const Result r = runKorvel({"probe", file, sub});
    EXPECT_EQ(r.status, kExitFindings);
    EXPECT_EQ(r.out,
              (Lines{kHeader, "yes    no   yes  no    -                   -  " + file + "  (cannot be read)",
                     "yes    yes  -    -     -                   -  " + sub}));
    ASSERT_EQ(r.err.size(), 1u);
    EXPECT_EQ(r.err[0].rfind("korvel: cannot list " + sub + ": ", 0), 0u) << r.err[0];
}

// The lists come from the settings file: the one --settings names (wherever it stands) before the one
// the environment names.
TEST(ProbeCommand, HtmlListsComeFromTheSettingsFile) {
    const SettingsFile fromEnvironment("[HtmlExtensions]\nItem1=txt\n");
    TempDir dir;
    const std::string chosen =
        dir.write("chosen.ini", "[HtmlExtensions]\nItem1=SHTML\n[LiteralHtmlText]\nItem1=<!DOCTYPE HTML\n");
    const std::string byExtension = dir.write("a.shtml", "x");
    const std::string oldExtension = dir.write("b.html", "x");
    const std::string byContent = dir.write("c.txt", "<!doctype html>");
    const std::string oldContent = dir.write("d.txt", "<html><head>");
    for (const auto& args : {std::vector<std::string>{"--settings", chosen, "probe", byExtension,
                                                      oldExtension, byContent, oldContent},
                             std::vector<std::string>{"probe", byExtension, oldExtension, byContent,
                                                      oldContent, "--settings", chosen}}) {
        const Result r = runKorvel(args);
        EXPECT_EQ(r.status, kExitOk);
        EXPECT_EQ(r.out, (Lines{kHeader, "yes    no   yes  yes   none                1  " + byExtension,
                                "yes    no   no   yes   none                1  " + oldExtension,
                                "yes    no   yes  yes   none               15  " + byContent,
                                "yes    no   no   yes   none               12  " + oldContent}));
    }
}

TEST(ProbeCommand, WrongUseIsRefusedWithOneLine) {
    for (const auto& args :
         {std::vector<std::string>{"probe"}, std::vector<std::string>{"probe", "--frobnicate", "."}}) {
        const Result r = runKorvel(args);
        EXPECT_EQ(r.status, kExitUsage);
        EXPECT_TRUE(r.out.empty());
        ASSERT_EQ(r.err.size(), 1u);
        EXPECT_EQ(r.err[0].rfind("korvel: ", 0), 0u) << r.err[0];
    }
}

}  // namespace
}  // namespace korvel::cli
