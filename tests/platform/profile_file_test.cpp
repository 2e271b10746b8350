#include "platform/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <filesystem>
#include <string>

#include "platform/disk.h"
#include "support/faulty_disk.h"
#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

using namespace std::string_view_literals;
using testing::readFile;
using testing::TempDir;

ProfileFile loaded(const std::string& path) {
    ProfileFile profile;
    EXPECT_FALSE(profile.load(path)) << path;
    return profile;
}

// A file the way people leave them: comments, odd spacing, mixed case, a section without a key we know.
constexpr std::string_view kSample =
    "; written by hand\r\n[Settings]\r\n  Target =  3  \r\ndirectory=/srv/www/site\r\n"
    "Quoted=\"  padded  \"\r\nEmpty=\r\nno equals sign here\r\n;Commented=1\r\nDup=first\r\nN=-12abc\r\n\r\n"
    "[Other]\r\nTarget=9\r\n[settings]\r\nDup=second\r\nLater=found\r\n";

TEST(ProfileFile, FindsValuesAsTheProfileReaderDoes) {
    struct Case {
        std::string_view section, key, expected;
    };
    TempDir dir;
    const ProfileFile profile = loaded(dir.write("k.ini", kSample));
    for (const Case& c : {Case{"SETTINGS", "target", "3"},  // blanks dropped, names compared without case
                          Case{"Settings", "Directory", "/srv/www/site"},
                          Case{"Settings", "Quoted", "  padded  "},  // one pair of quotes taken off
                          Case{"Settings", "Empty", ""}, Case{"Settings", "Commented", "<missing>"},
                          Case{"Settings", "no equals sign here", "<missing>"},
                          Case{"Settings", "Dup", "first"},    // the first of two wins
                          Case{"Settings", "Later", "found"},  // a second section of that name counts
                          Case{"Other", "Target", "9"}, Case{"Other", "Directory", "<missing>"},
                          Case{"Nowhere", "Target", "<missing>"}}) {
        EXPECT_EQ(profile.getString(c.section, c.key, "<missing>"), c.expected) << c.section << "/" << c.key;
        EXPECT_EQ(profile.hasKey(c.section, c.key), c.expected != "<missing>") << c.section << "/" << c.key;
    }
    EXPECT_EQ(profile.getInt("Settings", "N", 77), -12);
    EXPECT_EQ(profile.getInt("Settings", "Missing", 77), 77);
}

// Sets a single-byte locale whose case rules differ from ASCII for the test's lifetime.
class ForeignLocale {
  public:
    ForeignLocale() : saved_(std::setlocale(LC_CTYPE, nullptr)) {
        for (const char* name : {"tr_TR.ISO-8859-9", "tr_TR.iso88599", "tr_TR", "de_DE.ISO-8859-1"})
            if ((active_ = std::setlocale(LC_CTYPE, name) != nullptr)) break;
    }
    ~ForeignLocale() { std::setlocale(LC_CTYPE, saved_.c_str()); }
    bool active() const { return active_; }

  private:
    std::string saved_;
    bool active_ = false;
};

TEST(ProfileFile, NamesCompareByAsciiCaseWhateverTheLocale) {
    ForeignLocale locale;
    if (!locale.active()) GTEST_SKIP() << "no single-byte foreign locale installed";
    TempDir dir;
    const ProfileFile profile = loaded(dir.write("k.ini", "[SETTINGS]\nDIRECTORY=/x\n\xC9=latin\n"));
    EXPECT_EQ(profile.getString("settings", "directory"), "/x");  // "I" is no dotless i here
    EXPECT_FALSE(profile.hasKey("Settings", "\xE9"));             // only ASCII letters fold
}

TEST(ProfileFile, ReadsTheLeadingDigitsSaturated) {
    ProfileFile profile;
    profile.parse(
        "[S]\nA=  +3  \nB=abc\nC=\nD=-\nE=0x10\nF=\"5\"\nG=2147483648\nH=-2147483648\nI=-99999999999\n"
        "J=123456789012345678901234567890\n");
    const std::int32_t expected[] = {3, 0, 0, 0, 0, 5, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX};
    for (char key = 'A'; key <= 'J'; ++key)
        EXPECT_EQ(profile.getInt("S", std::string(1, key), 77), expected[key - 'A']) << key;
}

TEST(ProfileFile, LongValuesAreCutAt260BytesKeepingUtf8CharactersWhole) {
    ProfileFile profile;
    // "a" then two-byte characters: byte 260 falls in the middle of one.
    std::string value = "a";
    for (int i = 0; i < 200; ++i)
        value += "\xC3\xA9";
    profile.parse("[S]\nK=" + value + "\nE=ab\xF0\x9F\x98\x80\n");
    EXPECT_EQ(profile.getString("S", "K"), value.substr(0, 259));
    EXPECT_EQ(profile.getString("S", "K", {}, 11), value.substr(0, 11));
    EXPECT_EQ(profile.getString("S", "K", {}, ProfileFile::kWhole), value);
    // A four-byte character straddling the limit goes whole.
    EXPECT_EQ(profile.getString("S", "E", {}, 4), "ab");
    EXPECT_EQ(profile.getString("S", "E", {}, 6), "ab\xF0\x9F\x98\x80");
}

TEST(ProfileFile, WritingKeepsEveryOtherByte) {
    TempDir dir;
    const std::string path = dir.write("k.ini", kSample);
    ProfileFile profile = loaded(path);
    ASSERT_FALSE(profile.setString("SETTINGS", "target", "5"));
    ASSERT_FALSE(profile.save());
    std::string expected(kSample);
    expected.replace(expected.find("  Target =  3  "), 15, "Target=5");
    EXPECT_EQ(readFile(path), expected);

    // A missing key goes at the end of its section, with the file's line ends and its byte order mark.
    profile = loaded(dir.write("k.ini", "\xEF\xBB\xBF[A]\r\nx=1\r\n\r\n[B]\r\ny=2"));
    ASSERT_FALSE(profile.setString("a", "New", "v"));
    ASSERT_FALSE(profile.setInt("B", "Last", -4));     // after a last line without a line end
    ASSERT_FALSE(profile.setString("C", "Key", "z"));  // a section that is not there yet
    ASSERT_FALSE(profile.save());
    EXPECT_EQ(readFile(path),
              "\xEF\xBB\xBF[A]\r\nx=1\r\nNew=v\r\n\r\n[B]\r\ny=2\r\nLast=-4\r\n\r\n[C]\r\nKey=z\r\n");
}

TEST(ProfileFile, EveryValueWithoutALineBreakReadsBackAsWritten) {
    TempDir dir;
    const std::string path = dir.write("k.ini", "");
    for (const std::string_view value :
         {"plain", "", " leading", "trailing\t", "\"quoted\"", "\"", "\"\"", "a\"b", "a=b", ";not a comment",
          "[not a section]", "   ", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", "\xFF\xFE bytes"}) {
        ProfileFile writer = loaded(path);
        ASSERT_FALSE(writer.setString("S", "K", value));
        ASSERT_FALSE(writer.save());
        EXPECT_EQ(loaded(path).getString("S", "K", "<missing>", ProfileFile::kWhole), value)
            << readFile(path);
    }
}

TEST(ProfileFile, RefusesWhatWouldNotReadBack) {
    TempDir dir;
    const std::string path = dir.write("k.ini", "[S]\nK=old\n");
    ProfileFile profile = loaded(path);
    for (std::string_view value : {"a\nb"sv, "a\rb"sv, "a\0b"sv})
        EXPECT_EQ(profile.setString("S", "K", value), std::errc::invalid_argument);
    const std::pair<std::string_view, std::string_view> badNames[] = {
        {"", "K"}, {"S]", "K"}, {" S", "K"}, {"S", ""}, {"S", "a=b"}, {"S", ";K"}, {"S", "[K"}, {"S", "K\r"},
    };
    for (const auto& [section, key] : badNames)
        EXPECT_EQ(profile.setString(section, key, "v"), std::errc::invalid_argument) << section << "/" << key;
    ASSERT_FALSE(profile.save());
    EXPECT_EQ(readFile(path), "[S]\nK=old\n");
}

TEST(ProfileFile, DeleteKeyRemovesEveryOccurrenceAndNothingElse) {
    TempDir dir;
    const std::string path = dir.write("k.ini", "[S]\nK=1\nL=2\n[T]\nK=3\n[s]\nk=4\n");
    ProfileFile profile = loaded(path);
    profile.deleteKey("S", "K");
    profile.deleteKey("S", "Absent");
    ASSERT_FALSE(profile.save());
    EXPECT_EQ(readFile(path), "[S]\nL=2\n[T]\nK=3\n[s]\n");
}

TEST(ProfileFile, FirstSaveMakesTheFolderAndTheFile) {
    TempDir dir;
    const std::string path = dir.file("config/korvel/korvel.ini");
    ProfileFile profile;
    EXPECT_EQ(profile.load(path), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(profile.existed());
    ASSERT_FALSE(profile.setInt("Settings", "Target", 2));
    ASSERT_FALSE(profile.save());
    EXPECT_EQ(readFile(path), "[Settings]\nTarget=2\n");
}

// Whatever stands in the way, was not read, or appeared after the load stays as it is.
TEST(ProfileFile, NeverReplacesWhatItDidNotRead) {
    TempDir dir;
    dir.write("blocker", "a file where the folder should be");
    const std::string folder = dir.mkdir("korvel.ini");
    const std::string late = dir.file("late.ini");
    for (const std::string& path : {dir.file("blocker/korvel.ini"), folder, late}) {
        ProfileFile profile;
        EXPECT_TRUE(profile.load(path));
        if (path == late) dir.write("late.ini", "[S]\nK=someone else's\n");
        ASSERT_FALSE(profile.setInt("S", "K", 1));
        EXPECT_TRUE(profile.save()) << path;
    }
    EXPECT_EQ(readFile(dir.file("blocker")), "a file where the folder should be");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(readFile(late), "[S]\nK=someone else's\n");
}

TEST(ProfileFile, UnreadableFileIsNotReplaced) {
    if (testing::permissionsAreIgnored()) GTEST_SKIP() << "running as root: permission bits are not enforced";
    TempDir dir;
    const std::string path = dir.write("k.ini", "[S]\nK=precious\n");
    ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
    ProfileFile profile;
    EXPECT_TRUE(profile.load(path));
    ASSERT_FALSE(profile.setInt("S", "K", 1));
    EXPECT_TRUE(profile.save());
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(readFile(path), "[S]\nK=precious\n");
}

TEST(ProfileFile, SaveThroughALinkRewritesItsTargetAndKeepsTheLink) {
    TempDir dir;
    const std::string target = dir.write("dotfiles/korvel.ini", "[S]\nK=1\n");
    const std::string link = dir.file("korvel.ini");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ProfileFile profile = loaded(link);
    ASSERT_FALSE(profile.setInt("S", "K", 2));
    ASSERT_FALSE(profile.save());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(target), "[S]\nK=2\n");
}

TEST(ProfileFile, AFullDiskIsReportedAndLeavesTheFileWhole) {
    TempDir dir;
    const std::string path = dir.write("k.ini", "[S]\nK=1\n");
    ProfileFile profile = loaded(path);
    ASSERT_FALSE(profile.setString("S", "K", std::string(100, 'v')));
    testing::FaultyDisk full;
    full.writesUnder = dir.path();
    full.bytesBeforeFailure = 10;
    {
        DiskScope scope(full);
        EXPECT_EQ(profile.save(), std::errc::no_space_on_device);
    }
    EXPECT_EQ(readFile(path), "[S]\nK=1\n");
    EXPECT_EQ(testing::entriesOf(dir.path()), std::vector<std::string>{"k.ini"});
}

}  // namespace
}  // namespace korvel::platform
