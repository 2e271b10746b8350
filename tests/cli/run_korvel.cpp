#include "cli/run_korvel.h"

#include <cstdlib>
#include <sstream>

#include "cli/commands.h"

namespace korvel::cli {

namespace {
Lines splitLines(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
}  // namespace

Result runKorvel(std::vector<std::string> args) {
    args.insert(args.begin(), "korvel");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out;
    std::ostringstream err;
    Result result;
    result.status = run(static_cast<int>(argv.size()), argv.data(), out, err);
    result.out = splitLines(out.str());
    result.err = splitLines(err.str());
    return result;
}

SettingsFile::SettingsFile(std::string_view content)
    : path_(dir_.write("korvel.ini", content)), var_("KORVEL_SETTINGS", path_) {}

}  // namespace korvel::cli
