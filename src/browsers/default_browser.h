#pragma once

#include "base/result.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ApplicationCatalog;
class AutostartEntry;
class DefaultHandlers;

// Whether Linkherd receives the desktop's web links, claiming them (or handing them to another browser),
// and starting at login. Completions and reports run later, on the main thread.
class DefaultBrowser final {
public:
    using Completion = std::function<void(std::optional<QString> error)>;

    // The schemes Linkherd claims, in the order they are claimed.
    static const QStringList& webSchemes();

    DefaultBrowser(ApplicationCatalog& catalog, DefaultHandlers& handlers, AutostartEntry& autostart);

    // Asks the system afresh every time.
    bool isDefaultBrowser() const;
    // Makes the application whose desktop file is at applicationPath the default for http, then https,
    // stopping at the first error. Another application than Linkherd is a hand-back: recorded first (see
    // handedBackTo()); Linkherd itself ends the hand-back.
    void makeDefault(const QString& applicationPath, Completion completion);
    void makeLinkherdDefault(Completion completion);
    // Claims the web links; the report says whether the system names Linkherd afterwards.
    void becomeDefaultBrowser(std::function<void(bool isDefault)> report);

    Result<void> setLaunchesAtLogin(bool launches);

    // The desktop file the user last handed the web links to from Linkherd (the command-line tool or the
    // settings), kept in Linkherd's config folder until Linkherd claims them again, so that a running Linkherd
    // tells the user's own hand-back from another program taking the default. Nothing when there is none.
    static std::optional<QString> handedBackTo();
    static void forgetHandBack();

private:
    void makeDefaultFrom(qsizetype schemeIndex, const QString& applicationPath, Completion completion);

    ApplicationCatalog& m_catalog;
    DefaultHandlers& m_handlers;
    AutostartEntry& m_autostart;
};
