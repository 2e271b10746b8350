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

// The line end that "text" starts with ("\r\n", "\n" or "\r"; an earlier line-end conversion of an old
// log may have changed it), or "" for none.
std::string_view lineEndAt(std::string_view text) {
    for (std::string_view end : {"\r\n", "\n", "\r"})
        if (text.starts_with(end)) return end;
    return {};
}

constexpr std::size_t kLook = 4096;

// Whether "start", the first bytes of a file, begins the way Korvel begins what it writes under that name.
bool beginsAs(Output output, std::string_view start) {
    switch (output) {
        case Output::RenameLog: {
            // An empty line, a rule, the date of the job, a rule: each job's banner.
            static const std::string kRule(40, '=');
            const std::string_view end = lineEndAt(start);
            if (end.empty() || !start.substr(end.size()).starts_with(kRule)) return false;
            const std::string_view rest = start.substr(2 * end.size() + kRule.size());
            if (start.substr(end.size() + kRule.size(), end.size()) != end) return false;
            const std::size_t next = rest.find(end);
            return next != std::string_view::npos && isDateLine(rest.substr(0, next)) &&
                   rest.substr(next + end.size()).starts_with(kRule);
        }
        case Output::Report: {
            // A rule of 80 dashes first; the header's date line is followed by the credit line.
            if (!start.starts_with(std::string(80, '-') + "\n")) return false;
            const std::string dated = "\n" + std::string(res::loadString(res::kDirectoryCheckedOn));
            const std::size_t at = start.find(dated);
            if (at == std::string::npos) return false;
            const std::size_t credit = start.find('\n', at + dated.size());
            return credit != std::string::npos &&
                   start.substr(credit + 1)
                       .starts_with(
                           res::formatString(res::kReportCredit, res::loadString(res::kProductName)));
        }
        case Output::ExternalPage:
            return start.starts_with(externalPageHead());
    }
    return false;
}

// Whether the file at "path" starts as Korvel starts it. A file that cannot be read (or is gone) is
// judged by its name alone, as nothing of a person's can be lost by that.
bool writtenByKorvel(std::string_view path, Output output) {
    const auto start = startOf(path, kLook);
    return !start || beginsAs(output, *start);
}

// The kind of output a name and place make a file a candidate for; nothing for any other file.
std::optional<Output> outputNamed(std::string_view topDir, std::string_view path) {
    while (!topDir.empty() && topDir.back() == '/')
        topDir.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view directory = path.substr(0, slash);
    const std::string_view name = path.substr(slash + 1);
    // The name settles almost every call (every link of the site is asked about): the place comes second.
    const bool rename = name == "RENAME.LOG";
    const bool page = name == kExternalPageName;
    if (!rename && !page && name != "REPORT.TXT" && !isReportNumberName(name)) return std::nullopt;
    const bool placed = directory == topDir ||
                        (rename && directory.size() > topDir.size() &&
                         directory.substr(0, topDir.size()) == topDir && directory[topDir.size()] == '/');
    if (!placed) return std::nullopt;
    return rename ? Output::RenameLog : page ? Output::ExternalPage : Output::Report;
}

}  // namespace

bool isKorvelOutputFile(std::string_view topDir, std::string_view path) {
    // The name and place only make it a candidate: a person's own file of that name is a file of the site.
    const std::optional<Output> output = outputNamed(topDir, path);
    return output && writtenByKorvel(path, *output);
}

std::size_t korvelOutputStartSize() {
    return kLook;
}

bool isKorvelOutputContent(std::string_view topDir, std::string_view path, std::string_view start) {
    const std::optional<Output> output = outputNamed(topDir, path);
    return output && beginsAs(*output, start);
}

}  // namespace korvel
