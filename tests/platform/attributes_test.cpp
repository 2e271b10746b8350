#include "platform/attributes.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/disk.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

namespace fs = std::filesystem;
using korvel::testing::entriesOf;
using korvel::testing::modeOf;
using korvel::testing::TempDir;

TEST(AttributeNames, Hidden) {
    struct Case {
        const char* name;
        bool hidden;
    };
    for (const Case& c :
         {Case{".htaccess", true}, Case{".a", true}, Case{"...", true}, Case{"..x", true}, Case{".", false},
          Case{"..", false}, Case{"a.b", false}, Case{"", false}, Case{"index.html", false}}) {
        EXPECT_EQ(isHiddenName(c.name), c.hidden) << '"' << c.name << '"';
    }
}

TEST(AttributeNames, Temporary) {
    struct Case {
        const char* name;
        bool temporary;
    };
    for (const Case& c : {Case{"a~", true}, Case{"~", true}, Case{"page.htm~", true}, Case{"#a#", true},
                          Case{"##", true}, Case{"#page.htm#", true}, Case{"#", false}, Case{"#a", false},
                          Case{"a#", false}, Case{"~a", false}, Case{"a~b", false}, Case{"", false}}) {
        EXPECT_EQ(isTemporaryName(c.name), c.temporary) << '"' << c.name << '"';
    }
}

// Makes an entry of some kind in "dir" under "name".
using Maker = void (*)(const TempDir& dir, const std::string& name);

void makeFile(const TempDir& dir, const std::string& name) {
    dir.write(name, "x");
}
void makeDir(const TempDir& dir, const std::string& name) {
    dir.mkdir(name);
}
void makeFifo(const TempDir& dir, const std::string& name) {
    ASSERT_EQ(::mkfifo(dir.file(name).c_str(), 0644), 0);
}
void makeSocket(const TempDir& dir, const std::string& name) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir.file(name);
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}
void makeLinkToFile(const TempDir& dir, const std::string& name) {
    dir.write("target.txt", "t");
    ASSERT_EQ(::symlink("target.txt", dir.file(name).c_str()), 0);
}
void makeLinkToDir(const TempDir& dir, const std::string& name) {
    dir.mkdir("targetdir");
    ASSERT_EQ(::symlink("targetdir", dir.file(name).c_str()), 0);
}
void makeDanglingLink(const TempDir& dir, const std::string& name) {
    ASSERT_EQ(::symlink("nowhere", dir.file(name).c_str()), 0);
}

TEST(AttributesOf, ClassifiesEachKindOfEntry) {
    struct Case {
        const char* what;
        Maker make;
        const char* name;
        Attributes expected;  // readOnly is checked separately
    };
    const Case cases[] = {
        {"file", makeFile, "page.htm", {}},
        {"hidden file", makeFile, ".htaccess", {.hidden = true}},
        {"backup", makeFile, "a~", {.temporary = true}},
        {"autosave", makeFile, "#a#", {.temporary = true}},
        {"lone hash", makeFile, "#", {}},
        {"directory", makeDir, "images", {.directory = true}},
        {"hidden directory", makeDir, ".git", {.hidden = true, .directory = true}},
        {"fifo", makeFifo, "pipe", {.system = true}},
        {"socket", makeSocket, "sock", {.system = true}},
        {"link to a file", makeLinkToFile, "style.css", {}},
        {"link to a directory", makeLinkToDir, "shared", {.system = true}},
        {"dangling link", makeDanglingLink, "broken", {.system = true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        c.make(dir, c.name);
        Attributes got;
        got.hidden = got.system = got.temporary = got.directory = true;  // must all be overwritten

        ASSERT_FALSE(attributesOf(dir.file(c.name), got));

        EXPECT_EQ(got.hidden, c.expected.hidden);
        EXPECT_EQ(got.system, c.expected.system);
        EXPECT_EQ(got.temporary, c.expected.temporary);
        EXPECT_EQ(got.directory, c.expected.directory);
    }
}

TEST(AttributesOf, NamesADirectoryGivenWithATrailingSeparator) {
    TempDir dir;
    dir.mkdir(".hid");
    Attributes got;
    ASSERT_FALSE(attributesOf(dir.file(".hid/"), got));
    EXPECT_TRUE(got.hidden);
    EXPECT_TRUE(got.directory);
}

TEST(AttributesOf, MissingEntryIsAnError) {
    TempDir dir;
    Attributes got;
    EXPECT_EQ(attributesOf(dir.file("none"), got), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(isReadOnly(dir.file("none")));
}

// The owner's write bit decides, whoever asks: root may write a 0444 file, and it is read-only all the same.
TEST(AttributesOf, ReadOnlyIsTheOwnersWriteBitForEveryone) {
    TempDir dir;
    const std::string file = dir.write("f", "x");
    Attributes got;
    ASSERT_FALSE(attributesOf(file, got));
    EXPECT_FALSE(got.readOnly);

    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    ASSERT_FALSE(attributesOf(file, got));
    EXPECT_TRUE(got.readOnly);
    EXPECT_TRUE(isReadOnly(file));
}

TEST(MakeWritable, AddsOnlyTheOwnersWriteBitAndRestoresTheExactMode) {
    struct Case {
        const char* what;
        bool directory;
        mode_t before;
        mode_t writable;
    };
    for (const Case& c :
         {Case{"directory", true, 0555, 0755}, Case{"private directory", true, 0500, 0700},
          Case{"file", false, 0444, 0644}, Case{"file without rights", false, 0, 0200},
          Case{"setgid directory", true, 02555, 02755}, Case{"writable", false, 0640, 0640}}) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = c.directory ? dir.mkdir("e") : dir.write("e", "x");
        ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
        mode_t previous = 01234;

        ASSERT_FALSE(makeWritable(path, previous));
        EXPECT_EQ(previous, c.before);
        EXPECT_EQ(modeOf(path), c.writable);

        ASSERT_FALSE(restoreMode(path, previous));
        EXPECT_EQ(modeOf(path), c.before);
    }
}

TEST(MakeWritable, LeavesWhatLiesBehindALinkAlone) {
    TempDir dir;
    const std::string target = dir.write("target", "t");
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    const std::string link = dir.file("link");
    ASSERT_EQ(::symlink("target", link.c_str()), 0);
    mode_t previous = 0;

    EXPECT_EQ(makeWritable(link, previous), FileError::IsSymlink);
    EXPECT_EQ(restoreMode(link, 0644), FileError::IsSymlink);
    EXPECT_EQ(modeOf(target), 0444u);
}

TEST(MakeWritable, ReportsARefusedChange) {
    class RefusingDisk : public Disk {
      public:
        int chmod(const char*, mode_t) override {
            errno = EPERM;
            return -1;
        }
    } refusing;
    TempDir dir;
    const std::string path = dir.mkdir("d");
    ASSERT_EQ(::chmod(path.c_str(), 0555), 0);
    mode_t previous = 0;
    DiskScope scope(refusing);

    EXPECT_EQ(makeWritable(path, previous), std::errc::operation_not_permitted);
    EXPECT_EQ(modeOf(path), 0555u);
}

}  // namespace
}  // namespace korvel::platform
