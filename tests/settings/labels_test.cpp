#include "settings/labels.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "settings/job_settings.h"

namespace korvel {
namespace {

struct ConventionCase {
    std::int32_t target;
    std::int32_t caseConversion;
    std::string_view expected;
};

TEST(Labels, ConventionWithItsCaseConversion) {
    const ConventionCase cases[] = {
        {kTargetNone, kCaseNone, "None"},
        {kTargetNone, kCaseLower, "All lowercase letters"},
        {kTargetNone, kCaseUpper, "All uppercase letters"},
        {kTargetNone, 7, "None"},
        {kTargetIso9660, kCaseNone, "ISO 9660 (no case change)"},
        {kTargetDos, kCaseLower, "DOS 8.3 FAT (lowercase)"},
        {kTargetVfat, kCaseUpper, "Windows 95 VFAT (uppercase)"},
        {kTargetNtfs, kCaseNone, "NTFS (no case change)"},
        {kTargetMacintosh, kCaseLower, "Macintosh (lowercase)"},
        {kTargetUnix, -1, "UNIX (no case change)"},
        // Numbers outside the enumeration are named like "no convention", never looked up past a table.
        {7, kCaseUpper, "All uppercase letters"},
        {-1, kCaseNone, "None"},
        {INT_MIN, INT_MAX, "None"},
    };
    for (const ConventionCase& c : cases) {
        EXPECT_EQ(conventionWithCaseLabel(c.target, c.caseConversion), c.expected)
            << c.target << "/" << c.caseConversion;
    }
}

TEST(Labels, ConventionLabelsOfReports) {
    const std::vector<std::string_view> expected{"",     "ISO 9660",  "DOS 8.3 FAT", "Windows 95 VFAT",
                                                 "NTFS", "Macintosh", "UNIX",        ""};
    for (std::int32_t t = 0; t < static_cast<std::int32_t>(expected.size()); ++t) {
        EXPECT_EQ(conventionLabel(t), expected[static_cast<std::size_t>(t)]) << t;
    }
    EXPECT_EQ(conventionLabel(-3), "");
}

std::vector<std::pair<std::string, std::int32_t>> entries(std::span<const LabelledValue> list) {
    std::vector<std::pair<std::string, std::int32_t>> out;
    for (const LabelledValue& e : list)
        out.emplace_back(std::string(e.label), e.value);
    return out;
}

TEST(Labels, WizardListsShowTheirLabelsInOrderWithTheirValues) {
    using List = std::vector<std::pair<std::string, std::int32_t>>;
    EXPECT_EQ(entries(wizardConventions()), (List{{"None", 0},
                                                  {"ISO 9660", 1},
                                                  {"DOS/Windows 3.x", 2},
                                                  {"Windows 95/NT", 3},
                                                  {"UNIX", 6},
                                                  {"Macintosh", 5}}));
    EXPECT_EQ(entries(wizardLineEnds()),
              (List{{"None", 0}, {"DOS/Windows <CR><LF>", 1}, {"UNIX <LF>", 3}, {"Macintosh <CR>", 2}}));
    EXPECT_EQ(entries(wizardCases()), (List{{"None", 0}, {"All lowercase", 1}, {"All uppercase", 2}}));
}

TEST(Labels, WizardPositionsAndValuesAreSafeOutsideTheLists) {
    EXPECT_EQ(wizardIndexOf(wizardConventions(), kTargetUnix), 4u);
    EXPECT_EQ(wizardIndexOf(wizardConventions(), kTargetMacintosh), 5u);
    EXPECT_EQ(wizardIndexOf(wizardConventions(), kTargetNtfs), std::nullopt);  // not offered
    EXPECT_EQ(wizardIndexOf(wizardLineEnds(), kLineEndMac), 3u);
    EXPECT_EQ(wizardIndexOf(wizardCases(), 9), std::nullopt);
    EXPECT_EQ(wizardValueAt(wizardLineEnds(), 2), kLineEndUnix);
    EXPECT_EQ(wizardValueAt(wizardConventions(), 6, -1), -1);
    EXPECT_EQ(wizardValueAt(wizardCases(), static_cast<std::size_t>(-1)), 0);
}

}  // namespace
}  // namespace korvel
