#include "site/probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace korvel {
namespace {

using testing::TempDir;

// A file of "length" bytes of 'a' with "text" placed at "offset".
std::string filler(std::size_t length, std::size_t offset, std::string_view text) {
    std::string bytes(length, 'a');
    bytes.replace(offset, text.size(), text);
    return bytes;
}

// A label made fit for a test name.
std::string testName(std::string label) {
    for (char& ch : label) {
        const bool keep = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
        if (!keep) ch = '_';
    }
    return label;
}

struct ContentCase {
    const char* label;
    std::string bytes;
    bool ascii;
    LineEndKind kind;
};

void PrintTo(const ContentCase& c, std::ostream* os) {
    *os << c.label;
}

class ProbeContentTest : public ::testing::TestWithParam<ContentCase> {};

TEST_P(ProbeContentTest, ClassifiesAsciiAndLineEnd) {
    TempDir dir;
    const auto& c = GetParam();
    const FileProbe probe = makeProbe(dir.write("sample.dat", c.bytes));
    ASSERT_TRUE(probe.exists);
    EXPECT_FALSE(probe.isDirectory);
    EXPECT_EQ(probe.size, static_cast<std::int64_t>(c.bytes.size()));
    EXPECT_EQ(probe.headLength, static_cast<std::int32_t>(std::min(c.bytes.size(), kProbeHeadSize)));
    EXPECT_EQ(isAsciiFile(probe), c.ascii);
    EXPECT_EQ(detectLineEnd(probe), c.kind);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Bytes, ProbeContentTest,
    ::testing::Values(
        ContentCase{"empty", "", true, kNoLineEnd}, ContentCase{"crlf", "abc\r\ndef", true, kCrLf},
        ContentCase{"cr", "abc\rdef", true, kCr}, ContentCase{"lf", "abc\ndef", true, kLf},
        ContentCase{"no line end", "abc def", true, kNoLineEnd},
        ContentCase{"first line end decides", "abc\ndef\r\nghi\r", true, kLf},
        ContentCase{"cr then cr", "a\r\r\n", true, kCr},
        ContentCase{"utf8 without bom", "caf\xC3\xA9\r\n", false, kCrLf},
        ContentCase{"utf8 with bom", "\xEF\xBB\xBFplain\n", false, kLf},
        // The search stops at the first NUL of each block, so UTF-16 text shows no line end.
        ContentCase{"utf16le with bom",
                    "\xFF\xFE"
                    "a\0b\0\r\0\n\0"s,
                    false, kNoLineEnd},
        ContentCase{"nul before the line end", "ab\0\ncd"s, true, kNoLineEnd},
        ContentCase{"binary below 128", "\x01\x02\0\x7F\x1B"s, true, kNoLineEnd},
        ContentCase{"copyright byte alone", "\xA9 2024 Korvel\n", true, kLf},
        ContentCase{"byte 200", "a\xC8z", false, kNoLineEnd},
        ContentCase{"byte 128", "\x80", false, kNoLineEnd},
        ContentCase{"high byte after the head is not seen", filler(600, 590, "\xC8"), true, kNoLineEnd},
        ContentCase{"cr ends a 512-byte file", filler(512, 511, "\r"), true, kCr},
        ContentCase{"cr ends the head, lf follows", filler(600, 511, "\r\n"), true, kCrLf},
        ContentCase{"cr ends the head, x follows", filler(600, 511, "\rx"), true, kCr},
        ContentCase{"cr ends a later block, lf follows", filler(2000, 1023, "\r\n"), true, kCrLf},
        ContentCase{"cr ends the file in a later block", filler(1024, 1023, "\r"), true, kCr},
        ContentCase{"cr in a short last block", filler(700, 699, "\r"), true, kCr},
        // A NUL hides the rest of its block only: the LF at 700 is not seen, the CR LF of the next block is.
        ContentCase{"nul hides the rest of its block",
                    filler(1200, 600, "\0"s).replace(700, 1, "\n").replace(1100, 2, "\r\n"), true, kCrLf},
        ContentCase{"lf at the last searched byte", filler(21000, 20479, "\n"), true, kLf},
        ContentCase{"cr at the last searched byte, lf beyond", filler(21000, 20479, "\r\n"), true, kCrLf},
        ContentCase{"lf just beyond the search", filler(21000, 20480, "\n"), true, kNoLineEnd},
        ContentCase{"cr just beyond the search", filler(30000, 20480, "\r\n"), true, kNoLineEnd}),
    [](const auto& info) { return testName(info.param.label); });

TEST(ProbeHead, KeepsOnlyTheFirst512BytesWithAsciiLettersLowered) {
    TempDir dir;
    const std::string bytes = "ABC Xyz \xC9\xD6 [@]^_`{" + std::string(600, 'Q');
    const FileProbe probe = makeProbe(dir.write("upper.TXT", bytes));
    ASSERT_EQ(probe.head.size(), kProbeHeadSize);
    EXPECT_EQ(probe.headLength, 512);
    EXPECT_EQ(probe.size, 618);
    // Letters outside A-Z (Latin-1 capitals here) and the neighbours of 'A' and 'Z' keep their bytes.
    EXPECT_EQ(probe.head.substr(0, 18), "abc xyz \xC9\xD6 [@]^_`{");
    EXPECT_EQ(probe.head.substr(18), std::string(494, 'q'));
    EXPECT_EQ(probe.path, dir.file("upper.TXT"));
}

TEST(ProbeHead, LowerCasingStopsAtTheFirstNul) {
    TempDir dir;
    const FileProbe probe = makeProbe(dir.write("nul.bin", "ABC\0DEF"s));
    EXPECT_EQ(probe.head, "abc\0DEF"s);
    EXPECT_EQ(probe.headLength, 7);
}

TEST(ProbeEntry, EmptyFileExistsWithSizeZero) {
    TempDir dir;
    const FileProbe probe = makeProbe(dir.write("empty.txt", ""));
    EXPECT_TRUE(probe.exists);
    EXPECT_FALSE(probe.isDirectory);
    EXPECT_EQ(probe.size, 0);
    EXPECT_EQ(probe.headLength, 0);
    EXPECT_TRUE(probe.head.empty());
}

TEST(ProbeEntry, DirectoryIsNotRead) {
    TempDir dir;
    const FileProbe probe = makeProbe(dir.mkdir("docs.html"));
    EXPECT_TRUE(probe.exists);
    EXPECT_TRUE(probe.isDirectory);
    EXPECT_EQ(probe.size, 0);
    EXPECT_EQ(probe.headLength, 0);
    EXPECT_EQ(detectLineEnd(probe), kNoLineEnd);
}

TEST(ProbeEntry, MissingPathDoesNotExist) {
    TempDir dir;
    for (const std::string& path : {dir.file("missing.txt"), dir.file("missing/below.txt")}) {
        const FileProbe probe = makeProbe(path);
        EXPECT_FALSE(probe.exists) << path;
        EXPECT_FALSE(probe.isDirectory) << path;
        EXPECT_EQ(probe.size, 0) << path;
        EXPECT_FALSE(isAsciiFile(probe)) << path;
        EXPECT_EQ(detectLineEnd(probe), kNoLineEnd) << path;
    }
}

TEST(ProbeEntry, SizeBeyond4GiBBoundariesIsExact) {
    TempDir dir;
    const std::string path = dir.file("huge.bin");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    constexpr std::int64_t kThreeGiB = std::int64_t{3} << 30;
    ASSERT_EQ(::ftruncate(fd, kThreeGiB), 0);
    ::close(fd);
    const FileProbe probe = makeProbe(path);
    EXPECT_EQ(probe.size, kThreeGiB);
    EXPECT_EQ(probe.headLength, 512);
    EXPECT_TRUE(isAsciiFile(probe));
    EXPECT_EQ(detectLineEnd(probe), kNoLineEnd);
}

TEST(ProbeEntry, UnreadableFileIsNeverText) {
    if (testing::permissionsAreIgnored()) GTEST_SKIP() << "permission bits are ignored for this user";
    TempDir dir;
    const std::string path = dir.write("locked.txt", "plain\r\ntext\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    const FileProbe probe = makeProbe(path);
    EXPECT_TRUE(probe.exists);
    EXPECT_EQ(probe.size, -1);
    EXPECT_EQ(probe.headLength, 0);
    EXPECT_FALSE(isAsciiFile(probe));
    EXPECT_EQ(detectLineEnd(probe), kNoLineEnd);
}

TEST(ProbeEntry, FifoIsNotOpenedAndNeverText) {
    TempDir dir;
    const std::string path = dir.file("pipe.txt");
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    // Opening the FIFO for reading would wait for a writer; the probe must come back at once.
    const FileProbe probe = makeProbe(path);
    EXPECT_TRUE(probe.exists);
    EXPECT_FALSE(probe.isDirectory);
    EXPECT_EQ(probe.size, -1);
    EXPECT_FALSE(isAsciiFile(probe));
    EXPECT_EQ(detectLineEnd(probe), kNoLineEnd);
}

TEST(ProbeEntry, LinkToAFileIsReadThroughTheLink) {
    TempDir dir;
    dir.write("shared/style.css", "BODY {}\r\n");
    const std::string link = dir.file("style.css");
    ASSERT_EQ(::symlink("shared/style.css", link.c_str()), 0);
    const FileProbe probe = makeProbe(link);
    EXPECT_TRUE(probe.exists);
    EXPECT_EQ(probe.size, 9);
    EXPECT_EQ(probe.head, "body {}\r\n");
    EXPECT_EQ(detectLineEnd(probe), kCrLf);
}

TEST(ProbeEntry, LinkToADirectoryOrNowhereIsNotFollowed) {
    TempDir dir;
    dir.write("real/index.html", "<html><head>");
    const std::string toDir = dir.file("alias");
    const std::string dangling = dir.file("gone.html");
    ASSERT_EQ(::symlink("real", toDir.c_str()), 0);
    ASSERT_EQ(::symlink("nowhere.html", dangling.c_str()), 0);
    for (const std::string& path : {toDir, dangling}) {
        const FileProbe probe = makeProbe(path);
        EXPECT_TRUE(probe.exists) << path;
        EXPECT_FALSE(probe.isDirectory) << path;
        EXPECT_EQ(probe.size, -1) << path;
        EXPECT_EQ(probe.headLength, 0) << path;
        EXPECT_FALSE(isAsciiFile(probe)) << path;
    }
}

TEST(ProbeEntry, AnEntryLookedAtInItsOpenDirectoryIsProbedAsByPath) {
    TempDir dir;
    dir.write("page.html", "<html>\n");
    dir.write("empty.txt", "");
    dir.write("one-line.js", std::string(3000, 'x'));
    dir.mkdir("sub");
    ASSERT_EQ(::symlink("page.html", dir.file("link.html").c_str()), 0);
    ASSERT_EQ(::symlink("sub", dir.file("to-dir").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", dir.file("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0644), 0);
    const int dirFd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    for (const char* name : {"page.html", "empty.txt", "one-line.js", "sub", "link.html", "to-dir",
                             "dangling", "pipe", "gone"}) {
        const std::string path = dir.file(name);
        const FileProbe byPath = makeProbe(path);
        const FileProbe inDir = makeProbeAt(dirFd, name, path);
        EXPECT_EQ(inDir.path, path);
        EXPECT_EQ(inDir.exists, byPath.exists) << name;
        EXPECT_EQ(inDir.isDirectory, byPath.isDirectory) << name;
        EXPECT_EQ(inDir.symlink, byPath.symlink) << name;
        EXPECT_EQ(inDir.special, byPath.special) << name;
        EXPECT_EQ(inDir.readOnly, byPath.readOnly) << name;
        EXPECT_EQ(inDir.size, byPath.size) << name;
        EXPECT_EQ(inDir.head, byPath.head) << name;
        EXPECT_EQ(detectLineEnd(inDir), detectLineEnd(byPath)) << name;
    }
    EXPECT_TRUE(makeProbe(dir.file("link.html")).symlink);
    EXPECT_TRUE(makeProbe(dir.file("pipe")).special);
    EXPECT_FALSE(makeProbe(dir.file("gone")).exists);
    ::close(dirFd);
}

struct HtmlCase {
    const char* label;
    const char* name;
    std::string bytes;
    bool html;
};

void PrintTo(const HtmlCase& c, std::ostream* os) {
    *os << c.label;
}

class ProbeHtmlTest : public ::testing::TestWithParam<HtmlCase> {};

TEST_P(ProbeHtmlTest, DefaultLists) {
    TempDir dir;
    const auto& c = GetParam();
    const FileProbe probe = makeProbe(dir.write(c.name, c.bytes));
    EXPECT_EQ(isHtmlFile(probe), c.html);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ProbeHtmlTest,
    ::testing::Values(HtmlCase{"upper case extension", "PAGE.HTM", "\x89PNG\0\0"s, true},
                      HtmlCase{"mixed case extension", "Page.HtMl", "", true},
                      HtmlCase{"another default extension", "form.php", "", true},
                      HtmlCase{"content in any case", "notes.txt", "<HTML>\r\n<Head><title>x</title>", true},
                      HtmlCase{"texts in any order", "notes.txt", "<head></head><html>", true},
                      HtmlCase{"only one text", "notes.txt", "<HTML><body>no head here</body>", false},
                      HtmlCase{"texts beyond the head", "notes.txt", std::string(512, ' ') + "<html><head>",
                               false},
                      HtmlCase{"texts after a nul", "notes.txt", "x\0<html><head>"s, false},
                      HtmlCase{"no extension", "README", "plain", false},
                      HtmlCase{"extension is a prefix", "page.html5", "", false},
                      HtmlCase{"extension with a longer tail", "page.htmlx", "", false},
                      HtmlCase{"dot in a directory name", "site.old/readme", "plain", false},
                      HtmlCase{"dot in a directory named like html", "old.html/readme", "plain", false}),
    [](const auto& info) { return testName(info.param.label); });

TEST(ProbeHtml, CustomExtensionsReplaceTheDefaults) {
    TempDir dir;
    HtmlDefinitions definitions;
    definitions.extensions = {"SHTML", "xhtml"};
    EXPECT_TRUE(isHtmlFile(makeProbe(dir.write("a.shtml", "")), definitions));
    EXPECT_TRUE(isHtmlFile(makeProbe(dir.write("b.XHTML", "")), definitions));
    EXPECT_FALSE(isHtmlFile(makeProbe(dir.write("c.html", "")), definitions));
}

TEST(ProbeHtml, EmptyExtensionItemMatchesNothing) {
    TempDir dir;
    HtmlDefinitions definitions;
    definitions.extensions = {""};
    EXPECT_FALSE(isHtmlFile(makeProbe(dir.write("README", "")), definitions));
    EXPECT_FALSE(isHtmlFile(makeProbe(dir.write("trailing.", "")), definitions));
}

TEST(ProbeHtml, EmptyLiteralListMakesNothingHtmlByContent) {
    TempDir dir;
    HtmlDefinitions definitions;
    definitions.literalTexts.clear();
    const FileProbe probe = makeProbe(dir.write("notes.txt", "<html><head>"));
    EXPECT_FALSE(isHtmlFile(probe, definitions));
    EXPECT_TRUE(isHtmlFile(probe));
}

TEST(ProbeHtml, CustomLiteralTextsAreLowered) {
    TempDir dir;
    HtmlDefinitions definitions;
    definitions.literalTexts = {"<!DOCTYPE HTML"};
    EXPECT_TRUE(isHtmlFile(makeProbe(dir.write("a.txt", "<!doctype html>\n")), definitions));
    EXPECT_FALSE(isHtmlFile(makeProbe(dir.write("b.txt", "<html><head>")), definitions));
}

}  // namespace
}  // namespace korvel
