// The first link after the desktop's applications changed (a browser installed or removed while Linkherd runs):
// what looking its browser up costs when the list has to be found again on the link path, and what it costs once
// the event loop has found it again after the change, as the application does. On a private desktop of 200
// entries, 8 of them browsers; the browsers' icons (what a window then loads) are timed on their own.
// Median and 99th percentile are reported as counters, in milliseconds.

#include "browsers/browsers.h"
#include "gui/common/browser_icons.h"
#include "platform/gio/gio_application_catalog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>

namespace {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

constexpr int entryCount = 200;
constexpr int browserCount = 8;

QTemporaryDir& desktop()
{
    static QTemporaryDir directory;
    return directory;
}

QString applicationsFolder()
{
    return desktop().filePath(u"data/applications"_s);
}

void write(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        std::abort();
}

QString iconPath()
{
    return desktop().filePath(u"icon.png"_s);
}

// An entry about as large as a distribution's, with its translations; browsers have an icon as large as theirs.
QByteArray entry(const QString& id, bool browser)
{
    const QByteArray icon = browser ? QFile::encodeName(iconPath()) : id.toUtf8();
    QByteArray text =
        "[Desktop Entry]\nType=Application\nName=" + id.toUtf8() + "\nExec=/bin/true %U\nIcon=" + icon + "\n";
    for (const char* locale : {"de", "fr", "es", "it", "pt_BR", "ru", "ja", "zh_CN", "pl", "nl",
                               "sv", "cs", "tr", "uk", "ko",    "fi", "da", "nb",    "hu", "el"}) {
        text += "Name[" + QByteArray(locale) + "]=" + id.toUtf8() + " (" + locale + ")\n";
        text += "Comment[" + QByteArray(locale) + "]=Does what " + id.toUtf8() + " does, in " + locale + "\n";
    }
    if (browser)
        text += "MimeType=x-scheme-handler/http;x-scheme-handler/https;text/html;\n";
    return text;
}

// What update-desktop-database writes: the browsers for https.
void writeMimeCache(bool withLate)
{
    QByteArray handlers;
    for (int index = 0; index < browserCount; ++index)
        handlers += "browser" + QByteArray::number(index) + ".desktop;";
    if (withLate)
        handlers += "late.desktop;";
    write(applicationsFolder() + u"/mimeinfo.cache"_s,
          "[MIME Cache]\nx-scheme-handler/https=" + handlers + "\nx-scheme-handler/http=" + handlers + "\n");
}

void prepareDesktop()
{
    QDir().mkpath(applicationsFolder());
    QImage icon(256, 256, QImage::Format_ARGB32);
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x)
            icon.setPixel(x, y, qRgba(x, y, (x * y) & 0xff, 0xff));
    }
    if (!icon.save(iconPath()))
        std::abort();
    QDir().mkpath(desktop().filePath(u"config"_s));
    for (int index = 0; index < entryCount; ++index) {
        const bool browser = index < browserCount;
        const QString id = (browser ? u"browser"_s : u"org.example.App"_s) + QString::number(index);
        write(applicationsFolder() + u'/' + id + u".desktop"_s, entry(id, browser));
    }
    writeMimeCache(false);
    // GLib reads these once per process, before anything else asks it.
    qputenv("XDG_DATA_HOME", desktop().filePath(u"data"_s).toUtf8());
    qputenv("XDG_DATA_DIRS", desktop().filePath(u"none"_s).toUtf8());
    qputenv("XDG_CONFIG_HOME", desktop().filePath(u"config"_s).toUtf8());
    qputenv("XDG_CONFIG_DIRS", desktop().filePath(u"none"_s).toUtf8());
    qputenv("XDG_CURRENT_DESKTOP", "X-Generic");
}

// Tells the benchmark that a change came, and passes it on to the browser cache unless told not to.
class ObservedCatalog final : public ApplicationCatalog {
public:
    GioApplicationCatalog inner;
    bool changed = false;
    bool forward = true;

    QList<DesktopEntry> webBrowsers() override { return inner.webBrowsers(); }
    std::optional<DesktopEntry> defaultWebBrowser() override { return inner.defaultWebBrowser(); }
    QList<DesktopEntry> shownApplications() override { return inner.shownApplications(); }
    std::optional<DesktopEntry> application(const QString& id) override { return inner.application(id); }
    std::optional<DesktopEntry> applicationWithWindowClass(const QString& windowClass) override
    {
        return inner.applicationWithWindowClass(windowClass);
    }
    void setChangeHandler(std::function<void()> handler) override
    {
        inner.setChangeHandler([this, handler = std::move(handler)] {
            changed = true;
            if (handler && forward)
                handler();
        });
    }
};

// Installs "late" when it is missing and removes it when it is there, then waits until GIO has said so.
void changeTheDesktop(ObservedCatalog& catalog, bool& lateInstalled)
{
    const QString late = applicationsFolder() + u"/late.desktop"_s;
    lateInstalled = !lateInstalled;
    if (lateInstalled)
        write(late, entry(u"late"_s, true));
    else
        QFile::remove(late);
    writeMimeCache(lateInstalled);
    catalog.changed = false;
    QDeadlineTimer deadline(10'000);
    while (!catalog.changed && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!catalog.changed)
        std::abort();
    // GIO reports each file on its own: let the rest of this change come in before the link.
    const QDeadlineTimer settle(300);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void report(benchmark::State& state, std::vector<double>& milliseconds)
{
    std::sort(milliseconds.begin(), milliseconds.end());
    state.counters["median_ms"] = milliseconds[milliseconds.size() / 2];
    state.counters["p99_ms"] = milliseconds[std::min(milliseconds.size() - 1, milliseconds.size() * 99 / 100)];
}

void firstLinkAfterChange(benchmark::State& state, bool rescannedFromEventLoop, bool withIcons)
{
    ObservedCatalog catalog;
    catalog.forward = rescannedFromEventLoop;
    Browsers::setCatalog(&catalog);
    Browsers::installed();
    bool lateInstalled = false;
    std::vector<double> milliseconds;
    for (auto _ : state) {
        changeTheDesktop(catalog, lateInstalled);
        // Without the rescan after the change, the link finds the cache empty and GIO's folders unread.
        if (!rescannedFromEventLoop)
            Browsers::invalidate();
        const Clock::time_point start = Clock::now();
        const bool found = Browsers::browser(u"late"_s).has_value();
        if (withIcons) {
            for (const Browsers::Browser& browser : Browsers::installed())
                benchmark::DoNotOptimize(BrowserIcons::icon(browser.desktopID, 20));
        }
        milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (found != lateInstalled)
            std::abort();
    }
    Browsers::setCatalog(nullptr);
    report(state, milliseconds);
}

void rescanOnTheLinkPath(benchmark::State& state)
{
    firstLinkAfterChange(state, false, false);
}

void rescanOnTheLinkPathWithIcons(benchmark::State& state)
{
    firstLinkAfterChange(state, false, true);
}

void rescannedFromTheEventLoop(benchmark::State& state)
{
    firstLinkAfterChange(state, true, false);
}

} // namespace

BENCHMARK(rescanOnTheLinkPath)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(rescanOnTheLinkPathWithIcons)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(rescannedFromTheEventLoop)->Unit(benchmark::kMillisecond)->Iterations(20);

int main(int argc, char** argv)
{
    prepareDesktop();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
