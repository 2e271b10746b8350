#include "platform/disk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

using korvel::testing::readFile;
using korvel::testing::TempDir;

class CountingDisk : public Disk {
  public:
    int unlinks = 0;
    int unlink(const char* path) override {
        ++unlinks;
        return Disk::unlink(path);
    }
};

TEST(DiskScope, InstallsAndRestoresNested) {
    Disk& real = disk();
    CountingDisk outer;
    CountingDisk inner;
    {
        DiskScope a(outer);
        EXPECT_EQ(&disk(), &outer);
        {
            DiskScope b(inner);
            EXPECT_EQ(&disk(), &inner);
        }
        EXPECT_EQ(&disk(), &outer);
    }
    EXPECT_EQ(&disk(), &real);
}

TEST(Disk, RenameNoReplaceRefusesAnExistingTarget) {
    TempDir dir;
    const std::string a = dir.write("a", "A");
    const std::string b = dir.write("b", "B");

    EXPECT_EQ(disk().renameNoReplace(a.c_str(), b.c_str()), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(readFile(a), "A");
    EXPECT_EQ(readFile(b), "B");

    const std::string c = dir.file("c");
    ASSERT_EQ(disk().renameNoReplace(a.c_str(), c.c_str()), 0);
    EXPECT_EQ(readFile(c), "A");
}

TEST(Disk, RenameReplaceReplaces) {
    TempDir dir;
    const std::string a = dir.write("a", "A");
    const std::string b = dir.write("b", "B");
    ASSERT_EQ(disk().renameReplace(a.c_str(), b.c_str()), 0);
    EXPECT_EQ(readFile(b), "A");
}

TEST(RenameNoReplaceFallback, RefusesAnExistingTarget) {
    struct Case {
        const char* what;
        bool fromIsDir;
        bool toIsDir;
    };
    for (const Case& c : {Case{"file onto file", false, false}, Case{"dir onto empty dir", true, true},
                          Case{"file onto dir", false, true}, Case{"dir onto file", true, false}}) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string from = c.fromIsDir ? dir.mkdir("from") : dir.write("from", "A");
        const std::string to = c.toIsDir ? dir.mkdir("to") : dir.write("to", "B");

        EXPECT_EQ(renameNoReplaceFallback(from.c_str(), to.c_str()), -1);
        EXPECT_EQ(errno, EEXIST);

        EXPECT_TRUE(std::filesystem::exists(from));
        if (!c.fromIsDir) {
            EXPECT_EQ(readFile(from), "A");
        }
        if (!c.toIsDir) {
            EXPECT_EQ(readFile(to), "B");
        }
    }
}

TEST(RenameNoReplaceFallback, MovesFilesLinksAndDirectories) {
    TempDir dir;
    dir.write("file", "F");
    dir.write("tree/inner", "I");
    ASSERT_EQ(::symlink("file", dir.file("link").c_str()), 0);
    dir.mkdir("dest");

    ASSERT_EQ(renameNoReplaceFallback(dir.file("file").c_str(), dir.file("dest/file").c_str()), 0);
    ASSERT_EQ(renameNoReplaceFallback(dir.file("tree").c_str(), dir.file("dest/tree").c_str()), 0);
    // The link itself moves, not what it points to.
    ASSERT_EQ(renameNoReplaceFallback(dir.file("link").c_str(), dir.file("dest/link").c_str()), 0);

    EXPECT_FALSE(std::filesystem::exists(dir.file("file")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("tree")));
    EXPECT_FALSE(std::filesystem::is_symlink(dir.file("link")));
    EXPECT_EQ(readFile(dir.file("dest/file")), "F");
    EXPECT_EQ(readFile(dir.file("dest/tree/inner")), "I");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("dest/link")));
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("dest/file").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);  // no second name left behind
}

TEST(RenameNoReplaceFallback, ReportsAMissingSource) {
    TempDir dir;
    EXPECT_EQ(renameNoReplaceFallback(dir.file("none").c_str(), dir.file("to").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
}

}  // namespace
}  // namespace korvel::platform
