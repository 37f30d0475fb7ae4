// A JavaScript expression's source, its flags and a host name, one a line, as Finicky's matchHostnames would see
// them. SpiderMonkey checks the expression first, as evaluating a configuration does: one JavaScript refuses is
// no import. For one it accepts, the converted rule expression compiles, and it finds a match in a link to the
// host (with a port, path, query and fragment after it) exactly when the JavaScript expression matches the host.
#include "fuzz_support.h"
#include "interchange/hostname_regex.h"
#include "routing/regex_cache.h"
#include "routing/regex_literal.h"
#include "scripting/javascript_engine.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <chrono>
#include <csignal>

namespace {

JavaScriptEngine* engine = nullptr;

bool isHostName(const QString& host)
{
    return !host.isEmpty() && host.size() <= 64 && std::all_of(host.cbegin(), host.cend(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'.' || c == u'-';
    });
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::setUpSandbox();
    // One session for the whole run, with time and memory enough for all of it: the engine counts what the whole
    // process grows by, and libFuzzer's corpus and the sanitizers' quarantine grow it. -rss_limit_mb bounds it.
    engine = new JavaScriptEngine({std::chrono::hours(24 * 365), qint64(1) << 40});
    // SpiderMonkey takes SIGILL for itself, and libFuzzer leaves a handler it finds in place: hand the signal back
    // so that a broken property (Fuzz::check traps) is caught and its input kept. No script here needs it.
    std::signal(SIGILL, SIG_DFL);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QList<QByteArray> lines = Fuzz::bytes(data, size).split('\n');
    const QString host = lines.size() > 2 ? QString::fromUtf8(lines[2]) : QString();
    const QJsonArray arguments{QString::fromUtf8(lines[0]), lines.size() > 1 ? QString::fromUtf8(lines[1]) : QString(),
                               isHostName(host) ? host : QString()};
    const QString script = QStringLiteral("(function(a){try{const r=new RegExp(a[0],a[1]);"
                                          "return [r.source,r.flags,a[2]===''?null:r.test(a[2])];}"
                                          "catch(e){return null;}})(") +
                           QString::fromUtf8(QJsonDocument(arguments).toJson(QJsonDocument::Compact)) +
                           QStringLiteral(")");
    const Result<QJsonValue> checked = engine->evaluate(script, QStringLiteral("check.js"));
    if (!checked)
        std::fprintf(stderr, "%s\n", qPrintable(checked.error()));
    Fuzz::check(bool(checked), "the engine evaluates the check");
    if (!checked->isArray())
        return 0; // not a JavaScript regular expression
    const QJsonArray expression = checked->toArray();

    const std::optional<QString> pattern = patternForHostnameRegex(expression[0].toString(), expression[1].toString());
    if (!pattern)
        return 0;
    RegexCache cache;
    Fuzz::check(cache.compiles(*pattern), "a converted expression compiles");
    (void)requiredLiteral(*pattern);
    if (!expression[2].isBool())
        return 0;
    const QString link = QStringLiteral("https://") + host + QStringLiteral(":8080/path.html?q=a.b#top");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    const RegexCache::Search found = cache.search(*pattern, link, deadline);
    if (found == RegexCache::Search::pastDeadline)
        return 0;
    Fuzz::check((found == RegexCache::Search::found) == expression[2].toBool(),
                "the rule matches a link exactly when the expression matches its host");
    return 0;
}
