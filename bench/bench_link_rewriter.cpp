// Link cleaning with both switches on and the built-in parameter list, for a link full of tracking
// parameters and for one with nothing to clean.

#include "routing/link_rewriter.h"

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

LinkRewriter fullRewriter()
{
    LinkRewriter rewriter;
    rewriter.stripsTrackingParameters = true;
    rewriter.upgradesToHTTPS = true;
    return rewriter;
}

void timeApply(benchmark::State& state, const QString& link, const QString& expected)
{
    const LinkRewriter rewriter = fullRewriter();
    if (rewriter.apply(link) != expected) {
        state.SkipWithError("the link is not cleaned as intended");
        return;
    }
    for (auto _ : state) {
        QString cleaned = rewriter.apply(link);
        benchmark::DoNotOptimize(cleaned);
    }
}

void trackedLink(benchmark::State& state)
{
    timeApply(state,
              u"https://www.example.com/article/2026/12/some-title?utm_source=newsletter&utm_medium=email"
              "&utm_campaign=winter&id=42&fbclid=IwAR2xQ7kLmN0pQrStUvWxYz1234567890abcdef#section"_s,
              u"https://www.example.com/article/2026/12/some-title?id=42#section"_s);
}

// Nothing to strip and already https: the link must come back untouched, which should cost next to nothing.
void cleanLink(benchmark::State& state)
{
    const QString link = u"https://www.example.com/article/2026/12/some-title"_s;
    timeApply(state, link, link);
}

} // namespace

BENCHMARK(trackedLink)->Unit(benchmark::kNanosecond);
BENCHMARK(cleanLink)->Unit(benchmark::kNanosecond);

BENCHMARK_MAIN();
