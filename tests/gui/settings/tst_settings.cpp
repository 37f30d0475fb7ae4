#include "gui/common/message_box.h"
#include "gui/settings/automation_settings.h"
#include "gui/settings/chooser_settings.h"
#include "gui/settings/general_settings.h"
#include "gui/settings/link_settings.h"
#include "gui/settings/settings_window_controller.h"
#include "services/router.h"
#include "support/fakes/recording_launcher.h"
#include "support/gui/widgets.h"
#include "support/gui/window_fixture.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

QStringList namesShown(const ChooserSettings& settings)
{
    QStringList names;
    for (const Browsers::Browser& browser : settings.model()->browsers())
        names.append(browser.name);
    return names;
}

} // namespace

class SettingsTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_desktop.emplace(QList{fakeEntry(u"org.c"_s, u"Cherry"_s), fakeEntry(u"org.a"_s, u"Apple"_s),
                                fakeEntry(u"org.b"_s, u"Banana"_s)});
        QVERIFY(m_desktop->folder.isValid());
        m_router = std::make_unique<Router>(m_desktop->store, m_desktop->preferences, m_launcher);
        m_menuEntryCalls.clear();
        m_menuEntryError.clear();
        m_menuEntryShown = false;
        MessageBox::reset();
    }

    void cleanup()
    {
        m_router.reset();
        m_desktop.reset();
    }

    // The last way into Linkherd cannot be switched off; a failed change of the launcher entry keeps the
    // stored state and says why; a change made outside shows when the window refreshes.
    void showLinkherdInLocksTheLastWayIn()
    {
        const std::unique_ptr<GeneralSettings> general = makeGeneral();
        QCheckBox& tray = *general->trayToggle();
        QCheckBox& menu = *general->applicationMenuToggle();
        QVERIFY(tray.isChecked() && !tray.isEnabled());
        QVERIFY(!menu.isChecked() && menu.isEnabled());

        menu.click();
        QCOMPARE(m_menuEntryCalls, QList<bool>{true});
        QVERIFY(m_desktop->preferences.showsApplicationMenuEntry());
        QVERIFY(tray.isEnabled() && menu.isEnabled());
        tray.click();
        QVERIFY(!m_desktop->preferences.showsTrayIcon());
        QVERIFY(menu.isChecked() && !menu.isEnabled());

        tray.click();
        m_menuEntryError = u"read-only folder"_s;
        MessageBox::setNextAnswer(0);
        menu.click();
        QCOMPARE(m_menuEntryCalls, (QList<bool>{true, false}));
        QVERIFY(m_desktop->preferences.showsApplicationMenuEntry());
        QVERIFY(menu.isChecked());
        QVERIFY(MessageBox::lastShown() && MessageBox::lastShown()->informativeText == u"read-only folder"_s);

        // A reinstall lists the hidden entry again: back in the window, the switch says what the desktop does.
        m_menuEntryError.clear();
        menu.click();
        QVERIFY(!menu.isChecked() && !m_desktop->preferences.showsApplicationMenuEntry());
        m_menuEntryShown = true;
        general->refresh();
        QVERIFY(menu.isChecked());
        QVERIFY(m_desktop->preferences.showsApplicationMenuEntry());
    }

    void recentLinksSettings()
    {
        const std::unique_ptr<GeneralSettings> general = makeGeneral();
        general->recentCountPicker()->setCurrentIndex(0);
        Q_EMIT general->recentCountPicker()->activated(0);
        QCOMPARE(m_desktop->preferences.recentLinkCount(), 0);

        m_router->remember({QUuid::createUuid(), u"https://example.com/"_s, u"org.a"_s, {}, {}});
        QCOMPARE(m_router->recent().size(), 1);
        general->rememberToggle()->click();
        QVERIFY(!m_desktop->preferences.remembersRecentLinks());
        QVERIFY(m_router->recent().isEmpty());
        QVERIFY(!general->recentCountPicker()->isEnabled());
    }

    // The switch shows what the desktop will do after the change, not what was asked for.
    void openAtLoginFollowsTheDesktop()
    {
        m_desktop->autostart.current = AutostartEntry::Status::enabled;
        m_desktop->autostart.disableError = u"read-only"_s;
        const std::unique_ptr<GeneralSettings> general = makeGeneral();
        QVERIFY(general->loginToggle()->isChecked());
        general->loginToggle()->click();
        QVERIFY(general->loginToggle()->isChecked());
        QVERIFY(!m_desktop->preferences.launchesAtLogin());
    }

    void installCommandAndConfiguration()
    {
        const QString tool = u"/opt/Link Herd/bin/linkherd"_s;
        AutomationSettings automation(tool);
        QVERIFY(!automation.copiedLabel()->isVisibleTo(&automation));
        automation.button(u"Copy Install Command"_s)->click();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 u"sudo ln -sf \"/opt/Link Herd/bin/linkherd\" /usr/local/bin/linkherd"_s);
        QCOMPARE(automation.copiedLabel()->accessibleName(), u"Copied the install command."_s);
        automation.button(u"Copy MCP Configuration"_s)->click();
        QCOMPARE(QGuiApplication::clipboard()->text().toUtf8(),
                 "{\n  \"mcpServers\": {\n    \"linkherd\": {\n      \"command\": \"/opt/Link Herd/bin/linkherd\",\n"
                 "      \"args\": [\"mcp\"]\n    }\n  }\n}"_ba);
        QCOMPARE(automation.copiedLabel()->accessibleName(), u"Copied the configuration."_s);

        const AutomationSettings withoutTool{QString()};
        QVERIFY(!withoutTool.button(u"Copy Path"_s) && !withoutTool.button(u"Copy MCP Configuration"_s));
        QVERIFY(withoutTool.button(u"Open Interface Browser…"_s));
    }

    void browserOrder()
    {
        ChooserSettings chooser(m_desktop->preferences);
        QCOMPARE(namesShown(chooser), (QStringList{u"Apple"_s, u"Banana"_s, u"Cherry"_s}));
        QVERIFY(!chooser.sortButton()->isEnabled());

        chooser.moveRows({2}, 0);
        QCOMPARE(m_desktop->preferences.browserOrder(), (QStringList{u"org.c"_s, u"org.a"_s, u"org.b"_s}));
        QCOMPARE(chooser.model()->index(0).data(BrowserOrderModel::shortcutHintRole), u"Ctrl+1"_s);
        QVERIFY(chooser.sortButton()->isEnabled());

        QSignalSpy changes(&m_desktop->preferences, &Preferences::browserOrderChanged);
        chooser.moveRows({1}, 1);
        chooser.moveRows({1}, 2);
        QCOMPARE(changes.size(), 0);
        chooser.moveRows({0}, 3);
        QCOMPARE(m_desktop->preferences.browserOrder(), (QStringList{u"org.a"_s, u"org.b"_s, u"org.c"_s}));

        // Installed later: last, until moved.
        m_desktop->catalog.browsers.append(fakeEntry(u"org.aa"_s, u"Aardvark"_s));
        Browsers::invalidate();
        chooser.refresh();
        QCOMPARE(namesShown(chooser).last(), u"Aardvark"_s);

        chooser.sortButton()->click();
        QVERIFY(m_desktop->preferences.browserOrder().isEmpty());
        QCOMPARE(namesShown(chooser).first(), u"Aardvark"_s);
        QVERIFY(!chooser.sortButton()->isEnabled());
    }

    // Whatever platform Qt runs on (here offscreen), a Wayland session is told that Alt is read through X11.
    void altNoteFollowsTheSession_data()
    {
        QTest::addColumn<QByteArray>("sessionType");
        QTest::addColumn<QByteArray>("waylandDisplay");
        QTest::addColumn<bool>("noted");
        QTest::newRow("X11") << "x11"_ba << QByteArray() << false;
        QTest::newRow("Wayland") << "wayland"_ba
                                 << "wayland-0"_ba << true;
        QTest::newRow("Wayland display only") << QByteArray() << "wayland-0"_ba << true;
    }

    void altNoteFollowsTheSession()
    {
        QFETCH(QByteArray, sessionType);
        QFETCH(QByteArray, waylandDisplay);
        const QByteArray savedType = qgetenv("XDG_SESSION_TYPE");
        const QByteArray savedDisplay = qgetenv("WAYLAND_DISPLAY");
        qputenv("XDG_SESSION_TYPE", sessionType);
        qputenv("WAYLAND_DISPLAY", waylandDisplay);
        const ChooserSettings chooser(m_desktop->preferences);
        qputenv("XDG_SESSION_TYPE", savedType);
        qputenv("WAYLAND_DISPLAY", savedDisplay);
        const QList<QLabel*> labels = chooser.findChildren<QLabel*>();
        QTEST(std::any_of(labels.begin(), labels.end(),
                          [](const QLabel* label) { return label->text().contains(u"while an X11 window"_s); }),
              "noted");
    }

    void parameterParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("blank lines, indents, CR LF")
            << u"\r\n  utm_*\t\r\n\r\n\tfbclid \r\ngclid"_s << QStringList{u"utm_*"_s, u"fbclid"_s, u"gclid"_s};
        QTest::newRow("every break") << u"a\vb\fc\rd\u0085e\u2028f\u2029g"_s
                                     << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s, u"g"_s};
        QTest::newRow("case and duplicates kept") << u"Ref\nref\nref"_s << QStringList{u"Ref"_s, u"ref"_s, u"ref"_s};
        QTest::newRow("inner spaces kept, others trimmed")
            << u"  a b  \n \u00a0"_s << QStringList{u"a b"_s, u"\u00a0"_s};
        QTest::newRow("empty") << QString() << QStringList();
    }

    void parameterParsing()
    {
        QFETCH(QString, text);
        QTEST(LinkSettings::parseParameters(text), "names");
    }

    void applyAndReset()
    {
        LinkSettings links(m_desktop->store);
        QVERIFY(!links.stripToggle()->isChecked());
        QVERIFY(!links.applyButton()->isEnabled() && !links.parameterEditor()->isEnabled());
        links.stripToggle()->click();
        QVERIFY(m_desktop->store.rewriter().stripsTrackingParameters);
        QVERIFY(links.applyButton()->isEnabled());

        links.parameterEditor()->setPlainText(u"\r\n  a \r\nb\r\n"_s);
        QCOMPARE(m_desktop->store.rewriter().parameters, LinkRewriter::defaultParameters());
        links.applyButton()->click();
        QCOMPARE(m_desktop->store.rewriter().parameters, (QStringList{u"a"_s, u"b"_s}));
        QCOMPARE(links.parameterEditor()->toPlainText(), u"a\nb"_s);

        links.parameterEditor()->clear();
        links.applyButton()->click();
        QVERIFY(m_desktop->store.rewriter().parameters.isEmpty());
        links.resetButton()->click();
        QCOMPARE(links.parameterEditor()->toPlainText(), LinkRewriter::defaultParameters().join(u'\n'));
        QCOMPARE(m_desktop->store.rewriter().parameters, LinkRewriter::defaultParameters());
        QVERIFY(!m_desktop->store.rewriter().unwrapsRedirects);
        links.unwrapToggle()->click();
        QVERIFY(m_desktop->store.rewriter().unwrapsRedirects);

        links.parameterEditor()->setPlainText(u"unapplied"_s);
        links.show();
        QCOMPARE(links.parameterEditor()->toPlainText(), LinkRewriter::defaultParameters().join(u'\n'));
    }

    // Every control a keyboard reaches says what it is (one window, raised on every show: see tst_rules_window).
    void oneWindowEveryControlNamed()
    {
        SettingsWindowController controller({m_desktop->preferences,
                                             m_desktop->store,
                                             m_desktop->defaultBrowser,
                                             m_desktop->autostart,
                                             {},
                                             {},
                                             u"/usr/bin/linkherd"_s,
                                             {},
                                             {}});
        controller.show();
        QWidget* window = controller.window();
        QTabWidget& tabs = *controller.tabs();
        for (int tab = 0; tab < tabs.count(); ++tab) {
            tabs.setCurrentIndex(tab);
            Widgets::verifyControlsNamed(*tabs.currentWidget(), *window, tabs.tabText(tab) + u": "_s);
        }
        // There are menu buttons, so the check of their opening on a screen reader's Press above has run.
        const QList<QToolButton*> buttons = window->findChildren<QToolButton*>();
        QVERIFY(std::any_of(buttons.begin(), buttons.end(), [](QToolButton* button) { return button->menu(); }));
    }

private:
    std::unique_ptr<GeneralSettings> makeGeneral()
    {
        return std::make_unique<GeneralSettings>(
            m_desktop->preferences, m_desktop->defaultBrowser, m_desktop->autostart,
            GeneralSettings::ApplicationMenuEntry{.isShown = [this] { return m_menuEntryShown; },
                                                  .setShown = [this](bool shown) { return setMenuEntryShown(shown); }});
    }

    // The launcher entry as the test has it: each call recorded, refused with m_menuEntryError when one is set.
    Result<void> setMenuEntryShown(bool shown)
    {
        m_menuEntryCalls.append(shown);
        if (!m_menuEntryError.isEmpty())
            return Failure{m_menuEntryError};
        m_menuEntryShown = shown;
        return {};
    }

    std::optional<WindowFixture> m_desktop;
    RecordingLauncher m_launcher;
    std::unique_ptr<Router> m_router;
    QList<bool> m_menuEntryCalls;
    QString m_menuEntryError;
    bool m_menuEntryShown = false;
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
