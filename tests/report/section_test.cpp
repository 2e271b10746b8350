#include "report/section.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <functional>
#include <string>

#include "platform/disk.h"
#include "res/strings.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel {
namespace {

using testing::readFile;
using testing::ScriptedPrompts;
using testing::TempDir;

// Every test fails on a message box it did not expect.
class SectionTest : public ::testing::Test {
  protected:
    ScriptedPrompts prompts_;
    ui::PromptsScope promptsScope_{prompts_};
    TempDir dir_;
};

struct ContentCase {
    const char* label;
    std::function<void(ReportSection&)> act;
    bool content;
    std::string fileText;
};

class SectionContentTest : public SectionTest, public ::testing::WithParamInterface<ContentCase> {};

TEST_P(SectionContentTest, OnlyNonEmptyTextGivesContent) {
    const ContentCase& c = GetParam();
    const std::string path = dir_.file("section.txt");
    {
        auto section = ReportSection::overFile(res::kSectionRenamedFiles, path);
        ASSERT_EQ(section->fileName(), path);
        c.act(*section);
        EXPECT_EQ(section->hasContent(), c.content);
    }
    EXPECT_EQ(readFile(path), c.fileText);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, SectionContentTest,
    ::testing::Values(ContentCase{"EmptyLinesOnly",
                                  [](ReportSection& s) {
                                      s.endLine();
                                      s.endLine();
                                  },
                                  false, "\n\n"},
                      ContentCase{"EmptyText", [](ReportSection& s) { s.write(""); }, false, ""},
                      ContentCase{"EmptyTextAsLine",
                                  [](ReportSection& s) { s.writeLine(std::string_view{}); }, false, "\n"},
                      ContentCase{"HeaderThenCleared",
                                  [](ReportSection& s) {
                                      s.writeLine("TITLE ");
                                      s.clearContent();
                                      s.endLine();
                                  },
                                  false, "TITLE \n\n"},
                      ContentCase{"UnknownStringId", [](ReportSection& s) { s.writeLine(1); }, false, "\n"},
                      ContentCase{"Text", [](ReportSection& s) { s.write("a"); }, true, "a"},
                      ContentCase{"ContentAfterClear",
                                  [](ReportSection& s) {
                                      s.clearContent();
                                      s.writeLine("row");
                                  },
                                  true, "row\n"},
                      ContentCase{"LineNumber", [](ReportSection& s) { s.writeLineNumber(1); }, true,
                                  "   line    1: "}),
    [](const auto& info) { return std::string(info.param.label); });

struct LineNumberCase {
    int line;
    const char* expected;
};

class LineNumberTest : public SectionTest, public ::testing::WithParamInterface<LineNumberCase> {};

TEST_P(LineNumberTest, PadsToFourColumnsAndNeverCuts) {
    const std::string path = dir_.file("numbers.txt");
    {
        auto section = ReportSection::overFile(0, path);
        section->writeLineNumber(GetParam().line);
    }
    EXPECT_EQ(readFile(path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, LineNumberTest,
                         ::testing::Values(LineNumberCase{7, "   line    7: "},
                                           LineNumberCase{1234, "   line 1234: "},
                                           LineNumberCase{99999, "   line 99999: "},
                                           LineNumberCase{123456, "   line 123456: "},
                                           LineNumberCase{INT_MAX, "   line 2147483647: "}),
                         [](const auto& info) { return "Line" + std::to_string(info.param.line); });

struct HelperCase {
    const char* label;
    std::function<void(ReportSection&)> act;
    std::string expected;
};

class SectionHelperTest : public SectionTest, public ::testing::WithParamInterface<HelperCase> {};

// The plain forms leave the line open, the Line forms end it once, the AtLine forms start with the number.
TEST_P(SectionHelperTest, WritesExactly) {
    const std::string path = dir_.file("helpers.txt");
    {
        auto section = ReportSection::overFile(0, path);
        GetParam().act(*section);
    }
    EXPECT_EQ(readFile(path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Helpers, SectionHelperTest,
    ::testing::Values(
        HelperCase{"Text", [](ReportSection& s) { s.write("abc"); }, "abc"},
        HelperCase{"TextLine", [](ReportSection& s) { s.writeLine("abc"); }, "abc\n"},
        HelperCase{"Id", [](ReportSection& s) { s.write(res::kRenameLogName); }, "RENAME.LOG"},
        HelperCase{"IdLine", [](ReportSection& s) { s.writeLine(res::kRenameLogName); }, "RENAME.LOG\n"},
        HelperCase{"IdOneArgument", [](ReportSection& s) { s.write(res::kFileOpenFailed, "x"); },
                   "File open failed"},
        HelperCase{"IdOneArgumentLine", [](ReportSection& s) { s.writeLine(res::kFileOpenFailed, "x"); },
                   "File open failed\n"},
        HelperCase{"IdTwoArguments", [](ReportSection& s) { s.write(res::kFileReadFailed, "x", "y"); },
                   "File read failed"},
        HelperCase{"IdTwoArgumentsLine",
                   [](ReportSection& s) { s.writeLine(res::kFileReadFailed, "x", "y"); },
                   "File read failed\n"},
        HelperCase{"TextAtLine", [](ReportSection& s) { s.writeAtLine(12, "<b>"); }, "   line   12: <b>"},
        HelperCase{"IdAtLine", [](ReportSection& s) { s.writeAtLine(5, res::kDuringCopy); },
                   "   line    5: During copy, "},
        HelperCase{"IdOneArgumentAtLine",
                   [](ReportSection& s) { s.writeAtLine(100000, res::kFileOpenFailed, "x"); },
                   "   line 100000: File open failed"},
        HelperCase{"IdTwoArgumentsAtLine",
                   [](ReportSection& s) { s.writeAtLine(0, res::kFileReadFailed, "x", "y"); },
                   "   line    0: File read failed"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(SectionTest, AppendsToAnExistingFileWithPlainLineFeeds) {
    const std::string path = dir_.write("RENAME.LOG", "earlier job\r\n");
    {
        auto section = ReportSection::overFile(0, path);
        section->writeLine("one");
        section->writeLine("two");
    }
    EXPECT_EQ(readFile(path), "earlier job\r\none\ntwo\n");
}

TEST_F(SectionTest, EachLineSectionReachesTheFileAtEveryLineEnd) {
    const std::string path = dir_.file("log.txt");
    auto section = ReportSection::overFile(0, path, ReportSection::Flush::EachLine);
    section->write("row");
    section->endLine();
    EXPECT_EQ(readFile(path), "row\n");
}

TEST_F(SectionTest, GatheringSectionReachesTheFileOnFlushAndWhenItEnds) {
    const std::string path = dir_.file("report.txt");
    auto section = ReportSection::overFile(0, path, ReportSection::Flush::WhenFull);
    section->writeLine("first");
    section->flush();
    EXPECT_EQ(readFile(path), "first\n");
    section->writeLine("second");
    section.reset();
    EXPECT_EQ(readFile(path), "first\nsecond\n");
}

TEST_F(SectionTest, GatheringSectionDoesNotHoldMoreThanItsBufferInMemory) {
    const std::string path = dir_.file("big.txt");
    auto section = ReportSection::overFile(0, path, ReportSection::Flush::WhenFull);
    const std::string row(1000, 'r');
    for (int i = 0; i < 200; ++i)
        section->writeLine(row);
    // 200 KB written, no explicit flush: most of it must already be on disk.
    EXPECT_GE(readFile(path).size(), 100'000u);
    section.reset();
    EXPECT_EQ(readFile(path).size(), 200u * 1001u);
}

TEST_F(SectionTest, FileThatCannotBeOpenedIsReportedAndTheSectionWritesToStandardOutput) {
    prompts_.expectMessageBox(ui::Answer::Ok, "Error creating log report file!");
    const std::string path = dir_.file("missing/RENAME.LOG");
    auto section = ReportSection::overFile(res::kSectionRenamedFiles, path);
    EXPECT_EQ(section->fileName(), "");
    EXPECT_EQ(section->titleId(), res::kSectionRenamedFiles);
    ::testing::internal::CaptureStdout();
    section->writeLine("still written");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "still written\n");
    EXPECT_TRUE(section->hasContent());
}

TEST_F(SectionTest, NeverAppendsThroughASymbolicLink) {
    prompts_.expectMessageBox(ui::Answer::Ok, "Error creating log report file!");
    const std::string target = dir_.write("elsewhere.txt", "keep me");
    const std::string link = dir_.file("RENAME.LOG");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    {
        auto section = ReportSection::overFile(0, link);
        ::testing::internal::CaptureStdout();
        section->writeLine("row");
        ::testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(readFile(target), "keep me");
}

// A disk that refuses every write, as a full one does.
class FullDisk : public platform::Disk {
  public:
    ssize_t write(int, const void*, std::size_t) override {
        errno = ENOSPC;
        return -1;
    }
};

TEST_F(SectionTest, FailedWriteIsFlaggedNotHidden) {
    const std::string path = dir_.file("full.txt");
    auto section = ReportSection::overFile(0, path);
    section->writeLine("fits");
    EXPECT_FALSE(section->writeFailed());
    FullDisk full;
    platform::DiskScope scope(full);
    section->writeLine("lost");
    EXPECT_TRUE(section->writeFailed());
    EXPECT_EQ(readFile(path), "fits\n");
}

TEST_F(SectionTest, NowhereSectionNeverGainsContent) {
    ReportSection& nowhere = nowhereSection();
    nowhere.writeLine("dropped");
    nowhere.writeAtLine(3, "dropped");
    EXPECT_FALSE(nowhere.hasContent());
    EXPECT_EQ(&nowhere, &nowhereSection());
}

}  // namespace
}  // namespace korvel
