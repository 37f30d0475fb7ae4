#pragma once

#include "platform/autostart_entry.h"

#include <QString>

// $XDG_CONFIG_HOME/autostart/org.linkherd.Linkherd.desktop, which session managers start at login.
class XdgAutostartEntry final : public AutostartEntry {
public:
    static QString path();

    Status status() override;
    Result<void> enable() override;
    Result<void> disable() override;
};
