#pragma once
// A fresh directory for one test, removed with everything in it when the test ends.
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // "path/relative"
    std::string file(std::string_view relative) const;
    // Writes "content" to "relative" (making its folders) and returns the full path.
    std::string write(std::string_view relative, std::string_view content) const;
    // Makes a folder "relative" (and its parents) and returns the full path.
    std::string mkdir(std::string_view relative) const;

  private:
    std::string path_;
};

// Whether "part" occurs in "text" (a report, say).
inline bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The whole content of a file ("" when it cannot be read).
std::string readFile(std::string_view path);
// The permission bits of the entry itself (not behind a link); a failed lookup fails the test.
mode_t modeOf(const std::string& path);
// The names in a directory, sorted byte-wise.
std::vector<std::string> entriesOf(const std::string& dir);
// The text of a job's report file, which is the caller's to remove: read and removed (a missing path or
// an unreadable file fails the test).
std::string takeReport(const std::string& path);

// Every entry below "top" by its path relative to it, with its mode and, for a file, its bytes; the
// external-links page that every job writes into the top directory is left out. Two trees compare equal
// when they hold the same names, bytes and modes.
std::map<std::string, std::string> treeSnapshot(const std::string& top);

// True when the effective user ignores permission bits (root): tests of unreadable files skip then.
bool permissionsAreIgnored();

// Calls "make" as an unprivileged user when the tests run as root (after opening "dir" to everyone), so
// that what it learns of the files' modes is what such a user sees: a file without write bits is
// read-only. A default value when that user cannot be taken on.
template <typename F>
auto asUnprivileged(const TempDir& dir, F make) -> decltype(make()) {
    if (::geteuid() != 0) return make();
    ::chmod(dir.path().c_str(), 0777);
    if (::seteuid(65534) != 0) return {};
    auto made = make();
    if (::seteuid(0) != 0) std::abort();  // the rest of the tests must run as they started
    return made;
}

}  // namespace korvel::testing
