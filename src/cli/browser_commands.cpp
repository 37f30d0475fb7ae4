#include "browser_commands.h"

#include "base/record_field.h"
#include "browsers/browser_profiles.h"
#include "browsers/browser_windows.h"
#include "browsers/browsers.h"
#include "browsers/default_browser.h"
#include "browsers/system_browser_launcher.h"
#include "command_arguments.h"

using namespace Qt::StringLiterals;

namespace {

void printBrowser(QTextStream& out, const Browsers::Browser& browser)
{
    out << recordField(browser.desktopID) << '\t' << recordField(browser.name) << '\t' << recordField(browser.filePath)
        << '\n';
}

} // namespace

int runBrowsers(const CliContext& context, const CommandArguments& arguments)
{
    if (arguments.flags.contains(u"--default"_s)) {
        const std::optional<Browsers::Browser> browser = Browsers::systemDefault();
        if (!browser)
            return context.failure(u"the system has no default browser other than Linkherd"_s);
        printBrowser(context.out, *browser);
        return ExitCode::success;
    }
    for (const Browsers::Browser& browser : Browsers::installed())
        printBrowser(context.out, browser);
    return ExitCode::success;
}

int runProfiles(const CliContext& context, const CommandArguments& arguments)
{
    const QString id = arguments.positional.front();
    const std::optional<Browsers::Browser> browser = Browsers::browser(id);
    if (!browser)
        return context.failure(u"%1 is not an installed browser"_s.arg(id));
    // A browser without profiles lists none; that is an answer, not a failure.
    for (const BrowserProfiles::Profile& profile : BrowserProfiles::profiles(browser->desktopID))
        context.out << recordField(profile.directory) << '\t' << recordField(profile.name) << '\n';
    return ExitCode::success;
}

int runOpen(const CliContext& context, const CommandArguments& arguments)
{
    if (!arguments.values.contains(u"--in"_s))
        return context.usageError(u"open takes a URL and --in with a browser ID"_s);
    const QString id = arguments.values.value(u"--in"_s);
    const std::optional<Browsers::Browser> browser = Browsers::browser(id);
    if (!browser)
        return context.failure(u"%1 is not an installed browser"_s.arg(id));

    std::optional<QString> profile;
    if (arguments.values.contains(u"--profile"_s)) {
        // The launcher would quietly open a profile it does not know without one; asked by name, the tool says so.
        const QString named = arguments.values.value(u"--profile"_s);
        if (!BrowserProfiles::supportsProfiles(browser->desktopID))
            return context.failure(u"%1 has no profiles to open a link in"_s.arg(browser->name));
        profile = BrowserProfiles::directoryOf(named, browser->desktopID);
        if (!profile)
            return context.failure(u"%1 has no profile “%2” ('linkherd profiles %3' lists them)"_s.arg(
                browser->name, named, browser->desktopID));
    }

    Destination::Window window = Destination::Window::usual;
    if (arguments.values.contains(u"--window"_s)) {
        const std::optional<Destination::Window> named = windowFromKeyword(arguments.values.value(u"--window"_s));
        if (!named)
            return context.usageError(u"--window takes usual, new or private"_s);
        // The launcher would open the link in the usual window instead; asked for this one, the tool says so.
        if (!BrowserWindows::canOpen(browser->desktopID, *named))
            return context.failure(
                u"%1 cannot open links in %2"_s.arg(browser->name, BrowserWindows::windowWording(*named)));
        window = *named;
    }

    SystemBrowserLauncher launcher(*context.services.catalog, *context.services.launcher);
    std::optional<QString> failure;
    const bool settled = waitForDesktop([&](std::function<void()> done) {
        launcher.onSettled = std::move(done);
        launcher.open(arguments.positional.front(), *browser, profile, window, nullptr,
                      [&](const QString& error) { failure = error; });
    });
    if (!settled)
        return context.failure(u"%1 did not start in time"_s.arg(browser->name));
    if (failure)
        return context.failure(*failure);
    return ExitCode::success;
}

int runDefault(const CliContext& context, const CommandArguments& arguments)
{
    const bool set = arguments.flags.contains(u"--set"_s);
    const bool handBack = arguments.values.contains(u"--hand-back"_s);
    if (set && handBack)
        return context.usageError(u"default takes either --set or --hand-back ID"_s);

    const CliServices& services = context.services;
    DefaultBrowser defaultBrowser(*services.catalog, *services.defaultHandlers, *services.autostart);
    std::optional<QString> error;
    if (set || handBack) {
        QString applicationPath;
        if (handBack) {
            const QString id = arguments.values.value(u"--hand-back"_s);
            const std::optional<Browsers::Browser> browser = Browsers::browser(id);
            if (!browser)
                return context.failure(u"%1 is not an installed browser"_s.arg(id));
            applicationPath = browser->filePath;
        }
        const bool settled = waitForDesktop([&](std::function<void()> done) {
            auto completion = [&, done](std::optional<QString> result) {
                error = std::move(result);
                done();
            };
            if (handBack)
                defaultBrowser.makeDefault(applicationPath, completion);
            else
                defaultBrowser.makeLinkherdDefault(completion);
        });
        if (!settled)
            return context.failure(u"the desktop did not answer in time"_s);
        if (error)
            return context.failure(*error);
        if (handBack)
            return ExitCode::success;
    }
    const bool isDefault = defaultBrowser.isDefaultBrowser();
    context.out << (isDefault ? "yes" : "no") << '\n';
    return set && !isDefault ? ExitCode::failure : ExitCode::success;
}
