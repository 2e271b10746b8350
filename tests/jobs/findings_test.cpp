#include "jobs/findings.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "jobs/command.h"
#include "platform/files.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel {
namespace {

using testing::ScriptedPrompts;
using testing::TempDir;

// ---- The errors section cut into entries

struct SplitCase {
    const char* name;
    std::string_view body;
    std::vector<std::pair<std::string, std::vector<std::string>>> expected;
};

class SplitErrorTextTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitErrorTextTest, EachUnindentedLineStartsAnEntry) {
    const SplitCase& c = GetParam();
    const auto errors = splitErrorText(c.body);
    std::vector<std::pair<std::string, std::vector<std::string>>> got;
    for (const auto& error : errors)
        got.emplace_back(error.text, error.details);
    EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitErrorTextTest,
    ::testing::Values(
        SplitCase{"Empty", "", {}}, SplitCase{"BlankLinesOnly", "\n\n\n", {}},
        SplitCase{"MessageWithItsPath", "Could not open\n\t/s/a.html\n", {{"Could not open", {"/s/a.html"}}}},
        SplitCase{"TwoEntriesAndTheClosingBlankLines",
                  "Could not open\n\t/s/a.html\nCould not list\n\t/s/d\n\n\n\n",
                  {{"Could not open", {"/s/a.html"}}, {"Could not list", {"/s/d"}}}},
        SplitCase{"MessageWithoutDetail",
                  "Out of room\nCould not open\n\t/x\n",
                  {{"Out of room", {}}, {"Could not open", {"/x"}}}},
        // Only the first tab is the layout's; a path may hold more.
        SplitCase{
            "TwoDetailsAndATabInAPath", "Copy failed\n\t/a\n\t/b\tc\n", {{"Copy failed", {"/a", "/b\tc"}}}},
        SplitCase{"NoFinalLineEnd", "Could not open\n\t/s/a.html", {{"Could not open", {"/s/a.html"}}}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

// ---- The check job's findings

JobSettings linkedSettings(const TempDir& dir) {
    JobSettings s = settingsFileDefaults();
    s.Directory = dir.path();
    s.HomePage = dir.file("index.html");
    s.ServerDefaultFiles = "index.html";
    s.UseSubdirs = true;
    s.AutoFileName = true;
    s.ReportUnresolvedRefs = true;
    s.ReportUnusedFiles = true;
    s.ReportExternalRefs = true;
    s.ReportEstimated = true;
    return s;
}

void removeReport(const Job& command) {
    if (!command.reportPath().empty()) platform::removeFile(command.reportPath());
}

// Runs "command" asked for its findings, which must be there; its report file goes.
void runForFindings(CheckJob& command) {
    command.setCollectFindings(true);
    ASSERT_TRUE(command.execute());
    removeReport(command);
    ASSERT_NE(command.findings(), nullptr);
}

TEST(CheckFindingsJob, TakenOnlyWhenAsked) {
    TempDir dir;
    dir.write("index.html", "<a href=\"gone.html\">g</a>\n");
    ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    CheckJob plain(linkedSettings(dir), {}, false, false);
    ASSERT_TRUE(plain.execute());
    removeReport(plain);
    EXPECT_EQ(plain.findings(), nullptr);

    CheckJob asked(linkedSettings(dir), {}, false, false);
    ASSERT_NO_FATAL_FAILURE(runForFindings(asked));
    ASSERT_EQ(asked.findings()->brokenLinks.size(), 1u);
    EXPECT_EQ(asked.findings()->brokenLinks[0].link, "gone.html");
}

TEST(CheckFindingsJob, ReportsTheSettingsTurnedOffAreLeftOut) {
    TempDir dir;
    dir.write("index.html", "<a href=\"gone.html\">g</a> <a href=\"http://example.org/\">e</a>\n");
    dir.write("orphan.html", "x\n");
    ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    JobSettings s = linkedSettings(dir);
    CheckJob on(s, {}, false, false);
    ASSERT_NO_FATAL_FAILURE(runForFindings(on));
    EXPECT_EQ(on.findings()->brokenLinks.size(), 1u);
    EXPECT_EQ(on.findings()->orphans, std::vector<std::string>{dir.file("orphan.html")});
    EXPECT_EQ(on.findings()->externalUrls.size(), 1u);
    EXPECT_EQ(on.findings()->pageWeights.size(), 2u);
    EXPECT_TRUE(on.findings()->hasFrontPage);

    s.ReportUnresolvedRefs = s.ReportUnusedFiles = s.ReportExternalRefs = s.ReportEstimated = false;
    CheckJob off(s, {}, false, false);
    ASSERT_NO_FATAL_FAILURE(runForFindings(off));
    EXPECT_TRUE(off.findings()->brokenLinks.empty());
    EXPECT_TRUE(off.findings()->orphans.empty());
    EXPECT_TRUE(off.findings()->externalUrls.empty());
    EXPECT_TRUE(off.findings()->pageWeights.empty());
    EXPECT_FALSE(off.findings()->hasFrontPage);
}

TEST(CheckFindingsJob, StyleSheetLinksAreListedUnderTheStyleSheet) {
    TempDir dir;
    dir.write("index.html", "<link rel=stylesheet href=\"site.css\">\n");
    dir.write("site.css",
              "a { background: url(gone.png) }\nb { background: url(http://example.org/x.png) }\n"
              "c { background: url(logo-image.png) }\n");
    dir.write("logo-image.png", "");
    ScriptedPrompts prompts;
    ui::PromptsScope scope(prompts);
    JobSettings settings = linkedSettings(dir);
    settings.Target = kTargetDos;
    CheckJob command(settings, {}, false, false);
    ASSERT_NO_FATAL_FAILURE(runForFindings(command));
    const auto& findings = *command.findings();
    ASSERT_EQ(findings.brokenLinks.size(), 1u);
    EXPECT_EQ(findings.brokenLinks[0].page, dir.file("site.css"));
    EXPECT_EQ(findings.brokenLinks[0].line, 1);
    EXPECT_EQ(findings.brokenLinks[0].link, "gone.png");
    ASSERT_EQ(findings.externalUrls.size(), 1u);
    EXPECT_EQ(findings.externalUrls[0].page, dir.file("site.css"));
    EXPECT_EQ(findings.externalUrls[0].line, 2);
    ASSERT_EQ(findings.linkChanges.size(), 1u);
    EXPECT_EQ(findings.linkChanges[0].page, dir.file("site.css"));
    EXPECT_EQ(findings.linkChanges[0].line, 3);
    EXPECT_EQ(findings.linkChanges[0].oldText, "logo-image.png");
    const auto logo = std::find_if(findings.suggestedNames.begin(), findings.suggestedNames.end(),
                                   [&](const auto& name) { return name.path == dir.file("logo-image.png"); });
    ASSERT_NE(logo, findings.suggestedNames.end());
    EXPECT_EQ(findings.linkChanges[0].newText, logo->name);
}

}  // namespace
}  // namespace korvel
