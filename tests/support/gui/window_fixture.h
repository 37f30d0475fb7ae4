#pragma once

#include "browsers/browsers.h"
#include "browsers/default_browser.h"
#include "routing/rule_store.h"
#include "services/preferences.h"
#include "support/fakes/fake_platform.h"

#include <QTemporaryDir>

// What a window works over, from the fakes: the desktop's browsers and applications (Browsers' catalog while
// the fixture lives), its default handlers (which make a new default the catalog's) and autostart entry, and a
// rule store and preferences of their own in a temporary folder. A suite makes one per test in init().
struct WindowFixture {
    explicit WindowFixture(QList<DesktopEntry> browsers, QList<DesktopEntry> applications = {})
    {
        catalog.browsers = std::move(browsers);
        catalog.applications = std::move(applications);
        handlers.catalog = &catalog;
        Browsers::setCatalog(&catalog);
    }
    ~WindowFixture() { Browsers::setCatalog(nullptr); }
    Q_DISABLE_COPY_MOVE(WindowFixture)

    QString filePath(const QString& name) const { return folder.filePath(name); }

    QTemporaryDir folder;
    FakeApplicationCatalog catalog;
    FakeDefaultHandlers handlers;
    FakeAutostartEntry autostart;
    RuleStore store{folder.filePath(QStringLiteral("rules.json"))};
    Preferences preferences{folder.filePath(QStringLiteral("preferences.ini"))};
    DefaultBrowser defaultBrowser{catalog, handlers, autostart};
};
