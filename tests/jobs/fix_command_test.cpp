#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "jobs/command.h"
#include "jobs/fix_command.h"
#include "platform/disk.h"
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

using testing::takeReport;

using testing::contains;

// A small site whose names break the DOS rules, with links to them, a DOS text file and a page with an
// apostrophe-quoted link.
struct Site {
    TempDir dir;
    TempDir state;
    testing::EnvVar stateHome{"XDG_STATE_HOME", state.path()};

    Site() {
        dir.write("index.html",
                  "<html><body><a href=\"Long Page.html#top\">a</a> <img src='Images/Big Logo.GIF'>\n"
                  "<a href=\"notes.txt\">n</a></body></html>\n");
        dir.write("Long Page.html", "<html><body><a href=\"index.html\">home</a></body></html>\n");
        dir.write("Images/Big Logo.GIF", "GIF89a");
        dir.write("notes.txt", "one\r\ntwo\r\n");
    }

    JobSettings settings() const {
        JobSettings s = settingsFileDefaults();
        s.Directory = dir.path();
        s.HomePage = dir.file("index.html");
        s.Server = "www.example.com";
        s.ServerDefaultFiles = "index.html";
        s.Target = kTargetDos;
        s.CaseConv = kCaseLower;
        s.AutoFileName = true;
        s.Rename = true;
        s.UpdateUrls = true;
        s.UseSubdirs = true;
        return s;
    }
};

TEST(FixJob, RenamesRewritesLinksConvertsLineEndsAndUndoPutsEveryByteBack) {
    Site site;
    const auto before = testing::treeSnapshot(site.dir.path());
    JobSettings s = site.settings();
    s.LineEnd = kLineEndUnix;
    ScriptedPrompts prompts;
    prompts.expectVerifyFilenames(ui::VerifyNamesReply{std::vector<bool>(4, true), {}}).expectVerifyFiles(std::vector<bool>{true});
    ui::PromptsScope scope(prompts);
    FixJob fix(s, {}, false, true);
    ASSERT_TRUE(fix.execute());
    const std::string report = takeReport(fix.reportPath());
    EXPECT_TRUE(fix.undoable());
    EXPECT_TRUE(contains(report, "RENAMED FILES:")) << report;
    EXPECT_TRUE(contains(report, "URL LINK RENAMING:")) << report;

    // The home page was renamed too, and the settings follow it.
    EXPECT_EQ(fix.settings().HomePage, site.dir.file("index.htm"));
    EXPECT_EQ(testing::readFile(site.dir.file("notes.txt")), "one\ntwo\n");
    // The links follow the new names; the fragment stays.
    const std::string index = testing::readFile(site.dir.file("index.htm"));
    EXPECT_TRUE(contains(index, "href=\"long_pag.htm#top\"") || contains(index, "href=\"longpage.htm#top\""))
        << index;
    EXPECT_FALSE(contains(index, "Big Logo")) << index;

    // A check of the fixed site finds every link.
    JobSettings again = fix.settings();
    again.Target = kTargetNone;
    again.CaseConv = kCaseNone;
    CheckJob check(again, {}, false, false);
    ASSERT_TRUE(check.execute());
    const std::string checked = takeReport(check.reportPath());
    EXPECT_FALSE(contains(checked, "UNRESOLVED LOCAL LINKS:")) << checked;

    ASSERT_TRUE(fix.unexecute());
    const std::string undone = takeReport(fix.reportPath());
    EXPECT_TRUE(contains(undone, "REVERTED FILES TO INITIAL STATE")) << undone;
    EXPECT_TRUE(contains(undone, "RESTORED FILENAMES:")) << undone;
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
    EXPECT_EQ(fix.settings().HomePage, site.dir.file("index.html"));

    // Nothing is left to undo, in this process or another.
    ScriptedPrompts second;
    second.expectMessageBox(ui::Answer::Ok, "no files were changed");
    ui::PromptsScope secondScope(second);
    EXPECT_TRUE(undoLastJob(s).nothingToUndo);
}

// A disk on which another program saves "path" while the fix commits its replacements: the first flush of
// a staged temporary file comes after the file was read and before the new content takes its place.
class EditedAtCommitDisk : public platform::Disk {
  public:
    std::string path;
    int syncfs(int fd) override {
        char target[4096] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (!edited && n > 0 && std::string_view(target).find("/.el_") != std::string_view::npos) {
            std::ofstream(path, std::ios::app) << "three\r\n";
            edited = true;
        }
        return Disk::syncfs(fd);
    }
    bool edited = false;
};

TEST(FixJob, AFileEditedElsewhereBeforeTheCommitKeepsTheEditAndIsReported) {
    Site site;
    JobSettings s = site.settings();
    s.Target = kTargetNone;
    s.CaseConv = kCaseNone;
    s.FilesOnly = true;
    s.LineEnd = kLineEndUnix;
    ScriptedPrompts prompts;
    prompts.expectVerifyFiles(std::vector<bool>{true});
    ui::PromptsScope scope(prompts);
    EditedAtCommitDisk disk;
    disk.path = site.dir.file("notes.txt");
    platform::DiskScope diskScope(disk);
    FixJob fix(s, {}, false, true);
    ASSERT_TRUE(fix.execute());
    const std::string report = takeReport(fix.reportPath());

    EXPECT_TRUE(disk.edited);
    EXPECT_EQ(testing::readFile(site.dir.file("notes.txt")), "one\r\ntwo\r\nthree\r\n");
    EXPECT_TRUE(contains(report, "The file changed after it was read; its line ends were not converted\n\t" +
                                     site.dir.file("notes.txt")))
        << report;
}

TEST(FixJob, GetImmediateReportAtLinkErrorsChangesNothingAndLeavesNothingToUndo) {
    // A broken link, and a link whose fragment names nothing in its page.
    for (const std::string link : {"missing.html", "Long Page.html#nowhere"}) {
        SCOPED_TRACE(link);
        Site site;
        site.dir.write("index.html", "<a href=\"Long Page.html\">a</a> <a href=\"" + link + "\">b</a>\n");
        const auto before = testing::treeSnapshot(site.dir.path());
        ScriptedPrompts prompts;
        prompts.expectLinkErrors(ui::LinkErrorsAnswer::ImmediateReport);
        ui::PromptsScope scope(prompts);
        FixJob fix(site.settings(), {}, false, true);
        ASSERT_TRUE(fix.execute());
        const std::string report = takeReport(fix.reportPath());
        EXPECT_TRUE(contains(report, link)) << report;
        EXPECT_FALSE(contains(report, "REPORT FROM SUCCESSFUL PASS")) << report;
        EXPECT_FALSE(fix.undoable());
        EXPECT_FALSE(fix.status() & kStatusRenaming);
        EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
    }
}

TEST(FixJob, CancelledNameListRenamesNothing) {
    Site site;
    const auto before = testing::treeSnapshot(site.dir.path());
    ScriptedPrompts prompts;
    prompts.expectVerifyFilenames(std::nullopt);
    ui::PromptsScope scope(prompts);
    FixJob fix(site.settings(), {}, false, true);
    ASSERT_TRUE(fix.execute());
    takeReport(fix.reportPath());
    EXPECT_FALSE(fix.undoable());
    EXPECT_FALSE(fix.status() & kStatusRenaming);
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
}

TEST(FixJob, AbsoluteLinksWithoutAServerAreRefusedBeforeAnythingChanges) {
    Site site;
    const auto before = testing::treeSnapshot(site.dir.path());
    JobSettings s = site.settings();
    s.Server.clear();
    s.AbsRelCnvrt = kUrlAbsolute;
    ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    FixJob fix(s, {}, false, true);
    ASSERT_TRUE(fix.execute());
    const std::string report = takeReport(fix.reportPath());
    EXPECT_TRUE(contains(report, "server")) << report;
    EXPECT_FALSE(fix.undoable());
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
}

TEST(FixJob, AnUncheckedNameKeepsItsLinksAndIsListed) {
    Site site;
    JobSettings s = site.settings();
    s.Target = kTargetNone;  // lower case only: "Images", "Big Logo.GIF" and "Long Page.html" change
    ScriptedPrompts prompts;
    // Rows in pre-order: Images, Images/Big Logo.GIF, Long Page.html. Keep the page's rename only.
    prompts.expectVerifyFilenames(ui::VerifyNamesReply{{false, false, true}, {}});
    ui::PromptsScope scope(prompts);
    FixJob fix(s, {}, false, true);
    ASSERT_TRUE(fix.execute());
    const std::string report = takeReport(fix.reportPath());
    EXPECT_TRUE(contains(report, "NOT RENAMED BY USER REQUEST")) << report;
    const std::string index = testing::readFile(site.dir.file("index.html"));
    // Still the unrenamed names; the raw blank is encoded, as any link with one is.
    EXPECT_TRUE(contains(index, "src='Images/Big%20Logo.GIF'")) << index;
    // The blank of the new name is written encoded, so it cannot end the value.
    EXPECT_TRUE(contains(index, "href=\"long%20page.html#top\"")) << index;
    EXPECT_EQ(testing::entriesOf(site.dir.file("Images")), std::vector<std::string>{"Big Logo.GIF"});
}

}  // namespace
}  // namespace korvel
