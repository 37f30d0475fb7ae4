// One routing decision over rule lists of growing length: the work the rule store does for every link that is
// opened, on rules it prepared when they last changed. Preparing is timed too: it runs on every change.

#include "routing/rule_evaluation.h"
#include "rule_sets.h"

#include <benchmark/benchmark.h>

namespace {

// The index of the rule that takes the link, -1 when the fallback decides. Checked once before timing, so
// that a change to the rule set cannot quietly turn one case into the other.
qsizetype decidingRule(const QList<Rule>& rules, const QString& link)
{
    return decide(rules, RuleSets::fallback(), link, RuleSets::sourceDesktopID).ruleIndex.value_or(-1);
}

void timeDecision(benchmark::State& state, const QString& link, bool matchesNearTheEnd)
{
    const qsizetype count = state.range(0);
    const QList<Rule> rules = RuleSets::mixedRules(count);

    // The unmatched link reaches every rule, so this also compiles every expression the timed loop meets:
    // each one is compiled once per process, not once per link.
    if (decidingRule(rules, RuleSets::unmatchedLink) != -1 ||
        decidingRule(rules, link) != (matchesNearTheEnd ? RuleSets::matchingIndex(count) : -1)) {
        state.SkipWithError("the rule set does not decide the timed link as intended");
        return;
    }

    const PreparedRules prepared(rules);
    for (auto _ : state) {
        std::optional<qsizetype> index = prepared.firstMatch(link, RuleSets::sourceDesktopID);
        benchmark::DoNotOptimize(index);
    }
}

void preparingRules(benchmark::State& state)
{
    const QList<Rule> rules = RuleSets::mixedRules(state.range(0));
    for (auto _ : state) {
        PreparedRules prepared(rules);
        benchmark::DoNotOptimize(prepared);
    }
}

void decisionMatchingNearTheEnd(benchmark::State& state)
{
    timeDecision(state, RuleSets::matchedLink, true);
}

void decisionFallingBack(benchmark::State& state)
{
    timeDecision(state, RuleSets::unmatchedLink, false);
}

} // namespace

BENCHMARK(decisionMatchingNearTheEnd)->Arg(10)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(decisionFallingBack)->Arg(10)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(preparingRules)->Arg(10)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
