#pragma once

#include "base/result.h"

#include <QString>

// Which application the desktop opens a URL scheme with.
class DefaultHandlers {
public:
    virtual ~DefaultHandlers() = default;

    // Makes the application whose desktop file is at applicationPath the default for scheme ("http"), in
    // every place this desktop looks.
    virtual Result<void> setDefaultForScheme(const QString& applicationPath, const QString& scheme) = 0;
};
