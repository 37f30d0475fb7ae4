#include "browser_windows.h"

#include "browser_profiles.h"
#include "browsers.h"

using namespace Qt::StringLiterals;

namespace BrowserWindows {

namespace {

bool isFieldCode(const QString& argument)
{
    return argument.size() == 2 && argument.front() == u'%' && argument != u"%%"_s;
}

QStringList withoutFieldCodes(const QStringList& arguments)
{
    QStringList result;
    for (const QString& argument : arguments) {
        if (!isFieldCode(argument))
            result.append(argument);
    }
    return result;
}

// What the action's command adds to the entry's own, in the action's order: its window options. Absent when the
// action runs something else (not every argument of the entry's command is in it), so the options cannot be
// combined with the entry's command (a profile, the link).
std::optional<QStringList> addedArguments(const QStringList& entryExec, const QStringList& actionExec)
{
    QStringList added = withoutFieldCodes(actionExec);
    if (added.isEmpty())
        return std::nullopt;
    for (const QString& argument : withoutFieldCodes(entryExec)) {
        if (!added.removeOne(argument))
            return std::nullopt;
    }
    return added.isEmpty() ? std::nullopt : std::optional<QStringList>(added);
}

// The family's options, for a browser whose entry has no action for the window.
std::optional<QStringList> familyOptions(const QString& desktopID, Destination::Window window)
{
    const bool isPrivate = window == Destination::Window::privateWindow;
    switch (BrowserProfiles::family(desktopID)) {
    case BrowserProfiles::Family::firefox:
        return QStringList{isPrivate ? u"--private-window"_s : u"--new-window"_s};
    case BrowserProfiles::Family::chromium:
        if (!isPrivate)
            return QStringList{u"--new-window"_s};
        if (desktopID.startsWith(u"microsoft-edge"_s) || desktopID == u"com.microsoft.Edge"_s)
            return QStringList{u"--inprivate"_s};
        if (desktopID == u"opera"_s || desktopID == u"com.opera.Opera"_s)
            return QStringList{u"--private"_s};
        return QStringList{u"--incognito"_s};
    case BrowserProfiles::Family::none:
        break;
    }
    // GNOME Web (epiphany --help) and Falkon (falkon --help).
    if (desktopID == u"org.gnome.Epiphany"_s || desktopID == u"epiphany"_s)
        return QStringList{isPrivate ? u"--incognito-mode"_s : u"--new-window"_s};
    if (desktopID == u"org.kde.falkon"_s || desktopID == u"falkon"_s)
        return QStringList{isPrivate ? u"--private-browsing"_s : u"--new-window"_s};
    return std::nullopt;
}

} // namespace

std::optional<QStringList> windowOptions(const DesktopEntry& entry, Destination::Window window)
{
    if (window == Destination::Window::usual)
        return QStringList();
    const QStringList& actionExec =
        window == Destination::Window::privateWindow ? entry.privateWindowExec : entry.newWindowExec;
    if (std::optional<QStringList> fromAction = addedArguments(entry.exec, actionExec))
        return fromAction;
    return familyOptions(entry.id, window);
}

bool canOpen(const QString& desktopID, Destination::Window window)
{
    if (window == Destination::Window::usual)
        return true;
    const std::optional<DesktopEntry> entry = Browsers::desktopEntry(desktopID);
    return entry && windowOptions(*entry, window).has_value();
}

QString windowWording(Destination::Window window)
{
    switch (window) {
    case Destination::Window::usual:
        return u"its usual window"_s;
    case Destination::Window::newWindow:
        return u"a new window"_s;
    case Destination::Window::privateWindow:
        return u"a private window"_s;
    }
    return QString();
}

QString windowChoice(Destination::Window window)
{
    switch (window) {
    case Destination::Window::usual:
        return u"Usual window"_s;
    case Destination::Window::newWindow:
        return u"New window"_s;
    case Destination::Window::privateWindow:
        return u"Private window"_s;
    }
    return QString();
}

QString windowSuffix(Destination::Window window)
{
    return window == Destination::Window::usual ? QString() : windowChoice(window).toLower();
}

} // namespace BrowserWindows
