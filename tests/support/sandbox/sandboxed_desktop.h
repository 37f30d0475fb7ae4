#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <utility>

// A browser that exists only inside a SandboxedDesktop: a desktop entry and an executable that records how it
// was started.
// Every field has a default, so designated initializers may name only what a test cares about.
struct FakeBrowser {
    // snap: snapd's applications folder, which is not in XDG_DATA_DIRS (Linkherd is told where it is).
    enum class Location { user, system, snap };
    // How Exec hands over links: `%U`, `%u`, or through `flatpak run … <id> @@u %U @@`.
    enum class ExecStyle { urls, url, flatpak };

    // The desktop file ID without ".desktop"; for the Flatpak style also the Flatpak application ID.
    QString id{};
    // Written as Name when not empty.
    QString name{};
    Location location = Location::user;
    QString mimeTypes = QStringLiteral("x-scheme-handler/http;x-scheme-handler/https;text/html;");
    ExecStyle execStyle = ExecStyle::urls;
    // Arguments in Exec before the field code (for the Flatpak style, after the application ID). Any text:
    // they are quoted as desktop entries require.
    QStringList execArguments{};
    // The name of the executable in the sandbox's bin/ folder; the id when empty. Flatpak browsers all share
    // one `flatpak` there, and the name given here only becomes its --command.
    QString executableName{};
    // Further keys, written as they stand: {"NoDisplay", "true"}, {"OnlyShowIn", "KDE;"}, {"Icon", "x"}, …
    QList<std::pair<QString, QString>> extraKeys{};
    // Desktop actions by ID ("new-private-window"): the browser's own command with these arguments added.
    QMap<QString, QStringList> actions{};
};

// One test's private desktop: its own HOME and XDG folders, desktop entries and default-application lists,
// with nothing of the machine's own desktop visible (no /usr/share applications, no session bus, no display).
//
// GLib reads the XDG variables once per process, so code that goes through GIO runs as a child process
// started with environment(), usually through run() or runLinkherd(). Faults in setting the sandbox up stop
// the test program at once; a child that times out or cannot start fails the running test.
class SandboxedDesktop final {
public:
    // One start of a fake executable, as recorded by that process itself.
    struct Launch {
        // argv, argv[0] included, read as UTF-8.
        QStringList arguments;
        qint64 pid = 0;
        // The whole environment it was started with.
        QProcessEnvironment environment;
    };

    struct Run {
        // -1 when the program crashed, timed out or could not start; `err` then says which.
        int exitCode = -1;
        QString out;
        QString err;
    };

    enum class MimeappsList { user, desktopSpecific };

    SandboxedDesktop();
    Q_DISABLE_COPY(SandboxedDesktop)

    QString root() const { return m_directory.path(); }
    QString home() const { return path(QStringLiteral("home")); }
    QString configHome() const { return path(QStringLiteral("home/.config")); }
    QString dataHome() const { return path(QStringLiteral("home/.local/share")); }
    QString runtimeDirectory() const { return path(QStringLiteral("runtime")); }
    // The only entry of XDG_DATA_DIRS.
    QString systemDataDirectory() const { return path(QStringLiteral("sys/share")); }
    // Stands in for /var/lib/snapd/desktop (LINKHERD_SNAP_DESKTOP_DIR); not in XDG_DATA_DIRS.
    QString snapDataDirectory() const { return path(QStringLiteral("snapd/desktop")); }
    QString applicationsDirectory(FakeBrowser::Location location) const;
    // Comes first in PATH.
    QString binDirectory() const { return path(QStringLiteral("bin")); }

    // XDG_CURRENT_DESKTOP, "X-Generic" until set ("GNOME", "KDE", …).
    QString currentDesktop() const { return m_environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")); }
    void setCurrentDesktop(const QString& desktop)
    {
        setEnvironmentVariable(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop);
    }
    // For what the sandbox does not prepare, such as DBUS_SESSION_BUS_ADDRESS of a private bus.
    void setEnvironmentVariable(const QString& name, const QString& value) { m_environment.insert(name, value); }
    void unsetEnvironmentVariable(const QString& name) { m_environment.remove(name); }
    QProcessEnvironment environment() const { return m_environment; }

    // Writes the browser's desktop entry and executable; returns the entry's path. Call
    // refreshDesktopDatabase() afterwards, or GIO will not list it for any MIME type.
    QString addBrowser(const FakeBrowser& browser);
    QString desktopEntryPath(const QString& id) const;
    // Linkherd's own entry, org.linkherd.Linkherd.desktop, in the system applications folder, handling http
    // and https. Its Exec is `linkherd-app %U`, a recording fake in bin/, unless an executable is given.
    QString addLinkherdEntry(const QString& executable = QString());
    // Writes mimeinfo.cache in every applications folder.
    void refreshDesktopDatabase();

    // Makes id the default for http, https and text/html in the user's mimeapps.list or in
    // <current desktop in lower case>-mimeapps.list, keeping whatever else the file says.
    void setDefaultBrowser(const QString& id, MimeappsList list = MimeappsList::user);
    QString mimeappsListPath(MimeappsList list) const;
    QString kdeglobalsPath() const { return configHome() + QStringLiteral("/kdeglobals"); }

    // Runs program in the sandbox's environment with HOME as the working directory.
    Run run(const QString& program, const QStringList& arguments = {}, int timeoutMs = 30'000) const;
    // The path of the `linkherd` tool comes from the test's build: LINKHERD_CLI_EXECUTABLE.
    void setLinkherdExecutable(const QString& path) { m_linkherdExecutable = path; }
    // A desktop for the resident run on the test's session bus, offscreen: the tool, two browsers ("fake" and
    // "other", neither the default yet) and Linkherd's desktop entry for the application at appExecutable.
    void setUpForResident(const QString& appExecutable, const QString& cliExecutable);
    Run runLinkherd(const QStringList& arguments, int timeoutMs = 30'000) const;

    // The starts of the browser added under id (or of Linkherd's entry), oldest first. A Flatpak browser's
    // are the starts of the shared `flatpak` that run its application ID.
    QList<Launch> launches(const QString& id) const;
    // Launching is asynchronous: waits until at least count starts are recorded or the time is up, and
    // returns what there is then.
    QList<Launch> waitForLaunches(const QString& id, qsizetype count, int timeoutMs = 10'000) const;
    // The links of each start waitForLaunches() returns: its arguments after argv[0].
    QList<QStringList> waitForLinks(const QString& id, qsizetype count) const;

private:
    struct Recorder {
        QString executableName;
        // Set for Flatpak browsers: only the starts that run this application count.
        QString flatpakID;
    };

    QString path(const QString& relative) const;
    QString installRecorder(const QString& name);

    QTemporaryDir m_directory;
    QProcessEnvironment m_environment;
    QString m_linkherdExecutable;
    QHash<QString, Recorder> m_recorders;
};
