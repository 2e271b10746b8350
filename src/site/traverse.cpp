#include "site/traverse.h"

#include "ui/prompts.h"

namespace korvel {

GUIProgress::~GUIProgress() = default;
void GUIProgress::begin(std::string_view, std::int64_t) {}
void GUIProgress::end() {}
void GUIProgress::setDirectory(std::string_view, bool& cancelled) {
    cancelled = false;
}
void GUIProgress::setFile(std::string_view) {}

GUIProgressDlg::GUIProgressDlg() : display_(ui::prompts().makeProgress()) {}

GUIProgressDlg::~GUIProgressDlg() = default;

void GUIProgressDlg::begin(std::string_view title, std::int64_t total) {
    cancelled_ = false;
    if (display_) display_->begin(title, total);
}

void GUIProgressDlg::end() {
    if (display_) display_->end();
}

void GUIProgressDlg::setDirectory(std::string_view path, bool& cancelled) {
    // A cancel stays seen until the next pass begins.
    if (display_ && display_->setDirectory(path)) cancelled_ = true;
    cancelled = cancelled_;
}

void GUIProgressDlg::setFile(std::string_view path) {
    if (display_) display_->setFile(path);
}

}  // namespace korvel
