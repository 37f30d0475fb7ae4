#include "doctor_command.h"

#include "app_info.h"
#include "base/record_field.h"
#include "browsers/browsers.h"
#include "browsers/default_browser.h"
#include "command_arguments.h"
#include "platform/application_catalog.h"
#include "platform/xdg/config_files.h"
#include "platform/xdg/web_link_layers.h"

#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString claimCommand = u"linkherd default --set"_s;
const QStringList webTypes = {u"x-scheme-handler/http"_s, u"x-scheme-handler/https"_s};

QString ownDesktopFile()
{
    return QString::fromLatin1(AppInfo::ownDesktopID) + u".desktop"_s;
}

bool isOwn(QString desktopFile)
{
    if (desktopFile.endsWith(u".desktop"_s))
        desktopFile.chop(8);
    return Browsers::isOwnDesktopID(desktopFile);
}

// Each layer gets one line: what it says, then "ok", or what goes wrong and the command that puts it right.
class Report final {
public:
    explicit Report(QTextStream& out) : m_out(out) {}

    // What the layers hold ($BROWSER, paths, desktop entries) is escaped as in every record the tool prints.
    void ok(const QString& layer, const QString& finding)
    {
        m_out << recordField(layer) << ": " << recordField(finding) << ": ok\n";
    }
    void problem(const QString& layer, const QString& finding, const QString& problem, const QString& fix)
    {
        m_out << recordField(layer) << ": " << recordField(finding) << ": " << recordField(problem)
              << "; fix: " << recordField(fix) << '\n';
        ++m_problems;
    }
    int problems() const { return m_problems; }

private:
    QTextStream& m_out;
    int m_problems = 0;
};

class Doctor final {
public:
    Doctor(ApplicationCatalog& catalog, QTextStream& out) : m_catalog(catalog), m_report(out) {}

    int run()
    {
        checkBrowserVariable();
        checkXdgSettings();
        checkGio();
        checkMimeappsLists();
        checkKde();
        checkResident();
        checkInstallation();
        return m_report.problems();
    }

private:
    // "Firefox (firefox.desktop)", or the ID alone for an application that is not installed.
    QString describe(const QString& desktopFile) const
    {
        QString id = desktopFile;
        if (id.endsWith(u".desktop"_s))
            id.chop(8);
        const std::optional<DesktopEntry> entry = m_catalog.application(id);
        return entry && !entry->name.isEmpty() ? u"%1 (%2)"_s.arg(entry->name, desktopFile) : desktopFile;
    }

    void checkBrowserVariable()
    {
        const QString layer = u"$BROWSER"_s;
        const QString value = qEnvironmentVariable("BROWSER");
        if (value.trimmed().isEmpty())
            return m_report.ok(layer, u"not set"_s);
        // A list of commands separated by colons; programs take the first that runs.
        const QStringList first = QProcess::splitCommand(value.section(u':', 0, 0));
        const QString program = first.isEmpty() ? QString() : QFileInfo(first.front()).fileName();
        if (program == u"linkherd-app"_s)
            return m_report.ok(layer, value);
        m_report.problem(layer, value, u"xdg-open and many programs start it for links, past Linkherd"_s,
                         u"remove BROWSER from your shell's start-up files and session, or set BROWSER=linkherd-app"_s);
    }

    void checkXdgSettings()
    {
        const QString layer = u"xdg-settings get default-web-browser"_s;
        const Result<QString> browser = WebLinkLayers::xdgSettingsDefaultBrowser();
        if (!browser)
            return m_report.ok(layer, u"no answer (%1), so nothing follows it"_s.arg(browser.error()));
        if (isOwn(browser.value()))
            return m_report.ok(layer, browser.value());
        m_report.problem(layer, browser->isEmpty() ? u"none"_s : describe(browser.value()),
                         browser->isEmpty() ? u"xdg-open finds no browser"_s : u"xdg-open sends links there"_s,
                         u"xdg-settings set default-web-browser "_s + ownDesktopFile());
    }

    void checkGio()
    {
        for (const QString& type : webTypes) {
            const QString layer = u"GIO default for "_s + type;
            const std::optional<QString> handler = WebLinkLayers::gioDefault(type);
            if (handler && isOwn(*handler))
                m_report.ok(layer, *handler);
            else
                m_report.problem(layer, handler ? describe(*handler) : u"none"_s,
                                 handler ? u"GNOME and programs built on GIO open links there"_s
                                         : u"GNOME and programs built on GIO find no browser"_s,
                                 claimCommand);
        }
    }

    void checkMimeappsLists()
    {
        const QStringList desktops = WebLinkLayers::currentDesktops();
        const QString variable = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
        if (desktops.isEmpty())
            m_report.ok(u"$XDG_CURRENT_DESKTOP"_s, u"not set, so no desktop-specific mimeapps.list counts"_s);
        else
            m_report.ok(u"$XDG_CURRENT_DESKTOP"_s,
                        u"%1, so %2 %3 first in each folder"_s.arg(
                            variable, desktops.join(u"-mimeapps.list, "_s) + u"-mimeapps.list"_s,
                            desktops.size() == 1 ? u"comes"_s : u"come"_s));

        // The first list that names an installed application for a type decides it; later ones are overridden.
        QHash<QString, QString> decidedBy;
        for (const WebLinkLayers::MimeappsList& list : WebLinkLayers::mimeappsLists()) {
            if (!QFileInfo::exists(list.path))
                continue;
            bool saysAnything = false;
            for (const QString& type : webTypes) {
                const Result<std::optional<QString>> value =
                    ConfigFiles::value(list.path, u"Default Applications"_s, type);
                if (!value) {
                    m_report.problem(list.path, u"unreadable"_s, value.error(),
                                     u"make it a readable file, or remove it"_s);
                    break;
                }
                if (!value.value())
                    continue;
                saysAnything = true;
                checkListLine(list.path, type, **value, decidedBy);
            }
            if (!saysAnything)
                m_report.ok(list.path, u"names no default for web links"_s);
        }
    }

    void checkListLine(const QString& path, const QString& type, const QString& value,
                       QHash<QString, QString>& decidedBy)
    {
        const QString line = type + u'=' + value;
        if (const auto earlier = decidedBy.constFind(type); earlier != decidedBy.cend())
            return m_report.ok(path, line + u", overridden by "_s + *earlier);
        QString installed;
        for (const QString& id : value.split(u';', Qt::SkipEmptyParts)) {
            if (WebLinkLayers::isInstalled(id.trimmed())) {
                installed = id.trimmed();
                break;
            }
        }
        if (installed.isEmpty())
            return m_report.ok(path, line + u", names no installed application, so the next list decides"_s);
        decidedBy.insert(type, path);
        if (isOwn(installed))
            return m_report.ok(path, line + u", decides"_s);
        m_report.problem(path, line + u", decides"_s, u"links go to "_s + describe(installed), claimCommand);
    }

    void checkKde()
    {
        const QString layer = u"KDE BrowserApplication"_s;
        const QString path = WebLinkLayers::kdeglobalsPath();
        const Result<std::optional<QString>> value = ConfigFiles::value(path, u"General"_s, u"BrowserApplication"_s);
        const bool onKde = WebLinkLayers::currentDesktops().contains(u"kde"_s);
        if (!value)
            return onKde ? m_report.problem(layer, path, value.error(), u"make it a readable file"_s)
                         : m_report.ok(layer, u"not on KDE"_s);
        if (!onKde)
            return m_report.ok(layer, u"not on KDE"_s);
        if (!value.value() || value.value()->isEmpty())
            return m_report.ok(layer, u"not set, so KDE follows mimeapps.list"_s);
        // A desktop file ID, or a command after "!".
        const QString browser = **value;
        if (!browser.startsWith(u'!') && isOwn(browser))
            return m_report.ok(layer, browser);
        m_report.problem(layer, browser, u"KDE opens links with it"_s, claimCommand);
    }

    void checkResident()
    {
        const QString layer = u"Linkherd"_s;
        const QString name = QString::fromLatin1(AppInfo::ownDesktopID);
        switch (WebLinkLayers::sessionBusNameState(name)) {
        case WebLinkLayers::BusName::owned:
            return m_report.ok(layer, u"running, owns %1 on the session bus"_s.arg(name));
        case WebLinkLayers::BusName::notOwned:
            return m_report.ok(layer, u"not running; the first link starts it"_s);
        case WebLinkLayers::BusName::noBus:
            return m_report.ok(layer, u"no session bus; each link starts Linkherd, or hands it to a running one"_s);
        }
    }

    void checkInstallation()
    {
        const QString reinstall = u"install Linkherd again"_s;
        const QString entryLayer = u"desktop entry"_s;
        const std::optional<DesktopEntry> entry = m_catalog.application(QString::fromLatin1(AppInfo::ownDesktopID));
        if (!entry) {
            m_report.problem(entryLayer, ownDesktopFile() + u" not found"_s,
                             u"the desktop does not know Linkherd as a browser"_s, reinstall);
            return;
        }
        const QString entryProgram = entry->exec.isEmpty() ? QString() : resolved(entry->exec.front());
        m_report.ok(entryLayer, u"%1 runs %2"_s.arg(entry->filePath, entryProgram));

        const QString serviceLayer = u"D-Bus service"_s;
        const QString service = WebLinkLayers::sessionServiceFile(QString::fromLatin1(AppInfo::ownDesktopID));
        const Result<std::optional<QString>> activatable =
            ConfigFiles::value(entry->filePath, u"Desktop Entry"_s, u"DBusActivatable"_s);
        const bool busStarts = activatable && activatable.value() && **activatable == u"true"_s;
        if (service.isEmpty()) {
            if (busStarts)
                m_report.problem(serviceLayer, u"not found"_s,
                                 u"the desktop entry asks the session bus to start Linkherd, and it cannot"_s,
                                 reinstall);
            else
                m_report.ok(serviceLayer, u"not found; the desktop entry starts Linkherd itself"_s);
            return;
        }
        const QStringList command = WebLinkLayers::sessionServiceCommand(service);
        const QString serviceProgram = command.isEmpty() ? QString() : resolved(command.front());
        if (serviceProgram.isEmpty() || !QFileInfo(serviceProgram).isExecutable()) {
            m_report.problem(serviceLayer, service, u"it starts no program that is there"_s, reinstall);
        } else if (!ofTheSameInstallation(serviceProgram, entryProgram)) {
            m_report.problem(serviceLayer, u"%1 runs %2"_s.arg(service, serviceProgram),
                             u"not the program of the desktop entry: two installations disagree"_s,
                             u"remove the installation you do not use, then "_s + reinstall);
        } else {
            m_report.ok(serviceLayer, u"%1 runs the same program"_s.arg(service));
        }
    }

    // The bus starts the resident of the entry's installation, or (as installations before it started the
    // resident directly did) the entry's linkherd-app, which execs it.
    static bool ofTheSameInstallation(const QString& serviceProgram, const QString& entryProgram)
    {
        const QString started = QFileInfo(serviceProgram).canonicalFilePath();
        const QString folder = QFileInfo(entryProgram).absolutePath();
        const QStringList programs{entryProgram, folder + u"/linkherd-resident"_s,
                                   folder + u'/' + QStringLiteral(LINKHERD_RESIDENT_FROM_BINDIR)};
        return std::any_of(programs.begin(), programs.end(), [&started](const QString& program) {
            return QFileInfo(program).canonicalFilePath() == started;
        });
    }

    // A program as the desktop finds it: an absolute path stays, a name is looked up in PATH.
    static QString resolved(const QString& program)
    {
        if (QFileInfo(program).isAbsolute())
            return program;
        const QString found = QStandardPaths::findExecutable(program);
        return found.isEmpty() ? program : found;
    }

    ApplicationCatalog& m_catalog;
    Report m_report;
};

// Claims every layer Linkherd may write: the mimeapps.list files, kdeglobals on KDE, and xdg-settings where it
// still names another browser afterwards. $BROWSER is the user's own and only reported.
Result<void> claim(const CliServices& services)
{
    DefaultBrowser defaultBrowser(*services.catalog, *services.defaultHandlers, *services.autostart);
    std::optional<QString> error;
    const bool settled = waitForDesktop([&](std::function<void()> done) {
        defaultBrowser.makeLinkherdDefault([&, done](std::optional<QString> result) {
            error = std::move(result);
            done();
        });
    });
    if (!settled)
        return Failure{u"the desktop did not answer in time"_s};
    if (error)
        return Failure{*error};
    const Result<QString> xdgSettings = WebLinkLayers::xdgSettingsDefaultBrowser();
    if (xdgSettings && !isOwn(xdgSettings.value()))
        return WebLinkLayers::setXdgSettingsDefaultBrowser(ownDesktopFile());
    return {};
}

} // namespace

int runDoctor(const CliContext& context, const CommandArguments& arguments)
{
    if (arguments.flags.contains(u"--fix"_s)) {
        // What could not be claimed shows in the report that follows.
        if (const Result<void> claimed = claim(context.services); !claimed)
            context.err << "linkherd: " << claimed.error() << Qt::endl;
    }
    const int problems = Doctor(*context.services.catalog, context.out).run();
    if (problems == 0) {
        context.out << "Web links reach Linkherd everywhere.\n";
        return ExitCode::success;
    }
    context.out << (problems == 1 ? u"1 layer sends"_s : u"%1 layers send"_s.arg(problems))
                << " web links past Linkherd.\n";
    return ExitCode::failure;
}
