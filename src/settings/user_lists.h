#pragma once
// Small string lists kept in the settings file: a section named after the list, keys "Item1", "Item2", ...
// (the list ends at the first missing or empty key) and "Current".
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

// What makes a file HTML: an extension from the first list (without the dot), or every text of the
// second present in its head. The defaults are those of a settings file that stores neither list.
struct HtmlDefinitions {
    std::vector<std::string> extensions{"html", "htm", "cfm", "asp", "php"};
    std::vector<std::string> literalTexts{"<html>", "<head>"};
};

}  // namespace korvel
