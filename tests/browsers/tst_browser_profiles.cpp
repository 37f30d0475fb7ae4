#include "browsers/browser_profiles.h"
#include "browsers/localized_compare.h"
#include "support/test_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using BrowserProfiles::DataDirectory;
using BrowserProfiles::Profile;

Q_DECLARE_METATYPE(BrowserProfiles::Profile)

namespace BrowserProfiles {
char* toString(const Profile& profile)
{
    return QTest::toString(QString(profile.directory + u'=' + profile.name));
}
} // namespace BrowserProfiles

namespace {

// Profiles written as "directory=name".
QList<Profile> listed(const QStringList& entries)
{
    QList<Profile> result;
    for (const QString& entry : entries)
        result.append({entry.section(u'=', 0, 0), entry.section(u'=', 1)});
    return result;
}

void writeLocalState(const QString& dataDirectory, const QByteArray& contents)
{
    QVERIFY(QDir().mkpath(dataDirectory));
    TestFiles::writeAtomicallyAsAnotherProgram(dataDirectory + u"/Local State"_s, contents);
}

void putLocalState(const QString& dataDirectory, const QString& fixture)
{
    writeLocalState(dataDirectory, TestFiles::read(TestFiles::dataPath(u"profiles/"_s + fixture)));
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
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<QString>("expected"); // "~" for HOME, "$" for XDG_CONFIG_HOME; empty: not supported

        QTest::newRow("native") << u"google-chrome"_s << u"$/google-chrome"_s;
        QTest::newRow("nested directory") << u"brave-browser-beta"_s << u"$/BraveSoftware/Brave-Browser-Beta"_s;
        QTest::newRow("second name, same data") << u"chromium-browser"_s << u"$/chromium"_s;
        QTest::newRow("flatpak") << u"com.google.Chrome"_s << u"~/.var/app/com.google.Chrome/config/google-chrome"_s;
        QTest::newRow("flatpak nested") << u"com.brave.Browser"_s
                                        << u"~/.var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser"_s;
        QTest::newRow("case differs") << u"Google-Chrome"_s << QString();
        QTest::newRow("flatpak ID in lower case") << u"com.google.chrome"_s << QString();
        QTest::newRow("file name, not ID") << u"google-chrome.desktop"_s << QString();
        QTest::newRow("not Chromium") << u"firefox-esr"_s << QString();
    }

    void userDataDirectory()
    {
        QFETCH(QString, bundleID);
        QFETCH(QString, expected);

        QCOMPARE(BrowserProfiles::supportsProfiles(bundleID), !expected.isEmpty());
        const std::optional<QString> directory = BrowserProfiles::userDataDirectory(bundleID);
        if (expected.isEmpty()) {
            QVERIFY(!directory);
            QVERIFY(BrowserProfiles::profiles(bundleID).isEmpty());
            return;
        }
        QVERIFY(directory);
        QCOMPARE(*directory, expected.replace(u'~', m_home).replace(u'$', m_config));
    }

    // A Flatpak entry pointing into another app's sandbox would read a different browser's profiles.
    void profiles_data()
    {
        QTest::addColumn<QString>("fixture"); // empty: no "Local State" at all
        QTest::addColumn<QList<Profile>>("expected");

        QTest::newRow("real Local State, by name") << u"chrome_local_state.json"_s
                                                   << listed({u"Default=Person 1"_s, u"Profile 3=profile 9"_s,
                                                              u"Profile 10=Profile 10"_s, u"Profile 2=Work"_s});
        QTest::newRow("odd records") << u"odd_records.json"_s
                                     << listed({u"Profile 7="_s, u"Default=Person 1"_s, u"Profile 5=Profile 5"_s,
                                                u"Profile 6=Profile 6"_s});
        QTest::newRow("missing file") << QString() << QList<Profile>();
        QTest::newRow("empty file") << u"empty.json"_s << QList<Profile>();
        QTest::newRow("cut off while written") << u"truncated.json"_s << QList<Profile>();
        QTest::newRow("top level is an array") << u"top_level_array.json"_s << QList<Profile>();
        QTest::newRow("profile is not an object") << u"profile_not_object.json"_s << QList<Profile>();
        QTest::newRow("info_cache is an array") << u"info_cache_array.json"_s << QList<Profile>();
    }

    void profiles()
    {
        QFETCH(QString, fixture);
        QFETCH(QList<Profile>, expected);

        if (!fixture.isEmpty())
            putLocalState(m_config + u"/google-chrome"_s, fixture);
        QCOMPARE(BrowserProfiles::profiles(u"google-chrome"_s), expected);
    }

    void nativeBrowserFollowsConfigHome()
    {
        const QString elsewhere = m_sandbox->filePath(u"elsewhere"_s);
        putLocalState(elsewhere + u"/microsoft-edge"_s, u"chrome_local_state.json"_s);
        putLocalState(m_home + u"/.config/microsoft-edge"_s, u"odd_records.json"_s);

        QVERIFY(BrowserProfiles::profiles(u"microsoft-edge"_s).isEmpty());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(elsewhere));
        QCOMPARE(BrowserProfiles::profileName(u"Profile 2"_s, u"microsoft-edge"_s), u"Work"_s);
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(BrowserProfiles::profileName(u"Profile 5"_s, u"microsoft-edge"_s), u"Profile 5"_s);
        QCOMPARE(BrowserProfiles::profileName(u"Default"_s, u"microsoft-edge"_s), u"Person 1"_s);
    }

    void profileName_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<QString>("expected");

        QTest::newRow("listed") << u"Profile 2"_s << u"google-chrome"_s << u"Work"_s;
        QTest::newRow("deleted profile") << u"Profile 4"_s << u"google-chrome"_s << u"Profile 4"_s;
        QTest::newRow("directory in other case") << u"default"_s << u"google-chrome"_s << u"default"_s;
        QTest::newRow("browser without profiles") << u"Profile 2"_s << u"firefox-esr"_s << u"Profile 2"_s;
    }

    void profileName()
    {
        QFETCH(QString, directory);
        QFETCH(QString, bundleID);
        QFETCH(QString, expected);

        putLocalState(m_config + u"/google-chrome"_s, u"chrome_local_state.json"_s);
        QCOMPARE(BrowserProfiles::profileName(directory, bundleID), expected);
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
