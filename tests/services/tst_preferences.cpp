#include "services/preferences.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaMethod>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

QVariantMap snapshot(const Preferences& preferences)
{
    return {
        {u"launchesAtLogin"_s, preferences.launchesAtLogin()},
        {u"showsDockIcon"_s, preferences.showsApplicationMenuEntry()},
        {u"showsMenuBarIcon"_s, preferences.showsTrayIcon()},
        {u"remembersRecentLinks"_s, preferences.remembersRecentLinks()},
        {u"recentLinkCount"_s, preferences.recentLinkCount()},
        {u"asksWhenOptionHeld"_s, preferences.asksWhenAltHeld()},
        {u"browserOrder"_s, preferences.browserOrder()},
        {u"hasDeclinedDefaultBrowserPrompt"_s, preferences.hasDeclinedDefaultBrowserPrompt()},
    };
}

} // namespace

class PreferencesTest final : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> m_directory;
    QString m_path;
    int m_copies = 0;
    QStringList m_heard;

    QList<QByteArray> fileLines() const { return TestFiles::read(m_path).split('\n'); }

    // QSettings keeps what it parsed of a file, typed, for the rest of the process, so reading the same path
    // again never meets the text. A copy under a new name is read from its text, as another process reads it.
    QString copyForAnotherProcess()
    {
        const QString copy = m_directory->filePath(u"copy-%1.ini"_s.arg(++m_copies));
        if (!QFile::copy(m_path, copy))
            qFatal("cannot copy the preferences file");
        return copy;
    }

    // An instance following its file, as the resident's and the windows' are once their event loop runs.
    static std::unique_ptr<Preferences> following(const QString& path)
    {
        auto preferences = std::make_unique<Preferences>(path);
        QCoreApplication::processEvents();
        return preferences;
    }

    // QSettings shares what it read of a path among all its objects in a process; through a link, the same file
    // has another path, and the instance over it reads and writes the file as another process's would.
    std::unique_ptr<Preferences> followingInAnotherProcess()
    {
        const QString link = m_directory->filePath(u"link"_s);
        if (!QFile::exists(link) && !QFile::link(m_directory->path(), link))
            qFatal("cannot link the preferences folder");
        return following(link + u"/preferences.ini"_s);
    }

    // Records every change signal of preferences in m_heard.
    void listen(const Preferences& preferences)
    {
        const QMetaObject& meta = Preferences::staticMetaObject;
        const QMetaMethod heard = metaObject()->method(metaObject()->indexOfSlot("heard()"));
        for (int index = meta.methodOffset(); index < meta.methodCount(); ++index) {
            if (meta.method(index).methodType() == QMetaMethod::Signal)
                connect(&preferences, meta.method(index), this, heard);
        }
    }

    QString takeHeard() { return std::exchange(m_heard, {}).join(u' '); }

public Q_SLOTS:
    // Connected to every change signal; records the signal's name.
    void heard() { m_heard.append(QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name())); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        m_path = m_directory->filePath(u"preferences.ini"_s);
    }

    // Hand edits and other programs leave text of any kind; what is not a value of the key's type is ignored.
    void readsDefaultsForMissingOrOddValues_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("not Booleans") << "[General]\nlaunchesAtLogin=yes\nasksWhenOptionHeld=0\n"_ba;
        QTest::newRow("text for a number") << "[General]\nrecentLinkCount=abc\n"_ba;
        QTest::newRow("too big a number") << "[General]\nrecentLinkCount=4294967299\n"_ba;
        QTest::newRow("bytes for a list") << "[General]\nbrowserOrder=@ByteArray(firefox)\n"_ba;
    }

    void readsDefaultsForMissingOrOddValues()
    {
        QFETCH(QByteArray, ini);
        TestFiles::write(m_path, ini);
        const QVariantMap defaults{
            {u"launchesAtLogin"_s, false},      {u"showsDockIcon"_s, false},
            {u"showsMenuBarIcon"_s, true},      {u"remembersRecentLinks"_s, true},
            {u"recentLinkCount"_s, 5},          {u"asksWhenOptionHeld"_s, true},
            {u"browserOrder"_s, QStringList()}, {u"hasDeclinedDefaultBrowserPrompt"_s, false},
        };
        QCOMPARE(snapshot(Preferences(m_path)), defaults);
    }

    // A launch with neither the tray icon nor the application-menu entry would leave no way back into Linkherd but
    // opening it again.
    void trayIconNeedsTheApplicationMenuEntry_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("shown");
        QTest::newRow("menu entry hidden") << "showsDockIcon=false\nshowsMenuBarIcon=false\n"_ba << true;
        QTest::newRow("menu entry listed") << "showsDockIcon=true\nshowsMenuBarIcon=false\n"_ba << false;
    }

    void trayIconNeedsTheApplicationMenuEntry()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, shown);
        TestFiles::write(m_path, ini);
        QCOMPARE(Preferences(m_path).showsTrayIcon(), shown);
        // The user's own choice stays in the file for when the menu entry is listed again.
        QCOMPARE(TestFiles::read(m_path), ini);
    }

    // The command-line tool and a second instance read the file while this instance still runs.
    void assigningWritesAtOnceAndSignalsChanges()
    {
        Preferences preferences(m_path);
        listen(preferences);
        // The value held, which is written but not signalled, then another one twice, which is signalled once.
        const auto assign = [&](auto setter, const auto& held, const auto& other) {
            (preferences.*setter)(held);
            (preferences.*setter)(other);
            (preferences.*setter)(other);
            return takeHeard();
        };

        preferences.setLaunchesAtLogin(false);
        QVERIFY(fileLines().contains("launchesAtLogin=false"));
        QCOMPARE(assign(&Preferences::setRecentLinkCount, 5, 3), u"recentLinkCountChanged"_s);
        QVERIFY(fileLines().contains("recentLinkCount=3"));
        QCOMPARE(assign(&Preferences::setLaunchesAtLogin, false, true), u"launchesAtLoginChanged"_s);
        QCOMPARE(assign(&Preferences::setShowsApplicationMenuEntry, false, true),
                 u"showsApplicationMenuEntryChanged"_s);
        QCOMPARE(assign(&Preferences::setShowsTrayIcon, true, false), u"showsTrayIconChanged"_s);
        QCOMPARE(assign(&Preferences::setRemembersRecentLinks, true, false), u"remembersRecentLinksChanged"_s);
        QCOMPARE(assign(&Preferences::setAsksWhenAltHeld, true, false), u"asksWhenAltHeldChanged"_s);
        QCOMPARE(assign(&Preferences::setBrowserOrder, QStringList(), QStringList{u"firefox"_s, u"chromium"_s}),
                 u"browserOrderChanged"_s);
        QCOMPARE(assign(&Preferences::setHasDeclinedDefaultBrowserPrompt, false, true),
                 u"hasDeclinedDefaultBrowserPromptChanged"_s);

        QCOMPARE(snapshot(Preferences(m_path)), snapshot(preferences));
        QCOMPARE(snapshot(Preferences(copyForAnotherProcess())), snapshot(preferences));
    }

    // The resident and the windows share the file: each hears the other's changes as its own, each of its own
    // once, and changes made at the same moment on both sides both stay.
    void followsAnotherProcess()
    {
        const std::unique_ptr<Preferences> here = following(m_path);
        listen(*here);
        const std::unique_ptr<Preferences> there = followingInAnotherProcess();

        there->setRecentLinkCount(9);
        there->setAsksWhenAltHeld(false);
        QTRY_VERIFY(!here->asksWhenAltHeld());
        QCOMPARE(here->recentLinkCount(), 9);
        QCOMPARE(takeHeard(), u"recentLinkCountChanged asksWhenAltHeldChanged"_s);

        const QStringList order{u"firefox"_s, u"chromium"_s};
        here->setBrowserOrder(order);
        there->setRemembersRecentLinks(false);
        QTRY_VERIFY(!here->remembersRecentLinks());
        QTRY_COMPARE(there->browserOrder(), order);
        QCOMPARE(takeHeard(), u"browserOrderChanged remembersRecentLinksChanged"_s);
        QCOMPARE(snapshot(*there), snapshot(*here));
        QCOMPARE(snapshot(Preferences(copyForAnotherProcess())), snapshot(*here));
    }

    // A hand edit may be half done or mistyped: what is missing or not of its key's type changes nothing, the
    // rest is taken over. Editors save in place or by renaming.
    void outsideEditsKeepTheValuesTheyBreak_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("odd values") << "launchesAtLogin=yes\nrecentLinkCount=abc\nbrowserOrder=@ByteArray(x)\n"
                                       "chooserShowsProfiles=true\n"_ba
                                    << false;
        QTest::newRow("keys gone") << "[General]\nchooserShowsProfiles=true\n"_ba << true;
        QTest::newRow("not INI") << "\xff\xfe\x01junk\n=\nno equals sign\nchooserShowsProfiles=true\n"_ba << false;
    }

    void outsideEditsKeepTheValuesTheyBreak()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, inPlace);
        const std::unique_ptr<Preferences> preferences = following(m_path);
        preferences->setLaunchesAtLogin(true);
        preferences->setRecentLinkCount(7);
        preferences->setBrowserOrder({u"firefox"_s});
        QVariantMap expected = snapshot(*preferences);

        if (inPlace)
            TestFiles::write(m_path, ini);
        else
            TestFiles::writeAtomicallyAsAnotherProgram(m_path, ini);
        QTRY_VERIFY(preferences->chooserShowsProfiles());
        QCOMPARE(snapshot(*preferences), expected);
    }

    // Each list replaces the one before it.
    void browserOrderSurvivesTheFile()
    {
        Preferences preferences(m_path);
        const QStringList several{u"firefox"_s, u"a, b"_s,  u" c"_s,         u"d\"e"_s,
                                  u"@f"_s,      u"g;h=i"_s, u"gefährlich"_s, u"back\\slash"_s};
        for (const QStringList& order :
             {several, QStringList(), QStringList{u"firefox-esr"_s}, QStringList{u"a,b"_s}}) {
            preferences.setBrowserOrder(order);
            QCOMPARE(Preferences(copyForAnotherProcess()).browserOrder(), order);
        }
    }
};

QTEST_GUILESS_MAIN(PreferencesTest)
#include "tst_preferences.moc"
