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

// ---- Keystroke filter

struct FilterCase {
    std::int32_t target;
    std::string text;
    std::size_t selectionStart;
    std::size_t selectionEnd;
    char typed;
    std::optional<char> expected;  // nothing: refused
    std::int32_t caseConversion = kCaseNone;
    std::int32_t maxLength = 255;
};

std::ostream& operator<<(std::ostream& out, const FilterCase& c) {
    return out << "target " << c.target << " \"" << c.text << "\" [" << c.selectionStart << ','
               << c.selectionEnd << ") typed " << static_cast<int>(static_cast<unsigned char>(c.typed));
}

class FilenameFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilenameFilterTest, AcceptsOrRefuses) {
    const FilterCase& c = GetParam();
    const FilenameFilter filter(c.target, c.caseConversion, c.maxLength);
    EXPECT_EQ(filter.filter(c.text, c.selectionStart, c.selectionEnd, c.typed), c.expected);
}

constexpr char kBs = FilenameFilter::kBackspace;
const std::optional<char> kRefused;

INSTANTIATE_TEST_SUITE_P(
    Keystrokes, FilenameFilterTest,
    ::testing::Values(
        // The length budget: a full field takes nothing more unless something is selected or it is backspace.
        FilterCase{kTargetVfat, "abcde", 5, 5, 'x', kRefused, kCaseNone, 5},
        FilterCase{kTargetVfat, "abcde", 5, 5, kBs, kBs, kCaseNone, 5},
        FilterCase{kTargetVfat, "abcde", 0, 2, 'x', 'x', kCaseNone, 5},
        FilterCase{kTargetVfat, "", 0, 0, 'x', kRefused, kCaseNone, 0},  // no room at all
        // The field's case.
        FilterCase{kTargetUnix, "ab", 2, 2, 'c', 'C', kCaseUpper},
        FilterCase{kTargetUnix, "ab", 2, 2, 'Q', 'q', kCaseLower},
        // 8.3: eight before a dot, one dot, three after it.
        FilterCase{kTargetDos, "abcdefgh", 8, 8, 'x', kRefused},
        FilterCase{kTargetDos, "abcdefgh", 8, 8, '.', '.'}, FilterCase{kTargetDos, "abcdefg", 7, 7, 'x', 'x'},
        FilterCase{kTargetDos, "abc.htm", 3, 3, '.', kRefused},
        FilterCase{kTargetDos, "abc.htm", 7, 7, 'x', kRefused},
        FilterCase{kTargetDos, "abc.ht", 6, 6, 'x', 'x'},
        FilterCase{kTargetDos, "abcdefgh.h", 2, 2, 'x', kRefused},
        FilterCase{kTargetDos, "abcdefg.h", 2, 2, 'x', 'x'},
        FilterCase{kTargetDos, "abcdefgh.htm", 9, 9, kBs, kRefused},  // would join 8 and 3
        FilterCase{kTargetDos, "abc.htm", 4, 4, kBs, kBs},
        FilterCase{kTargetIso9660, "abcdefgh.htm", 7, 10, 'x', kRefused},  // the dot goes with the selection
        FilterCase{kTargetIso9660, "abcdefgh.htm", 7, 10, '.', '.'},
        FilterCase{kTargetIso9660, "abc.htm", 2, 5, 'x', 'x'},
        FilterCase{kTargetVfat, "abcdefghijk", 11, 11, 'x', 'x'},  // no 8.3 outside ISO and DOS
        // Characters, per target.
        FilterCase{kTargetIso9660, "a", 1, 1, '\xc3', kRefused},
        FilterCase{kTargetIso9660, "a", 1, 1, '-', kRefused}, FilterCase{kTargetIso9660, "a", 1, 1, '_', '_'},
        FilterCase{kTargetIso9660, "a", 1, 1, '\x16', '\x16'},
        FilterCase{kTargetDos, "a", 1, 1, '+', kRefused}, FilterCase{kTargetDos, "a", 1, 1, ' ', kRefused},
        FilterCase{kTargetVfat, "a", 1, 1, '+', '+'}, FilterCase{kTargetVfat, "a", 1, 1, '?', kRefused},
        FilterCase{kTargetNtfs, "a", 1, 1, '?', '?'}, FilterCase{kTargetMacintosh, "a", 1, 1, ':', kRefused},
        FilterCase{kTargetNone, "a", 1, 1, ':', ':'}, FilterCase{kTargetNone, "a", 1, 1, '/', kRefused},
        FilterCase{kTargetUnix, "a", 1, 1, '\xc3', '\xc3'}));

// ---- Validation of a typed or pasted name

class ValidateTest : public ::testing::Test {
  protected:
    ENode* file(std::string_view name) {
        return top->addChild(std::make_unique<EFileNode>(platform::joinPath(top->path(), name)));
    }
    std::string validate(const ENode& node, std::string_view typed, std::int32_t target = kTargetNone,
                         std::int32_t caseConversion = kCaseNone) {
        message = "stale";
        return validateTypedName(node, target, caseConversion, typed, message);
    }

    std::unique_ptr<EDirNode> top = std::make_unique<EDirNode>("/site");
    std::string message;
};

TEST_F(ValidateTest, EmptyIsRefused) {
    ENode* node = file("a.htm");
    EXPECT_EQ(validate(*node, ""), "");
    EXPECT_EQ(message, "Empty string!  Please enter a new filename!");
}

TEST_F(ValidateTest, AValidUniqueNameIsAcceptedAsTyped) {
    ENode* node = file("a b.htm");
    EXPECT_EQ(validate(*node, "ab.htm", kTargetDos), "ab.htm");
    EXPECT_EQ(message, "");
}

TEST_F(ValidateTest, APastedNameGetsTheTargetsWholeRules) {
    ENode* node = file("a.htm");
    EXPECT_EQ(validate(*node, "My Long Page.html", kTargetDos, kCaseLower), "mylongpa.htm");
    EXPECT_EQ(message, "This dialog will only let you enter valid DOS 8.3 FAT (lowercase) filenames.");
}

TEST_F(ValidateTest, NeverANameTheHostCannotHold) {
    ENode* node = file("a.htm");
    for (const std::string& typed :
         std::vector<std::string>{"/", ".", "..", std::string("a\0b", 3), "../x", "x/"}) {
        const std::string name = validate(*node, typed);
        EXPECT_NE(name, "") << typed;
        EXPECT_NE(name, ".");
        EXPECT_NE(name, "..");
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_EQ(name.find('\0'), std::string::npos);
        EXPECT_NE(name.front(), '.') << name;    // "a.htm" was not hidden
        EXPECT_FALSE(message.empty()) << typed;  // the person sees the name change
    }
}

TEST_F(ValidateTest, ASiblingsNameIsMadeUnique) {
    ENode* node = file("a.htm");
    file("b.htm");
    EXPECT_EQ(validate(*node, "B.HTM"), "B_1.HTM");
    EXPECT_EQ(
        message,
        "The new filename is not unique!\nA unique name is now being substituted in the \"Suggested Change\" "
        "field.");
}

TEST_F(ValidateTest, ACaseTwinsNameIsTakenButTheNodesOwnIsNot) {
    ENode* lower = file("a.htm");
    file("A.htm");
    EXPECT_EQ(validate(*lower, "A.htm"), "A_1.htm");
    EXPECT_EQ(validate(*lower, "a.htm"), "a.htm");
    EXPECT_EQ(message, "");
}

TEST_F(ValidateTest, ASiblingsNewNameIsTakenItsOldOneFree) {
    ENode* node = file("a.htm");
    ENode* other = file("b.htm");
    other->setNewName("c.htm");
    EXPECT_EQ(validate(*node, "c.htm"), "c_1.htm");
    EXPECT_EQ(validate(*node, "b.htm"), "b.htm");
}

TEST_F(ValidateTest, NoRoomIsRefused) {
    top = std::make_unique<EDirNode>("/" + std::string(253, 't'));
    ENode* node = file("a");
    EXPECT_EQ(validate(*node, "b", kTargetDos), "");
    EXPECT_EQ(message, "Directory name was too long to rename (> 255)");
}

TEST_F(ValidateTest, RequestShowsTheNodeAndItsSuggestion) {
    ENode* node = file("My Page.html");
    node->setNewName("MYPAGE.HTM");
    const ui::RenameRequest request = makeRenameRequest(*node, kTargetDos, kCaseUpper);
    EXPECT_EQ(request.conventionLabel, "DOS 8.3 FAT (uppercase)");
    EXPECT_EQ(request.directory, "/site");
    EXPECT_EQ(request.originalName, "My Page.html");
    EXPECT_EQ(request.suggestedName, "MYPAGE.HTM");
    std::string why;
    EXPECT_EQ(request.validate("my page.htm", why), "MYPAGE.HTM");
    EXPECT_FALSE(why.empty());
    // A dialog's keystroke filter made from the request forces the case and keeps to the target's form.
    const FilenameFilter filter(request.target, request.caseConversion, request.maxLength);
    EXPECT_EQ(filter.filter("MYPAGE", 6, 6, 'x'), 'X');
    EXPECT_EQ(filter.filter("MYPAGE.HTM", 10, 10, 'l'), std::nullopt);
    // Deep down, the path budget leaves less room than the target's own limit.
    top = std::make_unique<EDirNode>("/" + std::string(240, 't'));  // "/tt…t/" takes 242 bytes
    EXPECT_EQ(makeRenameRequest(*file("a"), kTargetUnix, kCaseNone).maxLength, 255 - 242);
}

// ---- The pass's prompt and its answers

// Scripted answers; each request's validation is also tried while the prompt is open, as a dialog would.
class ValidatingPrompts : public testing::ScriptedPrompts {
  public:
    ui::RenameReply renameFile(const ui::RenameRequest& request) override {
        if (!typed.empty()) {
            std::string message;
            validated.push_back(request.validate(typed, message));
            messages.push_back(message);
        }
        return ScriptedPrompts::renameFile(request);
    }
    std::string typed;
    std::vector<std::string> validated;
    std::vector<std::string> messages;
};

class PromptPassTest : public ::testing::Test {
  protected:
    PromptPassTest() {
        settings.Target = kTargetVfat;
        settings.AutoFileName = false;
    }
    ENode* file(std::string_view name) {
        return top->addChild(std::make_unique<EFileNode>(platform::joinPath(top->path(), name)));
    }
    std::int32_t run() { return convertNames(*top, settings, 0, &quiet); }

    LogScope logScope;
    ValidatingPrompts prompts;
    ui::PromptsScope promptsScope{prompts};
    GUIProgress quiet;
    JobSettings settings;
    std::unique_ptr<EDirNode> top = std::make_unique<EDirNode>("/site");
};

TEST_F(PromptPassTest, AcceptKeepsTheSuggestion) {
    ENode* node = file("what?.htm");
    prompts.expectRename(RenameAnswer::Accept);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(node->getNewName(), "what.htm");
    ASSERT_EQ(prompts.renameRequests().size(), 1u);
    EXPECT_EQ(prompts.renameRequests()[0].originalName, "what?.htm");
    EXPECT_EQ(prompts.renameRequests()[0].suggestedName, "what.htm");
    EXPECT_EQ(prompts.renameRequests()[0].conventionLabel, "Windows 95 VFAT (no case change)");
    EXPECT_FALSE(settings.AutoFileName);
}

TEST_F(PromptPassTest, AnEditedNameIsCheckedAgainstTheSiblingsTheWholePassKnows) {
    ENode* node = file("a?.htm");
    ENode* later = file("b?.htm");  // not visited yet: its current name is still taken
    file("c.htm");
    prompts.typed = "c.htm";
    prompts.expectRename(RenameAnswer::Accept, "c_1.htm").expectRename(RenameAnswer::Accept);
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(prompts.validated, (std::vector<std::string>{"c_1.htm", "c_2.htm"}));
    EXPECT_EQ(node->getNewName(), "c_1.htm");
    EXPECT_EQ(later->getNewName(), "b.htm");
}

TEST_F(PromptPassTest, AReplyThatBreaksTheRulesIsNotTakenAsItIs) {
    ENode* node = file("a?.htm");
    file("b.htm");
    // A dialog that hands back an unchecked name: it still gets the target's rules and uniqueness.
    prompts.expectRename(RenameAnswer::Accept, "b*.htm");
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(node->getNewName(), "b_1.htm");
}

TEST_F(PromptPassTest, AcceptingTheCurrentNameLeavesTheNodeAlone) {
    ENode* node = file("a.htm");
    settings.Target = kTargetNone;
    settings.FilenameExtensions = {{"htm", "html"}};  // suggests "a.html"
    prompts.expectRename(RenameAnswer::Accept, "a.htm");
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(node->hasNewName());
}

TEST_F(PromptPassTest, AcceptAllStopsAskingForTheRestOfTheJob) {
    ENode* first = file("a?.htm");
    ENode* second = file("b?.htm");
    prompts.expectRename(RenameAnswer::AcceptAll);
    EXPECT_EQ(run(), 2);
    EXPECT_TRUE(settings.AutoFileName);
    EXPECT_EQ(first->getNewName(), "a.htm");
    EXPECT_EQ(second->getNewName(), "b.htm");
    EXPECT_EQ(run(), 2);  // the job's flag stays set: no prompt in a later pass either
}

TEST_F(PromptPassTest, NoRenameListsTheFileAndClearsItsName) {
    ENode* first = file("a?.htm");
    ENode* second = file("b?.htm");
    prompts.expectRename(RenameAnswer::NoRename).expectRename(RenameAnswer::Accept);
    {
        names::EConvertNames pass(settings.Target, settings.CaseConv, &settings.AutoFileName,
                                  &settings.FilenameExtensions);
        TTraverse<TIterPreOrderTyped<ENode*>> traverse(top.get(), pass);
        EXPECT_EQ(traverse.run("Validating Filenames", 0, &quiet), 1);
        EXPECT_TRUE(pass.notRenamedInUse());
    }
    EXPECT_FALSE(first->hasNewName());
    EXPECT_EQ(second->getNewName(), "b.htm");
    const std::string text = logScope.log().sectionText(res::kSectionNotRenamed);
    EXPECT_NE(text.find("THESE FILES NEEDED RENAMING BUT WERE NOT RENAMED BY USER REQUEST:"),
              std::string::npos);
    EXPECT_NE(text.find("a.htm" + std::string(35, ' ') + "/site/a?.htm\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("b.htm"), std::string::npos);
}

TEST_F(PromptPassTest, CancelStopsThePassAtThatNode) {
    ENode* first = file("a?.htm");
    ENode* second = file("b?.htm");
    prompts.expectRename(RenameAnswer::Cancel);
    EXPECT_EQ(run(), -1);
    EXPECT_FALSE(first->hasNewName());
    EXPECT_FALSE(second->hasNewName());
}

TEST_F(PromptPassTest, NobodyToAskLeavesTheSuggestionsForTheJobToVerify) {
    ENode* node = file("a?.htm");
    ui::SilentPrompts silent;  // declines every question
    ui::PromptsScope scope(silent);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(node->getNewName(), "a.htm");
    EXPECT_EQ(logScope.log().sectionText(res::kSectionNotRenamed), "");
}

}  // namespace
}  // namespace korvel::names
