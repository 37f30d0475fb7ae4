// Importing a Finicky configuration: a fresh SpiderMonkey context, the shim, the configuration, the extraction
// and the conversion to rules, for a configuration of everyday size. The first import of a process also starts
// the engine; it is timed on its own before the steady-state loop.

#include "scripting/finicky_evaluation.h"

#include <QCoreApplication>
#include <QFile>

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>

namespace {

using namespace Qt::StringLiterals;

QString everydayConfiguration()
{
    QFile file(QStringLiteral(LINKHERD_FINICKY_FIXTURES) + u"/everyday.js"_s);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void importEverydayConfiguration(benchmark::State& state)
{
    const QString text = everydayConfiguration();
    for (auto _ : state) {
        auto imported = FinickyEvaluation::parse(text);
        benchmark::DoNotOptimize(imported);
        if (!imported) {
            state.SkipWithError("the configuration did not import");
            break;
        }
    }
}
BENCHMARK(importEverydayConfiguration)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QString text = everydayConfiguration();
    if (text.isEmpty()) {
        std::fprintf(stderr, "everyday.js not found in %s\n", LINKHERD_FINICKY_FIXTURES);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const bool imported = FinickyEvaluation::parse(text).ok();
    const std::chrono::duration<double, std::milli> first = std::chrono::steady_clock::now() - start;
    std::printf("first import in this process (engine start included): %.1f ms%s\n", first.count(),
                imported ? "" : " (failed)");

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
