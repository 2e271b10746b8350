#pragma once
// Showing names, which are bytes, to a person.
#include <string>
#include <string_view>

namespace korvel::platform {

// "bytes" as text fit for a terminal or a report line: valid UTF-8 passes unchanged; every byte that is not
// part of a valid UTF-8 character, and every control character (C0, DEL and C1), is written as "\xNN" (upper
// case hex); a backslash is written "\\" so that the escaped form can be told from a name that holds "\x".
std::string displayName(std::string_view bytes);

}  // namespace korvel::platform
