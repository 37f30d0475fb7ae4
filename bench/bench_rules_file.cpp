// Loading and saving a rules file of 10,000 rules, as the store does at start-up and after every change.
// The in-memory codec is timed on its own as well, to tell JSON work from file system work.

#include "routing/rules_codec.h"
#include "routing/rules_file.h"
#include "rule_sets.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype ruleCount = 10'000;

// A fresh folder holding rules.json with the large document.
class RulesFolder final {
public:
    RulesFolder() : m_document(RuleSets::document(ruleCount)), m_path(m_folder.filePath(u"rules.json"_s)) {}

    bool isReady(benchmark::State& state)
    {
        if (!m_folder.isValid()) {
            state.SkipWithError("no temporary folder");
            return false;
        }
        if (!RulesFile::write(m_path, m_document)) {
            state.SkipWithError("the rules file could not be written");
            return false;
        }
        return true;
    }

    const RulesDocument& document() const { return m_document; }
    const QString& path() const { return m_path; }

private:
    QTemporaryDir m_folder;
    RulesDocument m_document;
    QString m_path;
};

bool save(const QString& path, const RulesDocument& document)
{
    return RulesFile::write(path, document).ok();
}

void saveRulesFile(benchmark::State& state)
{
    RulesFolder folder;
    if (!folder.isReady(state))
        return;
    for (auto _ : state) {
        if (!save(folder.path(), folder.document())) {
            state.SkipWithError("the rules file could not be written");
            break;
        }
    }
}

void loadRulesFile(benchmark::State& state)
{
    RulesFolder folder;
    if (!folder.isReady(state))
        return;
    for (auto _ : state) {
        auto contents = RulesFile::read(folder.path());
        if (!contents || !*contents || (*contents)->document.rules.size() != ruleCount) {
            state.SkipWithError("the rules file did not load");
            break;
        }
        benchmark::DoNotOptimize(contents);
    }
}

// What one change costs end to end when the file has to be read first: load, then save what was loaded.
void loadAndSaveRulesFile(benchmark::State& state)
{
    RulesFolder folder;
    if (!folder.isReady(state))
        return;
    for (auto _ : state) {
        const auto contents = RulesFile::read(folder.path());
        if (!contents || !*contents || !save(folder.path(), (*contents)->document)) {
            state.SkipWithError("the rules file did not load and save");
            break;
        }
    }
}

void encodeInMemory(benchmark::State& state)
{
    const RulesDocument document = RuleSets::document(ruleCount);
    for (auto _ : state) {
        QByteArray bytes = RulesCodec::encode(document);
        benchmark::DoNotOptimize(bytes);
    }
}

void decodeInMemory(benchmark::State& state)
{
    const QByteArray bytes = RulesCodec::encode(RuleSets::document(ruleCount));
    for (auto _ : state) {
        Result<RulesDocument> decoded = RulesCodec::decode(bytes);
        if (!decoded) {
            state.SkipWithError("the rules did not decode");
            break;
        }
        benchmark::DoNotOptimize(decoded);
    }
}

} // namespace

BENCHMARK(saveRulesFile)->Unit(benchmark::kMillisecond);
BENCHMARK(loadRulesFile)->Unit(benchmark::kMillisecond);
BENCHMARK(loadAndSaveRulesFile)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeInMemory)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
