#include "settings/extension_presets.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(ExtensionPresets, APresetMatchesOnlyAMapOfExactlyItsEntries) {
    for (ExtensionPreset preset : {ExtensionPreset::None, ExtensionPreset::Windows, ExtensionPreset::MacUnix})
        EXPECT_EQ(extensionPresetOf(extensionMapFor(preset)), preset);
    EXPECT_TRUE(extensionMapFor(ExtensionPreset::Custom).empty());
    EXPECT_EQ(windowsExtensionPreset().at("html"), "htm");  // the Windows set shortens
    EXPECT_EQ(macUnixExtensionPreset().at("htm"), "html");

    ExtensionMap more = windowsExtensionPreset();
    more["shtml"] = "htm";
    ExtensionMap less = macUnixExtensionPreset();
    less.erase("aif");
    ExtensionMap changed = windowsExtensionPreset();
    changed["html"] = "asp";
    // Each key of one set, but the set of neither.
    const ExtensionMap mixed{{"aiff", "aif"}, {"htm", "html"}};
    for (const ExtensionMap& map : {more, less, changed, mixed})
        EXPECT_EQ(extensionPresetOf(map), ExtensionPreset::Custom) << map.size();
}

}  // namespace
}  // namespace korvel
