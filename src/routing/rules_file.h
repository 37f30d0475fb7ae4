#pragma once

#include "base/result.h"
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

// Keeps what an unreadable rules file held (bytes, as read) as "<name>.unreadable-<UTC time>" next to it, so that
// nothing Linkherd writes later can destroy what the user had. An existing file is never replaced. Returns the
// copy's path; fails when bytes is null (nothing could be read: there is nothing to keep).
Result<QString> keepUnreadableCopy(const QString& path, const QByteArray& bytes);

// Removes what interrupted atomic saves of the file left behind: "<name>.XXXXXX" next to the file (after
// following a symbolic link, where the saves go), older than a minute. Returns the paths removed.
QStringList removeInterruptedSaves(const QString& path);

} // namespace RulesFile
