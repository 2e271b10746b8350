#pragma once
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace korvel::cli {

// The report's form: the text a person reads, or the JSON document a program reads.
enum class ReportFormat { Text, Json };

struct CheckOptions {
    std::string directory;
    std::string settingsPath;
    std::optional<int> target;
    std::optional<int> caseConversion;
    std::vector<std::string> maps;  // "OLD=NEW"
    std::optional<std::string> mapPreset;
    bool filesOnly = false;
    bool noSubdirs = false;
    bool saveSettings = false;
    std::string reportFile;  // "" or "-": standard output
    ReportFormat format = ReportFormat::Text;
    std::optional<std::string> homePage;  // default: guessed from the server's default documents
    std::optional<std::string> server;
    std::optional<int> links;                   // AbsRelCnvrt
    std::optional<std::string> serverDefaults;  // ";"-separated
    std::optional<bool> reportBroken, reportAnchors, reportOrphans, reportExternal, reportTimes;
    std::vector<std::string> keep;  // patterns of files that are never orphans; replace the stored ones
    bool keepNone = false;          // forget the stored patterns
};

// "korvel check DIR": runs the check job and writes its report.
int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korvel::cli
