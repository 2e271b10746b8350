#include "html/keep_patterns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvel {
namespace {

struct KeepCase {
    std::vector<std::string> patterns;
    const char* path;
    bool kept;
};

TEST(KeepPatterns, KeepWhatAPersonMeant) {
    const std::vector<KeepCase> cases{
        // A name anywhere; "*" and "?" stay within one name.
        KeepCase{{"*.json"}, "data/deep/feed.json", true}, KeepCase{{"*.json"}, "feed.json.bak", false},
        KeepCase{{"feed.???"}, "a/feed.csv", true},
        // A directory keeps everything below it, by name or by path, with or without the closing "/".
        KeepCase{{"lazy/"}, "js/lazy/a/chunk.js", true}, KeepCase{{"js/lazy"}, "js/lazy/chunk.js", true},
        KeepCase{{"js/lazy/"}, "js/lazyload.js", false}, KeepCase{{"lazy/"}, "js/lazy", false},
        KeepCase{{"lazy"}, "js/lazy", true},
        // A "/" anchors at the top; a single "*" never crosses one.
        KeepCase{{"/data/*.csv"}, "old/data/x.csv", false}, KeepCase{{"data/*.csv"}, "data/sub/x.csv", false},
        // "**" crosses directories, "**/" also none.
        KeepCase{{"media/**/*.mp4"}, "media/a/b/c.mp4", true},
        KeepCase{{"media/**/*.mp4"}, "media/c.mp4", true},
        KeepCase{{"media/**/*.mp4"}, "other/media/c.mp4", false}, KeepCase{{"**/x.js"}, "a/b/x.js", true},
        KeepCase{{"/a**.js"}, "a/b/x.js", true},
        // Classes, a negated one, and a "[" that opens none.
        KeepCase{{"v[0-9].js"}, "v7.js", true}, KeepCase{{"v[!0-9].js"}, "v7.js", false},
        KeepCase{{"v[!0-9].js"}, "vx.js", true}, KeepCase{{"a[b.js"}, "a[b.js", true},
        // Any of several; none at all keeps nothing; an empty pattern is no pattern.
        KeepCase{{"*.txt", "*.json"}, "x.json", true}, KeepCase{{}, "x.json", false},
        KeepCase{{"", "/"}, "x.json", false}};
    for (const KeepCase& c : cases)
        EXPECT_EQ(KeepPatterns(c.patterns).keeps(c.path), c.kept) << c.patterns.size() << " " << c.path;
    // Many stars on a long name: quick, and exact.
    const std::string name = std::string(3000, 'a') + ".js";
    EXPECT_TRUE(globMatches("*a*a*a*a*a*a*a*a*.js", name));
    EXPECT_FALSE(globMatches("*a*a*a*a*a*a*a*a*b", name));
}

}  // namespace
}  // namespace korvel
