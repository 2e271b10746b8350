#pragma once
// Fitting a path into a message: whole components in its middle give way to "...".
#include <cstddef>
#include <string>
#include <string_view>

namespace korvel::platform {

// The width a message gives its text and the paths it shows together. It is about what a person can read
// in one message, so it stays the same whatever the host's path limit.
inline constexpr std::size_t kMessageWidth = 257;

// The length of "text" as shown: UTF-8 characters, each byte of an invalid sequence counting as one.
std::size_t displayLength(std::string_view text);

// The room left for a path in a message whose own text is "message" and which inserts "otherInserted"
// beside the path; 0 when nothing is left.
std::size_t roomForPath(std::string_view message, std::string_view otherInserted = {});

// "path" unchanged when it shows in at most "maxChars" characters. Otherwise whole components are kept
// from the end and from the start (the last two first, then the first two, then alternating) around
// "...", as many as fit. When not even the last component fits, the room left is filled with the end of
// it. Cuts fall only on UTF-8 character boundaries; the result is never wider than maxChars, except that
// "..." alone is the least it gives.
std::string shortenPath(std::string_view path, std::size_t maxChars);

}  // namespace korvel::platform
