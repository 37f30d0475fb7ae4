// Link cleaning with every switch on and the built-in parameter list, for a link full of tracking parameters,
// for one with nothing to clean and for a Safe Links wrapper around Google's redirect.

#include "routing/link_rewriter.h"

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

LinkRewriter fullRewriter()
{
    LinkRewriter rewriter;
    rewriter.stripsTrackingParameters = true;
    rewriter.upgradesToHTTPS = true;
    rewriter.unwrapsRedirects = true;
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

// The same with unwrapping off: the difference is what looking for a wrapper costs a link that is none.
void cleanLinkWithoutUnwrapping(benchmark::State& state)
{
    LinkRewriter rewriter = fullRewriter();
    rewriter.unwrapsRedirects = false;
    const QString link = u"https://www.example.com/article/2026/12/some-title"_s;
    for (auto _ : state) {
        QString cleaned = rewriter.apply(link);
        benchmark::DoNotOptimize(cleaned);
    }
}

// Two wrappers, then stripping: the rare path, which may cost more.
void wrappedLink(benchmark::State& state)
{
    timeApply(state,
              u"https://nam02.safelinks.protection.outlook.com/?url=https%3A%2F%2Fwww.google.com%2Furl%3Fq%3Dhttps"
              "%253A%252F%252Fwww.example.com%252Farticle%253Futm_source%253Dmail%2526id%253D42%26sa%3DD"
              "&data=05%7C02%7Cme%40example.com%7C0123456789abcdef%7C0%7C0%7C638000000000000000%7CUnknown"
              "&sdata=AbCdEfGhIjKlMnOpQrStUvWxYz0123456789%2BAbC%3D&reserved=0"_s,
              u"https://www.example.com/article?id=42"_s);
}

} // namespace

BENCHMARK(trackedLink)->Unit(benchmark::kNanosecond);
BENCHMARK(cleanLink)->Unit(benchmark::kNanosecond);
BENCHMARK(cleanLinkWithoutUnwrapping)->Unit(benchmark::kNanosecond);
BENCHMARK(wrappedLink)->Unit(benchmark::kNanosecond);

BENCHMARK_MAIN();
