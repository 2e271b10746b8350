#include "html/keep_patterns.h"

#include <algorithm>
#include <vector>

namespace korvel {

namespace {

// The end of the class that starts at "pattern[at]" ('['), one past its ']'; npos when it is not closed,
// and then the '[' stands for itself as in a shell.
std::size_t classEnd(std::string_view pattern, std::size_t at) {
    std::size_t i = at + 1;
    if (i < pattern.size() && pattern[i] == '!') ++i;
    if (i < pattern.size() && pattern[i] == ']') ++i;  // a ']' first is a member
    const std::size_t close = pattern.find(']', i);
    return close == std::string_view::npos ? close : close + 1;
}

bool classMatches(std::string_view members, char c) {
    bool negated = false;
    if (!members.empty() && members.front() == '!') {
        negated = true;
        members.remove_prefix(1);
    }
    bool found = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i + 2 < members.size() && members[i + 1] == '-') {
            found = found || (members[i] <= c && c <= members[i + 2]);
            i += 2;
        } else {
            found = found || members[i] == c;
        }
    }
    return found != negated && c != '/';
}

}  // namespace

bool globMatches(std::string_view pattern, std::string_view path) {
    // The pattern as tokens, then a table of which token suffixes match which path suffixes: time and
    // memory stay the product of the two lengths, whatever stars a pattern holds.
    enum class Kind : char { Byte, AnyByte, Class, Star, AnyPath, AnyDirectories };
    struct Token {
        Kind kind;
        std::string_view text;  // the byte, or the members of a class
    };
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '*' && i + 1 < pattern.size() && pattern[i + 1] == '*') {
            const bool wholeSegment = (i == 0 || pattern[i - 1] == '/');
            if (wholeSegment && i + 2 < pattern.size() && pattern[i + 2] == '/') {
                tokens.push_back({Kind::AnyDirectories, {}});  // "**/": no directory, or any run of them
                i += 3;
            } else {
                tokens.push_back({Kind::AnyPath, {}});
                i += 2;
            }
        } else if (c == '*') {
            tokens.push_back({Kind::Star, {}});
            ++i;
        } else if (c == '?') {
            tokens.push_back({Kind::AnyByte, {}});
            ++i;
        } else if (const std::size_t close = c == '[' ? classEnd(pattern, i) : std::string_view::npos;
                   close != std::string_view::npos) {
            tokens.push_back({Kind::Class, pattern.substr(i + 1, close - i - 2)});
            i = close;
        } else {
            tokens.push_back({Kind::Byte, pattern.substr(i, 1)});
            ++i;
        }
    }
    const std::size_t width = path.size() + 1;
    std::vector<char> matches((tokens.size() + 1) * width, 0);
    auto at = [&](std::size_t t, std::size_t s) -> char& { return matches[t * width + s]; };
    at(tokens.size(), path.size()) = 1;
    for (std::size_t t = tokens.size(); t-- > 0;) {
        const Token& token = tokens[t];
        // For "**/": whether some "/" at or after the current place is followed by a match of the rest.
        bool slashThenRest = false;
        for (std::size_t s = width; s-- > 0;) {
            const bool more = s < path.size();
            bool result = false;
            switch (token.kind) {
                case Kind::Byte:
                    result = more && path[s] == token.text[0] && at(t + 1, s + 1);
                    break;
                case Kind::AnyByte:
                    result = more && path[s] != '/' && at(t + 1, s + 1);
                    break;
                case Kind::Class:
                    result = more && classMatches(token.text, path[s]) && at(t + 1, s + 1);
                    break;
                case Kind::Star:
                    result = at(t + 1, s) || (more && path[s] != '/' && at(t, s + 1));
                    break;
                case Kind::AnyPath:
                    result = at(t + 1, s) || (more && at(t, s + 1));
                    break;
                case Kind::AnyDirectories:
                    // Nothing, or up to and including some later "/" of the path.
                    slashThenRest = slashThenRest || (more && path[s] == '/' && at(t + 1, s + 1));
                    result = at(t + 1, s) || slashThenRest;
                    break;
            }
            at(t, s) = result ? 1 : 0;
        }
    }
    return at(0, 0) != 0;
}

KeepPatterns::KeepPatterns(const std::vector<std::string>& patterns) {
    for (std::string_view text : patterns) {
        const bool directory = !text.empty() && text.back() == '/';
        while (!text.empty() && text.back() == '/')
            text.remove_suffix(1);
        const bool leadingSlash = !text.empty() && text.front() == '/';
        while (!text.empty() && text.front() == '/')
            text.remove_prefix(1);
        if (text.empty()) continue;
        patterns_.push_back(
            {std::string(text), leadingSlash || text.find('/') != std::string_view::npos, directory});
    }
}

bool KeepPatterns::keeps(std::string_view path) const {
    for (const Pattern& pattern : patterns_) {
        // Each directory above the file, then the file: "a", "a/b", "a/b/c.js".
        std::size_t nameStart = 0;
        for (std::size_t end = path.find('/');; end = path.find('/', end + 1)) {
            const std::string_view prefix = path.substr(0, end);
            const std::string_view name = prefix.substr(std::min(nameStart, prefix.size()));
            // The path itself names a file, which a pattern ending in "/" does not mean.
            const bool isFile = end == std::string_view::npos;
            if (!(pattern.directory && isFile) && globMatches(pattern.text, pattern.anchored ? prefix : name))
                return true;
            if (end == std::string_view::npos) break;
            nameStart = end + 1;
        }
    }
    return false;
}

}  // namespace korvel
