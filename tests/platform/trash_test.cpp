#include "platform/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
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
        dataHome_.emplace("XDG_DATA_HOME", data_.path());
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

    std::string trash(std::string_view relative) const {
        return data_.file("Trash/" + std::string(relative));
    }

    TempDir data_;
    TempDir site_;
    TempDir scratch_;
    fs::path previousDirectory_;
    std::optional<korvel::testing::EnvVar> dataHome_;
};

TEST_F(TrashTest, MovesTheFileWithItsInfo) {
    const std::string path = site_.write("orphan.gif", "GIF89a");
    std::string where;

    const std::error_code ec = moveToTrash(path, &where);

    ASSERT_FALSE(ec) << ec.message();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(fs::path(where), fs::path(trash("files/orphan.gif")));
    EXPECT_EQ(readFile(trash("files/orphan.gif")), "GIF89a");
    const std::string info = readFile(trash("info/orphan.gif.trashinfo"));
    EXPECT_NE(info.find("[Trash Info]"), std::string::npos) << info;
    EXPECT_NE(info.find("Path="), std::string::npos) << info;
}

TEST_F(TrashTest, KeepsBothOfTwoFilesWithTheSameName) {
    const std::string first = site_.write("a/page.htm", "first");
    const std::string second = site_.write("b/page.htm", "second");
    std::string whereFirst;
    std::string whereSecond;

    ASSERT_FALSE(moveToTrash(first, &whereFirst));
    ASSERT_FALSE(moveToTrash(second, &whereSecond));

    EXPECT_NE(whereFirst, whereSecond);
    EXPECT_EQ(readFile(whereFirst), "first");
    EXPECT_EQ(readFile(whereSecond), "second");
}

// The longest name kept still fits its info file when the trash numbers it; one byte more is refused
// (and the file stays) instead of sending the trash looking for a number for ever.
TEST_F(TrashTest, ANameTooLongForItsInfoFileIsRefusedAtTheEdge) {
    const std::string longest(238, 'n');
    const std::string first = site_.write("a/" + longest, "first");
    const std::string second = site_.write("b/" + longest, "second");
    const std::string over = site_.write("c/" + longest + "n", "over");
    std::string whereFirst;
    std::string whereSecond;

    ASSERT_FALSE(moveToTrash(first, &whereFirst));
    ASSERT_FALSE(moveToTrash(second, &whereSecond));
    EXPECT_EQ(readFile(whereSecond), "second");
    EXPECT_EQ(moveToTrash(over), std::errc::filename_too_long);
    EXPECT_EQ(readFile(over), "over");
}

TEST_F(TrashTest, MovesAWholeDirectory) {
    site_.write("old/a.htm", "a");
    site_.write("old/img/b.gif", "b");
    std::string where;

    ASSERT_FALSE(moveToTrash(site_.file("old"), &where));

    EXPECT_FALSE(fs::exists(site_.file("old")));
    EXPECT_EQ(readFile(where + "/img/b.gif"), "b");
}

TEST_F(TrashTest, MovesALinkAndNotWhatItPointsTo) {
    const std::string target = site_.write("shared.css", "body{}");
    const std::string link = site_.file("style.css");
    ASSERT_EQ(::symlink("shared.css", link.c_str()), 0);
    std::string where;

    ASSERT_FALSE(moveToTrash(link, &where));

    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_symlink(where));
    EXPECT_EQ(readFile(target), "body{}");
}

TEST_F(TrashTest, MakesAMissingDataDirectory) {
    // A fresh account may have no ~/.local/share yet.
    ::setenv("XDG_DATA_HOME", data_.file("not/yet").c_str(), 1);
    const std::string path = site_.write("f.txt", "f");

    ASSERT_FALSE(moveToTrash(path));

    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(readFile(data_.file("not/yet/Trash/files/f.txt")), "f");
}

TEST_F(TrashTest, AMissingFileIsAnError) {
    EXPECT_EQ(moveToTrash(site_.file("none")), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(fs::exists(trash("files/none")));
}

TEST_F(TrashTest, LeavesInPlaceWhatItCannotNameFaithfully) {
    const std::string path = site_.write("bad\xff\xfe.htm", "latin-1 name");

    EXPECT_EQ(moveToTrash(path), std::errc::illegal_byte_sequence);
    EXPECT_EQ(readFile(path), "latin-1 name");
}

TEST_F(TrashTest, LeavesTheFileWhenTheTrashCannotBeMade) {
    // A relative data directory would put the trash wherever the process happens to be.
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    const std::string path = site_.write("f.txt", "stays");

    EXPECT_TRUE(moveToTrash(path));
    EXPECT_EQ(readFile(path), "stays");

    // A file where the trash directory belongs.
    ::setenv("XDG_DATA_HOME", site_.file("blocked").c_str(), 1);
    site_.write("blocked/Trash", "not a directory");
    EXPECT_TRUE(moveToTrash(path));
    EXPECT_EQ(readFile(path), "stays");
}

}  // namespace
}  // namespace korvel::platform
