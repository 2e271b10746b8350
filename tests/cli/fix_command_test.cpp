#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "cli/commands.h"
#include "cli/run_korvel.h"
#include "support/env_var.h"
#include "support/temp_dir.h"

namespace korvel::cli {
namespace {

using testing::TempDir;

bool anyLine(const Lines& lines, std::string_view part) {
    for (const auto& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

struct FixSite {
    const SettingsFile settings{""};
    TempDir state;
    testing::EnvVar stateHome{"XDG_STATE_HOME", state.path()};
    TempDir dir;

    FixSite() {
        dir.write("index.html", "<a href=\"Read Me.TXT\">r</a> <a href=\"Sub Dir/Page One.html\">p</a>\r\n");
        dir.write("Read Me.TXT", "a\r\nb\r\n");
        dir.write("Sub Dir/Page One.html", "<a href=\"../index.html\">home</a>\n");
    }
};

TEST(FixCommand, RefusesWithoutATerminalOrYesAndWithoutAServerForAbsoluteLinks) {
    FixSite site;
    const auto before = testing::treeSnapshot(site.dir.path());
    const Result noYes = runKorvel({"fix", site.dir.path(), "--target", "dos"});
    EXPECT_EQ(noYes.status, kExitUsage);
    ASSERT_EQ(noYes.err.size(), 1u) << ::testing::PrintToString(noYes.err);
    EXPECT_NE(noYes.err[0].find("--yes"), std::string::npos);
    const Result noServer = runKorvel({"fix", site.dir.path(), "--links", "absolute", "--yes"});
    EXPECT_EQ(noServer.status, kExitUsage);
    EXPECT_TRUE(anyLine(noServer.err, "--server"));
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
}

TEST(FixCommand, FixThenUndoFromAnotherRunGivesBackTheExactTree) {
    FixSite site;
    const auto before = testing::treeSnapshot(site.dir.path());
    const Result fix = runKorvel(
        {"fix", site.dir.path(), "--target", "dos", "--case", "lower", "--line-ends", "unix", "--yes"});
    EXPECT_EQ(fix.status, kExitOk) << ::testing::PrintToString(fix.out);
    EXPECT_TRUE(anyLine(fix.out, "RENAMED FILES:"));
    EXPECT_TRUE(anyLine(fix.out, "DOS  -> UNIX:"));
    EXPECT_EQ(testing::readFile(site.dir.file("readme.txt")), "a\nb\n");
    EXPECT_EQ(testing::readFile(site.dir.file("index.htm")),
              "<a href=\"readme.txt\">r</a> <a href=\"subdir/pageone.htm\">p</a>\n");

    const Result list = runKorvel({"undo", site.dir.path(), "--list"});
    EXPECT_EQ(list.status, kExitOk);
    EXPECT_TRUE(anyLine(list.out, "rename back")) << ::testing::PrintToString(list.out);

    const Result undo = runKorvel({"undo", site.dir.path()});
    EXPECT_EQ(undo.status, kExitOk) << ::testing::PrintToString(undo.out);
    EXPECT_TRUE(anyLine(undo.out, "REVERTED FILES TO INITIAL STATE"));
    EXPECT_TRUE(anyLine(undo.out, "RESTORED FILENAMES:"));
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);

    const Result again = runKorvel({"undo", site.dir.path()});
    EXPECT_EQ(again.status, kExitFindings);
    EXPECT_TRUE(anyLine(again.err, "no files were changed"));
    EXPECT_EQ(runKorvel({"undo", site.dir.path(), "--list"}).status, kExitFindings);
}

// A file that also has a name outside the site is left alone unless the fix is told to split it; then the
// other name keeps the old bytes.
TEST(FixCommand, AHardLinkedFileIsSkippedUnlessSplitIsAsked) {
    FixSite site;
    TempDir outside;
    const std::string inSite = site.dir.file("Read Me.TXT");
    const std::string other = outside.file("readme.txt");
    ASSERT_EQ(::link(inSite.c_str(), other.c_str()), 0);

    const Result skip = runKorvel({"fix", site.dir.path(), "--line-ends", "unix", "--yes"});
    EXPECT_TRUE(anyLine(skip.out, "more than one name")) << ::testing::PrintToString(skip.out);
    EXPECT_EQ(testing::readFile(inSite), "a\r\nb\r\n");

    const Result split =
        runKorvel({"fix", site.dir.path(), "--line-ends", "unix", "--hard-links", "split", "--yes"});
    EXPECT_EQ(split.status, kExitOk) << ::testing::PrintToString(split.out);
    EXPECT_EQ(testing::readFile(inSite), "a\nb\n");
    EXPECT_EQ(testing::readFile(other), "a\r\nb\r\n");
}

}  // namespace
}  // namespace korvel::cli
