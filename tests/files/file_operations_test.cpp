#include "files/file_operations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
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
using korvel::testing::copyDetail;
using korvel::testing::detail;
using korvel::testing::entriesOf;
using korvel::testing::FaultyDisk;
using korvel::testing::LogCapture;
using korvel::testing::modeOf;
using korvel::testing::readFile;
using korvel::testing::TempDir;

// ---- deleteFile ----

TEST(DeleteFile, RemovesAFileAndReportsNothing) {
    LogCapture log;
    TempDir dir;
    const std::string path = dir.write("page.htm", "x");
    ::chmod(path.c_str(), 0444);

    EXPECT_TRUE(deleteFile(path));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(modeOf(dir.path()) & S_IWUSR, S_IWUSR);
    EXPECT_EQ(log.errors(), "");
}

TEST(DeleteFile, ReportsAFailureWithThePath) {
    LogCapture log;
    TempDir dir;
    const std::string folder = dir.mkdir("folder");

    EXPECT_FALSE(deleteFile(dir.file("missing")));
    EXPECT_FALSE(deleteFile(folder));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(log.errors(), detail(res::kFailedToDeleteFile, dir.file("missing")) +
                                detail(res::kFailedToDeleteFile, folder));
}

// ---- the trash ----

// Points the trash into a directory of the test's own and puts $XDG_DATA_HOME back afterwards.
class TrashTest : public ::testing::Test {
  protected:
    void SetUp() override { dataHome_.emplace("XDG_DATA_HOME", data_.path()); }
    void TearDown() override { dataHome_.reset(); }
    std::string trashed(std::string_view name) const {
        return data_.file("Trash/files/" + std::string(name));
    }

    LogCapture log_;
    TempDir data_;
    TempDir site_;
    std::optional<korvel::testing::EnvVar> dataHome_;
};

TEST_F(TrashTest, TrashFileMovesTheFileIntoTheTrash) {
    const std::string path = site_.write("orphan.gif", "GIF89a");

    EXPECT_TRUE(trashFile(path));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(readFile(trashed("orphan.gif")), "GIF89a");
    EXPECT_TRUE(fs::exists(data_.file("Trash/info/orphan.gif.trashinfo")));
    EXPECT_EQ(log_.errors(), "");
}

TEST_F(TrashTest, AFileThatCannotBeTrashedIsReportedAndStays) {
    // The trash records names as text; a name that is not valid UTF-8 cannot be recorded faithfully.
    const std::string path = site_.write("bad\xff.gif", "GIF89a");

    EXPECT_FALSE(trashFile(path));
    EXPECT_EQ(readFile(path), "GIF89a");
    EXPECT_EQ(log_.errors(), detail(res::kTrashFailed, path));
}

TEST_F(TrashTest, TrashFilesGoesOnAfterAFailureAndReportsEachFailedPath) {
    const std::string first = site_.write("a.gif", "a");
    const std::string bad = site_.write("b\xff.gif", "b");
    const std::string last = site_.write("c.gif", "c");
    korvel::testing::ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);

    EXPECT_FALSE(trashFiles({first, bad, last}, true));
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(last));
    EXPECT_EQ(readFile(bad), "b");
    EXPECT_EQ(log_.errors(), detail(res::kTrashFailed, bad));
    EXPECT_EQ(prompts.progressTitles(), (std::vector<std::string>{"Removing Files"}));
}

TEST_F(TrashTest, ACancelStopsBeforeTheNextFile) {
    const std::string first = site_.write("a.gif", "a");
    const std::string second = site_.write("b.gif", "b");
    korvel::testing::ScriptedPrompts prompts;
    prompts.cancelAtDirectory(2);
    ui::PromptsScope scope(prompts);

    EXPECT_FALSE(trashFiles({first, second}, true));
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(log_.errors(), "");
}

// ---- removeDirectory ----

// A tree of read-only directories with files in them, beside a directory that must survive.
class RemoveTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.write("tree/index.htm", "home");
        dir_.write("tree/img/logo.gif", "GIF");
        dir_.write("tree/img/deep/x.gif", "GIF");
        dir_.write("outside/keep.htm", "keep");
        dir_.write("tree-sibling.htm", "sibling");
        for (const char* d : {"tree/img/deep", "tree/img", "tree"})
            ::chmod(dir_.file(d).c_str(), 0555);
    }
    void expectOutsideUntouched() const {
        EXPECT_EQ(readFile(dir_.file("outside/keep.htm")), "keep");
        EXPECT_EQ(readFile(dir_.file("tree-sibling.htm")), "sibling");
    }

    LogCapture log_;
    TempDir dir_;
};

TEST_F(RemoveTreeTest, RemovesAReadOnlyTree) {
    EXPECT_TRUE(removeDirectory(dir_.file("tree")));
    EXPECT_FALSE(fs::exists(dir_.file("tree")));
    expectOutsideUntouched();
    EXPECT_EQ(log_.errors(), "");
}

// Root ignores the write bits; the disk here refuses as an ordinary user's would, so the test shows that the
// directories are made writable first, even when run as root.
TEST_F(RemoveTreeTest, MakesEachDirectoryWritableBeforeEmptyingIt) {
    FaultyDisk disk;
    disk.checkDirectoryWriteBits = true;
    platform::DiskScope scope(disk);

    EXPECT_TRUE(removeDirectory(dir_.file("tree") + "/"));
    EXPECT_FALSE(fs::exists(dir_.file("tree")));
    expectOutsideUntouched();
    EXPECT_EQ(log_.errors(), "");
}

TEST_F(RemoveTreeTest, NeverFollowsALinkOutOfTheTree) {
    ::chmod(dir_.file("tree/img").c_str(), 0755);
    fs::create_directory_symlink(dir_.file("outside"), dir_.file("tree/img/to-outside"));
    fs::create_symlink(dir_.file("outside/keep.htm"), dir_.file("tree/img/keep-link.htm"));
    fs::create_symlink(dir_.file("nowhere"), dir_.file("tree/img/dangling"));
    ::chmod(dir_.file("tree/img").c_str(), 0555);
    FaultyDisk disk;
    disk.checkDirectoryWriteBits = true;
    platform::DiskScope scope(disk);

    EXPECT_TRUE(removeDirectory(dir_.file("tree")));
    EXPECT_FALSE(fs::exists(dir_.file("tree")));
    expectOutsideUntouched();
    EXPECT_TRUE(fs::is_directory(dir_.file("outside")));
    EXPECT_EQ(log_.errors(), "");
    for (const std::string& changed : disk.chmodded)
        EXPECT_TRUE(changed.starts_with(dir_.file("tree"))) << changed;
}

TEST_F(RemoveTreeTest, GoesOnAfterAFailureAndGivesTheDirectoryItsModeBack) {
    FaultyDisk disk;
    disk.checkDirectoryWriteBits = true;
    disk.refuseUnlink = dir_.file("tree/img/logo.gif");
    platform::DiskScope scope(disk);

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

TEST_F(RemoveTreeTest, AMissingDirectoryCountsAsRemoved) {
    EXPECT_TRUE(removeDirectory(dir_.file("missing")));
    EXPECT_EQ(log_.errors(), "");
}

TEST_F(RemoveTreeTest, RefusesALinkToADirectoryAndAFile) {
    fs::create_directory_symlink(dir_.file("outside"), dir_.file("link"));

    EXPECT_FALSE(removeDirectory(dir_.file("link")));
    EXPECT_FALSE(removeDirectory(dir_.file("tree-sibling.htm")));
    EXPECT_TRUE(fs::is_symlink(dir_.file("link")));
    expectOutsideUntouched();
    EXPECT_EQ(log_.errors(), detail(res::kFailedToDeleteDirectory, dir_.file("link")) +
                                 detail(res::kFailedToDeleteDirectory, dir_.file("tree-sibling.htm")));
}

// ---- createDirectory ----

TEST(CreateDirectory, MakesMissingParentsAndAcceptsWhatIsThere) {
    LogCapture log;
    TempDir dir;

    EXPECT_TRUE(createDirectory(dir.file("keep/site0/img/")));
    EXPECT_TRUE(fs::is_directory(dir.file("keep/site0/img")));
    EXPECT_TRUE(createDirectory(dir.file("keep/site0")));
    EXPECT_FALSE(createDirectory(""));
    // A linked directory is a place to create in (nothing is ever removed through a link).
    fs::create_directory_symlink(dir.file("keep"), dir.file("linked"));
    EXPECT_TRUE(createDirectory(dir.file("linked/site1")));
    EXPECT_TRUE(fs::is_directory(dir.file("keep/site1")));
    EXPECT_EQ(log.errors(), "");
}

TEST(CreateDirectory, ReportsAFileInTheWay) {
    LogCapture log;
    TempDir dir;
    const std::string file = dir.write("keep", "not a directory");

    EXPECT_FALSE(createDirectory(dir.file("keep/site0")));
    EXPECT_EQ(readFile(file), "not a directory");
    EXPECT_EQ(log.errors(), detail(res::kFailedToCreateDirectory, file));
}

// ---- uniqueDirectoryName ----

struct UniqueCase {
    const char* label;
    std::vector<std::string> taken;
    std::string name;
    std::optional<std::string> expected;
};

std::ostream& operator<<(std::ostream& out, const UniqueCase& c) {
    return out << c.label;
}

std::vector<std::string> siteAndAllOneCharacterSteps() {
    std::vector<std::string> names{"site"};
    for (char c : std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"))
        names.push_back(std::string("site") + c);
    return names;
}

const std::string k31 = "abcdefghijklmnopqrstuvwxyz01234";            // 31 bytes
const std::string k31Utf8 = "abcdefghijklmnopqrstuvwxyzabc\xc3\xa9";  // 29 + 2 bytes
const std::string kAllZ = "abcde" + std::string(26, 'Z');             // nothing left to step

class UniqueNameTest : public ::testing::TestWithParam<UniqueCase> {};

TEST_P(UniqueNameTest, FindsTheFirstFreeName) {
    TempDir dir;
    for (const std::string& name : GetParam().taken)
        dir.mkdir(name);
    EXPECT_EQ(uniqueDirectoryName(dir.path(), GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UniqueNameTest,
    ::testing::Values(UniqueCase{"free", {}, "site", "site"},
                      UniqueCase{"taken once", {"site"}, "site", "site0"},
                      UniqueCase{"site and site0 taken", {"site", "site0"}, "site", "site1"},
                      UniqueCase{"digits then letters",
                                 {"site", "site0", "site1", "site2", "site3", "site4", "site5", "site6",
                                  "site7", "site8", "site9"},
                                 "site",
                                 "siteA"},
                      UniqueCase{"past Z a new place", siteAndAllOneCharacterSteps(), "site", "siteZ0"},
                      UniqueCase{"at 31 bytes steps the last", {k31}, k31, k31.substr(0, 30) + "5"},
                      UniqueCase{
                          "a character stepped whole", {k31Utf8}, k31Utf8, k31Utf8.substr(0, 29) + "0"},
                      UniqueCase{"gives up left of the sixth byte", {kAllZ}, kAllZ, std::nullopt}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST(UniqueDirectoryName, AFileTakesANameToo) {
    TempDir dir;
    dir.write("site", "");
    EXPECT_EQ(uniqueDirectoryName(dir.path(), "site"), "site0");
}

}  // namespace
}  // namespace korvel::files
