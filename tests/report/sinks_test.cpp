#include "report/sinks.h"

#include <gtest/gtest.h>

namespace korvel::report {
namespace {

// Every kind of call, some rows sharing a page and some not, as a pass on a second thread makes them.
void makeCalls(ReportSink& sink) {
    sink.listStarted(List::SyntaxErrors);
    sink.syntaxError({"/s/a.html", 3, "no-close"});
    sink.syntaxError({"/s/a.html", 9, "end-quote"});
    sink.listEnded(List::SyntaxErrors);
    sink.brokenLink({"/s/a.html", 4, "gone.html"});
    sink.brokenLink({"/s/b.html", 1, ""});
    sink.brokenLink({"/s/a.html", 2, "back.html"});
    sink.brokenAnchor({"/s/b.html", 7, "", "top", "/s/b.html"});
    sink.externalUrl({"/s/b.html", 8, "http://example.org/\xC3\xA9"});
    sink.orphan({"/s/lost.gif"});
    sink.frontPageWeight({"/s/index.html", 5LL << 32, true, false, true});
    sink.pageWeight({"/s/a.html", 0, false, true, false});
    sink.skipped({"/s/.hidden", "hidden"});
    sink.jobNote({42, "/s/index.html"});
}

TEST(BufferedSink, ReplaysEveryCallInOrderAsItCame) {
    FindingsCollector direct;
    makeCalls(direct);
    BufferedSink held;
    makeCalls(held);
    FindingsCollector replayed;
    held.replay(replayed);
    EXPECT_EQ(replayed.syntaxErrors, direct.syntaxErrors);
    EXPECT_EQ(replayed.brokenLinks, direct.brokenLinks);
    EXPECT_EQ(replayed.brokenAnchors, direct.brokenAnchors);
    EXPECT_EQ(replayed.externalUrls, direct.externalUrls);
    EXPECT_EQ(replayed.orphans, direct.orphans);
    EXPECT_EQ(replayed.frontPage, direct.frontPage);
    EXPECT_EQ(replayed.pageWeights, direct.pageWeights);
    EXPECT_EQ(replayed.skippedEntries, direct.skippedEntries);
    EXPECT_EQ(replayed.jobNotes, direct.jobNotes);

    // Replayed calls are forgotten: a second replay adds nothing, and what comes later replays alone.
    held.brokenLink({"/s/a.html", 5, "late.html"});
    FindingsCollector later;
    held.replay(later);
    EXPECT_EQ(later.brokenLinks, (std::vector<BrokenLink>{{"/s/a.html", 5, "late.html"}}));
    EXPECT_TRUE(later.syntaxErrors.empty());
}

}  // namespace
}  // namespace korvel::report
