#include "platform/dir_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

using Names = std::vector<std::string>;

TEST(ListDirectory, NamesEveryEntrySortedByteWiseWithoutDots) {
    testing::TempDir dir;
    dir.write("b.html", "");
    dir.write("B.html", "");
    dir.write("a b.htm", "");
    dir.write("caf\xC3\xA9.html", "");
    dir.write("caf\xE9.txt", "");  // not UTF-8: kept as its bytes
    dir.write(".hidden", "");
    dir.write("sub/deeper.txt", "");
    Names names{"stale"};
    ASSERT_FALSE(listDirectory(dir.path(), names));
    EXPECT_EQ(names,
              (Names{".hidden", "B.html", "a b.htm", "b.html", "caf\xC3\xA9.html", "caf\xE9.txt", "sub"}));
}

TEST(ListDirectory, EmptyDirectoryGivesNoNames) {
    testing::TempDir dir;
    Names names{"stale"};
    ASSERT_FALSE(listDirectory(dir.mkdir("empty"), names));
    EXPECT_TRUE(names.empty());
}

TEST(ListDirectory, TrailingSeparatorIsAccepted) {
    testing::TempDir dir;
    dir.write("one.txt", "");
    Names names;
    ASSERT_FALSE(listDirectory(dir.path() + "/", names));
    EXPECT_EQ(names, Names{"one.txt"});
}

TEST(ListDirectory, MissingOrNonDirectoryIsAnError) {
    testing::TempDir dir;
    const std::string file = dir.write("file.txt", "x");
    Names names{"stale"};
    EXPECT_EQ(listDirectory(dir.file("missing"), names), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(names.empty());
    names = {"stale"};
    EXPECT_EQ(listDirectory(file, names), std::errc::not_a_directory);
    EXPECT_TRUE(names.empty());
}

TEST(OpenDirectory, ListsAsByPathAndStaysOpenForItsEntries) {
    testing::TempDir dir;
    dir.write("b.html", "");
    dir.write("a.txt", "abc");
    dir.mkdir("sub");
    OpenDirectory opened;
    ASSERT_FALSE(opened.open(dir.path()));
    Names byPath;
    ASSERT_FALSE(listDirectory(dir.path(), byPath));
    // Twice: the second list reads from the start again, and the directory is still open after both.
    for (int round = 0; round < 2; ++round) {
        Names names{"stale"};
        ASSERT_FALSE(opened.list(names));
        EXPECT_EQ(names, byPath);
    }
    struct stat st {};
    ASSERT_EQ(::fstatat(opened.fd(), "a.txt", &st, 0), 0);
    EXPECT_EQ(st.st_size, 3);

    OpenDirectory missing;
    EXPECT_EQ(missing.open(dir.file("missing")), std::errc::no_such_file_or_directory);
    EXPECT_EQ(missing.open(dir.file("a.txt")), std::errc::not_a_directory);
    Names names{"stale"};
    EXPECT_TRUE(missing.list(names));
    EXPECT_TRUE(names.empty());
}

TEST(ListDirectory, UnreadableDirectoryIsAnError) {
    if (testing::permissionsAreIgnored()) GTEST_SKIP() << "permission bits are ignored for this user";
    testing::TempDir dir;
    const std::string locked = dir.mkdir("locked");
    dir.write("locked/inside.txt", "");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    Names names;
    EXPECT_EQ(listDirectory(locked, names), std::errc::permission_denied);
    EXPECT_TRUE(names.empty());
}

}  // namespace
}  // namespace korvel::platform
