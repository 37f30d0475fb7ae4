#pragma once

#include "result.h"
#include "rules_document.h"

#include <QByteArray>
#include <QString>

// The rules file on disk: where it lives, reading it whole, replacing it atomically.
namespace RulesFile {

// $XDG_CONFIG_HOME/linkherd/rules.json (normally ~/.config/linkherd/rules.json); nothing is created.
QString defaultPath();

// The folder of the default rules file, created with its parents when missing.
Result<QString> ensureDefaultDirectory();

struct Contents final {
    enum class Status { missing, unreadable, decoded };
    Status status = Status::missing;
    QByteArray bytes;       // what was read, also when it did not decode
    RulesDocument document; // when decoded
    QString error;          // when unreadable: why
};

Contents read(const QString& path);

// Copies an unreadable rules file aside as "<name>.unreadable-<UTC time>", so that nothing Linkherd writes
// later can destroy what the user had. Returns the copy's path.
Result<QString> keepUnreadableCopy(const QString& path);

} // namespace RulesFile
