#include "jobs/job_setup.h"

#include <set>

#include "html/url.h"
#include "platform/attributes.h"
#include "platform/dir_list.h"
#include "platform/file_info.h"
#include "platform/paths.h"
#include "settings/job_settings.h"
#include "settings/user_lists.h"
#include "site/probe.h"

namespace korvel::jobs {

namespace {

bool isFile(const std::string& path) {
    platform::FileInfo info;
    return !platform::fileInfo(path, info) && info.kind == platform::EntryKind::File;
}

bool isDirectory(std::string_view path) {
    platform::FileInfo info;
    return !platform::fileInfo(path, info) && info.kind == platform::EntryKind::Directory;
}

}  // namespace

std::optional<std::string> chooseServerDefaults(const std::optional<std::string>& given,
                                                const UserList& stored) {
    if (given) {
        if (parseServerDefaults(*given).empty()) return std::nullopt;
        return *given;
    }
    std::string chosen = serverDefaultFilesOrStandIn(stored);
    if (parseServerDefaults(chosen).empty()) chosen = std::string(kServerDefaultStandIn);
    return chosen;
}

HomePageChoice chooseHomePage(const std::optional<std::string>& given, std::string_view directory,
                              std::string_view serverDefaults, std::string& page) {
    if (given) {
        page = !given->empty() && given->front() == platform::kSeparator
                   ? *given
                   : platform::joinPath(directory, *given);
        if (isFile(page) && !platform::liesWithin(page, directory)) return HomePageChoice::LiesOutside;
        return HomePageChoice::Chosen;
    }
    for (const auto& name : parseServerDefaults(serverDefaults)) {
        std::string candidate = platform::joinPath(directory, name);
        if (isFile(candidate)) {
            page = std::move(candidate);
            return HomePageChoice::Chosen;
        }
    }
    return HomePageChoice::NoneFound;
}

DirectoryProblem topDirectoryProblem(std::string_view directory) {
    if (directory.empty()) return DirectoryProblem::Empty;
    platform::FileInfo info;
    if (platform::fileInfo(directory, info) || info.kind == platform::EntryKind::Missing)
        return DirectoryProblem::Missing;
    if (info.kind != platform::EntryKind::Directory) return DirectoryProblem::NotADirectory;
    std::vector<std::string> names;
    if (platform::listDirectory(directory, names) || names.empty()) return DirectoryProblem::HoldsNothing;
    return DirectoryProblem::None;
}

bool readOnlyForJob(const JobSettings& s) {
    const bool changes = (s.Rename && namesCanChange(s)) || s.LineEnd != kLineEndNone ||
                         (s.UpdateUrls && s.AbsRelCnvrt != kUrlKeep) || s.RemoveOrphans;
    return changes && platform::isReadOnly(s.Directory);
}

HomePageProblem homePageProblem(std::string_view page, std::string_view directory,
                                const HtmlDefinitions& definitions) {
    if (page.empty()) return HomePageProblem::Empty;
    if (page.size() >= platform::kMaxPath) return HomePageProblem::TooLong;
    if (!platform::liesWithin(page, directory)) return HomePageProblem::Outside;
    const FileProbe probe = makeProbe(page);
    // Not "ASCII only": a page in UTF-8 is as good a home page as any, and the job reads it as such.
    if (!probe.exists || probe.isDirectory || probe.size < 0) return HomePageProblem::Unreadable;
    if (!isHtmlFile(probe, definitions)) return HomePageProblem::NotHtml;
    return HomePageProblem::None;
}

bool serverMissing(const JobSettings& settings) {
    return !settings.FilesOnly && settings.AbsRelCnvrt == kUrlAbsolute && settings.Server.empty();
}

bool noActionChosen(const JobSettings& settings) {
    return !namesCanChange(settings) && settings.LineEnd == kLineEndNone && settings.FilesOnly;
}

ExtensionWarning shortExtensionWarning(const JobSettings& settings) {
    if (settings.Target != kTargetIso9660 && settings.Target != kTargetDos) return {};
    if (settings.FilenameExtensions.empty()) return {ExtensionWarning::Kind::NoMapping, {}};
    for (const auto& [from, to] : settings.FilenameExtensions)
        if (to.size() > 3) return {ExtensionWarning::Kind::LongExtension, to};
    return {};
}

std::optional<std::string> repeatedMapping(const std::vector<std::pair<std::string, std::string>>& mappings) {
    std::set<std::string> seen;
    for (const auto& mapping : mappings) {
        std::string from = normaliseOldExtension(mapping.first);
        if (!seen.insert(from).second) return from;
    }
    return std::nullopt;
}

bool validKeepPattern(std::string_view pattern) {
    return !pattern.empty() && pattern.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

MoveProblem moveDestinationProblem(std::string_view destination, std::string_view directory) {
    if (destination.empty() || !isDirectory(destination)) return MoveProblem::NotADirectory;
    if (platform::isAtOrBelow(destination, directory)) return MoveProblem::InsideSite;
    return MoveProblem::None;
}

std::string defaultReportName(std::string_view directory) {
    std::string name = platform::joinPath(directory, "REPORT.TXT");
    for (int n = 1;; ++n) {
        platform::FileInfo info;
        // A name that cannot be looked at counts as free: saving there says why it failed.
        if (platform::fileInfo(name, info) || info.kind == platform::EntryKind::Missing) return name;
        name = platform::joinPath(directory, "REPORT_" + std::to_string(n) + ".TXT");
    }
}

}  // namespace korvel::jobs
