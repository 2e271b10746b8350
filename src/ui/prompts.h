#pragma once
// The one way the engine asks a person for anything. The engine calls prompts() and never waits on a
// terminal or a window directly; the command line, the desktop program and the tests each install their own
// implementation for one job with a PromptsScope.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {
struct JobSettings;
}

namespace korvel::ui {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

// The settings input is shown before a check (mode 0) or a fix (mode 1); before an orphans job it is the
// orphans form (top directory, home page, server, move or trash, and where to move to).
enum class SettingsMode { Check = 0, Fix = 1, Orphans = 2 };

enum class RenameAnswer { Accept, AcceptAll, NoRename, Cancel };
enum class ReadOnlyAnswer { Yes, YesToAll, No, NoToAll };
enum class LinkErrorsAnswer { ImmediateReport, Continue };

// Checks a name typed into the rename prompt. Returns the name to use (the typed one, or a unique
// substitute); an empty result with "message" set refuses the name and the message is shown.
using NameValidator = std::function<std::string(std::string_view typed, std::string& message)>;

struct RenameRequest {
    std::string conventionLabel;  // shown in "This dialog will only let you enter valid %1 filenames."
    std::string directory;
    std::string originalName;
    std::string suggestedName;
    NameValidator validate;
    // What a dialog needs to filter keystrokes and force the field's case as the person types; a terminal
    // only checks the finished name with "validate".
    std::int32_t target = 0;          // TargetConvention
    std::int32_t caseConversion = 0;  // CaseConversion
    std::int32_t maxLength = 0;       // the longest name that fits here (0 or less: none does)
};

struct RenameReply {
    RenameAnswer answer = RenameAnswer::Cancel;
    std::string name;  // the accepted name (Accept and Accept All)
};

// A list of files the person may uncheck before a pass processes them.
struct VerifyFilesRequest {
    int captionId = 0;  // string ids of the caption and the explanation
    int explanationId = 0;
    std::string directory;  // shown after "Src Dir:"
    std::vector<std::string> files;
    std::string note;  // shown below the explanation when not empty (where the files will go, say)
};

// One row of the suggested-names list.
struct NameChange {
    std::string directory;
    std::string originalName;
    std::string suggestedName;
};

struct VerifyNamesRequest {
    std::vector<NameChange> changes;
    // Validates an edit of row "index" (the rename prompt opened from the list).
    std::function<std::string(std::size_t index, std::string_view typed, std::string& message)> validate;
    std::string conventionLabel;
};

struct VerifyNamesReply {
    std::vector<bool> keep;                   // one per row; false: the person unchecked it
    std::vector<std::string> suggestedNames;  // one per row, as possibly edited
};

// Shows what a pass is doing and lets the person cancel it.
class Progress {
  public:
    virtual ~Progress() = default;
    virtual void begin(std::string_view title, std::int64_t total) = 0;
    virtual void end() = 0;
    // Shows the directory and reports whether the person asked to cancel.
    virtual bool setDirectory(std::string_view path) = 0;
    // Shows the file and steps the count by one.
    virtual void setFile(std::string_view path) = 0;
};

// A progress that shows nothing and never cancels.
class SilentProgress : public Progress {
  public:
    void begin(std::string_view, std::int64_t) override {}
    void end() override {}
    bool setDirectory(std::string_view) override { return false; }
    void setFile(std::string_view) override {}
};

class Prompts {
  public:
    virtual ~Prompts() = default;

    // False when nobody can be asked: the engine then takes the job's own policy instead of prompting.
    virtual bool interactive() const = 0;

    // A modal message whose caption is the product name.
    virtual Answer messageBox(std::string_view text, Buttons buttons = Buttons::Ok) = 0;
    // The settings input before a job; false when the person cancelled.
    virtual bool getInputSettings(SettingsMode mode, JobSettings& settings) = 0;
    // Verify-files list: which files to keep (one flag per file), or nothing on Cancel.
    virtual std::optional<std::vector<bool>> verifyFiles(const VerifyFilesRequest& request) = 0;
    // Verify-filenames list, or nothing on Cancel.
    virtual std::optional<VerifyNamesReply> verifyFilenames(const VerifyNamesRequest& request) = 0;
    // The per-file rename prompt.
    virtual RenameReply renameFile(const RenameRequest& request) = 0;
    // The read-only prompt for one file.
    virtual ReadOnlyAnswer readOnlyFile(std::string_view path) = 0;
    // "Link Errors!": the site has syntax errors, broken links or broken anchors; "text" lists them.
    virtual LinkErrorsAnswer linkErrors(std::string_view text) = 0;
    // A progress display for one pass or more.
    virtual std::unique_ptr<Progress> makeProgress() = 0;
};

// Never blocks and never asks. With "assumeYes" every question is answered so that the job goes on
// (as a person who accepts everything would); without it, each answer is the one that changes nothing.
class SilentPrompts : public Prompts {
  public:
    explicit SilentPrompts(bool assumeYes = false) : assumeYes_(assumeYes) {}
    bool interactive() const override { return false; }
    Answer messageBox(std::string_view text, Buttons buttons) override;
    bool getInputSettings(SettingsMode mode, JobSettings& settings) override;
    std::optional<std::vector<bool>> verifyFiles(const VerifyFilesRequest& request) override;
    std::optional<VerifyNamesReply> verifyFilenames(const VerifyNamesRequest& request) override;
    RenameReply renameFile(const RenameRequest& request) override;
    ReadOnlyAnswer readOnlyFile(std::string_view path) override;
    LinkErrorsAnswer linkErrors(std::string_view text) override;
    std::unique_ptr<Progress> makeProgress() override;

  private:
    bool assumeYes_;
};

// The implementation installed for the running job; a silent one (declining) when none is.
Prompts& prompts();

// Installs "p" for its lifetime and puts back what was there before, on every way out.
class PromptsScope {
  public:
    explicit PromptsScope(Prompts& p);
    ~PromptsScope();
    PromptsScope(const PromptsScope&) = delete;
    PromptsScope& operator=(const PromptsScope&) = delete;

  private:
    Prompts* previous_;
};

}  // namespace korvel::ui
