#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/run_korvel.h"
#include "jobs/site_lock.h"
#include "jobs/undo_journal.h"
#include "platform/disk.h"
#include "support/env_var.h"
#include "support/faulty_disk.h"
#include "support/temp_dir.h"

namespace korvel::cli {
namespace {

using testing::TempDir;

bool anyLine(const Lines& lines, std::string_view part) {
    for (const auto& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

struct FixSite {
    const SettingsFile settings{""};
    TempDir state;
    testing::EnvVar stateHome{"XDG_STATE_HOME", state.path()};
    TempDir dir;

    FixSite() {
        dir.write("index.html", "<a href=\"Read Me.TXT\">r</a> <a href=\"Sub Dir/Page One.html\">p</a>\r\n");
        dir.write("Read Me.TXT", "a\r\nb\r\n");
        dir.write("Sub Dir/Page One.html", "<a href=\"../index.html\">home</a>\n");
    }
};

TEST(FixCommand, RefusesWithoutATerminalOrYesAndWithoutAServerForAbsoluteLinks) {
    FixSite site;
    const auto before = testing::treeSnapshot(site.dir.path());
    const Result noYes = runKorvel({"fix", site.dir.path(), "--target", "dos"});
    EXPECT_EQ(noYes.status, kExitUsage);
    ASSERT_EQ(noYes.err.size(), 1u) << ::testing::PrintToString(noYes.err);
    EXPECT_NE(noYes.err[0].find("--yes"), std::string::npos);
    const Result noServer = runKorvel({"fix", site.dir.path(), "--links", "absolute", "--yes"});
    EXPECT_EQ(noServer.status, kExitUsage);
    EXPECT_EQ(noServer.err,
              Lines{"korvel: links in absolute form need the server's name: give --server NAME"});
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
}

TEST(FixCommand, FixThenUndoFromAnotherRunGivesBackTheExactTree) {
    FixSite site;
    const auto before = testing::treeSnapshot(site.dir.path());
    const Result fix = runKorvel({"fix", site.dir.path(), "--target", "dos", "--case", "lower", "--line-ends",
                                  "unix", "--log-subdirs", "--yes"});
    EXPECT_EQ(fix.status, kExitOk) << ::testing::PrintToString(fix.out);
    EXPECT_TRUE(anyLine(fix.out, "RENAMED FILES:"));
    EXPECT_TRUE(anyLine(fix.out, "DOS  -> UNIX:"));
    EXPECT_EQ(testing::readFile(site.dir.file("readme.txt")), "a\nb\n");
    EXPECT_EQ(testing::readFile(site.dir.file("index.htm")),
              "<a href=\"readme.txt\">r</a> <a href=\"subdir/pageone.htm\">p</a>\n");

    const Result list = runKorvel({"undo", site.dir.path(), "--list"});
    EXPECT_EQ(list.status, kExitOk);
    EXPECT_TRUE(anyLine(list.out, "rename back")) << ::testing::PrintToString(list.out);

    const Result undo = runKorvel({"undo", site.dir.path()});
    EXPECT_EQ(undo.status, kExitOk) << ::testing::PrintToString(undo.out);
    EXPECT_TRUE(anyLine(undo.out, "REVERTED FILES TO INITIAL STATE"));
    EXPECT_TRUE(anyLine(undo.out, "RESTORED FILENAMES:"));
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);

    const Result again = runKorvel({"undo", site.dir.path()});
    EXPECT_EQ(again.status, kExitFindings);
    EXPECT_TRUE(anyLine(again.err, "no files were changed"));
    EXPECT_EQ(runKorvel({"undo", site.dir.path(), "--list"}).status, kExitFindings);
}

// Every kind of reference a browser follows names a file the target renames: after the fix a check
// finds every one of them resolved and no file unused, and the undo gives back every byte.
TEST(FixCommand, EveryKindOfReferenceFollowsItsRenamedFileAndTheUndoRestoresIt) {
    const SettingsFile settings{""};
    TempDir state;
    testing::EnvVar stateHome{"XDG_STATE_HOME", state.path()};
    TempDir dir;
    dir.write(
        "index.htm",
        "<meta http-equiv=\"refresh\" content=\"30; URL='Next Page.html#top'\">\n"
        "<link rel=\"icon\" href=\"Fav Icon.ico\">\n"
        "<img src=\"tiny.gif\" srcset=\"Big%20Photo.JPEG 2x, tiny.gif 1x\">\n"
        "<picture><source srcset=\"tiny.gif 1x,Big%20Photo.JPEG 480w\"></picture>\n"
        "<video src=\"Oven Film.webm\" poster=\"Big Photo.JPEG\"><track src=\"Sub Titles.vtt\"></video>\n"
        "<audio src=\"Bell Sound.ogg\"></audio><object data=\"Menu Card.svg\"></object>\n"
        "<embed src=\"Price List.pdf\"><iframe src=\"Map Page.html\"></iframe>\n"
        "<svg><use href=\"Menu Card.svg#a\"/><image xlink:href=\"Big Photo.JPEG\"/>"
        "<a xlink:href=\"Next Page.html\">n</a></svg>\n"
        "<blockquote cite=\"Quote Source.html\">q</blockquote>\n");
    for (const char* file :
         {"tiny.gif", "Big Photo.JPEG", "Fav Icon.ico", "Oven Film.webm", "Sub Titles.vtt", "Bell Sound.ogg",
          "Menu Card.svg", "Price List.pdf", "Map Page.html", "Next Page.html", "Quote Source.html"})
        dir.write(file, "x");
    const auto before = testing::treeSnapshot(dir.path());

    const Result fix = runKorvel({"fix", dir.path(), "--target", "iso9660", "--yes"});
    ASSERT_EQ(fix.status, kExitOk) << ::testing::PrintToString(fix.out);
    EXPECT_EQ(testing::readFile(dir.file("index.htm")),
              "<meta http-equiv=\"refresh\" content=\"30; URL='NextPage.htm#top'\">\n"
              "<link rel=\"icon\" href=\"FavIcon.ico\">\n"
              "<img src=\"tiny.gif\" srcset=\"BigPhoto.JPE 2x, tiny.gif 1x\">\n"
              "<picture><source srcset=\"tiny.gif 1x,BigPhoto.JPE 480w\"></picture>\n"
              "<video src=\"OvenFilm.web\" poster=\"BigPhoto.JPE\"><track src=\"SubTitle.vtt\"></video>\n"
              "<audio src=\"BellSoun.ogg\"></audio><object data=\"MenuCard.svg\"></object>\n"
              "<embed src=\"PriceLis.pdf\"><iframe src=\"MapPage.htm\"></iframe>\n"
              "<svg><use href=\"MenuCard.svg#a\"/><image xlink:href=\"BigPhoto.JPE\"/>"
              "<a xlink:href=\"NextPage.htm\">n</a></svg>\n"
              "<blockquote cite=\"QuoteSou.htm\">q</blockquote>\n");

    const Result check = runKorvel({"check", dir.path(), "--target", "iso9660"});
    EXPECT_EQ(check.status, kExitOk) << ::testing::PrintToString(check.out);
    EXPECT_FALSE(anyLine(check.out, "UNRESOLVED LOCAL LINKS:")) << ::testing::PrintToString(check.out);
    EXPECT_FALSE(anyLine(check.out, "NOT USED IN THE SITE HIERARCHY")) << ::testing::PrintToString(check.out);

    const Result undo = runKorvel({"undo", dir.path()});
    EXPECT_EQ(undo.status, kExitOk) << ::testing::PrintToString(undo.out);
    EXPECT_EQ(testing::treeSnapshot(dir.path()), before);
}

TEST(FixCommand, EveryJobThatChangesASiteRefusesWhileAnotherHoldsIt) {
    FixSite site;
    // A first fix that is still running, as far as this site's lock can tell.
    ASSERT_EQ(runKorvel({"fix", site.dir.path(), "--target", "dos", "--yes"}).status, kExitOk);
    const auto before = testing::treeSnapshot(site.dir.path());
    const auto listed = jobs::listJournal(site.dir.path());
    const jobs::SiteLock held(site.dir.path());
    ASSERT_FALSE(held.busy());
    const std::string keep = site.state.path();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"fix", site.dir.path(), "--target", "iso9660", "--line-ends", "unix",
                                   "--yes"},
          {"orphans", site.dir.path(), "--move-to", keep, "--yes"},
          {"undo", site.dir.path()}}) {
        const Result second = runKorvel(args);
        EXPECT_EQ(second.status, kExitUsage) << args[0];
        EXPECT_TRUE(anyLine(second.err, "Another Korvel job is changing this site")) << args[0];
        EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before) << args[0];
        EXPECT_EQ(jobs::listJournal(site.dir.path()), listed) << args[0];
    }
}

TEST(FixCommand, NothingChangesWhenTheReportCouldNotBeWrittenAndAMissingDirectoryIsBadUsage) {
    FixSite site;
    const auto before = testing::treeSnapshot(site.dir.path());
    const std::string nowhere = site.state.path() + "/no/such/dir/report.txt";
    const Result fix = runKorvel({"fix", site.dir.path(), "--target", "dos", "--yes", "--report", nowhere});
    EXPECT_EQ(fix.status, kExitUsage);
    EXPECT_TRUE(anyLine(fix.err, "cannot write the report to " + nowhere));
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
    EXPECT_TRUE(jobs::listJournal(site.dir.path()).empty());

    const Result missing = runKorvel({"undo", site.dir.path() + "/missing"});
    EXPECT_EQ(missing.status, kExitUsage);
    EXPECT_TRUE(anyLine(missing.err, "is not a directory"));
}

// A file that also has a name outside the site is left alone unless the fix is told to split it; then the
// other name keeps the old bytes.
TEST(FixCommand, AHardLinkedFileIsSkippedUnlessSplitIsAsked) {
    FixSite site;
    TempDir outside;
    const std::string inSite = site.dir.file("Read Me.TXT");
    const std::string other = outside.file("readme.txt");
    ASSERT_EQ(::link(inSite.c_str(), other.c_str()), 0);

    const Result skip = runKorvel({"fix", site.dir.path(), "--line-ends", "unix", "--yes"});
    EXPECT_TRUE(anyLine(skip.out, "more than one name")) << ::testing::PrintToString(skip.out);
    EXPECT_EQ(testing::readFile(inSite), "a\r\nb\r\n");

    const Result split =
        runKorvel({"fix", site.dir.path(), "--line-ends", "unix", "--hard-links", "split", "--yes"});
    EXPECT_EQ(split.status, kExitOk) << ::testing::PrintToString(split.out);
    EXPECT_EQ(testing::readFile(inSite), "a\nb\n");
    EXPECT_EQ(testing::readFile(other), "a\r\nb\r\n");

    ASSERT_EQ(runKorvel({"undo", site.dir.path()}).status, kExitOk);
    EXPECT_EQ(testing::readFile(inSite), "a\r\nb\r\n");
}

TEST(FixCommand, UndoJoinsAgainTheNamesASplitTookApart) {
    FixSite site;
    const std::string first = site.dir.file("Read Me.TXT");
    const std::string second = site.dir.file("Other.TXT");
    ASSERT_EQ(::link(first.c_str(), second.c_str()), 0);
    // Other.TXT is an orphan: the fix says so (status 1).
    ASSERT_EQ(
        runKorvel({"fix", site.dir.path(), "--line-ends", "unix", "--hard-links", "split", "--yes"}).status,
        kExitFindings);
    struct stat a {};
    struct stat b {};
    ASSERT_EQ(::stat(first.c_str(), &a), 0);
    ASSERT_EQ(::stat(second.c_str(), &b), 0);
    ASSERT_NE(a.st_ino, b.st_ino);
    ASSERT_EQ(runKorvel({"undo", site.dir.path()}).status, kExitOk);
    ASSERT_EQ(::stat(first.c_str(), &a), 0);
    ASSERT_EQ(::stat(second.c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(a.st_nlink, 2u);
    EXPECT_EQ(testing::readFile(first), "a\r\nb\r\n");
}

TEST(FixCommand, AFullJournalStopsTheRenamingAndTheReportSaysTheRunIsPartial) {
    FixSite site;
    for (const char* name : {"A One.htm", "B Two.htm", "C Three.htm", "D Four.htm"})
        site.dir.write(name, "x");
    const auto before = testing::treeSnapshot(site.dir.path());
    Result fix;
    {
        testing::FaultyDisk disk;
        disk.writesUnder = site.state.path();
        disk.bytesBeforeFailure = 700;  // the header and a few renames
        platform::DiskScope scope(disk);
        fix = runKorvel({"fix", site.dir.path(), "--target", "dos", "--yes"});
    }
    EXPECT_FALSE(anyLine(fix.out, "REPORT FROM SUCCESSFUL PASS")) << ::testing::PrintToString(fix.out);
    EXPECT_TRUE(anyLine(fix.out, "Renaming stopped")) << ::testing::PrintToString(fix.out);
    EXPECT_NE(testing::treeSnapshot(site.dir.path()), before);
    // Everything the run did is on record.
    ASSERT_EQ(runKorvel({"undo", site.dir.path()}).status, kExitOk);
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
}

// A site whose style sheets, in a directory to be renamed, name files to be renamed in every way a style
// sheet can: url() quoted and not, escaped, @import string and url(), image-set().
struct StyleSheetSite : FixSite {
    StyleSheetSite() {
        dir.write("index.html",
                  "<link rel=stylesheet href=\"Style Sheets/Main Sheet.css\">\n"
                  "<p style=\"background: url(Pictures/Back%20Ground.png)\"><img src=\"Pictures/Big "
                  "Image.png\">\n");
        dir.write("Style Sheets/Main Sheet.css",
                  "@import \"Extra Part.css\";\r\n@import url('Extra Part.css');\r\n"
                  "body { background: url(../Pictures/Back%20Ground.png) }\r\n"
                  "h1 { background: image-set(\"../Pictures/Big Image.png\" 2x) }\r\n"
                  "h2 { background: url(../Pictures/Back\\ Ground.png) }\r\n");
        dir.write("Style Sheets/Extra Part.css", "p { background: url(\"../Pictures/Big Image.png\") }\n");
        dir.write("Pictures/Back Ground.png", "1");
        dir.write("Pictures/Big Image.png", "2");
        // The rest of the fixture is not linked: it would stand as an orphan to rename.
        std::filesystem::remove(dir.file("Read Me.TXT"));
        std::filesystem::remove_all(dir.file("Sub Dir"));
    }

    std::size_t brokenLinks() const {
        const Result check = runKorvel({"check", dir.path(), "--format", "json"});
        std::string text;
        for (const std::string& line : check.out)
            text += line + "\n";
        return nlohmann::json::parse(text).at("summary").at("counts").at("brokenLinks").get<std::size_t>();
    }
};

// Root form is asked for the pages; style sheet text keeps its form and changes only with the names.
TEST(FixCommand, StyleSheetsFollowTheRenamesAndUndoGivesBackEveryByte) {
    StyleSheetSite site;
    const auto before = testing::treeSnapshot(site.dir.path());
    ASSERT_EQ(site.brokenLinks(), 0u);

    const Result fix =
        runKorvel({"fix", site.dir.path(), "--target", "dos", "--case", "lower", "--links", "root", "--yes"});
    EXPECT_EQ(fix.status, kExitOk) << ::testing::PrintToString(fix.out);
    EXPECT_EQ(site.brokenLinks(), 0u);
    const std::string index = testing::readFile(site.dir.file("index.htm"));
    EXPECT_NE(index.find("href=\"/styleshe/mainshee.css\""), std::string::npos) << index;
    EXPECT_NE(index.find("url(pictures/backgrou.png)"), std::string::npos) << index;
    EXPECT_EQ(testing::readFile(site.dir.file("styleshe/mainshee.css")),
              "@import \"extrapar.css\";\r\n@import url('extrapar.css');\r\n"
              "body { background: url(../pictures/backgrou.png) }\r\n"
              "h1 { background: image-set(\"../pictures/bigimage.png\" 2x) }\r\n"
              "h2 { background: url(../pictures/backgrou.png) }\r\n");
    EXPECT_EQ(testing::readFile(site.dir.file("styleshe/extrapar.css")),
              "p { background: url(\"../pictures/bigimage.png\") }\n");

    ASSERT_EQ(runKorvel({"undo", site.dir.path()}).status, kExitOk);
    EXPECT_EQ(testing::treeSnapshot(site.dir.path()), before);
}

TEST(FixCommand, AReadOnlyStyleSheetFollowsTheReadOnlyPolicy) {
    StyleSheetSite site;
    const std::string extra = site.dir.file("Style Sheets/Extra Part.css");
    ::chmod(extra.c_str(), 0444);
    const std::string bytes = testing::readFile(extra);

    const Result skip = runKorvel(
        {"fix", site.dir.path(), "--target", "dos", "--case", "lower", "--read-only", "skip", "--yes"});
    // Neither renamed nor rewritten: its link to the renamed image is the one left broken.
    EXPECT_TRUE(anyLine(skip.out, "Read-only file was skipped")) << ::testing::PrintToString(skip.out);
    EXPECT_EQ(testing::readFile(site.dir.file("styleshe/Extra Part.css")), bytes);
    EXPECT_EQ(site.brokenLinks(), 1u);
    ASSERT_EQ(runKorvel({"undo", site.dir.path()}).status, kExitOk);

    const Result convert = runKorvel(
        {"fix", site.dir.path(), "--target", "dos", "--case", "lower", "--read-only", "convert", "--yes"});
    EXPECT_EQ(testing::readFile(site.dir.file("styleshe/extrapar.css")),
              "p { background: url(\"../pictures/bigimage.png\") }\n");
    EXPECT_EQ(site.brokenLinks(), 0u);
}

// What stands behind a symbolic link is not the site's own and is never rewritten; the links in it that
// the new names break are named, by the check beforehand and by the fix as an error.
TEST(FixCommand, LinksInAFileBehindASymbolicLinkAreNamedNotRewritten) {
    FixSite site;
    TempDir outside;
    outside.write("shared.css", "p { background: url(\"Big Image.png\") }\n");
    site.dir.write("index.html", "<link rel=stylesheet href=\"Style/shared.css\">\n");
    site.dir.write("Style/Big Image.png", "1");
    ASSERT_EQ(::symlink(outside.file("shared.css").c_str(), site.dir.file("Style/shared.css").c_str()), 0);
    constexpr std::string_view kSaid = "is a symbolic link, whose content is not the site's own";

    const Result check = runKorvel({"check", site.dir.path(), "--target", "dos"});
    EXPECT_TRUE(anyLine(check.out, kSaid)) << ::testing::PrintToString(check.out);

    const Result fix = runKorvel({"fix", site.dir.path(), "--target", "dos", "--yes"});
    EXPECT_EQ(fix.status, 1) << ::testing::PrintToString(fix.out);
    EXPECT_TRUE(anyLine(fix.out, kSaid)) << ::testing::PrintToString(fix.out);
    EXPECT_EQ(testing::readFile(outside.file("shared.css")), "p { background: url(\"Big Image.png\") }\n");
}

}  // namespace
}  // namespace korvel::cli
