#include "report/settings_summary.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "res/strings.h"
#include "settings/extension_presets.h"
#include "settings/labels.h"

namespace korvel {

namespace {

class Lines {
  public:
    void line(std::string_view text) {
        text_.append(text);
        text_.push_back('\n');
    }
    void blank() { text_.push_back('\n'); }
    std::string take() { return std::move(text_); }

  private:
    std::string text_;
};

std::string_view lineEndLabel(std::int32_t lineEnd) {
    for (const LabelledValue& entry : wizardLineEnds())
        if (entry.value == lineEnd) return entry.label;
    return wizardLineEnds().front().label;  // "None": a stored value outside the list converts nothing
}

// The same test the jobs use to decide whether the filename passes run at all.

int urlConversionId(std::int32_t conversion) {
    switch (conversion) {
        case kUrlRelative:
            return res::kSummaryRelativeUrls;
        case kUrlRoot:
            return res::kSummaryRootUrls;
        case kUrlAbsolute:
            return res::kSummaryAbsoluteUrls;
        case kUrlRevert:
            return res::kSummaryRevertUrls;
        default:
            return 0;  // links are left as written
    }
}

}  // namespace

std::string settingsSummary(const JobSettings& s) {
    Lines out;
    out.line(res::formatString(res::kSummaryDirectory, s.Directory));
    if (!s.FilesOnly) out.line(res::formatString(res::kSummaryHomePage, s.HomePage));
    if (s.UseSubdirs) {
        std::string text(res::loadString(res::kSummaryUsingSubdirs));
        if (s.LogSubdirs) text += res::loadString(res::kSummaryLogSubdirs);
        out.line(text);
    }
    out.blank();

    out.line(res::formatString(res::kSummaryConvention, conventionWithCaseLabel(s.Target, s.CaseConv)));
    switch (extensionPresetOf(s.FilenameExtensions)) {
        case ExtensionPreset::Windows:
            out.line(res::formatString(res::kSummaryPresetExtensions, "Windows \".htm\", \".jpg\", etc."));
            break;
        case ExtensionPreset::MacUnix:
            out.line(res::formatString(res::kSummaryPresetExtensions, "Mac/UNIX \".html\", \".jpeg\", etc."));
            break;
        case ExtensionPreset::Custom:
            out.line(res::loadString(res::kSummaryCustomExtensions));
            break;
        case ExtensionPreset::None:
            break;
    }
    if (namesCanChange(s)) {
        std::string text(res::loadString(s.Rename ? res::kSummaryRenameNow : res::kSummarySuggestNames));
        if (!s.AutoFileName) text += res::loadString(res::kSummaryPromptEachName);
        out.line(text);
    }
    if (const int id = urlConversionId(s.AbsRelCnvrt)) out.line(res::loadString(id));
    out.blank();

    if (s.Rename) {
        out.line(res::formatString(res::kSummaryLineEnds, lineEndLabel(s.LineEnd)));
        if (s.HardLinks == kHardLinksSplit) out.line(res::loadString(res::kSummaryHardLinksSplit));
        out.blank();
    }

    if (s.FilesOnly) {
        out.line(res::loadString(res::kSummaryNoUrlChecks));
        return out.take();
    }
    out.line(res::formatString(s.UpdateUrls ? res::kSummaryUpdateUrls : res::kSummaryCheckUrls, s.Server));
    if (s.ReportUnresolvedRefs) out.line(res::loadString(res::kSummaryReportUnresolved));
    if (s.ReportBrokenAnchors) out.line(res::loadString(res::kSummaryReportBrokenAnchors));
    if (s.ReportUnusedFiles) out.line(res::loadString(res::kSummaryReportUnused));
    if ((s.ReportUnusedFiles || s.RemoveOrphans) && !s.KeepPatterns.empty()) {
        std::string patterns;
        for (const std::string& pattern : s.KeepPatterns)
            patterns += (patterns.empty() ? "\"" : ", \"") + pattern + '"';
        out.line(res::formatString(res::kSummaryKeptFiles, patterns));
    }
    if (s.ReportExternalRefs) out.line(res::loadString(res::kSummaryReportExternal));
    if (s.ReportEstimated) out.line(res::loadString(res::kSummaryReportDownloadTimes));
    return out.take();
}

}  // namespace korvel
