#pragma once
// The files a person keeps out of the orphans: what only a script loads cannot be seen by reading pages,
// so whoever knows of such files names them with patterns, as in the ignore files of version control.
//   "*.json"        a name anywhere in the tree ("*" and "?" never match "/", "[a-z]" and "[!a-z]" a class)
//   "js/lazy/"      a directory and everything below it (a pattern naming a directory keeps what it holds;
//                   ending in "/", it names no file)
//   "/data/*.csv"   a path from the top directory (a pattern with a "/" before its end is anchored there)
//   "media/**/*.mp4" "**" matches across directories, none included
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

// Whether "path" (relative to the top directory, "/" between names, no leading "/") matches "pattern" as
// a whole, in the pattern language above but with nothing implied: no anchoring, no directory rule.
bool globMatches(std::string_view pattern, std::string_view path);

class KeepPatterns {
  public:
    KeepPatterns() = default;
    explicit KeepPatterns(const std::vector<std::string>& patterns);

    bool empty() const { return patterns_.empty(); }
    // Whether the file at "path" (relative to the top directory) is kept: a pattern matches it or one of
    // the directories above it.
    bool keeps(std::string_view path) const;

  private:
    struct Pattern {
        std::string text;  // without a leading or trailing "/"
        bool anchored;     // holds a "/": matched against paths from the top, else against single names
        bool directory;    // ended in "/": names directories only
    };
    std::vector<Pattern> patterns_;
};

}  // namespace korvel
