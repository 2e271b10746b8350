#include "names/rename_prompt.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "names/convert_names.h"
#include "platform/paths.h"
#include "report/app_log.h"
#include "res/strings.h"
#include "settings/job_settings.h"
#include "site/node.h"
#include "site/traverse.h"
#include "support/scripted_prompts.h"

namespace korvel::names {
namespace {

using ui::RenameAnswer;

struct KeyCase {
    std::int32_t target;
    std::string_view text;
    std::size_t from, to;
    char typed;
    std::optional<char> expected;  // nothing: refused
    std::int32_t caseConversion = kCaseNone;
    std::int32_t maxLength = 255;
};

TEST(FilenameFilterTest, AcceptsOrRefusesEachKeystroke) {
    constexpr char kBs = FilenameFilter::kBackspace;
    const std::optional<char> no;
    const std::vector<KeyCase> cases{
        // A full field takes nothing more unless something is selected or it is backspace. 8.3 (ISO and DOS
        // only): eight before a dot, one dot, three after it; a backspace that would join 8 and 3 is refused,
        // and
        // a dot inside the selection goes with it. Then the target's characters.
        KeyCase{kTargetVfat, "abcde", 5, 5, 'x', no, kCaseNone, 5},
        KeyCase{kTargetVfat, "abcde", 5, 5, kBs, kBs, kCaseNone, 5},
        KeyCase{kTargetVfat, "abcde", 2, 0, 'x', 'x', kCaseNone, 5},
        KeyCase{kTargetUnix, "ab", 2, 2, 'c', 'C', kCaseUpper},
        KeyCase{kTargetUnix, "ab", 2, 2, 'Q', 'q', kCaseLower},
        KeyCase{kTargetDos, "abcdefgh", 8, 8, 'x', no},
        KeyCase{kTargetDos, "abcdefgh", 8, 8, '.', '.'},
        KeyCase{kTargetDos, "abc.htm", 3, 3, '.', no},
        KeyCase{kTargetDos, "abc.htm", 7, 7, 'x', no},
        KeyCase{kTargetDos, "abcdefgh.h", 2, 2, 'x', no},
        KeyCase{kTargetDos, "abcdefgh.htm", 9, 9, kBs, no},
        KeyCase{kTargetDos, "abc.htm", 4, 4, kBs, kBs},
        KeyCase{kTargetIso9660, "abcdefgh.htm", 7, 10, 'x', no},
        KeyCase{kTargetIso9660, "abcdefgh.htm", 7, 10, '.', '.'},
        KeyCase{kTargetIso9660, "abc.htm", 2, 5, 'x', 'x'},
        KeyCase{kTargetVfat, "abcdefghijk", 11, 11, 'x', 'x'},
        KeyCase{kTargetIso9660, "a", 1, 1, '\xc3', no},
        KeyCase{kTargetIso9660, "a", 1, 1, '_', '_'},
        KeyCase{kTargetIso9660, "a", 1, 1, '\x16', '\x16'},
        KeyCase{kTargetDos, "a", 1, 1, '+', no},
        KeyCase{kTargetNone, "a", 1, 1, ':', ':'},
        KeyCase{kTargetNone, "a", 1, 1, '/', no}};
    for (const KeyCase& c : cases)
        EXPECT_EQ(
            FilenameFilter(c.target, c.caseConversion, c.maxLength).filter(c.text, c.from, c.to, c.typed),
            c.expected)
            << "target " << c.target << " \"" << c.text << "\" [" << c.from << ',' << c.to << ") typed "
            << int(c.typed);
}

// Scripted answers; each request's validation is also tried while the prompt is open, as a dialog would.
class ValidatingPrompts : public testing::ScriptedPrompts {
  public:
    ui::RenameReply renameFile(const ui::RenameRequest& request) override {
        std::string message;
        if (!typed.empty()) validated.push_back(request.validate(typed, message));
        return ScriptedPrompts::renameFile(request);
    }
    std::string typed;
    std::vector<std::string> validated;
};

class RenamePromptTest : public ::testing::Test {
  protected:
    RenamePromptTest() {
        settings.Target = kTargetVfat;
        settings.AutoFileName = false;
    }
    Node* file(std::string_view name) {
        return top->addChild(std::make_unique<FileNode>(platform::joinPath(top->path(), name)));
    }
    std::string validate(const Node& node, std::string_view typed, std::int32_t target = kTargetNone,
                         std::int32_t caseConversion = kCaseNone) {
        message = "stale";
        return validateTypedName(node, target, caseConversion, typed, message);
    }
    std::int32_t run() { return convertNames(*top, settings, 0, &quiet); }

    LogScope logScope;
    ValidatingPrompts prompts;
    ui::PromptsScope promptsScope{prompts};
    GUIProgress quiet;
    JobSettings settings;
    std::unique_ptr<DirNode> top = std::make_unique<DirNode>("/site");
    std::string message;
};

TEST_F(RenamePromptTest, AcceptsRefusesOrSubstitutes) {
    Node* node = file("a.htm");
    file("A.htm");                       // a case twin
    file("b.htm")->setNewName("c.htm");  // its new name is taken, its old one free
    const std::string heading =
        "This dialog will only let you enter valid DOS 8.3 FAT (lowercase) filenames.";
    const std::string notUnique =
        "The new filename is not unique!\nA unique name is now being substituted in the \"Suggested Change\" "
        "field.";
    const struct {
        std::string_view typed;
        std::int32_t target, caseConversion;
        std::string_view name, message;
    } cases[] = {
        {"", kTargetNone, kCaseNone, "", "Empty string!  Please enter a new filename!"},
        {"ab.htm", kTargetDos, kCaseNone, "ab.htm", ""},
        {"My Long Page.html", kTargetDos, kCaseLower, "mylongpa.htm", heading},  // pasted: the whole rules
        {"A.htm", kTargetNone, kCaseNone, "A_1.htm", notUnique},
        {"a.htm", kTargetNone, kCaseNone, "a.htm", ""},  // the node's own name
        {"c.htm", kTargetNone, kCaseNone, "c_1.htm", notUnique},
        {"b.htm", kTargetNone, kCaseNone, "b.htm", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(validate(*node, c.typed, c.target, c.caseConversion), c.name) << c.typed;
        EXPECT_EQ(message, c.message) << c.typed;
    }
    // Never a name the host cannot hold, and the person sees the name change.
    for (const std::string& typed :
         std::vector<std::string>{"/", ".", "..", "../x", "x/", std::string("a\0b", 3)}) {
        const std::string name = validate(*node, typed);
        EXPECT_TRUE(name != ".." && !name.empty() && name.front() != '.') << typed;
        EXPECT_EQ(name.find_first_of(std::string("/\0", 2)), std::string::npos) << name;
        EXPECT_FALSE(message.empty()) << typed;
    }
}

TEST_F(RenamePromptTest, NoRoomIsRefused) {
    top = std::make_unique<DirNode>("/" + std::string(253, 't'));
    EXPECT_EQ(validate(*file("a"), "b", kTargetDos), "");
    EXPECT_EQ(message, "Directory name was too long to rename (> 255)");
}

TEST_F(RenamePromptTest, TheRequestCarriesWhatADialogFiltersKeystrokesWith) {
    const ui::RenameRequest request = makeRenameRequest(*file("my page.htm"), kTargetDos, kCaseUpper);
    const FilenameFilter filter(request.target, request.caseConversion, request.maxLength);
    EXPECT_EQ(filter.filter("MYPAGE", 6, 6, 'x'), 'X');
    EXPECT_EQ(filter.filter("MYPAGE.HTM", 10, 10, 'l'), std::nullopt);
    // Deep down, the path budget leaves less room than the target's own limit.
    top = std::make_unique<DirNode>("/" + std::string(240, 't'));  // "/tt…t/" takes 242 bytes
    EXPECT_EQ(makeRenameRequest(*file("a"), kTargetUnix, kCaseNone).maxLength, 255 - 242);
}

TEST_F(RenamePromptTest, AcceptNoRenameAndCancel) {
    Node* accepted = file("a?.htm");
    Node* kept = file("b?.htm");
    Node* cancelled = file("c?.htm");
    prompts.expectRename(RenameAnswer::Accept)
        .expectRename(RenameAnswer::NoRename)
        .expectRename(RenameAnswer::Cancel);
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(accepted->getNewName(), "a.htm");
    EXPECT_FALSE(kept->hasNewName());
    EXPECT_FALSE(cancelled->hasNewName());
    ASSERT_EQ(prompts.renameRequests().size(), 3u);
    EXPECT_EQ(prompts.renameRequests()[0].originalName, "a?.htm");
    EXPECT_EQ(prompts.renameRequests()[0].suggestedName, "a.htm");
    EXPECT_EQ(prompts.renameRequests()[0].conventionLabel, "Windows 95 VFAT (no case change)");
    EXPECT_EQ(prompts.renameRequests()[0].directory, "/site");
    const std::string text = logScope.log().sectionText(res::kSectionNotRenamed);
    EXPECT_NE(text.find("THESE FILES NEEDED RENAMING BUT WERE NOT RENAMED BY USER REQUEST:"),
              std::string::npos);
    EXPECT_NE(text.find("b.htm" + std::string(35, ' ') + "/site/b?.htm\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("a.htm"), std::string::npos);
}

TEST_F(RenamePromptTest, AnEditedOrUncheckedReplyGetsTheRulesAndTheWholePassesSiblings) {
    Node* edited = file("a?.htm");
    Node* unchecked = file("b?.htm");  // not visited yet when "a?.htm" is: its current name is still taken
    file("c.htm");
    prompts.typed = "c.htm";
    // A dialog that hands back an unchecked name: it still gets the target's rules and uniqueness.
    prompts.expectRename(RenameAnswer::Accept, "c_1.htm").expectRename(RenameAnswer::Accept, "b*.htm");
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(prompts.validated, (std::vector<std::string>{"c_1.htm", "c_2.htm"}));
    EXPECT_EQ(edited->getNewName(), "c_1.htm");
    EXPECT_EQ(unchecked->getNewName(), "b.htm");
}

TEST_F(RenamePromptTest, AcceptingTheCurrentNameLeavesTheNodeAlone) {
    Node* node = file("a.htm");
    settings.Target = kTargetNone;
    settings.FilenameExtensions = {{"htm", "html"}};  // suggests "a.html"
    prompts.expectRename(RenameAnswer::Accept, "a.htm");
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(node->hasNewName());
}

TEST_F(RenamePromptTest, AcceptAllStopsAskingForTheRestOfTheJob) {
    Node* first = file("a?.htm");
    Node* second = file("b?.htm");
    prompts.expectRename(RenameAnswer::AcceptAll);
    EXPECT_EQ(run(), 2);
    EXPECT_TRUE(settings.AutoFileName);
    EXPECT_EQ(first->getNewName(), "a.htm");
    EXPECT_EQ(second->getNewName(), "b.htm");
    EXPECT_EQ(run(), 2);  // the job's flag stays set: no prompt in a later pass either
}

TEST_F(RenamePromptTest, NobodyToAskLeavesTheSuggestionsForTheJobToVerify) {
    Node* node = file("a?.htm");
    ui::SilentPrompts silent;  // declines every question
    ui::PromptsScope scope(silent);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(node->getNewName(), "a.htm");
    EXPECT_EQ(logScope.log().sectionText(res::kSectionNotRenamed), "");
}

}  // namespace
}  // namespace korvel::names
