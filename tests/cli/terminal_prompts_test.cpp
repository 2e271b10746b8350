#include "cli/terminal_prompts.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

namespace korvel::cli {
namespace {

struct Terminal {
    explicit Terminal(std::string input, bool ask = true, bool yes = false)
        : in(std::move(input)), prompts(in, out, progress, ask, false, yes) {}
    std::istringstream in;
    std::ostringstream out, progress;
    TerminalPrompts prompts;
};

ui::VerifyFilesRequest fiveFiles() {
    ui::VerifyFilesRequest r;
    r.captionId = 2535;
    r.explanationId = 2536;
    r.files = {"a", "b", "c", "d", "e"};
    return r;
}

// Rows and ranges uncheck files; what is out of range changes nothing; cancel or the end of input declines.
TEST(TerminalPrompts, VerifyFiles) {
    using Keep = std::optional<std::vector<bool>>;
    const std::pair<const char*, Keep> cases[] = {
        {"2 4-5\n\n", std::vector<bool>{true, false, true, false, false}},
        {"9\n3-1\n0\n\n", std::vector<bool>(5, true)},
        {"cancel\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [input, expected] : cases) {
        Terminal t(input);
        EXPECT_EQ(t.prompts.verifyFiles(fiveFiles()), expected) << input;
        EXPECT_NE(t.out.str().find("Verify ASCII Line End Conversions"), std::string::npos);
    }
    Terminal t("9\n\n");
    t.prompts.verifyFiles(fiveFiles());
    EXPECT_NE(t.out.str().find("Not understood: 9"), std::string::npos);
}

TEST(TerminalPrompts, WithoutAPersonTheOptionsDecide) {
    Terminal declining("", /*ask=*/false, /*yes=*/false);
    EXPECT_FALSE(declining.prompts.verifyFiles(fiveFiles()));
    EXPECT_EQ(declining.prompts.readOnlyFile("/x"), ui::ReadOnlyAnswer::No);
    EXPECT_EQ(declining.prompts.messageBox("go?", ui::Buttons::OkCancel), ui::Answer::Cancel);
    Terminal yes("", /*ask=*/false, /*yes=*/true);
    EXPECT_EQ(yes.prompts.verifyFiles(fiveFiles())->size(), 5u);
    EXPECT_EQ(yes.prompts.readOnlyFile("/x"), ui::ReadOnlyAnswer::Yes);
    EXPECT_EQ(yes.prompts.linkErrors("broken"), ui::LinkErrorsAnswer::Continue);
}

TEST(TerminalPrompts, ReadOnlyAnswers) {
    const std::pair<const char*, ui::ReadOnlyAnswer> cases[] = {
        {"yes\n", ui::ReadOnlyAnswer::Yes}, {"all\n", ui::ReadOnlyAnswer::YesToAll},
        {"no\n", ui::ReadOnlyAnswer::No},   {"maybe\nnone\n", ui::ReadOnlyAnswer::NoToAll},
        {"", ui::ReadOnlyAnswer::No},
    };
    for (const auto& [input, expected] : cases) {
        Terminal t(input);
        EXPECT_EQ(t.prompts.readOnlyFile("/site/a.htm"), expected) << input;
    }
}

TEST(TerminalPrompts, EditedNamesGoThroughTheValidator) {
    // The validator substitutes a unique name for "taken.htm".
    ui::RenameRequest rename{"DOS 8.3 FAT (lowercase)", "/site", "Long Name.htm", "longname.htm",
                             [](std::string_view typed, std::string& message) -> std::string {
                                 if (typed != "taken.htm") return std::string(typed);
                                 message = "The new filename is not unique!";
                                 return "taken_1.htm";
                             }};
    Terminal t("edit\ntaken.htm\n\naccept\n");
    const auto reply = t.prompts.renameFile(rename);
    EXPECT_EQ(reply.answer, ui::RenameAnswer::Accept);
    EXPECT_EQ(reply.name, "taken_1.htm");
    EXPECT_NE(t.out.str().find("valid DOS 8.3 FAT (lowercase) filenames"), std::string::npos);

    // In the list, one row is edited and another unchecked.
    ui::VerifyNamesRequest names;
    names.changes = {{"/s", "A B.htm", "a_b.htm"}, {"/s", "C D.htm", "c_d.htm"}};
    std::vector<std::size_t> validatedRows;
    names.validate = [&](std::size_t row, std::string_view typed, std::string&) {
        validatedRows.push_back(row);
        return std::string(typed);
    };
    Terminal list("edit 2\ncd.htm\n1\n\n");
    const auto listed = list.prompts.verifyFilenames(names);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->keep, (std::vector<bool>{false, true}));
    EXPECT_EQ(listed->suggestedNames, (std::vector<std::string>{"a_b.htm", "cd.htm"}));
    EXPECT_EQ(validatedRows, std::vector<std::size_t>{1});
}

}  // namespace
}  // namespace korvel::cli
