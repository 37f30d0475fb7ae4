#include "proc_files.h"

#include "app_info.h"
#include "base/ascii_chars.h"

#include <QList>
#include <QStringDecoder>
#include <QUuid>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace ProcFiles {

namespace {

// systemd writes every byte of a name outside [A-Za-z0-9:_.] as \xNN, a non-ASCII character as the \xNN of each
// of its UTF-8 bytes. A name that is not escaped that way did not come from a launcher: nothing.
std::optional<QString> unescapeUnitName(QStringView escaped)
{
    QByteArray bytes;
    bytes.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QChar c = escaped[i];
        if (c.unicode() > 0x7f)
            return {};
        if (c != u'\\') {
            bytes.append(static_cast<char>(c.unicode()));
            continue;
        }
        if (escaped.size() - i < 4 || escaped[i + 1] != u'x')
            return {};
        const int high = hexDigitValue(escaped[i + 2]);
        const int low = hexDigitValue(escaped[i + 3]);
        if (high < 0 || low < 0)
            return {};
        bytes.append(static_cast<char>(high * 16 + low));
        i += 3;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString name = decoder(bytes);
    if (decoder.hasError())
        return {};
    return name;
}

// Launchers name an application's unit as https://systemd.io/DESKTOP_ENVIRONMENTS/ sets out:
//   app[-<launcher>]-<ApplicationID>[@<RANDOM>].service  (app-org.kde.konsole@1a2b.service, app-org.kde.amarok.service)
//   app[-<launcher>]-<ApplicationID>-<RANDOM>.scope      (app-gnome-firefox-5678.scope, app-org.kde.dolphin-<id>.scope)
// The ID is systemd-escaped ("-" is \x2d), so an unescaped "-" only ever separates parts: the last one of a scope is
// the random part, and when a dash is left, what comes before the first is the launcher (GNOME Shell "gnome",
// Flatpak "flatpak", KIO none). The ID is everything after the launcher, as xdg-desktop-portal reads it, so a
// launcher that forgets to escape still comes out right as long as it names itself. Besides these:
//   app-<ApplicationID>-autostart.service  systemd's autostart generator before v248 (now @autostart)
//   app-<ApplicationID>.slice              GNOME Terminal, whose shells run in vte-spawn-<uuid>.scope below it. Only
//                                          reverse-DNS names count: slice names nest with dashes, and
//                                          app-graphical.slice (uwsm) is no application.
std::optional<QString> applicationOfAppUnit(QStringView unit)
{
    QStringView body;
    if (unit.endsWith(u".scope")) {
        body = unit.chopped(6);
        const qsizetype random = body.lastIndexOf(u'-');
        if (random <= 0 || random == body.size() - 1)
            return {};
        body.truncate(random);
    } else if (unit.endsWith(u".service")) {
        body = unit.chopped(8);
        if (const qsizetype instance = body.indexOf(u'@'); instance >= 0)
            body.truncate(instance);
        else if (body.endsWith(u"-autostart"))
            body.chop(10);
    } else if (unit.endsWith(u".slice")) {
        body = unit.chopped(6);
        if (body.contains(u'-') || !body.contains(u'.'))
            return {};
    } else {
        return {};
    }
    const qsizetype launcherEnd = body.indexOf(u'-');
    return unescapeUnitName(launcherEnd < 0 ? body : body.sliced(launcherEnd + 1));
}

// dbus-broker runs an application it activates on the session bus in dbus-<unique name>-<bus name>@<n>.service,
// unescaped; the bus name of a D-Bus activatable application is its desktop ID.
std::optional<QString> applicationOfDBusUnit(QStringView unit)
{
    if (!unit.startsWith(u':') || !unit.endsWith(u".service"))
        return {};
    QStringView body = unit.chopped(8);
    if (const qsizetype instance = body.indexOf(u'@'); instance >= 0)
        body.truncate(instance);
    const qsizetype uniqueEnd = body.indexOf(u'-');
    if (uniqueEnd < 0 || !body.sliced(uniqueEnd + 1).contains(u'.'))
        return {};
    return body.sliced(uniqueEnd + 1).toString();
}

// snapd runs an application in snap.<snap>.<app>.<uuid>.scope (older releases: snap.<snap>.<app>-<uuid>.scope), a
// daemon in snap.<snap>.<app>.service; hooks (snap.<snap>.hook.<hook>…) are no applications. Snap and application
// names may hold dashes. The desktop file snapd installs is <snap>_<app>.desktop, with a parallel instance
// "<snap>_<key>" written "<snap>+<key>" there because "_" already separates the application.
std::optional<QString> applicationOfSnapUnit(QStringView unit)
{
    QStringView tag;
    if (unit.endsWith(u".service")) {
        tag = unit.chopped(8);
    } else if (unit.endsWith(u".scope")) {
        tag = unit.chopped(6);
        constexpr qsizetype uuidLength = 36;
        if (tag.size() > uuidLength + 1 && !QUuid::fromString(tag.last(uuidLength)).isNull() &&
            (tag[tag.size() - uuidLength - 1] == u'.' || tag[tag.size() - uuidLength - 1] == u'-'))
            tag.chop(uuidLength + 1);
    } else {
        return {};
    }
    const QList<QStringView> parts = tag.split(u'.');
    if (parts.size() != 2 || parts[0].isEmpty() || parts[1].isEmpty())
        return {};
    const std::optional<QString> snap = unescapeUnitName(parts[0]);
    const std::optional<QString> app = unescapeUnitName(parts[1]);
    if (!snap || !app)
        return {};
    return QString(*snap).replace(u'_', u'+') + u'_' + *app;
}

std::optional<QString> applicationOfUnit(QStringView unit)
{
    if (unit.startsWith(u"app-"))
        return applicationOfAppUnit(unit.sliced(4));
    if (unit.startsWith(u"snap."))
        return applicationOfSnapUnit(unit.sliced(5));
    if (unit.startsWith(u"dbus-"))
        return applicationOfDBusUnit(unit.sliced(5));
    return {};
}

// What every reader answers: a plausible desktop ID that is not Linkherd's.
std::optional<QString> applicationID(const QString& id)
{
    const bool plausible = !id.isEmpty() && std::none_of(id.cbegin(), id.cend(), [](QChar c) {
        return c == u'/' || c.isSpace() || !c.isPrint();
    });
    if (!plausible || id.compare(QLatin1StringView(AppInfo::ownDesktopID), Qt::CaseInsensitive) == 0)
        return {};
    return id;
}

} // namespace

std::optional<QString> applicationOfCgroup(QStringView text)
{
    for (const QStringView line : text.tokenize(u'\n', Qt::SkipEmptyParts)) {
        // <hierarchy>:<controllers>:<path>, and the path may hold colons of its own (dbus-:1.2-…).
        const qsizetype first = line.indexOf(u':');
        const qsizetype second = first < 0 ? -1 : line.indexOf(u':', first + 1);
        if (second < 0)
            continue;
        const QStringView controllers = line.sliced(first + 1, second - first - 1);
        const bool unified = line.first(first) == u"0" && controllers.isEmpty();
        if (!unified && controllers != u"name=systemd")
            continue;
        // The innermost unit first: a shell in a terminal tab sits in a scope of its own below the terminal's.
        const QList<QStringView> units = line.sliced(second + 1).split(u'/', Qt::SkipEmptyParts);
        for (auto unit = units.crbegin(); unit != units.crend(); ++unit) {
            if (const std::optional<QString> id = applicationOfUnit(*unit))
                return applicationID(*id);
        }
    }
    return {};
}

std::optional<QString> applicationOfFlatpakInfo(QStringView text)
{
    bool inApplication = false;
    for (QStringView line : text.tokenize(u'\n', Qt::SkipEmptyParts)) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inApplication = line == u"[Application]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inApplication && equals > 0 && line.first(equals).trimmed() == u"name")
            return applicationID(line.sliced(equals + 1).trimmed().toString());
    }
    return {};
}

std::optional<Stat> parseStat(QStringView text)
{
    // "<pid> (<comm>) <state> <ppid> …", where comm may itself hold spaces and parentheses: only the last ")"
    // ends it.
    const qsizetype open = text.indexOf(u'(');
    const qsizetype close = text.lastIndexOf(u')');
    if (open < 0 || close < open)
        return {};
    const QList<QStringView> fields = text.sliced(close + 1).split(u' ', Qt::SkipEmptyParts);
    bool ok = false;
    const qint64 parent = fields.size() < 2 ? -1 : fields[1].toLongLong(&ok);
    if (!ok || parent < 0)
        return {};
    return Stat{text.sliced(open + 1, close - open - 1).toString(), parent};
}

} // namespace ProcFiles
