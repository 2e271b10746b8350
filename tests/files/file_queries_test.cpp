#include "files/file_queries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace korvel::files {
namespace {

namespace fs = std::filesystem;
using korvel::testing::TempDir;

// One of each kind of entry, for the table tests below.
class Entries : public ::testing::Test {
  protected:
    void SetUp() override {
        ::chmod(dir_.write("plain.txt", "text").c_str(), 0644);
        ::chmod(dir_.write("tool.sh", "#!/bin/sh\n").c_str(), 0744);
        dir_.write("PAGE.LNK", "");
        dir_.mkdir("folder");
        fs::create_symlink(dir_.file("plain.txt"), dir_.file("link-to-file"));
        fs::create_symlink(dir_.file("folder"), dir_.file("link-to-folder"));
        fs::create_symlink(dir_.file("gone"), dir_.file("dangling"));
        ASSERT_EQ(::mkfifo(dir_.file("pipe").c_str(), 0644), 0);
    }
    TempDir dir_;
};

struct KindCase {
    const char* entry;
    bool exists;
    bool directory;
    bool executable;
    bool plain;
};

std::ostream& operator<<(std::ostream& out, const KindCase& c) {
    return out << c.entry;
}

class KindTest : public Entries, public ::testing::WithParamInterface<KindCase> {};

TEST_P(KindTest, AnswersEachQuestion) {
    const std::string path = dir_.file(GetParam().entry);
    EXPECT_EQ(pathExists(path), GetParam().exists);
    EXPECT_EQ(pathIsDirectory(path), GetParam().directory);
    EXPECT_EQ(isExecutable(path), GetParam().executable);
    EXPECT_EQ(isPlainFile(path), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, KindTest,
    ::testing::Values(
        // entry           exists directory executable plain
        KindCase{"plain.txt", true, false, false, true}, KindCase{"tool.sh", true, false, true, false},
        KindCase{"PAGE.LNK", true, false, false, false}, KindCase{"folder", true, true, false, false},
        KindCase{"link-to-file", true, false, false, true},
        // Never followed: a link to a directory is no directory here.
        KindCase{"link-to-folder", true, false, false, false},
        KindCase{"dangling", true, false, false, false}, KindCase{"pipe", true, false, false, false},
        KindCase{"missing", false, false, false, false}));

TEST(PathExists, NeedsASeparator) {
    TempDir dir;
    dir.write("here", "");
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_FALSE(pathExists("here"));
    EXPECT_TRUE(pathExists("./here"));
    fs::current_path(previous);
}

TEST(IsShortcut, TestsTheLastFourCharactersInAnyCase) {
    EXPECT_TRUE(isShortcut("/site/PAGE.LNK"));
    EXPECT_TRUE(isShortcut("/site/page.Lnk"));
    EXPECT_FALSE(isShortcut("/site/page.lnk.html"));
    EXPECT_FALSE(isShortcut("/site/pagelnk"));
    EXPECT_FALSE(isShortcut("lnk"));
}

TEST(IsEmptyDirectory, CountsEveryEntryHiddenOnesToo) {
    TempDir dir;
    const std::string empty = dir.mkdir("empty");
    const std::string hidden = dir.mkdir("hidden");
    dir.write("hidden/.htaccess", "");
    const std::string file = dir.write("file", "x");

    EXPECT_TRUE(isEmptyDirectory(empty));
    EXPECT_FALSE(isEmptyDirectory(hidden));
    EXPECT_TRUE(isEmptyDirectory(file)) << "what is not a directory counts as empty";
    EXPECT_TRUE(isEmptyDirectory(dir.file("missing")));
}

TEST(IsEmptyDirectory, ADirectoryThatCannotBeListedIsNotCalledEmpty) {
    if (korvel::testing::permissionsAreIgnored()) GTEST_SKIP() << "root can list any directory";
    TempDir dir;
    const std::string locked = dir.mkdir("locked");
    dir.write("locked/page.htm", "");
    ::chmod(locked.c_str(), 0311);

    EXPECT_FALSE(isEmptyDirectory(locked));
}

TEST(FileSize, IsTheLengthInSixtyFourBits) {
    TempDir dir;
    const std::string big = dir.write("big.iso", "");
    // Sparse: five gibibytes of length without the disk space.
    ASSERT_EQ(::truncate(big.c_str(), 5LL << 30), 0);

    EXPECT_EQ(fileSize(dir.write("empty", "")), 0);
    EXPECT_EQ(fileSize(dir.write("three", "abc")), 3);
    EXPECT_EQ(fileSize(big), 5LL << 30);
    EXPECT_EQ(fileSize(dir.mkdir("folder")), -1);
    EXPECT_EQ(fileSize(dir.file("missing")), -1);
}

TEST(CountEntries, CountsSubdirectoriesOnlyWhenRecursiveAndNeverThroughALink) {
    TempDir dir;
    dir.write("site/a.htm", "");
    dir.write("site/.b", "");
    dir.write("site/img/1.gif", "");
    dir.write("site/img/2.gif", "");
    dir.write("site/img/deep/3.gif", "");
    dir.write("outside/x", "");
    dir.write("outside/y", "");
    fs::create_symlink(dir.file("outside"), dir.file("site/link"));

    EXPECT_EQ(countEntries(dir.file("site"), false), 4u);           // a.htm .b img link
    EXPECT_EQ(countEntries(dir.file("site"), true), 4u + 3u + 1u);  // and img's 3, deep's 1
    EXPECT_EQ(countEntries(dir.file("missing"), true), 0u);
}

struct ReadCase {
    const char* label;
    std::int64_t offset;
    std::size_t count;
    std::int64_t result;
    std::string bytes;
};

std::ostream& operator<<(std::ostream& out, const ReadCase& c) {
    return out << c.label;
}

class ReadAtTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadAtTest, ReadsWhatIsThere) {
    TempDir dir;
    const std::string path = dir.write("digits", std::string("01234\0"
                                                             "6789",
                                                             10));
    std::string out = "stale";

    EXPECT_EQ(readAt(path, out, GetParam().count, GetParam().offset), GetParam().result);
    EXPECT_EQ(out, GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadAtTest,
                         ::testing::Values(ReadCase{"from the start", 0, 4, 4, "0123"},
                                           ReadCase{"across a NUL byte", 3, 4, 4,
                                                    std::string("34\0"
                                                                "6",
                                                                4)},
                                           ReadCase{"short at the end", 8, 10, 2, "89"},
                                           ReadCase{"at the very end", 10, 4, 0, ""},
                                           ReadCase{"beyond the end", 11, 4, -1, ""},
                                           ReadCase{"negative offset", -1, 4, -1, ""},
                                           ReadCase{"nothing asked", 2, 0, 0, ""}),
                         [](const auto& info) {
                             std::string name = info.param.label;
                             for (char& c : name)
                                 if (c == ' ') c = '_';
                             return name;
                         });

}  // namespace
}  // namespace korvel::files
