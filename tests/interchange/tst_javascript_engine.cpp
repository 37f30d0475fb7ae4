#include "interchange/javascript_engine.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Short enough that the runaway scripts below cost a fraction of a second each.
const JavaScriptLimits quickLimits{200ms, qint64(64) * 1024 * 1024};

QString failureOf(const QString& source, const JavaScriptLimits& limits = {})
{
    JavaScriptEngine engine(limits);
    const Result<QJsonValue> result = engine.evaluate(source, u"test.js"_s);
    return result ? u"(no failure)"_s : result.error();
}

} // namespace

class JavaScriptEngineTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void completionValueBecomesPlainData()
    {
        JavaScriptEngine engine;
        QVERIFY(engine.isRunning());
        const Result<QJsonValue> result =
            engine.evaluate(uR"(({ text: "bücher.example “quoted” 🦊", number: 2.5, flag: true, nothing: null,
                 list: [1, "two", [3]], nested: { deeper: { key: "value" } }, 7: "numeric key",
                 missing: undefined, fn: function () {}, [Symbol("s")]: "hidden" }))"_s,
                            u"test.js"_s);
        QVERIFY2(result, qPrintable(result.error()));
        const QJsonObject object = result->toObject();
        QCOMPARE(object.value(u"text"_s).toString(), u"bücher.example “quoted” 🦊"_s);
        QCOMPARE(object.value(u"number"_s).toDouble(), 2.5);
        QCOMPARE(object.value(u"flag"_s).toBool(), true);
        QVERIFY(object.value(u"nothing"_s).isNull());
        QCOMPARE(object.value(u"list"_s).toArray(), QJsonArray({1, u"two"_s, QJsonArray({3})}));
        QCOMPARE(object.value(u"nested"_s)[u"deeper"_s][u"key"_s].toString(), u"value"_s);
        QCOMPARE(object.value(u"7"_s).toString(), u"numeric key"_s);
        QVERIFY(!object.contains(u"missing"_s));
        QVERIFY(!object.contains(u"fn"_s));
        QCOMPARE(object.size(), 7);
    }

    void cyclicValueIsCutOff()
    {
        JavaScriptEngine engine;
        const Result<QJsonValue> result = engine.evaluate(u"var a = { name: 'a' }; a.self = a; a"_s, u"test.js"_s);
        QVERIFY2(result, qPrintable(result.error()));
        QCOMPARE(result->toObject().value(u"self"_s)[u"self"_s][u"name"_s].toString(), u"a"_s);
    }

    void scriptsShareTheGlobalOfTheirSessionOnly()
    {
        {
            JavaScriptEngine engine;
            QVERIFY(engine.evaluate(u"var kept = 'first'; function twice(x) { return 2 * x; }"_s, u"a.js"_s));
            const Result<QJsonValue> result = engine.evaluate(u"kept + twice(21)"_s, u"b.js"_s);
            QCOMPARE(result->toString(), u"first42"_s);
        }
        JavaScriptEngine next;
        QCOMPARE(next.evaluate(u"typeof kept"_s, u"c.js"_s)->toString(), u"undefined"_s);
    }

    void modernSyntaxAndBuiltInsEvaluate()
    {
        JavaScriptEngine engine;
        const Result<QJsonValue> result = engine.evaluate(uR"(
            const base = { a: 1 };
            const spread = { ...base, b: 2 };
            const arrow = (x) => x?.y ?? "none";
            async function unused() { await null; }
            class Thing { #secret = 3; get secret() { return this.#secret; } }
            `${spread.a + spread.b}-${arrow({})}-${new Thing().secret}-${[1, [2]].flat().at(-1)}-${/a\/b/.source}`
        )"_s,
                                                          u"test.js"_s);
        QVERIFY2(result, qPrintable(result.error()));
        QCOMPARE(result->toString(), uR"(3-none-3-2-a\/b)"_s);
    }

    void promiseJobsRunBeforeTheNextScript()
    {
        JavaScriptEngine engine;
        QVERIFY(
            engine.evaluate(u"var settled = 'no'; Promise.resolve().then(() => { settled = 'yes'; });"_s, u"a.js"_s));
        QCOMPARE(engine.evaluate(u"settled"_s, u"b.js"_s)->toString(), u"yes"_s);
    }

    void thrownValuesBecomeText_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("failure");
        QTest::newRow("syntax error, with its line")
            << u"var a = 1;\nvar b = { : };"_s << u"SyntaxError: expected property name, got ':' at line 2"_s;
        QTest::newRow("type annotation") << u"const x: number = 1;"_s
                                         << u"SyntaxError: missing = in const declaration at line 1"_s;
        QTest::newRow("unknown name") << u"\n\nrequire('fs');"_s
                                      << u"ReferenceError: require is not defined at line 3"_s;
        QTest::newRow("import statement") << u"import x from 'y';"_s
                                          << u"SyntaxError: import declarations may only appear at top level of a "
                                             u"module at line 1"_s;
        QTest::newRow("error object") << u"throw new Error('broken “here”');"_s << u"Error: broken “here” at line 1"_s;
        QTest::newRow("number") << u"throw 42;"_s << u"42"_s;
        QTest::newRow("null") << u"throw null;"_s << u"null"_s;
        QTest::newRow("undefined") << u"throw undefined;"_s << u"undefined"_s;
        QTest::newRow("symbol") << u"throw Symbol('x');"_s << u"a symbol"_s;
        QTest::newRow("text that throws")
            << u"throw { toString() { throw 1; } };"_s << u"an exception that cannot be shown as text"_s;
        QTest::newRow("runaway recursion") << u"function down(n) { return down(n + 1) + 1; } down(0);"_s
                                           << u"InternalError: too much recursion at line 1"_s;
        QTest::newRow("rejected promise is not a failure")
            << u"Promise.reject(new Error('later')); 1"_s << u"(no failure)"_s;
    }

    void thrownValuesBecomeText()
    {
        QFETCH(QString, source);
        QFETCH(QString, failure);
        QCOMPARE(failureOf(source), failure);
    }

    void endlessScriptsStopAtTheTimeLimit_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("loop") << u"for (;;) {}"_s;
        QTest::newRow("loop catching everything") << u"for (;;) { try { for (;;) {} } catch (e) {} }"_s;
        QTest::newRow("promise jobs") << u"(function again() { Promise.resolve().then(again); })();"_s;
        QTest::newRow("regular expression") << u"/^(a+)+$/.test('a'.repeat(40) + 'b')"_s;
    }

    void endlessScriptsStopAtTheTimeLimit()
    {
        QFETCH(QString, source);
        QElapsedTimer timer;
        timer.start();
        JavaScriptEngine engine(quickLimits);
        const Result<QJsonValue> result = engine.evaluate(source, u"test.js"_s);
        QVERIFY(!result);
        QCOMPARE(result.error(), u"the configuration did not finish within 0.2 seconds"_s);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(engine.hasExceededLimit());
        // The session is spent.
        QCOMPARE(engine.evaluate(u"1"_s, u"next.js"_s).error(), result.error());
    }

    void oneSessionAtATimePerThread()
    {
        JavaScriptEngine first;
        JavaScriptEngine second;
        QVERIFY(first.isRunning());
        QVERIFY(!second.isRunning());
        QCOMPARE(second.evaluate(u"1"_s, u"a.js"_s).error(), u"the JavaScript engine could not be started"_s);
        QCOMPARE(first.evaluate(u"6 * 7"_s, u"a.js"_s)->toDouble(), 42.0);
    }

    void memoryBombsStopAtTheMemoryLimit_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("large arrays") << u"var a = []; for (;;) a.push(new Array(1e6).fill(1));"_s;
        QTest::newRow("small objects") << u"var a = []; for (let i = 0; ; ++i) a.push({ i });"_s;
        QTest::newRow("strings") << u"var a = []; for (let i = 0; ; ++i) a.push('x'.repeat(1e5) + i);"_s;
        QTest::newRow("caught and ignored")
            << u"var a = []; for (;;) { try { a.push(new Array(1e6).fill(1)); } catch (e) {} }"_s;
    }

    void memoryBombsStopAtTheMemoryLimit()
    {
        QFETCH(QString, source);
        // Time enough that the memory limit is reached first.
        JavaScriptEngine engine({5s, quickLimits.memoryBytes});
        const Result<QJsonValue> result = engine.evaluate(source, u"test.js"_s);
        QVERIFY(!result);
        QCOMPARE(result.error(), u"the configuration needed more than 64 MB of memory"_s);
        QVERIFY(engine.hasExceededLimit());
    }

    void processStaysHealthyAfterStoppedScripts()
    {
        QCOMPARE(failureOf(u"for (;;) {}"_s, quickLimits), u"the configuration did not finish within 0.2 seconds"_s);
        QCOMPARE(failureOf(u"var a = []; for (;;) a.push(new Array(1e6).fill(1));"_s, {5s, quickLimits.memoryBytes}),
                 u"the configuration needed more than 64 MB of memory"_s);
        JavaScriptEngine engine;
        const Result<QJsonValue> result =
            engine.evaluate(u"var list = []; for (let i = 0; i < 1000; ++i) list.push(i); list.length"_s, u"a.js"_s);
        QVERIFY2(result, qPrintable(result.error()));
        QCOMPARE(result->toDouble(), 1000.0);
    }

    void defaultLimitsAreThreeSecondsAnd256MB()
    {
        const JavaScriptLimits limits;
        QCOMPARE(limits.time, 3000ms);
        QCOMPARE(limits.memoryBytes, qint64(256) * 1024 * 1024);
    }
};

QTEST_GUILESS_MAIN(JavaScriptEngineTest)
#include "tst_javascript_engine.moc"
