#include "interchange/javascript_engine.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class JavaScriptEngineTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void completionValueBecomesPlainData()
    {
        JavaScriptEngine engine;
        const Result<QJsonValue> result = engine.evaluate(
            uR"(var value = { text: "bücher.example “quoted” 🦊", number: 2.5, flag: true, nothing: null,
                 list: [1, "two", [3]], 7: "numeric key", missing: undefined, fn: function () {},
                 [Symbol("s")]: "hidden" };
                value.self = value;
                value)"_s,
            u"test.js"_s);
        QVERIFY2(result, qPrintable(result.error()));
        const QJsonObject object = result->toObject();
        QCOMPARE(object.value(u"text"_s).toString(), u"bücher.example “quoted” 🦊"_s);
        QCOMPARE(object.value(u"number"_s).toDouble(), 2.5);
        QCOMPARE(object.value(u"flag"_s).toBool(), true);
        QVERIFY(object.value(u"nothing"_s).isNull());
        QCOMPARE(object.value(u"list"_s).toArray(), QJsonArray({1, u"two"_s, QJsonArray({3})}));
        QCOMPARE(object.value(u"7"_s).toString(), u"numeric key"_s);
        // A cycle is followed only so deep.
        QCOMPARE(object.value(u"self"_s)[u"self"_s][u"flag"_s].toBool(), true);
        QCOMPARE(object.keys(),
                 QStringList({u"7"_s, u"flag"_s, u"list"_s, u"nothing"_s, u"number"_s, u"self"_s, u"text"_s}));
    }

    void scriptsShareTheirSessionOnlyAndPromisesSettleBetweenThem()
    {
        {
            JavaScriptEngine engine;
            QVERIFY(engine.evaluate(u"var kept = 'no'; Promise.resolve().then(() => { kept = 'yes'; });"_s, u"a.js"_s));
            QCOMPARE(engine.evaluate(u"kept"_s, u"b.js"_s)->toString(), u"yes"_s);
        }
        JavaScriptEngine next;
        QCOMPARE(next.evaluate(u"typeof kept"_s, u"c.js"_s)->toString(), u"undefined"_s);
    }

    void thrownValuesBecomeText_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("failure");
        QTest::newRow("syntax error") << u"var a = 1;\nvar b = { : };"_s
                                      << u"SyntaxError: expected property name, got ':' at line 2"_s;
        QTest::newRow("error object") << u"\n\nthrow new Error('broken “here”');"_s
                                      << u"Error: broken “here” at line 3"_s;
        QTest::newRow("number") << u"throw 42;"_s << u"42"_s;
        QTest::newRow("null") << u"throw null;"_s << u"null"_s;
        QTest::newRow("undefined") << u"throw undefined;"_s << u"undefined"_s;
        QTest::newRow("symbol") << u"throw Symbol('x');"_s << u"a symbol"_s;
        QTest::newRow("text that throws")
            << u"throw { toString() { throw 1; } };"_s << u"an exception that cannot be shown as text"_s;
        QTest::newRow("runaway recursion") << u"function down(n) { return down(n + 1) + 1; } down(0);"_s
                                           << u"InternalError: too much recursion at line 1"_s;
        QTest::newRow("rejected promise is no failure") << u"Promise.reject(new Error('later')); 1"_s << QString();
    }

    void thrownValuesBecomeText()
    {
        QFETCH(QString, source);
        QFETCH(QString, failure);
        JavaScriptEngine engine;
        const Result<QJsonValue> result = engine.evaluate(source, u"test.js"_s);
        QCOMPARE(result ? QString() : result.error(), failure);
    }

    void runawayScriptsStopAtALimit_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("failure");
        const QString time = u"the configuration did not finish within 0.2 seconds"_s;
        const QString memory = u"the configuration needed more than 64 MB of memory"_s;
        QTest::newRow("loop") << u"for (;;) {}"_s << time;
        QTest::newRow("loop catching everything") << u"for (;;) { try { for (;;) {} } catch (e) {} }"_s << time;
        QTest::newRow("promise jobs") << u"(function again() { Promise.resolve().then(again); })();"_s << time;
        QTest::newRow("regular expression") << u"/^(a+)+$/.test('a'.repeat(40) + 'b')"_s << time;
        QTest::newRow("large arrays") << u"var a = []; for (;;) a.push(new Array(1e6).fill(1));"_s << memory;
        QTest::newRow("small objects") << u"var a = []; for (let i = 0; ; ++i) a.push({ i });"_s << memory;
        QTest::newRow("strings") << u"var a = []; for (let i = 0; ; ++i) a.push('x'.repeat(1e5) + i);"_s << memory;
        QTest::newRow("caught and ignored")
            << u"var a = []; for (;;) { try { a.push(new Array(1e6).fill(1)); } catch (e) {} }"_s << memory;
    }

    void runawayScriptsStopAtALimit()
    {
        QFETCH(QString, source);
        QFETCH(QString, failure);
        // A memory bomb gets time enough to reach the memory limit first.
        const bool timed = failure.contains(u"seconds"_s);
        JavaScriptEngine engine({timed ? 200ms : 5000ms, qint64(64) * 1024 * 1024});
        QElapsedTimer timer;
        timer.start();
        const Result<QJsonValue> result = engine.evaluate(source, u"test.js"_s);
        QCOMPARE(result ? QString() : result.error(), failure);
        QVERIFY2(!timed || timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        // The session is spent; the process is not.
        QVERIFY(engine.hasExceededLimit());
        QCOMPARE(engine.evaluate(u"1"_s, u"next.js"_s).error(), failure);
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
};

QTEST_GUILESS_MAIN(JavaScriptEngineTest)
#include "tst_javascript_engine.moc"
