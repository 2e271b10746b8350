#pragma once
// The string table: every text a person sees, by its number.
#include <string>
#include <string_view>

namespace korvel::res {

// Named numbers for the texts the code refers to. The table in strings.cpp holds the texts.
enum StringId : int {
    kProductName = 129,
    kVersion = 130,
};

// The text of "id", or "" when the table has no such entry.
std::string_view loadString(int id);
// The text of "id" with "%1" and "%2" replaced in one pass, so that an argument holding "%2" stays as it is.
std::string formatString(int id, std::string_view a1 = {}, std::string_view a2 = {});
// The same substitution on a text that is not in the table.
std::string formatText(std::string_view text, std::string_view a1 = {}, std::string_view a2 = {});

}  // namespace korvel::res
