#include "scripting/javascript_engine.h"

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
        QJsonObject object = result->toObject();
        // A cycle is followed only so deep.
        QCOMPARE(object.take(u"self"_s)[u"self"_s][u"flag"_s], QJsonValue(true));
        QCOMPARE(object, (QJsonObject{{u"text"_s, u"bücher.example “quoted” 🦊"_s},
                                      {u"number"_s, 2.5},
                                      {u"flag"_s, true},
                                      {u"nothing"_s, QJsonValue::Null},
                                      {u"list"_s, QJsonArray({1, u"two"_s, QJsonArray({3})})},
                                      {u"7"_s, u"numeric key"_s}}));
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
        QTest::newRow("error object") << u"\n\nthrow new Error('broken “here”');"_s
                                      << u"Error: broken “here” at line 3"_s;
        QTest::newRow("number") << u"throw 42;"_s << u"42"_s;
        QTest::newRow("symbol") << u"throw Symbol('x');"_s << u"a symbol"_s;
        QTest::newRow("text that throws")
            << u"throw { toString() { throw 1; } };"_s << u"an exception that cannot be shown as text"_s;
        QTest::newRow("runaway recursion") << u"function down(n) { return down(n + 1) + 1; } down(0);"_s
                                           << u"InternalError: too much recursion at line 1"_s;
        QTest::newRow("rejected promise is no failure") << u"Promise.reject(new Error('later')); 1"_s << QString();
        // 50 MB of text thrown: its two ends, 500 characters in all.
        QTest::newRow("huge text") << u"throw 'A' + 'x'.repeat(50 * 1000 * 1000) + 'Z';"_s
                                   << u"A"_s + QString(249, u'x') + u"…"_s + QString(248, u'x') + u"Z"_s;
    }

    void thrownValuesBecomeText()
    {
        QFETCH(QString, source);
        QFETCH(QString, failure);
        JavaScriptEngine engine;
        const Result<QJsonValue> result = engine.evaluate(source, u"test.js"_s);
        QCOMPARE(result ? QString() : result.error(), failure);
    }

    // Endless loops and memory bombs in a whole import are in tst_finicky_import; this is the spent session.
    void aStoppedSessionStaysStopped()
    {
        JavaScriptEngine engine({200ms, qint64(64) * 1024 * 1024});
        const QString failure = u"the configuration did not finish within 0.2 seconds"_s;
        QCOMPARE(engine.evaluate(u"(function again() { Promise.resolve().then(again); })();"_s, u"a.js"_s).error(),
                 failure);
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
