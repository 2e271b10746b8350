#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "jobs/command.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "report/job_status.h"
#include "support/env_var.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel {
namespace {

using testing::ScriptedPrompts;
using testing::TempDir;

// A tree whose names all break the DOS 8.3 rules, in a subdirectory too.
void plant(const TempDir& dir) {
    dir.write("Long Page Name.html", "<html><head></head></html>\n");
    dir.write("Another Page.htm", "x\n");
    dir.write("sub dir/Deep File.txt", "y\n");
}

JobSettings settingsFor(const TempDir& dir) {
    JobSettings s = settingsFileDefaults();
    s.Directory = dir.path();
    s.FilesOnly = true;
    s.AutoFileName = true;
    return s;
}

// The finished report's text; the report file is the caller's, so the test removes it.
std::string takeReport(const Job& command) {
    std::string text;
    EXPECT_FALSE(command.reportPath().empty());
    if (command.reportPath().empty()) return text;
    EXPECT_FALSE(platform::readWholeFile(command.reportPath(), text));
    platform::removeFile(command.reportPath());
    return text;
}

using testing::contains;

TEST(CheckJob, SuggestsNamesForEveryNodeThatBreaksTheTargetAndChangesNothing) {
    TempDir dir;
    plant(dir);
    JobSettings s = settingsFor(dir);
    s.Target = kTargetDos;
    s.CaseConv = kCaseLower;
    ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    CheckJob command(s, {}, false, false);
    ASSERT_TRUE(command.execute());
    const std::string report = takeReport(command);
    EXPECT_TRUE(command.status() & kStatusCompleted);
    EXPECT_TRUE(command.foundSomething());
    EXPECT_FALSE(command.undoable());
    EXPECT_TRUE(contains(report, "SUGGESTED NEW NAMES FOR FILES:")) << report;
    EXPECT_TRUE(contains(report, dir.file("sub dir/Deep File.txt"))) << report;
    // A check never renames.
    EXPECT_EQ(testing::entriesOf(dir.path()),
              (std::vector<std::string>{"Another Page.htm", "Long Page Name.html", "sub dir"}));
}

TEST(CheckJob, NoConventionNoCaseNoMapRunsNoNamePass) {
    TempDir dir;
    plant(dir);
    ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    CheckJob command(settingsFor(dir), {}, false, false);
    ASSERT_TRUE(command.execute());
    const std::string report = takeReport(command);
    EXPECT_TRUE(command.status() & kStatusCompleted);
    EXPECT_FALSE(command.foundSomething());
    EXPECT_FALSE(contains(report, "SUGGESTED NEW NAMES")) << report;
    EXPECT_TRUE(prompts.progressTitles() == std::vector<std::string>{"Looking for Files"});
}

TEST(CheckJob, CancelDuringTheNamePassStillReportsButPartially) {
    TempDir dir;
    plant(dir);
    JobSettings s = settingsFor(dir);
    s.Target = kTargetDos;
    ScriptedPrompts prompts;
    prompts.cancelPass("Validating Filenames");
    ui::PromptsScope scope(prompts);
    CheckJob command(s, {}, false, false);
    ASSERT_TRUE(command.execute());
    const std::string report = takeReport(command);
    EXPECT_FALSE(command.status() & kStatusCompleted);
    EXPECT_TRUE(command.foundSomething());
    // The suggestions pass never ran.
    EXPECT_EQ(prompts.progressTitles(),
              (std::vector<std::string>{"Looking for Files", "Validating Filenames"}));
    EXPECT_FALSE(contains(report, "REPORT FROM SUCCESSFUL PASS")) << report;
}

TEST(CheckJob, CancelledSettingsInputEndsWithoutAReport) {
    TempDir dir;
    plant(dir);
    ScriptedPrompts prompts;
    prompts.expectSettingsInput(false);
    ui::PromptsScope scope(prompts);
    CheckJob command(settingsFor(dir), {}, /*askSettings=*/true, true);
    EXPECT_FALSE(command.execute());
    EXPECT_TRUE(command.reportPath().empty());
}

TEST(CheckJob, SettingsChosenInTheInputAreTheJobsAndComeBack) {
    TempDir dir;
    plant(dir);
    ScriptedPrompts prompts;
    prompts.expectSettingsInput(true, [](JobSettings& s) {
        s.Target = kTargetIso9660;
        s.RemoveOrphans = true;
    });
    ui::PromptsScope scope(prompts);
    CheckJob command(settingsFor(dir), {}, true, true);
    ASSERT_TRUE(command.execute());
    takeReport(command);
    EXPECT_EQ(command.settings().Target, kTargetIso9660);
    // A check never serves an orphans job, whatever the record said.
    EXPECT_FALSE(command.settings().RemoveOrphans);
}

TEST(CheckJob, AMissingTopDirectoryIsReportedAndTheJobCannotRun) {
    TempDir dir;
    JobSettings s = settingsFor(dir);
    s.Directory = dir.file("missing");
    s.Target = kTargetDos;
    ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    CheckJob command(s, {}, false, false);
    ASSERT_TRUE(command.execute());
    const std::string report = takeReport(command);
    EXPECT_EQ(command.scanStatus(), ScanStatus::TopMissing);
    EXPECT_TRUE(command.foundSomething());
    EXPECT_TRUE(contains(report, "Top level directory was not found:")) << report;
    EXPECT_FALSE(contains(report, "REPORT FROM SUCCESSFUL PASS")) << report;
}

TEST(ShowInterruption, SaysWhetherFilesMayBeHalfChanged) {
    struct Case {
        unsigned status;
        std::string_view expected;
    };
    const Case cases[] = {
        {kStatusOutOfMemory, "Processing interrupted by a low memory condition!"},
        {kStatusReportedError, "Generating a partial report."},
        {kStatusReportedError | kStatusRenaming, "try\n\"Undo Last\""},
        {kStatusReportedError | kStatusRenaming | kStatusUndone, "Generating a partial report."},
    };
    for (const auto& c : cases) {
        ScriptedPrompts prompts;
        prompts.expectMessageBox(ui::Answer::Ok, std::string(c.expected));
        ui::PromptsScope scope(prompts);
        showInterruption(c.status, "disk on fire");
        if (!(c.status & kStatusOutOfMemory)) {
            EXPECT_EQ(prompts.messages().at(0).rfind("disk on fire\n\n", 0), 0u) << prompts.messages()[0];
        }
    }
}

}  // namespace
}  // namespace korvel

namespace korvel {
namespace {

// A one-page site whose page links to a page that is not there, checked with every report on.
JobSettings plantBrokenLink(const testing::TempDir& dir, std::string_view homePage) {
    dir.write("index.html", "<html><head></head><a href=\"gone.html\">x</a></html>\n");
    JobSettings s = settingsFileDefaults();
    s.Directory = dir.path();
    s.HomePage = dir.file(homePage);
    s.ServerDefaultFiles = "index.html";
    return s;
}

// A report without its date line, which two runs need not share.
std::string withoutDate(std::string report) {
    const std::size_t date = report.find("Directory checked on");
    if (date != std::string::npos) report.erase(date, report.find('\n', date) - date);
    return report;
}

TEST(CheckJob, AMissingHomePageEndsTheLinkPassesAndTheReportSaysSo) {
    testing::TempDir dir;
    const JobSettings s = plantBrokenLink(dir, "welcome.html");
    testing::ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    CheckJob command(s, {}, false, false);
    ASSERT_TRUE(command.execute());
    const std::string report = takeReport(command);
    EXPECT_FALSE(command.status() & kStatusCompleted);
    EXPECT_FALSE(command.status() & kStatusUrlPass);
    EXPECT_TRUE(contains(report, "Home Page not found:\n\t\"" + dir.file("welcome.html") + "\"")) << report;
    EXPECT_FALSE(contains(report, "UNRESOLVED LOCAL LINKS:")) << report;
    EXPECT_EQ(prompts.progressTitles(), std::vector<std::string>{"Looking for Files"});
}

TEST(CheckJob, AHomePageOutsideTheSiteIsReportedAsSuchNotAsMissing) {
    testing::TempDir dir;
    testing::TempDir elsewhere;
    JobSettings s = plantBrokenLink(dir, "index.html");
    s.HomePage = elsewhere.write("home.html", "<a href=\"x.html\">x</a>\n");
    testing::ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    CheckJob command(s, {}, false, false);
    ASSERT_TRUE(command.execute());
    const std::string report = takeReport(command);
    EXPECT_TRUE(contains(report, "lies outside the site's directory")) << report;
    EXPECT_FALSE(contains(report, "Home Page not found")) << report;
}

TEST(CheckJob, LinkPassesRunInOrderAndFindTheBrokenLink) {
    testing::TempDir dir;
    const JobSettings s = plantBrokenLink(dir, "index.html");
    // On one core every pass shows its progress; the reports that only read run beside the link pass on
    // two, without a display of their own.
    const testing::EnvVar oneCore("KORVEL_THREADS", "1");
    testing::ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    CheckJob command(s, {}, false, false);
    ASSERT_TRUE(command.execute());
    const std::string report = takeReport(command);
    EXPECT_TRUE(command.status() & kStatusCompleted);
    EXPECT_TRUE(command.status() & kStatusUrlPass);
    EXPECT_FALSE(command.status() & kStatusUpdatingUrls);
    EXPECT_TRUE(command.foundSomething());
    EXPECT_TRUE(contains(report, "gone.html")) << report;
    EXPECT_EQ(
        prompts.progressTitles(),
        (std::vector<std::string>{
            "Looking for Files", "Checking URL Links", "Checking URLs for Unlinked Files",
            "Validating URL Links", "Reporting Broken Links", "Reporting Broken Anchors",
            "Reporting Orphan Files", "Reporting External URL References", "Reporting Download times"}));

    platform::removeFile(dir.file("report_of_external_refs.html"));
    const testing::EnvVar twoCores("KORVEL_THREADS", "2");
    testing::ScriptedPrompts shared;
    ui::PromptsScope sharedScope(shared);
    CheckJob again(s, {}, false, false);
    ASSERT_TRUE(again.execute());
    EXPECT_EQ(withoutDate(takeReport(again)), withoutDate(report));
    EXPECT_EQ(shared.progressTitles(),
              (std::vector<std::string>{"Looking for Files", "Checking URL Links",
                                        "Checking URLs for Unlinked Files", "Validating URL Links"}));
}

// On two cores, a link pass that is cancelled or fails leaves no report pass saying it found nothing when
// it did not look: a cancel lets the passes beside it end, a failure takes out those that never ran.
TEST(CheckJob, TheReportPassesBesideAnEndedLinkPassSayNothingUntrue) {
    const testing::EnvVar twoCores("KORVEL_THREADS", "2");
    for (const bool fail : {false, true}) {
        testing::TempDir dir;
        JobSettings s = plantBrokenLink(dir, "index.html");
        dir.write("index.html", "<html><a href=\"gone.html\">x</a><a href=\"http://example.org/\">out</a>\n");
        testing::ScriptedPrompts prompts;
        ui::PromptsScope scope(prompts);
        if (fail) {
            prompts.failPass("Validating URL Links");
            prompts.expectMessageBox(ui::Answer::Ok);
        } else {
            prompts.cancelPass("Validating URL Links");
        }
        CheckJob command(s, {}, false, false);
        ASSERT_TRUE(command.execute());
        const std::string report = takeReport(command);
        EXPECT_FALSE(command.status() & kStatusCompleted);
        EXPECT_FALSE(contains(report, "No external URL link references!")) << report;
        if (!fail) {
            EXPECT_TRUE(contains(report, "http://example.org/")) << report;
            EXPECT_TRUE(contains(report, "gone.html")) << report;
        }
    }
}

// The report of a check of "dir" with KORVEL_THREADS at "threads", without its date line.
std::string reportWithThreads(const testing::TempDir& dir, const JobSettings& s, const char* threads) {
    const testing::EnvVar variable("KORVEL_THREADS", threads);
    testing::ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    CheckJob command(s, {}, false, false);
    EXPECT_TRUE(command.execute());
    const std::string report = takeReport(command);
    platform::removeFile(dir.file("report_of_external_refs.html"));
    return withoutDate(report);
}

TEST(CheckJob, PagesPreparedOnASecondThreadGiveTheSameReport) {
    testing::TempDir dir;
    // Links run from the last page back to the first, against tree order, so the walk asks for pages the
    // thread has prepared, is preparing and has not reached; syntax errors, base tags, external and
    // broken links and an unlinked page all go through it.
    constexpr int kPages = 120;
    for (int i = 0; i < kPages; ++i) {
        std::string page = "<html><head>";
        if (i % 7 == 0) page += "<base href=\"sub/\">";
        page += "</head>\n<a href=\"p" + std::to_string(i == 0 ? kPages - 1 : i - 1) + ".html\">back</a>\n";
        page += "<a href=\"../p" + std::to_string((i * 37) % kPages) + ".html\">jump</a>\n";
        if (i % 5 == 0) page += "<a href=\"gone" + std::to_string(i) + ".html\">gone</a>\n";
        if (i % 3 == 0) page += "<a href=\"http://example.org/" + std::to_string(i) + "\">out</a>\n";
        if (i % 4 == 0) page += "<p>a > b</p>\n<a href=\"x.html\" <b>\n";
        if (i % 6 == 0)
            page += "<link rel=stylesheet href=\"s" + std::to_string(i % 4) +
                    ".css\">\n<p style=\"background: url(i" + std::to_string(i) + ".png)\">\n";
        page += "</html>\n";
        dir.write("p" + std::to_string(i) + ".html", page);
        dir.write("sub/p" + std::to_string(i) + ".html", page);
    }
    dir.write("index.html", "<html><a href=\"p" + std::to_string(kPages - 1) + ".html\">last</a></html>\n");
    dir.write("lonely.html", "<html><a href=\"nowhere.html\">x</a> <b\n");
    // Style sheets are read by the walk, whichever thread prepared the page that names them.
    dir.write("s0.css", "@import 's2.css';\np { background: url(gone.png) }\n");
    dir.write("s2.css", "@import url(s0.css);\nq { background: url(http://example.org/s.png) }\n");
    dir.write("i6.png", "PNG");
    JobSettings s = settingsFileDefaults();
    s.Directory = dir.path();
    s.HomePage = dir.file("index.html");
    s.ServerDefaultFiles = "index.html";
    const std::string alone = reportWithThreads(dir, s, "1");
    const std::string shared = reportWithThreads(dir, s, "2");
    EXPECT_TRUE(contains(alone, "HTML SYNTAX ERRORS")) << alone;
    EXPECT_TRUE(contains(alone, "gone5.html")) << alone;
    EXPECT_TRUE(contains(alone, "s0.css")) << alone;
    EXPECT_EQ(alone, shared);
}

}  // namespace
}  // namespace korvel
