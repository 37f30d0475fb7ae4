#pragma once

#include "base/file_lock.h"
#include "base/result.h"
#include "rules_document.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
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

// The most characters a rule's pattern, browser, profile or any of its source applications may have, and the
// fallback's browser and profile: far more than any real rule needs, far less than would let a script fill the
// file a few rules at a time.
inline constexpr qsizetype fieldLimit = 64 * 1024;

// The document as Linkherd writes it; refused, saying what is too large, when a field is longer than fieldLimit
// or the whole larger than Linkherd reads back.
Result<QByteArray> encode(const RulesDocument& document);

// Replaces the file with the document as Linkherd writes it (encode), atomically (through a symbolic link in its
// place); the default file's folder is created when missing. Every writer of rules files goes through here. Gives
// the bytes written. A document encode refuses is not written, and the file stays as it was. The failure's text
// does not name the file.
Result<QByteArray> write(const QString& path, const RulesDocument& document);

// Every Linkherd writer does its read-modify-write under this lock: ".<name>.lock" beside the file a symbolic
// link in its place points to, where the saves go (two links to one file share one lock).
QString lockPath(const QString& path);
Result<FileLock, FileLock::Error> lock(const QString& path, std::chrono::milliseconds wait);

// How old a save's temporary file must be for a writer holding the lock to remove it. Linkherd's writers keep
// theirs only while they hold the lock, and a save names its file only for the moment between linking it and
// renaming it over the rules (an unnamed O_TMPFILE until then): one seen by the lock's holder is a killed
// writer's.
inline constexpr std::chrono::seconds interruptedSaveAgeUnderLock{2};

// One change to the document as it is on disk now.
using Change = std::function<Result<void>(RulesDocument&)>;

// Applies one change without losing anyone else's: takes the lock, reads the file's current bytes (no file is an
// empty document), applies the change, writes atomically, lets go. A file that cannot be read, or a lock held
// for longer than `wait`, writes nothing and fails with a text that names the file; a change that fails writes
// nothing and passes its error on as it is. Gives the bytes written.
Result<QByteArray> edit(const QString& path, const Change& change,
                        std::chrono::milliseconds wait = std::chrono::seconds(10));

// Keeps what an unreadable rules file held (bytes, as read) as "<name>.unreadable-<UTC time>" next to it, so that
// nothing Linkherd writes later can destroy what the user had. An existing file is never replaced. Returns the
// copy's path; fails when bytes is null (nothing could be read: there is nothing to keep).
Result<QString> keepUnreadableCopy(const QString& path, const QByteArray& bytes);

// Removes what interrupted atomic saves of the file left behind: "<name>.XXXXXX" next to the file (after
// following a symbolic link, where the saves go), older than olderThan. Returns the paths removed.
QStringList removeInterruptedSaves(const QString& path, std::chrono::seconds olderThan = std::chrono::minutes(1));

} // namespace RulesFile
