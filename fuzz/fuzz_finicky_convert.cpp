// Any JSON object as what a Finicky configuration's evaluation extracted, with the extras the extensions note
// under "extras": the mapping onto rules, without the JavaScript engine. It fails only when there are no
// handlers and no default browser; it gives at most one rule per match entry, no two rules that are the same
// rule (same kind, pattern ignoring case and surrounding space, destination), and the same result every time
// (each rule has an ID of its own, so rules are compared without it).
// No browser is installed in the fuzzing sandbox, so every browser name goes the unknown-browser way.
#include "fuzz_support.h"
#include "interchange/finicky_import.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace {

QString ruleKey(const Rule& rule)
{
    return QString::number(int(rule.match)) + QChar(1) + rule.pattern.trimmed().toLower() + QChar(1) +
           (rule.destination.isAsk() ? QStringLiteral("ask") : rule.destination.desktopID());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::setUpSandbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QJsonDocument document = QJsonDocument::fromJson(Fuzz::bytes(data, size));
    if (!document.isObject())
        return 0;
    const QJsonObject extracted = document.object();
    const QJsonObject extras = extracted.value(QStringLiteral("extras")).toObject();
    const auto imported = FinickyConfig::convert(extracted, extras);

    const QJsonArray handlers = extracted.value(QStringLiteral("handlers")).toArray();
    if (!imported) {
        Fuzz::check(handlers.isEmpty(), "a configuration with handlers imports");
        return 0;
    }
    qsizetype entries = 0;
    for (const QJsonValue& handler : handlers)
        entries += handler.toObject().value(QStringLiteral("matches")).toArray().size();
    Fuzz::check(imported->rules.size() <= entries, "at most one rule per match entry");

    QSet<QString> keys;
    for (const Rule& rule : imported->rules) {
        const QString key = ruleKey(rule);
        Fuzz::check(!keys.contains(key), "no rule is imported twice");
        keys.insert(key);
    }

    const auto again = FinickyConfig::convert(extracted, extras);
    const auto withoutIDs = [](QList<Rule> rules) {
        for (Rule& rule : rules)
            rule.id = QUuid();
        return rules;
    };
    Fuzz::check(again && withoutIDs(again->rules) == withoutIDs(imported->rules) && again->notes == imported->notes &&
                    again->fallback == imported->fallback,
                "the same configuration imports the same way");
    return 0;
}
