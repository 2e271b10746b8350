#include "cli/terminal_prompts.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <iostream>
#include <string>

#include "res/strings.h"

namespace korvel::cli {

namespace {

std::atomic<int> g_interrupts{0};

// The first signal asks the job to stop at its next step, where every file is whole and the journal
// knows what was done; a second one ends the process at once.
void onInterrupt(int signal) {
    if (g_interrupts.fetch_add(1) >= 1) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// One line on standard error, rewritten in place at most ten times a second.
class TerminalProgress : public ui::Progress {
  public:
    explicit TerminalProgress(std::ostream& out) : out_(out) {}
    ~TerminalProgress() override { clear(); }

    void begin(std::string_view title, std::int64_t total) override {
        title_ = title;
        total_ = total;
        done_ = 0;
        last_ = {};
        show();
    }
    void end() override { clear(); }
    bool setDirectory(std::string_view) override { return interruptRequested(); }
    void setFile(std::string_view path) override {
        ++done_;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        file_ = path;
        show();
    }

  private:
    void show() {
        std::string line = title_;
        // A pass whose size is unknown beforehand (the scan) gives a nominal total; past it, count alone.
        line += " " + std::to_string(done_);
        if (done_ <= total_) line += "/" + std::to_string(total_);
        if (!file_.empty()) line += "  " + file_;
        constexpr std::size_t kWidth = 79;
        if (line.size() > kWidth) line = line.substr(0, kWidth - 3) + "...";
        out_ << '\r' << line << "\033[K" << std::flush;
        shown_ = true;
    }
    void clear() {
        if (shown_) out_ << "\r\033[K" << std::flush;
        shown_ = false;
    }

    std::ostream& out_;
    std::string title_;
    std::string file_;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;
    std::chrono::steady_clock::time_point last_{};
    bool shown_ = false;
};

// Shows nothing, but still lets Ctrl-C stop the pass.
class QuietProgress : public ui::SilentProgress {
  public:
    bool setDirectory(std::string_view) override { return interruptRequested(); }
};

}  // namespace

void installInterruptHandler() {
    // A session that closes (SIGHUP) or a service manager that stops the job (SIGTERM) is the same request.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, onInterrupt);
}
bool interruptRequested() {
    return g_interrupts.load() > 0;
}

TerminalPrompts::TerminalPrompts(std::istream& in, std::ostream& out, std::ostream& progress, bool ask,
                                 bool showProgress, bool assumeYes)
    : in_(in), out_(out), progress_(progress), ask_(ask), showProgress_(showProgress), silent_(assumeYes) {}

TerminalPrompts TerminalPrompts::forProcess(bool assumeYes) {
    // --yes means nobody is to be asked, terminal or not.
    return TerminalPrompts(std::cin, std::cerr, std::cerr, !assumeYes && ::isatty(STDIN_FILENO) == 1,
                           ::isatty(STDERR_FILENO) == 1, assumeYes);
}

bool TerminalPrompts::readLine(std::string& line) {
    out_ << std::flush;
    return static_cast<bool>(std::getline(in_, line));
}

int TerminalPrompts::choose(std::string_view question, std::initializer_list<std::string_view> choices) {
    std::string line;
    for (;;) {
        out_ << question << ' ';
        if (!readLine(line)) return -1;
        const auto answer = trim(line);
        int i = 0;
        for (auto choice : choices) {
            if (answer == choice) return i;
            ++i;
        }
        out_ << "Please answer one of:";
        for (auto choice : choices)
            out_ << ' ' << choice;
        out_ << '\n';
    }
}

ui::Answer TerminalPrompts::messageBox(std::string_view text, ui::Buttons buttons) {
    if (!ask_) {
        out_ << res::loadString(res::kProductName) << ": " << text << '\n';
        return silent_.messageBox(text, buttons);
    }
    out_ << text << '\n';
    switch (buttons) {
        case ui::Buttons::Ok:
            return ui::Answer::Ok;
        case ui::Buttons::OkCancel: {
            const int c = choose("[ok/cancel]", {"ok", "cancel", "o", "c"});
            return c == 0 || c == 2 ? ui::Answer::Ok : ui::Answer::Cancel;
        }
        case ui::Buttons::YesNo: {
            const int c = choose("[yes/no]", {"yes", "no", "y", "n"});
            return c == 0 || c == 2 ? ui::Answer::Yes : ui::Answer::No;
        }
        case ui::Buttons::YesNoCancel: {
            const int c = choose("[yes/no/cancel]", {"yes", "no", "cancel", "y", "n", "c"});
            if (c == 0 || c == 3) return ui::Answer::Yes;
            if (c == 1 || c == 4) return ui::Answer::No;
            return ui::Answer::Cancel;
        }
    }
    return ui::Answer::Cancel;
}

// The command line takes its settings from the settings file and the options; there is no form to show.
bool TerminalPrompts::getInputSettings(ui::SettingsMode, JobSettings&) {
    return true;
}

bool TerminalPrompts::uncheck(std::string_view line, std::vector<bool>& keep) {
    std::vector<bool> result = keep;
    std::size_t i = 0;
    auto number = [&](std::size_t& value) {
        const std::size_t start = i;
        value = 0;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9' && i - start < 9)
            value = value * 10 + static_cast<std::size_t>(line[i++] - '0');
        return i > start;
    };
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == ',') {
            ++i;
            continue;
        }
        std::size_t from = 0, to = 0;
        if (!number(from)) return false;
        to = from;
        if (i < line.size() && line[i] == '-') {
            ++i;
            if (!number(to)) return false;
        }
        if (from == 0 || to < from || to > result.size()) return false;
        for (std::size_t n = from; n <= to; ++n)
            result[n - 1] = false;
    }
    keep = std::move(result);
    return true;
}

std::optional<std::vector<bool>> TerminalPrompts::verifyFiles(const ui::VerifyFilesRequest& request) {
    if (!ask_) return silent_.verifyFiles(request);
    std::vector<bool> keep(request.files.size(), true);
    for (;;) {
        out_ << res::loadString(request.captionId) << '\n' << res::loadString(request.explanationId) << '\n';
        if (!request.note.empty()) out_ << request.note << '\n';
        if (!request.directory.empty()) out_ << "Src Dir: " << request.directory << '\n';
        for (std::size_t i = 0; i < request.files.size(); ++i)
            out_ << (keep[i] ? "  [x] " : "  [ ] ") << i + 1 << "  " << request.files[i] << '\n';
        out_ << "Enter to go on with the checked files, numbers to uncheck (\"2 5-7\"), \"cancel\" to stop: ";
        std::string line;
        if (!readLine(line)) return std::nullopt;
        const auto answer = trim(line);
        if (answer.empty()) return keep;
        if (answer == "cancel" || answer == "c") return std::nullopt;
        if (!uncheck(answer, keep)) out_ << "Not understood: " << answer << '\n';
    }
}

std::string TerminalPrompts::askName(const ui::NameValidator& validate, std::string_view shown) {
    std::string current(shown);
    std::string line;
    for (;;) {
        out_ << "New name [" << current << "]: ";
        if (!readLine(line)) return {};
        const std::string typed(trim(line));
        if (typed.empty()) return current;
        if (!validate) return typed;
        std::string message;
        std::string accepted = validate(typed, message);
        if (!message.empty()) out_ << message << '\n';
        if (accepted.empty()) continue;
        // A substituted unique name is shown and asked about again, as the dialog keeps it open.
        if (accepted != typed) {
            current = std::move(accepted);
            continue;
        }
        return accepted;
    }
}

std::optional<ui::VerifyNamesReply> TerminalPrompts::verifyFilenames(const ui::VerifyNamesRequest& request) {
    if (!ask_) return silent_.verifyFilenames(request);
    ui::VerifyNamesReply reply;
    reply.keep.assign(request.changes.size(), true);
    for (const auto& change : request.changes)
        reply.suggestedNames.push_back(change.suggestedName);
    for (;;) {
        out_ << "Verify Filenames\n  " << res::loadString(res::kOriginalFilename) << " -> "
             << res::loadString(res::kSuggestedFilename) << '\n';
        std::string_view lastDir;
        for (std::size_t i = 0; i < request.changes.size(); ++i) {
            const auto& change = request.changes[i];
            if (change.directory != lastDir) out_ << "Src dir: " << change.directory << '\n';
            lastDir = change.directory;
            out_ << (reply.keep[i] ? "  [x] " : "  [ ] ") << i + 1 << "  " << change.originalName << " -> "
                 << reply.suggestedNames[i] << '\n';
        }
        out_ << "Enter to rename the checked files, numbers to uncheck (\"2 5-7\"), \"edit N\" to change a "
                "name, \"cancel\" to stop: ";
        std::string line;
        if (!readLine(line)) return std::nullopt;
        const auto answer = trim(line);
        if (answer.empty()) return reply;
        if (answer == "cancel" || answer == "c") return std::nullopt;
        if (answer.substr(0, 5) == "edit ") {
            std::vector<bool> one(request.changes.size(), true);
            if (uncheck(trim(answer.substr(5)), one)) {
                const std::size_t row =
                    static_cast<std::size_t>(std::find(one.begin(), one.end(), false) - one.begin());
                if (row < one.size()) {
                    ui::NameValidator validate;
                    if (request.validate)
                        validate = [&](std::string_view typed, std::string& message) {
                            return request.validate(row, typed, message);
                        };
                    std::string name = askName(validate, reply.suggestedNames[row]);
                    if (!name.empty()) reply.suggestedNames[row] = std::move(name);
                    continue;
                }
            }
        }
        if (!uncheck(answer, reply.keep)) out_ << "Not understood: " << answer << '\n';
    }
}

ui::RenameReply TerminalPrompts::renameFile(const ui::RenameRequest& request) {
    if (!ask_) return silent_.renameFile(request);
    out_ << res::formatString(res::kRenamePromptHeading, request.conventionLabel) << '\n'
         << "Directory: " << request.directory << '\n'
         << "Original Filename: " << request.originalName << '\n'
         << "Suggested Change: " << request.suggestedName << '\n';
    std::string name = request.suggestedName;
    for (;;) {
        const int c = choose("[accept/all/edit/no/cancel]", {"accept", "all", "edit", "no", "cancel"});
        switch (c) {
            case 0:
                return {ui::RenameAnswer::Accept, name};
            case 1:
                return {ui::RenameAnswer::AcceptAll, name};
            case 2: {
                std::string edited = askName(request.validate, name);
                if (!edited.empty()) name = std::move(edited);
                out_ << "Suggested Change: " << name << '\n';
                continue;
            }
            case 3:
                return {ui::RenameAnswer::NoRename, {}};
            default:
                return {ui::RenameAnswer::Cancel, {}};
        }
    }
}

ui::ReadOnlyAnswer TerminalPrompts::readOnlyFile(std::string_view path) {
    if (!ask_) return silent_.readOnlyFile(path);
    out_ << "The following file is read only:\n  " << path
         << "\nDo you want to change its attributes to make it writable?\n";
    switch (choose("[yes/all/no/none]", {"yes", "all", "no", "none"})) {
        case 0:
            return ui::ReadOnlyAnswer::Yes;
        case 1:
            return ui::ReadOnlyAnswer::YesToAll;
        case 3:
            return ui::ReadOnlyAnswer::NoToAll;
        default:
            return ui::ReadOnlyAnswer::No;
    }
}

ui::LinkErrorsAnswer TerminalPrompts::linkErrors(std::string_view text) {
    if (!ask_) return silent_.linkErrors(text);
    out_ << "Link Errors!\n" << text << '\n';
    const int c = choose("[report/continue]", {"report", "continue"});
    return c == 1 ? ui::LinkErrorsAnswer::Continue : ui::LinkErrorsAnswer::ImmediateReport;
}

std::unique_ptr<ui::Progress> TerminalPrompts::makeProgress() {
    if (!showProgress_) return std::make_unique<QuietProgress>();
    return std::make_unique<TerminalProgress>(progress_);
}

}  // namespace korvel::cli
