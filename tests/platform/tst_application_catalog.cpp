#include "platform/gio/gio_application_catalog.h"
#include "support/sandbox/sandboxed_desktop.h"

#include <QCoreApplication>
#include <QTest>

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

constexpr char printShownApplications[] = "--print-shown-applications";

// The child's side: GLib reads the sandbox's XDG variables once, so the catalog is asked in a process of its own.
int printShown()
{
    GioApplicationCatalog catalog;
    for (const DesktopEntry& entry : catalog.shownApplications())
        std::printf("%s\t%s\n", qPrintable(entry.id), qPrintable(entry.name));
    return 0;
}

} // namespace

// What the desktop's catalog reads from a (sandboxed) desktop.
class ApplicationCatalogTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The applications a menu would show: not those hidden from menus, deleted by the user or meant for another
    // desktop; whether they open links does not matter.
    void shownApplicationsAreTheMenus()
    {
        SandboxedDesktop desktop;
        desktop.setCurrentDesktop(u"GNOME"_s);
        desktop.addBrowser({.id = u"org.example.Browser"_s, .name = u"Browser"_s});
        desktop.addBrowser({.id = u"org.example.Editor"_s, .name = u"Editor"_s, .mimeTypes = u"text/plain;"_s});
        desktop.addBrowser({.id = u"hidden"_s, .extraKeys = {{u"Hidden"_s, u"true"_s}}});
        desktop.addBrowser({.id = u"nodisplay"_s, .extraKeys = {{u"NoDisplay"_s, u"true"_s}}});
        desktop.addBrowser({.id = u"kde-only"_s, .extraKeys = {{u"OnlyShowIn"_s, u"KDE;"_s}}});
        desktop.addBrowser({.id = u"not-gnome"_s, .extraKeys = {{u"NotShowIn"_s, u"GNOME;"_s}}});
        desktop.refreshDesktopDatabase();

        const SandboxedDesktop::Run run =
            desktop.run(QCoreApplication::applicationFilePath(), {QString::fromLatin1(printShownApplications)});
        QCOMPARE(run.exitCode, 0);
        QStringList shown = run.out.split(u'\n', Qt::SkipEmptyParts);
        shown.sort();
        QCOMPARE(shown, QStringList({u"org.example.Browser\tBrowser"_s, u"org.example.Editor\tEditor"_s}));
    }
};

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], printShownApplications) == 0)
        return printShown();
    QCoreApplication application(argc, argv);
    ApplicationCatalogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application_catalog.moc"
