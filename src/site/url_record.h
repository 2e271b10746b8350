#pragma once
// One URL occurrence in a page: where it stands, how it is written, and what it resolves to. Kept small:
// a large site holds a million of them.
#include <cstdint>
#include <string>

namespace korvel {

class Node;

struct UrlRecord {
    enum Flag : std::uint16_t {
        kExternal = 0x1,          // does not point into the site
        kBase = 0x2,              // the href of a base tag: not a link
        kRelative = 0x4,          // written without a server, path not starting with "/"
        kRoot = 0x8,              // written without a server, path starting with "/"
        kAbsolute = 0x10,         // written with a server part (//server)
        kEmbedded = 0x20,         // loads with the page (images, frames' sources, ...)
        kFrame = 0x40,            // from a "frame" or "iframe" tag
        kDefaultDocument = 0x80,  // names a directory and resolved to a server default document in it
        kNeedsEncoding = 0x100,   // the raw text differs from the canonical percent-encoded form
        kStyleSheet = 0x200,      // names a style sheet (a stylesheet link, an @import): read for its links
        kInStyle = 0x400,         // written in style sheet text (a file, a style block or attribute): CSS
                                  // escapes may stand in it, and it keeps the form it is written in
        kWithinValue = 0x800,     // one URL among other text: a srcset candidate, a refresh's URL
    };

    // Local: the value as written, cut at its fragment or query, percent-decoded, CR and LF removed.
    // External: the absolute URL made from it.
    std::string text;
    std::int64_t position = 0;  // offset of the value's first byte in the file
    std::int64_t end = 0;       // offset of the last byte of the raw value cut at its fragment or query
    Node* target = nullptr;     // what it resolves to; null for external and unresolved URLs
    std::uint16_t flags = 0;

    bool has(Flag flag) const { return (flags & flag) != 0; }
    void set(Flag flag, bool on = true) {
        flags = on ? static_cast<std::uint16_t>(flags | flag) : static_cast<std::uint16_t>(flags & ~flag);
    }
};

// A large site holds a million records: the record stays within one cache line besides its text.
static_assert(sizeof(UrlRecord) <= 64);

}  // namespace korvel
