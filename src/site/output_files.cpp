#include "site/output_files.h"

#include <optional>
#include <string>

#include "platform/file_info.h"
#include "report/external_page.h"
#include "res/strings.h"

namespace korvel {

namespace {

bool isReportNumberName(std::string_view name) {
    constexpr std::string_view prefix = "REPORT_";
    constexpr std::string_view suffix = ".TXT";
    if (name.size() <= prefix.size() + suffix.size()) return false;
    if (name.substr(0, prefix.size()) != prefix || name.substr(name.size() - suffix.size()) != suffix)
        return false;
    const std::string_view number = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (number.front() == '0') return false;
    for (char c : number)
        if (c < '0' || c > '9') return false;
    return true;
}

enum class Output { RenameLog, Report, ExternalPage };

// The first bytes of the file at "path"; nothing when it cannot be read.
std::optional<std::string> startOf(std::string_view path, std::size_t length) {
    std::string start;
    if (platform::readWholeFile(path, start, length)) return std::nullopt;
    return start;
}

// "Mon Dec  7 14:11:17 2026", as localTimeText writes it.
bool isDateLine(std::string_view line) {
    if (line.size() < 24 || line[3] != ' ' || line[7] != ' ' || line[10] != ' ' || line[13] != ':' ||
        line[16] != ':' || line[19] != ' ')
        return false;
    for (const std::size_t digit : {11, 12, 14, 15, 17, 18, 20, 21, 22, 23})
        if (line[digit] < '0' || line[digit] > '9') return false;
    return true;
}

// Whether the file starts the way Korvel starts what it writes under that name. A file that cannot be
// read (or is gone) is judged by its name alone, as nothing of a person's can be lost by that.
bool writtenByKorvel(std::string_view path, Output output) {
    switch (output) {
        case Output::RenameLog: {
            // An empty line, a rule, the date of the job, a rule: each job's banner.
            static const std::string kRule(40, '=');
            const std::string banner = "\n" + kRule + "\n";
            const auto start = startOf(path, banner.size() + 128);
            if (!start) return true;
            if (!start->starts_with(banner)) return false;
            const std::string_view rest = std::string_view(*start).substr(banner.size());
            const std::size_t end = rest.find('\n');
            return end != std::string_view::npos && isDateLine(rest.substr(0, end)) &&
                   rest.substr(end + 1).starts_with(kRule);
        }
        case Output::Report: {
            // A rule of 80 dashes first; the header's date line is followed by the credit line.
            constexpr std::size_t kLook = 4096;
            const auto start = startOf(path, kLook);
            if (!start) return true;
            if (!start->starts_with(std::string(80, '-') + "\n")) return false;
            const std::string dated = "\n" + std::string(res::loadString(res::kDirectoryCheckedOn));
            const std::size_t at = start->find(dated);
            if (at == std::string::npos) return false;
            const std::size_t credit = start->find('\n', at + dated.size());
            return credit != std::string::npos &&
                   std::string_view(*start)
                       .substr(credit + 1)
                       .starts_with(
                           res::formatString(res::kReportCredit, res::loadString(res::kProductName)));
        }
        case Output::ExternalPage: {
            const std::string head = externalPageHead();
            const auto start = startOf(path, head.size());
            return !start || *start == head;
        }
    }
    return false;
}

}  // namespace

bool isKorvelOutputFile(std::string_view topDir, std::string_view path) {
    while (!topDir.empty() && topDir.back() == '/')
        topDir.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return false;
    const std::string_view directory = path.substr(0, slash);
    const std::string_view name = path.substr(slash + 1);
    // The name settles almost every call (every link of the site is asked about): the place comes second.
    const bool rename = name == "RENAME.LOG";
    const bool page = name == kExternalPageName;
    if (!rename && !page && name != "REPORT.TXT" && !isReportNumberName(name)) return false;
    const bool placed = directory == topDir ||
                        (rename && directory.size() > topDir.size() &&
                         directory.substr(0, topDir.size()) == topDir && directory[topDir.size()] == '/');
    // The name and place only make it a candidate: a person's own file of that name is a file of the site.
    return placed && writtenByKorvel(path, rename ? Output::RenameLog
                                           : page ? Output::ExternalPage
                                                  : Output::Report);
}

}  // namespace korvel
