#include "platform/disk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
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

}  // namespace
}  // namespace korvel::platform
