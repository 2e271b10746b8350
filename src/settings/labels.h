#pragma once
// The texts that name the settings' values in reports, summaries and the wizard's lists. Every function
// takes any number: one outside the enumeration gives a safe text or "not found", never an index out of
// bounds.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvel {

// The label of a target convention in reports: "ISO 9660", "DOS 8.3 FAT", ... for 1 to 6; "" for 0 (which
// is named by its case conversion instead) and for a number outside the enumeration.
std::string_view conventionLabel(std::int32_t target);

// The convention with its case conversion, as reports and summaries show it: "DOS 8.3 FAT (lowercase)",
// "UNIX (no case change)"; with no convention the case alone: "All uppercase letters", "None".
std::string conventionWithCaseLabel(std::int32_t target, std::int32_t caseConversion);

// One entry of a wizard list: what it shows and the value it stands for.
struct LabelledValue {
    std::string_view label;
    std::int32_t value;
};

// The wizard's lists, in the order they are shown.
std::span<const LabelledValue> wizardConventions();  // "None", "ISO 9660", "DOS/Windows 3.x", ...
std::span<const LabelledValue> wizardLineEnds();     // "None", "DOS/Windows <CR><LF>", "UNIX <LF>", ...
std::span<const LabelledValue> wizardCases();        // "None", "All lowercase", "All uppercase"

// The position of "value" in a list; nothing when the list does not offer it (NTFS in the conventions).
std::optional<std::size_t> wizardIndexOf(std::span<const LabelledValue> list, std::int32_t value);
// The value at "index"; "fallback" when the index is outside the list.
std::int32_t wizardValueAt(std::span<const LabelledValue> list, std::size_t index, std::int32_t fallback = 0);

}  // namespace korvel
