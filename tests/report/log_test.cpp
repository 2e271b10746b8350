#include "report/log.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/disk.h"
#include "report/app_log.h"
#include "res/strings.h"
#include "support/env_var.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel {
namespace {

using korvel::testing::EnvVar;

using testing::readFile;
using testing::ScriptedPrompts;
using testing::TempDir;

const std::string kDashes(80, '-');
const std::string kErrorsHeader = kDashes + "\nTHE FOLLOWING ERRORS WERE ENCOUNTERED: \n" + kDashes + "\n";
const std::string kCreateFailed = "Error creating log report file!";

// Names in "dir" that start with "prefix".
std::vector<std::string> entriesStartingWith(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) names.emplace_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// Each test starts with no current log and its temporary files in a directory of its own, fails on any
// message box it did not expect, and leaves the current log as it found it.
class LogTest : public ::testing::Test {
  protected:
    ~LogTest() override { setCurrentLog(std::move(saved_)); }

    std::unique_ptr<Log> saved_ = setCurrentLog(nullptr);
    ScriptedPrompts prompts_;
    ui::PromptsScope promptsScope_{prompts_};
    TempDir dir_;
    std::string tmp_ = dir_.mkdir("tmp");
    EnvVar tmpdir_{"TMPDIR", tmp_};
};

// ---- the base log ----

struct StreamCase {
    int id;
    bool toStdout;
    bool toStderr;
};

class BaseLogStreamTest : public LogTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(BaseLogStreamTest, SectionsGoToTheirStandardStreamWithAHeader) {
    Log log;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    ReportSection* section = log.openSection(GetParam().id);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(section, nullptr);
    EXPECT_FALSE(section->hasContent());
    const std::string header =
        kDashes + "\n" + std::string(res::loadString(GetParam().id)) + " \n" + kDashes + "\n";
    EXPECT_EQ(out, GetParam().toStdout ? header : "");
    EXPECT_EQ(err, GetParam().toStderr ? header : "");
    log.closeSection(section);
}

INSTANTIATE_TEST_SUITE_P(Ids, BaseLogStreamTest,
                         ::testing::Values(StreamCase{res::kSectionErrors, false, true},
                                           StreamCase{res::kSectionRenamedFiles, true, false},
                                           StreamCase{res::kSectionExternalUrlPage, false, false}));

TEST_F(LogTest, BaseLogMakesANewSectionForEveryOpenAndKeepsNoDirectoryLogs) {
    Log log;
    ::testing::internal::CaptureStdout();
    ReportSection* first = log.openSection(res::kSectionRenamedFiles);
    ReportSection* second = log.openSection(res::kSectionRenamedFiles);
    ::testing::internal::GetCapturedStdout();
    EXPECT_NE(first, second);
    EXPECT_EQ(log.directoryLog(dir_.path()), nullptr);
    log.closeSection(first);
    log.closeSection(second);
    log.closeSection(nullptr);
}

TEST_F(LogTest, BaseLogOpensANewErrorsSectionAfterTheOldOneWasClosed) {
    Log log;
    ::testing::internal::CaptureStderr();
    log.error("one");
    log.closeSection(log.errorSection());
    EXPECT_EQ(log.errorSection(), nullptr);
    log.error("two");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), kErrorsHeader + "one" + kErrorsHeader + "two");
}

// ---- the current log ----

class MarkedLog : public Log {
  public:
    explicit MarkedLog(bool* deleted = nullptr) : deleted_(deleted) {}
    ~MarkedLog() override {
        if (deleted_) *deleted_ = true;
    }

  private:
    bool* deleted_;
};

TEST_F(LogTest, SetCurrentLogHandsBackThePreviousOne) {
    auto first = std::make_unique<MarkedLog>();
    Log* firstRaw = first.get();
    EXPECT_EQ(setCurrentLog(std::move(first)), nullptr);
    std::unique_ptr<Log> back = setCurrentLog(std::make_unique<MarkedLog>());
    EXPECT_EQ(back.get(), firstRaw);
    EXPECT_NE(&currentLog(), firstRaw);
}

TEST_F(LogTest, ReplaceCurrentLogDeletesThePreviousOne) {
    bool deleted = false;
    setCurrentLog(std::make_unique<MarkedLog>(&deleted));
    auto next = std::make_unique<MarkedLog>();
    Log* nextRaw = next.get();
    replaceCurrentLog(std::move(next));
    EXPECT_TRUE(deleted);
    EXPECT_EQ(&currentLog(), nextRaw);
}

TEST_F(LogTest, LogScopeMakesAJobLogCurrentAndPutsThePreviousOneBack) {
    bool deleted = false;
    setCurrentLog(std::make_unique<MarkedLog>(&deleted));
    Log* before = &currentLog();
    {
        LogScope scope;
        EXPECT_EQ(&currentLog(), &scope.log());
        {
            LogScope inner;
            EXPECT_EQ(&currentLog(), &inner.log());
        }
        EXPECT_EQ(&currentLog(), &scope.log());
    }
    EXPECT_EQ(&currentLog(), before);
    EXPECT_FALSE(deleted);
}

TEST_F(LogTest, LogScopeCleansUpWhenAnExceptionPassesThrough) {
    Log* before = &currentLog();
    const std::string site = dir_.mkdir("site");
    std::string renameLog;
    try {
        LogScope scope;
        currentLog().error("about to fail");
        ReportSection* log = currentLog().directoryLog(site);
        ASSERT_NE(log, nullptr);
        renameLog = log->fileName();
        ASSERT_EQ(::truncate(renameLog.c_str(), 0), 0);
        throw std::runtime_error("pass failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(&currentLog(), before);
    EXPECT_TRUE(entriesStartingWith(tmp_, "el_").empty());
    EXPECT_FALSE(exists(renameLog));
}

// ---- the job's log ----

TEST_F(LogTest, FirstErrorOpensTheErrorsSectionWithItsHeaderAndLaterOnesAppend) {
    LogScope scope;
    EXPECT_EQ(scope.log().errorSection(), nullptr);
    currentLog().error("first");
    ReportSection* errors = scope.log().errorSection();
    ASSERT_NE(errors, nullptr);
    EXPECT_TRUE(errors->hasContent());
    currentLog().errorEndLine();
    currentLog().error(res::kDuringCopy);
    currentLog().error("second");
    EXPECT_EQ(scope.log().errorSection(), errors);
    EXPECT_EQ(scope.log().sectionText(res::kSectionErrors), kErrorsHeader + "first\nDuring copy, second");
}

TEST_F(LogTest, ErrorDetailWritesTextNewlineTabDetailNewline) {
    LogScope scope;
    currentLog().error(res::kDuringCopy);
    currentLog().errorDetail(res::kFileOpenFailed, "/site/a b.html");
    currentLog().errorDetail("plain", "/x");
    EXPECT_EQ(scope.log().sectionText(res::kSectionErrors),
              kErrorsHeader + "During copy, File open failed\n\t/site/a b.html\nplain\n\t/x\n");
}

TEST_F(LogTest, OpeningASectionTwiceGivesTheSameSectionWithOneHeader) {
    LogScope scope;
    ReportSection* first = currentLog().openSection(res::kSectionRenamedFiles);
    ASSERT_NE(first, nullptr);
    first->writeLine("a.htm");
    ReportSection* again = currentLog().openSection(res::kSectionRenamedFiles);
    EXPECT_EQ(again, first);
    EXPECT_TRUE(again->hasContent());
    EXPECT_EQ(scope.log().sectionText(res::kSectionRenamedFiles),
              kDashes + "\nRENAMED FILES: \n" + kDashes + "\na.htm\n");
}

TEST_F(LogTest, ClosingASectionEndsItWithThreeEmptyLinesAndKeepsItOpenForMore) {
    LogScope scope;
    ReportSection* section = currentLog().openSection(res::kSectionSyntaxErrors);
    EXPECT_FALSE(section->hasContent());
    currentLog().closeSection(section);
    EXPECT_FALSE(section->hasContent());
    EXPECT_EQ(currentLog().openSection(res::kSectionSyntaxErrors), section);
    section->writeLine("more");
    currentLog().closeSection(nullptr);
    EXPECT_EQ(scope.log().sectionText(res::kSectionSyntaxErrors),
              kDashes + "\nHTML SYNTAX ERRORS: \n" + kDashes + "\n\n\n\nmore\n");
}

TEST_F(LogTest, ExternalLinksPageGetsAnHtmlFrameThatIsNoContent) {
    LogScope scope;
    ReportSection* page = currentLog().openSection(res::kSectionExternalUrlPage);
    EXPECT_FALSE(page->hasContent());
    page->writeLine("http://example.org/");
    currentLog().closeSection(page);
    const std::string text = scope.log().sectionText(res::kSectionExternalUrlPage);
    EXPECT_EQ(text.rfind("<html><head><title>\nList of External URLs\n", 0), 0u) << text;
    EXPECT_NE(text.find("<h2>List of External URLs</h2><pre>\nhttp://example.org/\n</pre><br>"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 15), "</body></html>\n");
    EXPECT_EQ(text.find(kDashes), std::string::npos);
}

TEST_F(LogTest, SectionTextIncludesTextNotYetFlushed) {
    LogScope scope;
    ReportSection* section = currentLog().openSection(res::kSectionUnresolvedLinks);
    section->writeAtLine(3, "missing.html");
    const std::string text = scope.log().sectionText(res::kSectionUnresolvedLinks);
    EXPECT_EQ(text.substr(text.size() - 26), "   line    3: missing.html");
    EXPECT_EQ(scope.log().sectionText(res::kSectionDownloadTimes), "");
}

TEST_F(LogTest, SectionsLiveInTheirOwnTemporaryFilesThatGoWhenTheJobEnds) {
    {
        LogScope scope;
        currentLog().openSection(res::kSectionRenamedFiles);
        currentLog().openSection(res::kSectionExternalUrlPage);
        currentLog().error("x");
        const auto& sections = scope.log().sections();
        ASSERT_EQ(sections.size(), 3u);
        std::vector<std::string> files;
        for (const auto& [id, section] : sections) {
            EXPECT_EQ(section->fileName().rfind(tmp_ + "/el_", 0), 0u) << section->fileName();
            files.push_back(section->fileName());
        }
        EXPECT_NE(files[0], files[1]);
        EXPECT_NE(files[1], files[2]);
        EXPECT_EQ(entriesStartingWith(tmp_, "el_").size(), 3u);
    }
    EXPECT_TRUE(entriesStartingWith(tmp_, "el_").empty());
}

TEST_F(LogTest, DiscardingASectionDropsItAndItsFile) {
    LogScope scope;
    ReportSection* unused = currentLog().openSection(res::kSectionUnusedFiles);
    unused->writeLine("orphan.gif");
    const std::string file = unused->fileName();
    currentLog().discardSection(unused);
    EXPECT_FALSE(exists(file));
    EXPECT_EQ(scope.log().sections().count(res::kSectionUnusedFiles), 0u);
    ReportSection* reopened = currentLog().openSection(res::kSectionUnusedFiles);
    EXPECT_FALSE(reopened->hasContent());
    EXPECT_EQ(scope.log().sectionText(res::kSectionUnusedFiles).find("orphan.gif"), std::string::npos);
}

TEST_F(LogTest, DiscardingTheErrorsSectionLetsTheNextErrorStartAFreshOne) {
    LogScope scope;
    currentLog().error("old");
    currentLog().discardSection(scope.log().errorSection());
    EXPECT_EQ(scope.log().errorSection(), nullptr);
    currentLog().error("new");
    EXPECT_EQ(scope.log().sectionText(res::kSectionErrors), kErrorsHeader + "new");
}

// A disk whose next mkstemp calls fail, as in a temporary directory that has no room.
class NoTemporaryFiles : public platform::Disk {
  public:
    int mkstemp(char*) override {
        errno = ENOSPC;
        return -1;
    }
};

enum class BrokenTemp { RegularFile, MissingFolder, DiskRefuses };

class UnwritableTemporaryDirectoryTest : public LogTest, public ::testing::WithParamInterface<BrokenTemp> {};

TEST_P(UnwritableTemporaryDirectoryTest, EachFailingSectionIsReportedOnceAndTheJobGoesOn) {
    const std::string notADirectory = dir_.write("plain-file", "x");
    std::optional<EnvVar> tmpdir;
    NoTemporaryFiles refusing;
    std::optional<platform::DiskScope> diskScope;
    switch (GetParam()) {
        case BrokenTemp::RegularFile:
            tmpdir.emplace("TMPDIR", notADirectory);
            break;
        case BrokenTemp::MissingFolder:
            tmpdir.emplace("TMPDIR", dir_.file("no/such/folder"));
            break;
        case BrokenTemp::DiskRefuses:
            diskScope.emplace(refusing);
            break;
    }
    prompts_.expectMessageBox(ui::Answer::Ok, kCreateFailed).expectMessageBox(ui::Answer::Ok, kCreateFailed);
    const std::string site = dir_.mkdir("site");

    ::testing::internal::CaptureStdout();
    {
        LogScope scope;
        ReportSection* renamed = currentLog().openSection(res::kSectionRenamedFiles);
        ReportSection* unresolved = currentLog().openSection(res::kSectionUnresolvedLinks);
        ASSERT_NE(renamed, nullptr);
        ASSERT_NE(unresolved, nullptr);
        EXPECT_EQ(currentLog().openSection(res::kSectionRenamedFiles), renamed);
        EXPECT_EQ(renamed->fileName(), "");
        renamed->writeLine("still here");
        EXPECT_EQ(scope.log().sectionText(res::kSectionRenamedFiles), "");
        // Directory logs are made in the site, not the temporary directory: they still work.
        ReportSection* log = currentLog().directoryLog(site);
        ASSERT_NE(log, nullptr);
        log->writeLine("row");
    }
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("RENAMED FILES: \n"), std::string::npos);
    EXPECT_NE(out.find("still here\n"), std::string::npos);
    EXPECT_NE(readFile(site + "/RENAME.LOG").find("row\n"), std::string::npos);
    EXPECT_EQ(prompts_.messages().size(), 2u);
}

std::string brokenTempName(const ::testing::TestParamInfo<BrokenTemp>& info) {
    switch (info.param) {
        case BrokenTemp::RegularFile:
            return "RegularFile";
        case BrokenTemp::MissingFolder:
            return "MissingFolder";
        case BrokenTemp::DiskRefuses:
            return "DiskRefuses";
    }
    return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(Causes, UnwritableTemporaryDirectoryTest,
                         ::testing::Values(BrokenTemp::RegularFile, BrokenTemp::MissingFolder,
                                           BrokenTemp::DiskRefuses),
                         brokenTempName);

// A disk whose unlink fails for paths that contain "part".
class RefusesRemoval : public platform::Disk {
  public:
    explicit RefusesRemoval(std::string part) : part_(std::move(part)) {}
    int unlink(const char* path) override {
        if (std::string_view(path).find(part_) != std::string_view::npos) {
            errno = EACCES;
            return -1;
        }
        return Disk::unlink(path);
    }

  private:
    std::string part_;
};

TEST_F(LogTest, SectionFileThatCannotBeRemovedIsReportedInTheLogCurrentAfterTheJob) {
    LogScope outer;
    std::string stuck;
    {
        RefusesRemoval refusing("/el_");
        platform::DiskScope diskScope(refusing);
        LogScope inner;
        stuck = currentLog().openSection(res::kSectionRenamedFiles)->fileName();
    }
    EXPECT_TRUE(exists(stuck));
    EXPECT_EQ(outer.log().sectionText(res::kSectionErrors),
              kErrorsHeader + "Failed to delete file\n\t" + stuck + "\n");
}

// ---- directory logs ----

const std::regex kBanner(
    "\n={40}\n(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
    "[ 123][0-9] [012][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\n={40}\n");

std::size_t bannerCount(const std::string& text) {
    return static_cast<std::size_t>(
        std::distance(std::sregex_iterator(text.begin(), text.end(), kBanner), std::sregex_iterator()));
}

TEST_F(LogTest, OneDirectoryHasOneRenameLogWithOneBannerPerJob) {
    const std::string site = dir_.mkdir("site");
    {
        LogScope scope;
        ReportSection* first = currentLog().directoryLog(site);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->fileName(), site + "/RENAME.LOG");
        EXPECT_EQ(first->titleId(), 0);
        first->writeLine("new.htm   /site/old.html");
        EXPECT_EQ(currentLog().directoryLog(site + "/"), first);
        EXPECT_EQ(bannerCount(readFile(site + "/RENAME.LOG")), 1u);
    }
    {
        LogScope scope;
        currentLog().directoryLog(site)->writeLine("second job row");
    }
    const std::string text = readFile(site + "/RENAME.LOG");
    EXPECT_EQ(bannerCount(text), 2u);
    std::smatch first;
    ASSERT_TRUE(std::regex_search(text, first, kBanner));
    EXPECT_EQ(first.position(0), 0);
    const std::string afterFirst = first.suffix();
    EXPECT_EQ(afterFirst.rfind("new.htm   /site/old.html\n", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 15), "second job row\n");
}

TEST_F(LogTest, DirectoriesGetSeparateRenameLogs) {
    const std::string a = dir_.mkdir("a");
    const std::string b = dir_.mkdir("a/b");
    LogScope scope;
    ReportSection* logA = currentLog().directoryLog(a);
    ReportSection* logB = currentLog().directoryLog(b);
    EXPECT_NE(logA, logB);
    logB->writeLine("only in b");
    EXPECT_EQ(readFile(a + "/RENAME.LOG").find("only in b"), std::string::npos);
    EXPECT_NE(readFile(b + "/RENAME.LOG").find("only in b"), std::string::npos);
}

TEST_F(LogTest, EmptyRenameLogIsRemovedAtTheEndAndOneWithRowsStays) {
    const std::string emptied = dir_.mkdir("emptied");
    const std::string kept = dir_.mkdir("kept");
    {
        LogScope scope;
        currentLog().directoryLog(emptied);
        currentLog().directoryLog(kept)->writeLine("row");
        // As when nothing this job wrote reached the disk.
        ASSERT_EQ(::truncate((emptied + "/RENAME.LOG").c_str(), 0), 0);
    }
    EXPECT_FALSE(exists(emptied + "/RENAME.LOG"));
    EXPECT_NE(readFile(kept + "/RENAME.LOG").find("row\n"), std::string::npos);
}

TEST_F(LogTest, EarlierJobsRowsStayWhenThisJobCouldWriteNothing) {
    const std::string site = dir_.mkdir("site");
    dir_.write("site/RENAME.LOG", "earlier row\n");
    class FullDisk : public platform::Disk {
        ssize_t write(int, const void*, std::size_t) override {
            errno = ENOSPC;
            return -1;
        }
    } full;
    {
        platform::DiskScope diskScope(full);
        LogScope scope;
        ReportSection* log = currentLog().directoryLog(site);
        log->writeLine("lost");
        EXPECT_TRUE(log->writeFailed());
    }
    EXPECT_EQ(readFile(site + "/RENAME.LOG"), "earlier row\n");
}

TEST_F(LogTest, EmptyRenameLogThatCannotBeRemovedIsReported) {
    const std::string site = dir_.mkdir("site");
    LogScope scope;
    currentLog().directoryLog(site);
    const std::string path = site + "/RENAME.LOG";
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    RefusesRemoval refusing("RENAME.LOG");
    platform::DiskScope diskScope(refusing);
    scope.log().finishDirectoryLogs();
    EXPECT_TRUE(exists(path));
    EXPECT_EQ(scope.log().sectionText(res::kSectionErrors),
              kErrorsHeader + "Failed to delete file\n\t" + path + "\n");
}

TEST_F(LogTest, RenameLogThatCannotBeOpenedIsReportedOnceAndTheJobGoesOn) {
    prompts_.expectMessageBox(ui::Answer::Ok, kCreateFailed);
    const std::string missing = dir_.file("gone");
    ::testing::internal::CaptureStdout();
    {
        LogScope scope;
        ReportSection* log = currentLog().directoryLog(missing);
        ASSERT_NE(log, nullptr);
        EXPECT_EQ(log->fileName(), "");
        EXPECT_EQ(currentLog().directoryLog(missing), log);
        log->writeLine("row");
        currentLog().openSection(res::kSectionRenamedFiles)->writeLine("job goes on");
        EXPECT_NE(scope.log().sectionText(res::kSectionRenamedFiles).find("job goes on"), std::string::npos);
    }
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("row\n"), std::string::npos);
    EXPECT_FALSE(exists(missing));
}

}  // namespace
}  // namespace korvel
