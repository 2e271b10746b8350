#include "ui/prompts.h"

namespace korvel::ui {

namespace {
Prompts* g_current = nullptr;
}  // namespace

Answer SilentPrompts::messageBox(std::string_view, Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
            return assumeYes_ ? Answer::Ok : Answer::Cancel;
        case Buttons::YesNo:
            return assumeYes_ ? Answer::Yes : Answer::No;
        case Buttons::YesNoCancel:
            return assumeYes_ ? Answer::Yes : Answer::Cancel;
    }
    return Answer::Cancel;
}

// The settings came from the settings file and the options; nothing is left to ask.
bool SilentPrompts::getInputSettings(SettingsMode, JobSettings&) {
    return true;
}

std::optional<std::vector<bool>> SilentPrompts::verifyFiles(const VerifyFilesRequest& request) {
    if (!assumeYes_) return std::nullopt;
    return std::vector<bool>(request.files.size(), true);
}

std::optional<VerifyNamesReply> SilentPrompts::verifyFilenames(const VerifyNamesRequest& request) {
    if (!assumeYes_) return std::nullopt;
    VerifyNamesReply reply;
    reply.keep.assign(request.changes.size(), true);
    for (const auto& change : request.changes)
        reply.suggestedNames.push_back(change.suggestedName);
    return reply;
}

RenameReply SilentPrompts::renameFile(const RenameRequest& request) {
    if (!assumeYes_) return {RenameAnswer::NoRename, {}};
    return {RenameAnswer::Accept, request.suggestedName};
}

ReadOnlyAnswer SilentPrompts::readOnlyFile(std::string_view) {
    return assumeYes_ ? ReadOnlyAnswer::Yes : ReadOnlyAnswer::No;
}

LinkErrorsAnswer SilentPrompts::linkErrors(std::string_view) {
    return assumeYes_ ? LinkErrorsAnswer::Continue : LinkErrorsAnswer::ImmediateReport;
}

std::unique_ptr<Progress> SilentPrompts::makeProgress() {
    return std::make_unique<SilentProgress>();
}

Prompts& prompts() {
    static SilentPrompts declining(false);
    return g_current ? *g_current : declining;
}

PromptsScope::PromptsScope(Prompts& p) : previous_(g_current) {
    g_current = &p;
}

PromptsScope::~PromptsScope() {
    g_current = previous_;
}

}  // namespace korvel::ui
