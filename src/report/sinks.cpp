#include "report/sinks.h"

#include <cstring>
#include <utility>

namespace korvel::report {

void TeeSink::listStarted(List list) {
    first_.listStarted(list);
    second_.listStarted(list);
}

void TeeSink::listEnded(List list) {
    first_.listEnded(list);
    second_.listEnded(list);
}

void TeeSink::syntaxError(const SyntaxError& error) {
    first_.syntaxError(error);
    second_.syntaxError(error);
}

void TeeSink::brokenLink(const BrokenLink& link) {
    first_.brokenLink(link);
    second_.brokenLink(link);
}

void TeeSink::brokenAnchor(const BrokenAnchor& anchor) {
    first_.brokenAnchor(anchor);
    second_.brokenAnchor(anchor);
}

void TeeSink::externalUrl(const ExternalUrl& url) {
    first_.externalUrl(url);
    second_.externalUrl(url);
}

void TeeSink::orphan(const Orphan& orphan) {
    first_.orphan(orphan);
    second_.orphan(orphan);
}

void TeeSink::frontPageWeight(const PageWeight& weight) {
    first_.frontPageWeight(weight);
    second_.frontPageWeight(weight);
}

void TeeSink::pageWeight(const PageWeight& weight) {
    first_.pageWeight(weight);
    second_.pageWeight(weight);
}

void TeeSink::skipped(const Skipped& entry) {
    first_.skipped(entry);
    second_.skipped(entry);
}

void TeeSink::jobNote(const JobNote& note) {
    first_.jobNote(note);
    second_.jobNote(note);
}

void RecordCounts::syntaxError(const SyntaxError& error) {
    ++syntaxErrors;
    next_.syntaxError(error);
}

void RecordCounts::brokenLink(const BrokenLink& link) {
    ++brokenLinks;
    next_.brokenLink(link);
}

void RecordCounts::brokenAnchor(const BrokenAnchor& anchor) {
    ++brokenAnchors;
    next_.brokenAnchor(anchor);
}

void RecordCounts::jobNote(const JobNote& note) {
    ++jobNotes;
    next_.jobNote(note);
}

namespace {

enum Tag : char {
    kStarted,
    kEnded,
    kSyntaxError,
    kBrokenLink,
    kBrokenAnchor,
    kExternalUrl,
    kOrphan,
    kFrontPage,
    kPageWeight,
    kSkipped,
    kJobNote,
};

// Reads back what BufferedSink packed, in the same order.
class Reader {
  public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    bool done() const { return rest_.empty(); }
    char tag() { return take(1).front(); }
    std::int64_t number() {
        std::int64_t n = 0;
        std::memcpy(&n, take(sizeof n).data(), sizeof n);
        return n;
    }
    void text(std::string& out) { out.assign(take(static_cast<std::size_t>(number()))); }
    void page(std::string& out) {
        if (tag()) text(lastPage_);
        out = lastPage_;
    }
    void weight(PageWeight& w) {
        text(w.page);
        w.bytes = number();
        const std::int64_t marks = number();
        w.external = marks & 1;
        w.broken = marks & 2;
        w.unknown = marks & 4;
    }

  private:
    std::string_view take(std::size_t n) {
        const std::string_view part = rest_.substr(0, n);
        rest_.remove_prefix(part.size());
        return part;
    }

    std::string_view rest_;
    std::string lastPage_;
};

}  // namespace

void BufferedSink::putNumber(std::int64_t number) {
    char raw[sizeof number];
    std::memcpy(raw, &number, sizeof number);
    bytes_.append(raw, sizeof raw);
}

void BufferedSink::putText(std::string_view text) {
    putNumber(static_cast<std::int64_t>(text.size()));
    bytes_.append(text);
}

void BufferedSink::putPage(std::string_view page) {
    const bool fresh = page != lastPage_;
    putTag(fresh ? 1 : 0);
    if (!fresh) return;
    putText(page);
    lastPage_.assign(page);
}

void BufferedSink::listStarted(List list) {
    putTag(kStarted);
    putNumber(static_cast<std::int64_t>(list));
}

void BufferedSink::listEnded(List list) {
    putTag(kEnded);
    putNumber(static_cast<std::int64_t>(list));
}

void BufferedSink::syntaxError(const SyntaxError& error) {
    putTag(kSyntaxError);
    putPage(error.page);
    putNumber(error.line);
    putText(error.kind);
}

void BufferedSink::brokenLink(const BrokenLink& link) {
    putTag(kBrokenLink);
    putPage(link.page);
    putNumber(link.line);
    putText(link.link);
}

void BufferedSink::brokenAnchor(const BrokenAnchor& anchor) {
    putTag(kBrokenAnchor);
    putPage(anchor.page);
    putNumber(anchor.line);
    putText(anchor.link);
    putText(anchor.fragment);
    putText(anchor.target);
}

void BufferedSink::externalUrl(const ExternalUrl& url) {
    putTag(kExternalUrl);
    putPage(url.page);
    putNumber(url.line);
    putText(url.url);
}

void BufferedSink::orphan(const Orphan& orphan) {
    putTag(kOrphan);
    putText(orphan.path);
}

void BufferedSink::frontPageWeight(const PageWeight& weight) {
    putTag(kFrontPage);
    putText(weight.page);
    putNumber(weight.bytes);
    putNumber((weight.external ? 1 : 0) | (weight.broken ? 2 : 0) | (weight.unknown ? 4 : 0));
}

void BufferedSink::pageWeight(const PageWeight& weight) {
    putTag(kPageWeight);
    putText(weight.page);
    putNumber(weight.bytes);
    putNumber((weight.external ? 1 : 0) | (weight.broken ? 2 : 0) | (weight.unknown ? 4 : 0));
}

void BufferedSink::skipped(const Skipped& entry) {
    putTag(kSkipped);
    putText(entry.path);
    putText(entry.kind);
}

void BufferedSink::jobNote(const JobNote& note) {
    putTag(kJobNote);
    putNumber(note.messageId);
    putText(note.path);
}

void BufferedSink::replay(ReportSink& sink) {
    const std::string bytes = std::exchange(bytes_, {});
    lastPage_.clear();
    Reader in(bytes);
    // One record of each kind, reused from call to call.
    SyntaxError syntax;
    BrokenLink link;
    BrokenAnchor anchor;
    ExternalUrl url;
    Orphan orphan;
    PageWeight weight;
    Skipped entry;
    JobNote note;
    while (!in.done()) {
        switch (in.tag()) {
            case kStarted:
                sink.listStarted(static_cast<List>(in.number()));
                break;
            case kEnded:
                sink.listEnded(static_cast<List>(in.number()));
                break;
            case kSyntaxError:
                in.page(syntax.page);
                syntax.line = in.number();
                in.text(syntax.kind);
                sink.syntaxError(syntax);
                break;
            case kBrokenLink:
                in.page(link.page);
                link.line = in.number();
                in.text(link.link);
                sink.brokenLink(link);
                break;
            case kBrokenAnchor:
                in.page(anchor.page);
                anchor.line = in.number();
                in.text(anchor.link);
                in.text(anchor.fragment);
                in.text(anchor.target);
                sink.brokenAnchor(anchor);
                break;
            case kExternalUrl:
                in.page(url.page);
                url.line = in.number();
                in.text(url.url);
                sink.externalUrl(url);
                break;
            case kOrphan:
                in.text(orphan.path);
                sink.orphan(orphan);
                break;
            case kFrontPage:
                in.weight(weight);
                sink.frontPageWeight(weight);
                break;
            case kPageWeight:
                in.weight(weight);
                sink.pageWeight(weight);
                break;
            case kSkipped:
                in.text(entry.path);
                in.text(entry.kind);
                sink.skipped(entry);
                break;
            case kJobNote:
                note.messageId = static_cast<int>(in.number());
                in.text(note.path);
                sink.jobNote(note);
                break;
        }
    }
}

}  // namespace korvel::report
