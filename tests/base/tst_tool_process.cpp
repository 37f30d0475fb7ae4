#include "base/tool_process.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>
#include <signal.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// A helper program run as a child: what it gives when it exits, and each way it can fail to (these stand-ins for
// the `linkherd` tool are shell scripts).
class ToolProcessTest final : public QObject {
    Q_OBJECT

private:
    std::optional<ToolProcess::Outcome> run(ToolProcess& tool, const QByteArray& input = {})
    {
        std::optional<ToolProcess::Outcome> outcome;
        tool.start(input, [&outcome](const ToolProcess::Outcome& ended) { outcome = ended; });
        // Never before start() returns, even when the program cannot be started.
        if (outcome)
            return ToolProcess::Outcome(Failure{u"reported before start() returned"_s});
        [&] { QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 20'000); }();
        return outcome;
    }

    QString script(const QByteArray& body) const { return TestFiles::writeScript(m_dir.filePath(u"stand-in"_s), body); }

    QTemporaryDir m_dir;

private Q_SLOTS:
    void exitsWithItsOutput()
    {
        ToolProcess tool(script("cat; echo 'stand-in: one' >&2; echo 'stand-in: the last word' >&2; exit 3"), {},
                         {.time = 10s});
        const std::optional<ToolProcess::Outcome> outcome = run(tool, "what came in");
        QVERIFY(outcome && *outcome);
        QCOMPARE((*outcome)->status, 3);
        QCOMPARE((*outcome)->out, "what came in");
        QCOMPARE((*outcome)->complaint(), u"the last word"_s);
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("body"); // empty: there is no such program
        QTest::addColumn<ToolProcess::Limits>("limits");
        QTest::addColumn<QString>("error");

        QTest::newRow("crashes") << QByteArray("kill -SEGV $$") << ToolProcess::Limits{.time = 10s}
                                 << u"stand-in stopped unexpectedly."_s;
        QTest::newRow("hangs") << QByteArray("exec sleep 60") << ToolProcess::Limits{.time = 200ms}
                               << u"stand-in did not finish within its time limit (0.2 s) and was stopped."_s;
        QTest::newRow("prints without end")
            << QByteArray("exec yes") << ToolProcess::Limits{.time = 10s, .outputBytes = 100'000}
            << u"stand-in printed more than was expected of it and was stopped."_s;
        QTest::newRow("is not there") << QByteArray() << ToolProcess::Limits{.time = 10s}
                                      << u"stand-in.missing could not be started: "_s;
    }

    void failures()
    {
        QFETCH(QByteArray, body);
        QFETCH(ToolProcess::Limits, limits);
        QFETCH(QString, error);
        ToolProcess tool(body.isEmpty() ? m_dir.filePath(u"stand-in"_s) + u".missing"_s : script(body), {}, limits);
        const std::optional<ToolProcess::Outcome> outcome = run(tool);
        QVERIFY(outcome && !*outcome);
        QVERIFY2(outcome->error().startsWith(error), qPrintable(outcome->error()));
        QVERIFY(!tool.isRunning());
    }

    // The owner gone (the window closed) or a cancel: the program is killed and nothing is reported.
    void goneOrCancelledKillsTheProgram()
    {
        const QString pidFile = m_dir.filePath(u"pid"_s);
        const QString program = script("echo $$ > '" + pidFile.toUtf8() + "'; exec sleep 60");
        for (const bool cancels : {false, true}) {
            QFile::remove(pidFile);
            bool reported = false;
            auto tool = std::make_unique<ToolProcess>(program, QStringList(), ToolProcess::Limits{.time = 60s});
            tool->start({}, [&reported](const ToolProcess::Outcome&) { reported = true; });
            QTRY_VERIFY(QFile::exists(pidFile) && !TestFiles::read(pidFile).isEmpty());
            const pid_t pid = TestFiles::read(pidFile).trimmed().toInt();
            if (cancels)
                tool->cancel();
            else
                tool.reset();
            QCOMPARE(::kill(pid, 0), -1); // killed and reaped
            QTest::qWait(20);
            QVERIFY(!reported);
        }
    }
};

QTEST_GUILESS_MAIN(ToolProcessTest)
#include "tst_tool_process.moc"
