#pragma once
// Turning a link as written in a page into a URL record: local or external, its written form, its
// canonical encoding, and the node of the site it names.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "html/url_text.h"
#include "site/output_files.h"
#include "site/url_record.h"

namespace korvel {

class Node;
class HtmlNode;
class SiteTree;

// What URL resolution needs to know about the job. The job makes one (after the scan, before the link
// passes) and owns it; nothing of it is process-wide, so two jobs, or two tests, never share a server
// default list.
class UrlContext {
  public:
    // "server": the configured server name (may be empty: then only URLs without an authority are local).
    // "serverDefaults": the server's default documents for a directory URL, separated by ";", in order;
    // blanks around names and empty items are ignored. "tree" may be null, then nothing resolves (tests
    // of the text decisions alone).
    UrlContext(const SiteTree* tree, std::string_view server, std::string_view serverDefaults);

    const SiteTree* tree() const { return tree_; }
    const std::string& server() const { return server_; }
    // The top directory's path without a trailing "/" (empty for the root directory "/").
    const std::string& topDir() const { return topDir_; }
    const std::vector<std::string>& defaultDocuments() const { return defaultDocuments_; }

  private:
    const SiteTree* tree_;
    std::string server_;
    std::string topDir_;
    std::vector<std::string> defaultDocuments_;
};

// The names of a ";"-separated default-document list, in order, without blanks or empty items.
std::vector<std::string> parseServerDefaults(std::string_view list);

// Fills "url" for the attribute value "raw" whose first byte stands at file offset "position" in "page".
// "flags" may hold UrlRecord::kBase, kEmbedded, kFrame and kWithinValue; every other field and flag is set
// here: the span (white space trimmed, cut at "#" and "?"), the decoded text (external: absolute), local or
// external, the written form, needs-encoding (local URLs only: only they are ever rewritten) and the target.
// Relative URLs resolve against page.base(); a URL naming the site's own server always resolves in the
// top directory, whatever the base. A directory resolves to its first server default document (the
// default-document flag), except for a base tag, which names the directory itself; with an empty default
// list, to the directory. Korvel's own output files are never a target.
// A raw value that cuts to nothing (""; "#top"; "?q") gives an empty text: callers skip such values.
void makeUrl(const HtmlNode& page, UrlRecord& url, std::uint16_t flags, std::int64_t position,
             std::string_view raw, const UrlContext& context);
// The same, resolving against "base" in place of page.base(): link finding may prepare a page's records
// on another thread, where the page's own base must not be touched.
void makeUrl(std::string_view base, UrlRecord& url, std::uint16_t flags, std::int64_t position,
             std::string_view raw, const UrlContext& context);

// The base that a base tag's record (made by makeUrl with kBase) gives the rest of the page: for a local
// URL the absolute directory of its path (up to its last "/", so a base naming a file gives that file's
// directory; no trailing "/", like the base a page starts with); for an external URL its absolute text.
// A base that names no location (no authority: mailto:, javascript:, ...) leaves "currentBase" as it is.
std::string baseFromTag(const UrlRecord& baseUrl, std::string_view currentBase, const UrlContext& context);

// Whether a base (a page's base()) is an external location rather than a local directory.
bool isExternalBase(std::string_view base);

// The site-relative path ("/docs/a.html") that a local URL text names, resolved against "base" (a local
// directory inside the top directory); dot segments removed, never above the top, repeated "/" merged.
// Empty when "text" is not local under that base.
std::string siteRelativePath(std::string_view text, std::string_view base, const UrlContext& context);

// The node a site-relative path names: exact case first, then without regard to ASCII case. Korvel's own
// output files are never found. Directories are returned as directories (no default document).
Node* findSiteNode(std::string_view siteRelative, const UrlContext& context);

// The written form: 1 relative, 2 root, 3 absolute, 0 none.
int urlForm(const UrlRecord& url);

}  // namespace korvel
