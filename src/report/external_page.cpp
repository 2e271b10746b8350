#include "report/external_page.h"

#include <algorithm>

#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "report/report.h"
#include "report/section.h"
#include "res/strings.h"

namespace korvel {

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string externalPageHead() {
    const std::string title = htmlEscape(res::loadString(res::kListOfExternalUrls));
    return "<html><head><title>\n" + title + "\n</title></head><body>\n<h2>" + title + "</h2><pre>\n";
}

void writeExternalPageHead(ReportSection& page) {
    // From the one text, so that placeExternalPage recognises exactly what was written.
    const std::string head = externalPageHead();
    std::string_view rest = head;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        page.writeLine(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
}

void writeExternalPageFooter(ReportSection& page) {
    // The report's credit line without its indentation.
    const std::string line = creditLine();
    std::string_view credit = line;
    credit.remove_prefix(std::min(credit.find_first_not_of(' '), credit.size()));
    page.writeLine("</pre><br>" + htmlEscape(credit));
    page.writeLine("</body></html>");
}

PageCopyProblem placeExternalPage(std::string_view directory, std::string_view content,
                                  std::error_code& error) {
    error.clear();
    const std::string target = platform::withTrailingSeparator(directory) + std::string(kExternalPageName);
    platform::FileInfo info;
    if ((error = platform::fileInfo(target, info))) return PageCopyProblem::CopyFailed;

    if (info.kind == platform::EntryKind::Missing && !info.isSymlink) {
        // O_EXCL: an entry that appeared since the look above is not written over.
        error = platform::createFile(target, content);
        return error ? PageCopyProblem::CopyFailed : PageCopyProblem::None;
    }
    if (info.isSymlink || info.kind != platform::EntryKind::File) return PageCopyProblem::NotOurs;

    // The name is ours, but a site may hold a page of that name that a person wrote; only one that starts
    // as ours does is taken for the page of an earlier job.
    const std::string head = externalPageHead();
    std::string start;
    if ((error = platform::readWholeFile(target, start, head.size()))) return PageCopyProblem::CopyFailed;
    if (start != head) return PageCopyProblem::NotOurs;

    // Refuses a link that replaced the file since the look above, and never leaves a half-written page.
    error = platform::replaceFileContents(target, content);
    if (error == platform::FileError::IsSymlink) {
        error.clear();
        return PageCopyProblem::NotOurs;
    }
    return error ? PageCopyProblem::CopyFailed : PageCopyProblem::None;
}

}  // namespace korvel
