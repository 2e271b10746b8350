#include "html/url_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace korvel {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

struct SpanCase {
    std::string_view raw;
    std::size_t offset;
    std::string_view cut;
};

TEST(UrlTextTest, CutValueTrimsWhiteSpaceAndCutsAtFragmentThenQuery) {
    const SpanCase cases[] = {
        {"a.html", 0, "a.html"},
        {"a.html#top", 0, "a.html"},
        {"a.html?x=1", 0, "a.html"},
        {"a.html?x=1#top", 0, "a.html"},  // a file on disk has no query
        {"a.html#top?x", 0, "a.html"},    // "?" inside the fragment
        {"a.html?x#y?z", 0, "a.html"},    // first "#", then first "?"
        {"a.html#x#y", 0, "a.html"},      // the first "#", not the last
        {" https://x.org/a ", 1, "https://x.org/a"},
        {"\t\r\n page.html \f", 4, "page.html"},
        {"  my page.html  ", 2, "my page.html"},  // inner blanks are part of the link
        {"#top", 0, ""},
        {"?q=1", 0, ""},
        {"   ", 3, ""},
        {"", 0, ""},
        {" /a/b.html #x", 1, "/a/b.html "},  // the blank before "#" is inside the value
    };
    for (const SpanCase& c : cases) {
        const UrlSpan span = cutUrlValue(c.raw);
        EXPECT_EQ(span.offset, c.offset) << c.raw;
        EXPECT_EQ(c.raw.substr(span.offset, span.length), c.cut) << c.raw;
    }
}

struct SplitCase {
    std::string_view text;
    std::string_view scheme;
    bool hasAuthority;
    std::string_view authority;
    std::string_view path;
};

TEST(UrlTextTest, SplitFindsSchemeAuthorityAndPath) {
    const SplitCase cases[] = {
        {"http://Www.X.org/a/b.html", "http", true, "Www.X.org", "/a/b.html"},
        {"https://user:pw@host:8080/p", "https", true, "user:pw@host:8080", "/p"},
        {"http://SERVER", "http", true, "SERVER", "/"},  // no path means the root
        {"//host/x", "", true, "host", "/x"},
        {"file:///C:/site/a.html", "file", true, "", "/C:/site/a.html"},
        {"mailto:a@b.org", "mailto", false, "", "a@b.org"},
        {"javascript:go('//x/')", "javascript", false, "", "go('//x/')"},
        {"svn+ssh.1-x://h/r", "svn+ssh.1-x", true, "h", "/r"},
        {"a/b:c.html", "", false, "", "a/b:c.html"},  // "/" before ":": no scheme
        {"a?b:c", "", false, "", "a?b:c"},
        {"a#b:c", "", false, "", "a#b:c"},
        {"a b:c", "", false, "", "a b:c"},  // a blank is no scheme character
        {":x", "", false, "", ":x"},        // an empty scheme is none
        {"page.html", "", false, "", "page.html"},
        {"/a//b", "", false, "", "/a//b"},  // "//" inside the path is no authority
        {"x/y//h/p", "", false, "", "x/y//h/p"},
        {"http:page.html", "http", false, "", "page.html"},
        {"http:/x//y", "http", false, "", "/x//y"},
        {"", "", false, "", ""},
    };
    for (const SplitCase& c : cases) {
        const UrlParts parts = splitUrl(c.text);
        EXPECT_EQ(parts.scheme, c.scheme) << c.text;
        EXPECT_EQ(parts.hasAuthority, c.hasAuthority) << c.text;
        EXPECT_EQ(parts.authority, c.authority) << c.text;
        EXPECT_EQ(parts.path, c.path) << c.text;
        EXPECT_EQ(pathOf(c.text), c.path) << c.text;
    }
}

TEST(UrlTextTest, ServerOfIsTheLowerCasedAuthority) {
    EXPECT_EQ(serverOf("http://Www.X.ORG/a"), "www.x.org");
    EXPECT_EQ(serverOf("HTTPS://User@Host:81"), "user@host:81");
    EXPECT_EQ(serverOf("a/b//c/d"), "");
    EXPECT_EQ(serverOf("mailto:x@y"), "");
}

struct LocalCase {
    std::string_view text;
    bool baseHasServer;
    bool local;
};

TEST(UrlTextTest, LocalWhenNamingTheServerOrWithoutOneUnderALocalBase) {
    constexpr std::string_view server = "www.site.org";
    const LocalCase cases[] = {
        {"page.html", false, true},
        {"/docs/a.html", false, true},
        {"http://WWW.Site.ORG/a.html", false, true},
        {"https://www.site.org", false, true},
        {"http://user@www.site.org/a", false, true},
        {"//www.site.org/a", true, true},  // the own server stays local under an external base
        {"http://www.site.org/a", true, true},
        {"http://www.site.org:8080/a", false, false},  // another port is another server
        {"http://other.org/a.html", false, false},
        {"page.html", true, false},
        {"/a.html", true, false},
        {"mailto:me@site.org", false, false},
        {"MAILTO:me@site.org", false, false},
        {"news:comp.lang", false, false},
        {"javascript:void(0)", false, false},
        {"tel:+123", false, false},
        {"data:image/png;base64,AAA", false, false},
        {"about:blank", false, false},
        {"http:page.html", false, true},  // a path scheme without a server is a path
        {"file:///x/y.html", false, true},
        {"ftp:///x", false, false},
        {"a:b.html", false, false},  // reads as a scheme, as a browser reads it
        {"a/b:c.html", false, true},
    };
    for (const LocalCase& c : cases)
        EXPECT_EQ(isLocalUrl(c.text, c.baseHasServer, server), c.local) << c.text << " " << c.baseHasServer;
    EXPECT_FALSE(isLocalUrl("//x/a", false, ""));  // no configured server: nothing with a server is local
    EXPECT_TRUE(isLocalUrl("file:///a", false, ""));
    EXPECT_TRUE(isLocalUrl("a.html", false, ""));
}

TEST(UrlTextTest, SameServerIgnoresCaseAndUserInformationOnly) {
    EXPECT_TRUE(isSameServer("WWW.X.org", "www.x.org"));
    EXPECT_TRUE(isSameServer("me:pw@www.x.org", "www.x.org"));
    EXPECT_TRUE(isSameServer("www.x.org:81", "www.x.org:81"));
    EXPECT_FALSE(isSameServer("www.x.org.evil", "www.x.org"));
    EXPECT_FALSE(isSameServer("x.org", "www.x.org"));
    EXPECT_FALSE(isSameServer("", ""));
}

struct DecodeCase {
    std::string_view in;
    std::string_view out;
};

TEST(UrlTextTest, DecodeReadsOnlyPercentAndTwoHexDigitsInOneForwardPass) {
    const DecodeCase cases[] = {
        {"My%20Page.html", "My Page.html"},
        {"%2541", "%41"},  // never re-reads its own output
        {"%252541", "%2541"},
        {"%41%42", "AB"},
        {"%4a%4A", "JJ"},
        {"%00", "%00"},  // NUL stays literal
        {"a%00b%41", "a%00bA"},
        {"%", "%"},
        {"%4", "%4"},
        {"%G1", "%G1"},
        {"%1G", "%1G"},
        {"%-1", "%-1"},    // no sign
        {"% 41", "% 41"},  // no blank
        {"%%41", "%A"},    // the first "%" has no digits; the second has
        {"100%", "100%"},
        {"a\r\nb", "ab"},
        {"a\tb", "ab"},
        {"a\0b"sv, "ab"},  // no file name holds a NUL
        {"%4\n1", "A"},    // a line break inside an escape is dropped before reading it
        {"%C3%A9t%C3%A9", "\xC3\xA9t\xC3\xA9"},
        {"%2F", "/"},
        {"%ff", "\xff"},
        {"", ""},
    };
    std::string buffer = "stale";
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(decodeUrl(c.in), c.out) << c.in;
        decodeUrlInto(c.in, buffer);
        EXPECT_EQ(buffer, c.out) << c.in;
    }
}

struct TextCase {
    std::string_view cut;
    std::string_view text;
    std::size_t pathStart;
};

TEST(UrlTextTest, LinkTextReadsTheStructureBeforeDecodingThePath) {
    const TextCase cases[] = {
        {"a%3Ab.html", "a:b.html", 0},                 // still a path
        {"http://h%41/a%20b", "http://h%41/a b", 11},  // the authority stays as written
        {"ht\ntp://h/x", "http://h/x", 8},
        {"http://host", "http://host", 11},
        {"mailto:a%40b", "mailto:a@b", 7},
        {"//h/%2F", "//h//", 3},
        {"", "", 0},
    };
    std::string out = "stale";
    for (const TextCase& c : cases) {
        std::size_t pathStart = 99;
        urlTextInto(c.cut, out, &pathStart);
        EXPECT_EQ(out, c.text) << c.cut;
        EXPECT_EQ(pathStart, c.pathStart) << c.cut;
    }
}

struct EncodeCase {
    std::string_view in;
    bool slashes;
    std::string_view out;
};

TEST(UrlTextTest, EncodeEscapesReservedCharactersOfThePathOnly) {
    const EncodeCase cases[] = {
        {"My Page.html", false, "My%20Page.html"},
        {"a~b", false, "a%7Eb"},
        {" ;/?:@=&<>\"#%{}|\\^~[]`", false,
         "%20%3B/%3F%3A%40%3D%26%3C%3E%22%23%25%7B%7D%7C%5C%5E%7E%5B%5D%60"},
        {"a/b", true, "a%2Fb"},
        {"\xC3\xA9t\xC3\xA9.html", false, "\xC3\xA9t\xC3\xA9.html"},  // other bytes are kept
        {"a\r\nb\tc\x01\x7F", false, "a%0D%0Ab%09c%01%7F"},           // decoded controls came from escapes
        // Scheme and authority exactly as written; only the path is encoded.
        {"http://www.x.org/a b", false, "http://www.x.org/a%20b"},
        {"https://user:pw@Host:8080/a b", false, "https://user:pw@Host:8080/a%20b"},
        {"https://host", false, "https://host"},
        {"svn+ssh://h/a:b", false, "svn+ssh://h/a%3Ab"},
        {"//h:1/~x", false, "//h:1/%7Ex"},
        {"mailto:a b@c", false, "mailto:a%20b%40c"},
        {"HTTP:a b", false, "HTTP:a%20b"},
        {"a/b:c d", false, "a/b%3Ac%20d"},  // a ":" after a "/" is in the path
        {"", false, ""},
    };
    std::string buffer = "stale";
    for (const EncodeCase& c : cases) {
        EXPECT_EQ(encodeUrl(c.in, c.slashes), c.out) << c.in;
        encodeUrlInto(c.in, c.slashes, buffer);
        EXPECT_EQ(buffer, c.out) << c.in;
    }
}

TEST(UrlTextTest, EncodePathTakesNothingForASchemeOrAuthority) {
    EXPECT_EQ(encodeUrlPath("a:b.html"), "a%3Ab.html");
    EXPECT_EQ(encodeUrlPath("//h/x y"), "//h/x%20y");
    EXPECT_EQ(encodeUrlPath("../my dir/a.html"), "../my%20dir/a.html");
    EXPECT_EQ(encodeUrlPath("a/b", true), "a%2Fb");
    std::string buffer = "stale";
    encodeUrlPathInto("x y", false, buffer);
    EXPECT_EQ(buffer, "x%20y");
}

struct CanonicalCase {
    std::string_view raw;
    bool canonical;
};

TEST(UrlTextTest, CanonicalPathMatchesEncodeOfDecode) {
    const CanonicalCase cases[] = {
        {"My%20Page.html", true}, {"My Page.html", false},
        {"a%7Eb", true},          {"a~b", false},
        {"a%7eb", false},  // upper-case hex is canonical
        {"%41.html", false},      {"A.html", true},
        {"a%2Fb", false},                                 // decodes to a "/", which stays a "/"
        {"a%25b", true},          {"%zz", false},         // canonical is %25zz
        {"%00", false},           {"a\r\nb.html", true},  // dropped bytes are not counted
        {"a%2\n0b", true},        {"", true},
        {"/docs/", true},
    };
    for (const CanonicalCase& c : cases) {
        const std::string decoded = decodeUrl(c.raw);
        EXPECT_EQ(isCanonicalPath(c.raw, decoded), c.canonical) << c.raw;
        // The same decision as comparing the built encoding with the raw text.
        std::string rawKept;
        for (char ch : c.raw)
            if (ch != '\r' && ch != '\n' && ch != '\t') rawKept.push_back(ch);
        EXPECT_EQ(encodeUrlPath(decoded) == rawKept, c.canonical) << c.raw;
    }
    EXPECT_FALSE(isCanonicalPath("ab", "abc"));
    EXPECT_FALSE(isCanonicalPath("abc", "ab"));
    EXPECT_FALSE(isCanonicalPath("%2", " "));
}

struct CollapseCase {
    std::string_view in;
    std::string_view out;
    std::string_view outDroppingEmpty;
};

TEST(UrlTextTest, CollapseDotsSegmentBySegmentNeverAboveTheRoot) {
    const CollapseCase cases[] = {
        {"/site/a/../b.html", "/site/b.html", "/site/b.html"},
        {"/site/a/b/../../c.html", "/site/c.html", "/site/c.html"},
        {"/a/b/..", "/a/", "/a/"},  // names the directory
        {"/a/b/.", "/a/b/", "/a/b/"},
        {"/a/./b", "/a/b", "/a/b"},
        {"/../a.html", "/a.html", "/a.html"},
        {"/../../../etc/passwd", "/etc/passwd", "/etc/passwd"},
        {"/a/../../b", "/b", "/b"},
        {"/..", "/", "/"},
        {"/.", "/", "/"},
        {"/", "/", "/"},
        {"/a..b/c", "/a..b/c", "/a..b/c"},  // ".." inside a name is a name
        {"/a/..b/...", "/a/..b/...", "/a/..b/..."},
        {"/b../c", "/b../c", "/b../c"},
        {"/a/.hidden", "/a/.hidden", "/a/.hidden"},
        {"/a//b", "/a//b", "/a/b"},
        {"/a//../b", "/a/b", "/b"},  // ".." takes the empty segment first
        {"//a", "//a", "/a"},
        {"/a/b/", "/a/b/", "/a/b/"},
        {"a/../b", "b", "b"},
        {"../a", "a", "a"},  // no climbing out of a relative path either
        {"a/..", "", ""},
        {"./a", "a", "a"},
        {"", "", ""},
    };
    for (const CollapseCase& c : cases) {
        EXPECT_EQ(collapseDots(c.in), c.out) << c.in;
        EXPECT_EQ(collapseDots(c.in, true), c.outDroppingEmpty) << c.in;
    }
    std::string appended = "http://h";
    collapseDotsInto("/../x/./y", false, appended);
    EXPECT_EQ(appended, "http://h/x/y");  // never reaches into what was there before
}

struct AbsoluteCase {
    std::string_view text;
    std::string_view base;
    std::string_view out;
};

TEST(UrlTextTest, AbsolutizeAgainstTheBase) {
    const AbsoluteCase cases[] = {
        {"mailto:a@b.org", "http://x.org/d/", "mailto:a@b.org"},
        {"javascript:go('../x')", "http://x.org/d/", "javascript:go('../x')"},
        {"http://o.org/a/../b.html", "/site", "http://o.org/b.html"},
        {"https://u:p@O.org:81/./a", "/site", "https://u:p@O.org:81/a"},
        {"http://o.org", "/site", "http://o.org/"},
        {"//o.org/a", "https://x.org/d/", "https://o.org/a"},
        {"//o.org/a", "/home/me/site", "http://o.org/a"},  // a local base lends no scheme
        {"/a.html", "https://x.org/d/p.html", "https://x.org/a.html"},
        {"a.html", "https://x.org/d/p.html",
         "https://x.org/d/a.html"},  // a base naming a file: its directory
        {"a.html", "https://x.org/d/", "https://x.org/d/a.html"},
        {"a.html", "https://x.org/d", "https://x.org/a.html"},
        {"a.html", "https://x.org", "https://x.org/a.html"},
        {"../../a.html", "https://x.org/d/", "https://x.org/a.html"},
        {"b../c", "http://x.org/", "http://x.org/b../c"},  // no blind removal of "./"
        {"http:a.html", "https://x.org/d/", "http://x.org/d/a.html"},
        {"", "https://x.org/d/p.html", "https://x.org/d/"},
    };
    for (const AbsoluteCase& c : cases)
        EXPECT_EQ(absolutizeUrl(c.text, c.base), c.out) << c.text << " | " << c.base;
}

struct RelativeCase {
    std::string_view from;
    std::string_view target;
    std::string_view out;
};

TEST(UrlTextTest, RelativePathBetweenSiteDirectories) {
    const RelativeCase cases[] = {
        {"/docs/", "/img/b.gif", "../img/b.gif"},
        {"/", "/docs/x.html", "docs/x.html"},
        {"/docs/", "/docs/x.html", "x.html"},
        {"/docs", "/docs/x.html", "x.html"},  // a directory without its "/"
        {"/a/b/c/", "/a/x.html", "../../x.html"},
        {"/a/", "/ab.html", "../ab.html"},  // a shared prefix inside a name is not shared
        {"/ab/", "/a/x", "../a/x"},
        {"/docs/", "/docs", "../docs"},
        {"/docs/", "/docs/", "./"},  // never empty: empty means the page itself
        {"/", "/", "./"},
        {"/a/b/", "/a/", "../"},
        {"/", "/a:b.html", "./a:b.html"},  // never read as a scheme
        {"/x/", "/a:b.html", "../a:b.html"},
        {"/", "/d/a:b.html", "d/a:b.html"},
        {"/Docs/", "/docs/a.html", "../docs/a.html"},  // case-sensitive
    };
    for (const RelativeCase& c : cases)
        EXPECT_EQ(relativePath(c.from, c.target), c.out) << c.from << " -> " << c.target;
}

TEST(UrlTextTest, RoundTripOfDecodeAndEncodeIsAFixedPoint) {
    const std::string_view samples[] = {"a b",  "%2541", "%zz",       "%00",        "100%",     "a%2Fb",
                                        "~x/y", "%7e",   "\xff%41 /", "q?x#y",      "%%%",      "%4",
                                        "",     "%20%",  "a%0Ab",     "../%2e%2e/", "%25%32%35"};
    for (std::string_view raw : samples) {
        const std::string decoded = decodeUrl(raw);
        EXPECT_LE(decoded.size(), raw.size()) << raw;
        const std::string canonical = encodeUrlPath(decoded, true);
        EXPECT_EQ(decodeUrl(canonical), decoded) << raw;
        EXPECT_EQ(encodeUrlPath(decodeUrl(canonical), true), canonical) << raw;
        EXPECT_TRUE(isCanonicalPath(encodeUrlPath(decoded), decoded)) << raw;
    }
}

}  // namespace
}  // namespace korvel
