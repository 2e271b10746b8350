#include "support/scripted_prompts.h"

#include <new>

#include <gtest/gtest.h>

namespace korvel::testing {

namespace {
const char* callName(std::size_t index) {
    static const char* names[] = {"messageBox", "getInputSettings", "verifyFiles", "verifyFilenames",
                                  "renameFile", "readOnlyFile",     "linkErrors"};
    return index < std::size(names) ? names[index] : "?";
}
}  // namespace

class ScriptedProgress : public ui::Progress {
  public:
    explicit ScriptedProgress(ScriptedPrompts& owner) : owner_(owner) {}
    void begin(std::string_view title, std::int64_t) override { owner_.titles_.emplace_back(title); }
    void end() override {}
    bool setDirectory(std::string_view) override {
        ++owner_.directoryCalls_;
        if (!owner_.failTitle_.empty() && !owner_.titles_.empty() &&
            owner_.titles_.back() == owner_.failTitle_)
            throw std::bad_alloc();
        if (!owner_.cancelTitle_.empty() && !owner_.titles_.empty() &&
            owner_.titles_.back() == owner_.cancelTitle_)
            return true;
        return owner_.cancelAt_ > 0 && owner_.directoryCalls_ >= owner_.cancelAt_;
    }
    void setFile(std::string_view) override {}

  private:
    ScriptedPrompts& owner_;
};

ScriptedPrompts::~ScriptedPrompts() {
    for (const auto& call : script_)
        ADD_FAILURE() << "expected prompt never came: " << callName(call.index());
}

template <typename T>
T* ScriptedPrompts::next(const char* what) {
    if (script_.empty()) {
        ADD_FAILURE() << "unexpected prompt: " << what;
        return nullptr;
    }
    if (!std::holds_alternative<T>(script_.front())) {
        ADD_FAILURE() << "unexpected prompt: " << what << " (expected " << callName(script_.front().index())
                      << ")";
        return nullptr;
    }
    current_ = std::move(script_.front());
    script_.pop_front();
    return &std::get<T>(current_);
}

ScriptedPrompts& ScriptedPrompts::expectMessageBox(ui::Answer answer, std::string textContains) {
    script_.push_back(MessageBox{answer, std::move(textContains)});
    return *this;
}
ScriptedPrompts& ScriptedPrompts::expectSettingsInput(bool confirm, std::function<void(JobSettings&)> edit) {
    script_.push_back(SettingsInput{confirm, std::move(edit)});
    return *this;
}
ScriptedPrompts& ScriptedPrompts::expectVerifyFiles(std::optional<std::vector<bool>> keep) {
    script_.push_back(VerifyFiles{std::move(keep)});
    return *this;
}
ScriptedPrompts& ScriptedPrompts::expectVerifyFilenames(std::optional<ui::VerifyNamesReply> reply) {
    script_.push_back(VerifyFilenames{std::move(reply)});
    return *this;
}
ScriptedPrompts& ScriptedPrompts::expectRename(ui::RenameAnswer answer, std::string name) {
    script_.push_back(Rename{answer, std::move(name)});
    return *this;
}
ScriptedPrompts& ScriptedPrompts::expectReadOnly(ui::ReadOnlyAnswer answer) {
    script_.push_back(ReadOnly{answer});
    return *this;
}
ScriptedPrompts& ScriptedPrompts::expectLinkErrors(ui::LinkErrorsAnswer answer) {
    script_.push_back(LinkErrors{answer});
    return *this;
}

ui::Answer ScriptedPrompts::messageBox(std::string_view text, ui::Buttons) {
    messages_.emplace_back(text);
    auto* call = next<MessageBox>("messageBox");
    if (!call) return ui::Answer::Cancel;
    EXPECT_NE(text.find(call->textContains), std::string_view::npos)
        << "message \"" << text << "\" lacks \"" << call->textContains << "\"";
    return call->answer;
}

bool ScriptedPrompts::getInputSettings(ui::SettingsMode, JobSettings& settings) {
    auto* call = next<SettingsInput>("getInputSettings");
    if (!call) return false;
    if (call->edit) call->edit(settings);
    return call->confirm;
}

std::optional<std::vector<bool>> ScriptedPrompts::verifyFiles(const ui::VerifyFilesRequest& request) {
    verifyFiles_.push_back(request);
    auto* call = next<VerifyFiles>("verifyFiles");
    if (!call) return std::nullopt;
    if (call->keep) {
        EXPECT_EQ(call->keep->size(), request.files.size()) << "scripted answer has the wrong length";
    }
    return call->keep;
}

std::optional<ui::VerifyNamesReply> ScriptedPrompts::verifyFilenames(const ui::VerifyNamesRequest& request) {
    auto* call = next<VerifyFilenames>("verifyFilenames");
    if (!call) return std::nullopt;
    if (call->reply) {
        EXPECT_EQ(call->reply->keep.size(), request.changes.size()) << "scripted answer has the wrong length";
    }
    return call->reply;
}

ui::RenameReply ScriptedPrompts::renameFile(const ui::RenameRequest& request) {
    renames_.push_back(request);
    auto* call = next<Rename>("renameFile");
    if (!call) return {ui::RenameAnswer::Cancel, {}};
    return {call->answer, call->name.empty() ? request.suggestedName : call->name};
}

ui::ReadOnlyAnswer ScriptedPrompts::readOnlyFile(std::string_view path) {
    messages_.emplace_back(path);
    auto* call = next<ReadOnly>("readOnlyFile");
    return call ? call->answer : ui::ReadOnlyAnswer::No;
}

ui::LinkErrorsAnswer ScriptedPrompts::linkErrors(std::string_view text) {
    messages_.emplace_back(text);
    auto* call = next<LinkErrors>("linkErrors");
    return call ? call->answer : ui::LinkErrorsAnswer::ImmediateReport;
}

std::unique_ptr<ui::Progress> ScriptedPrompts::makeProgress() {
    return std::make_unique<ScriptedProgress>(*this);
}

}  // namespace korvel::testing
