#pragma once

#include "platform/application_catalog.h"

#include <QHash>

#include <memory>

// The catalog as GIO reads it: mimeinfo.cache and the mimeapps.list files of the XDG directories.
class GioApplicationCatalog final : public ApplicationCatalog {
public:
    GioApplicationCatalog();
    ~GioApplicationCatalog() override;
    GioApplicationCatalog(const GioApplicationCatalog&) = delete;
    GioApplicationCatalog& operator=(const GioApplicationCatalog&) = delete;

    QList<DesktopEntry> webBrowsers() override;
    std::optional<DesktopEntry> defaultWebBrowser() override;
    QList<DesktopEntry> shownApplications() override;
    std::optional<DesktopEntry> application(const QString& id) override;
    std::optional<DesktopEntry> applicationWithWindowClass(const QString& windowClass) override;
    void prepareWindowClasses() override;
    // The handler is called for changes once watch() has started GIO's monitor.
    void setChangeHandler(std::function<void()> handler) override;
    // Starts GIO's application monitor (the resident does, once the links that woke it are handed over); the
    // window-class table starts it too, since it is good only until the applications change.
    void watch();

private:
    struct Monitor;

    void readWindowClasses();
    void changed();

    std::unique_ptr<Monitor> m_monitor;
    std::function<void()> m_changeHandler;
    // Case-folded StartupWMClass -> desktop ID, read from every entry once and kept until the applications change.
    std::optional<QHash<QString, QString>> m_windowClasses;
    bool m_keepsWindowClasses = false; // read again after every change
};
