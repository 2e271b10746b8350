#include "platform/locations.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/dir_list.h"
#include "platform/disk.h"
#include "platform/paths.h"

namespace korvel::platform {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The XDG base directories must be absolute; a relative one is ignored, as if unset.
std::string xdgDirectory(const char* name) {
    std::string value = environment(name);
    return !value.empty() && value.front() == kSeparator ? value : std::string();
}

std::string homeDirectory() {
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

// "$HOME/relative", or "" when there is no home directory to put it in.
std::string underHome(std::string_view relative) {
    const std::string home = homeDirectory();
    return home.empty() ? std::string() : joinPath(home, relative);
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string settingsFilePath(std::string_view override) {
    if (!override.empty()) return std::string(override);
    if (std::string path = environment("KORVEL_SETTINGS"); !path.empty()) return path;
    if (std::string config = xdgDirectory("XDG_CONFIG_HOME"); !config.empty()) {
        return joinPath(config, "korvel/korvel.ini");
    }
    return underHome(".config/korvel/korvel.ini");
}

std::string stateDirectory() {
    if (std::string state = xdgDirectory("XDG_STATE_HOME"); !state.empty()) return joinPath(state, "korvel");
    return underHome(".local/state/korvel");
}

std::string scratchDirectory() {
    const std::string dir = temporaryDirectory();
    static std::mutex mutex;
    static std::set<std::string> cleared;
    const std::lock_guard lock(mutex);
    if (!cleared.insert(dir).second) return dir;
    std::vector<std::string> names;
    listDirectory(dir, names);
    for (const std::string& name : names) {
        // "el_PID_XXXXXX"
        unsigned long pid = 0;
        const char* digits = name.data() + std::min<std::size_t>(3, name.size());
        const auto [end, ec] = std::from_chars(digits, name.data() + name.size(), pid);
        if (!name.starts_with("el_") || ec != std::errc() || end == name.data() + name.size() ||
            *end != '_' || pid == 0)
            continue;
        const std::string path = joinPath(dir, name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) ::unlink(path.c_str());
    }
    return dir;
}

bool makeDirectories(std::string_view path, std::error_code* error) {
    std::error_code ignored;
    std::error_code& ec = error ? *error : ignored;
    ec.clear();
    if (path.empty()) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return false;
    }
    // Each prefix that ends before a separator, then the whole path.
    for (std::size_t end = path.find(kSeparator, 1);; end = path.find(kSeparator, end + 1)) {
        const std::string prefix(path.substr(0, end));
        if (!prefix.empty() && prefix.back() != kSeparator && disk().mkdir(prefix.c_str(), 0755) != 0) {
            const int err = errno;
            // Whatever is there already must be a directory (or a link to one) to build on.
            if (!isDirectory(prefix)) {
                ec = std::error_code(err == EEXIST ? ENOTDIR : err, std::system_category());
                return false;
            }
        }
        if (end == std::string_view::npos) break;
    }
    return true;
}

}  // namespace korvel::platform
