#pragma once
// The prompts of the command line: questions on the terminal when a person is there, a progress line on
// standard error while a terminal watches, and otherwise the answers the options gave or the safe default.
#include <atomic>
#include <iosfwd>

#include "ui/prompts.h"

namespace korvel::cli {

class TerminalPrompts : public ui::Prompts {
  public:
    // "ask": questions are put to "in"/"out" (a person is at the terminal). "showProgress": a progress line
    // goes to "progress". "assumeYes": without a person, every question is answered yes (--yes).
    TerminalPrompts(std::istream& in, std::ostream& out, std::ostream& progress, bool ask, bool showProgress,
                    bool assumeYes);
    // Asks on the process's own terminal when standard input is one, unless "assumeYes"; progress when
    // standard error is one.
    static TerminalPrompts forProcess(bool assumeYes);

    bool interactive() const override { return ask_; }
    ui::Answer messageBox(std::string_view text, ui::Buttons buttons) override;
    bool getInputSettings(ui::SettingsMode mode, JobSettings& settings) override;
    std::optional<std::vector<bool>> verifyFiles(const ui::VerifyFilesRequest& request) override;
    std::optional<ui::VerifyNamesReply> verifyFilenames(const ui::VerifyNamesRequest& request) override;
    ui::RenameReply renameFile(const ui::RenameRequest& request) override;
    ui::ReadOnlyAnswer readOnlyFile(std::string_view path) override;
    ui::LinkErrorsAnswer linkErrors(std::string_view text) override;
    std::unique_ptr<ui::Progress> makeProgress() override;

  private:
    // Asks "question" until one of "choices" (single words) is typed; returns its index, or -1 at the end
    // of the input.
    int choose(std::string_view question, std::initializer_list<std::string_view> choices);
    bool readLine(std::string& line);
    // Unchecks the rows named in "line" ("3", "2-5", "1 4 7"); false when it cannot be read.
    static bool uncheck(std::string_view line, std::vector<bool>& keep);
    // Asks for a new name for a row until the validator accepts one; "" when the person gave up.
    std::string askName(const ui::NameValidator& validate, std::string_view shown);

    std::istream& in_;
    std::ostream& out_;
    std::ostream& progress_;
    bool ask_;
    bool showProgress_;
    ui::SilentPrompts silent_;
};

// Ctrl-C while a pass runs asks it to stop (the job still reports what it did); a second one ends the
// process at once.
void installInterruptHandler();
bool interruptRequested();

}  // namespace korvel::cli
