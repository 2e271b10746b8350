#pragma once
// What each target file system allows in a name, and how long a name and its full path may be there.
// Pure functions of the target (and, for the budget, of the node's place in the tree). The labels that name
// a convention live in settings/labels.h (conventionLabel, conventionWithCaseLabel).
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvel {
class Node;
}

namespace korvel::names {

struct NameLimits {
    std::int32_t maxNameLength = 0;  // bytes, extension and dot included
    std::int32_t maxPathLength = 0;  // the directory path with its trailing "/", plus the name
    char replacement = '_';          // what the uniqueness suffix puts before its counter
};

// Linux holds at most this many bytes in one name (NAME_MAX), whatever the target says.
inline constexpr std::int32_t kHostMaxName = 255;
// A directory deeper than this makes the conversion pass warn once.
inline constexpr std::size_t kPathWarningThreshold = 220;

// The limits of "target"; a value outside the enumeration is treated as no target. With no target the
// budgets are the host's: 255 bytes per name and the host's longest path.
NameLimits getNameLimits(std::int32_t target);

// The characters the target's table removes, as a string in table order (quotation mark first). Empty for
// no target and for ISO 9660 (which keeps only isIsoCharacter).
std::string_view forbiddenCharacters(std::int32_t target);

// ASCII letters and digits, "." and "_"; never a byte of 128 or more. Independent of the locale.
bool isIsoCharacter(char c);

// Whether "c" may stay in a name for "target": the target's own rule, plus what a file system refuses
// whatever the table says: "/" and NUL everywhere (they can never be part of a name), and the control
// bytes 0x01-0x1F on DOS, VFAT and NTFS (and 0x7F on DOS).
bool isAllowedCharacter(std::int32_t target, char c);

// Whether the target holds names without regard to the case of the letters, so that "DUP.HTM" and
// "dup.htm" are one name there: ISO 9660, DOS, VFAT, NTFS and Macintosh (HFS+ as formatted by default).
// UNIX and no target tell them apart.
bool isCaseBlind(std::int32_t target);

// Whether "name" is a device name the target cannot hold as a file: CON, PRN, AUX, NUL, COM1-COM9 and
// LPT1-LPT9, in any case, alone or before any extension ("con.html", "Aux.tar.gz"), on DOS, VFAT and NTFS.
// ISO 9660 too: such a disc is read by DOS and Windows, which open the device for that name on any drive.
bool isReservedDeviceName(std::int32_t target, std::string_view name);

// ISO 9660 and DOS 8.3 FAT: at most one dot, 8 bytes before it and 3 after it.
bool hasShortNameStructure(std::int32_t target);

// The longest name "node" may have for "target": the smaller of the name limit and what the path budget
// leaves after the node's directory path (with ancestors' new names). Zero or negative when the path leaves
// no room at all.
std::int32_t effectiveMaxNameLength(const Node& node, std::int32_t target);

// The largest cut of "text" at most "maxBytes" long that ends on a UTF-8 character boundary (a byte that is
// not part of a valid UTF-8 character counts as a character of its own).
std::size_t cutPoint(std::string_view text, std::size_t maxBytes);

}  // namespace korvel::names
