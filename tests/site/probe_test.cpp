#include "site/probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/temp_dir.h"

namespace korvel {
namespace {

using namespace std::string_literals;
using testing::TempDir;

// A file of "length" bytes of 'a' with "text" placed at "offset".
std::string filler(std::size_t length, std::size_t offset, std::string_view text) {
    std::string bytes(length, 'a');
    bytes.replace(offset, text.size(), text);
    return bytes;
}

TEST(Probe, ClassifiesAsciiAndLineEnd) {
    struct Case {
        const char* label;
        std::string bytes;
        bool ascii;
        LineEndKind kind;
    };
    const Case cases[] = {
        {"empty", "", true, kNoLineEnd},
        {"crlf", "abc\r\ndef", true, kCrLf},
        {"first line end decides", "abc\ndef\r\nghi\r", true, kLf},
        {"cr then cr", "a\r\r\n", true, kCr},
        {"utf8 without bom", "caf\xC3\xA9\r\n", false, kCrLf},
        // The search stops at the first NUL of each block, so UTF-16 text shows no line end.
        {"utf16le with bom",
         "\xFF\xFE"
         "a\0b\0\r\0\n\0"s,
         false, kNoLineEnd},
        {"binary below 128", "\x01\x02\0\x7F\x1B"s, true, kNoLineEnd},
        {"copyright byte alone", "\xA9 2024 Korvel\n", true, kLf},
        {"byte 200", "a\xC8z", false, kNoLineEnd},
        {"byte 128", "\x80", false, kNoLineEnd},
        {"high byte after the head is not seen", filler(600, 590, "\xC8"), true, kNoLineEnd},
        {"cr ends a 512-byte file", filler(512, 511, "\r"), true, kCr},
        {"cr ends the head, lf follows", filler(600, 511, "\r\n"), true, kCrLf},
        {"cr ends the head, x follows", filler(600, 511, "\rx"), true, kCr},
        {"cr ends a later block, lf follows", filler(2000, 1023, "\r\n"), true, kCrLf},
        {"cr ends the file in a later block", filler(1024, 1023, "\r"), true, kCr},
        {"cr in a short last block", filler(700, 699, "\r"), true, kCr},
        // A NUL hides the rest of its block only: the LF at 700 is not seen, the CR LF of the next block is.
        {"nul hides the rest of its block",
         filler(1200, 600, "\0"s).replace(700, 1, "\n").replace(1100, 2, "\r\n"), true, kCrLf},
        {"lf at the last searched byte", filler(21000, 20479, "\n"), true, kLf},
        {"cr at the last searched byte, lf beyond", filler(21000, 20479, "\r\n"), true, kCrLf},
        {"lf just beyond the search", filler(21000, 20480, "\n"), true, kNoLineEnd},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const FileProbe probe = makeProbe(dir.write("sample.dat", c.bytes));
        ASSERT_TRUE(probe.exists);
        EXPECT_EQ(probe.size, static_cast<std::int64_t>(c.bytes.size()));
        EXPECT_EQ(probe.headLength, static_cast<std::int32_t>(std::min(c.bytes.size(), kProbeHeadSize)));
        EXPECT_EQ(isAsciiFile(probe), c.ascii);
        EXPECT_EQ(detectLineEnd(probe), c.kind);
    }
}

TEST(Probe, HeadKeepsTheFirst512BytesWithAsciiLettersLoweredUpToANul) {
    TempDir dir;
    const std::string bytes = "ABC Xyz \xC9\xD6 [@]^_`{" + std::string(600, 'Q');
    const FileProbe probe = makeProbe(dir.write("upper.TXT", bytes));
    EXPECT_EQ(probe.headLength, 512);
    EXPECT_EQ(probe.path, dir.file("upper.TXT"));
    // Letters outside A-Z (Latin-1 capitals here) and the neighbours of 'A' and 'Z' keep their bytes.
    EXPECT_EQ(probe.head, "abc xyz \xC9\xD6 [@]^_`{" + std::string(494, 'q'));
    EXPECT_EQ(makeProbe(dir.write("nul.bin", "ABC\0DEF"s)).head, "abc\0DEF"s);
}

// Looked at by path or in its open directory, each kind of entry gives the same probe.
TEST(Probe, EachKindOfEntryByPathAndInItsDirectory) {
    TempDir dir;
    dir.write("shared/style.css", "BODY {}\r\n");
    dir.write("empty.txt", "");
    dir.mkdir("sub.html");
    ASSERT_EQ(::symlink("shared/style.css", dir.file("style.css").c_str()), 0);
    ASSERT_EQ(::symlink("shared", dir.file("to-dir").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere.html", dir.file("dangling.html").c_str()), 0);
    // Opening a FIFO for reading would wait for a writer; the probe must come back at once.
    ASSERT_EQ(::mkfifo(dir.file("pipe.txt").c_str(), 0644), 0);
    const int fd = ::open(dir.file("huge.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    constexpr std::int64_t kThreeGiB = std::int64_t{3} << 30;
    ASSERT_EQ(::ftruncate(fd, kThreeGiB), 0);
    ::close(fd);
    struct Case {
        const char* name;
        bool exists, isDirectory, symlink, special;
        std::int64_t size;
        std::string head;
        bool ascii;
        LineEndKind kind;
    };
    const Case cases[] = {
        {"style.css", true, false, true, false, 9, "body {}\r\n", true, kCrLf},
        {"empty.txt", true, false, false, false, 0, "", true, kNoLineEnd},
        {"sub.html", true, true, false, false, 0, "", true, kNoLineEnd},
        {"to-dir", true, false, true, true, -1, "", false, kNoLineEnd},
        {"dangling.html", true, false, true, true, -1, "", false, kNoLineEnd},
        {"pipe.txt", true, false, false, true, -1, "", false, kNoLineEnd},
        {"huge.bin", true, false, false, false, kThreeGiB, std::string(512, '\0'), true, kNoLineEnd},
        {"missing.txt", false, false, false, false, 0, "", false, kNoLineEnd},
        {"missing/below.txt", false, false, false, false, 0, "", false, kNoLineEnd},
    };
    const int dirFd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    for (const Case& c : cases) {
        for (const FileProbe& probe :
             {makeProbe(dir.file(c.name)), makeProbeAt(dirFd, c.name, dir.file(c.name))}) {
            SCOPED_TRACE(c.name);
            EXPECT_EQ(probe.path, dir.file(c.name));
            EXPECT_EQ(probe.exists, c.exists);
            EXPECT_EQ(probe.isDirectory, c.isDirectory);
            EXPECT_EQ(probe.symlink, c.symlink);
            EXPECT_EQ(probe.special, c.special);
            EXPECT_EQ(probe.size, c.size);
            EXPECT_EQ(probe.head, c.head);
            EXPECT_EQ(isAsciiFile(probe), c.ascii);
            EXPECT_EQ(detectLineEnd(probe), c.kind);
        }
    }
    ::close(dirFd);
}

TEST(Probe, UnreadableFileIsNeverText) {
    if (testing::permissionsAreIgnored()) GTEST_SKIP() << "permission bits are ignored for this user";
    TempDir dir;
    const std::string path = dir.write("locked.txt", "plain\r\ntext\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    const FileProbe probe = makeProbe(path);
    EXPECT_TRUE(probe.exists);
    EXPECT_TRUE(probe.readOnly);
    EXPECT_EQ(probe.size, -1);
    EXPECT_EQ(probe.headLength, 0);
    EXPECT_FALSE(isAsciiFile(probe));
    EXPECT_EQ(detectLineEnd(probe), kNoLineEnd);
}

TEST(Probe, HtmlByExtensionOrByEveryLiteralTextInTheHead) {
    struct Case {
        const char* name;
        std::string bytes;
        bool html;
    };
    const Case cases[] = {
        {"PAGE.HTM", "\x89PNG\0\0"s, true},
        {"form.php", "", true},
        {"notes.txt", "<HTML>\r\n<Head><title>x</title>", true},
        {"notes.txt", "<head></head><html>", true},
        {"notes.txt", "<HTML><body>no head here</body>", false},
        {"notes.txt", std::string(512, ' ') + "<html><head>", false},
        {"notes.txt", "x\0<html><head>"s, false},
        {"README", "plain", false},
        {"page.html5", "", false},
        {"site.old/readme", "plain", false},
        {"old.html/readme", "plain", false},
    };
    TempDir dir;
    for (const Case& c : cases)
        EXPECT_EQ(isHtmlFile(makeProbe(dir.write(c.name, c.bytes))), c.html) << c.name << ": " << c.bytes;

    // An empty item of one's own lists matches nothing.
    HtmlDefinitions own;
    own.extensions = {""};
    own.literalTexts.clear();
    EXPECT_FALSE(isHtmlFile(makeProbe(dir.write("trailing.", "<html><head>")), own));
}

}  // namespace
}  // namespace korvel
