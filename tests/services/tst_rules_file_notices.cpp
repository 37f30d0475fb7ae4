#include "routing/rule_store.h"
#include "services/rules_file_notices.h"
#include "support/fakes/fake_platform.h"
#include "support/test_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// What the user is told about a rules file Linkherd could not read, from the store's own reports.
class RulesFileNoticesTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        m_path = m_directory->filePath(u"rules.json"_s);
        m_notifications.sent.clear();
    }

    // The FIFO case, where nothing can be kept, is told end to end (tst_app_end_to_end).
    void atStartWithTheCopyKeptAside()
    {
        TestFiles::write(m_path, "{\"rules\": [");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"could not be read"_s));
        RuleStore store(m_path);
        RulesFileNotices notices(store, m_notifications);
        QVERIFY(m_notifications.sent.isEmpty());
        notices.start();
        QCOMPARE(m_notifications.sent.size(), 1);
        QCOMPARE(m_notifications.sent[0].summary, u"Linkherd could not read your rules"_s);
        QCOMPARE(
            m_notifications.sent[0].body,
            m_path + u": not valid JSON at line 1, column 12: unterminated array\n"_s +
                u"Linkherd started with no rules; your file was kept as %1."_s.arg(store.unreadableAtStart()->keptAs));
    }

    // A broken outside edit: the rules in force stay, and the edit is kept aside at the next save.
    void outsideEditThenSave()
    {
        TestFiles::write(m_path, R"({"fallback": {"ask": {}}, "rules": [], "version": 1})");
        RuleStore store(m_path);
        RulesFileNotices notices(store, m_notifications);
        notices.start();
        store.startWatching();
        QVERIFY(m_notifications.sent.isEmpty());

        // The decoder quotes the value it refuses; in a notification, a huge one is cut.
        const QByteArray hugeMatch = QByteArray(100'000, 'x');
        TestFiles::writeAtomicallyAsAnotherProgram(
            m_path, R"({"fallback": {"ask": {}}, "version": 1, "rules": [{"id": "6F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F",
                "isEnabled": true, "match": ")" +
                        hugeMatch + R"(", "pattern": "a", "sourceBundleIDs": [],
                "destination": {"ask": {}}}]})");
        QTest::ignoreMessage(QtCriticalMsg, "Ignoring an unreadable rules file; keeping the rules already loaded");
        QTRY_COMPARE(m_notifications.sent.size(), 1);
        QCOMPARE(m_notifications.sent[0].summary, u"Linkherd could not read your rules"_s);
        const QString body = m_notifications.sent[0].body;
        QVERIFY2(body.size() < m_path.size() + 500, qPrintable(body.left(600)));
        QVERIFY2(body.startsWith(m_path + u": rules[0].match: \"xxx"_s), qPrintable(body.left(600)));
        QVERIFY(body.contains(u"…"_s));
        QVERIFY(body.endsWith(u"\" is not one of host, urlContains, regex\nYour previous rules stay in force."_s));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"kept as"_s));
        store.setFallback(Destination::browser(u"firefox"_s));
        QCOMPARE(m_notifications.sent.size(), 2);
        QCOMPARE(m_notifications.sent[1].summary, u"Linkherd kept an edit it could not read"_s);
        const QStringList copies = QDir(m_directory->path()).entryList({u"rules.json.unreadable-*"_s});
        QCOMPARE(copies.size(), 1);
        QVERIFY(m_notifications.sent[1].body.endsWith(u"\nBefore saving your change, Linkherd kept the file as "_s +
                                                      m_directory->filePath(copies.front()) + u'.'));
    }

private:
    std::optional<QTemporaryDir> m_directory;
    QString m_path;
    FakeDesktopNotifications m_notifications;
};

QTEST_GUILESS_MAIN(RulesFileNoticesTest)
#include "tst_rules_file_notices.moc"
