#include "settings/job_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/disk.h"
#include "platform/paths.h"
#include "support/faulty_disk.h"
#include "support/temp_dir.h"

// Records are written with designated initializers: every field not named keeps its default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace korvel {
namespace {

using testing::readFile;
using testing::TempDir;
using ExtensionMap = std::map<std::string, std::string>;

// Every stored field away from both its "never loaded" value and its "missing key" default; then the same
// with every field changed again.
const JobSettings kUnusual{
    .Target = kTargetMacintosh,
    .CaseConv = kCaseUpper,
    .FilenameExtensions = {{"htm", "html"}, {"jpg", "jpeg"}, {"", "txt"}, {"mpg", "a->b"}},
    .Directory =
        "/srv/w\xC3\xA9"
        "b/" +
        std::string(300, 'd') + "/sit\xC3\xA9 ",  // past 260, blank at end
    .UseSubdirs = false,
    .LogSubdirs = true,
    .AutoFileName = true,
    .LineEnd = kLineEndMac,
    .FilesOnly = true,
    .HomePage = "\"/srv/web/index.html\"",
    .Server = "http://www.\xE4\xBE\x8B\xE3\x81\x88.example/",
    .AbsRelCnvrt = kUrlRevert,
    .ReportUnresolvedRefs = false,
    .ReportBrokenAnchors = false,
    .ReportUnusedFiles = false,
    .ReportExternalRefs = false,
    .ReportEstimated = false,
    .Rename = true,
    .AutoReadOnly = kReadOnlyMakeWritable,
    .HardLinks = kHardLinksSplit,
    .ReportSpecial = false,
    .RemoveOrphans = true,
    .MoveOrphans = true,
    .MoveToDir = " /tmp/orphans",
    .KeepPatterns = {"*.js", "a b"}};
const JobSettings kChanged{.Target = kTargetIso9660,
                           .CaseConv = kCaseLower,
                           .FilenameExtensions = {{"jpeg", "jpg"}},
                           .Directory = "relative dir",
                           .UseSubdirs = true,
                           .LineEnd = kLineEndUnix,
                           .AbsRelCnvrt = kUrlRelative,
                           .ReportUnresolvedRefs = true,
                           .ReportBrokenAnchors = true,
                           .ReportUnusedFiles = true,
                           .ReportExternalRefs = true,
                           .ReportEstimated = true,
                           .AutoReadOnly = kReadOnlySkip,
                           .ReportSpecial = true};

TEST(JobSettings, EveryStoredFieldSurvivesARoundTripOverAnother) {
    TempDir dir;
    const std::string path = dir.file("korvel.ini");
    for (const JobSettings& saved : {kUnusual, kChanged}) {
        ASSERT_TRUE(SaveSettings(path, saved));
        JobSettings loaded;
        loaded.UpdateUrls = true;  // the dialogs set these two for each job; the file does not hold them
        loaded.ServerDefaultFiles = "kept;";
        ASSERT_TRUE(LoadSettings(path, loaded));
        JobSettings expected = saved;
        expected.UpdateUrls = true;
        expected.ServerDefaultFiles = "kept;";
        EXPECT_EQ(loaded, expected) << readFile(path);
    }
}

TEST(JobSettings, AFileWithoutKeysGivesTheFileDefaultsAndNoFileChangesNothing) {
    TempDir dir;
    JobSettings s = kUnusual;
    s.UpdateUrls = true;
    ASSERT_TRUE(LoadSettings(dir.write("korvel.ini", "; nothing yet\n"), s));
    JobSettings expected = settingsFileDefaults();
    expected.UpdateUrls = true;
    EXPECT_EQ(s, expected);
    // The keys whose file default differs from the unloaded record's.
    EXPECT_TRUE(s.UseSubdirs && s.ReportSpecial && s.ReportUnresolvedRefs && s.ReportBrokenAnchors &&
                s.ReportUnusedFiles && s.ReportExternalRefs && s.ReportEstimated);

    dir.mkdir("folder.ini");
    for (const std::string& path :
         {dir.file("absent.ini"), dir.file("no/such/korvel.ini"), dir.file("folder.ini")}) {
        s = kUnusual;
        EXPECT_FALSE(LoadSettings(path, s)) << path;
        EXPECT_EQ(s, kUnusual) << path;
    }
}

// A number outside its enumeration reads as 0, which changes nothing; a path the host could not hold
// reads as empty, not cut (a cut path may name another tree).
TEST(JobSettings, StoredValuesAreReadSafely) {
    TempDir dir;
    const std::string tooLong(platform::kMaxPath, 'p');
    JobSettings s = kUnusual;
    ASSERT_TRUE(
        LoadSettings(dir.write("out.ini",
                               "[Settings]\nTarget=7\nCaseConv=3\nLineEnd=-2\nAutoReadOnly=3\n"
                               "HardLinks=2\nRename=-1\nUseSubdirs=\nDirectory=/" +
                                   tooLong + "\n[HTMLSettings]\nAbsRelCnvrt=5\nServer=" + tooLong + "\n"),
                     s));
    EXPECT_EQ(std::tie(s.Target, s.CaseConv, s.LineEnd, s.AutoReadOnly, s.HardLinks, s.AbsRelCnvrt),
              std::make_tuple(0, 0, 0, 0, 0, 0));
    EXPECT_TRUE(s.Rename);
    EXPECT_FALSE(s.UseSubdirs);
    EXPECT_EQ(s.Directory, "");
    EXPECT_EQ(s.Server, "");

    ASSERT_TRUE(LoadSettings(dir.write("in.ini",
                                       "[Settings]\nTarget=6\nCaseConv=2\nLineEnd=3\nAutoReadOnly=2x\n"
                                       "HardLinks=1\n[HTMLSettings]\nAbsRelCnvrt=4\n"),
                             s));
    EXPECT_EQ(std::tie(s.Target, s.CaseConv, s.LineEnd, s.AutoReadOnly, s.HardLinks, s.AbsRelCnvrt),
              std::make_tuple(6, 2, 3, 2, 1, 4));
}

TEST(JobSettings, ExtensionMapLoadsUpToTheFirstUnusableEntry) {
    const std::pair<std::string_view, ExtensionMap> cases[] = {
        {"Ext1=htm->html\nExt2=no arrow\nExt3=jpg->jpeg\n", {{"htm", "html"}}},
        {"Ext1=htm->html\nExt2=\nExt3=jpg->jpeg\n", {{"htm", "html"}}},
        {"Ext1=htm->html\nExt3=jpg->jpeg\n", {{"htm", "html"}}},
        {"Ext1=->html\nExt2=htm->\n", {{"", "html"}, {"htm", ""}}},
        {"Ext1=htm->html\nExt2=htm->asp\n", {{"htm", "asp"}}},
        {"Ext1=a->b->c\nExt2=.HTM->.html\n", {{"a", "b->c"}, {"htm", "html"}}},
        {"Ext2=htm->html\n", {}},
    };
    TempDir dir;
    for (const auto& [entries, expected] : cases) {
        JobSettings s;
        s.FilenameExtensions = {{"stale", "entry"}};
        ASSERT_TRUE(
            LoadSettings(dir.write("korvel.ini", "[FilenameExtensions]\n" + std::string(entries)), s));
        EXPECT_EQ(s.FilenameExtensions, expected) << entries;
    }
}

TEST(JobSettings, ForeignLinesSurviveASaveByteForByteAndStaleEntriesGo) {
    // A file already holding this record, in its own layout, among things Korvel does not own.
    const std::string text =
        "; Korvel settings\r\n[AppSettings]\r\nWindow=10 20 300 400\r\n\r\n"
        "[Settings]\r\n; chosen by the wizard\r\n"
        "Target=3\r\nCaseConv=1\r\nLineEnd=0\r\nRename=0\r\nAutoFileName=0\r\nAutoReadOnly=0\r\n"
        "ReportSpecial=1\r\nUseSubdirs=1\r\nLogSubdirs=0\r\nDirectory=/srv/"
        "site\r\nFutureOption=yes\r\nHardLinks=1\r\n"
        "[HTMLSettings]\r\nFilesOnly=0\r\nHomePage=/srv/site/index.html\r\nServer=\r\nAbsRelCnvrt=0\r\n"
        "ReportUnresolvedRefs=1\r\nReportBrokenAnchors=0\r\nReportUnusedFiles=1\r\nReportExternalRefs=0\r\n"
        "ReportEstimated=0\r\n[OrphanSettings]\r\nRemoveOrphans=0\r\nMoveOrphans=0\r\nMoveToDir=\r\n"
        "Keep1=*.js\r\nKeep2=*.css\r\n"
        "[FilenameExtensions]\r\nExt1=htm->html\r\nExt2=jpg->jpeg\r\n[ServerDefault]\r\nItem1=index.html\r\n";
    TempDir dir;
    const std::string path = dir.write("korvel.ini", text);
    JobSettings s;
    ASSERT_TRUE(LoadSettings(path, s));
    ASSERT_TRUE(SaveSettings(path, s));
    EXPECT_EQ(readFile(path), text);

    // A changed value changes its own line; a shorter list loses its stale entries, and nothing else.
    s.Target = kTargetUnix;
    s.KeepPatterns = {"*.js"};
    s.FilenameExtensions = {{"htm", "html"}};
    ASSERT_TRUE(SaveSettings(path, s));
    std::string expected = text;
    expected.replace(expected.find("Target=3"), 8, "Target=6");
    expected.erase(expected.find("Keep2=*.css\r\n"), 13);
    expected.erase(expected.find("Ext2=jpg->jpeg\r\n"), 16);
    EXPECT_EQ(readFile(path), expected);
}

TEST(JobSettings, AFileThatCannotBeWrittenIsReportedAndTheOldFileStays) {
    TempDir dir;
    const std::string path = dir.write("korvel.ini", "[Settings]\nTarget=1\n");
    dir.write("config", "a file where the folder should be");
    EXPECT_FALSE(SaveSettings(dir.file("config/korvel.ini"), kUnusual));
    EXPECT_FALSE(SaveSettings(dir.mkdir("folder.ini"), kUnusual));
    testing::FaultyDisk full;
    full.writesUnder = dir.path();
    {
        platform::DiskScope scope(full);
        EXPECT_FALSE(SaveSettings(path, kUnusual));
        EXPECT_FALSE(SaveSettings(dir.file("new/korvel.ini"), kUnusual));
    }
    EXPECT_EQ(readFile(path), "[Settings]\nTarget=1\n");
    EXPECT_EQ(readFile(dir.file("config")), "a file where the folder should be");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.ini")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("new/korvel.ini")));
}

TEST(JobSettings, MappingsThatCannotReadBackAreRefusedOthersNormalised) {
    using namespace std::string_view_literals;
    struct Case {
        std::string_view oldExt, newExt;
        MappingProblem problem;
        std::string_view storedKey, storedValue;  // when accepted
    };
    const Case cases[] = {
        {"..HTM", ".Html", MappingProblem::None, "htm", "Html"},
        {"\xC3\x89X", "y", MappingProblem::None, "\xC3\x89x", "y"},  // only ASCII letters fold
        {"", "txt", MappingProblem::None, "", "txt"},
        {" sp", "a->b ", MappingProblem::None, " sp", "a->b "},
        {"a->b", "c", MappingProblem::ArrowInOldExtension, "", ""},
        {"a\nb", "c", MappingProblem::LineBreakOrNul, "", ""},
        {"a", "b\r", MappingProblem::LineBreakOrNul, "", ""},
        {"a", "b\0c"sv, MappingProblem::LineBreakOrNul, "", ""},
    };
    TempDir dir;
    const std::string path = dir.file("korvel.ini");
    for (const Case& c : cases) {
        JobSettings s;
        s.FilenameExtensions = {{"zzz", "kept"}};
        MappingProblem why = MappingProblem::ArrowInOldExtension;
        const bool accepted = setExtensionMapping(s, c.oldExt, c.newExt, &why);
        EXPECT_EQ(why, c.problem) << c.oldExt;
        EXPECT_EQ(accepted, c.problem == MappingProblem::None) << c.oldExt;
        ExtensionMap expected{{"zzz", "kept"}};
        if (accepted) expected[std::string(c.storedKey)] = std::string(c.storedValue);
        EXPECT_EQ(s.FilenameExtensions, expected) << c.oldExt;

        // What the setter accepts reads back as it stands.
        ASSERT_TRUE(SaveSettings(path, s)) << c.oldExt;
        JobSettings loaded;
        ASSERT_TRUE(LoadSettings(path, loaded));
        EXPECT_EQ(loaded.FilenameExtensions, expected) << c.oldExt;
    }
}

TEST(JobSettings, SaveLeavesOutWhatCannotReadBackAndSaysSo) {
    TempDir dir;
    const std::string path = dir.write("korvel.ini", "[Settings]\nDirectory=/old/site\n");
    JobSettings s;
    s.Target = kTargetUnix;
    s.Directory = "/new\nsite";
    s.HomePage = std::string(platform::kMaxPath, 'h');
    s.KeepPatterns = {"*.js", "", "a\nb", "*.css"};
    // Put in without the setter, as a careless caller might.
    s.FilenameExtensions = {
        {"a->b", "c"}, {"htm", "html"}, {"jpg", std::string("jp\0g", 4)}, {"mpg", "mpeg"}};
    EXPECT_FALSE(SaveSettings(path, s));

    JobSettings loaded;
    ASSERT_TRUE(LoadSettings(path, loaded));
    EXPECT_EQ(loaded.Target, kTargetUnix);     // the rest was written
    EXPECT_EQ(loaded.Directory, "/old/site");  // the unstorable value left the old one alone
    EXPECT_EQ(loaded.HomePage, "");
    EXPECT_EQ(loaded.KeepPatterns, (std::vector<std::string>{"*.js", "*.css"}));
    EXPECT_EQ(loaded.FilenameExtensions, (ExtensionMap{{"htm", "html"}, {"mpg", "mpeg"}}));
}

}  // namespace

TEST(NamesCanChange, AnyOfTargetCaseOrMap) {
    JobSettings s;
    EXPECT_FALSE(namesCanChange(s));
    s.CaseConv = kCaseUpper;
    EXPECT_TRUE(namesCanChange(s));
    s = {};
    s.FilenameExtensions["htm"] = "html";
    EXPECT_TRUE(namesCanChange(s));
    s = {};
    s.Target = kTargetUnix;
    EXPECT_TRUE(namesCanChange(s));
}

}  // namespace korvel
