#include "sandboxed_desktop.h"

#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

const QString linkherdID = u"org.linkherd.Linkherd"_s;

void require(bool ok, const QString& what)
{
    if (!ok)
        qFatal("sandboxed desktop: %s", qPrintable(what));
}

void writeFile(const QString& path, const QString& text)
{
    TestFiles::write(path, text.toUtf8());
}

// Desktop entry string values: backslash escapes for the characters a line cannot hold.
QString escapeValue(const QString& value)
{
    // The backslash first: the others bring backslashes of their own.
    QString escaped = value;
    escaped.replace(u'\\', u"\\\\"_s).replace(u'\n', u"\\n"_s).replace(u'\t', u"\\t"_s).replace(u'\r', u"\\r"_s);
    if (escaped.startsWith(u' '))
        escaped.replace(0, 1, u"\\s"_s);
    return escaped;
}

// One Exec argument as the Desktop Entry rules want it before the value itself is escaped: double-quoted
// when it holds a reserved character, with ", `, $ and \ escaped inside the quotes, and % doubled so no field
// code is read into it.
QString quoteExecArgument(const QString& argument)
{
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
    const bool quote = argument.isEmpty() ||
                       std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    QString quoted;
    for (const QChar c : argument) {
        if (quote && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            quoted += u'\\';
        quoted += c;
        if (c == u'%')
            quoted += u'%';
    }
    return quote ? u'"' + quoted + u'"' : quoted;
}

QString execLine(const QStringList& argv, const QString& fieldCodes)
{
    QStringList parts;
    for (const QString& argument : argv)
        parts.append(quoteExecArgument(argument));
    if (!fieldCodes.isEmpty())
        parts.append(fieldCodes);
    return parts.join(u' ');
}

// Sets keys in one group of a key file, keeping every other line as it is: a key already in the group keeps its
// place, a new one comes after the group's last line that is not blank.
QString withKeys(const QString& text, const QString& group, const QList<std::pair<QString, QString>>& keys)
{
    QStringList lines = text.split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    const QString header = u'[' + group + u']';
    if (!lines.contains(header))
        lines.append(header);
    const qsizetype start = lines.indexOf(header) + 1;
    for (const auto& [key, value] : keys) {
        qsizetype end = start;
        for (qsizetype i = start; i < lines.size() && !lines.at(i).startsWith(u'['); ++i)
            end = lines.at(i).trimmed().isEmpty() ? end : i + 1;
        // Named, not captured: clang 14 (the sanitized build) cannot capture a structured binding.
        const QString& name = key;
        const auto same = [&name](const QString& line) { return line.section(u'=', 0, 0).trimmed() == name; };
        const auto found = std::find_if(lines.begin() + start, lines.begin() + end, same);
        if (found != lines.begin() + end)
            *found = key + u'=' + value;
        else
            lines.insert(end, key + u'=' + value);
    }
    return lines.join(u'\n') + u'\n';
}

// The application a `flatpak run [options] <ref> …` start runs.
QString flatpakApplication(const QStringList& arguments)
{
    qsizetype i = 1;
    while (i < arguments.size() && arguments.at(i).startsWith(u'-'))
        ++i;
    if (i >= arguments.size() || arguments.at(i) != u"run"_s)
        return QString();
    ++i;
    while (i < arguments.size() && arguments.at(i).startsWith(u'-'))
        ++i;
    return i < arguments.size() ? arguments.at(i).section(u'/', 0, 0) : QString();
}

SandboxedDesktop::Launch readLaunch(const QString& path)
{
    QFile file(path);
    require(file.open(QIODevice::ReadOnly), u"cannot read "_s + path);
    QByteArrayList fields = file.readAll().split('\0');
    // Every field ends in NUL, so the last piece is always empty.
    require(fields.size() > 6 && fields.takeLast().isEmpty() && fields.at(0) == "linkherd-fake-launch-1",
            u"not a launch record: "_s + path);
    // The clocks (fields 2 and 3) are for bench/; the name of the record already orders the starts.
    SandboxedDesktop::Launch launch;
    launch.pid = fields.at(1).toLongLong();
    const qsizetype argc = fields.at(4).toLongLong();
    require(fields.size() > 5 + argc, u"truncated launch record: "_s + path);
    for (const QByteArray& argument : fields.mid(5, argc))
        launch.arguments.append(QString::fromUtf8(argument));
    const qsizetype environmentSize = fields.at(5 + argc).toLongLong();
    require(fields.size() == 6 + argc + environmentSize, u"truncated launch record: "_s + path);
    for (qsizetype i = 6 + argc; i < fields.size(); ++i) {
        const QByteArray& entry = fields.at(i);
        const qsizetype equals = entry.indexOf('=');
        if (equals > 0)
            launch.environment.insert(QString::fromUtf8(entry.left(equals)), QString::fromUtf8(entry.mid(equals + 1)));
    }
    return launch;
}

} // namespace

SandboxedDesktop::SandboxedDesktop()
{
    require(m_directory.isValid(), u"cannot create a temporary directory: "_s + m_directory.errorString());
    for (const QString& directory :
         {home(), configHome(), path(u"home/.cache"_s), dataHome(), applicationsDirectory(FakeBrowser::Location::user),
          applicationsDirectory(FakeBrowser::Location::system), applicationsDirectory(FakeBrowser::Location::snap),
          runtimeDirectory(), binDirectory(), path(u"home/.local/state"_s), path(u"config-dirs"_s),
          path(u"launches"_s)})
        require(QDir().mkpath(directory), u"cannot create "_s + directory);
    require(QFile::setPermissions(runtimeDirectory(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner),
            u"cannot restrict "_s + runtimeDirectory());

    m_environment = QProcessEnvironment::systemEnvironment();
    // Whatever would let the session this test runs in reach the children: its bus, its display, its
    // desktop's identity and locale, and launch variables a launcher may have left behind.
    static const QStringList hostVariables =
        QStringLiteral(
            "DBUS_SESSION_BUS_ADDRESS DBUS_STARTER_ADDRESS DBUS_STARTER_BUS_TYPE DISPLAY WAYLAND_DISPLAY "
            "WAYLAND_SOCKET XAUTHORITY DESKTOP_STARTUP_ID XDG_ACTIVATION_TOKEN XDG_SESSION_DESKTOP "
            "XDG_SESSION_TYPE XDG_SESSION_ID XDG_SESSION_CLASS XDG_MENU_PREFIX DESKTOP_SESSION KDE_FULL_SESSION "
            "KDE_SESSION_VERSION GNOME_DESKTOP_SESSION_ID SESSION_MANAGER BROWSER LANGUAGE QT_QPA_PLATFORMTHEME "
            "GTK_MODULES")
            .split(u' ');
    for (const QString& name : hostVariables)
        m_environment.remove(name);
    for (const QString& name : m_environment.keys()) {
        if (name.startsWith(u"GIO_LAUNCHED_DESKTOP_FILE"_s) || name.startsWith(u"LC_"_s))
            m_environment.remove(name);
    }

    const QString hostPath = m_environment.value(u"PATH"_s, u"/usr/bin:/bin"_s);
    m_environment.insert(u"PATH"_s, binDirectory() + u':' + hostPath);
    m_environment.insert(u"HOME"_s, home());
    m_environment.insert(u"XDG_CONFIG_HOME"_s, configHome());
    m_environment.insert(u"XDG_DATA_HOME"_s, dataHome());
    m_environment.insert(u"XDG_CACHE_HOME"_s, path(u"home/.cache"_s));
    m_environment.insert(u"XDG_STATE_HOME"_s, path(u"home/.local/state"_s));
    m_environment.insert(u"XDG_RUNTIME_DIR"_s, runtimeDirectory());
    m_environment.insert(u"XDG_DATA_DIRS"_s, systemDataDirectory());
    m_environment.insert(u"LINKHERD_SNAP_DESKTOP_DIR"_s, snapDataDirectory());
    m_environment.insert(u"XDG_CONFIG_DIRS"_s, path(u"config-dirs"_s));
    m_environment.insert(u"XDG_CURRENT_DESKTOP"_s, u"X-Generic"_s);
    // No gvfs daemons, no dconf: GIO stays inside this process tree.
    m_environment.insert(u"GIO_USE_VFS"_s, u"local"_s);
    m_environment.insert(u"GIO_USE_VOLUME_MONITOR"_s, u"unix"_s);
    m_environment.insert(u"GSETTINGS_BACKEND"_s, u"memory"_s);
    m_environment.insert(u"NO_AT_BRIDGE"_s, u"1"_s);
    m_environment.insert(u"LANG"_s, u"C.UTF-8"_s);
    m_environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
}

QString SandboxedDesktop::path(const QString& relative) const
{
    return m_directory.path() + u'/' + relative;
}

QString SandboxedDesktop::applicationsDirectory(FakeBrowser::Location location) const
{
    const QString roots[] = {dataHome(), systemDataDirectory(), snapDataDirectory()}; // in Location's order
    return roots[static_cast<std::size_t>(location)] + u"/applications"_s;
}

QString SandboxedDesktop::installRecorder(const QString& name)
{
    const QString target = binDirectory() + u'/' + name;
    const QString source = QStringLiteral(LINKHERD_FAKE_BROWSER_EXECUTABLE);
    if (QFile::exists(target))
        require(QFile::remove(target), u"cannot replace "_s + target);
    // A copy rather than a link: the recorder finds its name, and so its record folder, through
    // /proc/self/exe, which resolves links.
    require(QFile::copy(source, target), u"cannot copy %1 to %2"_s.arg(source, target));
    return target;
}

QString SandboxedDesktop::addBrowser(const FakeBrowser& browser)
{
    require(!browser.id.isEmpty() && !browser.id.contains(u'/'), u"a fake browser needs a plain id"_s);
    const QString executableName = browser.executableName.isEmpty() ? browser.id : browser.executableName;

    const bool flatpak = browser.execStyle == FakeBrowser::ExecStyle::flatpak;
    const Recorder recorder{flatpak ? u"flatpak"_s : executableName, flatpak ? browser.id : QString()};
    const QString program = installRecorder(recorder.executableName);
    // The command with the arguments given, then these.
    const auto execWith = [&](const QStringList& more) {
        if (flatpak)
            return execLine(QStringList{program, u"run"_s, u"--branch=stable"_s, u"--arch=x86_64"_s,
                                        u"--command="_s + executableName, u"--file-forwarding"_s, browser.id} +
                                browser.execArguments + more,
                            u"@@u %U @@"_s);
        return execLine(QStringList{executableName} + browser.execArguments + more,
                        browser.execStyle == FakeBrowser::ExecStyle::urls ? u"%U"_s : u"%u"_s);
    };
    const QString exec = execWith({});

    QString entry = u"[Desktop Entry]\nType=Application\n"_s;
    if (!browser.name.isEmpty())
        entry += u"Name="_s + escapeValue(browser.name) + u'\n';
    entry += u"Exec="_s + escapeValue(exec) + u'\n';
    if (!browser.mimeTypes.isEmpty())
        entry += u"MimeType="_s + browser.mimeTypes + u'\n';
    entry += u"Categories=Network;WebBrowser;\n"_s;
    if (flatpak)
        entry += u"X-Flatpak="_s + browser.id + u'\n';
    for (const auto& [key, value] : browser.extraKeys)
        entry += key + u'=' + value + u'\n';
    if (!browser.actions.isEmpty()) {
        entry += u"Actions="_s + browser.actions.keys().join(u';') + u";\n"_s;
        for (auto action = browser.actions.cbegin(); action != browser.actions.cend(); ++action)
            entry += u"\n[Desktop Action "_s + action.key() + u"]\nName="_s + action.key() + u"\nExec="_s +
                     escapeValue(execWith(action.value())) + u'\n';
    }

    const QString entryPath = applicationsDirectory(browser.location) + u'/' + browser.id + u".desktop"_s;
    writeFile(entryPath, entry);
    m_recorders.insert(browser.id, recorder);
    return entryPath;
}

QString SandboxedDesktop::desktopEntryPath(const QString& id) const
{
    for (const auto location :
         {FakeBrowser::Location::user, FakeBrowser::Location::system, FakeBrowser::Location::snap}) {
        const QString candidate = applicationsDirectory(location) + u'/' + id + u".desktop"_s;
        if (QFile::exists(candidate))
            return candidate;
    }
    return QString();
}

QString SandboxedDesktop::addLinkherdEntry(const QString& executable)
{
    QString program = executable;
    if (program.isEmpty()) {
        program = u"linkherd-app"_s;
        installRecorder(program);
        m_recorders.insert(linkherdID, Recorder{program, QString()});
    }
    const QString entryPath = applicationsDirectory(FakeBrowser::Location::system) + u'/' + linkherdID + u".desktop"_s;
    writeFile(entryPath, u"[Desktop Entry]\nType=Application\nName=Linkherd\nExec="_s +
                             escapeValue(execLine(QStringList{program}, u"%U"_s)) +
                             u"\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n"
                             u"Categories=Network;WebBrowser;\n"_s);
    return entryPath;
}

void SandboxedDesktop::refreshDesktopDatabase()
{
    using Location = FakeBrowser::Location;
    const Run result = run(u"update-desktop-database"_s,
                           {applicationsDirectory(Location::user), applicationsDirectory(Location::system),
                            applicationsDirectory(Location::snap)});
    require(result.exitCode == 0,
            u"update-desktop-database failed (is desktop-file-utils installed?): "_s + result.err);
}

QString SandboxedDesktop::mimeappsListPath(MimeappsList list) const
{
    if (list == MimeappsList::user)
        return configHome() + u"/mimeapps.list"_s;
    // GIO reads one such file for each desktop named in XDG_CURRENT_DESKTOP; the first one wins.
    return configHome() + u'/' + currentDesktop().section(u':', 0, 0).toLower() + u"-mimeapps.list"_s;
}

void SandboxedDesktop::setDefaultBrowser(const QString& id, MimeappsList list)
{
    const QString entry = id + u".desktop"_s;
    const QString path = mimeappsListPath(list);
    const QString text = QFile::exists(path) ? QString::fromUtf8(TestFiles::read(path)) : QString();
    writeFile(
        path,
        withKeys(text, u"Default Applications"_s,
                 {{u"x-scheme-handler/http"_s, entry}, {u"x-scheme-handler/https"_s, entry}, {u"text/html"_s, entry}}));
}

SandboxedDesktop::Run SandboxedDesktop::run(const QString& program, const QStringList& arguments, int timeoutMs) const
{
    // QProcess would search the test's own PATH; the child's, with the fakes first, is the one that counts.
    const QString executable =
        program.contains(u'/')
            ? program
            : QStandardPaths::findExecutable(program, m_environment.value(u"PATH"_s).split(u':', Qt::SkipEmptyParts));
    const QString commandLine = (QStringList{program} + arguments).join(u' ');
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.setWorkingDirectory(home());
    process.start(executable, arguments);
    Run result;
    if (!process.waitForStarted(timeoutMs)) {
        result.err = u"%1: cannot start (is it in the sandbox's PATH?): %2"_s.arg(commandLine, process.errorString());
        QTest::qFail(qPrintable(result.err), __FILE__, __LINE__);
        return result;
    }
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    if (!finished) {
        result.err += u"\n%1: no exit within %2 ms, killed"_s.arg(commandLine).arg(timeoutMs);
        QTest::qFail(qPrintable(result.err), __FILE__, __LINE__);
    } else if (process.exitStatus() != QProcess::NormalExit) {
        result.err += u"\n%1: crashed"_s.arg(commandLine);
    } else {
        result.exitCode = process.exitCode();
    }
    return result;
}

void SandboxedDesktop::setUpForResident(const QString& appExecutable, const QString& cliExecutable)
{
    setLinkherdExecutable(cliExecutable);
    setEnvironmentVariable(u"DBUS_SESSION_BUS_ADDRESS"_s, qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
    setEnvironmentVariable(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    addBrowser({.id = u"fake"_s, .name = u"Fake"_s});
    addBrowser({.id = u"other"_s, .name = u"Other"_s});
    addLinkherdEntry(appExecutable);
    refreshDesktopDatabase();
}

SandboxedDesktop::Run SandboxedDesktop::runLinkherd(const QStringList& arguments, int timeoutMs) const
{
    require(!m_linkherdExecutable.isEmpty(), u"runLinkherd() before setLinkherdExecutable()"_s);
    return run(m_linkherdExecutable, arguments, timeoutMs);
}

QList<SandboxedDesktop::Launch> SandboxedDesktop::launches(const QString& id) const
{
    const auto recorder = m_recorders.constFind(id);
    require(recorder != m_recorders.constEnd(), u"no fake browser was added as "_s + id);
    const QDir directory(path(u"launches/"_s + recorder->executableName));
    QList<Launch> launches;
    // The names start with the zero-padded monotonic time, so name order is start order.
    for (const QString& name : directory.entryList({u"*.launch"_s}, QDir::Files, QDir::Name)) {
        Launch launch = readLaunch(directory.filePath(name));
        if (recorder->flatpakID.isEmpty() || flatpakApplication(launch.arguments) == recorder->flatpakID)
            launches.append(launch);
    }
    return launches;
}

QList<SandboxedDesktop::Launch> SandboxedDesktop::waitForLaunches(const QString& id, qsizetype count,
                                                                  int timeoutMs) const
{
    QList<Launch> result;
    // Whether count was reached shows in the size of what comes back.
    std::ignore = QTest::qWaitFor(
        [&] {
            result = launches(id);
            return result.size() >= count;
        },
        timeoutMs);
    return result;
}

QList<QStringList> SandboxedDesktop::waitForLinks(const QString& id, qsizetype count) const
{
    QList<QStringList> links;
    for (const Launch& launch : waitForLaunches(id, count))
        links.append(launch.arguments.mid(1));
    return links;
}
