#include "platform/attributes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <tuple>

#include "platform/disk.h"
#include "platform/files.h"
#include "support/faulty_disk.h"
#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

using korvel::testing::modeOf;
using korvel::testing::TempDir;

TEST(AttributeNames, HiddenAndTemporary) {
    struct Case {
        const char* name;
        bool hidden;
        bool temporary;
    };
    for (const Case& c :
         {Case{".htaccess", true, false}, Case{"..x", true, false}, Case{".", false, false},
          Case{"..", false, false}, Case{"", false, false}, Case{"a~", false, true}, Case{"~", false, true},
          Case{"#a#", false, true}, Case{"##", false, true}, Case{"#", false, false},
          Case{"#a", false, false}, Case{"a#", false, false}, Case{"~a", false, false}}) {
        EXPECT_EQ(isHiddenName(c.name), c.hidden) << '"' << c.name << '"';
        EXPECT_EQ(isTemporaryName(c.name), c.temporary) << '"' << c.name << '"';
    }
}

TEST(AttributesOf, ClassifiesEachKindOfEntry) {
    TempDir dir;
    for (const char* name : {"page.htm", ".htaccess", "a~", "target.txt"})
        dir.write(name, "x");
    dir.mkdir(".git");
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0644), 0);
    for (const auto& [link, target] :
         {std::pair{"style.css", "target.txt"}, {"shared", ".git"}, {"broken", "none"}})
        ASSERT_EQ(::symlink(target, dir.file(link).c_str()), 0);
    const std::pair<const char*, Attributes> cases[] = {
        {"page.htm", {}},
        {".htaccess", {.hidden = true}},
        {"a~", {.temporary = true}},
        {".git/", {.hidden = true, .directory = true}},  // named without its trailing separator
        {"pipe", {.system = true}},
        {"style.css", {}},
        {"shared", {.system = true}},
        {"broken", {.system = true}},
    };
    for (const auto& [name, e] : cases) {
        Attributes got;
        got.hidden = got.system = got.temporary = got.directory = true;  // must all be overwritten
        ASSERT_FALSE(attributesOf(dir.file(name), got)) << name;
        EXPECT_EQ(std::tie(got.hidden, got.system, got.temporary, got.directory),
                  std::tie(e.hidden, e.system, e.temporary, e.directory))
            << name;
    }
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

    EXPECT_EQ(attributesOf(dir.file("none"), got), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(isReadOnly(dir.file("none")));
}

TEST(MakeWritable, AddsOnlyTheOwnersWriteBitAndRestoresTheExactMode) {
    struct Case {
        bool directory;
        mode_t before;
        mode_t writable;
    };
    for (const Case& c :
         {Case{true, 0555, 0755}, Case{false, 0, 0200}, Case{true, 02555, 02755}, Case{false, 0640, 0640}}) {
        SCOPED_TRACE(c.before);
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

TEST(MakeWritable, LeavesWhatLiesBehindALinkAloneAndReportsARefusedChange) {
    TempDir dir;
    const std::string target = dir.write("target", "t");
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    const std::string link = dir.file("link");
    ASSERT_EQ(::symlink("target", link.c_str()), 0);
    mode_t previous = 0;

    EXPECT_EQ(makeWritable(link, previous), FileError::IsSymlink);
    EXPECT_EQ(restoreMode(link, 0644), FileError::IsSymlink);
    EXPECT_EQ(modeOf(target), 0444u);

    korvel::testing::FaultyDisk refusing;
    refusing.refuseChmod = [](const std::string&) { return EPERM; };
    DiskScope scope(refusing);
    EXPECT_EQ(makeWritable(target, previous), std::errc::operation_not_permitted);
    EXPECT_EQ(restoreMode(target, 0644), std::errc::operation_not_permitted);
    EXPECT_EQ(modeOf(target), 0444u);
}

}  // namespace
}  // namespace korvel::platform
