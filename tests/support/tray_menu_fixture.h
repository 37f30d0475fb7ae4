#pragma once

#include "browsers/system_browser_launcher.h"
#include "services/tray_menu_model.h"
#include "support/gui/window_fixture.h"

#include <QImage>
#include <QTest>

#include <algorithm>
#include <optional>

// The tray menu's model over the fakes, for its own suite and its renderers': Firefox (a theme icon), Chromium (an
// icon file) and "Tor & Co" (no icon) installed, Firefox the system's default, links launched through the fake
// launcher, each command recording its name and the input time it got. A suite makes one per test.
struct TrayMenuFixture {
    TrayMenuFixture()
    {
        desktop.catalog.browsers[0].icon = QStringLiteral("firefox");
        desktop.catalog.browsers[1].icon = desktop.filePath(QStringLiteral("chromium.png"));
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::blue);
        image.save(desktop.catalog.browsers[1].icon);
        desktop.catalog.defaultBrowser = desktop.catalog.browsers.front();
    }

    TrayMenuModel& makeModel()
    {
        const auto record = [this](const char* name) {
            return [this, name](quint32 time) {
                ran.append(QStringLiteral("%1 %2").arg(QLatin1StringView(name)).arg(time));
            };
        };
        model.emplace(router, desktop.preferences, desktop.defaultBrowser,
                      TrayMenuModel::Commands{record("rules"), record("settings"), record("feedback"), record("quit")});
        return *model;
    }

    WindowFixture desktop{{fakeEntry(QStringLiteral("firefox"), QStringLiteral("Firefox")),
                           fakeEntry(QStringLiteral("chromium"), QStringLiteral("Chromium")),
                           fakeEntry(QStringLiteral("torco"), QStringLiteral("Tor & Co"))},
                          {fakeEntry(QStringLiteral("org.linkherd.Linkherd"), QStringLiteral("Linkherd"))}};
    FakeApplicationLauncher opener;
    SystemBrowserLauncher launcher{desktop.catalog, opener};
    Router router{desktop.store, desktop.preferences, launcher};
    QStringList ran; // "rules 4242": the commands run, with their input time
    std::optional<TrayMenuModel> model;
};

// The entries as they read, as Widgets::menuLines reads a QMenu, with the icon in braces and " (off)" after a
// disabled line.
inline QStringList trayMenuLines(const QList<TrayMenuEntry>& entries)
{
    QStringList lines;
    for (const TrayMenuEntry& entry : entries) {
        QString line = entry.separator ? QStringLiteral("-") : entry.text;
        if (!entry.children.isEmpty())
            line.prepend(QStringLiteral("▸ "));
        if (!entry.shortcut.isEmpty())
            line += QStringLiteral(" [") + entry.shortcut + u']';
        if (!entry.icon.isEmpty())
            line += QStringLiteral(" {") + entry.icon + u'}';
        lines.append(entry.enabled ? line : line + QStringLiteral(" (off)"));
    }
    return lines;
}

// The entry of this text; the running test fails when there is none.
inline TrayMenuEntry trayMenuEntry(const QList<TrayMenuEntry>& entries, const QString& text)
{
    const auto found =
        std::find_if(entries.cbegin(), entries.cend(), [&](const TrayMenuEntry& entry) { return entry.text == text; });
    if (found != entries.cend())
        return *found;
    QTest::qFail(qPrintable(QStringLiteral("no entry \"%1\"").arg(text)), __FILE__, __LINE__);
    TrayMenuEntry none;
    none.activated = [](quint32) {};
    return none;
}
