#include "html/url.h"

#include "platform/ascii.h"

#include "site/node.h"
#include "site/site_tree.h"

namespace korvel {

namespace {

std::string_view withoutTrailingSlash(std::string_view path) {
    while (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

// The configured server as a bare authority: people paste "http://www.example.org/" as often as the name.
std::string normalizeServer(std::string_view server) {
    server = trimUrlValue(server);
    if (const std::size_t slashes = server.find("//"); slashes != std::string_view::npos)
        server.remove_prefix(slashes + 2);
    return std::string(server.substr(0, server.find('/')));
}

// The base a page starts with, or a local base tag's: a directory inside the top directory. Its part
// below the top directory ("" for the top itself); a base outside the tree counts as the top, so that no
// link can resolve outside it.
std::string_view baseBelowTop(std::string_view base, const UrlContext& context) {
    base = withoutTrailingSlash(base);
    const std::string& top = context.topDir();
    if (base.size() > top.size() && base.substr(0, top.size()) == top && base[top.size()] == '/')
        return base.substr(top.size());
    return {};
}

// Whether every segment of "path" is a name: no ".", "..", nor empty one, but for an empty last segment
// (a trailing "/"). Such a path comes out of collapseDotsInto as it went in.
bool hasOnlyNames(std::string_view path) {
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view segment = path.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == "..") return false;
        start = end + 1;
    }
    return true;
}

// The site-relative path of "path" (decoded) resolved against "base"; written into "out".
void resolveSitePath(std::string_view path, std::string_view base, const UrlContext& context,
                     std::string& out) {
    out.clear();
    if (!path.empty() && path.front() == '/') {
        collapseDotsInto(path, true, out);
        return;
    }
    const std::string_view dir = baseBelowTop(base, context);
    // Most relative links are some "../" and then names, against a base of names: the steps up cut the
    // base and the names follow, as collapsing the joined path would give, without reading it all again.
    std::size_t namesStart = 0;
    while (path.substr(namesStart, 3) == "../")
        namesStart += 3;
    const std::string_view names = path.substr(namesStart);
    if ((dir.empty() || (dir.front() == '/' && hasOnlyNames(dir.substr(1)))) && hasOnlyNames(names)) {
        std::string_view kept = dir;
        for (std::size_t up = namesStart / 3; up > 0 && !kept.empty(); --up)
            kept = kept.substr(0, kept.rfind('/'));
        out.assign(kept);
        out.push_back('/');
        out.append(names);
        return;
    }
    thread_local std::string joined;
    joined.assign(dir);
    joined.push_back('/');
    joined.append(path);
    collapseDotsInto(joined, true, out);
}

bool isDirectory(const Node* node) {
    return dynamic_cast<const DirNode*>(node) != nullptr;
}

}  // namespace

std::vector<std::string> parseServerDefaults(std::string_view list) {
    std::vector<std::string> names;
    while (!list.empty()) {
        const std::size_t semicolon = list.find(';');
        const std::string_view item = trimUrlValue(list.substr(0, semicolon));
        if (!item.empty()) names.emplace_back(item);
        if (semicolon == std::string_view::npos) break;
        list.remove_prefix(semicolon + 1);
    }
    return names;
}

UrlContext::UrlContext(const SiteTree* tree, std::string_view server, std::string_view serverDefaults)
    : tree_(tree),
      server_(normalizeServer(server)),
      topDir_(tree ? withoutTrailingSlash(tree->top().originalPath()) : std::string_view()),
      defaultDocuments_(parseServerDefaults(serverDefaults)) {}

bool isExternalBase(std::string_view base) {
    return !splitUrl(base).scheme.empty();
}

Node* findSiteNode(std::string_view siteRelative, const UrlContext& context) {
    if (!context.tree()) return nullptr;
    thread_local std::string full;
    full.assign(context.topDir());
    full.append(siteRelative);
    if (full.empty()) full.push_back('/');
    Node* node = context.tree()->findNodeByPath(full);
    if (node && isKorvelOutputFile(context.topDir(), node->originalPath())) return nullptr;
    return node;
}

std::string siteRelativePath(std::string_view text, std::string_view base, const UrlContext& context) {
    std::string out;
    if (!isLocalUrl(text, isExternalBase(base), context.server())) return out;
    resolveSitePath(pathOf(text), base, context, out);
    return out;
}

void makeUrl(const HtmlNode& page, UrlRecord& url, std::uint16_t flags, std::int64_t position,
             std::string_view raw, const UrlContext& context) {
    makeUrl(std::string_view(page.base()), url, flags, position, raw, context);
}

void makeUrl(std::string_view base, UrlRecord& url, std::uint16_t flags, std::int64_t position,
             std::string_view raw, const UrlContext& context) {
    url.flags =
        flags & (UrlRecord::kBase | UrlRecord::kEmbedded | UrlRecord::kFrame | UrlRecord::kWithinValue);
    url.target = nullptr;

    const UrlSpan span = cutUrlValue(raw);
    const std::string_view cut = raw.substr(span.offset, span.length);
    url.position = position + static_cast<std::int64_t>(span.offset);
    url.end = url.position + static_cast<std::int64_t>(span.length) - 1;

    // The structure is read from the text as written, before decoding: "a%3Ab.html" is a page, not a
    // scheme. Scheme and authority stay as written; only the path is decoded.
    std::size_t pathStart = 0;
    urlTextInto(cut, url.text, &pathStart);
    const UrlParts written = splitUrl(std::string_view(url.text).substr(0, pathStart));
    const std::string_view decoded = std::string_view(url.text).substr(pathStart);
    std::string_view path = written.hasAuthority && decoded.empty() ? std::string_view("/") : decoded;

    bool local;
    if (!written.authority.empty()) {
        local = isSameServer(written.authority, context.server());
    } else if (!written.scheme.empty() && !isPathScheme(written.scheme)) {
        local = false;
    } else if (platform::equalsIgnoringAsciiCase(written.scheme, "file")) {
        // A file URL names a path on this machine, not on the server: inside the top directory it leads
        // into the site (from the top, as a root link does); anywhere else it points outside the site.
        const std::string& top = context.topDir();
        local = path.substr(0, top.size()) == top && (path.size() == top.size() || path[top.size()] == '/');
        if (local) path = path.size() == top.size() ? std::string_view("/") : path.substr(top.size());
    } else {
        local = !isExternalBase(base);
    }

    if (!written.authority.empty())
        url.set(UrlRecord::kAbsolute);
    else if (!path.empty() && path.front() == '/')
        url.set(UrlRecord::kRoot);
    else
        url.set(UrlRecord::kRelative);

    if (!local) {
        url.set(UrlRecord::kExternal);
        url.text = absolutizeUrl(url.text, base);
        return;
    }
    // Only local links are ever rewritten, so only they can need it.
    std::size_t rawPathStart = 0;
    for (std::size_t kept = 0; kept < pathStart; ++rawPathStart)
        if (!isUrlDroppedByte(cut[rawPathStart])) ++kept;
    if (!isCanonicalPath(cut.substr(rawPathStart), decoded)) url.set(UrlRecord::kNeedsEncoding);

    thread_local std::string sitePath;
    resolveSitePath(path, base, context, sitePath);
    Node* node = findSiteNode(sitePath, context);
    if (!node) return;
    if (!isDirectory(node) || url.has(UrlRecord::kBase) || context.defaultDocuments().empty()) {
        url.target = node;
        return;
    }
    const std::size_t directoryLength = withoutTrailingSlash(sitePath).size();
    for (const std::string& name : context.defaultDocuments()) {
        sitePath.resize(directoryLength);
        sitePath.push_back('/');
        sitePath.append(name);
        Node* document = findSiteNode(sitePath, context);
        if (document && !isDirectory(document)) {
            url.target = document;
            url.set(UrlRecord::kDefaultDocument);
            return;
        }
    }
}

std::string baseFromTag(const UrlRecord& baseUrl, std::string_view currentBase, const UrlContext& context) {
    if (baseUrl.has(UrlRecord::kExternal)) {
        if (!splitUrl(baseUrl.text).hasAuthority) return std::string(currentBase);
        return baseUrl.text;
    }
    thread_local std::string sitePath;
    resolveSitePath(pathOf(baseUrl.text), currentBase, context, sitePath);
    // The directory of the base: up to its last "/" ("/docs/index.html" and "/docs/" give "/docs").
    const std::size_t slash = sitePath.rfind('/');
    std::string result(context.topDir());
    if (slash != std::string::npos) result.append(sitePath, 0, slash);
    if (result.empty()) result.push_back('/');
    return result;
}

int urlForm(const UrlRecord& url) {
    if (url.has(UrlRecord::kRelative)) return 1;
    if (url.has(UrlRecord::kRoot)) return 2;
    if (url.has(UrlRecord::kAbsolute)) return 3;
    return 0;
}

}  // namespace korvel
