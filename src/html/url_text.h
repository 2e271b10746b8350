#pragma once
// Text helpers for URLs as they stand in pages: where the usable part of an attribute value lies, its
// scheme, authority and path, percent decoding and encoding, dot segments, and relative paths. Pure
// functions of bytes; none depends on the locale. The hot ones have forms that write into a buffer the
// caller keeps, so that a million links cost no allocation each.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvel {

// The part of a raw attribute value that is the link: leading and trailing HTML white space dropped
// (browsers ignore it), then cut at the first "#" and at the first "?" before it (a file on disk has
// neither a fragment nor a query). "offset" counts from the start of the raw value.
struct UrlSpan {
    std::size_t offset = 0;
    std::size_t length = 0;
};
UrlSpan cutUrlValue(std::string_view raw);
// "raw" without its leading and trailing white space (space, tab, LF, FF, CR).
std::string_view trimUrlValue(std::string_view raw);
// "s" up to its first "#", then up to its first "?".
std::string_view stripFragment(std::string_view s);

// The parts of a URL text. A scheme is one or more letters, digits, "+", "-" or "." before the first ":",
// with no "/", "?" or "#" before that ":". An authority is present only when "//" starts the text or
// follows the scheme at once; it runs to the next "/" (or the end). The path is the rest; with an
// authority and nothing after it, the path is "/" ("http://host" names the root).
struct UrlParts {
    std::string_view scheme;     // without its ":"; empty when there is none
    std::string_view authority;  // without the "//"; may be empty even when hasAuthority
    std::string_view path;       // as written, except the "/" supplied for an authority without a path
    std::size_t pathStart = 0;   // where the path as written starts in the text (after scheme and authority)
    bool hasAuthority = false;
};
UrlParts splitUrl(std::string_view s);

// The authority of "s", ASCII lower-cased; empty when it has none.
std::string serverOf(std::string_view s);
// The path of "s" (see UrlParts).
std::string_view pathOf(std::string_view s);
// True for the schemes whose URL names a path on a server even without an authority ("http:page.html"):
// http, https and file, in any case. Every other scheme without an authority (mailto:, javascript:, tel:,
// data:, ...) names no file of any site.
bool isPathScheme(std::string_view scheme);

// Whether the authority names the configured server: compared without regard to ASCII case, with any
// user information ("user@") left out. An empty server name matches nothing.
bool isSameServer(std::string_view authority, std::string_view server);

// Whether a (decoded) URL text points into the site. "baseHasServer": the page's base is an external
// location. A URL with a non-empty authority is local exactly when it names the configured server; one
// without is local when its scheme (if any) is a path scheme and the base is local.
bool isLocalUrl(std::string_view text, bool baseHasServer, std::string_view server);

// Percent decoding in one forward pass: "%" followed by two hex digits becomes that byte, except "%00",
// which stays literal, as does every "%" not followed by two hex digits. Decoded bytes are never read
// again ("%2541" gives "%41"). CR, LF and tab are dropped (browsers drop them inside URLs), and so is a
// raw NUL (no file name holds one). The result is never longer than the input. The "Into" form replaces
// "out".
void decodeUrlInto(std::string_view s, std::string& out);
std::string decodeUrl(std::string_view s);

// Percent encoding of the reserved characters (blank ; / ? : @ = & < > " # % { } | \ ^ ~ [ ] `) and of
// the control characters as "%" and two upper-case hex digits; every other byte is kept. The input is
// decoded text, so a control character in it came from an escape and is escaped again (never dropped).
// encodeUrl leaves a leading scheme and authority exactly as written and encodes only the path; "/"
// stays unless "encodeSlashes".
// encodeUrlPath encodes all of "path": use it for a path built from file names, so that a name with a
// ":" can never be taken for a scheme.
void encodeUrlInto(std::string_view s, bool encodeSlashes, std::string& out);
std::string encodeUrl(std::string_view s, bool encodeSlashes = false);
void encodeUrlPathInto(std::string_view path, bool encodeSlashes, std::string& out);
std::string encodeUrlPath(std::string_view path, bool encodeSlashes = false);
// The text of a link written as "cut" (a value already trimmed and cut by cutUrlValue): the dropped bytes
// removed, scheme and authority as written, the path decoded. The structure is read before decoding, so
// "a%3Ab.html" stays a path. Replaces "out"; "pathStart" (if given) receives where the path starts in it.
void urlTextInto(std::string_view cut, std::string& out, std::size_t* pathStart = nullptr);

// The bytes that decoding drops: CR, LF, tab and NUL.
bool isUrlDroppedByte(char c);
// Whether "raw" (its dropped bytes ignored) is exactly encodeUrlPath(decoded, false); no allocation.
bool isCanonicalPath(std::string_view raw, std::string_view decoded);

// Removes "." and ".." segments of a "/"-separated path one segment at a time; ".." never climbs above
// the start (a leading "/" stays; for a path without one, leading ".." segments are dropped, and what is
// reduced to nothing gives ""). A path that ended in a "." or ".." segment keeps a trailing "/" (it names
// a directory). Empty segments are kept unless "dropEmpty". The "Into" form appends to "out".
void collapseDotsInto(std::string_view path, bool dropEmpty, std::string& out);
std::string collapseDots(std::string_view path, bool dropEmpty = false);

// Makes an external URL absolute against the page's base. URLs with a scheme but no authority
// (mailto:, javascript:, ...) are kept as they are; a scheme and authority are kept as written and only
// the path's dot segments are removed; "//host/p" takes the base's scheme, or "http:" when the base is a
// local directory (a local path never lends its scheme); "/p" and "p" take the base's scheme and
// authority, and "p" the directory of the base's path (up to its last "/"). An empty path after an
// authority becomes "/".
std::string absolutizeUrl(std::string_view text, std::string_view base);

// The relative link from the directory "fromDir" to "target", both "/"-separated and starting at the same
// root ("/docs/" and "/img/b.gif" give "../img/b.gif"). Never empty: a link to "fromDir" itself is "./".
// When the first segment of the result holds a ":", it gets a "./" in front, so that it cannot be read
// as a scheme. A "fromDir" without a trailing "/" is taken as a directory all the same.
std::string relativePath(std::string_view fromDir, std::string_view target);

// ASCII-only helpers shared by the URL code.
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);
void appendLower(std::string_view text, std::string& out);

// Appends the character "code" in UTF-8; 0, surrogates and values beyond U+10FFFF give U+FFFD, as a
// browser reads a character reference or a CSS escape that names none.
void appendUtf8(std::uint32_t code, std::string& out);

}  // namespace korvel
