#include "report/sinks.h"

#include <type_traits>
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

void BufferedSink::replay(ReportSink& sink) {
    const std::vector<Call> calls = std::exchange(calls_, {});
    for (const Call& call : calls) {
        std::visit(
            [&sink](const auto& c) {
                using T = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<T, Started>) {
                    sink.listStarted(c.list);
                } else if constexpr (std::is_same_v<T, Ended>) {
                    sink.listEnded(c.list);
                } else if constexpr (std::is_same_v<T, BrokenLink>) {
                    sink.brokenLink(c);
                } else if constexpr (std::is_same_v<T, BrokenAnchor>) {
                    sink.brokenAnchor(c);
                } else if constexpr (std::is_same_v<T, ExternalUrl>) {
                    sink.externalUrl(c);
                } else if constexpr (std::is_same_v<T, Orphan>) {
                    sink.orphan(c);
                } else if constexpr (std::is_same_v<T, FrontPage>) {
                    sink.frontPageWeight(c.weight);
                } else if constexpr (std::is_same_v<T, PageWeight>) {
                    sink.pageWeight(c);
                } else if constexpr (std::is_same_v<T, SyntaxError>) {
                    sink.syntaxError(c);
                } else if constexpr (std::is_same_v<T, Skipped>) {
                    sink.skipped(c);
                } else {
                    sink.jobNote(c);
                }
            },
            call);
    }
}

}  // namespace korvel::report
