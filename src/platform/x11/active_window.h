#pragma once

#include <QString>

#include <optional>

class ApplicationCatalog;

// The application of the window the user is working in, as a desktop file ID without ".desktop": the best guess
// at where a link came from when its caller cannot be told from /proc. Only on X11, where any client may read
// which window is active; elsewhere, and for Linkherd's own windows, nothing. A few X round trips, no waiting.
std::optional<QString> activeWindowApplication(ApplicationCatalog& catalog);
