#pragma once
// Turning what a person typed into what a job needs.
#include <string>
#include <string_view>

namespace korvel::cli {

// A directory as the person named it, made absolute (and without trailing "/"), so that reports name
// every file unambiguously whatever the current directory was.
std::string absoluteDirectory(std::string_view dir);

}  // namespace korvel::cli
