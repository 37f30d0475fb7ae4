#pragma once

#include "application_catalog.h"

// The catalog as GIO reads it: mimeinfo.cache and the mimeapps.list files of the XDG directories.
class GioApplicationCatalog final : public ApplicationCatalog {
public:
    QList<DesktopEntry> webBrowsers() override;
    std::optional<DesktopEntry> defaultWebBrowser() override;
    std::optional<DesktopEntry> application(const QString& id) override;
};
