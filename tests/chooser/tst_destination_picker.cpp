#include "chooser/destination_menu_items.h"
#include "chooser/destination_picker.h"
#include "support/fake_platform.h"
#include "support/test_files.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The menu as lines: "-" for a separator, "<text> >" for a submenu followed by its items indented, "*" after
// an item with an icon.
QStringList describe(const QMenu& menu, const QString& indent = QString())
{
    QStringList lines;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            lines.append(indent + u'-');
            continue;
        }
        // iconText() drops mnemonic markers the way the menu shows the text.
        QString line = indent + action->iconText() + (action->icon().isNull() ? u""_s : u"*"_s);
        if (action->menu()) {
            lines.append(line + u" >"_s);
            lines += describe(*action->menu(), indent + u"  "_s);
        } else {
            lines.append(line);
        }
    }
    return lines;
}

// The action at a path of texts, each one level deeper into submenus.
QAction* actionAt(const QMenu& menu, const QStringList& path)
{
    const QMenu* level = &menu;
    QAction* found = nullptr;
    for (const QString& text : path) {
        found = nullptr;
        for (QAction* action : level->actions()) {
            if (!action->isSeparator() && action->iconText() == text)
                found = action;
        }
        if (!found)
            return nullptr;
        level = found->menu();
    }
    return found;
}

QString title(const DestinationPicker& picker)
{
    return picker.findChild<QPushButton*>()->text();
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

        const QString iconPath = m_sandbox->filePath(u"browser.png"_s);
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(iconPath));

        // In the system's order, not by name.
        m_catalog.browsers = {fakeEntry(u"org.mozilla.firefox"_s, u"Firefox"_s),
                              fakeEntry(u"google-chrome"_s, u"Google Chrome"_s),
                              fakeEntry(u"Org.Gnome.Epiphany"_s, u"Epiphany"_s)};
        for (DesktopEntry& entry : m_catalog.browsers)
            entry.icon = iconPath;
        Browsers::setCatalog(&m_catalog);
    }

    void cleanup() { Browsers::setCatalog(nullptr); }

    void menuItemsFollowTheGivenListAndPickDirectories()
    {
        QList<Destination> picks;
        const DestinationMenuItems items{
            {{u"zz.Tor"_s, u"Tor & Co"_s, {}},
             {u"google-chrome"_s, u"Google Chrome"_s, {}},
             {u"Org.Gnome.Epiphany"_s, u"Epiphany"_s, {}}},
            {{u"google-chrome"_s, {{u"Profile 3"_s, u"Home"_s}, {u"Profile 1"_s, u"Work"_s}}},
             {u"Org.Gnome.Epiphany"_s, {}}},
            [&](const Destination& destination) { picks.append(destination); }};
        QMenu menu;
        items.addTo(menu);

        // The ask item's icon depends on the icon theme, which the test platform lacks.
        QStringList lines = describe(menu);
        lines[0].remove(u'*');
        QCOMPARE(lines, QStringList({u"Ask every time"_s, u"-"_s, u"Tor & Co"_s, u"Google Chrome* >"_s,
                                     u"  Whichever it opens"_s, u"  -"_s, u"  Home"_s, u"  Work"_s, u"Epiphany*"_s}));

        for (const QStringList& path : {QStringList{u"Ask every time"_s}, QStringList{u"Tor & Co"_s},
                                        QStringList{u"Google Chrome"_s, u"Whichever it opens"_s},
                                        QStringList{u"Google Chrome"_s, u"Work"_s}, QStringList{u"Epiphany"_s}}) {
            QAction* action = actionAt(menu, path);
            QVERIFY2(action, qPrintable(path.join(u" > "_s)));
            action->trigger();
        }
        QCOMPARE(picks, QList<Destination>({Destination::ask(), Destination::browser(u"zz.Tor"_s),
                                            Destination::browser(u"google-chrome"_s),
                                            Destination::browser(u"google-chrome"_s, u"Profile 1"_s),
                                            Destination::browser(u"Org.Gnome.Epiphany"_s)}));
    }

    void titles_data()
    {
        QTest::addColumn<Destination>("destination");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("hasIcon");

        QTest::newRow("browser") << Destination::browser(u"google-chrome"_s) << u"Google Chrome"_s << true;
        QTest::newRow("profile by its name")
            << Destination::browser(u"google-chrome"_s, u"Default"_s) << u"Google Chrome — Zed"_s << true;
        QTest::newRow("vanished profile")
            << Destination::browser(u"google-chrome"_s, u"Profile 7"_s) << u"Google Chrome — Profile 7"_s << true;
        QTest::newRow("uninstalled browser") << Destination::browser(u"com.example.Gone"_s) << u"Gone"_s << false;
        QTest::newRow("uninstalled with profile")
            << Destination::browser(u"com.example.Gone"_s, u"Default"_s) << u"Gone — Default"_s << false;
    }

    void titles()
    {
        QFETCH(Destination, destination);
        QFETCH(QString, title);
        QFETCH(bool, hasIcon);

        DestinationPicker picker;
        QCOMPARE(::title(picker), u"Ask every time"_s);
        picker.setDestination(destination);
        QCOMPARE(picker.destination(), destination);
        QCOMPARE(::title(picker), title);
        QCOMPARE(!picker.findChild<QPushButton*>()->icon().isNull(), hasIcon);
        QVERIFY(!picker.grab().isNull()); // paints the title in its two colours
    }

    // A stale destination stays until the user picks: it is not listed, and choosing a profile replaces it.
    void pickingReplacesAStaleDestination()
    {
        DestinationPicker picker(u"Open in"_s);
        const Destination gone = Destination::browser(u"com.example.Gone"_s);
        picker.setDestination(gone);
        QSignalSpy changes(&picker, &DestinationPicker::destinationChanged);
        picker.show();

        QStringList lines = describe(*picker.menu());
        lines[0].remove(u'*');
        QCOMPARE(lines, QStringList({u"Ask every time"_s, u"-"_s, u"Epiphany*"_s, u"Firefox*"_s, u"Google Chrome* >"_s,
                                     u"  Whichever it opens"_s, u"  -"_s, u"  Alex"_s, u"  Zed"_s}));
        QCOMPARE(picker.destination(), gone);
        QCOMPARE(changes.count(), 0);

        actionAt(*picker.menu(), {u"Google Chrome"_s, u"Zed"_s})->trigger();
        const Destination chosen = Destination::browser(u"google-chrome"_s, u"Default"_s);
        QCOMPARE(picker.destination(), chosen);
        QCOMPARE(::title(picker), u"Google Chrome — Zed"_s);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).value<Destination>(), chosen);

        // Choosing what is already there is no change to write back.
        actionAt(*picker.menu(), {u"Google Chrome"_s, u"Zed"_s})->trigger();
        QCOMPARE(changes.count(), 1);
        picker.setDestination(Destination::ask());
        QCOMPARE(changes.count(), 1);
    }

    // The lists are read when the picker is shown and kept while it stays on screen.
    void refillsOnlyWhenShownAgain()
    {
        DestinationPicker picker;
        QVERIFY(actionAt(*picker.menu(), {u"Google Chrome"_s, u"Alex"_s})); // used before ever being shown
        picker.show();
        QVERIFY(QFile::remove(m_localState));
        QVERIFY(actionAt(*picker.menu(), {u"Google Chrome"_s, u"Alex"_s}));

        picker.hide();
        picker.show();
        QAction* chrome = actionAt(*picker.menu(), {u"Google Chrome"_s});
        QVERIFY(chrome);
        QVERIFY(!chrome->menu());
        QCOMPARE(picker.menu()->findChildren<QMenu*>().size(), 0);
        chrome->trigger();
        QCOMPARE(picker.destination(), Destination::browser(u"google-chrome"_s));
    }

    void labelIsLeftOutWhenEmpty()
    {
        DestinationPicker picker;
        picker.show();
        auto* label = picker.findChild<QLabel*>();
        QVERIFY(!label->isVisible());
        QVERIFY(picker.findChild<QPushButton*>()->isVisible());

        picker.setLabel(u"Everything else:"_s);
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), u"Everything else:"_s);
    }

private:
    std::optional<QTemporaryDir> m_sandbox;
    QString m_localState;
    FakeApplicationCatalog m_catalog;
};

QTEST_MAIN(DestinationPickerTest)
#include "tst_destination_picker.moc"
