// From a link reaching the router to the launcher being asked to open it: what Linkherd adds to every click,
// here for a link that only rule 1,000 of 1,000 takes. Median and 99th percentile are reported as counters.

#include "browsers/browser_launching.h"
#include "platform/application_catalog.h"
#include "routing/rule_store.h"
#include "rule_sets.h"
#include "services/preferences.h"
#include "services/router.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>

namespace {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

// Every browser the rule set names is installed.
class InstalledEverything final : public ApplicationCatalog {
public:
    QList<DesktopEntry> webBrowsers() override
    {
        QList<DesktopEntry> entries;
        for (int index = 0; index < 4; ++index) {
            const QString id = u"org.example.Browser"_s + QString::number(index);
            entries.append({id, id, u"/apps/"_s + id + u".desktop"_s, {}, {}, {}, {}, {}, {}});
        }
        return entries;
    }
    std::optional<DesktopEntry> defaultWebBrowser() override { return std::nullopt; }
    QList<DesktopEntry> shownApplications() override { return webBrowsers(); }
    std::optional<DesktopEntry> application(const QString&) override { return std::nullopt; }
    std::optional<DesktopEntry> applicationWithWindowClass(const QString&) override { return std::nullopt; }
    void setChangeHandler(std::function<void()>) override {}
};

class StopwatchLauncher final : public BrowserLaunching {
public:
    Clock::time_point calledAt;
    void open(const QString&, const Browsers::Browser&, const std::optional<QString>&, Destination::Window,
              const HandOverActivation&, FailureHandler) override
    {
        calledAt = Clock::now();
    }
    void open(const QString&, const Browsers::Browser&, FailureHandler) override { calledAt = Clock::now(); }
};

void routeToRuleThousand(benchmark::State& state)
{
    QTemporaryDir directory;
    InstalledEverything catalog;
    Browsers::setCatalog(&catalog);
    RuleStore store(directory.filePath(u"rules.json"_s));
    QList<Rule> rules = RuleSets::mixedRules(1'000);
    // The timed link is taken by the last rule only.
    Rule last;
    last.match = Rule::Match::urlContains;
    last.pattern = u"/the-long-read"_s;
    last.destination = Destination::browser(u"org.example.Browser1"_s);
    rules.back() = last;
    store.setRules(rules);
    LinkRewriter rewriter;
    rewriter.stripsTrackingParameters = true;
    rewriter.upgradesToHTTPS = true;
    store.setRewriter(rewriter);
    Preferences preferences(directory.filePath(u"preferences.ini"_s));
    StopwatchLauncher launcher;
    Router router(store, preferences, launcher);
    router.currentModifiers = [] { return Qt::KeyboardModifiers(); };

    const QString link =
        u"http://news.example.org/articles/2026/12/the-long-read?ref=homepage&utm_source=mail#comments"_s;
    router.route(link, RuleSets::sourceDesktopID); // every expression compiled once, as in a running app
    std::vector<double> microseconds;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        router.route(link, RuleSets::sourceDesktopID);
        microseconds.push_back(std::chrono::duration<double, std::micro>(launcher.calledAt - start).count());
    }
    std::sort(microseconds.begin(), microseconds.end());
    state.counters["median_us"] = microseconds[microseconds.size() / 2];
    state.counters["p99_us"] = microseconds[std::min(microseconds.size() - 1, microseconds.size() * 99 / 100)];
}

} // namespace

BENCHMARK(routeToRuleThousand)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
