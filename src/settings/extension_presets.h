#pragma once
// The two ready-made extension maps: the Windows/NT set shortens long extensions (html to htm, jpeg to jpg,
// ...), the Macintosh/UNIX set lengthens the short ones back.
#include <map>
#include <string>

namespace korvel {

using ExtensionMap = std::map<std::string, std::string>;

const ExtensionMap& windowsExtensionPreset();
const ExtensionMap& macUnixExtensionPreset();

// Which of the choices a map stands for: no mapping, exactly one of the presets, or anything else.
enum class ExtensionPreset { None, Windows, MacUnix, Custom };

// A preset matches only a map of exactly its entries: one entry more, less or different makes the map
// Custom. An empty map is None.
ExtensionPreset extensionPresetOf(const ExtensionMap& map);

// The map of a preset; empty for None and Custom.
ExtensionMap extensionMapFor(ExtensionPreset preset);

}  // namespace korvel
