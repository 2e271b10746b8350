#include "files/copy_move.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "faulty_disk.h"
#include "log_capture.h"
#include "platform/disk.h"
#include "res/strings.h"
#include "support/temp_dir.h"

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
using korvel::testing::renameMessage;
using korvel::testing::TempDir;

// Several blocks of bytes that differ from block to block, so that a lost or repeated block shows.
std::string largeContent() {
    std::string content;
    for (int i = 0; content.size() < 700 * 1024; ++i)
        content += std::to_string(i) + (i % 7 == 0 ? "\r\n" : ",") + char(i % 256);
    return content;
}

class CopyTest : public ::testing::Test {
  protected:
    LogCapture log_;
    TempDir dir_;
};

// ---- copyFile ----

TEST_F(CopyTest, CopiesAnEmptyFileToANewEmptyFile) {
    const std::string source = dir_.write("empty.txt", "");

    EXPECT_TRUE(copyFile(source, dir_.file("copy.txt")));
    EXPECT_TRUE(fs::is_regular_file(dir_.file("copy.txt")));
    EXPECT_EQ(fs::file_size(dir_.file("copy.txt")), 0u);
    EXPECT_EQ(log_.errors(), "");
}

TEST_F(CopyTest, AppendingAnEmptyFileLeavesTheTargetAsItWas) {
    const std::string source = dir_.write("empty.txt", "");
    const std::string target = dir_.write("report.txt", "already here");

    EXPECT_TRUE(copyFile(source, target, CopyMode::Append));
    EXPECT_EQ(readFile(target), "already here");
    EXPECT_EQ(log_.errors(), "");
}

TEST_F(CopyTest, CopiesEveryByteAndTheSourcesPermissions) {
    const std::string content = largeContent();
    const std::string source = dir_.write("big.bin", content);
    ::chmod(source.c_str(), 0640);

    EXPECT_TRUE(copyFile(source, dir_.file("copy.bin")));
    EXPECT_EQ(readFile(dir_.file("copy.bin")), content);
    EXPECT_EQ(modeOf(dir_.file("copy.bin")), 0640u);
    EXPECT_EQ(entriesOf(dir_.path()), (std::vector<std::string>{"big.bin", "copy.bin"}));
}

TEST_F(CopyTest, NeverOverwritesAnExistingFile) {
    const std::string source = dir_.write("new.htm", "new");
    const std::string target = dir_.write("old.htm", "old");

    EXPECT_FALSE(copyFile(source, target));
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(log_.errors(), copyDetail(res::kFileOpenFailed, target));
}

TEST_F(CopyTest, AppendsAfterTheTargetsContent) {
    const std::string content = largeContent();
    const std::string source = dir_.write("section", content);
    const std::string target = dir_.write("report", "HEADER\n");

    EXPECT_TRUE(copyFile(source, target, CopyMode::Append));
    EXPECT_EQ(readFile(target), "HEADER\n" + content);
}

TEST_F(CopyTest, AppendingAFileToItselfDoublesIt) {
    const std::string path = dir_.write("twice", "abc");

    EXPECT_TRUE(copyFile(path, path, CopyMode::Append));
    EXPECT_EQ(readFile(path), "abcabc");
}

TEST_F(CopyTest, ReplaceOverwritesAndKeepsTheTargetsPermissions) {
    const std::string source = dir_.write("page.new", "new content");
    const std::string target = dir_.write("page.htm", "old");
    ::chmod(target.c_str(), 0604);

    EXPECT_TRUE(copyFile(source, target, CopyMode::Replace));
    EXPECT_EQ(readFile(target), "new content");
    EXPECT_EQ(modeOf(target), 0604u);
    EXPECT_EQ(entriesOf(dir_.path()), (std::vector<std::string>{"page.htm", "page.new"}));
}

TEST_F(CopyTest, NeverWritesThroughALink) {
    const std::string source = dir_.write("section", "text");
    const std::string real = dir_.write("real.css", "body{}");
    const std::string link = dir_.file("shared.css");
    fs::create_symlink(real, link);

    EXPECT_FALSE(copyFile(source, link, CopyMode::Append));
    EXPECT_FALSE(copyFile(source, link, CopyMode::Replace));
    EXPECT_EQ(readFile(real), "body{}");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(log_.errors(), copyDetail(res::kFileOpenFailed, link) + copyDetail(res::kFileOpenFailed, link));
}

TEST_F(CopyTest, ReportsASourceThatCannotBeOpened) {
    ASSERT_EQ(::mkfifo(dir_.file("pipe").c_str(), 0644), 0);

    EXPECT_FALSE(copyFile(dir_.file("missing"), dir_.file("copy")));
    EXPECT_FALSE(copyFile(dir_.file("pipe"), dir_.file("copy")));
    EXPECT_FALSE(fs::exists(dir_.file("copy")));
    EXPECT_EQ(log_.errors(), copyDetail(res::kFileOpenFailed, dir_.file("missing")) +
                                 copyDetail(res::kFileOpenFailed, dir_.file("pipe")));
}

// A full disk partway through: the copy is reported and leaves nothing behind under any name.
TEST_F(CopyTest, AFullDiskLeavesNoPartialCopy) {
    const std::string content = largeContent();
    const std::string source = dir_.write("src/big.bin", content);
    const std::string target = dir_.mkdir("dst") + "/big.bin";
    FaultyDisk disk;
    disk.writesUnder = dir_.file("dst");
    disk.bytesBeforeFailure = 300 * 1024;
    platform::DiskScope scope(disk);

    EXPECT_FALSE(copyFile(source, target));
    EXPECT_TRUE(entriesOf(dir_.file("dst")).empty());
    EXPECT_EQ(readFile(source), content);
    EXPECT_EQ(log_.errors(), copyDetail(res::kFileWriteFailed, target));
}

TEST_F(CopyTest, AFullDiskWhileAppendingKeepsTheEarlierContent) {
    const std::string source = dir_.write("section", largeContent());
    const std::string target = dir_.write("out/report", "HEADER\n");
    FaultyDisk disk;
    disk.writesUnder = dir_.file("out");
    disk.bytesBeforeFailure = 1000;
    platform::DiskScope scope(disk);

    EXPECT_FALSE(copyFile(source, target, CopyMode::Append));
    const std::string after = readFile(target);
    EXPECT_TRUE(after.starts_with("HEADER\n")) << after.substr(0, 20);
    EXPECT_EQ(log_.errors(), copyDetail(res::kFileWriteFailed, target));
}

TEST_F(CopyTest, AFullDiskWhileReplacingLeavesTheTargetWhole) {
    const std::string source = dir_.write("new", largeContent());
    const std::string target = dir_.write("out/page.htm", "the original");
    FaultyDisk disk;
    disk.writesUnder = dir_.file("out");
    disk.bytesBeforeFailure = 1000;
    platform::DiskScope scope(disk);

    EXPECT_FALSE(copyFile(source, target, CopyMode::Replace));
    EXPECT_EQ(readFile(target), "the original");
    EXPECT_EQ(entriesOf(dir_.file("out")), (std::vector<std::string>{"page.htm"}));
    EXPECT_EQ(log_.errors(), copyDetail(res::kFileWriteFailed, target));
}

// ---- moveFile ----

TEST_F(CopyTest, MoveFileRenames) {
    const std::string from = dir_.write("Index.HTM", "home");

    EXPECT_TRUE(moveFile(from, dir_.file("index.htm")));
    EXPECT_EQ(entriesOf(dir_.path()), (std::vector<std::string>{"index.htm"}));
    EXPECT_EQ(readFile(dir_.file("index.htm")), "home");
}

TEST_F(CopyTest, AMoveOntoAnExistingFileFailsAndKeepsBoth) {
    const std::string from = dir_.write("a.htm", "first\r\n");
    const std::string to = dir_.write("b.htm", "second\n");

    EXPECT_FALSE(moveFile(from, to));
    EXPECT_EQ(readFile(from), "first\r\n");
    EXPECT_EQ(readFile(to), "second\n");
    EXPECT_EQ(log_.errors(), renameMessage(from, to));
}

// The direct rename of INDEX.HTM to index.htm fails as it does where a name is its own short alias;
// the move then goes through a scratch directory, the first free one of "a", "b", ...
TEST_F(CopyTest, ARenameOntoTheNamesOwnAliasGoesThroughAScratchDirectory) {
    const std::string from = dir_.write("INDEX.HTM", "home");
    const std::string to = dir_.file("index.htm");
    dir_.write("a", "a file named like the first scratch directory");
    FaultyDisk disk;
    disk.refuseRename = [&](const std::string& f, const std::string& t) {
        return f == from && t == to ? EACCES : 0;
    };
    platform::DiskScope scope(disk);

    EXPECT_TRUE(moveFile(from, to));
    EXPECT_EQ(readFile(to), "home");
    EXPECT_EQ(entriesOf(dir_.path()), (std::vector<std::string>{"a", "index.htm"}));
    EXPECT_EQ(log_.errors(), "");
}

TEST_F(CopyTest, AScratchRenameThatFailsPutsTheFileBack) {
    const std::string from = dir_.write("INDEX.HTM", "home");
    const std::string to = dir_.file("index.htm");
    FaultyDisk disk;
    disk.refuseRename = [&](const std::string&, const std::string& t) { return t == to ? EACCES : 0; };
    platform::DiskScope scope(disk);

    EXPECT_FALSE(moveFile(from, to));
    EXPECT_EQ(readFile(from), "home");
    EXPECT_EQ(entriesOf(dir_.path()), (std::vector<std::string>{"INDEX.HTM"}));
    EXPECT_EQ(log_.errors(), renameMessage(from, to));
}

// ---- moveItem ----

// Renames of the item itself fail as they do between two file systems.
struct CrossDevice {
    explicit CrossDevice(const std::string& source) {
        disk.refuseRename = [source](const std::string& from, const std::string&) {
            return from == source ? EXDEV : 0;
        };
    }
    FaultyDisk disk;
    platform::DiskScope scope{disk};
};

TEST_F(CopyTest, MoveItemRefusesAnExistingTargetAndAMissingSource) {
    const std::string source = dir_.write("site/old.gif", "GIF");
    const std::string target = dir_.write("keep/old.gif", "other");

    EXPECT_FALSE(moveItem(source, target));
    EXPECT_FALSE(moveItem(dir_.file("missing"), dir_.file("keep/missing")));
    EXPECT_EQ(readFile(source), "GIF");
    EXPECT_EQ(readFile(target), "other");
    EXPECT_EQ(log_.errors(),
              renameMessage(source, target) + renameMessage(dir_.file("missing"), dir_.file("keep/missing")));
}

TEST_F(CopyTest, MovesAFileAcrossFileSystemsByCopying) {
    dir_.mkdir("keep");
    const std::string source = dir_.write("site/old.gif", "GIF");
    ::chmod(source.c_str(), 0444);
    CrossDevice other(source);

    EXPECT_TRUE(moveItem(source, dir_.file("keep/old.gif")));
    EXPECT_EQ(readFile(dir_.file("keep/old.gif")), "GIF");
    EXPECT_EQ(modeOf(dir_.file("keep/old.gif")), 0444u);
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(log_.errors(), "");
}

TEST_F(CopyTest, AFileWhoseSourceCannotGoStaysInOnePlace) {
    dir_.mkdir("keep");
    const std::string source = dir_.write("site/old.gif", "GIF");
    CrossDevice other(source);
    other.disk.refuseUnlink = source;

    EXPECT_FALSE(moveItem(source, dir_.file("keep/old.gif")));
    EXPECT_EQ(readFile(source), "GIF");
    EXPECT_FALSE(fs::exists(dir_.file("keep/old.gif")));
    EXPECT_EQ(log_.errors(), detail(res::kFailedToDeleteFile, source));
}

TEST_F(CopyTest, MovesADirectoryTreeAcrossFileSystemsByCopying) {
    dir_.mkdir("keep");
    dir_.write("site/index.htm", "home");
    dir_.write("site/img/logo.gif", "GIF");
    dir_.write("site/img/deep/x.gif", largeContent());
    ::chmod(dir_.file("site/img").c_str(), 0555);
    CrossDevice other(dir_.file("site"));

    EXPECT_TRUE(moveItem(dir_.file("site"), dir_.file("keep/site")));
    EXPECT_FALSE(fs::exists(dir_.file("site")));
    EXPECT_EQ(readFile(dir_.file("keep/site/index.htm")), "home");
    EXPECT_EQ(readFile(dir_.file("keep/site/img/logo.gif")), "GIF");
    EXPECT_EQ(readFile(dir_.file("keep/site/img/deep/x.gif")), largeContent());
    EXPECT_EQ(modeOf(dir_.file("keep/site/img")), 0555u);
    EXPECT_EQ(log_.errors(), "");
}

// A link cannot be carried to another file system as a link: the move fails, the source stays whole and the
// partial copy goes again.
TEST_F(CopyTest, ATreeWithALinkIsNotMovedAcrossFileSystems) {
    dir_.mkdir("keep");
    dir_.write("site/index.htm", "home");
    dir_.write("shared/style.css", "body{}");
    fs::create_symlink(dir_.file("shared/style.css"), dir_.file("site/style.css"));
    CrossDevice other(dir_.file("site"));

    EXPECT_FALSE(moveItem(dir_.file("site"), dir_.file("keep/site")));
    EXPECT_EQ(readFile(dir_.file("site/index.htm")), "home");
    EXPECT_TRUE(fs::is_symlink(dir_.file("site/style.css")));
    EXPECT_FALSE(fs::exists(dir_.file("keep/site")));
    EXPECT_EQ(log_.errors(), renameMessage(dir_.file("site/style.css"), dir_.file("keep/site/style.css")));
}

TEST_F(CopyTest, AFullDiskDuringATreeMoveKeepsTheSourceWhole) {
    dir_.write("site/a.htm", largeContent());
    dir_.write("site/b.htm", largeContent());
    dir_.mkdir("keep");
    CrossDevice other(dir_.file("site"));
    other.disk.writesUnder = dir_.file("keep/site");
    other.disk.bytesBeforeFailure = 100;

    EXPECT_FALSE(moveItem(dir_.file("site"), dir_.file("keep/site")));
    EXPECT_EQ(readFile(dir_.file("site/a.htm")), largeContent());
    EXPECT_EQ(readFile(dir_.file("site/b.htm")), largeContent());
    EXPECT_FALSE(fs::exists(dir_.file("keep/site")));
    EXPECT_NE(log_.errors().find(res::loadString(res::kFileWriteFailed)), std::string::npos) << log_.errors();
}

// ---- copyDirectory ----

TEST_F(CopyTest, CopyDirectoryTakesSubdirectoriesOnlyWhenRecursive) {
    dir_.write("site/index.htm", "home");
    dir_.write("site/img/logo.gif", "GIF");
    const std::string flat = dir_.mkdir("flat");
    const std::string deep = dir_.mkdir("deep");

    EXPECT_TRUE(copyDirectory(dir_.file("site"), flat, false));
    EXPECT_TRUE(copyDirectory(dir_.file("site"), deep, true));
    EXPECT_EQ(entriesOf(flat), (std::vector<std::string>{"index.htm"}));
    EXPECT_EQ(readFile(deep + "/img/logo.gif"), "GIF");
    EXPECT_EQ(readFile(dir_.file("site/index.htm")), "home");
}

TEST_F(CopyTest, CopyDirectoryGoesOnPastAFileThatIsThereAlready) {
    dir_.write("site/a.htm", "a");
    dir_.write("site/b.htm", "b");
    const std::string target = dir_.write("copy/a.htm", "theirs");

    EXPECT_FALSE(copyDirectory(dir_.file("site"), dir_.file("copy"), true));
    EXPECT_EQ(readFile(target), "theirs");
    EXPECT_EQ(readFile(dir_.file("copy/b.htm")), "b");
    EXPECT_EQ(log_.errors(), copyDetail(res::kFileOpenFailed, target));
}

}  // namespace
}  // namespace korvel::files
