#include "html/url_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace korvel {
namespace {

using namespace std::string_view_literals;

struct SpanCase {
    std::string_view raw;
    std::size_t offset;
    std::string_view cut;
};

TEST(UrlTextTest, CutValueTrimsWhiteSpaceAndCutsAtFragmentThenQuery) {
    // A file on disk has no query; a "?" inside the fragment is the fragment's; inner blanks are the link's.
    for (const SpanCase& c : std::vector<SpanCase>{
             SpanCase{"a.html?x=1#top", 0, "a.html"}, SpanCase{"a.html#top?x", 0, "a.html"},
             SpanCase{"\t\r\n page.html \f", 4, "page.html"}, SpanCase{"  my page.html  ", 2, "my page.html"},
             SpanCase{"#top", 0, ""}, SpanCase{"   ", 3, ""}, SpanCase{" /a/b.html #x", 1, "/a/b.html "}}) {
        const UrlSpan span = cutUrlValue(c.raw);
        EXPECT_EQ(span.offset, c.offset) << c.raw;
        EXPECT_EQ(c.raw.substr(span.offset, span.length), c.cut) << c.raw;
    }
}

struct TextCase {
    std::string_view in, out;
};

TEST(UrlTextTest, SplitFindsSchemeAuthorityAndPath) {
    // "scheme //authority path", the authority only when there is one. No scheme with a "/" (or "?", "#", a
    // blank) before the ":", nor an empty one; "//" inside the path is no authority; no path means the root.
    for (const TextCase& c : std::vector<TextCase>{
             TextCase{"https://user:pw@host:8080/p", "https //user:pw@host:8080 /p"},
             TextCase{"http://SERVER", "http //SERVER /"}, TextCase{"//host/x", " //host /x"},
             TextCase{"file:///C:/a.html", "file // /C:/a.html"},
             TextCase{"svn+ssh.1-x://h/r", "svn+ssh.1-x //h /r"},
             TextCase{"javascript:go('//x/')", "javascript go('//x/')"},
             TextCase{"a/b:c.html", " a/b:c.html"}, TextCase{"a b:c", " a b:c"}, TextCase{":x", " :x"},
             TextCase{"/a//b", " /a//b"}, TextCase{"", " "}}) {
        const UrlParts parts = splitUrl(c.in);
        EXPECT_EQ(std::string(parts.scheme) +
                      (parts.hasAuthority ? " //" + std::string(parts.authority) : "") + " " +
                      std::string(pathOf(c.in)),
                  c.out);
    }
    EXPECT_EQ(serverOf("HTTPS://User@Host:81"), "user@host:81");
    EXPECT_EQ(serverOf("mailto:x@y"), "");
}

struct LocalCase {
    std::string_view text;
    bool baseHasServer, local;
};

TEST(UrlTextTest, LocalWhenNamingTheServerOrWithoutOneUnderALocalBase) {
    // The own server stays local under an external base; another port is another server; a path scheme
    // without a server is a path; "a:b.html" reads as a scheme, as a browser reads it.
    for (const LocalCase& c : std::vector<LocalCase>{
             LocalCase{"page.html", false, true}, LocalCase{"http://WWW.Site.ORG/a.html", false, true},
             LocalCase{"http://user@www.site.org/a", false, true}, LocalCase{"//www.site.org/a", true, true},
             LocalCase{"http://www.site.org:8080/a", false, false}, LocalCase{"page.html", true, false},
             LocalCase{"MAILTO:me@site.org", false, false}, LocalCase{"http:page.html", false, true},
             LocalCase{"file:///x/y.html", false, true}, LocalCase{"ftp:///x", false, false},
             LocalCase{"a:b.html", false, false}})
        EXPECT_EQ(isLocalUrl(c.text, c.baseHasServer, "www.site.org"), c.local)
            << c.text << " " << c.baseHasServer;
    EXPECT_FALSE(isLocalUrl("//x/a", false, ""));  // no configured server: nothing with a server is local
    EXPECT_TRUE(isLocalUrl("a.html", false, ""));
    EXPECT_FALSE(isSameServer("www.x.org.evil", "www.x.org"));
    EXPECT_FALSE(isSameServer("", ""));
}

TEST(UrlTextTest, DecodeReadsOnlyPercentAndTwoHexDigitsInOneForwardPass) {
    // Never re-reads its own output; NUL stays literal; no sign or blank in an escape; line breaks and NUL
    // are dropped, inside an escape too.
    std::string buffer = "stale";
    for (const TextCase& c :
         std::vector<TextCase>{TextCase{"My%20Page.html", "My Page.html"}, TextCase{"%252541", "%2541"},
                               TextCase{"%4a%4A", "JJ"}, TextCase{"a%00b%41", "a%00bA"}, TextCase{"%4", "%4"},
                               TextCase{"%1G", "%1G"}, TextCase{"% 41", "% 41"}, TextCase{"%%41", "%A"},
                               TextCase{"a\r\n\tb", "ab"}, TextCase{"a\0b"sv, "ab"}, TextCase{"%4\n1", "A"},
                               TextCase{"%ff", "\xff"}}) {
        EXPECT_EQ(decodeUrl(c.in), c.out) << c.in;
        decodeUrlInto(c.in, buffer);
        EXPECT_EQ(buffer, c.out) << c.in;
    }
}

TEST(UrlTextTest, LinkTextReadsTheStructureBeforeDecodingThePath) {
    std::string out = "stale";
    std::size_t pathStart = 99;
    for (const auto& [cut, text, start] : {std::tuple{"a%3Ab.html"sv, "a:b.html"sv, 0u},  // still a path
                                           std::tuple{"http://h%41/a%20b"sv, "http://h%41/a b"sv, 11u},
                                           std::tuple{"ht\ntp://h/x"sv, "http://h/x"sv, 8u},
                                           std::tuple{"mailto:a%40b"sv, "mailto:a@b"sv, 7u}}) {
        urlTextInto(cut, out, &pathStart);
        EXPECT_EQ(out, text) << cut;
        EXPECT_EQ(pathStart, start) << cut;
    }
}

struct EncodeCase {
    std::string_view in;
    bool slashes;
    std::string_view out;
};

TEST(UrlTextTest, EncodeEscapesReservedCharactersOfThePathOnly) {
    // Other bytes are kept; decoded controls came from escapes; scheme and authority stay as written.
    std::string buffer = "stale";
    for (const EncodeCase& c : std::vector<EncodeCase>{
             EncodeCase{" ;/?:@=&<>\"#%{}|\\^~[]`", false,
                        "%20%3B/%3F%3A%40%3D%26%3C%3E%22%23%25%7B%7D%7C%5C%5E%7E%5B%5D%60"},
             EncodeCase{"a/b", true, "a%2Fb"},
             EncodeCase{"\xC3\xA9t\xC3\xA9.html", false, "\xC3\xA9t\xC3\xA9.html"},
             EncodeCase{"a\r\nb\tc\x01\x7F", false, "a%0D%0Ab%09c%01%7F"},
             EncodeCase{"https://user:pw@Host:8080/a b", false, "https://user:pw@Host:8080/a%20b"},
             EncodeCase{"https://host", false, "https://host"},
             EncodeCase{"mailto:a b@c", false, "mailto:a%20b%40c"},
             EncodeCase{"a/b:c d", false, "a/b%3Ac%20d"}}) {
        EXPECT_EQ(encodeUrl(c.in, c.slashes), c.out) << c.in;
        encodeUrlInto(c.in, c.slashes, buffer);
        EXPECT_EQ(buffer, c.out) << c.in;
    }
    // A path built from names takes nothing for a scheme or authority.
    EXPECT_EQ(encodeUrlPath("a:b.html"), "a%3Ab.html");
    EXPECT_EQ(encodeUrlPath("//h/x y"), "//h/x%20y");
    encodeUrlPathInto("x y", false, buffer);
    EXPECT_EQ(buffer, "x%20y");
}

TEST(UrlTextTest, CanonicalPathMatchesEncodeOfDecode) {
    // Upper-case hex is canonical; "%2F" decodes to a "/", which stays a "/"; dropped bytes do not count.
    for (const auto& [raw, canonical] :
         {std::pair{"My%20Page.html"sv, true}, std::pair{"My Page.html"sv, false},
          std::pair{"a%7eb"sv, false}, std::pair{"%41.html"sv, false}, std::pair{"a%2Fb"sv, false},
          std::pair{"%zz"sv, false}, std::pair{"%00"sv, false}, std::pair{"a%2\n0b"sv, true},
          std::pair{""sv, true}}) {
        const std::string decoded = decodeUrl(raw);
        EXPECT_EQ(isCanonicalPath(raw, decoded), canonical) << raw;
        std::string rawKept;
        for (char ch : raw)
            if (!isUrlDroppedByte(ch)) rawKept.push_back(ch);
        EXPECT_EQ(encodeUrlPath(decoded) == rawKept, canonical) << raw;
    }
    EXPECT_FALSE(isCanonicalPath("ab", "abc"));
    EXPECT_FALSE(isCanonicalPath("abc", "ab"));
}

struct CollapseCase {
    std::string_view in, out, outDroppingEmpty;
};

TEST(UrlTextTest, CollapseDotsSegmentBySegmentNeverAboveTheRoot) {
    // A path that ends in "." or ".." names a directory; ".." inside a name is a name; ".." takes an empty
    // segment first; a relative path cannot climb out either.
    for (const CollapseCase& c :
         std::vector<CollapseCase>{CollapseCase{"/site/a/b/../../c.html", "/site/c.html", "/site/c.html"},
                                   CollapseCase{"/a/b/..", "/a/", "/a/"},
                                   CollapseCase{"/../../../etc/passwd", "/etc/passwd", "/etc/passwd"},
                                   CollapseCase{"/a..b/..c/...", "/a..b/..c/...", "/a..b/..c/..."},
                                   CollapseCase{"/a//../b", "/a/b", "/b"}, CollapseCase{"//a", "//a", "/a"},
                                   CollapseCase{"/a/b/", "/a/b/", "/a/b/"}, CollapseCase{"../a", "a", "a"},
                                   CollapseCase{"a/..", "", ""}, CollapseCase{"", "", ""}}) {
        EXPECT_EQ(collapseDots(c.in), c.out) << c.in;
        EXPECT_EQ(collapseDots(c.in, true), c.outDroppingEmpty) << c.in;
    }
    std::string appended = "http://h";
    collapseDotsInto("/../x/./y", false, appended);
    EXPECT_EQ(appended, "http://h/x/y");  // never reaches into what was there before
}

// Two texts in, one out.
struct PairCase {
    std::string_view first, second, out;
};

TEST(UrlTextTest, AbsolutizeAgainstTheBase) {
    // A local base lends no scheme; a base naming a file lends its directory; no blind removal of "./".
    for (const PairCase& c :
         std::vector<PairCase>{PairCase{"javascript:go('../x')", "http://x.org/d/", "javascript:go('../x')"},
                               PairCase{"https://u:p@O.org:81/./a/../b", "/site", "https://u:p@O.org:81/b"},

                               PairCase{"//o.org/a", "https://x.org/d/", "https://o.org/a"},
                               PairCase{"//o.org/a", "/home/me/site", "http://o.org/a"},
                               PairCase{"/a.html", "https://x.org/d/p.html", "https://x.org/a.html"},
                               PairCase{"a.html", "https://x.org/d/p.html", "https://x.org/d/a.html"},
                               PairCase{"a.html", "https://x.org", "https://x.org/a.html"},

                               PairCase{"b../c", "http://x.org/", "http://x.org/b../c"},
                               PairCase{"http:a.html", "https://x.org/d/", "http://x.org/d/a.html"}})
        EXPECT_EQ(absolutizeUrl(c.first, c.second), c.out) << c.first << " | " << c.second;
}

TEST(UrlTextTest, RelativePathBetweenSiteDirectories) {
    // A shared prefix inside a name is not shared; never empty (empty means the page itself); never read as
    // a scheme; case-sensitive.
    for (const PairCase& c : std::vector<PairCase>{
             PairCase{"/docs/", "/img/b.gif", "../img/b.gif"}, PairCase{"/", "/docs/x.html", "docs/x.html"},
             PairCase{"/docs", "/docs/x.html", "x.html"}, PairCase{"/a/b/c/", "/a/x.html", "../../x.html"},
             PairCase{"/a/", "/ab.html", "../ab.html"}, PairCase{"/docs/", "/docs", "../docs"},
             PairCase{"/docs/", "/docs/", "./"}, PairCase{"/", "/a:b.html", "./a:b.html"},
             PairCase{"/x/", "/a:b.html", "../a:b.html"}, PairCase{"/", "/d/a:b.html", "d/a:b.html"},
             PairCase{"/Docs/", "/docs/a.html", "../docs/a.html"}})
        EXPECT_EQ(relativePath(c.first, c.second), c.out) << c.first << " -> " << c.second;
}

}  // namespace
}  // namespace korvel
