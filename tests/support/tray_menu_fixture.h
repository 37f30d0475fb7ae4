#pragma once

#include "browsers/system_browser_launcher.h"
#include "services/tray_menu_model.h"
#include "support/gui/window_fixture.h"

#include <QImage>

#include <algorithm>
#include <optional>

// The tray menu's model over the fakes, for its own suite and its renderers': Firefox (a theme icon), Chromium (an
// icon file) and "Tor & Co" (no icon) installed, Firefox the system's default, links launched through the fake
// launcher, the rules window's command recording the input time it got. A suite makes one per test.
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

    void remember(const QString& url, const QString& browser = QStringLiteral("firefox"))
    {
        router.remember({QUuid::createUuid(), url, browser, {}, {}});
    }

    TrayMenuModel& makeModel()
    {
        TrayMenuModel::Commands commands;
        commands.showRules = [this](quint32 time) { rulesShownAt.append(time); };
        return model.emplace(router, desktop.preferences, desktop.defaultBrowser, commands);
    }

    WindowFixture desktop{{fakeEntry(QStringLiteral("firefox"), QStringLiteral("Firefox")),
                           fakeEntry(QStringLiteral("chromium"), QStringLiteral("Chromium")),
                           fakeEntry(QStringLiteral("torco"), QStringLiteral("Tor & Co"))},
                          {fakeEntry(QStringLiteral("org.linkherd.Linkherd"), QStringLiteral("Linkherd"))}};
    FakeApplicationLauncher opener;
    SystemBrowserLauncher launcher{desktop.catalog, opener};
    Router router{desktop.store, desktop.preferences, launcher};
    QList<quint32> rulesShownAt; // the input time of each run of the rules window's command
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

// The entry of this text; without one, an entry whose command throws (a test's failure, to QtTest).
inline TrayMenuEntry trayMenuEntry(const QList<TrayMenuEntry>& entries, const QString& text)
{
    const auto found =
        std::find_if(entries.cbegin(), entries.cend(), [&](const TrayMenuEntry& entry) { return entry.text == text; });
    return found == entries.cend() ? TrayMenuEntry() : *found;
}
