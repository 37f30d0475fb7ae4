#pragma once

#include <QIcon>
#include <QString>

// The installed applications' icons as the windows draw them, made from the Icon of their desktop entries
// (Browsers::iconName: an absolute path or a theme name) and kept until Browsers forgets what it discovered
// (applications installed or removed, or invalidated). Main thread only.
namespace BrowserIcons {

// The application's icon; null when it is not installed or has none.
QIcon icon(const QString& desktopID);
// The icon at size × size, cached by "<desktopID>@<size with one decimal>".
QIcon icon(const QString& desktopID, double size);

} // namespace BrowserIcons
