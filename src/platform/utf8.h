#pragma once
// UTF-8 as names and links hold it: which bytes make valid characters.
#include <cstddef>
#include <string_view>

namespace korvel::platform {

// The length of the valid UTF-8 character at the start of "s" (which is not empty), 0 when it does not
// start with one (overlong forms, UTF-16 surrogates and code points beyond U+10FFFF are invalid).
std::size_t utf8Length(std::string_view s);

// Whether every byte of "s" belongs to a valid UTF-8 character.
bool isValidUtf8(std::string_view s);

}  // namespace korvel::platform
