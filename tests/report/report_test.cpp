#include "report/report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "platform/disk.h"
#include "report/app_log.h"
#include "report/external_page.h"
#include "report/job_status.h"
#include "res/strings.h"
#include "support/env_var.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel {
namespace {

using korvel::testing::EnvVar;

using testing::entriesOf;
using testing::readFile;
using testing::ScriptedPrompts;
using testing::TempDir;

const std::string kDashes(80, '-');

std::string frame(int titleId) {
    return kDashes + "\n" + std::string(res::loadString(titleId)) + " \n" + kDashes + "\n";
}

std::string text(int id) {
    return std::string(res::loadString(id));
}

// The report with its date (the one line that differs from run to run) replaced by "<date>".
std::string undated(const std::string& report) {
    static const std::regex kDate(
        "Directory checked on [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d "
        "\\d\\d:\\d\\d:\\d\\d \\d{4}\n");
    return std::regex_replace(report, kDate, "Directory checked on <date>\n",
                              std::regex_constants::format_first_only);
}

// The lines of the summary section: between its frame and the header's.
std::vector<std::string> summaryLines(const std::string& report) {
    const std::string start = frame(res::kSectionSummary);
    EXPECT_EQ(report.rfind(start, 0), 0u) << report;
    const std::size_t end = report.find(frame(res::kSectionHeader));
    std::vector<std::string> lines;
    std::string body = report.substr(start.size(), end - start.size());
    for (std::size_t from = 0; from < body.size();) {
        const std::size_t nl = body.find('\n', from);
        lines.push_back(body.substr(from, nl - from));
        from = nl + 1;
    }
    return lines;
}

// The body of the header section, from the count line to the section's closing blank lines.
std::string headerTail(const std::string& report) {
    const std::size_t header = report.find(frame(res::kSectionHeader));
    const std::size_t count = report.find(" directories\n", header);
    const std::size_t start = report.find('\n', count) + 2;  // past the count line and its blank line
    return report.substr(start, report.find("\n\n\n\n", start) + 1 - start);
}

class ReportTest : public ::testing::Test {
  protected:
    ReportTest() {
        settings_.Directory = site_;
        settings_.UseSubdirs = true;
        settings_.FilesOnly = true;
    }
    ~ReportTest() override { setCurrentLog(std::move(saved_)); }

    // Makes the report of the current log and reads it; the report file is removed again.
    std::string report(unsigned status, std::uint32_t nodes = 7, std::uint32_t dirs = 2) {
        const std::string path = scope_->log().makeReport(settings_, nodes, dirs, 0, 0, status);
        EXPECT_FALSE(path.empty());
        EXPECT_EQ(path.rfind(tmp_ + "/el_", 0), 0u) << path;
        std::string content = readFile(path);
        ::unlink(path.c_str());
        return content;
    }

    void write(int id, std::string_view line, bool close = true) {
        ReportSection* section = currentLog().openSection(id);
        section->writeLine(line);
        if (close) currentLog().closeSection(section);
    }

    std::unique_ptr<Log> saved_ = setCurrentLog(nullptr);
    ScriptedPrompts prompts_;
    ui::PromptsScope promptsScope_{prompts_};
    TempDir dir_;
    std::string tmp_ = dir_.mkdir("tmp");
    std::string site_ = dir_.mkdir("site");
    EnvVar tmpdir_{"TMPDIR", tmp_};
    std::optional<LogScope> scope_{std::in_place};
    JobSettings settings_;
};

TEST_F(ReportTest, SectionsComeOutInAscendingIdAfterSummaryAndHeaderAndHeaderOnlySectionsAreLeftOut) {
    write(res::kSectionDownloadTimes, "downloads");
    write(res::kSectionSuggestedNames, "suggested");
    currentLog().openSection(res::kSectionSyntaxErrors);  // only its header: no content
    write(res::kSectionSkippedFiles, "skipped", /*close=*/false);
    currentLog().errorDetail(res::kFileOpenFailed, "/x/y");

    const std::string expected =
        frame(res::kSectionSummary) + text(res::kReportSuccessful) + "\n\n" + text(res::kSummaryFileErrors) +
        "\n\n\n\n" + frame(res::kSectionHeader) + "Directory checked on <date>\n" + creditLine() +
        "\n\n5 files in 2 directories\n\n" + "Directory:  " + site_ +
        "\nUsing subdirectories\n\nFilename convention: None\n\nDo not check URL references\n\n\n\n" +
        frame(res::kSectionErrors) + "File open failed\n\t/x/y\n\n\n\n" + frame(res::kSectionSkippedFiles) +
        "skipped\n" + frame(res::kSectionSuggestedNames) + "suggested\n\n\n\n" +
        frame(res::kSectionDownloadTimes) + "downloads\n\n\n\n";
    EXPECT_EQ(undated(report(kStatusCompleted)), expected);
}

TEST_F(ReportTest, TheSameLogGivesTheSameReportExceptForTheDate) {
    write(res::kSectionRenamedFiles, "a -> b");
    const std::string first = report(kStatusCompleted);
    scope_.emplace();
    write(res::kSectionRenamedFiles, "a -> b");
    EXPECT_EQ(undated(report(kStatusCompleted)), undated(first));
    EXPECT_NE(undated(first), first);  // the date line was there to replace
    EXPECT_EQ(first.find('\r'), std::string::npos);
}

// ---- the summary ----

struct SummaryCase {
    const char* name;
    unsigned status;
    bool errors, syntax, unresolved, unused;
    bool reportUnresolved, reportUnused, removeOrphans;
    std::vector<int> expected;  // the summary's lines, by string id (0: an empty line)
};

class SummaryTest : public ReportTest, public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(SummaryTest, OpensWithTheStatusLineAndPointsAtWhatWasFound) {
    const SummaryCase& c = GetParam();
    settings_.FilesOnly = false;
    settings_.ReportUnresolvedRefs = c.reportUnresolved;
    settings_.ReportUnusedFiles = c.reportUnused;
    settings_.RemoveOrphans = c.removeOrphans;
    if (c.errors) currentLog().error("trouble");
    if (c.syntax) write(res::kSectionSyntaxErrors, "bad tag");
    if (c.unresolved) write(res::kSectionUnresolvedLinks, "missing.html");
    if (c.unused) write(res::kSectionUnusedFiles, "orphan.gif");

    const std::string content = report(c.status);
    std::vector<std::string> expected;
    for (int id : c.expected)
        expected.push_back(id ? text(id) : "");
    for (int i = 0; i < 3; ++i)
        expected.emplace_back();
    EXPECT_EQ(summaryLines(content), expected);
    // A report that was not asked for stays out of the report, even when its pass wrote it.
    EXPECT_EQ(content.find("orphan.gif") != std::string::npos,
              c.unused && c.reportUnused && !c.removeOrphans);
    EXPECT_EQ(content.find("missing.html") != std::string::npos, c.unresolved && c.reportUnresolved);
}

constexpr unsigned kDone = kStatusCompleted;
constexpr unsigned kLinks = kStatusUrlPass;

INSTANTIATE_TEST_SUITE_P(
    Cases, SummaryTest,
    ::testing::Values(
        SummaryCase{"Completed", kDone, false, false, false, false, true, true, false, {272, 0}},
        SummaryCase{"Cancelled", 0, false, false, false, false, true, true, false, {273, 0}},
        SummaryCase{
            "CancelledAfterLinkPass", kLinks, false, false, false, false, true, true, false, {273, 0, 280}},
        SummaryCase{
            "OutOfMemory", kStatusOutOfMemory, false, false, false, false, true, true, false, {274, 0}},
        SummaryCase{
            "ReportedError", kStatusReportedError, false, false, false, false, true, true, false, {274, 0}},
        SummaryCase{"InterruptionBeatsCompletion",
                    kStatusOutOfMemory | kDone,
                    false,
                    false,
                    false,
                    false,
                    true,
                    true,
                    false,
                    {274, 0}},
        SummaryCase{"InterruptionBeatsUndo",
                    kStatusReportedError | kStatusUndone,
                    false,
                    false,
                    false,
                    false,
                    true,
                    true,
                    false,
                    {274, 0}},
        SummaryCase{"Undone", kStatusUndone | kDone, false, false, false, false, true, true, false, {275, 0}},
        SummaryCase{"Clean", kDone | kLinks, false, false, false, false, true, true, false, {272, 0, 280}},
        SummaryCase{"ErrorsAndClean",
                    kDone | kLinks,
                    true,
                    false,
                    false,
                    false,
                    true,
                    true,
                    false,
                    {272, 0, 276, 280}},
        SummaryCase{"ErrorsWithoutLinkPass", kDone, true, true, true, true, true, true, false, {272, 0, 276}},
        SummaryCase{"EverythingFound",
                    kDone | kLinks,
                    true,
                    true,
                    true,
                    true,
                    true,
                    true,
                    false,
                    {272, 0, 276, 277, 278, 279}},
        SummaryCase{
            "OnlyUnresolved", kDone | kLinks, false, false, true, false, true, true, false, {272, 0, 278}},
        SummaryCase{"UnusedNotAskedFor",
                    kDone | kLinks,
                    false,
                    false,
                    false,
                    true,
                    true,
                    false,
                    false,
                    {272, 0, 280}},
        SummaryCase{"UnresolvedNotAskedFor",
                    kDone | kLinks,
                    false,
                    true,
                    true,
                    false,
                    false,
                    true,
                    false,
                    {272, 0, 277}},
        SummaryCase{"OrphansJobNeverSaysOrphans",
                    kDone | kLinks,
                    false,
                    false,
                    false,
                    true,
                    true,
                    true,
                    true,
                    {272, 0, 280}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- partial reports ----

class PartialReportTest : public ReportTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(PartialReportTest, IsStillMadeWithWhatThePassesWroteAndAWholePage) {
    settings_.FilesOnly = false;
    settings_.ReportExternalRefs = true;
    write(res::kSectionRenamedFiles, "a.HTM -> a.htm", /*close=*/false);
    // The external pass was cut off before it closed its page.
    ReportSection* page = currentLog().openSection(res::kSectionExternalUrlPage);
    page->writeLine("<a href=\"http://example.org/\">http://example.org/</a>");

    const std::string content = report(GetParam());
    const int opening =
        GetParam() & kStatusInterrupted ? res::kReportInterrupted : res::kReportEarlyTermination;
    EXPECT_EQ(content.rfind(frame(res::kSectionSummary) + text(opening) + "\n", 0), 0u) << content;
    EXPECT_NE(content.find(frame(res::kSectionRenamedFiles) + "a.HTM -> a.htm\n"), std::string::npos);

    const std::string placed = readFile(site_ + "/" + std::string(kExternalPageName));
    EXPECT_EQ(placed.rfind(externalPageHead(), 0), 0u);
    EXPECT_TRUE(placed.ends_with("</pre><br>" + creditLine().substr(4) + "\n</body></html>\n")) << placed;
}

INSTANTIATE_TEST_SUITE_P(Statuses, PartialReportTest,
                         ::testing::Values(0u, kStatusUrlPass | kStatusRenaming, kStatusReportedError,
                                           kStatusOutOfMemory, kStatusOutOfMemory | kStatusRenaming));

// ---- the header ----

struct CountCase {
    bool useSubdirs;
    std::uint32_t nodes, dirs;
    const char* expected;
};

class CountLineTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountLineTest, CountsFilesWithoutDirectoriesAndTheTopAmongTheDirectories) {
    EXPECT_EQ(countLine(GetParam().useSubdirs, GetParam().nodes, GetParam().dirs), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CountLineTest,
                         ::testing::Values(CountCase{true, 10, 3, "7 files in 3 directories"},
                                           CountCase{true, 1, 1, "0 files in 1 directories"},
                                           // Without subdirectories the tree still holds nodes for the
                                           // subdirectories of the top; they are not files.
                                           CountCase{false, 6, 3, "3 files in 1 directories"},
                                           CountCase{false, 0, 0, "0 files in 0 directories"},
                                           CountCase{true, 0, 0, "0 files in 0 directories"}));

struct OrphanCase {
    const char* name;
    std::int32_t orphans, dirs;
    bool move, undone;
    const char* moveToDir;
    const char* movedTo;  // what the job reports as the real destination ("" for none)
    const char* expected;
};

class OrphanHeaderTest : public ReportTest, public ::testing::WithParamInterface<OrphanCase> {};

TEST_P(OrphanHeaderTest, SaysWhatWasRemovedOrRestoredInsteadOfTheSettings) {
    const OrphanCase& c = GetParam();
    settings_ = {};
    settings_.Directory = "/srv/site/";
    settings_.RemoveOrphans = true;
    settings_.MoveOrphans = c.move;
    settings_.MoveToDir = c.moveToDir;
    settings_.ReportExternalRefs = true;  // an orphans job still gets no page and no note
    settings_.ReportUnusedFiles = true;
    write(res::kSectionUnusedFiles, "orphan.gif");
    currentLog().openSection(res::kSectionExternalUrlPage)->writeLine("http://example.org/");

    const unsigned status = kStatusCompleted | kStatusUrlPass | (c.undone ? kStatusUndone : 0u);
    const std::string path = scope_->log().makeReport(settings_, 5, 1, c.orphans, c.dirs, status, c.movedTo);
    const std::string content = readFile(path);
    ::unlink(path.c_str());
    EXPECT_EQ(headerTail(content), c.expected);
    EXPECT_EQ(content.find(text(res::kSummaryOrphans)), std::string::npos);
    EXPECT_EQ(content.find(text(res::kExternalPageNote1)), std::string::npos);
    EXPECT_TRUE(entriesOf(site_).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OrphanHeaderTest,
    ::testing::Values(
        OrphanCase{"NoneFound", 0, 0, true, false, "/keep", "", "No orphans were found!\n"},
        OrphanCase{"Moved", 3, 1, true, false, "/keep", "",
                   "Removed 3 orphans and 1 orphan directories \n   from: /srv/site/\n   to:   /keep/site\n"},
        OrphanCase{"MovedToDirWithSeparator", 3, 0, true, false, "/keep/", "",
                   "Removed 3 orphans and 0 orphan directories \n   from: /srv/site/\n   to:   /keep/site\n"},
        OrphanCase{
            "MovedWhereTheJobSays", 2, 0, true, false, "/keep", "/keep/site0",
            "Removed 2 orphans and 0 orphan directories \n   from: /srv/site/\n   to:   /keep/site0\n"},
        OrphanCase{"Trashed", 4, 2, false, false, "/keep", "",
                   "Removed 4 orphans and 2 orphan directories \n   from: /srv/site/\n"},
        OrphanCase{
            "Restored", 3, 1, true, true, "/keep", "",
            "Restored 3 orphans and 1 orphan directories \n   from: /keep/site\n   to:   /srv/site/\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the external-links page ----

class ExternalPageTest : public ReportTest {
  protected:
    ExternalPageTest() {
        settings_.FilesOnly = false;
        settings_.ReportExternalRefs = true;
    }
    std::string placed() const { return site_ + "/" + std::string(kExternalPageName); }
    // What the external pass leaves: the page with one link, closed.
    void writePage() {
        ReportSection* page = currentLog().openSection(res::kSectionExternalUrlPage);
        page->writeLine("new list");
        currentLog().closeSection(page);
    }
    std::string note() const {
        return frame(res::kSectionExternalPageNote) + text(res::kExternalPageNote1) + "\n" +
               text(res::kExternalPageNote2) +
               "\nThis file is named: \"report_of_external_refs.html\"\n\n\n\n";
    }
};

TEST_F(ExternalPageTest, IsPlacedInTheTopDirectoryAndAnnouncedLast) {
    writePage();
    const std::string content = report(kStatusCompleted);
    const std::string expected =
        externalPageHead() + "new list\n</pre><br>" + creditLine().substr(4) + "\n</body></html>\n";
    EXPECT_EQ(readFile(placed()), expected);
    EXPECT_TRUE(content.ends_with(note())) << content;
    EXPECT_EQ(content.find("new list"), std::string::npos);  // the page is not part of the text report
}

TEST_F(ExternalPageTest, ReplacesThePageOfAnEarlierJob) {
    const std::string earlier = externalPageHead() + "old list\n</pre></body></html>\n";
    dir_.write("site/report_of_external_refs.html", earlier);
    ::chmod(placed().c_str(), 0640);
    writePage();
    const std::string content = report(kStatusCompleted);
    EXPECT_NE(readFile(placed()).find("new list"), std::string::npos);
    EXPECT_EQ(testing::modeOf(placed()) & 0777, 0640u);
    EXPECT_TRUE(content.ends_with(note()));
}

struct InTheWayCase {
    const char* name;
    void (*make)(const TempDir& dir);
};

class PageInTheWayTest : public ExternalPageTest, public ::testing::WithParamInterface<InTheWayCase> {};

TEST_P(PageInTheWayTest, IsLeftAloneReportedAndNotAnnounced) {
    GetParam().make(dir_);
    const std::vector<std::string> before = entriesOf(dir_.path() + "/elsewhere");
    const std::string target = readFile(dir_.path() + "/elsewhere/mine.html");
    struct stat entry {};
    ASSERT_EQ(::lstat(placed().c_str(), &entry), 0);
    const std::string own = readFile(placed());
    writePage();
    const std::string content = report(kStatusCompleted);

    struct stat after {};
    ASSERT_EQ(::lstat(placed().c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, entry.st_mode);  // a link stays a link, a directory a directory
    EXPECT_EQ(after.st_ino, entry.st_ino);
    EXPECT_EQ(readFile(placed()), own);
    EXPECT_EQ(readFile(dir_.path() + "/elsewhere/mine.html"), target);
    EXPECT_EQ(entriesOf(dir_.path() + "/elsewhere"), before);
    EXPECT_NE(content.find(frame(res::kSectionErrors) + text(res::kExternalPageInTheWay) + "\n\t" + placed()),
              std::string::npos)
        << content;
    EXPECT_EQ(summaryLines(content)[2], text(res::kSummaryFileErrors));
    EXPECT_EQ(content.find(text(res::kExternalPageNote1)), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, PageInTheWayTest,
    ::testing::Values(InTheWayCase{"PersonsOwnFile",
                                   [](const TempDir& d) {
                                       d.write("elsewhere/mine.html", "x");
                                       d.write("site/report_of_external_refs.html", "<p>my own page</p>\n");
                                   }},
                      InTheWayCase{"SymlinkToAFile",
                                   [](const TempDir& d) {
                                       d.write("elsewhere/mine.html", externalPageHead() + "theirs\n");
                                       ASSERT_EQ(
                                           ::symlink(d.file("elsewhere/mine.html").c_str(),
                                                     d.file("site/report_of_external_refs.html").c_str()),
                                           0);
                                   }},
                      InTheWayCase{"DanglingSymlink",
                                   [](const TempDir& d) {
                                       d.mkdir("elsewhere");
                                       ASSERT_EQ(
                                           ::symlink(d.file("elsewhere/new.html").c_str(),
                                                     d.file("site/report_of_external_refs.html").c_str()),
                                           0);
                                   }},
                      InTheWayCase{"Directory",
                                   [](const TempDir& d) {
                                       d.mkdir("elsewhere");
                                       d.mkdir("site/report_of_external_refs.html");
                                   }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExternalPageTest, IsNotMadeWhenThePassNeverRan) {
    settings_.FilesOnly = true;  // no link passes, though external links are asked for
    const std::string content = report(kStatusCompleted);
    EXPECT_TRUE(entriesOf(site_).empty());
    EXPECT_EQ(content.find(text(res::kExternalPageNote1)), std::string::npos);
}

TEST_F(ExternalPageTest, IsNotPlacedWhenNotAskedFor) {
    settings_.ReportExternalRefs = false;
    writePage();
    report(kStatusCompleted);
    EXPECT_TRUE(entriesOf(site_).empty());
}

// A disk that refuses to create the page in the site.
class NoRoomForThePage : public platform::Disk {
  public:
    int open(const char* path, int flags, mode_t mode) override {
        if (std::string_view(path).ends_with(kExternalPageName)) {
            errno = ENOSPC;
            return -1;
        }
        return Disk::open(path, flags, mode);
    }
};

TEST_F(ExternalPageTest, ACopyThatFailsIsReportedAndTheReportIsStillMade) {
    writePage();
    std::string content;
    {
        NoRoomForThePage disk;
        platform::DiskScope diskScope(disk);
        content = report(kStatusCompleted);
    }
    EXPECT_TRUE(entriesOf(site_).empty());
    EXPECT_NE(content.find(frame(res::kSectionErrors) +
                           res::formatString(res::kExternalPageCopyFailed, std::strerror(ENOSPC)) + "\n\t" +
                           placed() + "\n"),
              std::string::npos)
        << content;
    EXPECT_EQ(content.find(text(res::kExternalPageNote1)), std::string::npos);
}

// ---- a report that cannot be made ----

TEST_F(ReportTest, UnwritableTemporaryDirectoryIsReportedNotAnEmptyReport) {
    EnvVar missing{"TMPDIR", tmp_ + "/missing"};
    scope_.emplace();  // a log whose sections cannot have files
    prompts_.expectMessageBox(ui::Answer::Ok, "Error creating log report file!")
        .expectMessageBox(ui::Answer::Ok, "Error creating log report file!")
        .expectMessageBox(ui::Answer::Ok, "Error creating log report file!")
        .expectMessageBox(ui::Answer::Ok, "Error creating the report file!");
    ::testing::internal::CaptureStdout();
    write(res::kSectionRenamedFiles, "a -> b");
    const std::string path = scope_->log().makeReport(settings_, 3, 1, 0, 0, kStatusCompleted);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(path, "");
    EXPECT_NE(out.find("a -> b"), std::string::npos);  // the sections went to standard output
    EXPECT_NE(prompts_.messages().back().find(std::strerror(ENOENT)), std::string::npos);
}

// A disk whose writes fail once the report file has been made.
class FullAfterReportFile : public platform::Disk {
  public:
    int mkstemp(char* pathTemplate) override {
        const int fd = Disk::mkstemp(pathTemplate);
        reportFd_ = fd;
        return fd;
    }
    ssize_t write(int fd, const void* data, std::size_t size) override {
        if (fd == reportFd_) {
            errno = ENOSPC;
            return -1;
        }
        return Disk::write(fd, data, size);
    }

  private:
    int reportFd_ = -1;
};

TEST_F(ReportTest, AFailedJoinNamesTheSectionFilesKeepsThemAndLeavesNoHalfReport) {
    write(res::kSectionRenamedFiles, "a -> b");
    write(res::kSectionDownloadTimes, "times");
    currentLog().openSection(res::kSectionSyntaxErrors);  // header only: not part of the report
    // Made now, so that the only file made under the failing disk is the report's.
    currentLog().openSection(res::kSectionSummary);
    currentLog().openSection(res::kSectionHeader);
    std::vector<std::string> sectionFiles;
    prompts_.expectMessageBox(ui::Answer::Ok, "Error creating the report file!\nFiles \"" + tmp_ + "/el_");
    std::string path;
    {
        FullAfterReportFile disk;
        platform::DiskScope diskScope(disk);
        path = scope_->log().makeReport(settings_, 3, 1, 0, 0, kStatusCompleted);
    }
    for (const auto& [id, section] : scope_->log().sections())
        if (section->hasContent()) sectionFiles.push_back(section->fileName());
    EXPECT_EQ(path, "");
    ASSERT_EQ(prompts_.messages().size(), 1u);
    const std::string& message = prompts_.messages()[0];
    EXPECT_NE(message.find(std::strerror(ENOSPC)), std::string::npos) << message;
    const auto [lo, hi] = std::minmax_element(sectionFiles.begin(), sectionFiles.end());
    EXPECT_NE(message.find("\"" + *lo + "\" through \"" + *hi + "\""), std::string::npos) << message;

    scope_.reset();  // the job ends
    // Summary, header, renamed files and download times stay; the rest went, the half report too.
    std::vector<std::string> expected;
    for (const std::string& file : sectionFiles)
        expected.push_back(file.substr(tmp_.size() + 1));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected.size(), 4u);
    EXPECT_EQ(entriesOf(tmp_), expected);
    std::string joined;
    for (const std::string& file : sectionFiles)
        joined += readFile(file);
    EXPECT_NE(joined.find("times"), std::string::npos);
}

// A disk on which the first temporary file made (a section's) cannot be written.
class FirstTempFileFull : public platform::Disk {
  public:
    int mkstemp(char* pathTemplate) override {
        const int fd = Disk::mkstemp(pathTemplate);
        if (fullFd_ < 0) fullFd_ = fd;
        return fd;
    }
    ssize_t write(int fd, const void* data, std::size_t size) override {
        if (fd == fullFd_) {
            errno = ENOSPC;
            return -1;
        }
        return Disk::write(fd, data, size);
    }

  private:
    int fullFd_ = -1;
};

TEST_F(ReportTest, ASectionThatLostTextMakesNoReportRatherThanAnIncompleteOne) {
    FirstTempFileFull disk;
    platform::DiskScope diskScope(disk);
    write(res::kSectionRenamedFiles, "a -> b");
    prompts_.expectMessageBox(ui::Answer::Ok, "Error creating the report file!");
    EXPECT_EQ(scope_->log().makeReport(settings_, 3, 1, 0, 0, kStatusCompleted), "");
}

// ---- the interruption message ----

struct InterruptionCase {
    unsigned status;
    int first;  // 0: the error's own text
    int advice;
};

class InterruptionMessageTest : public ::testing::TestWithParam<InterruptionCase> {};

TEST_P(InterruptionMessageTest, NamesTheCauseAndWhetherToUndo) {
    const InterruptionCase& c = GetParam();
    const std::string first = c.first ? text(c.first) : "disk on fire";
    EXPECT_EQ(interruptionMessage(c.status, "disk on fire"), first + "\n\n" + text(c.advice));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InterruptionMessageTest,
    ::testing::Values(
        InterruptionCase{kStatusOutOfMemory, res::kLowMemoryInterruption, res::kGeneratingPartialReport},
        InterruptionCase{kStatusReportedError | kStatusUrlPass, 0, res::kGeneratingPartialReport},
        InterruptionCase{kStatusReportedError | kStatusRenaming, 0, res::kInterruptedWhileModifying},
        InterruptionCase{kStatusOutOfMemory | kStatusLineEnds, res::kLowMemoryInterruption,
                         res::kInterruptedWhileModifying},
        InterruptionCase{kStatusReportedError | kStatusUpdatingUrls, 0, res::kInterruptedWhileModifying},
        // An undo puts files back; there is nothing further to undo.
        InterruptionCase{kStatusReportedError | kStatusRenaming | kStatusUndone, 0,
                         res::kGeneratingPartialReport}));

}  // namespace
}  // namespace korvel
