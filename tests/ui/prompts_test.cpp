#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "settings/job_settings.h"
#include "support/scripted_prompts.h"
#include "ui/prompts.h"

namespace korvel::ui {
namespace {

TEST(PromptsScope, InstallsForItsLifetimeAndRestoresThePrevious) {
    SilentPrompts outer(true), inner(false);
    Prompts* before = &prompts();
    {
        PromptsScope a(outer);
        EXPECT_EQ(&prompts(), &outer);
        {
            PromptsScope b(inner);
            EXPECT_EQ(&prompts(), &inner);
        }
        EXPECT_EQ(&prompts(), &outer);
    }
    EXPECT_EQ(&prompts(), before);
}

TEST(SilentPrompts, DefaultChangesNothing) {
    // With nobody to ask and no --yes, every answer must be the one that leaves the files alone.
    auto& p = prompts();
    EXPECT_FALSE(p.interactive());
    EXPECT_EQ(p.renameFile({"UNIX", "/s", "a b", "a_b", {}}).answer, RenameAnswer::NoRename);
    EXPECT_EQ(p.readOnlyFile("/s/a"), ReadOnlyAnswer::No);
    EXPECT_EQ(p.linkErrors("x"), LinkErrorsAnswer::ImmediateReport);
    EXPECT_FALSE(p.verifyFiles({0, 0, "/s", {"a"}, ""}));
    EXPECT_FALSE(p.verifyFilenames({{{"/s", "A", "a"}}, {}, ""}));
    EXPECT_EQ(p.messageBox("sure?", Buttons::YesNoCancel), Answer::Cancel);
    EXPECT_FALSE(p.makeProgress()->setDirectory("/s"));
}

TEST(SilentPrompts, AssumeYesAcceptsEverySuggestion) {
    SilentPrompts yes(true);
    EXPECT_EQ(yes.renameFile({"UNIX", "/s", "a b", "a_b", {}}).name, "a_b");
    const auto names = yes.verifyFilenames({{{"/s", "A", "a"}, {"/s", "B", "b"}}, {}, ""});
    ASSERT_TRUE(names);
    EXPECT_EQ(names->keep, (std::vector<bool>{true, true}));
    EXPECT_EQ(names->suggestedNames, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(yes.messageBox("sure?", Buttons::OkCancel), Answer::Ok);
}

TEST(ScriptedPrompts, AnswersInOrderAndRecordsWhatItWasShown) {
    testing::ScriptedPrompts script;
    script.expectReadOnly(ReadOnlyAnswer::YesToAll).expectMessageBox(Answer::Ok, "undo");
    PromptsScope scope(script);
    EXPECT_EQ(prompts().readOnlyFile("/s/a.htm"), ReadOnlyAnswer::YesToAll);
    EXPECT_EQ(prompts().messageBox("nothing to undo", Buttons::Ok), Answer::Ok);
    EXPECT_EQ(script.messages(), (std::vector<std::string>{"/s/a.htm", "nothing to undo"}));
}

TEST(ScriptedPrompts, FailsOnAnUnexpectedCall) {
    EXPECT_NONFATAL_FAILURE(
        {
            testing::ScriptedPrompts script;
            script.linkErrors("broken");
        },
        "unexpected prompt: linkErrors");
}

TEST(ScriptedPrompts, FailsOnACallOfAnotherKindThanScripted) {
    EXPECT_NONFATAL_FAILURE(
        {
            testing::ScriptedPrompts script;
            script.expectLinkErrors(LinkErrorsAnswer::Continue);
            script.readOnlyFile("/a");
            script.linkErrors("x");
        },
        "expected linkErrors");
}

TEST(ScriptedPrompts, FailsWhenAnExpectedCallNeverCame) {
    EXPECT_NONFATAL_FAILURE(
        {
            testing::ScriptedPrompts script;
            script.expectRename(RenameAnswer::Accept);
        },
        "expected prompt never came: renameFile");
}

TEST(ScriptedPrompts, CancelsAtTheChosenDirectory) {
    testing::ScriptedPrompts script;
    script.cancelAtDirectory(3);
    auto progress = script.makeProgress();
    progress->begin("Renaming Files", 10);
    EXPECT_FALSE(progress->setDirectory("/a"));
    EXPECT_FALSE(progress->setDirectory("/b"));
    EXPECT_TRUE(progress->setDirectory("/c"));
    EXPECT_EQ(script.progressTitles(), std::vector<std::string>{"Renaming Files"});
}

TEST(ScriptedPrompts, CancelsOnlyThePassOfTheChosenTitle) {
    testing::ScriptedPrompts script;
    script.cancelPass("Renaming Files");
    auto progress = script.makeProgress();
    progress->begin("Looking for Files", 10);
    EXPECT_FALSE(progress->setDirectory("/a"));
    progress->begin("Renaming Files", 10);
    EXPECT_TRUE(progress->setDirectory("/a"));
}

TEST(ScriptedPrompts, SettingsInputCanEditAndCancel) {
    testing::ScriptedPrompts script;
    script.expectSettingsInput(true, [](JobSettings& s) { s.Target = kTargetDos; })
        .expectSettingsInput(false);
    JobSettings s;
    EXPECT_TRUE(script.getInputSettings(SettingsMode::Fix, s));
    EXPECT_EQ(s.Target, kTargetDos);
    EXPECT_FALSE(script.getInputSettings(SettingsMode::Check, s));
}

}  // namespace
}  // namespace korvel::ui
