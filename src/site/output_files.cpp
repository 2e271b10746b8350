#include "site/output_files.h"

#include <algorithm>
#include <string>

#include "report/external_page.h"

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

// A "RENAME.LOG" begins with the banner of the first job that wrote it: a line end, then 40 "=". Any line
// end is taken, as an earlier conversion may have changed it.
const std::string& renameLogRule() {
    static const std::string rule(40, '=');
    return rule;
}

bool beginsAsRenameLog(std::string_view start) {
    for (std::string_view end : {"\r\n", "\n", "\r"})
        if (start.starts_with(end)) return start.substr(end.size()).starts_with(renameLogRule());
    return false;
}

}  // namespace

std::size_t korvelOutputStartSize() {
    return std::max(externalPageHead().size(), 2 + renameLogRule().size());
}

bool isKorvelOutputContent(std::string_view topDir, std::string_view path, std::string_view start) {
    if (!isKorvelOutputFile(topDir, path)) return false;
    const std::string_view name = path.substr(path.rfind('/') + 1);
    if (name == kExternalPageName) return start.starts_with(externalPageHead());
    if (name == "RENAME.LOG") return beginsAsRenameLog(start);
    return true;
}

bool isKorvelOutputFile(std::string_view topDir, std::string_view path) {
    while (!topDir.empty() && topDir.back() == '/')
        topDir.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return false;
    const std::string_view directory = path.substr(0, slash);
    const std::string_view name = path.substr(slash + 1);
    // The name settles almost every call (every link of the site is asked about): the place comes second.
    const bool rename = name == "RENAME.LOG";
    if (!rename && name != "report_of_external_refs.html" && name != "REPORT.TXT" &&
        !isReportNumberName(name))
        return false;
    if (directory == topDir) return true;
    return rename && directory.size() > topDir.size() && directory.substr(0, topDir.size()) == topDir &&
           directory[topDir.size()] == '/';
}

}  // namespace korvel
