#pragma once

#include "base/result.h"

// Starting Linkherd when the user logs in: an XDG autostart entry.
class AutostartEntry {
public:
    enum class Status { notRegistered, enabled, requiresApproval };

    virtual ~AutostartEntry() = default;

    virtual Status status() = 0;
    virtual Result<void> enable() = 0;
    virtual Result<void> disable() = 0;
};
