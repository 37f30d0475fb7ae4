#include "browsers/browsers.h"
#include "support/fakes/fake_platform.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QStringList ids(const QList<Browsers::Browser>& browsers)
{
    QStringList result;
    for (const Browsers::Browser& browser : browsers)
        result.append(browser.desktopID);
    return result;
}

} // namespace

class BrowsersTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        DesktopEntry shadow = fakeEntry(u"firefox"_s, u"Firefox (system copy)"_s);
        shadow.filePath = u"/usr/share/applications/firefox.desktop"_s;
        DesktopEntry unnamed = fakeEntry(u"org.example.Unnamed"_s, QString());
        m_catalog.browsers = {
            fakeEntry(u"b10"_s, u"Browser 10"_s),
            fakeEntry(u"org.linkherd.Linkherd"_s, u"Linkherd"_s),
            fakeEntry(u"twin-b"_s, u"Twin"_s),
            fakeEntry(u"firefox"_s, u"Firefox"_s),
            fakeEntry(u"com.google.Chrome"_s, u"Google Chrome"_s),
            fakeEntry(u"b2"_s, u"browser 2"_s),
            shadow,
            fakeEntry(u"twin-a"_s, u"Twin"_s),
            unnamed,
            fakeEntry(u"ORG.LINKHERD.LINKHERD"_s, u"Linkherd again"_s),
        };
        Browsers::setCatalog(&m_catalog);
    }

    void discoverySortsDeduplicatesAndLeavesLinkherdOut()
    {
        QCOMPARE(ids(Browsers::installed()), QStringList({u"b2"_s, u"b10"_s, u"firefox"_s, u"com.google.Chrome"_s,
                                                          u"org.example.Unnamed"_s, u"twin-b"_s, u"twin-a"_s}));
        // The copy the system lists first is the one kept.
        QCOMPARE(Browsers::browser(u"firefox"_s)->filePath, u"/apps/firefox.desktop"_s);
        QCOMPARE(Browsers::browser(u"org.example.Unnamed"_s)->name, u"org.example.Unnamed"_s);
    }

    void cacheLastsUntilInvalidatedOrTheCatalogChanges()
    {
        QCOMPARE(Browsers::installed().size(), 7);
        QVERIFY(Browsers::discoveryTimeMSecs());
        m_catalog.browsers.removeLast();
        m_catalog.browsers.removeFirst();
        QCOMPARE(Browsers::installed().size(), 7);
        Browsers::invalidate();
        QVERIFY(!Browsers::discoveryTimeMSecs());
        QCOMPARE(Browsers::installed().size(), 6);

        // A change on the desktop drops what is known at once and finds the browsers again from the event loop,
        // so that the next link does not wait for the discovery; a catalog that is let go reports to no one.
        m_catalog.browsers.removeLast(); // org.example.Unnamed
        QVERIFY(m_catalog.changeHandler);
        m_catalog.changeHandler();
        QVERIFY(!Browsers::discoveryTimeMSecs());
        QTRY_VERIFY(Browsers::discoveryTimeMSecs());
        QCOMPARE(Browsers::installed().size(), 5);

        Browsers::setCatalog(nullptr);
        QVERIFY(!m_catalog.changeHandler);
    }

    void lookups()
    {
        QCOMPARE(Browsers::browser(u"COM.GOOGLE.CHROME"_s)->desktopID, u"com.google.Chrome"_s);
        QVERIFY(!Browsers::browser(u"org.linkherd.Linkherd"_s));
        QCOMPARE(Browsers::displayName(u"firefox"_s), u"Firefox"_s);
        QCOMPARE(Browsers::displayName(u"com.example.NotInstalled"_s), u"NotInstalled"_s);
        QCOMPARE(Browsers::displayName(u"brave-browser"_s), u"brave-browser"_s);
        QCOMPARE(Browsers::displayName(u".."_s), u".."_s);
        QCOMPARE(Browsers::displayName(QString()), QString());
        QCOMPARE(Browsers::browserNamed(u"google chrome"_s)->desktopID, u"com.google.Chrome"_s);
        QCOMPARE(Browsers::browserNamed(u"FIREFOX"_s)->desktopID, u"firefox"_s);
        QCOMPARE(Browsers::browserNamed(u"twin"_s)->desktopID, u"twin-b"_s);
        QVERIFY(!Browsers::browserNamed(u"Opera"_s));
    }

    void orderedByTheUsersOrder()
    {
        QCOMPARE(ids(Browsers::ordered({})), ids(Browsers::installed()));
        QCOMPARE(ids(Browsers::ordered({u"gone"_s, u"firefox"_s, u"b10"_s, u"firefox"_s, u"FIREFOX"_s})),
                 QStringList({u"firefox"_s, u"b10"_s, u"b2"_s, u"com.google.Chrome"_s, u"org.example.Unnamed"_s,
                              u"twin-b"_s, u"twin-a"_s}));
    }

    void systemDefault()
    {
        QVERIFY(!Browsers::systemDefault());
        m_catalog.defaultBrowser = fakeEntry(u"org.linkherd.linkherd"_s, u"Linkherd"_s);
        QVERIFY(!Browsers::systemDefault());
        m_catalog.defaultBrowser = fakeEntry(u"firefox"_s, u"Different name"_s);
        QCOMPARE(Browsers::systemDefault()->name, u"Firefox"_s); // as listed
        m_catalog.defaultBrowser = fakeEntry(u"elinks"_s, u"ELinks"_s);
        QCOMPARE(Browsers::systemDefault()->name, u"ELinks"_s); // not a listed browser, still the default
    }

    // The windows' icons are made from these names, and made again when the generation changes.
    void iconNamesComeWithTheDiscoveryUntilForgotten()
    {
        m_catalog.browsers[4].icon = u"/icons/chrome.png"_s; // com.google.Chrome
        QCOMPARE(Browsers::installed().size(), 7);
        const int lookups = m_catalog.applicationLookups;
        QCOMPARE(Browsers::iconName(u"com.google.Chrome"_s), u"/icons/chrome.png"_s);
        QCOMPARE(Browsers::iconName(u"not.installed"_s), QString());
        QCOMPARE(Browsers::iconName(u"not.installed"_s), QString());
        QCOMPARE(m_catalog.applicationLookups, lookups + 1); // only for the missing one, which is remembered too

        const quint64 generation = Browsers::cacheGeneration();
        m_catalog.browsers[4].icon = u"google-chrome"_s;
        QCOMPARE(Browsers::iconName(u"com.google.Chrome"_s), u"/icons/chrome.png"_s);
        m_catalog.changeHandler();
        QVERIFY(Browsers::cacheGeneration() != generation);
        QCOMPARE(Browsers::iconName(u"com.google.Chrome"_s), u"google-chrome"_s);
        QCOMPARE(Browsers::iconName(QString()), QString());
    }

private:
    FakeApplicationCatalog m_catalog;
};

QTEST_GUILESS_MAIN(BrowsersTest)
#include "tst_browsers.moc"
