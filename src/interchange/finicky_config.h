#pragma once

#include "base/result.h"
#include "routing/destination.h"
#include "routing/rule.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Moving rules between Linkherd and Finicky, whose configuration is a JavaScript file. Importing evaluates
// that file in a bounded JavaScript engine next to a small stand-in for Finicky's runtime (FinickyEvaluation,
// src/scripting, which only the `linkherd` tool links) and maps what it exports onto rules; everything a rule
// cannot express is described in a note. Exporting writes the rules as such a file, with whatever Finicky cannot
// express written as comments. No widgets and no JavaScript engine here: the rules window runs both through the
// `linkherd finicky` commands and reads their report (finicky_report.h).
namespace FinickyConfig {

// Why an import gave no rules.
struct ImportError final {
    enum class Kind {
        unreadable, // the file could not be read or did not evaluate; message says why
        notAConfig, // the evaluation produced nothing usable
    };
    Kind kind = Kind::notAConfig;
    QString message; // the engine's exception text or the reading error; empty for notAConfig

    static ImportError unreadable(QString message) { return {Kind::unreadable, std::move(message)}; }
    static ImportError notAConfig() { return {Kind::notAConfig, {}}; }

    // The sentence shown to the user.
    QString description() const;

    friend bool operator==(const ImportError&, const ImportError&) = default;
};

// What an import found.
struct Imported final {
    QList<Rule> rules;                   // in handler order, duplicates removed
    std::optional<Destination> fallback; // absent when the configuration names no usable default browser
    QStringList notes;                   // one per thing skipped or changed, in order
};

// The user's existing Finicky configuration: the first of ~/.finicky.js, ~/.config/finicky/finicky.js and
// ~/.config/finicky/finicky.ts that exists.
std::optional<QString> locateExisting();

// The whole text of a Finicky configuration for these rules and this fallback. Cannot fail.
QString exportConfig(const QList<Rule>& rules, const Destination& fallback);

} // namespace FinickyConfig
