#include "platform/trash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/disk.h"
#include "platform/files.h"
#include "platform/locations.h"
#include "platform/paths.h"

namespace korvel::platform {

namespace {

// NAME_MAX where the file system does not say.
constexpr long kHostNameMax = 255;

// The home trash's parent: $XDG_DATA_HOME when absolute, else ~/.local/share; "" when neither is known.
std::string dataHome() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        // A relative one would put the trash wherever the process happens to be.
        return data[0] == kSeparator ? std::string(data) : std::string();
    }
    const char* home = std::getenv("HOME");
    return home && *home ? joinPath(home, ".local/share") : std::string();
}

// Makes "dir" readable by its owner alone unless it exists; anything but a directory there is an error.
std::error_code ensurePrivateDirectory(const std::string& dir) {
    if (disk().mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {errno, std::system_category()};
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return {errno, std::system_category()};
    if (!S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::not_a_directory);
    return {};
}

std::string userSuffix() {
    return std::to_string(::getuid());
}

// The device of "path", or of its deepest existing ancestor.
bool deviceOf(std::string path, dev_t& device) {
    for (;;) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        if (path.empty() || path == "/") return false;
        path = std::string(parentPath(path));
        if (path.empty()) path = "/";
    }
}

// The top directory of the file system "path" is on; "" when "path" cannot be resolved.
std::string mountTop(std::string_view path) {
    std::string top = canonicalPath(path);
    dev_t device = 0;
    if (top.empty() || !deviceOf(top, device)) return {};
    while (top != "/") {
        std::string parent(parentPath(top));
        if (parent.empty()) parent = "/";
        struct stat st {};
        if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device) break;
        top = std::move(parent);
    }
    return top;
}

}  // namespace

std::string homeTrashDirectory() {
    const std::string data = dataHome();
    return data.empty() ? std::string() : joinPath(data, "Trash");
}

std::vector<std::string> trashDirectories(std::string_view path) {
    std::vector<std::string> out;
    if (const std::string data = dataHome(); !data.empty()) out.push_back(joinPath(data, "Trash"));
    if (const std::string top = mountTop(path); !top.empty()) {
        out.push_back(joinPath(top, ".Trash"));
        out.push_back(joinPath(top, ".Trash-" + userSuffix()));
    }
    return out;
}

std::string trashDirectoryFor(std::string_view path) {
    const std::string data = dataHome();
    const char* home = std::getenv("HOME");
    dev_t fileDevice = 0;
    dev_t homeDevice = 0;
    // Qt takes the home trash for a file on the home directory's file system.
    if (!home || !*home || !deviceOf(canonicalPath(path), fileDevice) || !deviceOf(home, homeDevice) ||
        fileDevice == homeDevice) {
        return data.empty() ? std::string() : joinPath(data, "Trash");
    }
    const std::string top = mountTop(path);
    if (top.empty()) return data.empty() ? std::string() : joinPath(data, "Trash");
    // A shared ".Trash" counts only as the system provides it: a real directory with the sticky bit.
    const std::string shared = joinPath(top, ".Trash");
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX))
        return joinPath(shared, userSuffix());
    return joinPath(top, ".Trash-" + userSuffix());
}

std::size_t longestTrashableName(std::string_view path, std::string_view homeInfoDirectory) {
    // The info file is "<name>.trashinfo", or "<name>-NNNN.trashinfo" when the name is taken already; room
    // is kept for a counter of up to six digits.
    constexpr std::size_t kInfoSuffix = std::char_traits<char>::length(".trashinfo");
    constexpr std::size_t kCounter = std::char_traits<char>::length("-000000");
    long nameMax = kHostNameMax;
    // The file goes to the home trash or to one at the top of its own file system: the stricter counts.
    for (const std::string& dir : {std::string(homeInfoDirectory), std::string(parentPath(path))}) {
        if (dir.empty()) continue;
        errno = 0;
        const long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
        if (limit > 0) nameMax = std::min(nameMax, limit);
    }
    const auto room = static_cast<std::size_t>(nameMax);
    return room > kInfoSuffix + kCounter ? room - kInfoSuffix - kCounter : 0;
}

std::error_code moveToTrash(std::string_view path, std::string* trashedPath) {
    const std::string p(path);
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return {errno, std::system_category()};

    // Qt works on Unicode names: a name that does not survive the round trip would name another file.
    const QString name = QFile::decodeName(QByteArray(p.data(), static_cast<qsizetype>(p.size())));
    const QByteArray encoded = QFile::encodeName(name);
    if (std::string_view(encoded.constData(), static_cast<std::size_t>(encoded.size())) != path) {
        return std::make_error_code(std::errc::illegal_byte_sequence);
    }

    // The home trash must exist beforehand: where Qt cannot make it, it falls back to a trash relative to
    // the current directory.
    const std::string data = dataHome();
    if (data.empty()) return FileError::NotTrashed;
    std::error_code ec;
    if (!makeDirectories(data, &ec)) return ec;
    const std::string trash = joinPath(data, "Trash");
    for (const std::string& dir : {trash, joinPath(trash, "files"), joinPath(trash, "info")}) {
        if (auto dirEc = ensurePrivateDirectory(dir)) return dirEc;
    }

    // Qt retries a trash info file it cannot create under ever new numbers, for ever when the name is too
    // long: such a name is refused here.
    if (lastComponent(path).size() > longestTrashableName(p, joinPath(trash, "info"))) {
        return std::make_error_code(std::errc::filename_too_long);
    }

    QString where;
    if (!QFile::moveToTrash(name, &where)) return FileError::NotTrashed;
    if (trashedPath) {
        const QByteArray whereBytes = QFile::encodeName(where);
        trashedPath->assign(whereBytes.constData(), static_cast<std::size_t>(whereBytes.size()));
    }
    return {};
}

}  // namespace korvel::platform
