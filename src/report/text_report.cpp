#include "report/text_report.h"

#include <algorithm>
#include <climits>
#include <initializer_list>

#include "platform/ascii.h"
#include "platform/display_name.h"
#include "platform/paths.h"
#include "platform/shorten_path.h"
#include "report/external_page.h"
#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"

namespace korvel::report {

namespace {

int lineNumber(std::int64_t line) {
    return line > INT32_MAX ? INT32_MAX : static_cast<int>(line);
}

int sectionOf(List list) {
    switch (list) {
        case List::BrokenLinks:
            return res::kSectionUnresolvedLinks;
        case List::BrokenAnchors:
            return res::kSectionBrokenAnchors;
        case List::ExternalUrls:
            return res::kSectionExternalUrls;
        case List::Orphans:
            return res::kSectionUnusedFiles;
        case List::PageWeights:
            return res::kSectionDownloadTimes;
        case List::Skipped:
            return res::kSectionSkippedFiles;
        case List::SyntaxErrors:
            return res::kSectionSyntaxErrors;
    }
    return 0;
}

std::int64_t divideRoundingUp(std::int64_t bytes, std::int64_t by) {
    return bytes <= 0 ? 0 : (bytes - 1) / by + 1;
}

// "text" with each "%Nd" replaced by the next number, right-aligned in N columns (wider numbers whole).
std::string formatWidths(std::string_view text, std::initializer_list<std::int64_t> numbers) {
    std::string out;
    auto next = numbers.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && next != numbers.end()) {
            std::size_t j = i + 1;
            std::size_t width = 0;
            while (j < text.size() && text[j] >= '0' && text[j] <= '9')
                width = width * 10 + static_cast<std::size_t>(text[j++] - '0');
            if (j < text.size() && text[j] == 'd') {
                const std::string number = std::to_string(*next++);
                if (number.size() < width) out.append(width - number.size(), ' ');
                out += number;
                i = j;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           platform::equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// Above the rows of a page: an empty line, then "In file" and the page.
void writePageHeading(ReportSection& section, std::string_view page) {
    section.endLine();
    section.writeLine(res::kInFileHeader, platform::displayName(page));
}

int syntaxMessageId(std::string_view kind) {
    if (kind == "no-start") return res::kSyntaxNoStart;
    if (kind == "unmatched-comment") return res::kSyntaxUnmatchedComment;
    if (kind == "end-quote") return res::kSyntaxEndQuote;
    return res::kSyntaxNoClose;
}

// The page's path as the syntax error lines show it: shortened to 58 characters, padded to 62.
std::string syntaxColumn(std::string_view page) {
    std::string shown = platform::shortenPath(page, 58);
    const std::size_t width = platform::displayLength(shown);
    if (width < 62) shown.append(62 - width, ' ');
    return shown;
}

}  // namespace

std::string downloadFigures(std::int64_t bytes) {
    // The line speeds in bytes per second.
    return formatWidths(
        res::loadString(res::kDownloadLine),
        {divideRoundingUp(bytes, 1024), divideRoundingUp(bytes, 1800), divideRoundingUp(bytes, 3600),
         divideRoundingUp(bytes, 4200), divideRoundingUp(bytes, 7000)});
}

bool isClickableExternalUrl(std::string_view url) {
    return !startsWithIgnoringCase(url, "javascript:") && !startsWithIgnoringCase(url, "vbscript:") &&
           !startsWithIgnoringCase(url, "data:");
}

TextReport::Open& TextReport::open(List list) {
    return lists_[static_cast<int>(list)];
}

void TextReport::listStarted(List list) {
    Open& state = open(list);
    state = Open{};
    // Made with its first entry, so that a scan that skipped nothing leaves no section behind.
    if (list == List::Skipped) return;
    state.section = log_.openSection(sectionOf(list));
    if (list == List::ExternalUrls) {
        externalPage_ = log_.openSection(res::kSectionExternalUrlPage);
    } else if (list == List::PageWeights) {
        eachPageHeading_ = false;
        ReportSection* section = state.section;
        if (!section) return;
        section->writeLine(res::kDownloadNote);
        section->endLine();
        section->writeLine(res::kDownloadExternalLegend);
        section->writeLine(res::kDownloadBrokenLegend);
        section->writeLine(res::kDownloadUnknownLegend);
        section->endLine();
    }
}

void TextReport::listEnded(List list) {
    Open& state = open(list);
    if (list == List::ExternalUrls) {
        if (state.rows == 0) {
            for (ReportSection* s : {state.section, externalPage_}) {
                if (!s) continue;
                s->endLine();
                s->writeLine(res::kNoExternalUrls);
            }
        }
        log_.closeSection(state.section);
        log_.closeSection(externalPage_);
        externalPage_ = nullptr;
    } else {
        if (list == List::PageWeights) writeEachPageHeading();
        if (state.section) log_.closeSection(state.section);
    }
    state = Open{};
}

void TextReport::syntaxError(const SyntaxError& error) {
    Open& state = open(List::SyntaxErrors);
    if (!state.section) return;
    if (state.rows++ == 0 || state.page != error.page) {
        state.page = error.page;
        state.shownPage = syntaxColumn(error.page);
    }
    state.section->writeAtLine(static_cast<int>(std::min<std::int64_t>(error.line, INT_MAX)),
                               syntaxMessageId(error.kind), state.shownPage);
    state.section->endLine();
}

void TextReport::brokenLink(const BrokenLink& link) {
    Open& state = open(List::BrokenLinks);
    ReportSection* section = state.section;
    if (!section) return;
    if (state.rows++ == 0 || state.page != link.page) {
        writePageHeading(*section, link.page);
        state.page = link.page;
    }
    section->writeAtLine(lineNumber(link.line), platform::displayName(link.link));
    section->endLine();
}

void TextReport::brokenAnchor(const BrokenAnchor& anchor) {
    Open& state = open(List::BrokenAnchors);
    ReportSection* section = state.section;
    if (!section) return;
    if (state.rows == 0) section->writeLine(res::kBrokenAnchorsNote);
    if (state.rows++ == 0 || state.page != anchor.page) {
        writePageHeading(*section, anchor.page);
        state.page = anchor.page;
    }
    std::string text = anchor.link;
    text += '#';
    text += anchor.fragment;
    section->writeAtLine(lineNumber(anchor.line), platform::displayName(text));
    section->endLine();
}

void TextReport::externalUrl(const ExternalUrl& url) {
    Open& state = open(List::ExternalUrls);
    const int line = lineNumber(url.line);
    if (state.rows++ == 0 || state.page != url.page) {
        state.page = url.page;
        const std::string shownPath = platform::displayName(url.page);
        if (state.section) {
            state.section->endLine();
            state.section->writeLine(res::kInFileHeader, shownPath);
        }
        if (externalPage_) {
            externalPage_->endLine();
            // Everything from the site goes into the page escaped: a path or URL holding "<" or a quote must
            // not become markup.
            externalPage_->writeLine("<b>" + htmlEscape(res::formatString(res::kInFileHeader, shownPath)) +
                                     "</b>");
        }
    }
    if (state.section) {
        state.section->writeAtLine(line, platform::displayName(url.url));
        state.section->endLine();
    }
    if (!externalPage_) return;
    const std::string escaped = htmlEscape(url.url);
    if (!listed_.insert(url.url).second) {
        externalPage_->writeAtLine(line, escaped);
        externalPage_->writeLine(res::kRepeatedAbove);
        return;
    }
    if (isClickableExternalUrl(url.url)) {
        line_.assign("<a href=\"").append(escaped).append("\">").append(escaped).append("</a>");
        externalPage_->writeAtLine(line, line_);
    } else {
        externalPage_->writeAtLine(line, escaped);
    }
    externalPage_->endLine();
}

void TextReport::orphan(const Orphan& orphan) {
    Open& state = open(List::Orphans);
    ReportSection* section = state.section;
    if (!section) return;
    // No script is read, so what only scripts load looks unused; a person who removes orphans must know
    // that before acting on the list. Only above a list: an empty section must stay empty.
    if (state.rows++ == 0) {
        section->writeLine(res::kOrphansScriptNote);
        section->endLine();
    }
    section->writeLine(platform::displayName(orphan.path));
}

void TextReport::frontPageWeight(const PageWeight& weight) {
    ReportSection* section = open(List::PageWeights).section;
    if (!section) return;
    section->writeLine(res::kDownloadFrontPage);
    section->endLine();
    section->writeLine(res::kDownloadColumns);
    writeWeight(weight);
    section->endLine();
}

void TextReport::pageWeight(const PageWeight& weight) {
    if (!open(List::PageWeights).section) return;
    writeEachPageHeading();
    writeWeight(weight);
}

void TextReport::writeEachPageHeading() {
    ReportSection* section = open(List::PageWeights).section;
    if (!section || eachPageHeading_) return;
    eachPageHeading_ = true;
    section->writeLine(res::kDownloadEachPage);
    section->endLine();
    section->writeLine(res::kDownloadColumns);
}

void TextReport::writeWeight(const PageWeight& weight) {
    std::string line = downloadFigures(weight.bytes);
    // In the last of the blanks before the marks, so that the paths stay in one column.
    if (weight.unknown && !line.empty() && line.back() == ' ') line.back() = '?';
    line += weight.broken ? '!' : ' ';
    line += weight.external ? '*' : ' ';
    line += platform::displayName(weight.page);
    open(List::PageWeights).section->writeLine(line);
}

void TextReport::skipped(const Skipped& entry) {
    Open& state = open(List::Skipped);
    if (!state.section) state.section = log_.openSection(res::kSectionSkippedFiles);
    if (!state.section) return;
    ReportSection& section = *state.section;
    if (entry.kind == "scanned-twice") {
        section.writeLine(res::kDirectoryScannedTwice, entry.path);
    } else if (entry.kind == "path-too-long") {
        section.writeLine(res::kPathTooLongSkipped, entry.path, std::to_string(platform::kMaxPath));
    } else if (entry.kind == "korvel-state") {
        section.writeLine(res::kSkippedStateDirectory, entry.path);
    } else if (entry.kind == "move-to-directory") {
        section.writeLine(res::kSkippedMoveToDirectory, entry.path);
    } else if (entry.kind == "trash") {
        section.writeLine(res::kSkippedTrashDirectory, entry.path);
    } else {
        section.writeLine(res::kSkippedFileLine, entry.path, entry.kind);
    }
}

void TextReport::jobNote(const JobNote& note) {
    ReportSection* section = log_.openSection(res::kSectionJobNote);
    if (!section) return;
    section->writeLine(note.messageId, note.path);
    log_.closeSection(section);
}

}  // namespace korvel::report
