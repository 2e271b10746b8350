#pragma once
// Style sheets: the files that a style sheet names in url(...), @import and image-set(), whether it is a
// file of its own or stands in a page (a <style> block, a style attribute). Only those forms are read;
// every other part of a style sheet (selectors, properties, strings, comments) is passed over.
//
// A page's style references become URL records of the page like its links. A style sheet file is read
// once per job by link finding (find_links.h), which keeps its records apart from the pages'.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "html/scanner.h"
#include "site/url_record.h"

namespace korvel {
class Node;
class UrlContext;
}  // namespace korvel

namespace korvel::html {

// One file named by a style sheet.
struct StyleRef {
    std::string_view text;      // as written: between the quotes of a string, or the parentheses of url()
    std::int64_t position = 0;  // offset of its first byte
    bool import = false;        // from @import: it names a style sheet
    bool escaped = false;       // holds a backslash escape: see unescapeCss
};

// Appends the references of the style sheet text "css", whose first byte stands at offset "offset", in
// the order written: every url(...) (quoted or not), every @import "..." or @import url(...), and the
// strings of an image-set(). Comments, other strings and an @namespace's URL are passed over. A
// malformed url() is passed over as a browser does. data: URLs and values that are empty or only a
// fragment ("#clip") name no file and are left out. "attribute": the text is a style attribute's value,
// where quotes may also be written as the character references &quot; &#34; &apos; &#39;.
void findStyleRefs(std::string_view css, std::int64_t offset, std::vector<StyleRef>& out,
                   bool attribute = false);

// The references of the style of tag "index" of "tags", a scan of the page "text": its style attribute,
// and the style block that it opens when it is a <style> tag. A block runs to the next "</style" or to
// the end of the page; "blockEnd" is the offset where the last block found so far ended (start at 0), so
// that a <style> tag inside a block is not read twice. Returns the new blockEnd.
std::size_t styleRefsOfTag(const TagList& tags, std::size_t index, std::string_view text,
                           std::size_t blockEnd, std::vector<StyleRef>& out);

// "text" with its CSS escapes resolved: a backslash and up to six hex digits (and one white space after
// them) give that character in UTF-8 (0, surrogates and values beyond U+10FFFF give U+FFFD); a backslash
// before a line end is dropped with it; a backslash before any other byte gives that byte.
// "sources", when given, receives for each byte of the result the range [first, second) of "text" that
// gave it: a whole escape for each byte of the character it stands for.
std::string unescapeCss(std::string_view text,
                        std::vector<std::pair<std::size_t, std::size_t>>* sources = nullptr);

// Whether the file a record resolved to is to be read as a style sheet: the record says so (a stylesheet
// link, an @import), or the file's name ends in ".css" (any case). Pages and directories never are.
bool isStyleSheetTarget(const UrlRecord& url);
// A cheap test that isStyleSheetTarget may hold, from the record alone: it says so, or its text ends in
// ".css". A page's links are tried with it first.
bool mayNameStyleSheet(const UrlRecord& url);
bool hasStyleSheetName(const Node& node);

}  // namespace korvel::html

namespace korvel {

// Fills "url" from a style reference as makeUrl does from an attribute value (resolving against "base"),
// with "flags" (kEmbedded, kStyleSheet; an @import always gets kStyleSheet) and kInStyle. An escaped
// reference is resolved by its unescaped text; its position and end are those of the escaped bytes that
// stand for the link. None needs encoding: a link update rewrites a style reference only for a file's
// new name. An empty text (nothing left once cut at "#" or "?") means no record.
void makeStyleUrl(std::string_view base, UrlRecord& url, std::uint16_t flags, const html::StyleRef& ref,
                  const UrlContext& context);

}  // namespace korvel
