#include "ui/prompts.h"

#include <gtest/gtest.h>

namespace korvel::ui {
namespace {

// With nobody to ask and no --yes, every answer must be the one that leaves the files alone.
TEST(SilentPrompts, DefaultChangesNothing) {
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

}  // namespace
}  // namespace korvel::ui
