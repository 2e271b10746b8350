#include "platform/trash.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/env_var.h"
#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

namespace fs = std::filesystem;
using korvel::testing::readFile;
using korvel::testing::TempDir;

// Points the trash into a directory of the test's own and puts $XDG_DATA_HOME back afterwards.
class TrashTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dataHome_.emplace("XDG_DATA_HOME", data_.file("not/yet"));  // a fresh account may have none yet
        // Whatever goes astray relative to the current directory lands here, where it is seen.
        previousDirectory_ = fs::current_path();
        fs::current_path(scratch_.path());
    }
    void TearDown() override {
        fs::current_path(previousDirectory_);
        EXPECT_TRUE(fs::is_empty(scratch_.path()))
            << "something was trashed relative to the current directory";
        dataHome_.reset();
    }

    TempDir data_;
    TempDir site_;
    TempDir scratch_;
    fs::path previousDirectory_;
    std::optional<korvel::testing::EnvVar> dataHome_;
};

TEST_F(TrashTest, MovesFilesDirectoriesAndLinksKeepingTwoOfTheSameName) {
    const std::string trash = data_.file("not/yet/Trash/");
    site_.write("a/page.htm", "first");
    site_.write("b/page.htm", "second");
    site_.write("old/img/b.gif", "b");
    site_.write("shared.css", "body{}");
    ASSERT_EQ(::symlink("shared.css", site_.file("style.css").c_str()), 0);
    std::string where[4];

    ASSERT_FALSE(moveToTrash(site_.file("a/page.htm"), &where[0]));
    ASSERT_FALSE(moveToTrash(site_.file("b/page.htm"), &where[1]));
    ASSERT_FALSE(moveToTrash(site_.file("old"), &where[2]));
    ASSERT_FALSE(moveToTrash(site_.file("style.css"), &where[3]));

    EXPECT_EQ(fs::path(where[0]), fs::path(trash + "files/page.htm"));
    EXPECT_EQ(readFile(where[0]), "first");
    EXPECT_NE(where[1], where[0]);
    EXPECT_EQ(readFile(where[1]), "second");
    EXPECT_EQ(readFile(where[2] + "/img/b.gif"), "b");
    EXPECT_TRUE(fs::is_symlink(where[3]));
    EXPECT_EQ(korvel::testing::treeSnapshot(site_.path()).size(), 3u);  // a, b and shared.css stay
    const std::string info = readFile(trash + "info/page.htm.trashinfo");
    EXPECT_TRUE(info.starts_with("[Trash Info]\nPath=" + site_.file("a/page.htm") + "\nDeletionDate="))
        << info;
}

// The longest name kept still fits its info file when the trash numbers it; one byte more is refused
// (and the file stays) instead of sending the trash looking for a number for ever.
TEST_F(TrashTest, ANameTooLongForItsInfoFileIsRefusedAtTheEdge) {
    const std::string longest(238, 'n');
    const std::string first = site_.write("a/" + longest, "first");
    const std::string second = site_.write("b/" + longest, "second");
    const std::string over = site_.write("c/" + longest + "n", "over");
    std::string whereSecond;

    ASSERT_FALSE(moveToTrash(first));
    ASSERT_FALSE(moveToTrash(second, &whereSecond));
    EXPECT_EQ(readFile(whereSecond), "second");
    EXPECT_EQ(moveToTrash(over), std::errc::filename_too_long);
    EXPECT_EQ(readFile(over), "over");
}

TEST_F(TrashTest, LeavesInPlaceWhatItCannotTrash) {
    const std::string path = site_.write("f.txt", "stays");
    EXPECT_EQ(moveToTrash(site_.file("none")), std::errc::no_such_file_or_directory);
    // Not valid UTF-8: the trash could not name it faithfully.
    const std::string latin1 = site_.write("bad\xff\xfe.htm", "latin-1 name");
    EXPECT_EQ(moveToTrash(latin1), std::errc::illegal_byte_sequence);
    EXPECT_EQ(readFile(latin1), "latin-1 name");

    // A relative data directory would put the trash wherever the process happens to be.
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_TRUE(moveToTrash(path));
    EXPECT_EQ(readFile(path), "stays");
    // A file where the trash directory belongs.
    ::setenv("XDG_DATA_HOME", data_.path().c_str(), 1);
    data_.write("Trash", "not a directory");
    EXPECT_TRUE(moveToTrash(path));
    EXPECT_EQ(readFile(path), "stays");
    EXPECT_FALSE(fs::exists(data_.file("not")));
}

}  // namespace
}  // namespace korvel::platform
