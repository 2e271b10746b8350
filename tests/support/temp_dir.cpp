#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace korvel::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/korvel-test-XXXXXX";
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests make entries read-only; give the owner every right back so that the tree can be removed.
    for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempDir::file(std::string_view relative) const {
    return path_ + "/" + std::string(relative);
}

std::string TempDir::write(std::string_view relative, std::string_view content) const {
    const std::string full = file(relative);
    fs::create_directories(fs::path(full).parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + full);
    return full;
}

std::string TempDir::mkdir(std::string_view relative) const {
    const std::string full = file(relative);
    fs::create_directories(full);
    return full;
}

std::string readFile(std::string_view path) {
    std::ifstream in(std::string(path), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

std::vector<std::string> entriesOf(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool permissionsAreIgnored() {
    return ::geteuid() == 0;
}

std::string takeReport(const std::string& path) {
    EXPECT_FALSE(path.empty());
    if (path.empty()) return {};
    const std::string text = readFile(path);
    EXPECT_EQ(::unlink(path.c_str()), 0) << path;
    return text;
}

std::map<std::string, std::string> treeSnapshot(const std::string& top) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
        if (entry.path().filename() == "report_of_external_refs.html") continue;
        const std::string path = entry.path().string();
        std::string value = std::to_string(modeOf(path)) + ":";
        if (entry.is_regular_file()) value += readFile(path);
        entries[path.substr(top.size())] = value;
    }
    return entries;
}

}  // namespace korvel::testing
