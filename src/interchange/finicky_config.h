#pragma once

#include "base/result.h"
#include "routing/destination.h"
#include "routing/rule.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Moving rules between Linkherd and Finicky, whose configuration is a JavaScript file. Importing evaluates
// that file in a bounded JavaScript engine next to a small stand-in for Finicky's runtime and maps what it
// exports onto rules; everything a rule cannot express is described in a note. Exporting writes the rules as
// such a file, with whatever Finicky cannot express written as comments. No widgets: the rules window and the
// `linkherd finicky` command share it.
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

// Evaluates a whole configuration text and converts what it exports. Browsers are resolved against the
// installed ones (Browsers::installed).
Result<Imported, ImportError> parse(const QString& text);

// The whole text of a Finicky configuration for these rules and this fallback. Cannot fail.
QString exportConfig(const QList<Rule>& rules, const Destination& fallback);

} // namespace FinickyConfig
