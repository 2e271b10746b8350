#include "cli/json_report.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/run_korvel.h"
#include "support/env_var.h"
#include "support/temp_dir.h"

namespace korvel::cli {
namespace {

using nlohmann::json;

std::string joined(const Lines& lines) {
    std::string text;
    for (const auto& line : lines)
        text += line + '\n';
    return text;
}

// Parses the document; a document that is not valid JSON (or not valid UTF-8) fails the test.
json parsed(const std::string& text) {
    json document;
    EXPECT_NO_THROW(document = json::parse(text)) << text;
    return document;
}

// A small linked site with one of each finding, each on a line of its own.
void plantSite(const testing::TempDir& dir) {
    dir.write("index.html",
              "<html><head></head><body>\n"                   // 1
              "<a href=\"page.html\">p</a>\n"                 // 2
              "<a href=\"gone.html\">g</a>\n"                 // 3: broken
              "<a href=\"https://www.example.org/\">w</a>\n"  // 4: external
              "<a href=\"About.html\">a</a>\n"                // 5: changes with the name
              "text > more\n"                                 // 6: syntax error
              "</body></html>\n");
    dir.write("page.html", "<html><head></head><body>page</body></html>\n");
    dir.write("About.html", "<html><head></head><body>about</body></html>\n");
    dir.write("orphan.html", "<html><head></head><body>alone</body></html>\n");
}

TEST(JsonReport, CarriesEachFindingWithItsPageAndLine) {
    const SettingsFile settings("");
    testing::TempDir dir;
    plantSite(dir);
    const Result r = runKorvel({"check", dir.path(), "--format", "json", "--case", "lower", "--report-broken",
                                "--report-orphans", "--report-external", "--no-report-times"});
    EXPECT_EQ(r.status, kExitFindings) << joined(r.err);
    const json doc = parsed(joined(r.out));
    const std::string index = dir.file("index.html");

    EXPECT_EQ(doc["schemaVersion"], 1);
    const json& summary = doc["summary"];
    EXPECT_EQ(summary["directory"], dir.path());
    EXPECT_EQ(summary["homePage"], index);
    EXPECT_EQ(summary["settings"]["case"], "lower");
    EXPECT_EQ(summary["settings"]["target"], "none");
    EXPECT_EQ(summary["settings"]["links"], "keep");
    EXPECT_EQ(summary["settings"]["reports"]["pageWeights"], false);
    EXPECT_EQ(summary["files"], 4);
    EXPECT_EQ(summary["directories"], 1);
    EXPECT_EQ(summary["completed"], true);
    EXPECT_EQ(summary["needsAttention"], true);

    ASSERT_EQ(doc["brokenLinks"].size(), 1u) << doc.dump(2);
    EXPECT_EQ(doc["brokenLinks"][0], (json{{"page", index}, {"line", 3}, {"link", "gone.html"}}));

    ASSERT_EQ(doc["externalUrls"].size(), 1u);
    EXPECT_EQ(doc["externalUrls"][0],
              (json{{"page", index}, {"line", 4}, {"url", "https://www.example.org/"}}));

    ASSERT_EQ(doc["syntaxErrors"].size(), 1u);
    EXPECT_EQ(doc["syntaxErrors"][0]["page"], index);
    EXPECT_EQ(doc["syntaxErrors"][0]["line"], 6);
    EXPECT_EQ(doc["syntaxErrors"][0]["kind"], "no-start");
    EXPECT_EQ(doc["syntaxErrors"][0]["message"], "HTML syntax error, no starting \"<\"");

    ASSERT_EQ(doc["suggestedNames"].size(), 1u);
    EXPECT_EQ(doc["suggestedNames"][0], (json{{"path", dir.file("About.html")},
                                              {"name", "about.html"},
                                              {"newPath", dir.file("about.html")}}));

    ASSERT_EQ(doc["linkChanges"].size(), 1u);
    EXPECT_EQ(doc["linkChanges"][0], (json{{"page", index},
                                           {"line", 5},
                                           {"old", "About.html"},
                                           {"new", "about.html"},
                                           {"note", "case-change"}}));

    ASSERT_EQ(doc["orphans"].size(), 1u);
    EXPECT_EQ(doc["orphans"][0]["path"], dir.file("orphan.html"));

    EXPECT_TRUE(doc["pageWeights"].empty());
    EXPECT_TRUE(doc["frontPageWeight"].is_null());
    EXPECT_TRUE(doc["skipped"].empty());
    EXPECT_TRUE(doc["errors"].empty());

    // The counts are the arrays' lengths.
    for (const char* kind : {"brokenLinks", "brokenAnchors", "syntaxErrors", "suggestedNames", "linkChanges",
                             "orphans", "externalUrls", "pageWeights", "skipped", "errors"})
        EXPECT_EQ(summary["counts"][kind], doc[kind].size()) << kind;
}

TEST(JsonReport, BrokenAnchorsAreASectionAFieldAndAFindingUnlessSwitchedOff) {
    const SettingsFile settings("");
    testing::TempDir dir;
    dir.write("index.html", "<p id=\"here\"><a href=\"#here\">h</a>\n<a href=\"page.html#gone\">p</a>\n");
    dir.write("page.html", "<a href=\"index.html#here\">back</a>\n");

    const Result text = runKorvel({"check", dir.path()});
    EXPECT_EQ(text.status, kExitFindings) << joined(text.out);
    const std::string report = joined(text.out);
    EXPECT_NE(report.find("BROKEN ANCHORS:"), std::string::npos) << report;
    EXPECT_NE(report.find("line    2: page.html#gone"), std::string::npos) << report;
    EXPECT_NE(report.find("There were links to anchors that their pages do not have."), std::string::npos);
    EXPECT_EQ(report.find("totally clean"), std::string::npos);

    const Result json = runKorvel({"check", dir.path(), "--format", "json"});
    EXPECT_EQ(json.status, kExitFindings);
    const auto doc = parsed(joined(json.out));
    EXPECT_EQ(doc["summary"]["settings"]["reports"]["brokenAnchors"], true);
    EXPECT_EQ(doc["summary"]["counts"]["brokenAnchors"], 1);
    EXPECT_EQ(doc["summary"]["needsAttention"], true);
    EXPECT_EQ(doc["brokenAnchors"], (nlohmann::json::array({{{"page", dir.file("index.html")},
                                                             {"line", 2},
                                                             {"link", "page.html"},
                                                             {"fragment", "gone"},
                                                             {"target", dir.file("page.html")}}})));

    // Switched off, the site is clean.
    const Result off = runKorvel({"check", dir.path(), "--no-report-anchors"});
    EXPECT_EQ(off.status, kExitOk) << joined(off.out);
    EXPECT_EQ(joined(off.out).find("ANCHORS"), std::string::npos);
    const auto offDoc =
        parsed(joined(runKorvel({"check", dir.path(), "--no-report-anchors", "--format", "json"}).out));
    EXPECT_EQ(offDoc["summary"]["settings"]["reports"]["brokenAnchors"], false);
    EXPECT_TRUE(offDoc["brokenAnchors"].empty());
}

TEST(JsonReport, BrokenAnchorsOfAFixAreThoseOfThePagesAsTheyWereRead) {
    const SettingsFile settings("");
    const testing::TempDir state;
    const testing::EnvVar stateHome("XDG_STATE_HOME", state.path());
    testing::TempDir dir;
    // The fix shortens the first link: the fragment after it no longer stands where it was read.
    dir.write("index.html", "<a href=\"Long Page Name.html\">l</a> <a href=\"#gone\">g</a>\n");
    dir.write("Long Page Name.html", "<a href=\"index.html\">home</a>\n");
    const Result r = runKorvel({"fix", dir.path(), "--target", "dos", "--yes", "--format", "json"});
    const auto doc = parsed(joined(r.out));
    ASSERT_EQ(doc["brokenAnchors"].size(), 1u) << doc.dump(2);
    EXPECT_EQ(doc["brokenAnchors"][0]["fragment"], "gone");
    EXPECT_EQ(doc["brokenAnchors"][0]["link"], "");
    EXPECT_EQ(doc["brokenAnchors"][0]["line"], 1);
    EXPECT_NE(testing::readFile(doc["brokenAnchors"][0]["page"].get<std::string>()).find("LongPage.htm"),
              std::string::npos);
}

TEST(JsonReport, PageWeightsCarryTheDownloadTimesAndMarks) {
    const SettingsFile settings("");
    testing::TempDir dir;
    const std::string page = "<img src=\"a.gif\"><img src=\"https://example.org/b.gif\">\n";
    dir.write("index.html", page);
    dir.write("a.gif", std::string(3600, 'g'));
    const Result r = runKorvel({"check", dir.path(), "--format", "json", "--report-times"});
    const json doc = parsed(joined(r.out));
    const std::int64_t bytes = static_cast<std::int64_t>(page.size()) + 3600;
    const json expected = {{"page", dir.file("index.html")},
                           {"bytes", bytes},
                           {"seconds",
                            {{"at14400", (bytes + 1799) / 1800},
                             {"at28800", 2},
                             {"at33600", (bytes + 4199) / 4200},
                             {"at56000", 1}}},
                           {"marks", {{"external", true}, {"broken", false}, {"unknown", false}}}};
    ASSERT_EQ(doc["pageWeights"].size(), 1u) << doc.dump(2);
    EXPECT_EQ(doc["pageWeights"][0], expected);
    EXPECT_EQ(doc["frontPageWeight"], expected);
}

TEST(JsonReport, NamesThatAreNotUtf8AreEscapedNotLost) {
    const SettingsFile settings("");
    testing::TempDir dir;
    dir.write("index.html", "<a href=\"caf%E9-gone.html\">c</a>\n");
    dir.write("caf\xE9.html", "<p>alone</p>\n");  // Latin-1, as an old site may hold it
    dir.write(".hidden\xFF", "x\n");
    const Result r = runKorvel(
        {"check", dir.path(), "--format", "json", "--case", "upper", "--report-broken", "--report-orphans"});
    const json doc = parsed(joined(r.out));
    ASSERT_EQ(doc["brokenLinks"].size(), 1u) << doc.dump(2);
    EXPECT_EQ(doc["brokenLinks"][0]["link"], "caf\\xE9-gone.html");
    ASSERT_EQ(doc["orphans"].size(), 1u);
    EXPECT_EQ(doc["orphans"][0]["path"], dir.path() + "/caf\\xE9.html");
    ASSERT_EQ(doc["skipped"].size(), 1u);
    EXPECT_EQ(doc["skipped"][0], (json{{"path", dir.path() + "/.hidden\\xFF"}, {"kind", "hidden"}}));
    bool named = false;
    for (const json& name : doc["suggestedNames"])
        if (name["path"] == dir.path() + "/caf\\xE9.html") named = name["name"] == "CAF\\xE9.HTML";
    EXPECT_TRUE(named) << doc["suggestedNames"].dump(2);
}

TEST(JsonReport, GoesToTheNamedFileWhole) {
    const SettingsFile settings("");
    testing::TempDir dir;
    dir.write("site/A B.htm", "x\n");
    const std::string report = dir.file("report.json");
    const Result r = runKorvel({"check", dir.file("site"), "--files-only", "--target", "dos", "--format",
                                "json", "--report", report});
    EXPECT_EQ(r.status, kExitFindings);
    EXPECT_TRUE(r.out.empty());
    const json first = parsed(testing::readFile(report));
    EXPECT_EQ(first["summary"]["settings"]["target"], "dos");
    EXPECT_TRUE(first["summary"]["homePage"].is_null());
    EXPECT_EQ(first["summary"]["linksChecked"], false);
    EXPECT_EQ(first["suggestedNames"].size(), 1u);
    // A clean second run replaces it whole.
    const Result clean = runKorvel({"check", dir.file("site"), "--files-only", "--target", "none", "--format",
                                    "json", "--report", report});
    EXPECT_EQ(clean.status, kExitOk);
    const json second = parsed(testing::readFile(report));
    EXPECT_EQ(second["summary"]["needsAttention"], false);
    EXPECT_TRUE(second["suggestedNames"].empty());
}

TEST(JsonReport, UnknownFormatIsAUsageError) {
    const SettingsFile settings("");
    testing::TempDir dir;
    const Result r = runKorvel({"check", dir.path(), "--files-only", "--format", "yaml"});
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_EQ(r.err.size(), 1u) << joined(r.err);
    EXPECT_TRUE(r.out.empty());
}

TEST(JsonReport, MissingTopDirectoryStillGivesADocumentAndStatusTwo) {
    const SettingsFile settings("");
    testing::TempDir dir;
    const Result r = runKorvel({"check", dir.file("nowhere"), "--files-only", "--format", "json"});
    EXPECT_EQ(r.status, kExitUsage);
    const json doc = parsed(joined(r.out));
    EXPECT_EQ(doc["summary"]["completed"], false);
    ASSERT_EQ(doc["errors"].size(), 1u) << doc.dump(2);
    EXPECT_EQ(doc["errors"][0]["details"], json::array({dir.file("nowhere")}));
}

}  // namespace
}  // namespace korvel::cli
