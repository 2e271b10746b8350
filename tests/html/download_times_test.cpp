#include "html/download_times.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link_site.h"
#include "report/text_report.h"
#include "res/strings.h"

namespace korvel {
namespace {

using testing::LinkSite;
using Lines = std::vector<std::string>;
using report::downloadFigures;

// ---- The figures of one line

struct FiguresCase {
    const char* name;
    std::int64_t bytes;
    std::string_view figures;
};

class DownloadFiguresTest : public ::testing::TestWithParam<FiguresCase> {};

TEST_P(DownloadFiguresTest, RoundsUpKilobytesAndSeconds) {
    EXPECT_EQ(downloadFigures(GetParam().bytes), GetParam().figures);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadFiguresTest,
    ::testing::Values(FiguresCase{"Empty", 0, "   0 kb     0 s     0 s     0 s     0 s    "},
                      FiguresCase{"OneByte", 1, "   1 kb     1 s     1 s     1 s     1 s    "},
                      FiguresCase{"OneKilobyte", 1024, "   1 kb     1 s     1 s     1 s     1 s    "},
                      FiguresCase{"JustOver", 1025, "   2 kb     1 s     1 s     1 s     1 s    "},
                      FiguresCase{"Modem", 7001, "   7 kb     4 s     2 s     2 s     2 s    "},
                      // Past 2^32 bytes: nothing wraps, wide numbers are printed whole.
                      FiguresCase{"FiveGigabytes", 5LL << 30,
                                  "5242880 kb 2982617 s 1491309 s 1278265 s 766959 s    "}),
    [](const ::testing::TestParamInfo<FiguresCase>& info) { return std::string(info.param.name); });

// ---- The report over a site

class DownloadTimesTest : public LinkSite {
  protected:
    // The report's lines after its explanations, with the front-page block when there is a home page.
    Lines report(std::string_view home = "index.html") {
        {
            DownloadTimesPass times(home.empty() ? nullptr : node(home), *context, job);
            runOverTree(times);
        }
        return lines(res::kSectionDownloadTimes);
    }
    std::string line(std::int64_t bytes, std::string_view marks, std::string_view relative) {
        return downloadFigures(bytes) + std::string(marks) + dir.file(relative);
    }
    std::string front() { return std::string(res::loadString(res::kDownloadFrontPage)); }
    std::string each() { return std::string(res::loadString(res::kDownloadEachPage)); }
    std::string columns() { return std::string(res::loadString(res::kDownloadColumns)); }

    // The explanations before the figures, as non-empty lines.
    static Lines preamble() {
        return {"Note: Sizes and times are rounded up.  Download times may be faster than reported ",
                "if a file contains reused graphics that are already cached in the browser.",
                std::string(res::loadString(res::kDownloadExternalLegend)),
                std::string(res::loadString(res::kDownloadBrokenLegend)),
                std::string(res::loadString(res::kDownloadUnknownLegend))};
    }
    Lines withPreamble(Lines rest) {
        Lines out = preamble();
        out.insert(out.end(), rest.begin(), rest.end());
        return out;
    }
};

TEST_F(DownloadTimesTest, EmbeddedResourcesCountLinksDoNot) {
    const std::string home =
        "<img src=\"pic.gif\">\n"
        "<a href=\"big.gif\">linked, not loaded</a>\n"
        "<img src=\"pic.gif\">\n";  // embedded twice, loaded twice
    dir.write("index.html", home);
    dir.write("pic.gif", std::string(1000, 'x'));
    dir.write("big.gif", std::string(100000, 'x'));
    scan();
    findLinks();

    const std::int64_t weight = static_cast<std::int64_t>(home.size()) + 2000;
    report();
    EXPECT_EQ(body(res::kSectionDownloadTimes),
              std::string(res::loadString(res::kDownloadNote)) + "\n\n" + preamble()[2] + "\n" +
                  preamble()[3] + "\n" + preamble()[4] + "\n\n" + front() + "\n\n" + columns() + "\n" +
                  line(weight, "  ", "index.html") + "\n\n" + each() + "\n\n" + columns() + "\n" +
                  line(weight, "  ", "index.html") + "\n\n\n\n");
}

TEST_F(DownloadTimesTest, HomePageIsLookedUpWithoutAWord) {
    dir.write("index.html", "<p>");
    scan();
    EXPECT_EQ(findPageQuietly(*context, dir.file("index.html")), page("index.html"));
    EXPECT_EQ(findPageQuietly(*context, dir.file("missing.html")), nullptr);
    EXPECT_EQ(findPageQuietly(*context, dir.path()), nullptr);  // not a page
    EXPECT_EQ(logScope.log().errorSection(), nullptr);
    EXPECT_EQ(logScope.log().sections().count(res::kSectionJobNote), 0u);
}

TEST_F(DownloadTimesTest, FramesetLineExcludesFramedPagesTheFrontPageTotalIncludesThem) {
    const std::string home = "<frameset><frame src=\"left.html\"><frame src=\"right.html\"></frameset>";
    const std::string left = "<img src=\"a.gif\">";
    const std::string right = "<p>right</p>";
    dir.write("index.html", home);
    dir.write("left.html", left);
    dir.write("right.html", right);
    dir.write("a.gif", std::string(5000, 'x'));
    scan();
    findLinks();

    const auto size = [](const std::string& s) { return static_cast<std::int64_t>(s.size()); };
    EXPECT_EQ(report(),
              withPreamble(
                  {front(), columns(), line(size(home) + size(left) + 5000 + size(right), "  ", "index.html"),
                   each(), columns(), line(size(home), "  ", "index.html"),
                   line(size(left) + 5000, "  ", "left.html"), line(size(right), "  ", "right.html")}));
}

TEST_F(DownloadTimesTest, FrameCycleEndsAndAPageFramedTwiceIsWeighedEachTime) {
    // index frames a and b; a frames b and index (a cycle back to the top); b frames itself.
    const std::string home = "<frame src=\"a.html\"><frame src=\"b.html\">";
    const std::string a = "<frame src=\"b.html\"><frame src=\"index.html\">";
    const std::string b = "<frame src=\"b.html\"><img src=\"i.gif\">";
    dir.write("index.html", home);
    dir.write("a.html", a);
    dir.write("b.html", b);
    dir.write("i.gif", std::string(300, 'x'));
    scan();
    findLinks();

    const std::int64_t weightB = static_cast<std::int64_t>(b.size()) + 300;
    const std::int64_t weightA = static_cast<std::int64_t>(a.size()) + weightB;
    const Lines lines = report();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[7], line(static_cast<std::int64_t>(home.size()) + weightA + weightB, "  ", "index.html"));
}

TEST_F(DownloadTimesTest, MarksForExternalBrokenAndUnreadableEmbeddedFiles) {
    dir.write("index.html", "<a href=\"ext.html\">e</a>");
    const std::string ext = "<img src=\"http://elsewhere.example.com/logo.gif\">";
    const std::string broken =
        "<img src=\"nothere.gif\"><a href=\"http://elsewhere.example.com/\">a link</a>";
    const std::string gone = "<img src=\"vanished.gif\"><img src=\"kept.gif\">";
    dir.write("ext.html", ext);
    dir.write("broken.html", broken);
    dir.write("gone.html", gone);
    const std::string vanished = dir.write("vanished.gif", std::string(50000, 'x'));
    dir.write("kept.gif", std::string(10, 'x'));
    scan();
    findLinks();
    ASSERT_EQ(std::remove(vanished.c_str()), 0);  // its size can no longer be known

    const Lines lines = report("");
    std::string unknown = line(static_cast<std::int64_t>(gone.size()) + 10, "  ", "gone.html");
    unknown[downloadFigures(0).size() - 1] = '?';
    EXPECT_EQ(lines, withPreamble({each(), columns(),
                                   line(static_cast<std::int64_t>(broken.size()), "! ", "broken.html"),
                                   line(static_cast<std::int64_t>(ext.size()), " *", "ext.html"), unknown,
                                   line(24, "  ", "index.html")}));
}

TEST_F(DownloadTimesTest, DirectoryHasNoSizeAndKorvelOutputIsNotAPageOfTheSite) {
    const std::string home = "<img src=\"pics/\">";
    dir.write("index.html", home);
    dir.mkdir("pics");
    dir.write("report_of_external_refs.html", testing::korvelExternalPage());
    scan("");  // no default documents: a directory URL names the directory
    findLinks();
    ASSERT_EQ(page("index.html")->urls().at(0).target, node("pics"));

    EXPECT_EQ(report(""), withPreamble({each(), columns(),
                                        line(static_cast<std::int64_t>(home.size()), "  ", "index.html")}));
}

TEST_F(DownloadTimesTest, SizesAddUpPastFourGigabytes) {
    const std::string home = "<img src=\"huge.bin\"><img src=\"huge.bin\">";
    dir.write("index.html", home);
    const std::string huge = dir.write("huge.bin", "");
    const int fd = ::open(huge.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 3LL << 30), 0);  // sparse: no disk space used
    ::close(fd);
    scan();
    findLinks();

    const Lines lines = report("");
    EXPECT_EQ(lines.back(), line(static_cast<std::int64_t>(home.size()) + (6LL << 30), "  ", "index.html"));
}

}  // namespace
}  // namespace korvel
