#include "settings/extension_presets.h"

#include <gtest/gtest.h>

#include <string>

namespace korvel {
namespace {

ExtensionMap with(ExtensionMap map, const std::string& from, const std::string& to) {
    map[from] = to;
    return map;
}

ExtensionMap without(ExtensionMap map, const std::string& from) {
    map.erase(from);
    return map;
}

struct PresetCase {
    const char* name;
    ExtensionMap map;
    ExtensionPreset expected;
};

class ExtensionPresetTest : public ::testing::TestWithParam<PresetCase> {};

TEST_P(ExtensionPresetTest, APresetMatchesOnlyAMapOfExactlyItsEntries) {
    EXPECT_EQ(extensionPresetOf(GetParam().map), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Maps, ExtensionPresetTest,
    ::testing::Values(
        PresetCase{"Empty", {}, ExtensionPreset::None},
        PresetCase{"Windows",
                   {{"aiff", "aif"}, {"html", "htm"}, {"jpeg", "jpg"}, {"mpeg", "mpg"}, {"ping", "png"}},
                   ExtensionPreset::Windows},
        PresetCase{"MacUnix",
                   {{"aif", "aiff"}, {"htm", "html"}, {"jpg", "jpeg"}, {"mpg", "mpeg"}, {"png", "ping"}},
                   ExtensionPreset::MacUnix},
        PresetCase{"WindowsWithOneMore", with(windowsExtensionPreset(), "shtml", "htm"),
                   ExtensionPreset::Custom},
        PresetCase{"WindowsWithOneLess", without(windowsExtensionPreset(), "ping"), ExtensionPreset::Custom},
        PresetCase{"WindowsWithOneValueChanged", with(windowsExtensionPreset(), "html", "asp"),
                   ExtensionPreset::Custom},
        PresetCase{"MacUnixWithOneLess", without(macUnixExtensionPreset(), "aif"), ExtensionPreset::Custom},
        // Both presets mixed: each key of one set, but the set of neither.
        PresetCase{"Mixed", {{"aiff", "aif"}, {"htm", "html"}}, ExtensionPreset::Custom},
        PresetCase{"SingleEntry", {{"htm", "html"}}, ExtensionPreset::Custom}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExtensionPresets, EachChoiceGivesBackItsMap) {
    for (ExtensionPreset preset : {ExtensionPreset::None, ExtensionPreset::Windows, ExtensionPreset::MacUnix})
        EXPECT_EQ(extensionPresetOf(extensionMapFor(preset)), preset);
    EXPECT_TRUE(extensionMapFor(ExtensionPreset::Custom).empty());
}

}  // namespace
}  // namespace korvel
