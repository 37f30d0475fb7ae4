#pragma once

#include "destination.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

// One routing rule. A newly made rule is enabled, a host rule with an empty pattern, for links from any
// application, asking every time.
struct Rule final {
    // The order is the order in which editors list the kinds.
    enum class Match { host, urlContains, regex };

    QUuid id = QUuid::createUuid();
    bool isEnabled = true;
    Match match = Match::host;
    QString pattern;              // stored as entered; every use trims white space at both ends
    QStringList sourceDesktopIDs; // empty: links from any application
    Destination destination = Destination::ask();

    // A rule that can be stored from an editor: a pattern that is not blank and, for a regex rule, compiles.
    bool isValid() const;
    // Why the rule is not valid ("The pattern is empty.", "Not a valid regular expression: …"); empty when it is.
    QString validityError() const;
    // "Host is example.com", "URL contains …", "URL matches …".
    QString summary() const;
    // Whether this rule takes the link; an empty source means the link came from no known application.
    bool matches(const QString& link, const QString& sourceDesktopID = QString()) const;

    QString trimmedPattern() const { return pattern.trimmed(); }

    friend bool operator==(const Rule&, const Rule&) = default;
};

QString matchText(Rule::Match match);
// How windows name a match kind: "Host is", "URL contains", "URL matches".
QString matchWording(Rule::Match match);
std::optional<Rule::Match> matchFromText(QStringView text);
