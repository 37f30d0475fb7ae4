#include "routing/rule_store.h"
#include "routing/rules_codec.h"
#include "routing/rules_file.h"
#include "support/rules.h"
#include "support/sandbox/sandboxed_desktop.h"
#include "support/test_files.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// Every writer of rules.json at once, for a few seconds: the file must end up holding every edit whose writer
// reported success, decode, and have no temporary file beside it.
class ConcurrentRuleEditsTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        // A bus of the test's own, for the resident process and the scripts that call it.
        m_bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        QVERIFY(m_bus.waitForReadyRead(5000));
        m_busAddress = QString::fromUtf8(m_bus.readLine().trimmed());
        m_desktop.emplace();
        m_desktop->setEnvironmentVariable(u"DBUS_SESSION_BUS_ADDRESS"_s, m_busAddress);
        m_desktop->setEnvironmentVariable(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        m_desktop->addBrowser({.id = u"fake"_s, .name = u"Fake"_s});
        m_desktop->refreshDesktopDatabase();
    }

    void cleanup()
    {
        for (QProcess* process : {&m_resident, &m_bus}) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(5000);
        }
        QDBusConnection::disconnectFromBus(u"scripts"_s);
        m_desktop.reset();
    }

    void noCompletedEditIsLost()
    {
        const QString folder = m_desktop->configHome() + u"/linkherd"_s;
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + u"/rules.json"_s;
        TestFiles::write(path, R"({"fallback": {"browser": {"bundleID": "fake"}}, "version": 1, "rules": []})");
        QSet<QString> expected;
        int toolSuccesses = 0;
        int toolFailures = 0;
        int killed = 0;
        int editorEdits = 0;
        int residentEdits = 0;
        int scriptSuccesses = 0;
        int scriptFailures = 0;

        // The resident process on the same file, offering its rules on the bus.
        m_resident.setProcessEnvironment(m_desktop->environment());
        m_resident.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_resident.start(QStringLiteral(LINKHERD_APP_EXECUTABLE), {u"--background"_s});
        QDBusConnection bus = QDBusConnection::connectToBus(m_busAddress, u"scripts"_s);
        QVERIFY(bus.isConnected());
        QTRY_VERIFY_WITH_TIMEOUT(bus.interface()->isServiceRegistered(u"org.linkherd.Linkherd"_s), 10'000);
        const QDeadlineTimer writing(4s);

        // The tool, four processes at a time, each adding one rule.
        int running = 0;
        int started = 0;
        std::function<void(int)> startTool = [&](int slot) {
            if (writing.hasExpired())
                return;
            const QString pattern = u"tool-%1-%2.example"_s.arg(slot).arg(started++);
            auto* tool = new QProcess(this);
            ++running;
            connect(tool, &QProcess::finished, this, [&, tool, pattern, slot](int status, QProcess::ExitStatus how) {
                if (how == QProcess::NormalExit && status == 0) {
                    expected.insert(pattern);
                    ++toolSuccesses;
                } else {
                    ++toolFailures;
                }
                tool->deleteLater();
                --running;
                startTool(slot);
            });
            tool->start(QStringLiteral(LINKHERD_CLI_EXECUTABLE),
                        {u"--rules"_s, path, u"rules"_s, u"add"_s, u"--host"_s, pattern, u"--ask"_s});
        };
        for (int slot = 0; slot < 4; ++slot)
            startTool(slot);

        // A tool process killed with SIGKILL at a random moment of its work, again and again: what it reported
        // (nothing, unless it finished first) is all that is owed.
        std::function<void()> startVictim = [&] {
            if (writing.hasExpired())
                return;
            const QString pattern = u"killed-%1.example"_s.arg(started++);
            auto* victim = new QProcess(this);
            ++running;
            connect(victim, &QProcess::finished, this, [&, victim, pattern](int status, QProcess::ExitStatus how) {
                if (how == QProcess::NormalExit && status == 0) {
                    expected.insert(pattern);
                    ++toolSuccesses;
                } else {
                    ++killed;
                }
                victim->deleteLater();
                --running;
                startVictim();
            });
            victim->start(QStringLiteral(LINKHERD_CLI_EXECUTABLE),
                          {u"--rules"_s, path, u"rules"_s, u"add"_s, u"--host"_s, pattern, u"--ask"_s});
            QTimer::singleShot(QRandomGenerator::global()->bounded(5, 80), victim, [victim] { victim->kill(); });
        };
        startVictim();

        // An outside editor that appends a rule and saves by rename, as a script that respects the lock does
        // (`flock .rules.json.lock …`). An editor that ignores the lock can still lose an edit made between its
        // reading and its saving: the lock is advisory.
        QTimer editor;
        connect(&editor, &QTimer::timeout, this, [&] {
            const Result<FileLock, FileLock::Error> lock = RulesFile::lock(path, 10s);
            QVERIFY(lock);
            RulesDocument document;
            if (QFile::exists(path))
                document = RulesCodec::decode(TestFiles::read(path)).value();
            const QString pattern = u"editor-%1.example"_s.arg(editorEdits++);
            document.rules.append(hostRule(pattern));
            TestFiles::writeAtomicallyAsAnotherProgram(path, RulesCodec::encode(document));
            expected.insert(pattern);
        });
        editor.start(25);

        // The resident, taking the others' edits over and making its own (the windows, the chooser).
        RuleStore store(path);
        store.startWatching();
        QTimer resident;
        connect(&resident, &QTimer::timeout, this, [&] {
            const QString pattern = u"resident-%1.example"_s.arg(residentEdits++);
            store.add(hostRule(pattern));
            expected.insert(pattern);
        });
        resident.start(30);

        // A script adding rules through the resident's scripting interface, one call after the other.
        std::function<void()> callResident = [&] {
            if (writing.hasExpired())
                return;
            const QString pattern = u"script-%1.example"_s.arg(started++);
            QDBusMessage message =
                QDBusMessage::createMethodCall(u"org.linkherd.Linkherd"_s, u"/org/linkherd/Linkherd"_s,
                                               u"org.linkherd.Linkherd.Scripting"_s, u"AddRule"_s);
            message << QVariantMap{{u"pattern"_s, pattern}} << -1;
            auto* call = new QDBusPendingCallWatcher(bus.asyncCall(message, 20'000), this);
            ++running;
            connect(call, &QDBusPendingCallWatcher::finished, this, [&, pattern](QDBusPendingCallWatcher* answered) {
                if (answered->isError()) {
                    qWarning("AddRule: %s", qPrintable(answered->error().message()));
                    ++scriptFailures;
                } else {
                    expected.insert(pattern);
                    ++scriptSuccesses;
                }
                answered->deleteLater();
                --running;
                callResident();
            });
        };
        callResident();

        QTRY_VERIFY_WITH_TIMEOUT(writing.hasExpired(), 10000);
        editor.stop();
        resident.stop();
        QTRY_COMPARE_WITH_TIMEOUT(running, 0, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!store.hasUnwrittenChanges(), 5000);

        const Result<RulesDocument> saved = RulesCodec::decode(TestFiles::read(path));
        QVERIFY2(saved, qPrintable(saved.error()));
        QSet<QString> present;
        for (const Rule& rule : saved->rules)
            present.insert(rule.pattern);
        const QSet<QString> lost = expected - present;
        QVERIFY2(lost.isEmpty(), qPrintable(QStringList(lost.cbegin(), lost.cend()).join(u", "_s)));
        QCOMPARE(saved->rules.size(), present.size()); // no edit applied twice
        const QStringList leftovers =
            QDir(folder).entryList({u"rules.json.*"_s}, QDir::Files | QDir::Hidden | QDir::System);
        QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(u", "_s)));
        QCOMPARE(toolFailures, 0);
        QCOMPARE(scriptFailures, 0);
        qInfo("%lld rules: %d tool processes succeeded, %d failed, %d killed; %d outside edits; %d resident edits; "
              "%d script calls",
              static_cast<long long>(saved->rules.size()), toolSuccesses, toolFailures, killed, editorEdits,
              residentEdits, scriptSuccesses);
        QVERIFY(editorEdits > 0 && residentEdits > 0 && killed > 0 && scriptSuccesses > 0);
    }

private:
    std::optional<SandboxedDesktop> m_desktop;
    QProcess m_bus;
    QProcess m_resident;
    QString m_busAddress;
};

QTEST_GUILESS_MAIN(ConcurrentRuleEditsTest)
#include "tst_concurrent_rule_edits.moc"
