#pragma once
// Fitting a path into a message: whole components in its middle give way to "...".
#include <cstddef>
#include <string>
#include <string_view>

namespace korvel {

// "path" unchanged when it has at most "maxChars" bytes; otherwise its first and last components, as many
// as fit (the last ones first), around "...". Never longer than maxChars (except that "..." alone is the
// least it gives), and never cut inside a component, so never inside a UTF-8 character.
std::string shortenPath(std::string_view path, std::size_t maxChars);

}  // namespace korvel
