#include "browsers/default_browser.h"
#include "support/fakes/fake_platform.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class DefaultBrowserTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }

    void init()
    {
        m_catalog = FakeApplicationCatalog();
        m_catalog.browsers = {fakeEntry(u"firefox"_s, u"Firefox"_s)};
        m_catalog.applications = {fakeEntry(u"org.linkherd.Linkherd"_s, u"Linkherd"_s)};
        m_catalog.defaultBrowser = m_catalog.browsers.front();
        m_handlers = FakeDefaultHandlers();
        m_handlers.catalog = &m_catalog;
        m_autostart = FakeAutostartEntry();
    }

    // The tool and the settings both hand the links back through makeDefault; the record is what tells a running
    // Linkherd that the user, not another program, gave the default away.
    void aHandBackIsRecordedUntilLinkherdIsTheDefaultAgain()
    {
        DefaultBrowser defaultBrowser(m_catalog, m_handlers, m_autostart);
        QVERIFY(!DefaultBrowser::handedBackTo());
        m_catalog.defaultBrowser = m_catalog.applications.front(); // Linkherd
        std::optional<std::optional<QString>> handedBack;
        defaultBrowser.makeDefault(m_catalog.browsers.front().filePath,
                                   [&](std::optional<QString> error) { handedBack = error; });
        QVERIFY(!handedBack); // later, never during the call
        // Before the desktop has been asked for anything.
        const std::optional<QString> recorded = DefaultBrowser::handedBackTo();
        QTRY_VERIFY(handedBack);
        QCOMPARE(*handedBack, std::nullopt);
        QCOMPARE(m_catalog.defaultBrowser->id, u"firefox"_s);
        QCOMPARE(recorded, m_catalog.browsers.front().filePath);
        std::optional<bool> report;
        defaultBrowser.becomeDefaultBrowser([&](bool isDefault) { report = isDefault; });
        QTRY_VERIFY(report);
        QVERIFY(!DefaultBrowser::handedBackTo());
    }

    void isDefaultIgnoresCase()
    {
        DefaultBrowser defaultBrowser(m_catalog, m_handlers, m_autostart);
        QVERIFY(!defaultBrowser.isDefaultBrowser());
        m_catalog.defaultBrowser = fakeEntry(u"ORG.linkherd.LINKHERD"_s, u"Linkherd"_s);
        QVERIFY(defaultBrowser.isDefaultBrowser());
        m_catalog.defaultBrowser.reset();
        QVERIFY(!defaultBrowser.isDefaultBrowser());
    }

    // http is claimed before https, a refusal stops the rest, and the report is what the desktop says afterwards.
    void becomingTheDefault_data()
    {
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<bool>("desktopFollows");
        QTest::addColumn<bool>("isDefault");
        QTest::addColumn<QStringList>("schemesSet");
        QTest::newRow("claimed") << QString() << true << true << QStringList{u"http"_s, u"https"_s};
        QTest::newRow("http refused") << u"mimeapps.list is read-only"_s << true << false << QStringList{u"http"_s};
        QTest::newRow("set, but the desktop still names Firefox")
            << QString() << false << false << QStringList{u"http"_s, u"https"_s};
    }

    void becomingTheDefault()
    {
        QFETCH(QString, refusal);
        QFETCH(bool, desktopFollows);
        if (!refusal.isEmpty()) {
            m_handlers.failures.insert(u"http"_s, refusal);
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(u"Could not become the default browser: "_s + refusal));
        }
        if (!desktopFollows)
            m_handlers.catalog = nullptr;
        DefaultBrowser defaultBrowser(m_catalog, m_handlers, m_autostart);
        std::optional<bool> report;
        defaultBrowser.becomeDefaultBrowser([&](bool isDefault) { report = isDefault; });
        QTRY_VERIFY(report);
        QTEST(*report, "isDefault");
        QTEST(m_handlers.schemesSet, "schemesSet");
    }

    void launchAtLogin()
    {
        DefaultBrowser defaultBrowser(m_catalog, m_handlers, m_autostart);
        QVERIFY(defaultBrowser.setLaunchesAtLogin(false).ok()); // not registered: nothing to do
        QCOMPARE(m_autostart.disables, 0);
        QVERIFY(defaultBrowser.setLaunchesAtLogin(true).ok());
        QVERIFY(defaultBrowser.setLaunchesAtLogin(true).ok());
        QCOMPARE(m_autostart.enables, 1);
        m_autostart.current = AutostartEntry::Status::requiresApproval;
        QVERIFY(defaultBrowser.setLaunchesAtLogin(true).ok());
        QCOMPARE(m_autostart.enables, 1);

        m_autostart.disableError = u"Read-only file system"_s;
        QTest::ignoreMessage(QtCriticalMsg, "Could not remove the autostart entry: Read-only file system");
        QCOMPARE(defaultBrowser.setLaunchesAtLogin(false).error(), u"Read-only file system"_s);
    }

private:
    QTemporaryDir m_config;
    FakeApplicationCatalog m_catalog;
    FakeDefaultHandlers m_handlers;
    FakeAutostartEntry m_autostart;
};

QTEST_GUILESS_MAIN(DefaultBrowserTest)
#include "tst_default_browser.moc"
