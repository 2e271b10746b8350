#include "settings/labels.h"

#include <array>

#include "settings/job_settings.h"

namespace korvel {

namespace {

constexpr std::array<LabelledValue, 6> kConventions{{
    {"ISO 9660", kTargetIso9660},
    {"DOS 8.3 FAT", kTargetDos},
    {"Windows 95 VFAT", kTargetVfat},
    {"NTFS", kTargetNtfs},
    {"Macintosh", kTargetMacintosh},
    {"UNIX", kTargetUnix},
}};

constexpr std::array<LabelledValue, 6> kWizardConventions{{
    {"None", kTargetNone},
    {"ISO 9660", kTargetIso9660},
    {"DOS/Windows 3.x", kTargetDos},
    {"Windows 95/NT", kTargetVfat},
    {"UNIX", kTargetUnix},
    {"Macintosh", kTargetMacintosh},
}};

constexpr std::array<LabelledValue, 4> kWizardLineEnds{{
    {"None", kLineEndNone},
    {"DOS/Windows <CR><LF>", kLineEndDos},
    {"UNIX <LF>", kLineEndUnix},
    {"Macintosh <CR>", kLineEndMac},
}};

constexpr std::array<LabelledValue, 3> kWizardCases{{
    {"None", kCaseNone},
    {"All lowercase", kCaseLower},
    {"All uppercase", kCaseUpper},
}};

}  // namespace

std::string_view conventionLabel(std::int32_t target) {
    for (const LabelledValue& entry : kConventions) {
        if (entry.value == target) return entry.label;
    }
    return {};
}

std::string conventionWithCaseLabel(std::int32_t target, std::int32_t caseConversion) {
    const std::string_view convention = conventionLabel(target);
    if (convention.empty()) {
        switch (caseConversion) {
            case kCaseLower:
                return "All lowercase letters";
            case kCaseUpper:
                return "All uppercase letters";
            default:
                return "None";
        }
    }
    std::string label(convention);
    switch (caseConversion) {
        case kCaseLower:
            label += " (lowercase)";
            break;
        case kCaseUpper:
            label += " (uppercase)";
            break;
        default:
            label += " (no case change)";
            break;
    }
    return label;
}

std::span<const LabelledValue> wizardConventions() {
    return kWizardConventions;
}
std::span<const LabelledValue> wizardLineEnds() {
    return kWizardLineEnds;
}
std::span<const LabelledValue> wizardCases() {
    return kWizardCases;
}

std::optional<std::size_t> wizardIndexOf(std::span<const LabelledValue> list, std::int32_t value) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].value == value) return i;
    }
    return std::nullopt;
}

std::int32_t wizardValueAt(std::span<const LabelledValue> list, std::size_t index, std::int32_t fallback) {
    return index < list.size() ? list[index].value : fallback;
}

}  // namespace korvel
