#include "names/rename_prompt.h"
#include "platform/ascii.h"

#include <algorithm>
#include <string>

#include "names/conventions.h"
#include "names/convert_names.h"
#include "res/strings.h"
#include "settings/job_settings.h"
#include "settings/labels.h"
#include "site/node.h"

namespace korvel::names {

namespace {

char inCase(std::int32_t caseConversion, char c) {
    if (caseConversion == kCaseUpper) return platform::asciiUpper(c);
    if (caseConversion == kCaseLower) return platform::asciiLower(c);
    return c;
}

}  // namespace

FilenameFilter::FilenameFilter(std::int32_t target, std::int32_t caseConversion, std::int32_t maxLength)
    : target_(target), case_(caseConversion), maxLength_(maxLength) {}

std::optional<char> FilenameFilter::filter(std::string_view text, std::size_t selectionStart,
                                           std::size_t selectionEnd, char c) const {
    if (selectionStart > selectionEnd) std::swap(selectionStart, selectionEnd);
    selectionStart = std::min(selectionStart, text.size());
    selectionEnd = std::min(selectionEnd, text.size());
    const bool selected = selectionStart != selectionEnd;
    const bool backspace = c == kBackspace;
    const char typed = inCase(case_, c);
    const auto length = static_cast<std::int64_t>(text.size());

    if (!backspace && !selected && length >= maxLength_) return std::nullopt;

    if (hasShortNameStructure(target_)) {
        const std::size_t dot = text.find('.');
        if (dot == std::string_view::npos) {
            if (typed != '.' && !backspace && !selected && text.size() >= 8) return std::nullopt;
        } else if (selectionStart <= dot && selectionEnd > dot) {
            // The dot goes with the selection: what stays must still fit in 8 without one.
            if (typed != '.' && text.size() - (selectionEnd - selectionStart) > 8) return std::nullopt;
        } else {
            if (typed == '.') return std::nullopt;  // a second dot
            if (!selected) {
                const std::size_t caret = selectionStart;
                // Deleting the dot would join a base and an extension too long for 8.
                if (backspace && caret == dot + 1 && text.size() > 9) return std::nullopt;
                if (!backspace && caret <= dot && dot >= 8) return std::nullopt;
                if (!backspace && caret > dot && text.size() - dot - 1 >= 3) return std::nullopt;
            }
        }
    }

    if (!backspace) {
        if (typed == '/' || typed == '\0') return std::nullopt;  // never part of a name
        if (target_ == kTargetIso9660) {
            if (static_cast<unsigned char>(typed) >= 32 && !isIsoCharacter(typed)) return std::nullopt;
        } else if (forbiddenCharacters(target_).find(typed) != std::string_view::npos) {
            return std::nullopt;
        }
    }
    return typed;
}

std::string validateTypedName(const Node& node, std::int32_t target, std::int32_t caseConversion,
                              std::string_view typed, std::string& message, SiblingNames* siblings) {
    message.clear();
    if (typed.empty()) {
        message = res::loadString(res::kEmptyFilename);
        return {};
    }
    const std::string_view current = node.getFileName();
    const std::int32_t budget = effectiveMaxNameLength(node, target);
    const bool hidden = !current.empty() && current.front() == '.';
    // Pasted text never passed the keystroke filter: it gets the target's whole rules here.
    std::optional<std::string> name = conformName(typed, target, caseConversion, budget, hidden);
    const std::string tooLong =
        res::formatString(res::kNameTooLongToRename, std::to_string(getNameLimits(target).maxPathLength));
    if (!name) {
        message = tooLong;
        return {};
    }
    // The node's own name is always its own; any other may belong to a sibling, a case twin included.
    if (*name != current && node.getParent()) {
        const char replacement = getNameLimits(target).replacement;
        const Uniqueness unique = siblings
                                      ? makeUnique(*name, replacement, budget, *siblings)
                                      : makeUnique(node, *name, replacement, budget, target != kTargetUnix);
        if (unique == Uniqueness::NoFit) {
            message = tooLong;
            return {};
        }
        if (unique == Uniqueness::MadeUnique) {
            message = res::loadString(res::kFilenameNotUnique);
            return *name;
        }
    }
    if (*name != typed)
        message =
            res::formatString(res::kRenamePromptHeading, conventionWithCaseLabel(target, caseConversion));
    return *name;
}

ui::RenameRequest makeRenameRequest(const Node& node, std::int32_t target, std::int32_t caseConversion,
                                    SiblingNames* siblings) {
    ui::RenameRequest request;
    request.conventionLabel = conventionWithCaseLabel(target, caseConversion);
    request.directory = std::string(node.getDirectoryPart());
    request.originalName = std::string(node.getFileName());
    request.suggestedName = node.hasNewName() ? node.getNewName() : request.originalName;
    request.target = target;
    request.caseConversion = caseConversion;
    request.maxLength = effectiveMaxNameLength(node, target);
    const Node* subject = &node;
    request.validate = [subject, target, caseConversion, siblings](std::string_view typed,
                                                                   std::string& message) {
        return validateTypedName(*subject, target, caseConversion, typed, message, siblings);
    };
    return request;
}

}  // namespace korvel::names
