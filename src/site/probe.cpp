#include "site/probe.h"
#include "platform/ascii.h"

#include <fcntl.h>

#include <algorithm>
#include <string_view>

#include "platform/attributes.h"
#include "platform/file_info.h"

namespace korvel {

namespace {

// The line-end search looks no further than this many bytes into a file.
constexpr std::int64_t kLineEndSearchLimit = 20480;

std::string asciiLowered(std::string_view text) { return platform::asciiLower(text); }

// The head is handled as a C string was: lower-casing and the substring tests stop at its first NUL.
std::string_view untilNul(std::string_view bytes) {
    return bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
}

// Where the first CR or LF of "block" lies before the block's first NUL; npos when there is none.
std::size_t firstLineEnd(std::string_view block) {
    return untilNul(block).find_first_of("\r\n");
}

// The kind a line end at "pos" of "block" gives. "after" is the byte that follows the block in the file
// (-1 when the block ends at the end of the file or that byte could not be read).
LineEndKind kindAt(std::string_view block, std::size_t pos, int after) {
    if (block[pos] == '\n') return kLf;
    const int next = pos + 1 < block.size() ? static_cast<unsigned char>(block[pos + 1]) : after;
    return next == '\n' ? kCrLf : kCr;
}

}  // namespace

FileProbe makeProbe(std::string_view path) {
    return makeProbeAt(AT_FDCWD, path, path);
}

FileProbe makeProbeAt(int dirFd, std::string_view name, std::string_view path) {
    FileProbe probe;
    probe.path = std::string(path);

    platform::FileInfo info;
    if (platform::fileInfoAt(dirFd, name, info) || info.kind == platform::EntryKind::Missing) return probe;
    probe.exists = true;
    probe.symlink = info.isSymlink;
    probe.special = info.kind == platform::EntryKind::Other;
    probe.readOnly = platform::isReadOnlyAt(dirFd, name);
    if (info.kind == platform::EntryKind::Directory) {
        probe.isDirectory = true;
        return probe;
    }
    // Sockets, FIFOs, devices and links to anything but a regular file are never opened: reading them could
    // block or have side effects. Like any file that cannot be opened, they have size -1.
    probe.size = -1;
    if (info.kind != platform::EntryKind::File) return probe;

    platform::ReadFile file;
    if (file.openAt(dirFd, name)) return probe;
    char buffer[kProbeHeadSize];
    std::error_code ec;
    const std::int64_t got = file.readAt(0, buffer, sizeof buffer, ec);
    if (got < 0) return probe;
    probe.size = file.sizeAtOpen();
    probe.head.assign(buffer, static_cast<std::size_t>(got));
    const std::size_t lowerEnd = untilNul(probe.head).size();
    std::transform(probe.head.begin(), probe.head.begin() + static_cast<std::ptrdiff_t>(lowerEnd),
                   probe.head.begin(), [](char c) { return platform::asciiLower(c); });
    probe.headLength = static_cast<std::int32_t>(got);
    return probe;
}

bool isAsciiFile(const FileProbe& probe) {
    // A file whose bytes could not be read is never taken for text: a later pass would rewrite it blind.
    if (!probe.exists || probe.size < 0) return false;
    const std::string_view head(probe.head.data(), static_cast<std::size_t>(probe.headLength));
    return std::none_of(head.begin(), head.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 128 && byte != 169;
    });
}

LineEndKind detectLineEnd(const FileProbe& probe) {
    if (!probe.exists || probe.isDirectory || probe.size < 0) return kNoLineEnd;

    const std::string_view head(probe.head.data(), static_cast<std::size_t>(probe.headLength));
    const std::size_t inHead = firstLineEnd(head);
    if (inHead != std::string_view::npos && (head[inHead] == '\n' || inHead + 1 < head.size())) {
        return kindAt(head, inHead, -1);
    }

    platform::ReadFile file;
    const bool crEndsHead = inHead != std::string_view::npos;
    if (file.open(probe.path)) return crEndsHead ? kCr : kNoLineEnd;
    std::error_code ec;
    const auto start = static_cast<std::int64_t>(probe.headLength);

    // A CR at the last byte of the head: the next byte of the file decides; none (or a failed read) means CR.
    if (crEndsHead) {
        char next = 0;
        return file.readAt(start, &next, 1, ec) == 1 && next == '\n' ? kCrLf : kCr;
    }

    // The rest of the search goes block by block (512 bytes each, from the end of the head) while fewer than
    // the limit have been read. One read covers all those blocks and the byte after the last, which decides a
    // CR that ends it; the blocks are then searched exactly as if read one at a time.
    const auto blockSize = static_cast<std::int64_t>(kProbeHeadSize);
    const std::int64_t blocks = (kLineEndSearchLimit - start + blockSize - 1) / blockSize;
    const auto blocksLength = static_cast<std::size_t>(blocks * blockSize);
    std::string rest(blocksLength + 1, '\0');
    const std::int64_t got = file.readAt(start, rest.data(), rest.size(), ec);
    rest.resize(got > 0 ? static_cast<std::size_t>(got) : 0);

    const std::string_view all(rest);
    const std::size_t blocksEnd = std::min(all.size(), blocksLength);
    for (std::size_t offset = 0; offset < blocksEnd; offset += kProbeHeadSize) {
        const std::string_view block = all.substr(offset, kProbeHeadSize);
        const std::size_t pos = firstLineEnd(block);
        if (pos == std::string_view::npos) continue;
        const std::size_t after = offset + block.size();
        return kindAt(block, pos, after < all.size() ? static_cast<unsigned char>(all[after]) : -1);
    }
    return kNoLineEnd;
}

bool isHtmlFile(const FileProbe& probe, const HtmlDefinitions& definitions) {
    // The extension is taken from the whole path, so a dot in a directory name yields an "extension"
    // holding a "/", which no list item matches.
    const std::size_t dot = probe.path.rfind('.');
    const std::string extension =
        dot == std::string::npos ? std::string() : asciiLowered(probe.path.substr(dot + 1));
    for (const auto& item : definitions.extensions) {
        // An empty item would make every name without an extension HTML.
        if (!item.empty() && asciiLowered(item) == extension) return true;
    }

    if (definitions.literalTexts.empty()) return false;
    const std::string_view head =
        untilNul(std::string_view(probe.head.data(), static_cast<std::size_t>(probe.headLength)));
    return std::all_of(definitions.literalTexts.begin(), definitions.literalTexts.end(),
                       [&](const std::string& text) { return head.find(asciiLowered(text)) != head.npos; });
}

}  // namespace korvel
