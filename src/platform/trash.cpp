#include "platform/trash.h"

#include <sys/stat.h>

#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/disk.h"
#include "platform/files.h"
#include "platform/locations.h"
#include "platform/paths.h"

namespace korvel::platform {

namespace {

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

}  // namespace

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

    QString where;
    if (!QFile::moveToTrash(name, &where)) return FileError::NotTrashed;
    if (trashedPath) {
        const QByteArray whereBytes = QFile::encodeName(where);
        trashedPath->assign(whereBytes.constData(), static_cast<std::size_t>(whereBytes.size()));
    }
    return {};
}

}  // namespace korvel::platform
