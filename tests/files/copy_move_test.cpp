#include "files/copy_move.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "faulty_disk.h"
#include "log_capture.h"
#include "platform/disk.h"
#include "res/strings.h"
#include "support/temp_dir.h"

namespace korvel::files {
namespace {

namespace fs = std::filesystem;
using korvel::testing::copyDetail;
using korvel::testing::FaultyDisk;
using korvel::testing::modeOf;
using korvel::testing::readFile;
using korvel::testing::renameMessage;

// Several blocks of bytes that differ from block to block, so that a lost or repeated block shows.
const std::string& large() {
    static const std::string content = [] {
        std::string s;
        for (int i = 0; s.size() < 700 * 1024; ++i)
            s += std::to_string(i) + (i % 7 == 0 ? "\r\n" : ",") + char(i % 256);
        return s;
    }();
    return content;
}

// Every entry below "top" in order: "path/" for a directory, "path@" for a link, "path=bytes" for a file
// ("LARGE" for large()); an entry its owner may not write shows its mode too.
std::string treeOf(const std::string& top) {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        const std::string path = entry.path().string();
        std::string shown = path.substr(top.size() + 1);
        if (entry.is_symlink()) {
            shown += "@";
        } else if (entry.is_directory()) {
            shown += "/";
        } else if (entry.is_regular_file()) {
            shown += "=" + (readFile(path) == large() ? "LARGE" : readFile(path));
        }
        const mode_t mode = entry.is_symlink() ? S_IWUSR : modeOf(path);
        char octal[8];
        std::snprintf(octal, sizeof octal, " %o", static_cast<unsigned>(mode));
        if (!(mode & S_IWUSR)) shown += octal;
        entries.insert(shown);
    }
    std::string out;
    for (const std::string& entry : entries)
        out += (out.empty() ? "" : " ") + entry;
    return out;
}

class CopyTest : public ::testing::Test {
  protected:
    korvel::testing::LogCapture log_;
    korvel::testing::TempDir dir_;
};

// Renames of the items named fail as they do between two file systems.
struct CrossDevice {
    explicit CrossDevice(std::set<std::string> sources) {
        disk.refuseRename = [sources](const std::string& from, const std::string&) {
            return sources.count(from) ? EXDEV : 0;
        };
    }
    FaultyDisk disk;
    platform::DiskScope scope{disk};
};

TEST_F(CopyTest, CopiesEveryByteAndTheModeButNeverOverAFileOrFromANonFile) {
    const std::string source = dir_.write("big", large());
    ::chmod(source.c_str(), 0440);
    const std::string old = dir_.write("old", "old");
    ASSERT_EQ(::mkfifo(dir_.file("pipe").c_str(), 0644), 0);

    EXPECT_TRUE(copyFile(source, dir_.file("copy")));
    EXPECT_FALSE(copyFile(source, old));
    EXPECT_FALSE(copyFile(dir_.file("missing"), dir_.file("new")));
    EXPECT_FALSE(copyFile(dir_.file("pipe"), dir_.file("new")));
    EXPECT_EQ(treeOf(dir_.path()), "big=LARGE 440 copy=LARGE 440 old=old pipe");
    EXPECT_EQ(log_.errors(), copyDetail(res::kFileOpenFailed, old) +
                                 copyDetail(res::kFileOpenFailed, dir_.file("missing")) +
                                 copyDetail(res::kFileOpenFailed, dir_.file("pipe")));
}

// A full disk partway through: the copy is reported and leaves nothing behind under any name.
TEST_F(CopyTest, AFullDiskLeavesNoPartialCopy) {
    const std::string source = dir_.write("big", large());
    const std::string target = dir_.mkdir("dst") + "/big";
    FaultyDisk disk;
    disk.writesUnder = dir_.file("dst");
    disk.bytesBeforeFailure = 300 * 1024;
    platform::DiskScope scope(disk);

    EXPECT_FALSE(copyFile(source, target));
    EXPECT_EQ(treeOf(dir_.path()), "big=LARGE dst/");
    EXPECT_EQ(log_.errors(), copyDetail(res::kFileWriteFailed, target));
}

TEST_F(CopyTest, MovesAFileAcrossFileSystemsByCopyingWhereTheSourceCanGo) {
    const std::string source = dir_.write("site/old.gif", "GIF");
    const std::string stuck = dir_.write("site/stuck.gif", "GIF");
    const std::string taken = dir_.write("keep/taken.gif", "other");
    ::chmod(source.c_str(), 0444);
    CrossDevice other({source, stuck});
    other.disk.refuseUnlink = stuck;

    EXPECT_TRUE(moveItem(source, dir_.file("keep/old.gif")));
    // Better in one place than in two: the copy of a file that could not go is removed again.
    EXPECT_FALSE(moveItem(stuck, dir_.file("keep/stuck.gif")));
    // An existing target or a missing source is never a reason to copy.
    EXPECT_FALSE(moveItem(source + "2", dir_.file("keep/x")));
    EXPECT_FALSE(moveItem(dir_.write("site/a", "a"), taken));
    EXPECT_EQ(treeOf(dir_.path()),
              "keep/ keep/old.gif=GIF 444 keep/taken.gif=other site/ site/a=a site/stuck.gif=GIF");
    EXPECT_EQ(log_.errors(), korvel::testing::detail(res::kFailedToDeleteFile, stuck) +
                                 renameMessage(source + "2", dir_.file("keep/x")) +
                                 renameMessage(dir_.file("site/a"), taken));
}

TEST_F(CopyTest, MovesADirectoryTreeAcrossFileSystemsByCopying) {
    dir_.write("site/index.htm", "home");
    dir_.write("site/img/deep/x.gif", large());
    ::chmod(dir_.file("site/img").c_str(), 0555);
    dir_.mkdir("keep");
    CrossDevice other({dir_.file("site")});

    EXPECT_TRUE(moveItem(dir_.file("site"), dir_.file("keep/site")));
    EXPECT_EQ(treeOf(dir_.path()),
              "keep/ keep/site/ keep/site/img/ 555 keep/site/img/deep/ keep/site/img/deep/x.gif=LARGE "
              "keep/site/index.htm=home");
    EXPECT_EQ(log_.errors(), "");
}

// A link cannot be carried to another file system as a link, and a full disk stops a copy: the move fails,
// the source stays whole and the partial copy goes again.
TEST_F(CopyTest, ATreeMoveThatCannotCompleteKeepsTheSourceWhole) {
    dir_.write("site/index.htm", "home");
    fs::create_symlink(dir_.file("site/index.htm"), dir_.file("site/style.css"));
    dir_.write("full/a.htm", large());
    dir_.write("full/b.htm", large());
    dir_.mkdir("keep");
    CrossDevice other({dir_.file("site"), dir_.file("full")});
    other.disk.writesUnder = dir_.file("keep/full");
    other.disk.bytesBeforeFailure = 100;
    const std::string before = treeOf(dir_.path());

    EXPECT_FALSE(moveItem(dir_.file("site"), dir_.file("keep/site")));
    EXPECT_FALSE(moveItem(dir_.file("full"), dir_.file("keep/full")));
    EXPECT_EQ(treeOf(dir_.path()), before);
    EXPECT_TRUE(log_.errors().starts_with(
        renameMessage(dir_.file("site/style.css"), dir_.file("keep/site/style.css"))));
    EXPECT_TRUE(korvel::testing::contains(log_.errors(), res::loadString(res::kFileWriteFailed)))
        << log_.errors();
}

}  // namespace
}  // namespace korvel::files
