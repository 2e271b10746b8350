#pragma once
// A prompts double for tests: it expects a given sequence of calls, answers each as scripted, and fails
// the test on any call it was not told to expect (or when an expected call never came).
#include <deque>
#include <functional>
#include <string>
#include <variant>

#include "ui/prompts.h"

namespace korvel::testing {

class ScriptedPrompts : public ui::Prompts {
  public:
    ~ScriptedPrompts() override;  // fails the test when expected calls are left over

    // Each expectation is consumed by the next call of its kind, in order across all kinds.
    // "textContains" must occur in the message text (empty: any text).
    ScriptedPrompts& expectMessageBox(ui::Answer answer, std::string textContains = {});
    ScriptedPrompts& expectSettingsInput(bool confirm, std::function<void(JobSettings&)> edit = {});
    ScriptedPrompts& expectVerifyFiles(std::optional<std::vector<bool>> keep);
    ScriptedPrompts& expectVerifyFilenames(std::optional<ui::VerifyNamesReply> reply);
    ScriptedPrompts& expectRename(ui::RenameAnswer answer, std::string name = {});
    ScriptedPrompts& expectReadOnly(ui::ReadOnlyAnswer answer);
    ScriptedPrompts& expectLinkErrors(ui::LinkErrorsAnswer answer);

    // Progress is allowed at any time; the Nth call of setDirectory (counting from 1 over the whole test)
    // reports a cancel when cancelAtDirectory is N.
    void cancelAtDirectory(int n) { cancelAt_ = n; }
    // The pass of that title reports a cancel at its first setDirectory.
    void cancelPass(std::string title) { cancelTitle_ = std::move(title); }
    // The pass of that title runs out of memory (std::bad_alloc) at its first setDirectory.
    void failPass(std::string title) { failTitle_ = std::move(title); }
    const std::vector<std::string>& progressTitles() const { return titles_; }

    // What the calls were given, in order, for assertions.
    const std::vector<std::string>& messages() const { return messages_; }
    const std::vector<ui::RenameRequest>& renameRequests() const { return renames_; }
    const std::vector<ui::VerifyFilesRequest>& verifyFilesRequests() const { return verifyFiles_; }

    bool interactive() const override { return true; }
    ui::Answer messageBox(std::string_view text, ui::Buttons buttons) override;
    bool getInputSettings(ui::SettingsMode mode, JobSettings& settings) override;
    std::optional<std::vector<bool>> verifyFiles(const ui::VerifyFilesRequest& request) override;
    std::optional<ui::VerifyNamesReply> verifyFilenames(const ui::VerifyNamesRequest& request) override;
    ui::RenameReply renameFile(const ui::RenameRequest& request) override;
    ui::ReadOnlyAnswer readOnlyFile(std::string_view path) override;
    ui::LinkErrorsAnswer linkErrors(std::string_view text) override;
    std::unique_ptr<ui::Progress> makeProgress() override;

  private:
    struct MessageBox {
        ui::Answer answer;
        std::string textContains;
    };
    struct SettingsInput {
        bool confirm;
        std::function<void(JobSettings&)> edit;
    };
    struct VerifyFiles {
        std::optional<std::vector<bool>> keep;
    };
    struct VerifyFilenames {
        std::optional<ui::VerifyNamesReply> reply;
    };
    struct Rename {
        ui::RenameAnswer answer;
        std::string name;
    };
    struct ReadOnly {
        ui::ReadOnlyAnswer answer;
    };
    struct LinkErrors {
        ui::LinkErrorsAnswer answer;
    };
    using Call =
        std::variant<MessageBox, SettingsInput, VerifyFiles, VerifyFilenames, Rename, ReadOnly, LinkErrors>;

    template <typename T>
    T* next(const char* what);

    std::deque<Call> script_;
    Call current_;  // the call being answered, kept so that the answer outlives next()
    std::vector<std::string> messages_;
    std::vector<ui::RenameRequest> renames_;
    std::vector<ui::VerifyFilesRequest> verifyFiles_;
    std::vector<std::string> titles_;
    int cancelAt_ = 0;
    std::string cancelTitle_;
    std::string failTitle_;
    int directoryCalls_ = 0;
    friend class ScriptedProgress;
};

}  // namespace korvel::testing
