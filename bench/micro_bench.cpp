// Hot loops of the scan: probing a file's head, indexing its lines, finding a child among many siblings.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "site/node.h"
#include "site/probe.h"

namespace {

std::string makeFile(const std::string& name, const std::string& content) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-bench-" + std::to_string(::getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

void probeAndClassify(benchmark::State& state) {
    std::string page = "<html><head><title>t</title></head><body>\n";
    while (page.size() < 40000)
        page += "<p>Some text of a page, with a <a href=\"x.html\">link</a>.</p>\n";
    const std::string path = makeFile("page.html", page);
    const korvel::HtmlDefinitions definitions;
    for (auto _ : state) {
        const auto probe = korvel::makeProbe(path);
        benchmark::DoNotOptimize(korvel::isHtmlFile(probe, definitions));
        benchmark::DoNotOptimize(korvel::detectLineEnd(probe));
    }
    ::unlink(path.c_str());
}
BENCHMARK(probeAndClassify);

void lineIndex(benchmark::State& state) {
    std::string text;
    while (text.size() < static_cast<std::size_t>(state.range(0)))
        text += "a line of some forty bytes or so...\r\n";
    const std::string path = makeFile("lines.txt", text);
    for (auto _ : state) {
        korvel::FileNode node(path);
        benchmark::DoNotOptimize(node.buildLineIndex());
        benchmark::DoNotOptimize(node.lineOfOffset(static_cast<std::int64_t>(text.size() / 2)));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
    ::unlink(path.c_str());
}
BENCHMARK(lineIndex)->Arg(1 << 16)->Arg(10 << 20);

void findChildAmongSiblings(benchmark::State& state) {
    korvel::DirNode dir("/nonexistent-korvel-bench");
    const auto n = static_cast<int>(state.range(0));
    for (int i = 0; i < n; ++i) {
        auto probe = korvel::FileProbe{};
        probe.path = "/nonexistent-korvel-bench/File" + std::to_string(i) + ".html";
        dir.addChild(std::make_unique<korvel::FileNode>(probe.path, &probe));
    }
    int i = 0;
    for (auto _ : state) {
        korvel::Node* found = nullptr;
        benchmark::DoNotOptimize(dir.findChild("file" + std::to_string(i++ % n) + ".HTML", &found));
    }
}
BENCHMARK(findChildAmongSiblings)->Arg(10)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
