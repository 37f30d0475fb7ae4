#include "browsers/browser_profiles.h"
#include "browsers/firefox_profiles.h"
#include "browsers/localized_compare.h"
#include "support/test_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using FirefoxProfiles::IniProfile;

Q_DECLARE_METATYPE(FirefoxProfiles::IniProfile)

namespace FirefoxProfiles {
char* toString(const IniProfile& profile)
{
    return QTest::toString(
        u"%1=%2 relative %3 store %4"_s.arg(profile.path, profile.name).arg(profile.isRelative).arg(profile.storeID));
}
} // namespace FirefoxProfiles

namespace {

// A browser's profiles as "directory=name".
QStringList listed(const QString& desktopID)
{
    QStringList result;
    for (const BrowserProfiles::Profile& profile : BrowserProfiles::profiles(desktopID))
        result.append(profile.directory + u'=' + profile.name);
    return result;
}

// What tests/data/profiles/firefox/profiles.ini lists.
const QStringList firefoxFixture{u"abc123.default-esr=default-esr"_s, u"/srv/profiles/elsewhere=Elsewhere"_s,
                                 u"grp1.Group=Group"_s, u"w0rk.Work=Work"_s};

void putLocalState(const QString& dataDirectory, const QString& fixture)
{
    QVERIFY(QDir().mkpath(dataDirectory));
    TestFiles::writeAtomicallyAsAnotherProgram(dataDirectory + u"/Local State"_s,
                                               TestFiles::read(TestFiles::dataPath(u"profiles/"_s + fixture)));
}

void putProfilesIni(const QString& root, const QByteArray& contents = {})
{
    QVERIFY(QDir().mkpath(root));
    TestFiles::writeAtomicallyAsAnotherProgram(
        root + u"/profiles.ini"_s,
        contents.isNull() ? TestFiles::read(TestFiles::dataPath(u"profiles/firefox/profiles.ini"_s)) : contents);
}

struct CloseDatabase {
    void operator()(sqlite3* database) const { sqlite3_close(database); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

void execute(sqlite3* database, const char* statement)
{
    char* error = nullptr;
    if (sqlite3_exec(database, statement, nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("SQLite: %s", error);
}

// A profile group's database as Firefox's profile manager writes it: WAL mode, table Profiles. The connection
// stays open, as Firefox keeps it, with the last row still in the write-ahead log.
Database openProfileGroup(const QString& root, const QString& storeID)
{
    QDir().mkpath(root + u"/Profile Groups"_s);
    sqlite3* opened = nullptr;
    if (sqlite3_open(QFile::encodeName(root + u"/Profile Groups/"_s + storeID + u".sqlite"_s).constData(), &opened) !=
        SQLITE_OK)
        qFatal("cannot create the group database");
    Database database(opened);
    execute(opened, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                    "CREATE TABLE Profiles (id INTEGER NOT NULL, path TEXT NOT NULL UNIQUE, name TEXT NOT NULL,"
                    " avatar TEXT NOT NULL, themeId TEXT NOT NULL, themeFg TEXT NOT NULL, themeBg TEXT NOT NULL,"
                    " PRIMARY KEY(id));"
                    "INSERT INTO Profiles VALUES (1, 'grp1.Group', 'Original', 'book', 'default', '', '');"
                    "INSERT INTO Profiles VALUES (3, 'Profiles/c3.Shopping', 'Shopping', 'cart', 'default', '', '');"
                    "INSERT INTO Profiles VALUES (2, '/srv/groups/b2.Banking', 'Banking', 'bank', 'default', '', '');");
    return database;
}

} // namespace

class BrowserProfilesTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A fresh home for every test: HOME, and a config home deliberately outside it so that a path built from
    // ~/.config instead of XDG_CONFIG_HOME shows.
    void init()
    {
        QVERIFY(m_sandbox.emplace().isValid());
        m_home = m_sandbox->filePath(u"home"_s);
        m_config = m_sandbox->filePath(u"xdg-config"_s);
        QVERIFY(QDir().mkpath(m_home) && QDir().mkpath(m_config));
        qputenv("HOME", QFile::encodeName(m_home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config));
    }

    void userDataDirectory_data()
    {
        QTest::addColumn<QString>("desktopID");
        QTest::addColumn<QString>("expected"); // "~" for HOME, "$" for XDG_CONFIG_HOME; empty: not supported

        QTest::newRow("native") << u"google-chrome"_s << u"$/google-chrome"_s;
        QTest::newRow("nested directory") << u"brave-browser-beta"_s << u"$/BraveSoftware/Brave-Browser-Beta"_s;
        QTest::newRow("second name, same data") << u"chromium-browser"_s << u"$/chromium"_s;
        QTest::newRow("flatpak") << u"com.google.Chrome"_s << u"~/.var/app/com.google.Chrome/config/google-chrome"_s;
        QTest::newRow("flatpak nested") << u"com.brave.Browser"_s
                                        << u"~/.var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser"_s;
        QTest::newRow("snap") << u"chromium_chromium"_s << u"~/snap/chromium/common/chromium"_s;
        // IDs compare exactly: in another case, or as a file name, they are no browser's with profiles.
        for (const char* id : {"Google-Chrome", "com.google.chrome", "google-chrome.desktop", "org.gnome.Epiphany"})
            QTest::newRow(id) << QString::fromLatin1(id) << QString();
    }

    void userDataDirectory()
    {
        QFETCH(QString, desktopID);
        QFETCH(QString, expected);

        QCOMPARE(BrowserProfiles::supportsProfiles(desktopID), !expected.isEmpty());
        QCOMPARE(BrowserProfiles::userDataDirectory(desktopID),
                 expected.isEmpty() ? std::nullopt
                                    : std::optional(expected.replace(u'~', m_home).replace(u'$', m_config)));
    }

    // A Flatpak entry pointing into another app's sandbox would read a different browser's profiles.
    void profiles_data()
    {
        QTest::addColumn<QString>("fixture"); // empty: no "Local State" at all
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("real Local State, by name") << u"chrome_local_state.json"_s
                                                   << QStringList{u"Default=Person 1"_s, u"Profile 3=profile 9"_s,
                                                                  u"Profile 10=Profile 10"_s, u"Profile 2=Work"_s};
        QTest::newRow("odd records") << u"odd_records.json"_s
                                     << QStringList{u"Profile 7="_s, u"Default=Person 1"_s, u"Profile 5=Profile 5"_s,
                                                    u"Profile 6=Profile 6"_s};
        for (const char* broken : {"empty", "truncated", "top_level_array", "profile_not_object", "info_cache_array"})
            QTest::newRow(broken) << QString::fromLatin1(broken) + u".json"_s << QStringList();
        QTest::newRow("missing file") << QString() << QStringList();
    }

    void profiles()
    {
        QFETCH(QString, fixture);

        if (!fixture.isEmpty())
            putLocalState(m_config + u"/google-chrome"_s, fixture);
        QTEST(listed(u"google-chrome"_s), "expected");
    }

    void nativeBrowserFollowsConfigHome()
    {
        const QString elsewhere = m_sandbox->filePath(u"elsewhere"_s);
        putLocalState(elsewhere + u"/microsoft-edge"_s, u"chrome_local_state.json"_s);
        putLocalState(m_home + u"/.config/microsoft-edge"_s, u"odd_records.json"_s);

        QVERIFY(BrowserProfiles::profiles(u"microsoft-edge"_s).isEmpty());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(elsewhere));
        QCOMPARE(BrowserProfiles::profileName(u"Profile 2"_s, u"microsoft-edge"_s), u"Work"_s);
        // A deleted profile, a directory in another case and a browser without profiles keep the directory.
        QCOMPARE(BrowserProfiles::profileName(u"Profile 4"_s, u"microsoft-edge"_s), u"Profile 4"_s);
        QCOMPARE(BrowserProfiles::profileName(u"default"_s, u"microsoft-edge"_s), u"default"_s);
        QCOMPARE(BrowserProfiles::profileName(u"Profile 2"_s, u"org.gnome.Epiphany"_s), u"Profile 2"_s);
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(BrowserProfiles::profileName(u"Profile 5"_s, u"microsoft-edge"_s), u"Profile 5"_s);
        QCOMPARE(BrowserProfiles::profileName(u"Default"_s, u"microsoft-edge"_s), u"Person 1"_s);
    }

    void parseProfilesIni_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<IniProfile>>("expected");

        const IniProfile work{u"Work"_s, u"w.Work"_s, true, {}};
        QTest::newRow("relative, absolute, group")
            << QByteArray("[Profile0]\nName=Work\nIsRelative=1\nPath=w.Work\n[Profile1]\nName=Old\nPath=/p/old\n"
                          "[Profile2]\nName=G\nIsRelative=1\nPath=g.G\nStoreID=ab12\n")
            << QList<IniProfile>{work, {u"Old"_s, u"/p/old"_s, false, {}}, {u"G"_s, u"g.G"_s, true, u"ab12"_s}};
        QTest::newRow("stops at the first missing number")
            << QByteArray("[Profile0]\nName=Work\nIsRelative=1\nPath=w.Work\n[Profile2]\nName=X\nPath=x\n")
            << QList<IniProfile>{work};
        QTest::newRow("no Profile0") << QByteArray("[Profile1]\nName=Work\nPath=w\n") << QList<IniProfile>();
        QTest::newRow("relative path not marked relative is passed over")
            << QByteArray("[Profile0]\nName=Bare\nPath=bare\n[Profile1]\nName=Zero\nIsRelative=0\nPath=z\n"
                          "[Profile2]\nName=Work\nIsRelative=1\nPath=w.Work\n")
            << QList<IniProfile>{work};
        QTest::newRow("section without Path or Name is passed over")
            << QByteArray("[Profile0]\nName=NoPath\n[Profile1]\nPath=nameless\n[Profile2]\nName=Work\n"
                          "IsRelative=1\nPath=w.Work\n")
            << QList<IniProfile>{work};
        QTest::newRow("CRLF, BOM, spaces, comments, first of twice")
            << QByteArray("\xEF\xBB\xBF; written by hand\r\n[Profile0]\r\n  Name = Work \r\n# note\r\n"
                          "IsRelative=1\r\nPath=w.Work\r\nName=Later\r\n")
            << QList<IniProfile>{work};
        QTest::newRow("install sections name no profiles")
            << QByteArray("[InstallABC]\nDefault=w.Work\n[Profile0]\nName=Work\nIsRelative=1\nPath=w.Work\n"
                          "[InstallDEF]\nDefault=other\n")
            << QList<IniProfile>{work};
        QTest::newRow("UTF-8 name") << QByteArray("[Profile0]\nName=Küche 🍳\nIsRelative=1\nPath=k\n")
                                    << QList<IniProfile>{{u"Küche 🍳"_s, u"k"_s, true, {}}};
        QTest::newRow("keys before any section, broken header")
            << QByteArray("Name=Stray\n[Profile0\nPath=x\n[]\nName=y\n") << QList<IniProfile>();
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe[\x01=\n\n=\x02", 10) << QList<IniProfile>();
    }

    void parseProfilesIni()
    {
        QFETCH(QByteArray, text);
        QTEST(FirefoxProfiles::parseProfilesIni(text), "expected");
    }

    // The fixture's profiles, from whichever root each kind of install reads (both of the native install's are read
    // in bothFirefoxRootsListEachProfileOnce).
    void firefoxRoots_data()
    {
        QTest::addColumn<QString>("desktopID");
        QTest::addColumn<QString>("root"); // "~" for HOME, "$" for XDG_CONFIG_HOME
        QTest::addColumn<bool>("found");

        QTest::newRow("native") << u"firefox-esr"_s << u"~/.mozilla/firefox"_s << true;
        QTest::newRow("Nightly shares Firefox's") << u"firefox-nightly"_s << u"~/.mozilla/firefox"_s << true;
        QTest::newRow("Snap") << u"firefox_firefox"_s << u"~/snap/firefox/common/.mozilla/firefox"_s << true;
        QTest::newRow("Snap, XDG") << u"firefox_firefox"_s << u"~/snap/firefox/common/.config/mozilla/firefox"_s
                                   << true;
        QTest::newRow("Flatpak") << u"org.mozilla.firefox"_s << u"~/.var/app/org.mozilla.firefox/.mozilla/firefox"_s
                                 << true;
        QTest::newRow("Flatpak, XDG") << u"org.mozilla.firefox"_s
                                      << u"~/.var/app/org.mozilla.firefox/config/mozilla/firefox"_s << true;
        QTest::newRow("LibreWolf") << u"librewolf"_s << u"~/.librewolf"_s << true;
        QTest::newRow("Floorp Flatpak") << u"one.ablaze.floorp"_s << u"~/.var/app/one.ablaze.floorp/.floorp"_s << true;
        QTest::newRow("a fork's root is not Firefox's") << u"firefox"_s << u"~/.librewolf"_s << false;
        QTest::newRow("the Snap does not read the native root")
            << u"firefox_firefox"_s << u"~/.mozilla/firefox"_s << false;
        QTest::newRow("XDG_CONFIG_HOME, not ~/.config") << u"firefox"_s << u"~/.config/mozilla/firefox"_s << false;
    }

    void firefoxRoots()
    {
        QFETCH(QString, desktopID);
        QFETCH(QString, root);
        QFETCH(bool, found);

        const QString rootPath = root.replace(u'~', m_home).replace(u'$', m_config);
        putProfilesIni(rootPath);
        QCOMPARE(BrowserProfiles::family(desktopID), BrowserProfiles::Family::firefox);
        QCOMPARE(listed(desktopID), found ? firefoxFixture : QStringList());
        QCOMPARE(BrowserProfiles::profileFolder(u"w0rk.Work"_s, desktopID),
                 found ? std::optional<QString>(rootPath + u"/w0rk.Work"_s) : std::nullopt);
        if (found) {
            QCOMPARE(BrowserProfiles::profileFolder(u"/srv/profiles/elsewhere"_s, desktopID),
                     u"/srv/profiles/elsewhere"_s);
            QCOMPARE(BrowserProfiles::directoryOf(u"work"_s, desktopID), u"w0rk.Work"_s);
        }
        QCOMPARE(BrowserProfiles::profileFolder(u"never.listed"_s, desktopID), std::nullopt);
    }

    // Both of Firefox's roots are read and each profile listed once: the one of ~/.mozilla/firefox, which Firefox
    // prefers, when both roots hold the same path; a root that is a link to the other is read once.
    void bothFirefoxRootsListEachProfileOnce()
    {
        putProfilesIni(m_home + u"/.mozilla/firefox"_s, "[Profile0]\nName=Old\nIsRelative=1\nPath=a.default\n");
        putProfilesIni(m_config + u"/mozilla/firefox"_s, "[Profile0]\nName=New\nIsRelative=1\nPath=a.default\n"
                                                         "[Profile1]\nName=Fresh\nIsRelative=1\nPath=b.fresh\n");
        QCOMPARE(listed(u"firefox"_s), QStringList({u"b.fresh=Fresh"_s, u"a.default=Old"_s}));
        QCOMPARE(BrowserProfiles::profileFolder(u"b.fresh"_s, u"firefox"_s), m_config + u"/mozilla/firefox/b.fresh"_s);

        QVERIFY(QDir(m_config + u"/mozilla/firefox"_s).removeRecursively());
        QVERIFY(QFile::link(m_home + u"/.mozilla/firefox"_s, m_config + u"/mozilla/firefox"_s));
        QCOMPARE(listed(u"firefox"_s), QStringList{u"a.default=Old"_s});
    }

    // A group's members replace its one entry, each by its own name, read while the browser holds the database
    // open in WAL mode; a database that cannot be read leaves the entry itself.
    void profileGroupMembersAreListed_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("open in WAL mode")
            << u"open"_s << QStringList{u"/srv/groups/b2.Banking=Banking"_s,    u"abc123.default-esr=default-esr"_s,
                                        u"/srv/profiles/elsewhere=Elsewhere"_s, u"grp1.Group=Original"_s,
                                        u"Profiles/c3.Shopping=Shopping"_s,     u"w0rk.Work=Work"_s};
        for (const char* state : {"locked", "damaged", "other table", "missing", "folder"})
            QTest::newRow(state) << QString::fromLatin1(state) << firefoxFixture;
    }

    void profileGroupMembersAreListed()
    {
        QFETCH(QString, state);

        const QString root = m_home + u"/.mozilla/firefox"_s;
        putProfilesIni(root);
        const QString database = root + u"/Profile Groups/7f3a9c.sqlite"_s;
        Database writer;
        if (state == u"open" || state == u"locked") {
            writer = openProfileGroup(root, u"7f3a9c"_s);
            if (state == u"locked")
                execute(writer.get(), "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;"
                                      "UPDATE Profiles SET name='x';");
        } else if (state == u"damaged") {
            openProfileGroup(root, u"7f3a9c"_s).reset();
            QFile file(database);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(100);
            file.write(QByteArray(4000, '\xA5'));
        } else if (state == u"other table") {
            writer = openProfileGroup(root, u"7f3a9c"_s);
            execute(writer.get(), "ALTER TABLE Profiles RENAME TO Other;");
        } else if (state == u"folder") {
            QVERIFY(QDir().mkpath(database));
        }
        const QByteArray before =
            QFile::exists(database) && QFileInfo(database).isFile() ? TestFiles::read(database) : QByteArray();
        QTEST(listed(u"firefox-esr"_s), "expected");
        if (state == u"open") {
            QCOMPARE(BrowserProfiles::profileFolder(u"Profiles/c3.Shopping"_s, u"firefox-esr"_s),
                     root + u"/Profiles/c3.Shopping"_s);
            QCOMPARE(BrowserProfiles::profileFolder(u"/srv/groups/b2.Banking"_s, u"firefox-esr"_s),
                     u"/srv/groups/b2.Banking"_s);
        }
        if (!before.isNull())
            QCOMPARE(TestFiles::read(database), before);
    }

    // Reading stops at a megabyte: a profiles.ini that size is no browser's.
    void oversizedProfilesIniListsNothing()
    {
        putProfilesIni(m_home + u"/.mozilla/firefox"_s,
                       QByteArray("[Profile0]\nName=Work\nIsRelative=1\nPath=w\n") + QByteArray(1024 * 1024, ';'));
        QVERIFY(BrowserProfiles::profiles(u"firefox"_s).isEmpty());
    }

    void localizedLessThan_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("same"); // otherwise first comes before second

        QTest::newRow("numbers by value") << u"Browser 2"_s << u"Browser 10"_s << false;
        QTest::newRow("case ignored") << u"apple"_s << u"Banana"_s << false;
        QTest::newRow("same but for case") << u"work"_s << u"Work"_s << true;
        QTest::newRow("accented letter with its base") << u"Émile"_s << u"Frank"_s << false;
        QTest::newRow("empty first") << QString() << u"A"_s << false;
    }

    void localizedLessThan()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, same);

        QCOMPARE(::localizedLessThan(first, second), !same);
        QVERIFY(!::localizedLessThan(second, first));
    }

private:
    std::optional<QTemporaryDir> m_sandbox;
    QString m_home;
    QString m_config;
};

QTEST_GUILESS_MAIN(BrowserProfilesTest)
#include "tst_browser_profiles.moc"
