#pragma once

#include "base/result.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a desktop entry's Exec needs besides the links: the keys and the file its field codes stand for.
struct DesktopExec {
    QString commandLine; // Exec, as the key file reads it (its own escapes \s \n \t \r \\ already undone)
    QString name;        // %c: Name in the user's language
    QString icon;        // %i: Icon; "--icon <Icon>", or nothing without one
    QString location;    // %k: where the desktop file is
};

// The argument vectors that open these links in the entry's application, one per start, as the desktop entry
// standard reads Exec: arguments split at unquoted blanks, "…" quoting with \" \` \$ \\ inside, a link
// always exactly one argument where its field code stands (never re-read as quoting, whatever it holds). %U and
// %F take every link in one start; %u and %f one start per link, as does an Exec without any of them, which then
// gets the link at the end (GIO's reading). %f hands a file: link over as its local path. The deprecated codes
// and unknown ones stand for nothing, and a field code inside quotes is plain text, as the desktop entry standard
// forbids it there. GIO's leniencies that real entries rely on are kept: '…' quoting and a backslash escaping the next
// character outside quotes. Fails for an empty command line or an unterminated quote.
Result<QList<QStringList>> expandExec(const DesktopExec& entry, const QStringList& links);
