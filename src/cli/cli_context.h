#pragma once

#include "base/result.h"
#include "routing/rules_document.h"

#include <QString>
#include <QTextStream>

#include <functional>

namespace ExitCode {
inline constexpr int success = 0;
inline constexpr int failure = 1; // the command could not do its work
inline constexpr int usage = 2;   // the command line was wrong
} // namespace ExitCode

class ApplicationCatalog;
class ApplicationLauncher;
class AutostartEntry;
class DefaultHandlers;
struct Command;

// The desktop that the browser commands look at and act on.
struct CliServices final {
    ApplicationCatalog* catalog = nullptr;
    ApplicationLauncher* launcher = nullptr;
    DefaultHandlers* defaultHandlers = nullptr;
    AutostartEntry* autostart = nullptr;
};

// What every command works with: its output streams, the rules file it reads and the desktop.
struct CliContext final {
    QTextStream& out;
    QTextStream& err;
    QString rulesPath;
    CliServices services;
    const Command* command = nullptr; // the command running, once the command line names one

    // The rules document; a missing file is an empty one. A file that cannot be read gives the reason, naming
    // the file: the tool never guesses at rules.
    Result<RulesDocument> loadRules() const;

    // Reports a wrong command line, with the usage of the command running, and returns the usage exit code.
    int usageError(const QString& message) const;
    // Reports why the command could not do its work and returns the failure exit code.
    int failure(const QString& message) const;
};

// Runs the event loop until start's done() is called, or the time the desktop is given to finish a launch or a
// change runs out (false).
bool waitForDesktop(const std::function<void(std::function<void()> done)>& start);
