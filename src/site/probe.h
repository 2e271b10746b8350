#pragma once
// The first look at a file: its head, and whether it is HTML, ASCII, and which line ends it uses.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/user_lists.h"

namespace korvel {

// 0 none found, 1 CR LF, 2 CR, 3 LF (the numbers of LineEndConvention).
enum LineEndKind : std::int32_t { kNoLineEnd = 0, kCrLf = 1, kCr = 2, kLf = 3 };

inline constexpr std::size_t kProbeHeadSize = 512;

struct FileProbe {
    std::string path;
    bool exists = false;
    bool isDirectory = false;
    // -1 when the file cannot be opened or is no regular file (FIFO, device, link to a directory); 0 when
    // not read (missing, or a directory).
    std::int64_t size = 0;
    std::int32_t headLength = 0;  // bytes read into head (0 to 512)
    // What the look at an existing entry itself found, so that the node need not look again.
    bool symlink = false;   // a symbolic link (to a regular file, or "special" is set too)
    bool special = false;   // neither a regular file nor a directory, nor a link to a regular file
    bool readOnly = false;  // the owner write bit is clear
    std::string head;  // the first bytes of the file, ASCII letters lower-cased up to the first NUL
};

FileProbe makeProbe(std::string_view path);
// The same for "path", the entry "name" of the directory open as "dirFd".
FileProbe makeProbeAt(int dirFd, std::string_view name, std::string_view path);
// False for a missing path and for a file that could not be read (size -1).
bool isAsciiFile(const FileProbe& probe);
// Reads on from the end of the head, at most to the first 20480 bytes, when the head does not decide.
LineEndKind detectLineEnd(const FileProbe& probe);
bool isHtmlFile(const FileProbe& probe, const HtmlDefinitions& definitions = {});

}  // namespace korvel
