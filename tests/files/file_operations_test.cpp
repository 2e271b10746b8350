#include "files/file_operations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "faulty_disk.h"
#include "log_capture.h"
#include "res/strings.h"
#include "support/env_var.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel::files {
namespace {

namespace fs = std::filesystem;
using korvel::testing::detail;
using korvel::testing::FaultyDisk;
using korvel::testing::LogCapture;
using korvel::testing::modeOf;
using korvel::testing::readFile;
using korvel::testing::TempDir;

// Points the trash into a directory of the test's own and puts $XDG_DATA_HOME back afterwards.
class TrashTest : public ::testing::Test {
  protected:
    LogCapture log_;
    TempDir data_;
    TempDir site_;
    korvel::testing::EnvVar dataHome_{"XDG_DATA_HOME", data_.path()};
    korvel::testing::ScriptedPrompts prompts_;
    ui::PromptsScope scope_{prompts_};
};

TEST_F(TrashTest, GoesOnAfterAFileThatCannotBeTrashedAndKeepsIt) {
    const std::string first = site_.write("a.gif", "GIF89a");
    // The trash records names as text; a name that is not valid UTF-8 cannot be recorded faithfully.
    const std::string bad = site_.write("b\xff.gif", "b");
    const std::string last = site_.write("c.gif", "c");

    EXPECT_FALSE(trashFiles({first, bad, last}, true));
    EXPECT_FALSE(trashFile(bad));
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(last));
    EXPECT_EQ(readFile(data_.file("Trash/files/a.gif")), "GIF89a");
    EXPECT_TRUE(fs::exists(data_.file("Trash/info/a.gif.trashinfo")));
    EXPECT_EQ(readFile(bad), "b");
    EXPECT_EQ(log_.errors(), detail(res::kTrashFailed, bad) + detail(res::kTrashFailed, bad));
    EXPECT_EQ(prompts_.progressTitles(), (std::vector<std::string>{"Removing Files"}));
}

TEST_F(TrashTest, ACancelStopsBeforeTheNextFile) {
    const std::string first = site_.write("a.gif", "a");
    const std::string second = site_.write("b.gif", "b");
    prompts_.cancelAtDirectory(2);

    EXPECT_FALSE(trashFiles({first, second}, true));
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(log_.errors(), "");
}

// A tree of read-only directories, beside entries that must survive. The disk refuses as an ordinary user's
// would (root ignores write bits), so the tests show that each directory is made writable first.
class RemoveTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::chmod(dir_.write("tree/index.htm", "home").c_str(), 0444);  // needs no write bit of its own
        dir_.write("tree/img/logo.gif", "GIF");
        dir_.write("tree/img/deep/x.gif", "GIF");
        dir_.write("outside/keep.htm", "keep");
        dir_.write("tree-sibling.htm", "sibling");
        fs::create_directory_symlink(dir_.file("outside"), dir_.file("tree/img/to-outside"));
        fs::create_symlink(dir_.file("outside/keep.htm"), dir_.file("tree/img/keep-link.htm"));
        fs::create_symlink(dir_.file("nowhere"), dir_.file("tree/img/dangling"));
        for (const char* d : {"tree/img/deep", "tree/img", "tree"})
            ::chmod(dir_.file(d).c_str(), 0555);
        disk_.checkDirectoryWriteBits = true;
    }
    void expectOutsideUntouched() const {
        EXPECT_EQ(readFile(dir_.file("outside/keep.htm")), "keep");
        EXPECT_EQ(readFile(dir_.file("tree-sibling.htm")), "sibling");
    }

    LogCapture log_;
    TempDir dir_;
    FaultyDisk disk_;
    platform::DiskScope scope_{disk_};
};

TEST_F(RemoveTreeTest, RemovesAReadOnlyTreeWithoutFollowingItsLinksButNeverALinkOrAFile) {
    fs::create_directory_symlink(dir_.file("outside"), dir_.file("link"));
    EXPECT_TRUE(removeDirectory(dir_.file("tree") + "/"));
    EXPECT_TRUE(removeDirectory(dir_.file("missing")));  // counts as removed
    EXPECT_FALSE(removeDirectory(dir_.file("link")));
    EXPECT_FALSE(removeDirectory(dir_.file("tree-sibling.htm")));
    EXPECT_FALSE(fs::exists(dir_.file("tree")));
    EXPECT_TRUE(fs::is_symlink(dir_.file("link")));
    expectOutsideUntouched();
    EXPECT_EQ(log_.errors(), detail(res::kFailedToDeleteDirectory, dir_.file("link")) +
                                 detail(res::kFailedToDeleteDirectory, dir_.file("tree-sibling.htm")));
    for (const std::string& changed : disk_.chmodded)
        EXPECT_TRUE(changed == dir_.file("tree") || changed.starts_with(dir_.file("tree/"))) << changed;
}

TEST_F(RemoveTreeTest, GoesOnAfterAFailureAndGivesTheDirectoryItsModeBack) {
    disk_.refuseUnlink = dir_.file("tree/img/logo.gif");

    EXPECT_FALSE(removeDirectory(dir_.file("tree")));
    EXPECT_EQ(readFile(dir_.file("tree/img/logo.gif")), "GIF");
    EXPECT_FALSE(fs::exists(dir_.file("tree/img/deep"))) << "the loop went on";
    EXPECT_FALSE(fs::exists(dir_.file("tree/index.htm")));
    EXPECT_EQ(modeOf(dir_.file("tree/img")), 0555u);
    EXPECT_EQ(modeOf(dir_.file("tree")), 0555u);
    EXPECT_EQ(log_.errors(), detail(res::kFailedToDeleteFile, dir_.file("tree/img/logo.gif")) +
                                 detail(res::kFailedToDeleteDirectory, dir_.file("tree/img")) +
                                 detail(res::kFailedToDeleteDirectory, dir_.file("tree")));
}

TEST(CreateDirectory, MakesMissingParentsCreatesThroughALinkAndReportsAFileInTheWay) {
    LogCapture log;
    TempDir dir;
    const std::string file = dir.write("file", "not a directory");

    EXPECT_TRUE(createDirectory(dir.file("keep/site0/img/")));
    EXPECT_TRUE(fs::is_directory(dir.file("keep/site0/img")));
    EXPECT_TRUE(createDirectory(dir.file("keep/site0")));
    EXPECT_FALSE(createDirectory(""));
    // A linked directory is a place to create in (nothing is ever removed through a link).
    fs::create_directory_symlink(dir.file("keep"), dir.file("linked"));
    EXPECT_TRUE(createDirectory(dir.file("linked/site1")));
    EXPECT_TRUE(fs::is_directory(dir.file("keep/site1")));
    EXPECT_FALSE(createDirectory(dir.file("file/site0")));
    EXPECT_EQ(readFile(file), "not a directory");
    EXPECT_EQ(log.errors(), detail(res::kFailedToCreateDirectory, file));
}

struct UniqueCase {
    std::vector<std::string> taken;
    std::string name;
    std::optional<std::string> expected;
};

TEST(UniqueDirectoryName, FindsTheFirstFreeName) {
    std::vector<std::string> allDigits{"site"};
    for (char c = '0'; c <= '9'; ++c)
        allDigits.push_back(std::string("site") + c);
    std::vector<std::string> allSteps = allDigits;
    for (char c = 'A'; c <= 'Z'; ++c)
        allSteps.push_back(std::string("site") + c);
    const std::string k31 = "abcdefghijklmnopqrstuvwxyz01234";            // 31 bytes
    const std::string k31Utf8 = "abcdefghijklmnopqrstuvwxyzabc\xc3\xa9";  // 29 + 2 bytes
    const std::string kAllZ = "abcde" + std::string(26, 'Z');             // nothing left to step
    // Past Z, a new place; at 31 bytes the last is stepped, a character whole; none left of the sixth byte.
    for (const UniqueCase& c : std::vector<UniqueCase>{
             UniqueCase{{}, "site", "site"}, UniqueCase{{"site"}, "site", "site0"},
             UniqueCase{allDigits, "site", "siteA"}, UniqueCase{allSteps, "site", "siteZ0"},
             UniqueCase{{k31}, k31, k31.substr(0, 30) + "5"},
             UniqueCase{{k31Utf8}, k31Utf8, k31Utf8.substr(0, 29) + "0"},
             UniqueCase{{kAllZ}, kAllZ, std::nullopt}}) {
        TempDir dir;
        for (const std::string& name : c.taken)
            dir.mkdir(name);
        EXPECT_EQ(uniqueDirectoryName(dir.path(), c.name), c.expected) << c.name << " " << c.taken.size();
    }
    TempDir dir;
    dir.write("site", "");  // a file takes a name too
    EXPECT_EQ(uniqueDirectoryName(dir.path(), "site"), "site0");
}

}  // namespace
}  // namespace korvel::files
