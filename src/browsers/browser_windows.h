#pragma once

#include "platform/desktop_entry.h"
#include "routing/destination.h"

#include <QString>
#include <QStringList>

#include <optional>

// Opening a link in a new or a private window. A browser says how in its desktop entry's new-window and
// new-private-window actions; one that does not is known by its family's options (Firefox --private-window,
// Chromium --incognito, …).
namespace BrowserWindows {

// The options that open the link, placed before it, in that window; empty for the usual one, absent when the
// browser cannot.
std::optional<QStringList> windowOptions(const DesktopEntry& entry, Destination::Window window);

// Whether the installed browser can open a link in that window (the usual one: always).
bool canOpen(const QString& desktopID, Destination::Window window);

// "a new window", "a private window", as in "Firefox cannot open links in a private window".
QString windowWording(Destination::Window window);
// "Usual window", "New window", "Private window": a choice in a list.
QString windowChoice(Destination::Window window);
// "new window", "private window": after a destination ("Firefox — Work, private window"); empty for the usual.
QString windowSuffix(Destination::Window window);

} // namespace BrowserWindows
