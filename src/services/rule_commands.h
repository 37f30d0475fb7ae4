#pragma once

#include "base/result.h"
#include "routing/rule.h"
#include "routing/rule_evaluation.h"
#include "routing/rules_document.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>

class RuleStore;

// The rule operations every door onto Linkherd offers (the `linkherd` tool, the D-Bus interface, the MCP
// server), with one set of rules and one set of error texts. The operations are made on a RulesDocument; where
// the document lives is a backend's business: a rules file, read afresh and edited under its lock, or the
// resident's RuleStore. Nothing is kept between calls.
class RuleCommands final {
public:
    struct Error final {
        enum class Kind {
            invalidRule,     // the rule would not be valid, or a change does not fit the rule
            noSuchRule,      // no rule has the id (or the prefix fits none, or more than one)
            invalidArgument, // the request itself is wrong: not a URL, a prefix too short
            notDone,         // the rules could not be read or written
        };
        Kind kind = Kind::notDone;
        QString text;
    };
    template <typename T>
    using Outcome = Result<T, Error>;

    // A rule's fields as a request gives them; what is absent stays as it is, or takes the new-rule default
    // (enabled, host, no source applications, ask). Every member has an initialiser, so a request names only the
    // fields it gives (`{.pattern = …}`) without a warning for the others.
    struct RuleFields final {
        std::optional<bool> enabled{};
        std::optional<Rule::Match> match{};
        std::optional<QString> pattern{};
        std::optional<QString> browser{};            // "" asks, dropping any profile; another browser keeps the profile
        std::optional<QString> profile{};            // "" removes it; a profile on a rule that asks is refused
        std::optional<Destination::Window> window{}; // another browser keeps it; a rule that asks has only usual
        std::optional<QStringList> sourceApps{};     // empty: links from any application
    };

    // The link-cleaning settings a request gives; what is absent stays as it is.
    struct CleaningFields final {
        std::optional<bool> stripsTrackingParameters;
        std::optional<bool> upgradesToHTTPS;
        std::optional<bool> unwrapsRedirects;
        std::optional<QStringList> parameters;
    };

    // Where a link goes by the rules as they stand, without cleaning.
    struct Resolution final {
        Destination destination;
        std::optional<qsizetype> ruleIndex; // the rule that decided; absent: the fallback
        std::optional<Rule> rule;
    };

    // The rules file at path, read for every call and edited under its lock (the tool, the MCP server).
    static RuleCommands onFile(const QString& path);
    // The resident's rules (the D-Bus interface).
    static RuleCommands onStore(RuleStore& store);

    Outcome<RulesDocument> document() const;
    Outcome<QList<Rule>> list() const;
    // By the whole id, or by a prefix of its text form of at least minimumPrefix characters that only one rule's
    // id starts with.
    Outcome<Rule> get(const QString& id) const;
    // Inserted at position (clamped into 0 … count; -1: at the end). Gives the new rule.
    Outcome<Rule> add(const RuleFields& fields, qsizetype position = -1);
    Outcome<Rule> update(const QString& id, const RuleFields& changes);
    // Every rule the ids name, in one edit: when one of them names none, nothing is removed. Gives the rules
    // removed, in list order.
    Outcome<QList<Rule>> remove(const QStringList& ids);
    // An index out of range changes nothing.
    Outcome<void> removeAt(qsizetype index);
    // To position (clamped into 0 … count - 1).
    Outcome<void> move(const QString& id, qsizetype position);
    Outcome<void> setFallback(const Destination& fallback);
    Outcome<LinkRewriter> changeCleaning(const CleaningFields& changes);
    Outcome<Resolution> resolve(const QString& url, const QString& from = QString()) const;
    Outcome<QString> clean(const QString& url) const;

    static constexpr qsizetype minimumPrefix = 4;

    // The operations themselves, on a document, for backends and tests.
    static Outcome<qsizetype> find(const RulesDocument& document, const QString& id);
    static Outcome<Rule> changed(Rule rule, const RuleFields& changes);
    static QString idText(const QUuid& id);

    using Read = std::function<Outcome<RulesDocument>()>;
    using Edit = std::function<Outcome<void>(const std::function<Outcome<void>(RulesDocument&)>&)>;
    RuleCommands(Read read, Edit edit) : m_read(std::move(read)), m_edit(std::move(edit)) {}

private:
    Read m_read;
    Edit m_edit;
};
