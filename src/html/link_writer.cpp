#include "html/link_writer.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "html/find_links.h"
#include "names/read_only_policy.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "report/log.h"
#include "res/strings.h"
#include "site/change_journal.h"
#include "site/node.h"

namespace korvel {

namespace {

// The whole page as it is now. False, with the failure reported, when it cannot be opened or read.
// "stamp" receives the page as it was when read.
bool readPage(const FileNode& page, std::string& out, platform::FileStamp& stamp) {
    platform::ReadFile file;
    if (file.open(page.path()) || file.stamp(stamp)) {
        page.logError(res::kFileOpenFailed);
        return false;
    }
    constexpr std::size_t kChunk = 64 * 1024;
    const std::int64_t size = file.size();
    out.clear();
    out.reserve(size > 0 ? static_cast<std::size_t>(size) : 0);
    std::size_t length = 0;
    for (;;) {
        // Up to the size seen at the start, then on in chunks should the file have grown meanwhile.
        const std::size_t want = length < out.capacity() ? out.capacity() - length : kChunk;
        out.resize(length + want);
        std::error_code ec;
        const std::int64_t got =
            file.readAt(static_cast<std::int64_t>(length), out.data() + length, want, ec);
        if (got < 0) {
            page.logError(res::kFileReadFailed);
            return false;
        }
        length += static_cast<std::size_t>(got);
        out.resize(length);
        if (got == 0) return true;
    }
}

// The line index of "text" as FileNode::buildLineIndex makes it: every line end (a CR LF pair once, at
// its CR), then the length.
std::vector<std::int64_t> lineIndexOf(std::string_view text) {
    std::vector<std::int64_t> index;
    for (std::size_t i = text.find_first_of("\r\n"); i != std::string_view::npos;
         i = text.find_first_of("\r\n", i + 1)) {
        index.push_back(static_cast<std::int64_t>(i));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    index.push_back(static_cast<std::int64_t>(text.size()));
    return index;
}

bool holdsLineBreak(std::string_view bytes) {
    return bytes.find_first_of("\r\n") != std::string_view::npos;
}

// One edit as it is written: where it stood in the page as read, and its new bytes.
struct Written {
    std::int64_t position = 0;
    std::int64_t end = 0;
    std::string bytes;
};

// How far the edits moved what follows them: growth[k] is the total growth of the first k edits.
std::vector<std::int64_t> growthOf(const std::vector<Written>& written) {
    std::vector<std::int64_t> growth(written.size() + 1, 0);
    for (std::size_t k = 0; k < written.size(); ++k) {
        const Written& w = written[k];
        growth[k + 1] = growth[k] + static_cast<std::int64_t>(w.bytes.size()) - (w.end - w.position + 1);
    }
    return growth;
}

// The growth before "offset" of the page as read: that of the edits that end before it.
std::int64_t shiftAt(const std::vector<Written>& written, const std::vector<std::int64_t>& growth,
                     std::int64_t offset) {
    const auto k = std::partition_point(written.begin(), written.end(),
                                        [offset](const Written& w) { return w.end < offset; }) -
                   written.begin();
    return growth[static_cast<std::size_t>(k)];
}

}  // namespace

bool FileLinkWriter::rewrite(FileNode& page, std::span<const LinkEdit> edits) {
    auto* html = dynamic_cast<HtmlNode*>(&page);
    StyleSheetLinks* sheet = html || !found_ ? nullptr : found_->styleSheet(page);
    if (!html && !sheet) {
        page.logError(res::kFileWriteFailed);
        return false;
    }
    if (!names::confirmRewrite(page)) return false;

    std::string before;
    platform::FileStamp readAs;
    if (!readPage(page, before, readAs)) return false;
    std::vector<UrlRecord>& urls = html ? html->urls() : sheet->urls;
    std::string after;
    std::size_t changedCount = 0;
    if (!applyLinkEdits(before, urls, edits, after, changedCount)) {
        page.logError(res::kPageChangedSinceRead);
        return false;
    }

    // applyLinkEdits has checked that the edits are in order, apart and inside the page.
    std::vector<Written> written;
    written.reserve(edits.size());
    bool linesMove = false;
    ContentChange why;
    why.kind = ContentChange::Kind::Links;
    std::vector<std::int64_t> changedAt;
    for (const LinkEdit& edit : edits) {
        Written& w = written.emplace_back();
        w.position = edit.position;
        w.end = edit.end;
        w.bytes = linkBytes(edit.newText, edit.keep, linkQuote(before, urls[edit.record]));
        const std::string_view raw = std::string_view(before).substr(
            static_cast<std::size_t>(edit.position), static_cast<std::size_t>(edit.end - edit.position + 1));
        if (w.bytes == raw) continue;
        linesMove = linesMove || holdsLineBreak(raw);
        changedAt.push_back(edit.position);
        why.links.push_back({0, urls[edit.record].text, edit.newText});
    }
    const std::vector<std::uint32_t> lines = linesOfPositions(before, changedAt);
    for (std::size_t i = 0; i < why.links.size(); ++i)
        why.links[i].line = lines[i];

    if (changedCount > 0 && !replaceRecorded(page, before, after, why, &readAs)) return false;

    // The page now holds the new bytes: what was learnt from the old ones moves with them.
    const std::vector<std::int64_t> growth = growthOf(written);
    std::vector<bool> edited(urls.size(), false);
    for (std::size_t k = 0; k < edits.size(); ++k) {
        UrlRecord& url = urls[edits[k].record];
        url.text = edits[k].newText;
        url.position += growth[k];
        url.end = url.position + static_cast<std::int64_t>(written[k].bytes.size()) - 1;
        edited[edits[k].record] = true;
    }
    for (std::size_t i = 0; i < urls.size(); ++i) {
        if (edited[i]) continue;
        const std::int64_t shift = shiftAt(written, growth, urls[i].position);
        urls[i].position += shift;
        urls[i].end += shift;
    }
    page.setLineIndex(lineIndexOf(after));
    if (sheet) {
        // A style sheet's lines are kept for every record: they follow the new bytes.
        std::vector<std::int64_t> positions;
        positions.reserve(urls.size());
        for (const UrlRecord& url : urls)
            positions.push_back(url.position);
        sheet->lines = linesOfPositions(after, positions);
    } else if (linesMove && found_) {
        // A link written across lines is one line now: every later line moved up.
        std::vector<std::size_t> order(urls.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&urls](std::size_t a, std::size_t b) {
            return urls[a].position < urls[b].position;
        });
        std::vector<std::int64_t> positions;
        positions.reserve(order.size());
        for (std::size_t i : order)
            positions.push_back(urls[i].position);
        const std::vector<std::uint32_t> sortedLines = linesOfPositions(after, positions);
        std::vector<std::uint32_t> recordLines(urls.size());
        for (std::size_t k = 0; k < order.size(); ++k)
            recordLines[order[k]] = sortedLines[k];
        found_->setLines(*html, std::move(recordLines));
    }
    return true;
}

}  // namespace korvel
