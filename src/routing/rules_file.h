#pragma once

#include "base/result.h"
#include "rules_document.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The rules file on disk: where it lives, reading it whole, replacing it atomically.
namespace RulesFile {

// $XDG_CONFIG_HOME/linkherd/rules.json (normally ~/.config/linkherd/rules.json); nothing is created.
QString defaultPath();

// The folder of the default rules file, created with its parents when missing.
Result<QString> ensureDefaultDirectory();

// A rules file that decoded, and the bytes it came from.
struct Contents final {
    QByteArray bytes;
    RulesDocument document;
};

// A rules file that could not be read or did not decode.
struct Unreadable final {
    QByteArray bytes; // what was read; null when nothing could be
    QString error;    // why
};

// The file's contents; nothing when there is no file.
Result<std::optional<Contents>, Unreadable> read(const QString& path);

// Replaces the file with the document as Linkherd writes it, atomically (through a symbolic link in its place);
// the default file's folder is created when missing. Every writer of rules files goes through here. Gives the
// bytes written.
Result<QByteArray> write(const QString& path, const RulesDocument& document);

// Keeps what an unreadable rules file held (bytes, as read) as "<name>.unreadable-<UTC time>" next to it, so that
// nothing Linkherd writes later can destroy what the user had. An existing file is never replaced. Returns the
// copy's path; fails when bytes is null (nothing could be read: there is nothing to keep).
Result<QString> keepUnreadableCopy(const QString& path, const QByteArray& bytes);

// Removes what interrupted atomic saves of the file left behind: "<name>.XXXXXX" next to the file (after
// following a symbolic link, where the saves go), older than a minute. Returns the paths removed.
QStringList removeInterruptedSaves(const QString& path);

} // namespace RulesFile
