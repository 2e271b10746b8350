#pragma once
// Installs a log that keeps the errors section's text in memory for the test's lifetime, and puts the
// previous current log back afterwards.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"

namespace korvel::testing {

class RecordingSection : public ReportSection {
  public:
    RecordingSection(int titleId, std::string& sink) : ReportSection(titleId), sink_(sink) {}
    using ReportSection::write;
    void write(std::string_view text) override { sink_ += text; }
    void endLine() override { sink_ += '\n'; }

  private:
    std::string& sink_;
};

class RecordingLog : public Log {
  public:
    ReportSection* openSection(int titleId) override {
        sections_.push_back(
            std::make_unique<RecordingSection>(titleId, titleId == res::kSectionErrors ? errors : other));
        return sections_.back().get();
    }
    void closeSection(ReportSection* section) override {
        if (section == errorSection_) errorSection_ = nullptr;
    }

    std::string errors;  // the errors section, without its header
    std::string other;   // every other section

  private:
    std::vector<std::unique_ptr<ReportSection>> sections_;
};

class LogCapture {
  public:
    LogCapture() : saved_(setCurrentLog(std::make_unique<RecordingLog>())) {}
    ~LogCapture() { setCurrentLog(std::move(saved_)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::string& errors() const { return static_cast<RecordingLog&>(currentLog()).errors; }

  private:
    std::unique_ptr<Log> saved_;
};

// The errors-section text of one message with its path: "text", a new line, a tab, the path, a new line.
inline std::string detail(int id, std::string_view path) {
    return std::string(res::loadString(id)) + "\n\t" + std::string(path) + "\n";
}
// A copy failure: "During copy, " joined to the failure, then the path on its own line.
inline std::string copyDetail(int id, std::string_view path) {
    return std::string(res::loadString(res::kDuringCopy)) + detail(id, path);
}
// A failed rename, ended by its own line end.
inline std::string renameMessage(std::string_view from, std::string_view to) {
    return res::formatString(res::kFailedToRenameFile, from, to) + "\n";
}

}  // namespace korvel::testing
