#include "names/convert_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "names/conventions.h"
#include "platform/paths.h"
#include "report/app_log.h"
#include "res/strings.h"
#include "settings/job_settings.h"
#include "site/node.h"
#include "site/traverse.h"
#include "support/scripted_prompts.h"

namespace korvel::names {
namespace {

// ---- conformName, per target

struct ConformCase {
    std::string name;
    std::int32_t target;
    std::int32_t caseConversion;
    std::int32_t budget;  // 0: the target's own name limit
    std::string expected;
    bool hidden = false;
};

std::ostream& operator<<(std::ostream& out, const ConformCase& c) {
    return out << '"' << c.name << "\" target " << c.target << " case " << c.caseConversion << " budget "
               << c.budget;
}

std::int32_t budgetOf(const ConformCase& c) {
    return c.budget ? c.budget : getNameLimits(c.target).maxNameLength;
}

class ConformNameTest : public ::testing::TestWithParam<ConformCase> {};

TEST_P(ConformNameTest, Converts) {
    const ConformCase& c = GetParam();
    const auto result = conformName(c.name, c.target, c.caseConversion, budgetOf(c), c.hidden);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, c.expected);
}

// A conforming name is one the conversion leaves alone, so converting twice changes nothing more.
TEST_P(ConformNameTest, ResultConformsAlready) {
    const ConformCase& c = GetParam();
    const auto once = conformName(c.name, c.target, c.caseConversion, budgetOf(c), c.hidden);
    ASSERT_TRUE(once.has_value());
    EXPECT_EQ(conformName(*once, c.target, c.caseConversion, budgetOf(c), c.hidden), once);
}

const std::string k40 = "abcdefghijklmnopqrstuvwxyzabcdefghijklmn";  // 40 bytes

INSTANTIATE_TEST_SUITE_P(
    Examples, ConformNameTest,
    ::testing::Values(
        // Characters, per target.
        ConformCase{"a+b;c.htm", kTargetDos, kCaseNone, 0, "abc.htm"},
        ConformCase{"a+b;c.htm", kTargetVfat, kCaseNone, 0, "a+b;c.htm"},
        ConformCase{"what?.htm", kTargetNtfs, kCaseNone, 0, "what?.htm"},
        ConformCase{"what?.htm", kTargetVfat, kCaseNone, 0, "what.htm"},
        ConformCase{"my file.htm", kTargetDos, kCaseNone, 0, "myfile.htm"},
        ConformCase{"my file.htm", kTargetVfat, kCaseNone, 0, "my file.htm"},
        ConformCase{"a:b", kTargetIso9660, kCaseNone, 0, "ab"},
        ConformCase{"a:b", kTargetDos, kCaseNone, 0, "ab"},
        ConformCase{"a:b", kTargetVfat, kCaseNone, 0, "ab"},
        ConformCase{"a:b", kTargetNtfs, kCaseNone, 0, "ab"},
        ConformCase{"a:b", kTargetMacintosh, kCaseNone, 0, "ab"},
        ConformCase{"a:b", kTargetUnix, kCaseNone, 0, "a:b"},
        ConformCase{"a:b", kTargetNone, kCaseNone, 0, "a:b"},
        ConformCase{"R\xc3\xa9sum\xc3\xa9-1.htm", kTargetIso9660, kCaseNone, 0, "Rsum1.htm"},
        // Reserved device names, in any case and before any extension, where the target refuses them.
        ConformCase{"AUX.txt", kTargetDos, kCaseNone, 0, "AUX_1.txt"},
        ConformCase{"con.html", kTargetDos, kCaseNone, 0, "con_1.htm"},
        ConformCase{"Com1.tar.gz", kTargetVfat, kCaseNone, 0, "Com1_1.tar.gz"},
        ConformCase{"nul", kTargetNtfs, kCaseNone, 0, "nul_1"},
        ConformCase{"lpt9.htm", kTargetIso9660, kCaseNone, 0, "lpt9_1.htm"},
        ConformCase{"prn .txt", kTargetNtfs, kCaseNone, 0, "prn _1.txt"},
        ConformCase{"con.html", kTargetMacintosh, kCaseNone, 0, "con.html"},
        ConformCase{"con.html", kTargetUnix, kCaseNone, 0, "con.html"},
        ConformCase{"console.htm", kTargetNtfs, kCaseNone, 0, "console.htm"},
        ConformCase{"com0.htm", kTargetNtfs, kCaseNone, 0, "com0.htm"},
        // Case, on the whole name; only ASCII letters change.
        ConformCase{"My Page.html", kTargetDos, kCaseUpper, 0, "MYPAGE.HTM"},
        ConformCase{"Index.HTM", kTargetNone, kCaseLower, 0, "index.htm"},
        ConformCase{"\xc3\xa9t\xc3\xa9.htm", kTargetUnix, kCaseUpper, 0, "\xc3\xa9T\xc3\xa9.HTM"},
        // 8.3 structure.
        ConformCase{"a.b.c.d", kTargetIso9660, kCaseNone, 0, "abc.d"},
        ConformCase{"a.b.c.d", kTargetDos, kCaseNone, 0, "abc.d"},
        ConformCase{"longname1.htm", kTargetDos, kCaseNone, 0, "longname.htm"},
        ConformCase{"abcdefghijk", kTargetDos, kCaseNone, 0, "abcdefgh"},
        ConformCase{"a.html", kTargetDos, kCaseNone, 0, "a.htm"},
        ConformCase{".htaccess", kTargetDos, kCaseNone, 0, ".hta", true},
        // Lengths: Macintosh 31, and cuts that keep the extension.
        ConformCase{k40, kTargetMacintosh, kCaseNone, 0, k40.substr(0, 31)},
        ConformCase{k40 + ".html", kTargetMacintosh, kCaseNone, 0, k40.substr(0, 26) + ".html"},
        ConformCase{"abcdefghij.htm", kTargetUnix, kCaseNone, 8, "abcd.htm"},
        ConformCase{"abcdefghij.htm", kTargetUnix, kCaseNone, 3, "abc"},  // the extension does not fit
        // Cuts fall between UTF-8 characters.
        ConformCase{std::string(30, 'a') + "\xc3\xa9", kTargetMacintosh, kCaseNone, 0, std::string(30, 'a')},
        ConformCase{"\xc3\xa9\xc3\xa9\xc3\xa9.htm", kTargetUnix, kCaseNone, 9, "\xc3\xa9\xc3\xa9.htm"},
        ConformCase{"\xc3\xa9\xc3\xa9\xc3\xa9.htm", kTargetUnix, kCaseNone, 7, "\xc3\xa9.htm"},
        // Invalid UTF-8 is kept as bytes where the target allows them.
        ConformCase{"\xff\xfeName.htm", kTargetNone, kCaseLower, 0, "\xff\xfename.htm"},
        // Control bytes on FAT and NTFS.
        ConformCase{"a\x01"
                    "b\tc.htm",
                    kTargetNtfs, kCaseNone, 0, "abc.htm"},
        ConformCase{"a\x7f"
                    "b.htm",
                    kTargetDos, kCaseNone, 0, "ab.htm"},
        ConformCase{"a\x7f"
                    "b.htm",
                    kTargetUnix, kCaseNone, 0,
                    "a\x7f"
                    "b.htm"},
        // Trailing dots and spaces, which Windows would drop.
        ConformCase{"index.", kTargetVfat, kCaseNone, 0, "index"},
        ConformCase{"a. . ", kTargetNtfs, kCaseNone, 0, "a"},
        ConformCase{"index.", kTargetUnix, kCaseNone, 0, "index."},
        ConformCase{"abcdefgh.", kTargetDos, kCaseNone, 0, "abcdefgh"},
        // Deleting characters never hides a name, nor leaves nothing.
        ConformCase{"+.htm", kTargetDos, kCaseNone, 0, "_.htm"},
        ConformCase{"\xc3\xa9.htm", kTargetIso9660, kCaseNone, 0, "_.htm"},
        ConformCase{"+++", kTargetDos, kCaseNone, 0, "_1"},
        ConformCase{"...", kTargetVfat, kCaseNone, 0, "_1"}, ConformCase{"?", kTargetVfat, kCaseNone, 1, "_"},
        ConformCase{"\xc3\xa9", kTargetMacintosh, kCaseNone, 1, "_"}));

TEST(ConformNameTest, NoRoomAtAllGivesNothing) {
    EXPECT_FALSE(conformName("a.htm", kTargetDos, kCaseNone, 0, false).has_value());
    EXPECT_FALSE(conformName("a.htm", kTargetUnix, kCaseNone, -40, false).has_value());
}

TEST(ConformNameTest, NeverANameTheHostCannotHoldOrWouldHide) {
    const std::vector<std::string> names = {
        "", ".", "..", "/", std::string(1, '\0'), "a/b", ".x/", "./", "../", ".\x01", "\x01", "//..", "..."};
    for (std::int32_t target = 0; target <= 6; ++target) {
        for (const std::string& name : names) {
            for (const std::int32_t budget : {1, 2, 12, 255}) {
                const auto result = conformName(name, target, kCaseNone, budget, false);
                ASSERT_TRUE(result.has_value());
                EXPECT_NE(*result, "");
                EXPECT_NE(*result, ".");
                EXPECT_NE(*result, "..");
                EXPECT_EQ(result->find('/'), std::string::npos);
                EXPECT_EQ(result->find('\0'), std::string::npos);
                EXPECT_NE(result->front(), '.') << "target " << target << " name \"" << name << "\"";
                EXPECT_LE(static_cast<std::int32_t>(result->size()), budget);
            }
        }
    }
}

// ---- mapExtension

TEST(MapExtensionTest, LooksUpTheLowerCasedExtensionAndUsesTheValueAsStored) {
    const ExtensionMap map = {{"htm", "html"}, {"html", "htm"}, {"jpg", "JPEG"}};
    EXPECT_EQ(mapExtension("index.htm", map), "index.html");
    EXPECT_EQ(mapExtension("index.html", map), "index.htm");  // both directions in one map
    EXPECT_EQ(mapExtension("Index.HTM", map), "Index.html");
    EXPECT_EQ(mapExtension("a.b.jpg", map), "a.b.JPEG");
    EXPECT_EQ(mapExtension("index.shtml", map), std::nullopt);
    EXPECT_EQ(mapExtension("README", map), std::nullopt);
}

TEST(MapExtensionTest, KeysAreComparedByteWise) {
    // A key that is not lower case never matches: the extension is looked up lower-cased.
    const ExtensionMap map = {{"HTM", "html"}};
    EXPECT_EQ(mapExtension("index.HTM", map), std::nullopt);
    EXPECT_EQ(mapExtension("index.htm", map), std::nullopt);
}

TEST(MapExtensionTest, AnEmptyKeyGivesNamesWithoutExtensionOne) {
    const ExtensionMap map = {{"", "txt"}};
    EXPECT_EQ(mapExtension("README", map), "README.txt");
    EXPECT_EQ(mapExtension("a.htm", map), std::nullopt);
}

TEST(PredefinedMappingsTest, ThirteenInDialogOrder) {
    std::string lines;
    for (const ExtensionMapping& m : predefinedMappings())
        lines += std::string(m.oldExtension) + "->" + std::string(m.newExtension) + "\n";
    EXPECT_EQ(lines,
              "htm->html\nhtml->htm\nhtm->asp\nhtml->shtml\njpg->jpeg\njpeg->jpg\nmpg->mpeg\nmpeg->mpg\npng->"
              "ping\nping->png\njpe->jpg\nmpe->mpg\npin->png\n");
}

// ---- makeUnique

SiblingNames takenOf(std::initializer_list<const char*> names) {
    SiblingNames taken;
    for (const char* name : names)
        taken.add(name);
    return taken;
}

struct UniqueCase {
    std::vector<const char*> taken;
    std::string name;
    std::int32_t maxLength;
    std::string expected;
};

class MakeUniqueTest : public ::testing::TestWithParam<UniqueCase> {};

TEST_P(MakeUniqueTest, AddsOrCountsOnACounter) {
    SiblingNames taken;
    for (const char* name : GetParam().taken)
        taken.add(name);
    std::string name = GetParam().name;
    EXPECT_EQ(makeUnique(name, '_', GetParam().maxLength, taken), Uniqueness::MadeUnique);
    EXPECT_EQ(name, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cascades, MakeUniqueTest,
    ::testing::Values(UniqueCase{{"index.htm"}, "index.htm", 255, "index_1.htm"},
                      UniqueCase{{"index.htm", "index_1.htm"}, "index.htm", 255, "index_2.htm"},
                      UniqueCase{{"INDEX.HTM"}, "index.htm", 255, "index_1.htm"},  // case does not matter
                      UniqueCase{{"a_12.htm"}, "a_12.htm", 255, "a_13.htm"},
                      UniqueCase{{"photo1.jpg"}, "photo1.jpg", 255, "photo1_1.jpg"},
                      UniqueCase{{"README"}, "README", 255, "README_1"},
                      // The 8.3 cut-down: the base gives way, the extension stays.
                      UniqueCase{{"longname.htm"}, "longname.htm", 12, "longna_1.htm"},
                      UniqueCase{{"longna_9.htm"}, "longna_9.htm", 12, "longn_10.htm"},
                      UniqueCase{{"MYPAGE.HTM"}, "MYPAGE.HTM", 12, "MYPAGE_1.HTM"},
                      // Macintosh: at most 31, "_1" before the extension.
                      UniqueCase{{"abcdefghijklmnopqrstuvwxyza.htm"},
                                 "abcdefghijklmnopqrstuvwxyza.htm",
                                 31,
                                 "abcdefghijklmnopqrstuvwxy_1.htm"},
                      // Cuts never split a UTF-8 character.
                      UniqueCase{{"\xc3\xa9\xc3\xa9.htm"}, "\xc3\xa9\xc3\xa9.htm", 8, "\xc3\xa9_1.htm"},
                      UniqueCase{{"\xc3\xa9\xc3\xa9.htm"}, "\xc3\xa9\xc3\xa9.htm", 7, "_1.htm"}));

TEST(MakeUniqueTest, AFreeNameStaysAsItIs) {
    SiblingNames taken = takenOf({"a.htm"});
    std::string name = "b.htm";
    EXPECT_EQ(makeUnique(name, '_', 255, taken), Uniqueness::AlreadyUnique);
    EXPECT_EQ(name, "b.htm");
}

TEST(MakeUniqueTest, NoFitLeavesTheNameAndSaysSo) {
    SiblingNames taken = takenOf({"a.html"});
    std::string name = "a.html";
    EXPECT_EQ(makeUnique(name, '_', 6, taken), Uniqueness::NoFit);  // "_1.html" alone is 7
    EXPECT_EQ(name, "a.html");
}

// Remembered counters only skip numbers; when one of those is freed and nothing larger fits, the lowest
// free number is still found.
TEST(MakeUniqueTest, AFreedNumberIsFoundWhenLargerOnesDoNotFit) {
    SiblingNames taken = takenOf({"a.htm"});
    for (int i = 1; i <= 9; ++i)
        taken.add("_" + std::to_string(i) + ".htm");
    std::string name = "a.htm";
    ASSERT_EQ(makeUnique(name, '_', 6, taken), Uniqueness::NoFit);  // "_10.htm" is 7
    taken.remove("_3.htm");
    EXPECT_EQ(makeUnique(name, '_', 6, taken), Uniqueness::MadeUnique);
    EXPECT_EQ(name, "_3.htm");
}

TEST(MakeUniqueTest, RemovingANameFreesItOnlyOnce) {
    SiblingNames taken = takenOf({"A.htm", "a.htm"});  // case twins each count
    taken.remove("a.htm");
    EXPECT_TRUE(taken.contains("a.HTM"));
    taken.remove("A.htm");
    EXPECT_FALSE(taken.contains("a.htm"));
}

// Thousands of clashes of one stem: every one gets its own number, in order (and quickly: each clash
// starts from the next number the stem has not used).
TEST(MakeUniqueTest, ManyClashesOfOneStemNumberOnInOrder) {
    SiblingNames taken = takenOf({"x.htm"});
    for (int i = 1; i <= 5000; ++i) {
        std::string name = "X.htm";
        ASSERT_EQ(makeUnique(name, '_', 255, taken), Uniqueness::MadeUnique);
        ASSERT_EQ(name, "X_" + std::to_string(i) + ".htm");
        taken.add(name);
    }
}

// ---- The pass over a tree

class ConvertPassTest : public ::testing::Test {
  protected:
    ConvertPassTest() { settings.AutoFileName = true; }

    Node* file(std::string_view name, DirNode* dir = nullptr) {
        DirNode& in = dir ? *dir : *top;
        return in.addChild(std::make_unique<FileNode>(platform::joinPath(in.path(), name)));
    }
    DirNode* directory(std::string_view name, DirNode* dir = nullptr) {
        DirNode& in = dir ? *dir : *top;
        return static_cast<DirNode*>(
            in.addChild(std::make_unique<DirNode>(platform::joinPath(in.path(), name))));
    }
    std::int32_t run() { return convertNames(*top, settings, 0, &quiet); }
    std::string errors() { return logScope.log().sectionText(res::kSectionErrors); }

    LogScope logScope;
    testing::ScriptedPrompts prompts;  // nothing expected unless a test says so
    ui::PromptsScope promptsScope{prompts};
    GUIProgress quiet;
    JobSettings settings;
    std::unique_ptr<DirNode> top = std::make_unique<DirNode>("/site");
};

TEST_F(ConvertPassTest, ACaseOnlyChangeMustNotLandOnItsTwin) {
    Node* upper = file("A.htm");
    Node* lower = file("a.htm");
    settings.CaseConv = kCaseLower;
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(upper->getNewName(), "a_1.htm");
    EXPECT_FALSE(lower->hasNewName());
}

TEST_F(ConvertPassTest, TwinsBothChangingCaseEndAsTwoNames) {
    Node* upper = file("A.htm");
    Node* lower = file("a.htm");
    settings.CaseConv = kCaseUpper;
    EXPECT_EQ(run(), 2);
    // "A.htm" is renamed first, so its old name is free for its twin by then.
    EXPECT_EQ(upper->getNewName(), "A_1.HTM");
    EXPECT_EQ(lower->getNewName(), "A.HTM");
}

// Twins that conform each on their own are still one name where the target is case-blind.
TEST_F(ConvertPassTest, CaseTwinsThatConformCollideWhereTheTargetIsCaseBlind) {
    for (const std::int32_t target :
         {kTargetIso9660, kTargetDos, kTargetVfat, kTargetNtfs, kTargetMacintosh, kTargetUnix, kTargetNone}) {
        SCOPED_TRACE(target);
        top = std::make_unique<DirNode>("/site");
        Node* first = file("DUP.HTM");
        Node* second = file("dup.htm");
        settings.Target = target;
        const bool caseBlind = target != kTargetUnix && target != kTargetNone;
        EXPECT_EQ(run(), caseBlind ? 1 : 0);
        EXPECT_FALSE(first->hasNewName());
        EXPECT_EQ(second->getNewName(), caseBlind ? "dup_1.htm" : "");
    }
}

TEST_F(ConvertPassTest, UnixTellsNamesApartByCase) {
    Node* page = file("page.htm");
    file("Page.html");
    settings.Target = kTargetUnix;
    settings.FilenameExtensions = {{"htm", "html"}};
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(page->getNewName(), "page.html");
}

TEST_F(ConvertPassTest, ACaseOnlyChangeWithoutTwinKeepsItsName) {
    Node* index = file("Index.HTM");
    settings.CaseConv = kCaseLower;
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(index->getNewName(), "index.htm");
}

TEST_F(ConvertPassTest, UniqueAgainstSiblingsCurrentAndNewNames) {
    Node* page = file("My Page.html");
    Node* other = file("mypage.htm");
    Node* third = file("my+page.htm");
    settings.Target = kTargetDos;
    settings.CaseConv = kCaseUpper;
    EXPECT_EQ(run(), 3);
    EXPECT_EQ(page->getNewName(), "MYPAGE_1.HTM");
    EXPECT_EQ(other->getNewName(), "MYPAGE.HTM");
    EXPECT_EQ(third->getNewName(), "MYPAGE_2.HTM");
}

TEST_F(ConvertPassTest, KorvelsOwnOutputFilesKeepTheirNamesAndOthersAvoidThem) {
    Node* page = file("report_of_external_refs.html");
    Node* report = file("REPORT_2.TXT");
    DirNode* sub = directory("sub");
    Node* log = file("RENAME.LOG", sub);
    Node* ordinary = file("Report_2.txt");
    settings.Target = kTargetDos;
    settings.CaseConv = kCaseUpper;
    EXPECT_EQ(run(), 2);  // "sub" and the site's own report
    EXPECT_FALSE(page->hasNewName());
    EXPECT_FALSE(report->hasNewName());
    EXPECT_FALSE(log->hasNewName());
    // The site's own file is renamed, and not onto the name Korvel's report holds.
    EXPECT_EQ(ordinary->getNewName(), "REPORT_3.TXT");
}

TEST_F(ConvertPassTest, MappedExtensionThatTheTargetCutsBackIsNoChange) {
    Node* index = file("index.htm");
    directory("img.htm");  // directories keep their extensions
    settings.FilenameExtensions = {{"htm", "html"}};
    settings.Target = kTargetVfat;
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(index->getNewName(), "index.html");

    settings.Target = kTargetDos;
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(index->hasNewName());
}

TEST_F(ConvertPassTest, ABudgetAtOrBelowZeroIsReportedNotPassed) {
    top = std::make_unique<DirNode>("/" + std::string(253, 't'));  // children's directory part: 255
    Node* file1 = file("a");
    settings.Target = kTargetDos;
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(file1->hasNewName());
    EXPECT_NE(errors().find("Directory name was too long to rename (> 255)\n\t" + file1->path()),
              std::string::npos)
        << errors();
}

TEST_F(ConvertPassTest, NoFittingUniqueNameKeepsNoNewNameAndIsReported) {
    top = std::make_unique<DirNode>("/" + std::string(248, 't'));  // children's budget under DOS: 5
    Node* clash = file("a+.htm");
    Node* keeper = file("a.htm");
    settings.Target = kTargetDos;
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(clash->hasNewName()) << clash->getNewName();
    EXPECT_FALSE(keeper->hasNewName());
    EXPECT_NE(errors().find("Directory name was too long to rename (> 255)\n\t" + clash->path()),
              std::string::npos)
        << errors();
}

TEST_F(ConvertPassTest, ChildrenOfARenamedDirectoryGetTheBudgetOfItsNewName) {
    top = std::make_unique<DirNode>("/" + std::string(238, 't'));  // children's directory part: 240
    DirNode* dir = directory("Directory.With.Dots");               // 19 bytes, 12 once converted
    Node* inside = file("abcdefgh.htm", dir);                      // room left: 255 - 253
    settings.Target = kTargetDos;
    prompts.expectMessageBox(ui::Answer::Ok, "over 220 characters");
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(dir->getNewName(), "Director.Dot");
    EXPECT_EQ(inside->getNewName(), "ab");
}

TEST_F(ConvertPassTest, DeepPathWarningComesOncePerPass) {
    top = std::make_unique<DirNode>("/" + std::string(230, 't'));
    DirNode* first = directory("one");
    directory("two", first);
    directory("three");
    settings.CaseConv = kCaseUpper;
    prompts.expectMessageBox(ui::Answer::Ok, "The directory path is over 220 characters long!");
    EXPECT_EQ(run(), 3);
    prompts.expectMessageBox(ui::Answer::Ok, "over 220");  // a new pass warns again
    EXPECT_EQ(run(), 3);
}

TEST_F(ConvertPassTest, SiblingsInDifferentDirectoriesDoNotClash) {
    DirNode* a = directory("a");
    DirNode* b = directory("b");
    Node* inA = file("x?.htm", a);
    Node* inB = file("x?.htm", b);
    file("y.htm", a);
    settings.Target = kTargetVfat;
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(inA->getNewName(), "x.htm");
    EXPECT_EQ(inB->getNewName(), "x.htm");
}

// 10,000 names in one directory that all convert to the same name: one hashed lookup per name and a
// remembered counter per stem keep this linear; the test only checks the outcome (and stays well under a
// second).
TEST_F(ConvertPassTest, TenThousandSiblingsAllGetDistinctNames) {
    constexpr int kCount = 10000;
    const std::string symbols = "\"\\<>:|?*";  // each removed under VFAT
    std::vector<std::string> names;
    for (int i = 0; i < kCount; ++i) {
        std::string name = "x";
        for (int n = i, d = 0; d < 5; ++d, n /= 8)
            name.push_back(symbols[n % 8]);
        names.push_back(name + ".htm");
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return siblingLess(a, b); });
    top->reserveChildren(kCount + 1);
    for (const std::string& name : names)
        file(name);
    file("x.htm");
    settings.Target = kTargetVfat;
    EXPECT_EQ(run(), kCount);
    std::set<std::string> given;
    for (const Node* child : top->children())
        if (child->hasNewName()) given.insert(asciiUpper(child->getNewName()));
    EXPECT_EQ(given.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(given.count("X.HTM"), 0u);
    EXPECT_EQ(given.count("X_1.HTM"), 1u);
    EXPECT_EQ(given.count("X_10000.HTM"), 1u);
}

// ---- writeRenameRow

TEST(WriteRenameRowTest, ColumnTwoStartsAtPosition41) {
    LogScope logScope;
    ReportSection* section = currentLog().openSection(res::kSectionSuggestedNames);
    FileNode node("/site/My Page.html");
    node.setNewName("MYPAGE.HTM");
    EXPECT_TRUE(writeRenameRow(section, node, "", ""));
    node.setNewName(std::string(50, 'n'));
    EXPECT_TRUE(writeRenameRow(section, node, "first", "second"));
    EXPECT_TRUE(writeRenameRow(section, node, "", ""));
    const std::string text = logScope.log().sectionText(res::kSectionSuggestedNames);
    EXPECT_NE(text.find("MYPAGE.HTM" + std::string(30, ' ') + "/site/My Page.html\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("first" + std::string(35, ' ') + "second\n"), std::string::npos);
    EXPECT_NE(text.find(std::string(36, 'n') + "    /site/My Page.html\n"), std::string::npos);
}

TEST(WriteRenameRowTest, NothingWithoutANewNameOrASection) {
    LogScope logScope;
    ReportSection* section = currentLog().openSection(res::kSectionSuggestedNames);
    FileNode node("/site/a.htm");
    EXPECT_FALSE(writeRenameRow(section, node, "", ""));
    EXPECT_FALSE(section->hasContent());
    node.setNewName("b.htm");
    EXPECT_FALSE(writeRenameRow(nullptr, node, "", ""));
}

TEST(WriteRenameRowTest, CountsCharactersAndEscapesInvalidBytes) {
    LogScope logScope;
    ReportSection* section = currentLog().openSection(res::kSectionSuggestedNames);
    FileNode node("/site/\xff.htm");
    node.setNewName("\xc3\xa9t\xc3\xa9.htm");  // 7 characters in 9 bytes
    writeRenameRow(section, node, "", "");
    const std::string text = logScope.log().sectionText(res::kSectionSuggestedNames);
    EXPECT_NE(text.find("\xc3\xa9t\xc3\xa9.htm" + std::string(33, ' ') + "/site/\\xFF.htm\n"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace korvel::names
