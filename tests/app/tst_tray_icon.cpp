#include "app/app_services.h"
#include "app/tray_icon.h"
#include "services/preferences.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The tray icon on a desktop whose icon theme knows nothing of Linkherd (an install the theme cache missed, an
// icon only in SVG and no SVG plugin): it must never be blank.
class TrayIconTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(u"config"_s)));
        QIcon::setThemeSearchPaths({m_home.filePath(u"icons"_s)});
        QIcon::setFallbackSearchPaths({});
        QIcon::setThemeName(u"hicolor"_s);
    }

    void iconShowsWithoutATheme()
    {
        const QIcon icon = TrayIcon::applicationIcon();
        QVERIFY(!icon.isNull());
        for (const int size : {16, 22, 24, 32, 48}) {
            const QImage image = icon.pixmap(size).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            // Not a transparent square: the middle of the icon is drawn.
            QVERIFY(qAlpha(image.pixel(size / 2, size / 2)) > 0);
        }
        // A panel finds the icon by name in the folder the tray item names, here the source tree's.
        QVERIFY(QFile::exists(TrayIcon::iconThemePath() + u"/hicolor/22x22/apps/org.linkherd.Linkherd.png"_s));
    }

    void leftClickOpensTheMenuAndTheSettingShowsTheIcon()
    {
        Preferences preferences(m_home.filePath(u"preferences.ini"_s));
        Result<std::unique_ptr<AppServices>> services = AppServices::create(preferences);
        QVERIFY(services);
        TrayIcon tray(*services.value(), TrayHost::Kind::XEmbed);
        auto* icon = tray.findChild<QSystemTrayIcon*>();
        QVERIFY(icon);
        QVERIFY(!icon->icon().isNull());
        QMenu* menu = icon->contextMenu();
        QVERIFY(menu);
        QVERIFY(!menu->isVisible());
        Q_EMIT icon->activated(QSystemTrayIcon::Trigger);
        QTRY_VERIFY(menu->isVisible());
        // The settings window switches the icon off and on while Linkherd runs.
        QVERIFY(icon->isVisible());
        preferences.setShowsTrayIcon(false);
        QVERIFY(!icon->isVisible());
        preferences.setShowsTrayIcon(true);
        QVERIFY(icon->isVisible());
    }

private:
    QTemporaryDir m_home;
};

QTEST_MAIN(TrayIconTest)
#include "tst_tray_icon.moc"
