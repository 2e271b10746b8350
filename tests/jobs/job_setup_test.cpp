#include "jobs/job_setup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/profile_file.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"
#include "support/temp_dir.h"

namespace korvel::jobs {
namespace {

using testing::TempDir;

// A top directory "site" with a sibling "site2" whose name begins with it.
struct Site {
    TempDir root;
    std::string dir = root.mkdir("site");
    Site() {
        root.write("site/index.htm", "<html><head></head></html>\n");
        root.write("site/sub/page.html", "<html><head></head></html>\n");
        root.write("site/notes.txt", "just text\n");
        root.write("site/literal.txt", "<HTML><HEAD><title>x</title></HEAD></HTML>\n");
        root.write("site/caf\xC3\xA9.html", "<html><head><title>Caf\xC3\xA9</title></head></html>\n");
        root.mkdir("site/folder.html");
        root.write("site2/x.html", "<html><head></head></html>\n");
        root.write("file", "x");
        root.mkdir("empty");
        root.mkdir("keep");
    }
    // "@" stands for the root of the temporary tree.
    std::string path(const std::string& text) const {
        return text.empty() || text.front() != '@' ? text : root.path() + text.substr(1);
    }
};

TEST(JobSetup, ServerDefaultsAreGivenOrStoredOrTheUsualNamesAndNeverNone) {
    const std::string standIn(kServerDefaultStandIn);
    struct Case {
        std::optional<std::string> given;
        const char* stored;  // the settings file's text
        std::optional<std::string> expected;
    } cases[] = {
        {"main.html;start.html", "[ServerDefault]\nItem1=home.htm\n", "main.html;start.html"},
        {" ; ", "", std::nullopt},
        {std::nullopt, "[ServerDefault]\nItem1=home.htm\nItem2=main.html\n", "home.htm;main.html;"},
        {std::nullopt, "", standIn},
        {std::nullopt, "[ServerDefault]\nItem1=;\n", standIn},
    };
    for (const Case& c : cases) {
        platform::ProfileFile profile;
        profile.parse(c.stored);
        UserList stored = serverDefaultList();
        stored.load(profile);
        EXPECT_EQ(chooseServerDefaults(c.given, stored), c.expected) << c.stored;
    }
}

TEST(JobSetup, HomePageIsTheGivenOneInsideOrTheFirstDefaultDocumentThere) {
    const Site site;
    struct Case {
        std::optional<std::string> given;
        const char* defaults;
        HomePageChoice choice;
        std::string page;
    } cases[] = {
        {"sub/page.html", "", HomePageChoice::Chosen, "@/site/sub/page.html"},
        {"@/site/index.htm", "", HomePageChoice::Chosen, "@/site/index.htm"},
        // Outside by whole path components, though the path begins with the directory's.
        {"@/site2/x.html", "", HomePageChoice::LiesOutside, "@/site2/x.html"},
        // A page that is not there is the job's to report.
        {"@/site2/gone.html", "", HomePageChoice::Chosen, "@/site2/gone.html"},
        {std::nullopt, "index.html;folder.html;index.htm;sub/page.html", HomePageChoice::Chosen,
         "@/site/index.htm"},
        {std::nullopt, "index.html;default.htm", HomePageChoice::NoneFound, ""},
    };
    for (const Case& c : cases) {
        std::string page;
        const std::optional<std::string> given = c.given ? std::optional(site.path(*c.given)) : std::nullopt;
        EXPECT_EQ(chooseHomePage(given, site.dir, c.defaults, page), c.choice)
            << c.given.value_or(c.defaults);
        EXPECT_EQ(page, site.path(c.page)) << c.given.value_or(c.defaults);
    }
}

TEST(JobSetup, TopDirectoryMustBeAnExistingDirectoryWithSomethingInIt) {
    const Site site;
    const std::pair<std::string, DirectoryProblem> cases[] = {
        {"", DirectoryProblem::Empty},
        {"@/nowhere", DirectoryProblem::Missing},
        {"@/file", DirectoryProblem::NotADirectory},
        {"@/empty", DirectoryProblem::HoldsNothing},
        {"@/site", DirectoryProblem::None},
    };
    for (const auto& [dir, problem] : cases)
        EXPECT_EQ(topDirectoryProblem(site.path(dir)), problem) << dir;
}

TEST(JobSetup, HomePageMustBeAReadableHtmlPageInsideTheDirectory) {
    const Site site;
    const std::pair<std::string, HomePageProblem> cases[] = {
        {"", HomePageProblem::Empty},
        {"@/site/" + std::string(5000, 'a') + ".html", HomePageProblem::TooLong},
        {"@/site2/x.html", HomePageProblem::Outside},
        {"@/site/missing.html", HomePageProblem::Unreadable},
        {"@/site/folder.html", HomePageProblem::Unreadable},
        {"@/site/notes.txt", HomePageProblem::NotHtml},
        {"@/site/literal.txt", HomePageProblem::None},       // HTML by its head, as the job's definitions say
        {"@/site/caf\xC3\xA9.html", HomePageProblem::None},  // UTF-8 text is text
        {"@/site/sub/page.html", HomePageProblem::None},
    };
    for (const auto& [page, problem] : cases)
        EXPECT_EQ(homePageProblem(site.path(page), site.dir, HtmlDefinitions{}), problem)
            << page.substr(0, 80);
}

TEST(JobSetup, SettingsThatCannotRun) {
    struct Case {
        const char* name;
        bool filesOnly;
        std::int32_t links;
        const char* server;
        std::int32_t target, caseConversion, lineEnd;
        const char* mappedFrom;  // "" for no mapping
        bool serverMissing;
        bool noAction;
    } cases[] = {
        {"absolute links without a server", false, kUrlAbsolute, "", 0, 0, 0, "", true, false},
        {"absolute links with a server", false, kUrlAbsolute, "www.example.com", 0, 0, 0, "", false, false},
        {"relative links need no server", false, kUrlRelative, "", 0, 0, 0, "", false, false},
        {"names only, nothing to do", true, kUrlAbsolute, "", 0, 0, 0, "", false, true},
        {"names only, a target", true, kUrlKeep, "", kTargetDos, 0, 0, "", false, false},
        {"names only, a case", true, kUrlKeep, "", 0, kCaseLower, 0, "", false, false},
        {"names only, line ends", true, kUrlKeep, "", 0, 0, kLineEndUnix, "", false, false},
        {"names only, a mapping", true, kUrlKeep, "", 0, 0, 0, "htm", false, false},
    };
    for (const Case& c : cases) {
        JobSettings settings;
        settings.FilesOnly = c.filesOnly;
        settings.AbsRelCnvrt = c.links;
        settings.Server = c.server;
        settings.Target = c.target;
        settings.CaseConv = c.caseConversion;
        settings.LineEnd = c.lineEnd;
        if (*c.mappedFrom) settings.FilenameExtensions[c.mappedFrom] = "html";
        EXPECT_EQ(serverMissing(settings), c.serverMissing) << c.name;
        EXPECT_EQ(noActionChosen(settings), c.noAction) << c.name;
    }
}

TEST(JobSetup, AReadOnlyTopDirectoryStopsOnlyAJobThatChangesFiles) {
    const Site site;
    struct Case {
        const char* name;
        void (*change)(JobSettings&);
        bool changes;
    } cases[] = {
        {"a check", [](JobSettings& s) { s.Target = kTargetDos; }, false},
        {"a fix that renames",
         [](JobSettings& s) {
             s.Rename = true;
             s.Target = kTargetDos;
         },
         true},
        {"a fix with no names to change", [](JobSettings& s) { s.Rename = true; }, false},
        {"line ends", [](JobSettings& s) { s.LineEnd = kLineEndDos; }, true},
        {"links to convert",
         [](JobSettings& s) {
             s.UpdateUrls = true;
             s.AbsRelCnvrt = kUrlRoot;
         },
         true},
        {"orphans to remove", [](JobSettings& s) { s.RemoveOrphans = true; }, true},
    };
    ASSERT_EQ(::chmod(site.dir.c_str(), 0555), 0);
    for (const Case& c : cases) {
        JobSettings settings;
        settings.Directory = site.dir;
        c.change(settings);
        EXPECT_EQ(readOnlyForJob(settings), c.changes) << c.name;
        settings.Directory = site.root.path();  // writable
        EXPECT_FALSE(readOnlyForJob(settings)) << c.name;
    }
    ::chmod(site.dir.c_str(), 0755);
}

TEST(JobSetup, ShortNameTargetsWarnOfNoMappingOrOfTheFirstLongExtension) {
    using Kind = ExtensionWarning::Kind;
    struct Case {
        std::int32_t target;
        std::map<std::string, std::string> map;
        Kind kind;
        const char* extension;
    } cases[] = {
        {kTargetDos, {{"htm", "shtml"}}, Kind::LongExtension, "shtml"},
        {kTargetIso9660, {{"aaa", "abcd"}, {"htm", "shtml"}}, Kind::LongExtension, "abcd"},
        {kTargetDos, {{"jpeg", "jpg"}}, Kind::None, ""},
        {kTargetDos, {}, Kind::NoMapping, ""},
        {kTargetIso9660, {}, Kind::NoMapping, ""},
        {kTargetVfat, {}, Kind::None, ""},
        {kTargetUnix, {{"htm", "shtml"}}, Kind::None, ""},
    };
    for (const Case& c : cases) {
        JobSettings settings;
        settings.Target = c.target;
        settings.FilenameExtensions = c.map;
        const ExtensionWarning warning = shortExtensionWarning(settings);
        EXPECT_EQ(warning.kind, c.kind) << c.target << ' ' << c.map.size();
        EXPECT_EQ(warning.extension, c.extension) << c.target << ' ' << c.map.size();
    }
}

TEST(JobSetup, AnExtensionMappedTwiceIsFoundAsTheMapKeysIt) {
    using Mappings = std::vector<std::pair<std::string, std::string>>;
    const std::pair<Mappings, std::optional<std::string>> cases[] = {
        {{{"htm", "html"}, {"jpeg", "jpg"}}, std::nullopt},
        {{{"htm", "html"}, {"jpeg", "jpg"}, {"HTM", "shtml"}}, "htm"},
        {{{"jpeg", "jpg"}, {".jpeg", "jpe"}}, "jpeg"},
        {{}, std::nullopt},
    };
    for (const auto& [mappings, repeated] : cases)
        EXPECT_EQ(repeatedMapping(mappings), repeated) << mappings.size();
}

TEST(JobSetup, AKeepPatternIsOneLineThatIsNotEmpty) {
    const std::pair<std::string, bool> cases[] = {
        {"js/lazy/", true}, {"*.json", true}, {"", false},
        {"a\nb", false},    {"a\r", false},   {std::string("a\0b", 3), false},
    };
    for (const auto& [pattern, valid] : cases)
        EXPECT_EQ(validKeepPattern(pattern), valid) << pattern;
}

TEST(JobSetup, OrphansGoToAnExistingDirectoryOutsideTheSite) {
    const Site site;
    const std::pair<std::string, MoveProblem> cases[] = {
        {"@/keep", MoveProblem::None},
        {"@/site2", MoveProblem::None},  // only its name begins with the site's
        {"", MoveProblem::NotADirectory},
        {"@/nowhere", MoveProblem::NotADirectory},
        {"@/file", MoveProblem::NotADirectory},
        {"@/site", MoveProblem::InsideSite},
        {"@/site/sub", MoveProblem::InsideSite},
    };
    for (const auto& [destination, problem] : cases)
        EXPECT_EQ(moveDestinationProblem(site.path(destination), site.dir), problem) << destination;
}

TEST(JobSetup, TheReportNameIsTheFirstFreeOne) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "REPORT.TXT"},
        {{"REPORT.TXT"}, "REPORT_1.TXT"},
        {{"REPORT.TXT", "REPORT_1.TXT", "REPORT_2.TXT"}, "REPORT_3.TXT"},
        {{"REPORT_1.TXT"}, "REPORT.TXT"},
    };
    for (const auto& [taken, expected] : cases) {
        TempDir dir;
        for (const std::string& name : taken)
            dir.write(name, "old report\n");
        EXPECT_EQ(defaultReportName(dir.path()), dir.file(expected)) << expected;
    }
}

}  // namespace
}  // namespace korvel::jobs
