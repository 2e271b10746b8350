#include "settings/user_lists.h"

#include <algorithm>

#include "platform/profile_file.h"

namespace korvel {

namespace {

using platform::ProfileFile;

constexpr std::string_view kCurrent = "Current";

std::string itemKey(std::size_t n) {
    return "Item" + std::to_string(n);
}

bool holdsLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}

}  // namespace

bool storableListItem(std::string_view item) {
    return !item.empty() && !holdsLineBreakOrNul(item);
}

UserList::UserList(std::string section, std::vector<std::string> defaults)
    : section_(std::move(section)), defaults_(std::move(defaults)), items_(defaults_) {}

void UserList::load(const ProfileFile& profile) {
    std::vector<std::string> items;
    for (std::size_t n = 1;; ++n) {
        // Read whole: a cut item would name something else.
        std::string item = profile.getString(section_, itemKey(n), {}, ProfileFile::kWhole);
        if (item.empty()) break;
        items.push_back(std::move(item));
    }
    stored_ = !items.empty();
    items_ = stored_ ? std::move(items) : defaults_;
    current_ = profile.getString(section_, kCurrent, {}, ProfileFile::kWhole);
}

bool UserList::save(ProfileFile& profile) const {
    if (!std::all_of(items_.begin(), items_.end(), storableListItem) || holdsLineBreakOrNul(current_)) {
        return false;
    }
    std::size_t n = 1;
    for (const std::string& item : items_) {
        if (profile.setString(section_, itemKey(n++), item)) return false;
    }
    // Items left from a longer list would otherwise come back on the next load.
    for (;; ++n) {
        const std::string key = itemKey(n);
        if (!profile.hasKey(section_, key) ||
            profile.getString(section_, key, {}, ProfileFile::kWhole).empty()) {
            break;
        }
        profile.deleteKey(section_, key);
    }
    return !profile.setString(section_, kCurrent, current_);
}

bool UserList::setItems(std::vector<std::string> items) {
    if (!std::all_of(items.begin(), items.end(), storableListItem)) return false;
    items_ = std::move(items);
    return true;
}

bool UserList::setCurrent(std::string current) {
    if (holdsLineBreakOrNul(current)) return false;
    current_ = std::move(current);
    return true;
}

std::string UserList::joined() const {
    std::string out;
    for (const std::string& item : items_) {
        out += item;
        out += ';';
    }
    return out;
}

UserList serverDefaultList() {
    return UserList("ServerDefault",
                    {"index.html", "index.htm", "index.cfm", "index.asp", "index.php", "default.htm",
                     "default.asp", "welcome.html", "welcome.htm", "home.html", "home.htm"});
}

UserList htmlExtensionsList() {
    return UserList("HtmlExtensions", HtmlDefinitions{}.extensions);
}

UserList literalHtmlTextList() {
    return UserList("LiteralHtmlText", HtmlDefinitions{}.literalTexts);
}

HtmlDefinitions loadHtmlDefinitions(const ProfileFile& profile) {
    UserList extensions = htmlExtensionsList();
    UserList literals = literalHtmlTextList();
    extensions.load(profile);
    literals.load(profile);
    HtmlDefinitions out;
    out.extensions = extensions.items();
    out.literalTexts = literals.items();
    return out;
}

HtmlDefinitions loadHtmlDefinitions(std::string_view settingsPath) {
    ProfileFile profile;
    // A file that is missing or unreadable leaves the profile empty: the defaults apply.
    (void)profile.load(settingsPath);
    return loadHtmlDefinitions(profile);
}

std::string storedServerDefaultFiles(const UserList& serverDefault) {
    return serverDefault.storedItems() ? serverDefault.joined() : std::string();
}

std::string serverDefaultFilesOrStandIn(const UserList& serverDefault) {
    return serverDefault.storedItems() ? serverDefault.joined() : std::string(kServerDefaultStandIn);
}

}  // namespace korvel
