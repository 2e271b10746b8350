#include <gtest/gtest.h>

#include "cli/commands.h"
#include "cli/run_korvel.h"
#include "support/temp_dir.h"

namespace korvel::cli {
namespace {

using testing::TempDir;

bool anyLine(const Lines& lines, std::string_view part) {
    for (const auto& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

TEST(CheckCommand, ExitStatusSaysWhetherNamesMustChange) {
    const SettingsFile settings("");
    TempDir dir;
    dir.write("readme.txt", "x\n");
    dir.write("Very Long Name.html", "x\n");
    const Result clean = runKorvel({"check", dir.path(), "--files-only", "--target", "unix"});
    EXPECT_EQ(clean.status, kExitOk) << ::testing::PrintToString(clean.out);
    EXPECT_TRUE(anyLine(clean.out, "REPORT FROM SUCCESSFUL PASS"));
    const Result dos = runKorvel({"check", dir.path(), "--files-only", "--target", "dos", "--case", "lower"});
    EXPECT_EQ(dos.status, kExitFindings);
    EXPECT_TRUE(anyLine(dos.out, "SUGGESTED NEW NAMES FOR FILES:"));
    EXPECT_TRUE(anyLine(dos.out, dir.file("Very Long Name.html")));
    EXPECT_TRUE(anyLine(dos.out, "DOS 8.3 FAT (lowercase)"));
}

TEST(CheckCommand, ReportGoesToTheNamedFile) {
    const SettingsFile settings("");
    TempDir dir;
    dir.write("site/A B.htm", "x\n");
    const std::string report = dir.file("report.txt");
    const Result r =
        runKorvel({"check", dir.file("site"), "--files-only", "--target", "dos", "--report", report});
    EXPECT_EQ(r.status, kExitFindings);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(testing::readFile(report).find("SUGGESTED NEW NAMES FOR FILES:"), std::string::npos);
    // A second run replaces the report whole.
    runKorvel({"check", dir.file("site"), "--files-only", "--target", "unix", "--report", report});
    const std::string second = testing::readFile(report);
    EXPECT_EQ(second.find("DOS 8.3 FAT"), std::string::npos) << second;
    EXPECT_NE(second.find("UNIX (no case change)"), std::string::npos) << second;
}

TEST(CheckCommand, MapOptionsReplaceTheStoredMapAndBadOnesAreRefused) {
    const SettingsFile settings("[FilenameExtensions]\nExt1=txt->text\n");
    TempDir dir;
    dir.write("a.txt", "x\n");
    dir.write("b.htm", "x\n");
    const Result mapped = runKorvel({"check", dir.path(), "--files-only", "--map", "htm=html"});
    EXPECT_EQ(mapped.status, kExitFindings);
    EXPECT_TRUE(anyLine(mapped.out, "b.html"));
    EXPECT_FALSE(anyLine(mapped.out, "a.text"));
    for (const char* bad : {"htm", "htm=", "a->b=c"}) {
        const Result r = runKorvel({"check", dir.path(), "--files-only", "--map", bad});
        EXPECT_EQ(r.status, kExitUsage) << bad;
        EXPECT_EQ(r.err.size(), 1u) << bad;
    }
}

TEST(CheckCommand, SettingsAreSavedOnlyWhenAsked) {
    const SettingsFile settings("; mine\n[Other]\nKeep=1\n");
    TempDir dir;
    dir.write("a.txt", "x\n");
    runKorvel({"check", dir.path(), "--files-only", "--target", "iso9660"});
    EXPECT_EQ(testing::readFile(settings.path()), "; mine\n[Other]\nKeep=1\n");
    runKorvel({"check", dir.path(), "--files-only", "--target", "iso9660", "--save-settings"});
    const std::string saved = testing::readFile(settings.path());
    EXPECT_EQ(saved.rfind("; mine\n[Other]\nKeep=1\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("Target=1"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Directory=" + dir.path()), std::string::npos) << saved;
}

TEST(CheckCommand, UsageErrorsAndMissingDirectories) {
    const SettingsFile settings("");
    TempDir dir;
    const Result badTarget = runKorvel({"check", dir.path(), "--target", "fat32"});
    EXPECT_EQ(badTarget.status, kExitUsage);
    EXPECT_EQ(badTarget.err.size(), 1u);
    const Result missing = runKorvel({"check", dir.file("nowhere"), "--files-only"});
    EXPECT_EQ(missing.status, kExitUsage);
    EXPECT_TRUE(anyLine(missing.err, "could not be scanned"));
    EXPECT_TRUE(anyLine(missing.out, "Top level directory was not found:"));
}

}  // namespace
}  // namespace korvel::cli

namespace korvel::cli {
namespace {

TEST(CheckCommand, SkippedEntriesAreListedInTheReportNotAnnouncedOneByOne) {
    const SettingsFile settings("[Settings]\nReportSpecial=1\n");
    testing::TempDir dir;
    dir.write(".hidden", "x\n");
    dir.write("page.html~", "x\n");
    const Result r = runKorvel({"check", dir.path(), "--files-only"});
    EXPECT_TRUE(r.err.empty()) << ::testing::PrintToString(r.err);
    EXPECT_TRUE(anyLine(r.out, "hidden file was skipped"));
    EXPECT_TRUE(anyLine(r.out, "temporary file was skipped"));
}

}  // namespace
}  // namespace korvel::cli

namespace korvel::cli {
namespace {

// A two-page site: the home page links to a page that exists, one that does not, and the web.
void plantLinkedSite(const testing::TempDir& dir, std::string_view home = "index.html") {
    dir.write(std::string(home),
              "<html><head></head><body><a href=\"page.html\">p</a> <a href=\"gone.html\">g</a>\n"
              "<a href=\"https://www.example.org/\">w</a></body></html>\n");
    dir.write("page.html", "<html><head></head><body>page</body></html>\n");
    dir.write("orphan.html", "<html><head></head><body>alone</body></html>\n");
}

TEST(CheckCommand, GuessesTheHomePageAndReportsLinks) {
    const SettingsFile settings("");
    testing::TempDir dir;
    plantLinkedSite(dir, "index.htm");
    const Result r = runKorvel({"check", dir.path()});
    EXPECT_EQ(r.status, kExitFindings) << ::testing::PrintToString(r.err);
    EXPECT_TRUE(anyLine(r.out, "Home Page:  " + dir.file("index.htm")));
    EXPECT_TRUE(anyLine(r.out, "UNRESOLVED LOCAL LINKS:"));
    EXPECT_TRUE(anyLine(r.out, "gone.html"));
    EXPECT_TRUE(anyLine(r.out, dir.file("orphan.html")));
    EXPECT_TRUE(anyLine(r.out, "https://www.example.org/"));
}

TEST(CheckCommand, ReportSwitchesTurnSectionsOff) {
    const SettingsFile settings("");
    testing::TempDir dir;
    plantLinkedSite(dir);
    const Result r = runKorvel({"check", dir.path(), "--no-report-broken", "--no-report-orphans",
                                "--no-report-external", "--no-report-times"});
    EXPECT_FALSE(anyLine(r.out, "UNRESOLVED LOCAL LINKS:"));
    EXPECT_FALSE(anyLine(r.out, "THE FOLLOWING FILES WERE NOT USED"));
    EXPECT_FALSE(anyLine(r.out, "EXTERNAL URL REFERENCES:"));
    EXPECT_FALSE(anyLine(r.out, "DOWNLOAD TIMES:"));
    // The stored choice stands when neither switch is given.
    const SettingsFile off("[HTMLSettings]\nReportEstimated=0\n");
    const Result stored = runKorvel({"check", dir.path(), "--report-broken"});
    EXPECT_TRUE(anyLine(stored.out, "UNRESOLVED LOCAL LINKS:"));
    EXPECT_FALSE(anyLine(stored.out, "DOWNLOAD TIMES:"));
}

TEST(CheckCommand, SettingsThatCannotRunAreUsageErrorsOfOneLine) {
    const SettingsFile settings("");
    testing::TempDir dir;
    dir.write("start.html", "<html><head></head></html>\n");
    testing::TempDir elsewhere;
    const std::string outside = elsewhere.write("home.html", "<html><head></head></html>\n");
    const std::pair<Lines, std::string> cases[] = {
        {{},
         "korvel: no home page found in " + dir.path() +
             " (looked for index.html;index.htm;default.htm;home.htm); name one with --home PAGE, or use "
             "--files-only"},
        {{"--home", "start.html", "--server-defaults", " ; "},
         "korvel: --server-defaults needs at least one name, such as \"index.html;index.htm\""},
        {{"--home", outside},
         "korvel: the home page " + outside + " lies outside " + dir.path() +
             ": only a page inside the site leads to its files; name one with --home PAGE"},
        {{"--keep", "js/\nlazy/"},
         "korvel: --keep takes a pattern such as \"js/lazy/\" or \"*.json\", one line, not empty"},
    };
    for (const auto& [options, message] : cases) {
        Lines args = {"check", dir.path()};
        args.insert(args.end(), options.begin(), options.end());
        const Result r = runKorvel(args);
        EXPECT_EQ(r.status, kExitUsage) << message;
        EXPECT_EQ(r.err, Lines{message}) << ::testing::PrintToString(r.err);
    }
}

}  // namespace
}  // namespace korvel::cli
