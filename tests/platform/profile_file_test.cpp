#include "platform/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <string>

#include "platform/disk.h"
#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

using testing::readFile;
using testing::TempDir;

ProfileFile loaded(const std::string& path) {
    ProfileFile profile;
    EXPECT_FALSE(profile.load(path)) << path;
    return profile;
}

// A file the way people leave them: comments, odd spacing, mixed case, a section without a key we know.
constexpr std::string_view kSample =
    "; written by hand\r\n"
    "[Settings]\r\n"
    "  Target =  3  \r\n"
    "directory=/srv/www/site\r\n"
    "Quoted=\"  padded  \"\r\n"
    "Empty=\r\n"
    "no equals sign here\r\n"
    ";Commented=1\r\n"
    "Dup=first\r\n"
    "\r\n"
    "[Other]\r\n"
    "Target=9\r\n"
    "[settings]\r\n"
    "Dup=second\r\n"
    "Later=found\r\n";

struct ReadCase {
    std::string_view section;
    std::string_view key;
    std::string_view expected;
};

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, FindsValuesAsTheProfileReaderDoes) {
    TempDir dir;
    const ProfileFile profile = loaded(dir.write("k.ini", kSample));
    const ReadCase& c = GetParam();
    EXPECT_EQ(profile.getString(c.section, c.key, "<missing>"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    ProfileFile, ProfileRead,
    ::testing::Values(ReadCase{"Settings", "Target", "3"},                 // blanks around key and value
                      ReadCase{"SETTINGS", "target", "3"},                 // names compared without case
                      ReadCase{"Settings", "Directory", "/srv/www/site"},  // key spelt differently
                      ReadCase{"Settings", "Quoted", "  padded  "},        // one pair of quotes taken off
                      ReadCase{"Settings", "Empty", ""},                   // present but empty
                      ReadCase{"Settings", "Commented", "<missing>"},      // a comment is no key
                      ReadCase{"Settings", "no equals sign here", "<missing>"},
                      ReadCase{"Settings", "Dup", "first"},         // the first of two wins
                      ReadCase{"Settings", "Later", "found"},       // a second section of that name counts
                      ReadCase{"Other", "Target", "9"},             // same key, other section
                      ReadCase{"Other", "Directory", "<missing>"},  // key of another section
                      ReadCase{"Nowhere", "Target", "<missing>"}));

// Sets a single-byte locale whose case rules differ from ASCII for the test's lifetime.
class ForeignLocale {
  public:
    ForeignLocale() : saved_(std::setlocale(LC_CTYPE, nullptr)) {
        for (const char* name : {"tr_TR.ISO-8859-9", "tr_TR.iso88599", "tr_TR", "de_DE.ISO-8859-1"}) {
            if (std::setlocale(LC_CTYPE, name)) {
                active_ = true;
                break;
            }
        }
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

TEST(ProfileFile, HasKeyTellsEmptyFromMissing) {
    TempDir dir;
    const ProfileFile profile = loaded(dir.write("k.ini", kSample));
    EXPECT_TRUE(profile.hasKey("settings", "EMPTY"));
    EXPECT_FALSE(profile.hasKey("Settings", "Commented"));
    EXPECT_FALSE(profile.hasKey("Other", "Empty"));
}

struct IntCase {
    std::string_view stored;
    std::int32_t expected;
};

class ProfileInt : public ::testing::TestWithParam<IntCase> {};

TEST_P(ProfileInt, ReadsTheLeadingDigits) {
    TempDir dir;
    const ProfileFile profile = loaded(dir.write("k.ini", "[S]\nN=" + std::string(GetParam().stored) + "\n"));
    EXPECT_EQ(profile.getInt("S", "N", 77), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(ProfileFile, ProfileInt,
                         ::testing::Values(IntCase{"42", 42}, IntCase{"  -7  ", -7}, IntCase{"+3", 3},
                                           IntCase{"12abc", 12}, IntCase{"abc", 0}, IntCase{"", 0},
                                           IntCase{"-", 0}, IntCase{"0x10", 0}, IntCase{"\"5\"", 5},
                                           IntCase{"99999999999", INT32_MAX},
                                           IntCase{"2147483647", INT32_MAX},
                                           IntCase{"-2147483648", INT32_MIN},
                                           IntCase{"-99999999999", INT32_MIN},
                                           IntCase{"123456789012345678901234567890", INT32_MAX}));

TEST(ProfileFile, MissingIntTakesTheFallback) {
    TempDir dir;
    const ProfileFile profile = loaded(dir.write("k.ini", "[S]\nN=1\n"));
    EXPECT_EQ(profile.getInt("S", "M", 77), 77);
    EXPECT_EQ(profile.getInt("T", "N", -5), -5);
}

TEST(ProfileFile, LongValuesAreCutAt260BytesByDefault) {
    TempDir dir;
    const std::string longValue(300, 'x');
    const ProfileFile profile = loaded(dir.write("k.ini", "[S]\nK=" + longValue + "\n"));
    EXPECT_EQ(profile.getString("S", "K"), std::string(260, 'x'));
    EXPECT_EQ(profile.getString("S", "K", {}, 10), std::string(10, 'x'));
    EXPECT_EQ(profile.getString("S", "K", {}, ProfileFile::kWhole), longValue);
}

TEST(ProfileFile, CutKeepsUtf8CharactersWhole) {
    TempDir dir;
    // "a" then two-byte characters: byte 260 falls in the middle of one.
    std::string value = "a";
    for (int i = 0; i < 200; ++i)
        value += "\xC3\xA9";
    const ProfileFile profile = loaded(dir.write("k.ini", "[S]\nK=" + value + "\n"));
    const std::string cut = profile.getString("S", "K");
    EXPECT_EQ(cut, value.substr(0, 259));
    // A four-byte character straddling the limit goes whole.
    const ProfileFile emoji = loaded(dir.write("e.ini", "[S]\nK=ab\xF0\x9F\x98\x80\n"));
    EXPECT_EQ(emoji.getString("S", "K", {}, 4), "ab");
    EXPECT_EQ(emoji.getString("S", "K", {}, 6), "ab\xF0\x9F\x98\x80");
}

TEST(ProfileFile, SettingAKeyKeepsEveryOtherByte) {
    TempDir dir;
    const std::string path = dir.write("k.ini", kSample);
    ProfileFile profile = loaded(path);
    ASSERT_FALSE(profile.setString("SETTINGS", "target", "5"));
    ASSERT_FALSE(profile.save());

    std::string expected(kSample);
    expected.replace(expected.find("  Target =  3  "), 15, "Target=5");
    EXPECT_EQ(readFile(path), expected);
}

TEST(ProfileFile, AddsAMissingKeyAtTheEndOfItsSectionWithTheFilesLineEnds) {
    TempDir dir;
    const std::string path = dir.write("k.ini", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2");
    ProfileFile profile = loaded(path);
    ASSERT_FALSE(profile.setString("a", "New", "v"));
    ASSERT_FALSE(profile.setString("B", "Last", "w"));  // after a last line without a line end
    ASSERT_FALSE(profile.setString("C", "Key", "z"));   // a section that is not there yet
    ASSERT_FALSE(profile.save());
    EXPECT_EQ(readFile(path), "[A]\r\nx=1\r\nNew=v\r\n\r\n[B]\r\ny=2\r\nLast=w\r\n\r\n[C]\r\nKey=z\r\n");
}

TEST(ProfileFile, KeepsAByteOrderMark) {
    TempDir dir;
    const std::string path = dir.write("k.ini", "\xEF\xBB\xBF[S]\nK=1\n");
    ProfileFile profile = loaded(path);
    EXPECT_EQ(profile.getInt("S", "K", 0), 1);
    ASSERT_FALSE(profile.setInt("S", "K", 2));
    ASSERT_FALSE(profile.save());
    EXPECT_EQ(readFile(path), "\xEF\xBB\xBF[S]\nK=2\n");
}

class ProfileValueRoundTrip : public ::testing::TestWithParam<std::string_view> {};

TEST_P(ProfileValueRoundTrip, ReadsBackWhatWasWritten) {
    TempDir dir;
    const std::string path = dir.file("k.ini");
    ProfileFile writer = loaded(dir.write("k.ini", ""));
    ASSERT_FALSE(writer.setString("S", "K", GetParam()));
    ASSERT_FALSE(writer.save());
    const ProfileFile reader = loaded(path);
    EXPECT_EQ(reader.getString("S", "K", "<missing>", ProfileFile::kWhole), GetParam()) << readFile(path);
}

INSTANTIATE_TEST_SUITE_P(ProfileFile, ProfileValueRoundTrip,
                         ::testing::Values("plain", "", " leading", "trailing\t", "\"quoted\"", "\"", "\"\"",
                                           "a\"b", "a=b", ";not a comment", "[not a section]", "   ",
                                           "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", "\xFF\xFE bytes"));

TEST(ProfileFile, RefusesWhatWouldNotReadBack) {
    TempDir dir;
    const std::string path = dir.write("k.ini", "[S]\nK=old\n");
    ProfileFile profile = loaded(path);
    const std::string_view badValues[] = {"a\nb", "a\rb", std::string_view("a\0b", 3)};
    for (std::string_view value : badValues) {
        EXPECT_EQ(profile.setString("S", "K", value), std::errc::invalid_argument);
    }
    const std::pair<std::string_view, std::string_view> badNames[] = {
        {"", "K"},   {"S]", "K"}, {" S", "K"}, {"S", ""},    {"S", "a=b"},
        {"S", ";K"}, {"S", "[K"}, {"S", "K "}, {"S\n", "K"}, {"S", "K\r"},
    };
    for (const auto& [section, key] : badNames) {
        EXPECT_EQ(profile.setString(section, key, "v"), std::errc::invalid_argument) << section << "/" << key;
    }
    ASSERT_FALSE(profile.save());
    EXPECT_EQ(readFile(path), "[S]\nK=old\n");
}

TEST(ProfileFile, DeleteKeyRemovesEveryOccurrenceAndNothingElse) {
    TempDir dir;
    const std::string path = dir.write("k.ini", "[S]\nK=1\nL=2\n[T]\nK=3\n[s]\nk=4\n");
    ProfileFile profile = loaded(path);
    profile.deleteKey("S", "K");
    EXPECT_FALSE(profile.hasKey("S", "K"));
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

TEST(ProfileFile, SaveFailsWhenTheFolderCannotBeMade) {
    TempDir dir;
    dir.write("blocker", "a file where the folder should be");
    ProfileFile profile;
    EXPECT_TRUE(profile.load(dir.file("blocker/korvel.ini")));
    ASSERT_FALSE(profile.setInt("S", "K", 1));
    EXPECT_TRUE(profile.save());
    EXPECT_EQ(readFile(dir.file("blocker")), "a file where the folder should be");
}

TEST(ProfileFile, NeverOverwritesWhatItCouldNotRead) {
    TempDir dir;
    const std::string path = dir.mkdir("korvel.ini");  // a folder in the way
    ProfileFile profile;
    EXPECT_TRUE(profile.load(path));
    ASSERT_FALSE(profile.setInt("S", "K", 1));
    EXPECT_TRUE(profile.save());
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
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

TEST(ProfileFile, DoesNotReplaceAFileThatAppearedAfterLoad) {
    TempDir dir;
    const std::string path = dir.file("k.ini");
    ProfileFile profile;
    EXPECT_TRUE(profile.load(path));
    dir.write("k.ini", "[S]\nK=someone else's\n");
    ASSERT_FALSE(profile.setInt("S", "K", 1));
    EXPECT_EQ(profile.save(), std::errc::file_exists);
    EXPECT_EQ(readFile(path), "[S]\nK=someone else's\n");
}

TEST(ProfileFile, SaveThroughALinkRewritesItsTargetAndKeepsTheLink) {
    TempDir dir;
    const std::string target = dir.write("dotfiles/korvel.ini", "[S]\nK=1\n");
    const std::string link = dir.file("korvel.ini");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ProfileFile profile = loaded(link);
    ASSERT_FALSE(profile.setInt("S", "K", 2));
    ASSERT_FALSE(profile.save());
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(target), "[S]\nK=2\n");
}

// Refuses the step that puts new content in place, as a full disk or a crash just before it would.
class RefusingRename : public Disk {
  public:
    int renameReplace(const char*, const char*) override {
        errno = ENOSPC;
        return -1;
    }
    int renameNoReplace(const char*, const char*) override {
        errno = ENOSPC;
        return -1;
    }
};

TEST(ProfileFile, AFailedReplaceIsReportedAndLeavesTheFileWhole) {
    TempDir dir;
    const std::string path = dir.write("k.ini", "[S]\nK=1\n");
    ProfileFile profile = loaded(path);
    ASSERT_FALSE(profile.setInt("S", "K", 2));
    RefusingRename refusing;
    {
        DiskScope scope(refusing);
        EXPECT_TRUE(profile.save());
    }
    EXPECT_EQ(readFile(path), "[S]\nK=1\n");
}

}  // namespace
}  // namespace korvel::platform
