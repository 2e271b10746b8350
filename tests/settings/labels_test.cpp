#include "settings/labels.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "settings/job_settings.h"

namespace korvel {
namespace {

// Numbers outside the enumerations are named like "no convention", never looked up past a table.
TEST(Labels, ConventionWithItsCaseConversionForAnyNumber) {
    struct Case {
        std::int32_t target;
        std::int32_t caseConversion;
        std::string_view expected;
    };
    for (const Case& c : {Case{kTargetNone, kCaseLower, "All lowercase letters"},
                          Case{7, kCaseUpper, "All uppercase letters"}, Case{INT_MIN, INT_MAX, "None"},
                          Case{kTargetIso9660, kCaseNone, "ISO 9660 (no case change)"},
                          Case{kTargetDos, kCaseLower, "DOS 8.3 FAT (lowercase)"},
                          Case{kTargetVfat, kCaseUpper, "Windows 95 VFAT (uppercase)"},
                          Case{kTargetUnix, -1, "UNIX (no case change)"}}) {
        EXPECT_EQ(conventionWithCaseLabel(c.target, c.caseConversion), c.expected)
            << c.target << "/" << c.caseConversion;
    }
    EXPECT_EQ(conventionLabel(kTargetNone), "");
    EXPECT_EQ(conventionLabel(-3), "");
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
