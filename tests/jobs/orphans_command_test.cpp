#include "jobs/orphans_command.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jobs/fix_command.h"
#include "platform/disk.h"
#include "platform/files.h"
#include "report/job_status.h"
#include "res/strings.h"
#include "support/env_var.h"
#include "support/faulty_disk.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::ScriptedPrompts;
using testing::TempDir;

using testing::takeReport;

using testing::contains;

// A site with four orphans: one beside the home page, one in a directory that keeps other files, and two
// in directories that hold nothing else. A style sheet, its import and its image are used; "logo.gif" is
// used only by a page in a subdirectory; "empty" was empty before any job.
struct Site {
    TempDir dir;
    TempDir keep;
    TempDir state;
    testing::EnvVar stateHome{"XDG_STATE_HOME", state.path()};

    Site() {
        dir.write("index.html", "<a href=\"a.html\">a</a> <a href=\"sub/page.html\">sub</a>\n");
        // What a page's style sheet names is used too: its import and its image.
        dir.write("a.html", "<link rel=\"stylesheet\" href=\"style.css\"><img src=\"images/keep.gif\">\n");
        dir.write("style.css", "@import \"more.css\";\nbody { background: url(images/bg.gif) }\n");
        dir.write("more.css", "p { color: red }\n");
        dir.write("images/bg.gif", "GIF89a bg");
        dir.write("sub/page.html", "<img src=\"../logo.gif\">\n");
        dir.write("logo.gif", "GIF89a logo");
        dir.write("images/keep.gif", "GIF89a keep");
        dir.write("images/unused.gif", "GIF89a unused");
        dir.write("old/deep/y.txt", "old text");
        dir.write("old/x.gif", "GIF89a old");
        dir.write("orphan.html", "<p>nobody links here</p>\n");
        dir.mkdir("empty");
        ::chmod(dir.file("old/x.gif").c_str(), 0600);
    }

    JobSettings settings() const {
        JobSettings s = settingsFileDefaults();
        s.Directory = dir.path();
        s.HomePage = dir.file("index.html");
        s.ServerDefaultFiles = "index.html";
        s.UseSubdirs = false;  // the job reads the whole tree whatever this says
        s.MoveOrphans = true;
        s.MoveToDir = keep.path();
        return s;
    }

    std::vector<std::string> orphans() const {
        return {dir.file("images/unused.gif"), dir.file("old/deep/y.txt"), dir.file("old/x.gif"),
                dir.file("orphan.html")};
    }
};

TEST(OrphansJob, MovesTheOrphansKeepingTheirPlacesAndTheUndoPutsEveryByteAndModeBack) {
    Site site;
    // The usual name is taken in the keep directory: the orphans go to the next free one.
    const std::string name = fs::path(site.dir.path()).filename().string();
    site.keep.write(name + "/theirs.txt", "not the job's");
    const auto before = testing::treeSnapshot(site.dir.path());
    ScriptedPrompts prompts;
    prompts.expectVerifyFiles(std::vector<bool>(4, true));
    ui::PromptsScope scope(prompts);
    OrphansJob job(site.settings(), {}, false, true);
    ASSERT_TRUE(job.execute());
    const std::string report = takeReport(job.reportPath());

    EXPECT_EQ(prompts.verifyFilesRequests().at(0).files, site.orphans());
    EXPECT_EQ(job.orphanPaths(), site.orphans());
    EXPECT_EQ(job.removedDirectories(),
              (std::vector<std::string>{site.dir.file("old/deep"), site.dir.file("old")}));
    EXPECT_EQ(job.movedTo(), site.keep.file(name + "0"));
    EXPECT_EQ(testing::modeOf(job.movedTo() + "/old/x.gif"), 0600u);
    EXPECT_TRUE(fs::exists(site.dir.file("logo.gif")));
    EXPECT_TRUE(fs::exists(site.dir.file("empty")));
    EXPECT_TRUE(job.undoable());
    EXPECT_TRUE(contains(report, "REPORT FROM SUCCESSFUL PASS")) << report;
    EXPECT_TRUE(contains(report, "Removed 4 orphans and 2 orphan directories \n   from: " + site.dir.path() +
                                     "\n   to:   " + job.movedTo() + "\n"))
        << report;
    EXPECT_TRUE(contains(report, "REMOVED ORPHANS:")) << report;
    EXPECT_FALSE(contains(report, "THE FOLLOWING ERRORS")) << report;

    ASSERT_TRUE(job.unexecute());
    const std::string undone = takeReport(job.reportPath());
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
    EXPECT_EQ(testing::entriesOf(site.keep.path()), std::vector<std::string>{name});
    EXPECT_TRUE(contains(undone, "REVERTED FILES TO INITIAL STATE")) << undone;
    EXPECT_TRUE(contains(undone, "Restored 4 orphans and 2 orphan directories \n   from: " + job.movedTo() +
                                     "\n   to:   " + site.dir.path() + "\n"))
        << undone;
    EXPECT_TRUE(contains(undone, "RESTORED ORPHANS:")) << undone;
}

TEST(OrphansJob, ASiteWithoutOrphansSaysSoAndChangesNothing) {
    Site site;
    for (const std::string& orphan : site.orphans())
        fs::remove(orphan);
    const auto before = testing::treeSnapshot(site.dir.path());
    ScriptedPrompts prompts;
    prompts.expectMessageBox(ui::Answer::Ok, "No orphans were found!");
    ui::PromptsScope scope(prompts);
    OrphansJob job(site.settings(), {}, false, true);
    ASSERT_TRUE(job.execute());
    const std::string report = takeReport(job.reportPath());

    EXPECT_TRUE(contains(report, "REPORT FROM SUCCESSFUL PASS")) << report;
    EXPECT_TRUE(contains(report, "No orphans were found!")) << report;
    EXPECT_FALSE(contains(report, "REMOVED ORPHANS:")) << report;
    for (const std::string& title : prompts.progressTitles())
        EXPECT_NE(title, "Removing Orphan Directories");
    EXPECT_FALSE(job.undoable());
    EXPECT_FALSE(job.unexecute());
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
}

// Stops with nothing moved: the report must neither claim a clean site nor name a place nothing went to.
struct StopCase {
    const char* name;
    bool cancelGathering;
    bool uncheckAll;
    bool completed;
};

class OrphansJobStops : public ::testing::TestWithParam<StopCase> {};

TEST_P(OrphansJobStops, WithNothingMovedAndAReportThatSaysSo) {
    const StopCase& c = GetParam();
    Site site;
    const auto before = testing::treeSnapshot(site.dir.path());
    ScriptedPrompts prompts;
    if (c.cancelGathering) prompts.cancelPass("Gathering Orphans");
    if (c.uncheckAll) prompts.expectVerifyFiles(std::vector<bool>(4, false));
    ui::PromptsScope scope(prompts);
    OrphansJob job(site.settings(), {}, false, true);
    ASSERT_TRUE(job.execute());
    const std::string report = takeReport(job.reportPath());

    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
    EXPECT_TRUE(testing::entriesOf(site.keep.path()).empty());
    EXPECT_EQ(job.orphanCount(), 0);
    EXPECT_FALSE(job.undoable());
    EXPECT_EQ((job.status() & kStatusCompleted) != 0, c.completed);
    EXPECT_TRUE(contains(report, c.completed ? "REPORT FROM SUCCESSFUL PASS" : "PARTIAL REPORT")) << report;
    EXPECT_TRUE(
        contains(report, "Removed 0 orphans and 0 orphan directories \n   from: " + site.dir.path() + "\n\n"))
        << report;
    EXPECT_FALSE(contains(report, "No orphans were found!")) << report;
}

INSTANTIATE_TEST_SUITE_P(Cases, OrphansJobStops,
                         ::testing::Values(StopCase{"CancelWhileGathering", true, false, false},
                                           StopCase{"EveryOrphanUnchecked", false, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OrphansJob, AMoveThatFailsIsReportedNotCountedAndTheUndoStillPutsTheRestBack) {
    Site site;
    const auto before = testing::treeSnapshot(site.dir.path());
    testing::FaultyDisk disk;
    disk.refuseRename = [&](const std::string& from, const std::string&) {
        return from == site.dir.file("old/x.gif") ? EACCES : 0;
    };
    std::string report;
    {
        platform::DiskScope diskScope(disk);
        OrphansJob job(site.settings(), {}, false, false);
        ASSERT_TRUE(job.execute());
        report = takeReport(job.reportPath());
        EXPECT_EQ(job.orphanCount(), 3);
        EXPECT_TRUE(job.foundSomething());
        // "old" still holds the file that stayed; only "old/deep" went.
        EXPECT_EQ(job.removedDirectories(), std::vector<std::string>{site.dir.file("old/deep")});
    }
    EXPECT_TRUE(contains(report, "Removed 3 orphans and 1 orphan directories")) << report;
    EXPECT_TRUE(contains(report, "File move failed\n\t" + site.dir.file("old/x.gif"))) << report;
    const std::string removed = report.substr(report.find("REMOVED ORPHANS:"));
    EXPECT_FALSE(contains(removed, site.dir.file("old/x.gif"))) << report;

    ASSERT_TRUE(undoLastJob(site.settings()).complete);
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
}

// A new file at an orphan's place, and a file where its removed directory was: those orphans stay moved
// and are listed; the rest come back.
TEST(OrphansJob, AnOrphanWhoseWayBackIsBlockedStaysMovedAndIsListed) {
    Site site;
    OrphansJob job(site.settings(), {}, false, false);
    ASSERT_TRUE(job.execute());
    takeReport(job.reportPath());
    site.dir.write("orphan.html", "a new page");
    site.dir.write("old", "a file where the directory was");

    ASSERT_TRUE(job.unexecute());
    const std::string undone = takeReport(job.reportPath());

    EXPECT_EQ(testing::readFile(site.dir.file("orphan.html")), "a new page");
    EXPECT_EQ(testing::readFile(site.dir.file("old")), "a file where the directory was");
    EXPECT_EQ(testing::readFile(job.movedTo() + "/orphan.html"), "<p>nobody links here</p>\n");
    EXPECT_EQ(testing::readFile(job.movedTo() + "/old/deep/y.txt"), "old text");
    EXPECT_EQ(testing::readFile(site.dir.file("images/unused.gif")), "GIF89a unused");
    EXPECT_TRUE(contains(undone, "PARTIAL REPORT")) << undone;
    EXPECT_TRUE(contains(undone, "Restored 1 orphans and 0 orphan directories")) << undone;
    EXPECT_TRUE(contains(undone, "its original name is taken")) << undone;
    EXPECT_TRUE(contains(undone, "Failed to rename file\n\t" + job.movedTo() + "/old/x.gif")) << undone;
}

TEST(OrphansJob, TrashedOrphansComeBackFromTheTrash) {
    Site site;
    TempDir data;
    testing::EnvVar dataHome("XDG_DATA_HOME", data.path());
    const auto before = testing::treeSnapshot(site.dir.path());
    JobSettings s = site.settings();
    s.MoveOrphans = false;
    OrphansJob job(s, {}, false, false);
    ASSERT_TRUE(job.execute());
    const std::string report = takeReport(job.reportPath());

    EXPECT_EQ(job.orphanPaths(), site.orphans());
    EXPECT_TRUE(
        contains(report, "Removed 4 orphans and 2 orphan directories \n   from: " + site.dir.path() + "\n\n"))
        << report;
    EXPECT_EQ(testing::entriesOf(data.file("Trash/files")).size(), 4u);
    EXPECT_TRUE(testing::entriesOf(site.keep.path()).empty());

    ASSERT_TRUE(job.unexecute());
    const std::string undone = takeReport(job.reportPath());
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
    EXPECT_TRUE(testing::entriesOf(data.file("Trash/files")).empty());
    EXPECT_TRUE(testing::entriesOf(data.file("Trash/info")).empty());
    EXPECT_TRUE(contains(undone, "Restored 4 orphans and 2 orphan directories")) << undone;
}

TEST(OrphansJob, APageThatCannotBeReadStopsTheJobBeforeAnythingMoves) {
    if (testing::permissionsAreIgnored()) GTEST_SKIP() << "permission bits are ignored for this user";
    Site site;
    ::chmod(site.dir.file("sub/page.html").c_str(), 0);  // its "../logo.gif" would look unused
    const auto before = testing::treeSnapshot(site.dir.path());
    OrphansJob job(site.settings(), {}, false, false);
    ASSERT_TRUE(job.execute());
    const std::string report = takeReport(job.reportPath());

    EXPECT_TRUE(contains(report, "could not be read")) << report;
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
    EXPECT_FALSE(job.undoable());
}

// A file system of the test's own, so that a site can lie off the home directory's; unmounted first.
class TmpfsMount {
  public:
    explicit TmpfsMount(const std::string& target) : target_(target) {
        mounted_ = ::mount("tmpfs", target.c_str(), "tmpfs", 0, "size=4m") == 0;
    }
    ~TmpfsMount() {
        if (mounted_) ::umount2(target_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

  private:
    std::string target_;
    bool mounted_ = false;
};

// There the orphans go to the trash at the top of the site's file system, which the list and the report
// both name, not to the home trash.
TEST(OrphansJob, TrashOffTheHomeFileSystemIsNamedInTheListAndInTheReport) {
    TempDir outer;
    TempDir home;
    outer.mkdir("site");
    TmpfsMount mount(outer.file("site"));
    if (!mount.mounted()) GTEST_SKIP() << "this user cannot mount a file system";
    testing::EnvVar homeVar("HOME", home.path());
    testing::EnvVar dataVar("XDG_DATA_HOME", home.file("data"));
    testing::EnvVar stateVar("XDG_STATE_HOME", home.file("state"));
    outer.write("site/index.html", "<p>home</p>\n");
    outer.write("site/orphan.gif", "GIF89a");
    JobSettings s = settingsFileDefaults();
    s.Directory = outer.file("site");
    s.HomePage = outer.file("site/index.html");
    s.ServerDefaultFiles = "index.html";
    s.MoveOrphans = false;
    ScriptedPrompts prompts;
    prompts.expectVerifyFiles(std::vector<bool>{true});
    ui::PromptsScope scope(prompts);
    OrphansJob job(s, {}, false, true);
    ASSERT_TRUE(job.execute());
    const std::string report = takeReport(job.reportPath());

    const std::string trash = outer.file("site/.Trash-" + std::to_string(::getuid()));
    EXPECT_EQ(readFile(trash + "/files/orphan.gif"), "GIF89a");
    EXPECT_EQ(prompts.verifyFilesRequests().at(0).note,
              res::formatString(res::kTrashOnSiteFileSystem, trash));
    EXPECT_TRUE(contains(report, res::formatString(res::kTrashedToSiteFileSystem, trash))) << report;
}

// A job that cannot start its moves tells why, and moves nothing.
struct RefusalCase {
    const char* name;
    const char* homePage;  // relative to the site
    const char* moveTo;    // relative to the site; "" for the keep directory
    const char* says;
};

class OrphansJobRefuses : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(OrphansJobRefuses, AndReportsWhy) {
    const RefusalCase& c = GetParam();
    Site site;
    const auto before = testing::treeSnapshot(site.dir.path());
    JobSettings s = site.settings();
    s.HomePage = site.dir.file(c.homePage);
    if (*c.moveTo) s.MoveToDir = site.dir.file(c.moveTo);
    OrphansJob job(s, {}, false, false);
    ASSERT_TRUE(job.execute());
    const std::string report = takeReport(job.reportPath());

    EXPECT_TRUE(contains(report, c.says)) << report;
    EXPECT_TRUE(contains(report, "PARTIAL REPORT")) << report;
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
    EXPECT_FALSE(job.undoable());
}

// A "Move To" spelled through a link outside the site that leads back into it is inside all the same.
TEST(OrphansJob, RefusesAMoveToThatReachesIntoTheSiteThroughALink) {
    for (const char* spelling : {"deep/..", "old/."}) {
        SCOPED_TRACE(spelling);
        Site site;
        fs::create_directory_symlink(site.dir.file("old/deep"), site.keep.file("deep"));
        fs::create_directory_symlink(site.dir.file("old"), site.keep.file("old"));
        const auto before = testing::treeSnapshot(site.dir.path());
        JobSettings s = site.settings();
        s.MoveToDir = site.keep.file(spelling);
        OrphansJob job(s, {}, false, false);
        ASSERT_TRUE(job.execute());
        const std::string report = takeReport(job.reportPath());

        EXPECT_TRUE(contains(report, "lies inside the site")) << report;
        EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OrphansJobRefuses,
    ::testing::Values(RefusalCase{"MissingHomePage", "start.html", "", "Home Page not found:"},
                      RefusalCase{"MoveToInsideTheSite", "index.html", "empty", "lies inside the site"},
                      RefusalCase{"MoveToNotADirectory", "index.html", "a.html", "not a valid directory"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvel
