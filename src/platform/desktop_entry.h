#pragma once

#include <QString>
#include <QStringList>

// An installed application as its desktop entry describes it.
struct DesktopEntry final {
    QString id;             // the desktop file ID without ".desktop": how Linkherd names the application
    QString name;           // the localized Name; empty when the entry has none
    QString filePath;       // absolute path of the .desktop file: the application's location
    QString icon;           // Icon: a theme icon name or an absolute path; may be empty
    QStringList exec;       // Exec split into arguments, field codes (%U, …) still in place
    QString flatpakID;      // X-Flatpak: the Flatpak application ID, empty for native applications
    QString startupWMClass; // StartupWMClass: the WM_CLASS its windows carry, when it differs from the ID
    // The Exec of its [Desktop Action new-window] and [Desktop Action new-private-window], split as exec is;
    // empty when it has no such action. Read only for a single application (ApplicationCatalog::application).
    QStringList newWindowExec;
    QStringList privateWindowExec;

    friend bool operator==(const DesktopEntry&, const DesktopEntry&) = default;
};
