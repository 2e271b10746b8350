#pragma once
// Small string lists kept in the settings file: a section named after the list, keys "Item1", "Item2", ...
// (the list ends at the first missing or empty key) and "Current".
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvel {

// What makes a file HTML: an extension from the first list (without the dot), or every text of the
// second present in its head. The defaults are those of a settings file that stores neither list.
struct HtmlDefinitions {
    std::vector<std::string> extensions{"html", "htm", "cfm", "asp", "php"};
    std::vector<std::string> literalTexts{"<html>", "<head>"};
};

}  // namespace korvel

namespace korvel::platform {
class ProfileFile;
}

namespace korvel {

// One named list, kept in a section of its own name.
class UserList {
  public:
    UserList(std::string section, std::vector<std::string> defaults);
    // Reads "Item1", "Item2", ... and "Current"; a list with no stored items takes its defaults.
    void load(const platform::ProfileFile& profile);
    // Writes the items and "Current", deleting the stale "Item" keys after the last. Items holding a line
    // break or a NUL, and empty items (which would end the list early), are refused with false, and then
    // nothing is written. The caller saves the profile.
    bool save(platform::ProfileFile& profile) const;

    const std::string& section() const { return section_; }
    const std::vector<std::string>& items() const { return items_; }
    bool storedItems() const { return stored_; }    // load found items in the file
    bool setItems(std::vector<std::string> items);  // false (nothing changed) for an item save would refuse
    const std::string& current() const { return current_; }
    bool setCurrent(std::string current);  // false (nothing changed) for a line break or NUL
    // The items joined, each followed by ";".
    std::string joined() const;

  private:
    std::string section_;
    std::vector<std::string> defaults_;
    std::vector<std::string> items_;
    std::string current_;
    bool stored_ = false;
};

// The lists and their defaults.
UserList serverDefaultList();    // "ServerDefault"
UserList htmlExtensionsList();   // "HtmlExtensions"
UserList literalHtmlTextList();  // "LiteralHtmlText"

// Whether "item" can be stored in a list and read back as it is.
bool storableListItem(std::string_view item);

// The two HTML lists as read from the settings file at "settingsPath" (defaults where nothing is stored,
// or when the file is missing or cannot be read).
HtmlDefinitions loadHtmlDefinitions(std::string_view settingsPath);
HtmlDefinitions loadHtmlDefinitions(const platform::ProfileFile& profile);

// The server's default documents where a job needs them joined.
// For the job's ServerDefaultFiles: the stored items of the loaded "ServerDefault" list, each followed by
// ";"; empty when the list was never saved (its defaults are only offered, not in force).
std::string storedServerDefaultFiles(const UserList& serverDefault);
// For guessing a home page: the same, or kServerDefaultStandIn when nothing is stored.
inline constexpr std::string_view kServerDefaultStandIn = "index.html;index.htm;default.htm;home.htm";
std::string serverDefaultFilesOrStandIn(const UserList& serverDefault);

}  // namespace korvel
