#include "report/settings_summary.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/extension_presets.h"

namespace korvel {
namespace {

JobSettings allReportsOn() {
    JobSettings s;
    s.Directory = "/srv/site";
    s.HomePage = "/srv/site/index.html";
    s.Server = "www.example.org";
    s.UseSubdirs = true;
    s.ReportUnresolvedRefs = true;
    s.ReportBrokenAnchors = true;
    s.ReportUnusedFiles = true;
    s.ReportExternalRefs = true;
    s.ReportEstimated = true;
    return s;
}

const std::string kReports =
    "Report HTML references for local files which can't be found\n"
    "Report links to a \"#fragment\" which can't be found in the page they lead to\n"
    "Report local files which are unused in the Web hierarchy\n"
    "Report external URLs which are referenced by the site\n"
    "Report page sizes and estimated download times\n";

TEST(SettingsSummary, CheckJobOffersSuggestionsAndChecksUrls) {
    JobSettings s = allReportsOn();
    s.Target = kTargetDos;
    s.CaseConv = kCaseLower;
    s.AutoFileName = true;
    EXPECT_EQ(settingsSummary(s),
              "Directory:  /srv/site\n"
              "Home Page:  /srv/site/index.html\n"
              "Using subdirectories\n"
              "\n"
              "Filename convention: DOS 8.3 FAT (lowercase)\n"
              "Do not rename files, just offer suggestions\n"
              "\n"
              "Check URLs for server: \"www.example.org\"\n" +
                  kReports);
}

TEST(SettingsSummary, FixJobRenamesConvertsLineEndsAndUpdatesUrls) {
    JobSettings s = allReportsOn();
    s.Target = kTargetUnix;
    s.LogSubdirs = true;
    s.Rename = true;
    s.UpdateUrls = true;
    s.LineEnd = kLineEndMac;
    s.AbsRelCnvrt = kUrlRelative;
    s.FilenameExtensions = macUnixExtensionPreset();
    EXPECT_EQ(settingsSummary(s),
              "Directory:  /srv/site\n"
              "Home Page:  /srv/site/index.html\n"
              "Using subdirectories (make local log in each subdirectory)\n"
              "\n"
              "Filename convention: UNIX (no case change)\n"
              "Rename Web files to use Mac/UNIX \".html\", \".jpeg\", etc. filename extensions\n"
              "Rename the files now (prompt for each filename change)\n"
              "Convert to relative URLs (e.g.: \"../imgs/pict.gif\")\n"
              "\n"
              "ASCII line end conversion: Macintosh <CR>\n"
              "\n"
              "Update URLs for server: \"www.example.org\"\n" +
                  kReports);
}

TEST(SettingsSummary, FilesOnlyLeavesOutTheHomePageAndEveryUrlLine) {
    JobSettings s = allReportsOn();
    s.FilesOnly = true;
    s.UseSubdirs = false;
    s.LogSubdirs = true;  // means nothing without subdirectories
    EXPECT_EQ(settingsSummary(s),
              "Directory:  /srv/site\n"
              "\n"
              "Filename convention: None\n"
              "\n"
              "Do not check URL references\n");
}

TEST(SettingsSummary, OnlyTheReportsAskedForAreListed) {
    JobSettings s = allReportsOn();
    s.ReportUnresolvedRefs = false;
    s.ReportEstimated = false;
    const std::string summary = settingsSummary(s);
    EXPECT_TRUE(
        summary.ends_with("Check URLs for server: \"www.example.org\"\n"
                          "Report links to a \"#fragment\" which can't be found in the page they lead to\n"
                          "Report local files which are unused in the Web hierarchy\n"
                          "Report external URLs which are referenced by the site\n"))
        << summary;
}

// The lines between the first blank line and the next: the names and links part.
std::string namesPart(const JobSettings& s) {
    const std::string summary = settingsSummary(s);
    const std::size_t start = summary.find("\n\n") + 2;
    return summary.substr(start, summary.find("\n\n", start) + 1 - start);
}

struct NamesCase {
    const char* name;
    std::int32_t target, caseConv;
    ExtensionMap map;
    bool rename, autoName;
    std::int32_t urls;
    std::string expected;
};

class SettingsSummaryNamesTest : public ::testing::TestWithParam<NamesCase> {};

TEST_P(SettingsSummaryNamesTest, NamesTheConventionTheMappingAndWhatHappensToNames) {
    JobSettings s = allReportsOn();
    s.Target = GetParam().target;
    s.CaseConv = GetParam().caseConv;
    s.FilenameExtensions = GetParam().map;
    s.Rename = GetParam().rename;
    s.AutoFileName = GetParam().autoName;
    s.AbsRelCnvrt = GetParam().urls;
    EXPECT_EQ(namesPart(s), GetParam().expected);
}

const std::string kWindowsLine =
    "Rename Web files to use Windows \".htm\", \".jpg\", etc. filename extensions\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsSummaryNamesTest,
    ::testing::Values(
        // Nothing changes names: no line about renaming.
        NamesCase{
            "NoChange", kTargetNone, kCaseNone, {}, true, false, kUrlKeep, "Filename convention: None\n"},
        NamesCase{
            "CaseAlone",
            kTargetNone,
            kCaseUpper,
            {},
            false,
            true,
            kUrlKeep,
            "Filename convention: All uppercase letters\nDo not rename files, just offer suggestions\n"},
        NamesCase{"Iso",
                  kTargetIso9660,
                  kCaseUpper,
                  {},
                  true,
                  true,
                  kUrlKeep,
                  "Filename convention: ISO 9660 (uppercase)\nRename the files now\n"},
        NamesCase{"Vfat",
                  kTargetVfat,
                  kCaseNone,
                  {},
                  false,
                  false,
                  kUrlKeep,
                  "Filename convention: Windows 95 VFAT (no case change)\n"
                  "Do not rename files, just offer suggestions (prompt for each filename change)\n"},
        NamesCase{"Ntfs",
                  kTargetNtfs,
                  kCaseLower,
                  {},
                  true,
                  true,
                  kUrlRoot,
                  "Filename convention: NTFS (lowercase)\nRename the files now\n"
                  "Convert to root (base) URLs (e.g.: \"/imgs/pict.gif\")\n"},
        NamesCase{"Macintosh",
                  kTargetMacintosh,
                  kCaseNone,
                  {},
                  true,
                  true,
                  kUrlAbsolute,
                  "Filename convention: Macintosh (no case change)\nRename the files now\n"
                  "Convert to absolute URLs (e.g.: \"https://www.example.com/imgs/pict.gif\")\n"},
        // A map alone makes names change.
        NamesCase{"WindowsPreset", kTargetNone, kCaseNone, windowsExtensionPreset(), true, true, kUrlRevert,
                  std::string("Filename convention: None\n") + kWindowsLine +
                      "Rename the files now\nRevert URLs to previous state\n"},
        NamesCase{"PresetWithOneMore", kTargetNone, kCaseNone,
                  [] {
                      ExtensionMap m = windowsExtensionPreset();
                      m["shtml"] = "htm";
                      return m;
                  }(),
                  true, true, kUrlKeep,
                  "Filename convention: None\nMap filename extensions using user-defined list\nRename the "
                  "files now\n"},
        NamesCase{"CustomMap",
                  kTargetDos,
                  kCaseNone,
                  {{"htm", "asp"}},
                  true,
                  true,
                  kUrlKeep,
                  "Filename convention: DOS 8.3 FAT (no case change)\n"
                  "Map filename extensions using user-defined list\nRename the files now\n"},
        NamesCase{"UnknownConversionSaysNothing",
                  kTargetDos,
                  kCaseNone,
                  {},
                  true,
                  true,
                  9,
                  "Filename convention: DOS 8.3 FAT (no case change)\nRename the files now\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvel
