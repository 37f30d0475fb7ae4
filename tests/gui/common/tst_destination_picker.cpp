#include "browsers/browsers.h"
#include "gui/common/destination_picker.h"
#include "support/fakes/fake_platform.h"
#include "support/gui/widgets.h"
#include "support/test_files.h"

#include <QAccessible>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

QPushButton* button(const DestinationPicker& picker)
{
    return picker.findChild<QPushButton*>();
}

} // namespace

class DestinationPickerTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Chrome's profiles are named so that sorting by name and by directory disagree, and neither name is a
    // directory: an item showing or storing the wrong one shows.
    void init()
    {
        QVERIFY(m_sandbox.emplace().isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_sandbox->filePath(u"config"_s)));
        m_localState = m_sandbox->filePath(u"config/google-chrome/Local State"_s);
        QVERIFY(QDir().mkpath(m_sandbox->filePath(u"config/google-chrome"_s)));
        TestFiles::write(m_localState, R"({"profile": {"info_cache": {
            "Default": {"name": "Zed"}, "Profile 1": {"name": "Alex"}}}})");
        // The Flatpak Firefox's profiles, listed as Chrome's are.
        qputenv("HOME", QFile::encodeName(m_sandbox->path()));
        const QString firefoxRoot = m_sandbox->filePath(u".var/app/org.mozilla.firefox/.mozilla/firefox"_s);
        QVERIFY(QDir().mkpath(firefoxRoot));
        TestFiles::write(firefoxRoot + u"/profiles.ini"_s, "[Profile0]\nName=Work\nIsRelative=1\nPath=w.Work\n"
                                                           "[Profile1]\nName=Home\nIsRelative=1\nPath=h.Home\n");

        const QString iconPath = m_sandbox->filePath(u"browser.png"_s);
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(iconPath));

        // In the system's order, not by name.
        m_catalog.browsers = {fakeEntry(u"org.example.Tor"_s, u"Tor & Co"_s),
                              fakeEntry(u"google-chrome"_s, u"Google Chrome"_s),
                              fakeEntry(u"org.mozilla.firefox"_s, u"Firefox"_s)};
        m_catalog.browsers[1].icon = iconPath;
        Browsers::setCatalog(&m_catalog);
    }

    void cleanup() { Browsers::setCatalog(nullptr); }

    // The title names the browser and profile; the label shows once there is one.
    void titles()
    {
        DestinationPicker picker;
        picker.show();
        auto* label = picker.findChild<QLabel*>();
        QVERIFY(!label->isVisible());
        picker.setLabel(u"Everything else:"_s);
        QVERIFY(label->isVisible());
        picker.setDestination(Destination::browser(u"google-chrome"_s, u"Default"_s));
        QCOMPARE(button(picker)->text(), u"Google Chrome — Zed"_s);
        QVERIFY(!button(picker)->icon().isNull());
        QVERIFY(!picker.grab().isNull()); // paints the title in its two colours
        // A vanished profile reads as its directory, an uninstalled browser as a name made from its identifier.
        picker.setDestination(Destination::browser(u"google-chrome"_s, u"Profile 7"_s));
        QCOMPARE(button(picker)->text(), u"Google Chrome — Profile 7"_s);
        picker.setDestination(Destination::browser(u"com.example.Gone"_s));
        QCOMPARE(button(picker)->text(), u"Gone"_s);
        QVERIFY(button(picker)->icon().isNull());
    }

    // A stale destination stays until the user picks: it is not listed, and choosing a profile replaces it.
    void pickingReplacesAStaleDestination()
    {
        DestinationPicker picker(u"Open in"_s);
        const Destination gone = Destination::browser(u"com.example.Gone"_s);
        picker.setDestination(gone);
        QSignalSpy changes(&picker, &DestinationPicker::destinationChanged);
        picker.show();
        QCOMPARE(Widgets::menuLines(*picker.menu(), true),
                 QStringList({u"Ask every time"_s, u"-"_s, u"▸ Firefox"_s, u"  Whichever it opens"_s, u"  -"_s,
                              u"  Home"_s, u"  Work"_s, u"▸ Google Chrome"_s, u"  Whichever it opens"_s, u"  -"_s,
                              u"  Alex"_s, u"  Zed"_s, u"Tor && Co"_s}));
        QCOMPARE(picker.destination(), gone);
        QCOMPARE(changes.count(), 0);

        QAction* zed = picker.menu()->actions()[3]->menu()->actions()[3];
        zed->trigger();
        const Destination chosen = Destination::browser(u"google-chrome"_s, u"Default"_s);
        QCOMPARE(picker.destination(), chosen);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).value<Destination>(), chosen);
        // Choosing what is already there is no change to write back.
        zed->trigger();
        picker.setDestination(Destination::ask());
        QCOMPARE(changes.count(), 1);
        // A Firefox profile is stored by its path and shown by its name.
        picker.menu()->actions()[2]->menu()->actions()[3]->trigger();
        QCOMPARE(picker.destination(), Destination::browser(u"org.mozilla.firefox"_s, u"w.Work"_s));
        QCOMPARE(button(picker)->text(), u"Firefox — Work"_s);
    }

    // The lists are read when the picker is shown and kept while it stays on screen.
    void withoutLocalStateABrowserIsAPlainItem()
    {
        DestinationPicker picker;
        picker.show();
        QVERIFY(QFile::remove(m_localState));
        QCOMPARE(Widgets::menuLines(*picker.menu(), true).size(), 13);
        picker.hide();
        picker.show();
        QCOMPARE(Widgets::menuLines(*picker.menu(), true).mid(7), QStringList({u"Google Chrome"_s, u"Tor && Co"_s}));
        picker.menu()->actions()[3]->trigger();
        QCOMPARE(picker.destination(), Destination::browser(u"google-chrome"_s));
    }

    // A screen reader's Press opens the menu and is answered at once: no event loop of the menu's own holds it.
    void pressOpensTheMenuWithoutWaiting()
    {
        DestinationPicker picker(u"Open in"_s);
        picker.show();
        QMenu* menu = picker.menu();
        bool pressReturned = false, openedInsidePress = false;
        QTimer::singleShot(0, menu, [&] {
            openedInsidePress = !pressReturned && menu->isVisible();
            if (openedInsidePress)
                menu->hide();
        });
        QAccessible::queryAccessibleInterface(button(picker))
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
        pressReturned = true;
        QVERIFY(!openedInsidePress);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
    }

private:
    std::optional<QTemporaryDir> m_sandbox;
    QString m_localState;
    FakeApplicationCatalog m_catalog;
};

QTEST_MAIN(DestinationPickerTest)
#include "tst_destination_picker.moc"
