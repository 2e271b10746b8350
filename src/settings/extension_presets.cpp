#include "settings/extension_presets.h"

namespace korvel {

const ExtensionMap& windowsExtensionPreset() {
    static const ExtensionMap kMap{
        {"aiff", "aif"}, {"html", "htm"}, {"jpeg", "jpg"}, {"mpeg", "mpg"}, {"ping", "png"},
    };
    return kMap;
}

const ExtensionMap& macUnixExtensionPreset() {
    static const ExtensionMap kMap{
        {"aif", "aiff"}, {"htm", "html"}, {"jpg", "jpeg"}, {"mpg", "mpeg"}, {"png", "ping"},
    };
    return kMap;
}

ExtensionPreset extensionPresetOf(const ExtensionMap& map) {
    if (map.empty()) return ExtensionPreset::None;
    if (map == windowsExtensionPreset()) return ExtensionPreset::Windows;
    if (map == macUnixExtensionPreset()) return ExtensionPreset::MacUnix;
    return ExtensionPreset::Custom;
}

ExtensionMap extensionMapFor(ExtensionPreset preset) {
    switch (preset) {
        case ExtensionPreset::Windows:
            return windowsExtensionPreset();
        case ExtensionPreset::MacUnix:
            return macUnixExtensionPreset();
        case ExtensionPreset::None:
        case ExtensionPreset::Custom:
            break;
    }
    return {};
}

}  // namespace korvel
