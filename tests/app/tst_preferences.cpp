#include "app/preferences.h"
#include "support/test_files.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

using Assign = std::function<void(Preferences&, bool)>;
Q_DECLARE_METATYPE(Assign)

namespace {

QVariantMap snapshot(const Preferences& preferences)
{
    return {
        {u"launchesAtLogin"_s, preferences.launchesAtLogin()},
        {u"showsDockIcon"_s, preferences.showsDockIcon()},
        {u"showsMenuBarIcon"_s, preferences.showsMenuBarIcon()},
        {u"remembersRecentLinks"_s, preferences.remembersRecentLinks()},
        {u"recentLinkCount"_s, preferences.recentLinkCount()},
        {u"asksWhenOptionHeld"_s, preferences.asksWhenOptionHeld()},
        {u"browserOrder"_s, preferences.browserOrder()},
        {u"hasDeclinedDefaultBrowserPrompt"_s, preferences.hasDeclinedDefaultBrowserPrompt()},
    };
}

QVariantMap defaults()
{
    return {
        {u"launchesAtLogin"_s, false},      {u"showsDockIcon"_s, false},
        {u"showsMenuBarIcon"_s, true},      {u"remembersRecentLinks"_s, true},
        {u"recentLinkCount"_s, 5},          {u"asksWhenOptionHeld"_s, true},
        {u"browserOrder"_s, QStringList()}, {u"hasDeclinedDefaultBrowserPrompt"_s, false},
    };
}

const std::vector<std::pair<QString, void (Preferences::*)()>> changeSignals{
    {u"launchesAtLogin"_s, &Preferences::launchesAtLoginChanged},
    {u"showsDockIcon"_s, &Preferences::showsDockIconChanged},
    {u"showsMenuBarIcon"_s, &Preferences::showsMenuBarIconChanged},
    {u"remembersRecentLinks"_s, &Preferences::remembersRecentLinksChanged},
    {u"recentLinkCount"_s, &Preferences::recentLinkCountChanged},
    {u"asksWhenOptionHeld"_s, &Preferences::asksWhenOptionHeldChanged},
    {u"browserOrder"_s, &Preferences::browserOrderChanged},
    {u"hasDeclinedDefaultBrowserPrompt"_s, &Preferences::hasDeclinedDefaultBrowserPromptChanged},
};

} // namespace

class PreferencesTest final : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_directory;
    QString m_path;
    int m_copies = 0;

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

private Q_SLOTS:
    void init()
    {
        m_directory = std::make_unique<QTemporaryDir>();
        QVERIFY(m_directory->isValid());
        m_path = m_directory->filePath(u"preferences.ini"_s);
    }

    void readsDefaultsWithoutStoredValues_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::newRow("missing file") << QByteArray();
        QTest::newRow("empty file") << ""_ba;
        QTest::newRow("keys in a group") << "[linkherd]\nrecentLinkCount=3\nlaunchesAtLogin=true\n"_ba;
    }

    void readsDefaultsWithoutStoredValues()
    {
        QFETCH(QByteArray, ini);
        if (!ini.isNull())
            TestFiles::write(m_path, ini);
        QCOMPARE(snapshot(Preferences(m_path)), defaults());
    }

    // Hand edits and other programs leave text of any kind; what is not a value of the key's type is ignored.
    void readsStoredText_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("true") << "launchesAtLogin=true"_ba << u"launchesAtLogin"_s << QVariant(true);
        QTest::newRow("yes") << "launchesAtLogin=yes"_ba << u"launchesAtLogin"_s << QVariant(false);
        QTest::newRow("one") << "hasDeclinedDefaultBrowserPrompt=1"_ba << u"hasDeclinedDefaultBrowserPrompt"_s
                             << QVariant(false);
        QTest::newRow("zero") << "asksWhenOptionHeld=0"_ba << u"asksWhenOptionHeld"_s << QVariant(true);
        QTest::newRow("empty Boolean") << "remembersRecentLinks="_ba << u"remembersRecentLinks"_s << QVariant(true);
        QTest::newRow("number") << "recentLinkCount=3"_ba << u"recentLinkCount"_s << QVariant(3);
        QTest::newRow("number and text") << "recentLinkCount=7x"_ba << u"recentLinkCount"_s << QVariant(5);
        QTest::newRow("text") << "recentLinkCount=abc"_ba << u"recentLinkCount"_s << QVariant(5);
        QTest::newRow("fraction") << "recentLinkCount=3.5"_ba << u"recentLinkCount"_s << QVariant(5);
        QTest::newRow("empty number") << "recentLinkCount="_ba << u"recentLinkCount"_s << QVariant(5);
        QTest::newRow("too big") << "recentLinkCount=4294967299"_ba << u"recentLinkCount"_s << QVariant(5);
        QTest::newRow("one browser") << "browserOrder=firefox"_ba << u"browserOrder"_s
                                     << QVariant(QStringList{u"firefox"_s});
        QTest::newRow("quoted comma") << "browserOrder=\"a,b\", c"_ba << u"browserOrder"_s
                                      << QVariant(QStringList{u"a,b"_s, u"c"_s});
        QTest::newRow("bytes, not a list")
            << "browserOrder=@ByteArray(firefox)"_ba << u"browserOrder"_s << QVariant(QStringList());
    }

    void readsStoredText()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, key);
        QFETCH(QVariant, expected);
        TestFiles::write(m_path, "[General]\n" + line + '\n');
        QVariantMap values = defaults();
        values[key] = expected;
        QCOMPARE(snapshot(Preferences(m_path)), values);
    }

    // A launch with neither icon would leave no way back into Linkherd but opening it again.
    void menuBarIconNeedsTheDockIcon_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("shown");
        QTest::newRow("dock icon off") << "showsDockIcon=false\nshowsMenuBarIcon=false\n"_ba << true;
        QTest::newRow("dock icon unset") << "showsMenuBarIcon=false\n"_ba << true;
        QTest::newRow("dock icon unreadable") << "showsDockIcon=yes\nshowsMenuBarIcon=false\n"_ba << true;
        QTest::newRow("dock icon on") << "showsDockIcon=true\nshowsMenuBarIcon=false\n"_ba << false;
    }

    void menuBarIconNeedsTheDockIcon()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, shown);
        TestFiles::write(m_path, ini);
        QCOMPARE(Preferences(m_path).showsMenuBarIcon(), shown);
        // The user's own choice stays in the file for when the dock icon comes back.
        QCOMPARE(TestFiles::read(m_path), ini);
    }

    void assigningWritesAtOnce_data()
    {
        // Assigns the value the property starts with (false) or another one (true).
        QTest::addColumn<Assign>("assign");
        QTest::addColumn<QByteArray>("changedLine");
        // Row names are the keys, which name the signal expected. Every row starts with the dock icon on, so
        // that the menu bar icon may be off.
        QTest::newRow("launchesAtLogin") << Assign([](Preferences& p, bool other) { p.setLaunchesAtLogin(other); })
                                         << "launchesAtLogin=true"_ba;
        QTest::newRow("showsDockIcon") << Assign([](Preferences& p, bool other) { p.setShowsDockIcon(!other); })
                                       << "showsDockIcon=false"_ba;
        QTest::newRow("showsMenuBarIcon")
            << Assign([](Preferences& p, bool other) { p.setShowsMenuBarIcon(!other); }) << "showsMenuBarIcon=false"_ba;
        QTest::newRow("remembersRecentLinks")
            << Assign([](Preferences& p, bool other) { p.setRemembersRecentLinks(!other); })
            << "remembersRecentLinks=false"_ba;
        QTest::newRow("recentLinkCount") << Assign([](Preferences& p, bool other) {
            p.setRecentLinkCount(other ? 3 : 5);
        }) << "recentLinkCount=3"_ba;
        QTest::newRow("asksWhenOptionHeld")
            << Assign([](Preferences& p, bool other) { p.setAsksWhenOptionHeld(!other); })
            << "asksWhenOptionHeld=false"_ba;
        QTest::newRow("browserOrder") << Assign([](Preferences& p, bool other) {
            p.setBrowserOrder(other ? QStringList{u"firefox"_s, u"org.chromium.Chromium"_s} : QStringList());
        }) << "browserOrder=firefox, org.chromium.Chromium"_ba;
        QTest::newRow("hasDeclinedDefaultBrowserPrompt")
            << Assign([](Preferences& p, bool other) { p.setHasDeclinedDefaultBrowserPrompt(other); })
            << "hasDeclinedDefaultBrowserPrompt=true"_ba;
    }

    // The command-line tool and a second instance read the file while this instance still runs.
    void assigningWritesAtOnce()
    {
        QFETCH(Assign, assign);
        QFETCH(QByteArray, changedLine);
        const QString key = QString::fromLatin1(QTest::currentDataTag());
        TestFiles::write(m_path, "[General]\nshowsDockIcon=true\n");
        Preferences preferences(m_path);
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (const auto& named : changeSignals)
            spies.push_back(std::make_unique<QSignalSpy>(&preferences, named.second));
        const auto signalled = [&] {
            QStringList names;
            for (size_t i = 0; i < spies.size(); ++i)
                names += QStringList(int(spies[i]->count()), changeSignals[i].first);
            return names;
        };

        assign(preferences, false);
        const QByteArray keyPrefix = key.toLatin1() + '=';
        QVERIFY(std::ranges::any_of(fileLines(), [&](const QByteArray& line) { return line.startsWith(keyPrefix); }));
        QCOMPARE(signalled(), QStringList());
        assign(preferences, true);
        QVERIFY2(fileLines().contains(changedLine), TestFiles::read(m_path).constData());
        assign(preferences, true);
        QCOMPARE(signalled(), QStringList{key});

        QCOMPARE(snapshot(Preferences(m_path)), snapshot(preferences));
        QCOMPARE(snapshot(Preferences(copyForAnotherProcess())), snapshot(preferences));
    }

    void browserOrderSurvivesTheFile_data()
    {
        QTest::addColumn<QStringList>("order");
        QTest::newRow("none") << QStringList();
        QTest::newRow("one") << QStringList{u"firefox-esr"_s};
        QTest::newRow("one with a comma") << QStringList{u"a,b"_s};
        QTest::newRow("many") << QStringList{u"google-chrome"_s, u"com.google.Chrome"_s, u"firefox"_s};
        QTest::newRow("many, odd characters")
            << QStringList{u"a, b"_s, u" c"_s, u"d\"e"_s, u"@f"_s, u"g;h=i"_s, u"gefährlich"_s, u"back\\slash"_s};
    }

    void browserOrderSurvivesTheFile()
    {
        QFETCH(QStringList, order);
        TestFiles::write(m_path, "[General]\nbrowserOrder=previous, order\n");
        Preferences preferences(m_path);
        preferences.setBrowserOrder(order);
        QCOMPARE(Preferences(m_path).browserOrder(), order);
        QCOMPARE(Preferences(copyForAnotherProcess()).browserOrder(), order);
    }
};

QTEST_GUILESS_MAIN(PreferencesTest)
#include "tst_preferences.moc"
