#pragma once
// The decisions a front end takes before a job runs: where the site starts, whether the settings can run
// at all, and where a saved report goes. The command line and the desktop program both ask here and only
// word the answers their own way.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvel {
struct HtmlDefinitions;
struct JobSettings;
class UserList;
}  // namespace korvel

namespace korvel::jobs {

// ---- Where the site starts

// The server's default documents: "given" when it names at least one, else the stored list, else the
// usual names. Never empty: with no default documents no directory link could resolve, and every one
// would read as broken. Nothing when "given" names none.
std::optional<std::string> chooseServerDefaults(const std::optional<std::string>& given,
                                                const UserList& stored);

enum class HomePageChoice {
    Chosen,
    LiesOutside,  // the given page is a file outside the top directory: it leads to none of its files
    NoneFound,    // nothing given, and the top directory holds none of the server's default documents
};

// The home page: "given" (relative to "directory" unless absolute), else the first of "serverDefaults"
// that "directory" holds as a file. "page" receives the page chosen (or the given one resolved).
// A given page that is missing is left to the job, which reports it.
HomePageChoice chooseHomePage(const std::optional<std::string>& given, std::string_view directory,
                              std::string_view serverDefaults, std::string& page);

// ---- Whether the settings can run

enum class DirectoryProblem { None, Empty, Missing, NotADirectory, HoldsNothing };

// Whether "directory" can be a job's top directory, the first problem in the order above.
DirectoryProblem topDirectoryProblem(std::string_view directory);

// Whether the job changes files (renames, line ends, rewritten links, moved orphans) in a top directory
// that is read-only. A front end says so, in the words for renaming when the job renames.
bool readOnlyForJob(const JobSettings& settings);

enum class HomePageProblem { None, Empty, TooLong, Outside, Unreadable, NotHtml };

// Whether "page" can be the home page of "directory": named, a path the host can hold, inside the directory
// by whole path components (so "/site2/x.html" is not in "/site"), a file that can be read, and HTML by
// "definitions" (as the job will take it). The first problem in the order above.
HomePageProblem homePageProblem(std::string_view page, std::string_view directory,
                                const HtmlDefinitions& definitions);

// Links in absolute form are made with the server's name: a job converting to them needs one.
bool serverMissing(const JobSettings& settings);

// A fix that would neither rename, nor convert line ends, nor look at links.
bool noActionChosen(const JobSettings& settings);

// What a short-name target (ISO 9660, DOS 8.3) makes of the extension mapping.
struct ExtensionWarning {
    enum class Kind {
        None,
        NoMapping,      // long extensions will only be cut to three characters: a common mapping may suit
        LongExtension,  // "extension", the first mapped-to extension, is longer than three characters
    };
    Kind kind = Kind::None;
    std::string extension;
};
ExtensionWarning shortExtensionWarning(const JobSettings& settings);

// The first old extension that "mappings" (old, new) map more than once, compared as the map keys them
// ("HTM" and ".htm" are "htm"); nothing when each is mapped once. A map keeps only one of them, so the
// person must choose.
std::optional<std::string> repeatedMapping(const std::vector<std::pair<std::string, std::string>>& mappings);

// Whether "pattern" can name files that are never orphans: not empty, and one line (the settings file keeps
// one pattern a line).
bool validKeepPattern(std::string_view pattern);

enum class MoveProblem { None, NotADirectory, InsideSite };

// Whether orphans can be moved below "destination": an existing directory, and not the site "directory"
// or anything below it (where the orphans would still be part of the site).
MoveProblem moveDestinationProblem(std::string_view destination, std::string_view directory);

// ---- The report

// The name proposed for saving a report: "REPORT.TXT" in "directory", else "REPORT_1.TXT",
// "REPORT_2.TXT", ..., the first that names nothing yet.
std::string defaultReportName(std::string_view directory);

}  // namespace korvel::jobs
