// "korvel orphans" and its undo, as a person runs them: the refusals, the sample site's orphans moved and
// put back, and the JSON form.
#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/run_korvel.h"
#include "support/env_var.h"
#include "support/temp_dir.h"

namespace korvel::cli {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string joined(const Lines& lines) {
    std::string text;
    for (const auto& line : lines)
        text += line + '\n';
    return text;
}

// The files below "top", by their paths relative to it.
std::set<std::string> filesBelow(const std::string& top) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(top))
        if (entry.is_regular_file()) files.insert(entry.path().string().substr(top.size() + 1));
    return files;
}

// Each test keeps its settings, undo journals and trash to itself.
struct Places {
    SettingsFile settings{""};
    TempDir state;
    TempDir data;
    TempDir dir;
    TempDir keep;
    testing::EnvVar stateHome{"XDG_STATE_HOME", state.path()};
    testing::EnvVar dataHome{"XDG_DATA_HOME", data.path()};

    Places() {
        dir.write("index.html", "<a href=\"page.html\">p</a>\n");
        dir.write("page.html", "page\n");
        dir.write("old/orphan.gif", "GIF89a");
    }
};

struct UsageCase {
    const char* name;
    std::vector<std::string>
        args;  // "DIR", "KEEP", "INSIDE" (a directory of DIR) and "MISSING" stand for paths
    const char* says;
};

class OrphansUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(OrphansUsage, IsRefusedWithOneLineAndNothingMoves) {
    const UsageCase& c = GetParam();
    // Asked on a terminal, the list would be shown instead.
    if (std::string(c.name) == "NoTerminalNoYes" && ::isatty(STDIN_FILENO)) GTEST_SKIP();
    Places p;
    std::vector<std::string> args = {"orphans"};
    const std::map<std::string, std::string> paths = {{"DIR", p.dir.path()},
                                                      {"KEEP", p.keep.path()},
                                                      {"INSIDE", p.dir.file("old")},
                                                      {"MISSING", p.dir.file("no")}};
    for (const std::string& arg : c.args)
        args.push_back(paths.count(arg) ? paths.at(arg) : arg);
    if (std::string(c.name) == "NoHomePage") fs::remove(p.dir.file("index.html"));
    const auto before = testing::treeSnapshot(p.dir.path());

    const Result r = runKorvel(args);

    EXPECT_EQ(r.status, kExitUsage);
    ASSERT_EQ(r.err.size(), 1u) << joined(r.err);
    EXPECT_NE(r.err[0].find(c.says), std::string::npos) << r.err[0];
    // Names only, the check's way out, finds no orphans.
    EXPECT_EQ(r.err[0].find("--files-only"), std::string::npos) << r.err[0];
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(testing::treeSnapshot(p.dir.path()), before);
    EXPECT_TRUE(testing::entriesOf(p.keep.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OrphansUsage,
    ::testing::Values(
        UsageCase{"NeitherMoveNorTrash", {"DIR", "--yes"}, "--move-to KEEP or --trash"},
        UsageCase{"BothMoveAndTrash", {"DIR", "--move-to", "KEEP", "--trash", "--yes"}, "excludes"},
        UsageCase{"MoveToAMissingDirectory", {"DIR", "--move-to", "MISSING", "--yes"}, "not a directory"},
        UsageCase{"MoveToInsideTheSite", {"DIR", "--move-to", "INSIDE", "--yes"}, "lies inside"},
        UsageCase{"MissingTopDirectory", {"MISSING", "--trash", "--yes"}, "is not a directory"},
        UsageCase{"NoHomePage", {"DIR", "--trash", "--yes"}, "no home page found"},
        UsageCase{"NoTerminalNoYes", {"DIR", "--move-to", "KEEP"}, "give --yes"}),
    [](const auto& info) { return std::string(info.param.name); });

// examples/site of this checkout, found from this file's place in tests/cli.
fs::path sampleSite() {
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "site";
}

TEST(OrphansCommand, MovesExactlyTheSampleSitesOrphansAndTheUndoPutsTheSiteBackWhole) {
    Places p;
    const std::string site = p.dir.file("site");
    fs::copy(sampleSite(), site, fs::copy_options::recursive);
    const auto before = testing::treeSnapshot(site);

    const Result r =
        runKorvel({"orphans", site, "--server", "www.example.com", "--move-to", p.keep.path(), "--yes"});
    ASSERT_EQ(r.status, kExitOk) << joined(r.err) << joined(r.out);

    // As examples/site/README lists them.
    EXPECT_EQ(filesBelow(p.keep.file("site")), (std::set<std::string>{
                                                   "README",
                                                   "a.b.c.d",
                                                   "a:b.txt",
                                                   "docs/only-through-base.html",
                                                   "half-page.txt",
                                                   "images/Unused Picture.gif",
                                                   "images/old-banner.gif",
                                                   "images/used-by-orphan.png",
                                                   "news/2024/Spring News Draft.htm",
                                                   "orphan.html",
                                                   "site.old/index.html",
                                                   "site.old/readme",
                                                   "styles/old.css",
                                                   "text/copyright-latin1.txt",
                                                   "text/cr-at-end.txt",
                                                   "text/cr.txt",
                                                   "text/crlf.txt",
                                                   "text/e-acute-latin1.txt",
                                                   "text/email,list;v2.txt",
                                                   "text/empty.txt",
                                                   "text/legacy-caf\xE9.txt",
                                                   "text/lf.txt",
                                                   "text/long-first-line.txt",
                                                   "text/mixed.txt",
                                                   "text/no-line-end.txt",
                                                   "text/utf16le.txt",
                                                   "text/utf8-bom.txt",
                                                   "text/utf8.txt",
                                                   "日本.txt",
                                               }));
    const std::string report = joined(r.out);
    EXPECT_NE(report.find("Removed 29 orphans and 2 orphan directories"), std::string::npos) << report;
    EXPECT_FALSE(fs::exists(site + "/text"));
    EXPECT_FALSE(fs::exists(site + "/site.old"));

    const Result undo = runKorvel({"undo", site});
    ASSERT_EQ(undo.status, kExitOk) << joined(undo.err) << joined(undo.out);
    EXPECT_NE(joined(undo.out).find("Restored 29 orphans and 2 orphan directories"), std::string::npos)
        << joined(undo.out);
    EXPECT_EQ(testing::treeSnapshot(site), before);
    EXPECT_TRUE(testing::entriesOf(p.keep.path()).empty());
}

TEST(OrphansCommand, TheJsonFormSaysWhatWasFoundAndWhatWent) {
    Places p;
    const Result r = runKorvel({"orphans", p.dir.path(), "--trash", "--yes", "--format", "json"});
    ASSERT_EQ(r.status, kExitOk) << joined(r.err);
    const nlohmann::json doc = nlohmann::json::parse(joined(r.out));

    EXPECT_EQ(doc["summary"]["completed"], true);
    EXPECT_EQ(doc["orphans"],
              nlohmann::json::parse(R"([{"path": ")" + p.dir.file("old/orphan.gif") + "\"}]"));
    const auto& job = doc["orphansJob"];
    EXPECT_EQ(job["action"], "trash");
    EXPECT_TRUE(job["movedTo"].is_null());
    EXPECT_EQ(job["removed"], doc["orphans"]);
    EXPECT_EQ(job["removedDirectories"][0]["path"], p.dir.file("old"));
    EXPECT_FALSE(fs::exists(p.dir.file("old")));
}

TEST(OrphansCommand, FilesAKeepPatternNamesAreNeverOrphansAndThePatternsAreStored) {
    Places p;
    // Files that only a script loads: no page links them.
    p.dir.write("js/lazy/chunk.js", "load()\n");
    p.dir.write("data/feed.json", "{}\n");
    p.dir.write("feed.json.bak", "{}\n");
    p.dir.write("stray.txt", "x\n");

    // Stored with the check's settings, and said at the top of its report.
    const Result check =
        runKorvel({"check", p.dir.path(), "--keep", "js/lazy/", "--keep", "*.json", "--save-settings"});
    const std::string report = joined(check.out);
    EXPECT_NE(report.find("Never orphans (kept): \"js/lazy/\", \"*.json\""), std::string::npos) << report;
    EXPECT_NE(report.find("stray.txt"), std::string::npos) << report;
    EXPECT_EQ(report.find("chunk.js"), std::string::npos) << report;
    EXPECT_EQ(report.find("data/feed.json"), std::string::npos) << report;

    // The orphans job, without the option, keeps the same files.
    const Result moved = runKorvel({"orphans", p.dir.path(), "--move-to", p.keep.path(), "--yes"});
    ASSERT_EQ(moved.status, kExitOk) << joined(moved.err) << joined(moved.out);
    const std::string name = fs::path(p.dir.path()).filename().string();
    EXPECT_EQ(filesBelow(p.keep.path()), (std::set<std::string>{name + "/old/orphan.gif", name + "/stray.txt",
                                                                name + "/feed.json.bak"}));
    EXPECT_TRUE(fs::exists(p.dir.file("js/lazy/chunk.js")));
    EXPECT_TRUE(fs::exists(p.dir.file("data/feed.json")));

    p.dir.write("stray.txt", "x\n");
    const Result forgotten = runKorvel({"check", p.dir.path(), "--keep-none"});
    EXPECT_NE(joined(forgotten.out).find("chunk.js"), std::string::npos) << joined(forgotten.out);
}

}  // namespace
}  // namespace korvel::cli
