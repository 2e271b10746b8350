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
    for (const char* name : {"b.html", "B.html", "a b.htm", "caf\xC3\xA9.html", "caf\xE9.txt", ".hidden"})
        dir.write(name, "");
    dir.write("sub/deeper.txt", "");
    dir.mkdir("empty");
    Names names{"stale"};
    ASSERT_FALSE(listDirectory(dir.path() + "/", names));
    EXPECT_EQ(names, (Names{".hidden", "B.html", "a b.htm", "b.html", "caf\xC3\xA9.html", "caf\xE9.txt",
                            "empty", "sub"}));
    names = {"stale"};
    ASSERT_FALSE(listDirectory(dir.file("empty"), names));
    EXPECT_TRUE(names.empty());

    // Read through an open directory: the same names, from the start each time, and the directory
    // stays open for its entries.
    OpenDirectory opened;
    ASSERT_FALSE(opened.open(dir.path()));
    Names byPath;
    ASSERT_FALSE(listDirectory(dir.path(), byPath));
    for (int round = 0; round < 2; ++round) {
        Names again{"stale"};
        ASSERT_FALSE(opened.list(again));
        EXPECT_EQ(again, byPath);
    }
    struct stat st {};
    EXPECT_EQ(::fstatat(opened.fd(), "sub", &st, 0), 0);
}

TEST(ListDirectory, MissingOrNonDirectoryIsAnErrorWithNoNames) {
    testing::TempDir dir;
    const std::string file = dir.write("file.txt", "x");
    Names names{"stale"};
    EXPECT_EQ(listDirectory(dir.file("missing"), names), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(names.empty());
    names = {"stale"};
    EXPECT_EQ(listDirectory(file, names), std::errc::not_a_directory);
    EXPECT_TRUE(names.empty());

    OpenDirectory missing;
    EXPECT_EQ(missing.open(dir.file("missing")), std::errc::no_such_file_or_directory);
    EXPECT_EQ(missing.open(file), std::errc::not_a_directory);
    names = {"stale"};
    EXPECT_TRUE(missing.list(names));
    EXPECT_TRUE(names.empty());
}

TEST(ListDirectory, UnreadableDirectoryIsAnError) {
    if (testing::permissionsAreIgnored()) GTEST_SKIP() << "permission bits are ignored for this user";
    testing::TempDir dir;
    const std::string locked = dir.mkdir("locked");
    dir.write("locked/inside.txt", "");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    Names names{"stale"};
    EXPECT_EQ(listDirectory(locked, names), std::errc::permission_denied);
    EXPECT_TRUE(names.empty());
}

}  // namespace
}  // namespace korvel::platform
