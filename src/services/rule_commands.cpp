#include "rule_commands.h"

#include "routing/link_parts.h"
#include "routing/rule_store.h"
#include "routing/rules_file.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Error = RuleCommands::Error;
template <typename T>
using Outcome = RuleCommands::Outcome<T>;

Error noSuchRule(const QString& id)
{
    return Error{Error::Kind::noSuchRule, u"No rule has the id "_s + id + u'.'};
}

// A backend's Change only carries a text; the typed error of the operation travels beside it.
RulesFile::Change carrying(const std::function<Outcome<void>(RulesDocument&)>& operation,
                           const std::shared_ptr<std::optional<Error>>& refusal)
{
    return [operation, refusal](RulesDocument& document) -> Result<void> {
        Outcome<void> done = operation(document);
        if (done)
            return {};
        *refusal = done.error();
        return Failure{done.error().text};
    };
}

} // namespace

RuleCommands RuleCommands::onFile(const QString& path)
{
    Read read = [path]() -> Outcome<RulesDocument> {
        Result<std::optional<RulesFile::Contents>, RulesFile::Unreadable> contents = RulesFile::read(path);
        if (!contents)
            return Error{Error::Kind::notDone, path + u": "_s + contents.error().error};
        return *contents ? std::move(contents.value()->document) : RulesDocument();
    };
    Edit edit = [path](const std::function<Outcome<void>(RulesDocument&)>& operation) -> Outcome<void> {
        const auto refusal = std::make_shared<std::optional<Error>>();
        const Result<QByteArray> written = RulesFile::edit(path, carrying(operation, refusal));
        if (written)
            return {};
        return refusal->value_or(Error{Error::Kind::notDone, written.error()});
    };
    return RuleCommands(std::move(read), std::move(edit));
}

RuleCommands RuleCommands::onStore(RuleStore& store)
{
    Read read = [&store]() -> Outcome<RulesDocument> { return store.currentDocument(); };
    Edit edit = [&store](const std::function<Outcome<void>(RulesDocument&)>& operation) -> Outcome<void> {
        // Checked on the rules in force; the store writes it onto the file as it is on disk.
        const auto refusal = std::make_shared<std::optional<Error>>();
        if (const Result<void> done = store.edit(carrying(operation, refusal)); !done)
            return refusal->value_or(Error{Error::Kind::notDone, done.error()});
        return {};
    };
    return RuleCommands(std::move(read), std::move(edit));
}

QString RuleCommands::idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

Outcome<qsizetype> RuleCommands::find(const RulesDocument& document, const QString& id)
{
    const QString wanted = id.trimmed().toUpper();
    if (wanted.size() < minimumPrefix)
        return Error{Error::Kind::invalidArgument, u"Give at least %1 characters of a rule's id."_s.arg(minimumPrefix)};
    std::optional<qsizetype> found;
    for (qsizetype index = 0; index < document.rules.size(); ++index) {
        const QString text = idText(document.rules[index].id);
        if (text == wanted)
            return index;
        if (!text.startsWith(wanted))
            continue;
        if (found)
            return Error{Error::Kind::noSuchRule, u"More than one rule's id starts with "_s + id + u'.'};
        found = index;
    }
    if (!found)
        return noSuchRule(id);
    return *found;
}

Outcome<Rule> RuleCommands::changed(Rule rule, const RuleFields& changes)
{
    if (changes.enabled)
        rule.isEnabled = *changes.enabled;
    if (changes.match)
        rule.match = *changes.match;
    if (changes.pattern)
        rule.pattern = *changes.pattern;
    if (changes.sourceApps)
        rule.sourceDesktopIDs = *changes.sourceApps;
    if (changes.browser) {
        // Another browser keeps the profile: profiles are named alike across browsers of one family.
        rule.destination =
            changes.browser->isEmpty()
                ? Destination::ask()
                : Destination::browser(*changes.browser, rule.destination.profile(), rule.destination.window());
    }
    if (changes.profile) {
        // Refused, not ignored: a script must not believe it set what it did not.
        if (rule.destination.isAsk() && !changes.profile->isEmpty())
            return Error{Error::Kind::invalidRule, u"A rule that asks has no profile; give it a browser first."_s};
        if (rule.destination.isBrowser())
            rule.destination = Destination::browser(
                rule.destination.desktopID(),
                changes.profile->isEmpty() ? std::nullopt : std::optional<QString>(*changes.profile),
                rule.destination.window());
    }
    if (changes.window) {
        if (rule.destination.isAsk() && *changes.window != Destination::Window::usual)
            return Error{Error::Kind::invalidRule, u"A rule that asks has no window; give it a browser first."_s};
        if (rule.destination.isBrowser())
            rule.destination =
                Destination::browser(rule.destination.desktopID(), rule.destination.profile(), *changes.window);
    }
    if (const QString error = rule.validityError(); !error.isEmpty())
        return Error{Error::Kind::invalidRule, error};
    return rule;
}

Outcome<RulesDocument> RuleCommands::document() const
{
    return m_read();
}

Outcome<QList<Rule>> RuleCommands::list() const
{
    Outcome<RulesDocument> read = m_read();
    if (!read)
        return read.error();
    return std::move(read.value().rules);
}

Outcome<Rule> RuleCommands::get(const QString& id) const
{
    const Outcome<RulesDocument> read = m_read();
    if (!read)
        return read.error();
    const Outcome<qsizetype> index = find(*read, id);
    if (!index)
        return index.error();
    return read->rules[*index];
}

Outcome<Rule> RuleCommands::add(const RuleFields& fields, qsizetype position)
{
    // The id is made once: the store may make the same change again on a newer document.
    const Outcome<Rule> rule = changed(Rule(), fields);
    if (!rule)
        return rule.error();
    const Outcome<void> done = m_edit([rule = *rule, position](RulesDocument& document) -> Outcome<void> {
        const qsizetype count = document.rules.size();
        document.rules.insert(position == -1 ? count : std::clamp<qsizetype>(position, 0, count), rule);
        return {};
    });
    if (!done)
        return done.error();
    return *rule;
}

Outcome<Rule> RuleCommands::update(const QString& id, const RuleFields& changes)
{
    // Shared, not referred to: the store may make the change again later, on a newer document.
    const auto result = std::make_shared<std::optional<Rule>>();
    const Outcome<void> done = m_edit([result, id, changes](RulesDocument& document) -> Outcome<void> {
        const Outcome<qsizetype> index = find(document, id);
        if (!index)
            return index.error();
        Outcome<Rule> rule = changed(document.rules[*index], changes);
        if (!rule)
            return rule.error();
        document.rules[*index] = *rule;
        *result = *rule;
        return {};
    });
    if (!done)
        return done.error();
    return **result;
}

Outcome<QList<Rule>> RuleCommands::remove(const QStringList& ids)
{
    const auto result = std::make_shared<QList<Rule>>();
    const Outcome<void> done = m_edit([result, ids](RulesDocument& document) -> Outcome<void> {
        // All or nothing: a mistyped id, or one another writer has just removed, removes none.
        QList<QUuid> found;
        for (const QString& id : ids) {
            const Outcome<qsizetype> index = find(document, id);
            if (!index)
                return index.error();
            found.append(document.rules[*index].id);
        }
        document.rules.removeIf([&](const Rule& rule) {
            if (!found.contains(rule.id))
                return false;
            result->append(rule);
            return true;
        });
        return {};
    });
    if (!done)
        return done.error();
    return *result;
}

Outcome<void> RuleCommands::removeAt(qsizetype index)
{
    return m_edit([index](RulesDocument& document) -> Outcome<void> {
        if (index >= 0 && index < document.rules.size())
            document.rules.removeAt(index);
        return {};
    });
}

Outcome<void> RuleCommands::move(const QString& id, qsizetype position)
{
    return m_edit([id, position](RulesDocument& document) -> Outcome<void> {
        const Outcome<qsizetype> index = find(document, id);
        if (!index)
            return index.error();
        document.rules.move(*index, std::clamp<qsizetype>(position, 0, document.rules.size() - 1));
        return {};
    });
}

Outcome<void> RuleCommands::setFallback(const Destination& fallback)
{
    return m_edit([fallback](RulesDocument& document) -> Outcome<void> {
        document.fallback = fallback;
        return {};
    });
}

Outcome<LinkRewriter> RuleCommands::changeCleaning(const CleaningFields& changes)
{
    const auto result = std::make_shared<LinkRewriter>();
    const Outcome<void> done = m_edit([result, changes](RulesDocument& document) -> Outcome<void> {
        LinkRewriter rewriter = document.rewriter.value_or(LinkRewriter::initial());
        if (changes.stripsTrackingParameters)
            rewriter.stripsTrackingParameters = *changes.stripsTrackingParameters;
        if (changes.upgradesToHTTPS)
            rewriter.upgradesToHTTPS = *changes.upgradesToHTTPS;
        if (changes.unwrapsRedirects)
            rewriter.unwrapsRedirects = *changes.unwrapsRedirects;
        if (changes.parameters)
            rewriter.parameters = *changes.parameters;
        document.rewriter = rewriter == LinkRewriter::initial() ? std::nullopt : std::optional(rewriter);
        *result = rewriter;
        return {};
    });
    if (!done)
        return done.error();
    return *result;
}

Outcome<RuleCommands::Resolution> RuleCommands::resolve(const QString& url, const QString& from) const
{
    if (!LinkParts::hasScheme(url))
        return Error{Error::Kind::invalidArgument, u"Give resolve a URL, as text."_s};
    const Outcome<RulesDocument> read = m_read();
    if (!read)
        return read.error();
    const Decision decision = decide(read->rules, read->fallback, url, from);
    Resolution resolution{decision.destination, decision.ruleIndex, std::nullopt};
    if (decision.ruleIndex)
        resolution.rule = read->rules[*decision.ruleIndex];
    return resolution;
}

Outcome<QString> RuleCommands::clean(const QString& url) const
{
    if (!LinkParts::hasScheme(url))
        return Error{Error::Kind::invalidArgument, u"Give clean a URL, as text."_s};
    const Outcome<RulesDocument> read = m_read();
    if (!read)
        return read.error();
    return read->rewriter.value_or(LinkRewriter::initial()).apply(url);
}
