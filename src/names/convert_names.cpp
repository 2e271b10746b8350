#include "names/convert_names.h"

#include "platform/ascii.h"

#include <algorithm>
#include <array>
#include <string>

#include "names/conventions.h"
#include "names/rename_prompt.h"
#include "platform/display_name.h"
#include "report/log.h"
#include "res/strings.h"
#include "settings/job_settings.h"
#include "site/iterator.h"
#include "site/node.h"
#include "site/output_files.h"
#include "site/traverse.h"
#include "ui/prompts.h"

namespace korvel::names {

namespace {

constexpr std::array<ExtensionMapping, 13> kPredefinedMappings{{
    {"htm", "html"},
    {"html", "htm"},
    {"htm", "asp"},
    {"html", "shtml"},
    {"jpg", "jpeg"},
    {"jpeg", "jpg"},
    {"mpg", "mpeg"},
    {"mpeg", "mpg"},
    {"png", "ping"},
    {"ping", "png"},
    {"jpe", "jpg"},
    {"mpe", "mpg"},
    {"pin", "png"},
}};

// Column 1 of a rename row: this many characters of the name, padded to the column's width.
constexpr std::size_t kRowNameCharacters = 36;
constexpr std::size_t kRowColumnWidth = 40;
// A longer run of digits is no counter of ours (and would not fit a 64-bit number).
constexpr std::size_t kMaxCounterDigits = 18;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view nameAfterRenaming(const Node& node) {
    return node.hasNewName() ? std::string_view(node.getNewName()) : node.getFileName();
}

bool isWindowsTarget(std::int32_t target) {
    return target == kTargetDos || target == kTargetVfat || target == kTargetNtfs;
}

// Windows drops trailing dots and spaces from a name, so "a." would silently become "a" there.
void stripTrailingDotsAndSpaces(std::string& name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
}

// At most 8 bytes before a single dot and 3 after it (cuts on character boundaries); all dots but the
// last go.
void toShortNameStructure(std::string& name) {
    const auto last = name.rfind('.');
    if (last == std::string::npos) {
        name.resize(cutPoint(name, 8));
        return;
    }
    std::string base;
    for (std::size_t i = 0; i < last; ++i)
        if (name[i] != '.') base.push_back(name[i]);
    std::string extension = name.substr(last + 1);
    base.resize(cutPoint(base, 8));
    extension.resize(cutPoint(extension, 3));
    name = base + "." + extension;
}

// Cuts "name" to "budget" bytes, keeping the extension whole when it fits beside at least one character of
// the base.
void cutToBudget(std::string& name, std::size_t budget) {
    if (name.size() <= budget) return;
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && name.size() - dot < budget) {
        const std::size_t extensionLength = name.size() - dot;
        const std::size_t baseCut = cutPoint(std::string_view(name).substr(0, dot), budget - extensionLength);
        if (baseCut > 0) {
            name.erase(baseCut, dot - baseCut);
            return;
        }
    }
    name.resize(cutPoint(name, budget));
}

bool isUsable(std::string_view name, bool mayStartWithDot) {
    return !name.empty() && name != "." && name != ".." && (name.front() != '.' || mayStartWithDot);
}

void reportNoRoom(const Node& node, std::int32_t target) {
    currentLog().errorDetail(
        res::formatString(res::kNameTooLongToRename, std::to_string(getNameLimits(target).maxPathLength)),
        node.path());
}

bool isAncestorOrSelf(const Node* ancestor, const Node* node) {
    for (; node; node = node->getParent())
        if (node == ancestor) return true;
    return false;
}

}  // namespace

// ---- SiblingNames

SiblingNames::SiblingNames(const DirNode& dir, bool caseBlind) : caseBlind_(caseBlind) {
    taken_.reserve(dir.children().size());
    for (const Node* child : dir.children())
        add(nameAfterRenaming(*child));
}

std::string SiblingNames::key(std::string_view name) const {
    return caseBlind_ ? asciiUpper(name) : std::string(name);
}

void SiblingNames::add(std::string_view name) {
    ++taken_[key(name)];
}

void SiblingNames::remove(std::string_view name) {
    const auto it = taken_.find(key(name));
    if (it == taken_.end()) return;
    if (--it->second == 0) taken_.erase(it);
}

bool SiblingNames::contains(std::string_view name) const {
    return taken_.count(key(name)) != 0;
}

std::int64_t SiblingNames::nextCounter(const std::string& stemKey) const {
    const auto it = nextCounter_.find(stemKey);
    return it == nextCounter_.end() ? 0 : it->second;
}

void SiblingNames::rememberCounter(const std::string& stemKey, std::int64_t next) {
    std::int64_t& slot = nextCounter_[stemKey];
    slot = std::max(slot, next);
}

// ---- makeUnique

namespace {

// "useHints": start each stem at the counter remembered for it. The hints only skip numbers found taken
// earlier, one of which may have been freed since; so a name that does not fit with them gets one more
// try from the lowest number.
Uniqueness makeUniqueFrom(std::string& name, char replacement, std::int32_t maxLength, SiblingNames& taken,
                          bool useHints) {
    std::string current = name;
    std::int64_t counter = 1;
    std::int64_t limit = maxLength;
    for (;;) {
        const auto dot = current.rfind('.');
        const std::size_t baseEnd = dot == std::string::npos ? current.size() : dot;
        const std::string extension = current.substr(baseEnd);

        // An earlier "_N" counts on from N.
        std::size_t cut = baseEnd;
        std::size_t digits = baseEnd;
        while (digits > 0 && isDigit(current[digits - 1]))
            --digits;
        const std::size_t runLength = baseEnd - digits;
        if (runLength > 0 && runLength <= kMaxCounterDigits && digits > 0 &&
            current[digits - 1] == replacement) {
            counter = std::stoll(current.substr(digits, runLength)) + 1;
            cut = digits - 1;
        }
        // An 8.3 length keeps the base within 8.
        const auto extensionLength = static_cast<std::int64_t>(extension.size());
        if (limit <= 12 && limit > extensionLength + 8) limit = extensionLength + 8;

        // The numbers already found taken for this stem need no second look.
        std::string stemKey = asciiUpper(std::string_view(current).substr(0, cut));
        stemKey.push_back('\0');
        stemKey += asciiUpper(extension);
        stemKey.push_back('\0');
        stemKey += std::to_string(limit);
        if (useHints) counter = std::max(counter, taken.nextCounter(stemKey));

        const std::string suffix = replacement + std::to_string(counter);
        const std::int64_t room = limit - static_cast<std::int64_t>(suffix.size()) - extensionLength;
        if (room < 0) return Uniqueness::NoFit;
        const std::size_t keep =
            cutPoint(std::string_view(current).substr(0, cut), static_cast<std::size_t>(room));
        current = current.substr(0, keep) + suffix + extension;
        taken.rememberCounter(stemKey, counter + 1);
        if (!taken.contains(current)) {
            name = std::move(current);
            return Uniqueness::MadeUnique;
        }
    }
}

}  // namespace

Uniqueness makeUnique(std::string& name, char replacement, std::int32_t maxLength, SiblingNames& taken) {
    if (!taken.contains(name)) return Uniqueness::AlreadyUnique;
    const Uniqueness result = makeUniqueFrom(name, replacement, maxLength, taken, true);
    if (result != Uniqueness::NoFit) return result;
    return makeUniqueFrom(name, replacement, maxLength, taken, false);
}

Uniqueness makeUnique(const Node& node, std::string& name, char replacement, std::int32_t maxLength,
                      bool caseBlind) {
    const DirNode* parent = node.getParent();
    if (!parent) return Uniqueness::AlreadyUnique;
    SiblingNames taken(*parent, caseBlind);
    taken.remove(nameAfterRenaming(node));
    return makeUnique(name, replacement, maxLength, taken);
}

// ---- Extension mapping and conversion

std::span<const ExtensionMapping> predefinedMappings() {
    return kPredefinedMappings;
}

std::optional<std::string> mapExtension(std::string_view name, const ExtensionMap& map) {
    const auto dot = name.rfind('.');
    const std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
    const std::string_view extension =
        dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    std::string key(extension);
    for (char& c : key)
        c = platform::asciiLower(c);
    const auto it = map.find(key);
    if (it == map.end()) return std::nullopt;
    std::string mapped(base);
    mapped.push_back('.');
    mapped += it->second;
    return mapped;
}

std::optional<std::string> conformName(std::string_view name, std::int32_t target,
                                       std::int32_t caseConversion, std::int32_t budget,
                                       bool mayStartWithDot) {
    if (budget <= 0) return std::nullopt;
    std::string out(name);
    if (caseConversion == kCaseUpper) {
        for (char& c : out)
            c = platform::asciiUpper(c);
    } else if (caseConversion == kCaseLower) {
        for (char& c : out)
            c = platform::asciiLower(c);
    }
    std::erase_if(out, [target](char c) { return !isAllowedCharacter(target, c); });
    if (isWindowsTarget(target)) stripTrailingDotsAndSpaces(out);
    // Deleting characters must not hide a name (Linux hides one that starts with a dot). The dot usually
    // begins an extension ("+.htm" under DOS), so the replacement character goes in front of it.
    if (!out.empty() && out.front() == '.' && !mayStartWithDot && out != "." && out != "..")
        out.insert(0, 1, '_');
    if (!isUsable(out, mayStartWithDot)) out = "_1";
    if (hasShortNameStructure(target)) toShortNameStructure(out);
    cutToBudget(out, static_cast<std::size_t>(budget));
    if (isWindowsTarget(target)) stripTrailingDotsAndSpaces(out);
    if (isReservedDeviceName(target, out)) {
        // The target would open the device; a counter after the stem makes it a file's name.
        out.insert(std::min(out.find('.'), out.size()), "_1");
        cutToBudget(out, static_cast<std::size_t>(budget));
        if (isReservedDeviceName(target, out)) out = "_1";
    }
    if (!isUsable(out, mayStartWithDot)) {
        out = "_1";
        cutToBudget(out, static_cast<std::size_t>(budget));
    }
    return out;
}

// ---- Rename rows

bool writeRenameRow(ReportSection* section, const Node& node, std::string_view first,
                    std::string_view second) {
    if (!section || !node.hasNewName()) return false;
    // Escaped, so the row is valid UTF-8 and characters can be counted by their lead bytes.
    std::string row = platform::displayName(first.empty() ? std::string_view(node.getNewName()) : first);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if ((static_cast<unsigned char>(row[i]) & 0xC0) == 0x80) continue;
        if (characters == kRowNameCharacters) {
            row.resize(i);
            break;
        }
        ++characters;
    }
    row.append(kRowColumnWidth - characters, ' ');
    row += platform::displayName(second.empty() ? std::string_view(node.originalPath()) : second);
    section->writeLine(row);
    return true;
}

// ---- NameConversionPass

NameConversionPass::NameConversionPass(std::int32_t target, std::int32_t caseConversion, bool* autoFileName,
                                       const ExtensionMap* extensions)
    : target_(target), case_(caseConversion), autoFileName_(autoFileName), extensions_(extensions) {}

NameConversionPass::~NameConversionPass() {
    // Only this pass writes the section while it runs, so holding it is what "in use" means here.
    if (section) currentLog().closeSection(section);
}

bool NameConversionPass::visitFile(FileNode& node) {
    return !isOwnOutput(node) && convertNode(node, true);
}

bool NameConversionPass::visitHtml(HtmlNode& node) {
    return !isOwnOutput(node) && convertNode(node, true);
}

bool NameConversionPass::isOwnOutput(const Node& node) {
    // Renaming them would only leave the next report beside a renamed old one.
    if (topDir_.empty()) {
        const Node* top = &node;
        while (top->getParent())
            top = top->getParent();
        topDir_ = top->path();
    }
    return isKorvelOutputFile(topDir_, node.path());
}

bool NameConversionPass::visitDir(DirNode& node) {
    if (!node.getParent()) {
        topDir_ = node.path();
        pathWarningShown_ = false;
        open_.clear();
        return false;
    }
    if (node.directoryPathLength() > kPathWarningThreshold && !pathWarningShown_) {
        pathWarningShown_ = true;
        ui::prompts().messageBox(res::loadString(res::kDeepPathWarning));
    }
    return convertNode(node, false);
}

NameConversionPass::OpenDirectory& NameConversionPass::siblingsOf(const Node& node) {
    const DirNode* parent = node.getParent();
    for (std::size_t i = open_.size(); i-- > 0;) {
        if (open_[i].dir == parent) {
            open_.resize(i + 1);
            return open_.back();
        }
    }
    // A directory entered for the first time: drop those the walk has left.
    while (!open_.empty() && !isAncestorOrSelf(open_.back().dir, parent))
        open_.pop_back();
    const bool caseBlind = target_ != kTargetUnix;
    open_.push_back({parent, SiblingNames(*parent, caseBlind), SiblingNames(caseBlind)});
    return open_.back();
}

bool NameConversionPass::convertNode(Node& node, bool isFile) {
    OpenDirectory* open = node.getParent() ? &siblingsOf(node) : nullptr;
    SiblingNames* siblings = open ? &open->names : nullptr;
    // The node's own name never counts against it.
    if (siblings) siblings->remove(nameAfterRenaming(node));
    node.setNewName({});

    std::string start(node.getFileName());
    if (isFile && extensions_ && !extensions_->empty()) {
        if (auto mapped = mapExtension(start, *extensions_)) start = std::move(*mapped);
    }
    if (convertName(node, start, open) && autoFileName_ && !*autoFileName_ && ui::prompts().interactive())
        ask(node, siblings);

    if (open) {
        siblings->add(nameAfterRenaming(node));
        open->settled.add(nameAfterRenaming(node));
    }
    if (!node.hasNewName()) return false;
    ++count;
    return true;
}

bool NameConversionPass::convertName(Node& node, std::string_view start, OpenDirectory* open) {
    const std::string_view current = node.getFileName();
    const std::int32_t budget = effectiveMaxNameLength(node, target_);
    const bool hidden = !current.empty() && current.front() == '.';
    std::optional<std::string> name = conformName(start, target_, case_, budget, hidden);
    if (!name) {
        // The path leaves no room for any name: the node cannot be brought into the convention.
        reportNoRoom(node, target_);
        return false;
    }
    // A name that conforms as it is still collides on a case-blind target with a twin that differs only in
    // case: the first in child order keeps the name, and each later twin gets a new one.
    const bool twin = *name == current && open && isCaseBlind(target_) && open->settled.contains(*name);
    // A change of case alone is checked too: a twin that differs only in case must not be renamed onto.
    if ((*name != current || twin) && open &&
        makeUnique(*name, getNameLimits(target_).replacement, budget, open->names) == Uniqueness::NoFit) {
        reportNoRoom(node, target_);
        return false;
    }
    if (*name == current) return false;
    node.setNewName(std::move(*name));
    return true;
}

void NameConversionPass::ask(Node& node, SiblingNames* siblings) {
    const ui::RenameReply reply = ui::prompts().renameFile(makeRenameRequest(node, target_, case_, siblings));
    switch (reply.answer) {
        case ui::RenameAnswer::AcceptAll:
            *autoFileName_ = true;
            [[fallthrough]];
        case ui::RenameAnswer::Accept:
            accept(node, reply.name, siblings);
            break;
        case ui::RenameAnswer::NoRename:
            noteNotRenamed(node);
            node.setNewName({});
            break;
        case ui::RenameAnswer::Cancel:
            stop = true;
            node.setNewName({});
            break;
    }
}

void NameConversionPass::accept(Node& node, const std::string& replied, SiblingNames* siblings) {
    if (replied.empty() || replied == node.getNewName()) return;
    // Whatever the dialog hands back gets the full check: a name the person never saw validated is not
    // trusted to fit the target or to be unique.
    std::string message;
    std::string name = validateTypedName(node, target_, case_, replied, message, siblings);
    if (name.empty()) return;  // refused: the suggestion stands
    if (name == node.getFileName()) {
        node.setNewName({});
    } else {
        node.setNewName(std::move(name));
    }
}

void NameConversionPass::noteNotRenamed(Node& node) {
    if (!section) {
        section = currentLog().openSection(res::kSectionNotRenamed);
        notRenamedInUse_ = true;
    }
    writeRenameRow(section, node, "", "");
}

// ---- Running the pass

std::int32_t convertNames(DirNode& top, JobSettings& settings, std::int64_t total, GUIProgress* progress) {
    NameConversionPass pass(settings.Target, settings.CaseConv, &settings.AutoFileName,
                            &settings.FilenameExtensions);
    Traversal<TypedWalk<Node*>> traverse(&top, pass);
    return traverse.run(res::loadString(res::kValidatingFilenames), total, progress);
}

}  // namespace korvel::names
