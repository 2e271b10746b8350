#include "settings/job_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <functional>
#include <string>

#include "platform/disk.h"
#include "platform/paths.h"
#include "platform/profile_file.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using testing::readFile;
using testing::TempDir;

// Every stored field away from both its "never loaded" value and its "missing key" default.
JobSettings unusualSettings() {
    JobSettings s;
    s.Target = kTargetMacintosh;
    s.CaseConv = kCaseUpper;
    s.FilenameExtensions = {{"htm", "html"}, {"jpg", "jpeg"}, {"", "txt"}, {"mpg", "a->b"}};
    s.Directory =
        "/srv/w\xC3\xA9"
        "b/" +
        std::string(300, 'd') + "/sit\xC3\xA9 ";  // longer than 260, blank at end
    s.UseSubdirs = false;
    s.LogSubdirs = true;
    s.AutoFileName = true;
    s.LineEnd = kLineEndMac;
    s.FilesOnly = true;
    s.HomePage = "\"/srv/web/index.html\"";
    s.Server = "http://www.\xE4\xBE\x8B\xE3\x81\x88.example/";
    s.AbsRelCnvrt = kUrlRevert;
    s.ReportUnresolvedRefs = false;
    s.ReportBrokenAnchors = false;
    s.ReportUnusedFiles = false;
    s.ReportExternalRefs = false;
    s.ReportEstimated = false;
    s.Rename = true;
    s.AutoReadOnly = kReadOnlyMakeWritable;
    s.ReportSpecial = false;
    s.RemoveOrphans = true;
    s.MoveOrphans = true;
    s.MoveToDir = " /tmp/orphans";
    return s;
}

constexpr bool JobSettings::*kStoredBools[] = {
    &JobSettings::UseSubdirs,           &JobSettings::LogSubdirs,
    &JobSettings::AutoFileName,         &JobSettings::FilesOnly,
    &JobSettings::ReportUnresolvedRefs, &JobSettings::ReportBrokenAnchors,
    &JobSettings::ReportUnusedFiles,    &JobSettings::ReportExternalRefs,
    &JobSettings::ReportEstimated,      &JobSettings::Rename,
    &JobSettings::ReportSpecial,        &JobSettings::RemoveOrphans,
    &JobSettings::MoveOrphans,
};

// The same record with every bool flipped and the other fields changed too.
JobSettings flippedSettings() {
    JobSettings s = unusualSettings();
    for (bool JobSettings::*field : kStoredBools)
        s.*field = !(s.*field);
    s.Target = kTargetIso9660;
    s.CaseConv = kCaseLower;
    s.FilenameExtensions = {{"jpeg", "jpg"}};
    s.LineEnd = kLineEndUnix;
    s.AbsRelCnvrt = kUrlRelative;
    s.AutoReadOnly = kReadOnlySkip;
    s.Directory = "relative dir";
    s.HomePage.clear();
    s.Server.clear();
    s.MoveToDir.clear();
    return s;
}

TEST(JobSettings, EveryStoredFieldSurvivesARoundTrip) {
    for (const JobSettings& saved : {unusualSettings(), flippedSettings()}) {
        TempDir dir;
        const std::string path = dir.file("korvel.ini");
        ASSERT_TRUE(SaveSettings(path, saved));

        JobSettings loaded;
        loaded.UpdateUrls = true;
        loaded.ServerDefaultFiles = "kept;";
        ASSERT_TRUE(LoadSettings(path, loaded));

        // The dialogs set these two for each job; the file does not hold them.
        JobSettings expected = saved;
        expected.UpdateUrls = true;
        expected.ServerDefaultFiles = "kept;";
        EXPECT_EQ(loaded, expected) << readFile(path);
    }
}

TEST(JobSettings, SaveWritesEveryKeyInOrderAsDecimalAndOneOrZero) {
    TempDir dir;
    const std::string path = dir.file("korvel.ini");
    JobSettings s;
    s.Target = kTargetDos;
    s.CaseConv = kCaseLower;
    s.LineEnd = kLineEndUnix;
    s.Rename = true;
    s.AutoReadOnly = kReadOnlySkip;
    s.UseSubdirs = true;
    s.Directory = "/srv/web";
    s.HomePage = "/srv/web/index.html";
    s.Server = "www.example.org";
    s.AbsRelCnvrt = kUrlRoot;
    s.ReportBrokenAnchors = true;
    s.ReportUnusedFiles = true;
    s.MoveToDir = "/tmp/o";
    s.UpdateUrls = true;
    s.ServerDefaultFiles = "index.html;";
    s.FilenameExtensions = {{"jpg", "jpeg"}, {"htm", "html"}};
    ASSERT_TRUE(SaveSettings(path, s));
    EXPECT_EQ(readFile(path),
              "[Settings]\n"
              "Target=2\nCaseConv=1\nLineEnd=3\nRename=1\nAutoFileName=0\nAutoReadOnly=1\nHardLinks=0\n"
              "ReportSpecial=0\n"
              "UseSubdirs=1\nLogSubdirs=0\nDirectory=/srv/web\n"
              "\n[HTMLSettings]\n"
              "FilesOnly=0\nHomePage=/srv/web/index.html\nServer=www.example.org\nAbsRelCnvrt=2\n"
              "ReportUnresolvedRefs=0\nReportBrokenAnchors=1\nReportUnusedFiles=1\nReportExternalRefs=0\n"
              "ReportEstimated=0\n"
              "\n[OrphanSettings]\n"
              "RemoveOrphans=0\nMoveOrphans=0\nMoveToDir=/tmp/o\n"
              "\n[FilenameExtensions]\n"
              "Ext1=htm->html\nExt2=jpg->jpeg\n");
}

// What a record loads as from a file that holds none of its keys.
JobSettings missingKeyDefaults(JobSettings kept) {
    JobSettings d;
    d.UseSubdirs = true;
    d.ReportSpecial = true;
    d.ReportUnresolvedRefs = true;
    d.ReportBrokenAnchors = true;
    d.ReportUnusedFiles = true;
    d.ReportExternalRefs = true;
    d.ReportEstimated = true;
    d.UpdateUrls = kept.UpdateUrls;
    d.ServerDefaultFiles = kept.ServerDefaultFiles;
    return d;
}

TEST(JobSettings, AnEmptyFileGivesEveryDefault) {
    TempDir dir;
    const std::string path = dir.write("korvel.ini", "; nothing yet\n");
    JobSettings s = unusualSettings();
    s.UpdateUrls = true;
    s.ServerDefaultFiles = "a;b;";
    const JobSettings before = s;
    ASSERT_TRUE(LoadSettings(path, s));
    EXPECT_EQ(s, missingKeyDefaults(before));
}

struct MissingKeyCase {
    std::string_view section;
    std::string_view key;
    std::function<void(JobSettings&)> toDefault;
};

TEST(JobSettings, EachMissingKeyTakesItsOwnDefault) {
    const MissingKeyCase cases[] = {
        {"Settings", "Target", [](JobSettings& s) { s.Target = 0; }},
        {"Settings", "CaseConv", [](JobSettings& s) { s.CaseConv = 0; }},
        {"Settings", "LineEnd", [](JobSettings& s) { s.LineEnd = 0; }},
        {"Settings", "Rename", [](JobSettings& s) { s.Rename = false; }},
        {"Settings", "AutoFileName", [](JobSettings& s) { s.AutoFileName = false; }},
        {"Settings", "AutoReadOnly", [](JobSettings& s) { s.AutoReadOnly = 0; }},
        {"Settings", "ReportSpecial", [](JobSettings& s) { s.ReportSpecial = true; }},
        {"Settings", "UseSubdirs", [](JobSettings& s) { s.UseSubdirs = true; }},
        {"Settings", "LogSubdirs", [](JobSettings& s) { s.LogSubdirs = false; }},
        {"Settings", "Directory", [](JobSettings& s) { s.Directory.clear(); }},
        {"HTMLSettings", "FilesOnly", [](JobSettings& s) { s.FilesOnly = false; }},
        {"HTMLSettings", "HomePage", [](JobSettings& s) { s.HomePage.clear(); }},
        {"HTMLSettings", "Server", [](JobSettings& s) { s.Server.clear(); }},
        {"HTMLSettings", "AbsRelCnvrt", [](JobSettings& s) { s.AbsRelCnvrt = 0; }},
        {"HTMLSettings", "ReportUnresolvedRefs", [](JobSettings& s) { s.ReportUnresolvedRefs = true; }},
        {"HTMLSettings", "ReportBrokenAnchors", [](JobSettings& s) { s.ReportBrokenAnchors = true; }},
        {"HTMLSettings", "ReportUnusedFiles", [](JobSettings& s) { s.ReportUnusedFiles = true; }},
        {"HTMLSettings", "ReportExternalRefs", [](JobSettings& s) { s.ReportExternalRefs = true; }},
        {"HTMLSettings", "ReportEstimated", [](JobSettings& s) { s.ReportEstimated = true; }},
        {"OrphanSettings", "RemoveOrphans", [](JobSettings& s) { s.RemoveOrphans = false; }},
        {"OrphanSettings", "MoveOrphans", [](JobSettings& s) { s.MoveOrphans = false; }},
        {"OrphanSettings", "MoveToDir", [](JobSettings& s) { s.MoveToDir.clear(); }},
        {"FilenameExtensions", "Ext1", [](JobSettings& s) { s.FilenameExtensions.clear(); }},
    };
    // Stored values opposite to every missing-key default, so that a missing key shows.
    JobSettings stored = unusualSettings();
    stored.LogSubdirs = stored.AutoFileName = stored.FilesOnly = stored.Rename = true;
    stored.RemoveOrphans = stored.MoveOrphans = true;
    for (const MissingKeyCase& c : cases) {
        TempDir dir;
        const std::string path = dir.file("korvel.ini");
        ASSERT_TRUE(SaveSettings(path, stored));
        platform::ProfileFile profile;
        ASSERT_FALSE(profile.load(path));
        ASSERT_TRUE(profile.hasKey(c.section, c.key));
        profile.deleteKey(c.section, c.key);
        ASSERT_FALSE(profile.save());

        JobSettings loaded;
        ASSERT_TRUE(LoadSettings(path, loaded));
        JobSettings expected = stored;
        c.toDefault(expected);
        EXPECT_EQ(loaded, expected) << c.section << "/" << c.key;
    }
}

TEST(JobSettings, LoadOfAMissingFileLeavesTheRecordAlone) {
    TempDir dir;
    dir.mkdir("folder.ini");
    for (const std::string& path :
         {dir.file("absent.ini"), dir.file("no/such/dir/korvel.ini"), dir.file("folder.ini")}) {
        JobSettings s = unusualSettings();
        EXPECT_FALSE(LoadSettings(path, s)) << path;
        EXPECT_EQ(s, unusualSettings()) << path;
    }
}

TEST(JobSettings, SectionAndKeyNamesIgnoreCase) {
    TempDir dir;
    const std::string path =
        dir.write("korvel.ini", "[settings]\nTARGET=2\nusesubdirs=0\n[filenameEXTENSIONS]\next1=a->b\n");
    JobSettings s;
    ASSERT_TRUE(LoadSettings(path, s));
    EXPECT_EQ(s.Target, kTargetDos);
    EXPECT_FALSE(s.UseSubdirs);
    EXPECT_EQ(s.FilenameExtensions, (std::map<std::string, std::string>{{"a", "b"}}));
}

struct StoredNumberCase {
    std::string_view line;
    std::function<bool(const JobSettings&)> holds;
};

TEST(JobSettings, StoredNumbersAreReadSafely) {
    const StoredNumberCase cases[] = {
        {"Target=9", [](const JobSettings& s) { return s.Target == 0; }},
        {"Target=7", [](const JobSettings& s) { return s.Target == 0; }},
        {"Target=6", [](const JobSettings& s) { return s.Target == kTargetUnix; }},
        {"Target=-1", [](const JobSettings& s) { return s.Target == 0; }},
        {"Target=4", [](const JobSettings& s) { return s.Target == kTargetNtfs; }},
        {"CaseConv=3", [](const JobSettings& s) { return s.CaseConv == 0; }},
        {"LineEnd=-2", [](const JobSettings& s) { return s.LineEnd == 0; }},
        {"LineEnd=2", [](const JobSettings& s) { return s.LineEnd == kLineEndMac; }},
        {"AutoReadOnly=3", [](const JobSettings& s) { return s.AutoReadOnly == 0; }},
        {"Rename=5", [](const JobSettings& s) { return s.Rename; }},
        {"Rename=-1", [](const JobSettings& s) { return s.Rename; }},
        {"Rename=yes", [](const JobSettings& s) { return !s.Rename; }},
        {"UseSubdirs=0", [](const JobSettings& s) { return !s.UseSubdirs; }},
        {"UseSubdirs=", [](const JobSettings& s) { return !s.UseSubdirs; }},
        {"Target=3rd", [](const JobSettings& s) { return s.Target == kTargetVfat; }},
    };
    for (const StoredNumberCase& c : cases) {
        TempDir dir;
        const std::string path = dir.write("korvel.ini", "[Settings]\n" + std::string(c.line) + "\n");
        JobSettings s;
        ASSERT_TRUE(LoadSettings(path, s));
        EXPECT_TRUE(c.holds(s)) << c.line;
    }
    TempDir dir;
    const std::string path = dir.write("korvel.ini", "[HTMLSettings]\nAbsRelCnvrt=5\n");
    JobSettings s;
    s.AbsRelCnvrt = kUrlAbsolute;
    ASSERT_TRUE(LoadSettings(path, s));
    EXPECT_EQ(s.AbsRelCnvrt, kUrlKeep);
}

TEST(JobSettings, APathLongerThanTheHostAllowsReadsAsEmptyNotCut) {
    TempDir dir;
    const std::string tooLong(platform::kMaxPath, 'p');
    const std::string path = dir.write(
        "korvel.ini", "[Settings]\nDirectory=/" + tooLong + "\n[HTMLSettings]\nServer=" + tooLong + "\n");
    JobSettings s;
    s.Directory = "/previous";
    ASSERT_TRUE(LoadSettings(path, s));
    EXPECT_EQ(s.Directory, "");
    EXPECT_EQ(s.Server, "");
}

using ExtensionMap = std::map<std::string, std::string>;

struct ExtensionLoadCase {
    std::string_view entries;
    ExtensionMap expected;
};

TEST(JobSettings, ExtensionMapLoadsUpToTheFirstUnusableEntry) {
    const ExtensionLoadCase cases[] = {
        {"Ext1=htm->html\nExt2=jpg->jpeg\n", {{"htm", "html"}, {"jpg", "jpeg"}}},
        {"Ext1=htm->html\nExt2=no arrow\nExt3=jpg->jpeg\n", {{"htm", "html"}}},
        {"Ext1=htm->html\nExt2=\nExt3=jpg->jpeg\n", {{"htm", "html"}}},
        {"Ext1=htm->html\nExt3=jpg->jpeg\n", {{"htm", "html"}}},
        {"Ext1=->html\n", {{"", "html"}}},
        {"Ext1=htm->\n", {{"htm", ""}}},
        {"Ext1=htm->html\nExt2=htm->asp\n", {{"htm", "asp"}}},
        {"Ext1=a->b->c\n", {{"a", "b->c"}}},
        {"Ext1=.HTM->.html\n", {{"htm", "html"}}},
        {"Ext2=htm->html\n", {}},
        {"", {}},
    };
    for (const ExtensionLoadCase& c : cases) {
        TempDir dir;
        const std::string path = dir.write("korvel.ini", "[FilenameExtensions]\n" + std::string(c.entries));
        JobSettings s;
        s.FilenameExtensions = {{"stale", "entry"}};
        ASSERT_TRUE(LoadSettings(path, s));
        EXPECT_EQ(s.FilenameExtensions, c.expected) << c.entries;
    }
}

TEST(JobSettings, SavingAShorterMapDeletesTheStaleEntries) {
    TempDir dir;
    const std::string path = dir.write(
        "korvel.ini", "[FilenameExtensions]\nExt1=a->b\nExt2=c->d\nExt3=e->f\n[After]\nExt4=kept\n");
    JobSettings s;
    s.FilenameExtensions = {{"htm", "html"}};
    ASSERT_TRUE(SaveSettings(path, s));
    const std::string text = readFile(path);
    EXPECT_NE(text.find("[FilenameExtensions]\nExt1=htm->html\n[After]\nExt4=kept\n"), std::string::npos)
        << text;

    JobSettings loaded;
    ASSERT_TRUE(LoadSettings(path, loaded));
    EXPECT_EQ(loaded.FilenameExtensions, s.FilenameExtensions);
}

TEST(JobSettings, ForeignLinesSurviveASaveByteForByte) {
    // A file already holding this record, in its own layout, among things Korvel does not own.
    const std::string text =
        "; Korvel settings\r\n"
        "[AppSettings]\r\n"
        "Window=10 20 300 400\r\n"
        "\r\n"
        "[Settings]\r\n"
        "; chosen by the wizard\r\n"
        "Target=3\r\nCaseConv=1\r\nLineEnd=0\r\nRename=0\r\nAutoFileName=0\r\nAutoReadOnly=0\r\n"
        "ReportSpecial=1\r\nUseSubdirs=1\r\nLogSubdirs=0\r\nDirectory=/srv/site\r\n"
        "FutureOption=yes\r\nHardLinks=1\r\n"
        "[HTMLSettings]\r\n"
        "FilesOnly=0\r\nHomePage=/srv/site/index.html\r\nServer=\r\nAbsRelCnvrt=0\r\n"
        "ReportUnresolvedRefs=1\r\nReportBrokenAnchors=0\r\nReportUnusedFiles=1\r\nReportExternalRefs=0\r\n"
        "ReportEstimated=0\r\n"
        "[OrphanSettings]\r\n"
        "RemoveOrphans=0\r\nMoveOrphans=0\r\nMoveToDir=\r\n"
        "[FilenameExtensions]\r\n"
        "Ext1=htm->html\r\n"
        "[ServerDefault]\r\n"
        "Item1=index.html\r\n";
    TempDir dir;
    const std::string path = dir.write("korvel.ini", text);
    JobSettings s;
    ASSERT_TRUE(LoadSettings(path, s));
    ASSERT_TRUE(SaveSettings(path, s));
    EXPECT_EQ(readFile(path), text);

    // A changed value changes its own line and nothing else.
    s.Target = kTargetUnix;
    ASSERT_TRUE(SaveSettings(path, s));
    std::string expected = text;
    expected.replace(expected.find("Target=3"), 8, "Target=6");
    EXPECT_EQ(readFile(path), expected);
}

TEST(JobSettings, FirstSaveOnAFreshAccountMakesFolderAndFile) {
    TempDir dir;
    const std::string path = dir.file("home/.config/korvel/korvel.ini");
    ASSERT_TRUE(SaveSettings(path, unusualSettings()));
    JobSettings loaded;
    ASSERT_TRUE(LoadSettings(path, loaded));
    EXPECT_EQ(loaded.Directory, unusualSettings().Directory);
}

TEST(JobSettings, AFileThatCannotBeWrittenIsReported) {
    TempDir dir;
    dir.write("config", "a file where the folder should be");
    EXPECT_FALSE(SaveSettings(dir.file("config/korvel.ini"), unusualSettings()));
    EXPECT_EQ(readFile(dir.file("config")), "a file where the folder should be");

    // A folder standing at the settings path is never replaced.
    const std::string folder = dir.mkdir("korvel.ini");
    EXPECT_FALSE(SaveSettings(folder, unusualSettings()));
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

class FullDisk : public platform::Disk {
  public:
    ssize_t write(int, const void*, std::size_t) override {
        errno = ENOSPC;
        return -1;
    }
};

TEST(JobSettings, AFullDiskIsReportedAndTheOldFileStays) {
    TempDir dir;
    const std::string path = dir.write("korvel.ini", "[Settings]\nTarget=1\n");
    FullDisk full;
    {
        platform::DiskScope scope(full);
        EXPECT_FALSE(SaveSettings(path, unusualSettings()));
        EXPECT_FALSE(SaveSettings(dir.file("new/korvel.ini"), unusualSettings()));
    }
    EXPECT_EQ(readFile(path), "[Settings]\nTarget=1\n");
    JobSettings s;
    EXPECT_FALSE(LoadSettings(dir.file("new/korvel.ini"), s));
}

TEST(JobSettings, AReadOnlyFolderIsReported) {
    if (testing::permissionsAreIgnored()) GTEST_SKIP() << "running as root: permission bits are not enforced";
    TempDir dir;
    const std::string folder = dir.mkdir("locked");
    ASSERT_EQ(::chmod(folder.c_str(), 0500), 0);
    EXPECT_FALSE(SaveSettings(folder + "/korvel.ini", unusualSettings()));
}

struct MappingCase {
    std::string_view oldExt;
    std::string_view newExt;
    MappingProblem problem;
    std::string_view storedKey;  // when accepted
    std::string_view storedValue;
};

TEST(JobSettings, MappingsThatCannotReadBackAreRefusedOthersNormalised) {
    using namespace std::string_view_literals;
    const MappingCase cases[] = {
        {"htm", "html", MappingProblem::None, "htm", "html"},
        {".htm", ".html", MappingProblem::None, "htm", "html"},
        {"..HTM", "Html", MappingProblem::None, "htm", "Html"},
        {"\xC3\x89X", "y", MappingProblem::None, "\xC3\x89x", "y"},  // only ASCII letters fold
        {"", "txt", MappingProblem::None, "", "txt"},
        {"mpg", "a->b", MappingProblem::None, "mpg", "a->b"},
        {" sp", "x ", MappingProblem::None, " sp", "x "},
        {"a->b", "c", MappingProblem::ArrowInOldExtension, "", ""},
        {"->", "c", MappingProblem::ArrowInOldExtension, "", ""},
        {"a\nb", "c", MappingProblem::LineBreakOrNul, "", ""},
        {"a", "b\r", MappingProblem::LineBreakOrNul, "", ""},
        {"a", "b\0c"sv, MappingProblem::LineBreakOrNul, "", ""},
    };
    for (const MappingCase& c : cases) {
        JobSettings s;
        s.FilenameExtensions = {{"zzz", "kept"}};
        MappingProblem why = MappingProblem::ArrowInOldExtension;
        const bool accepted = setExtensionMapping(s, c.oldExt, c.newExt, &why);
        EXPECT_EQ(why, c.problem) << c.oldExt;
        EXPECT_EQ(accepted, c.problem == MappingProblem::None) << c.oldExt;
        ExtensionMap expected{{"zzz", "kept"}};
        if (accepted) expected[std::string(c.storedKey)] = std::string(c.storedValue);
        EXPECT_EQ(s.FilenameExtensions, expected) << c.oldExt;
        if (!accepted) continue;

        // What the setter accepts reads back as it stands.
        TempDir dir;
        const std::string path = dir.file("korvel.ini");
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
    // Put in without the setter, as a careless caller might.
    s.FilenameExtensions = {
        {"a->b", "c"}, {"htm", "html"}, {"jpg", std::string("jp\0g", 4)}, {"mpg", "mpeg"}};
    EXPECT_FALSE(SaveSettings(path, s));

    JobSettings loaded;
    ASSERT_TRUE(LoadSettings(path, loaded));
    EXPECT_EQ(loaded.Target, kTargetUnix);     // the rest was written
    EXPECT_EQ(loaded.Directory, "/old/site");  // the unstorable value left the old one alone
    EXPECT_EQ(loaded.HomePage, "");
    EXPECT_EQ(loaded.FilenameExtensions, (ExtensionMap{{"htm", "html"}, {"mpg", "mpeg"}}));
}

}  // namespace
}  // namespace korvel

namespace korvel {
namespace {

TEST(SettingsFileDefaults, AreThoseOfAnEmptyFileNotOfAnUnloadedRecord) {
    testing::TempDir dir;
    JobSettings fromEmptyFile;
    ASSERT_TRUE(LoadSettings(dir.write("empty.ini", ""), fromEmptyFile));
    const JobSettings defaults = settingsFileDefaults();
    EXPECT_EQ(defaults, fromEmptyFile);
    // The keys whose file default differs from the unloaded record's.
    EXPECT_TRUE(defaults.UseSubdirs);
    EXPECT_TRUE(defaults.ReportSpecial);
    EXPECT_TRUE(defaults.ReportUnresolvedRefs && defaults.ReportBrokenAnchors && defaults.ReportUnusedFiles &&
                defaults.ReportExternalRefs && defaults.ReportEstimated);
}

}  // namespace
}  // namespace korvel
