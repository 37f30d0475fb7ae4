#include "scripting_bus.h"

#include "base/logging.h"
#include "bus_properties.h"
#include "routing/link_parts.h"
#include "routing/rule_store.h"

#include <QDBusError>
#include <QDBusMetaType>

using namespace Qt::StringLiterals;

namespace {

const QString errorPrefix = u"org.linkherd.Linkherd.Error."_s;

QVariantMap dictionaryOf(const Rule& rule)
{
    return {
        {u"id"_s, RuleCommands::idText(rule.id)},
        {u"enabled"_s, rule.isEnabled},
        {u"match"_s, matchText(rule.match)},
        {u"pattern"_s, rule.pattern},
        {u"browser"_s, rule.destination.desktopID()},
        {u"profile"_s, rule.destination.profile().value_or(QString())},
        {u"window"_s, windowKeyword(rule.destination.window())},
        {u"sourceApps"_s, rule.sourceDesktopIDs},
    };
}

template <typename T>
bool holds(const QVariant& value)
{
    return value.metaType() == QMetaType::fromType<T>();
}

} // namespace

ScriptingBus::ScriptingBus(ScriptingBackend& backend, QObject* object)
    : QDBusAbstractAdaptor(object),
      m_backend(backend),
      m_commands(RuleCommands::onStore(backend.store()))
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    // Properties are read and written through it, the types of written values checked; a refused fallback is an
    // error to the caller.
    auto* properties = new BusProperties(object);
    properties->setWriter(u"org.linkherd.Linkherd.Scripting"_s, u"FallbackBrowser"_s,
                          [this](const QVariant& value, const QDBusMessage& call) {
                              const RuleCommands::Outcome<void> set = changeFallback(value.toString());
                              succeeded(set ? nullptr : &set.error(), {}, call);
                          });
    // Whoever made the change: a window, the panel's "Always open", the tool, an editor, this interface.
    connect(&backend.store(), &RuleStore::rulesOrFallbackChanged, this, &ScriptingBus::RulesChanged);
}

bool ScriptingBus::succeeded(const RuleCommands::Error* error, const QString& invalidArgumentName,
                             const QDBusMessage& call)
{
    if (!error)
        return true;
    switch (error->kind) {
    case RuleCommands::Error::Kind::invalidRule:
        BusProperties::refuse(call, errorPrefix + u"InvalidRule"_s, error->text);
        break;
    case RuleCommands::Error::Kind::noSuchRule:
        BusProperties::refuse(call, errorPrefix + u"NoSuchRule"_s, error->text);
        break;
    case RuleCommands::Error::Kind::invalidArgument:
        BusProperties::refuse(call, errorPrefix + invalidArgumentName, error->text);
        break;
    case RuleCommands::Error::Kind::notDone:
        BusProperties::refuse(call, errorPrefix + u"NotSaved"_s, error->text);
        break;
    }
    return false;
}

std::optional<RuleCommands::RuleFields> ScriptingBus::fieldsOf(const QVariantMap& map, const QString& forId,
                                                               const QDBusMessage& call)
{
    RuleCommands::RuleFields fields;
    QString wrong;
    for (auto entry = map.cbegin(); entry != map.cend() && wrong.isEmpty(); ++entry) {
        const QString& key = entry.key();
        const QVariant& value = entry.value();
        const bool isText = holds<QString>(value);
        if (key == u"id"_s) {
            // A dictionary read with GetRule may come back whole; it cannot give a rule another id.
            if (!isText || forId.isEmpty() || value.toString().compare(forId, Qt::CaseInsensitive) != 0)
                wrong = u"A rule's id is its own: \"id\" cannot be given here."_s;
        } else if (key == u"enabled"_s && holds<bool>(value)) {
            fields.enabled = value.toBool();
        } else if (key == u"match"_s && isText) {
            fields.match = matchFromText(value.toString());
            if (!fields.match)
                wrong = u"\"match\" is \"host\", \"urlContains\" or \"regex\"."_s;
        } else if (key == u"pattern"_s && isText) {
            fields.pattern = value.toString();
        } else if (key == u"browser"_s && isText) {
            fields.browser = value.toString();
        } else if (key == u"profile"_s && isText) {
            fields.profile = value.toString();
        } else if (key == u"window"_s && isText) {
            fields.window = windowFromKeyword(value.toString());
            if (!fields.window)
                wrong = u"\"window\" is \"usual\", \"new\" or \"private\"."_s;
        } else if (key == u"sourceApps"_s && holds<QStringList>(value)) {
            fields.sourceApps = value.toStringList();
        } else if (QStringList{u"enabled"_s, u"match"_s, u"pattern"_s, u"browser"_s, u"profile"_s, u"window"_s,
                               u"sourceApps"_s}
                       .contains(key)) {
            wrong = u"\"%1\" has the wrong type (%2)."_s.arg(key, QString::fromLatin1(value.typeName()));
        } else {
            wrong = u"A rule has no key \"%1\"."_s.arg(key);
        }
    }
    if (wrong.isEmpty())
        return fields;
    BusProperties::refuse(call, QDBusError::errorString(QDBusError::InvalidArgs), wrong);
    return std::nullopt;
}

QList<QVariantMap> ScriptingBus::GetRules(const QDBusMessage& call)
{
    const RuleCommands::Outcome<QList<Rule>> rules = m_commands.list();
    if (!succeeded(rules ? nullptr : &rules.error(), {}, call))
        return {};
    QList<QVariantMap> dictionaries;
    for (const Rule& rule : *rules)
        dictionaries.append(dictionaryOf(rule));
    return dictionaries;
}

QVariantMap ScriptingBus::GetRule(const QString& id, const QDBusMessage& call)
{
    const RuleCommands::Outcome<Rule> rule = m_commands.get(id);
    if (!succeeded(rule ? nullptr : &rule.error(), u"NoSuchRule"_s, call))
        return {};
    return dictionaryOf(*rule);
}

QString ScriptingBus::AddRule(const QVariantMap& rule, int position, const QDBusMessage& call)
{
    const std::optional<RuleCommands::RuleFields> fields = fieldsOf(rule, QString(), call);
    if (!fields)
        return {};
    const RuleCommands::Outcome<Rule> added = m_commands.add(*fields, position);
    if (!succeeded(added ? nullptr : &added.error(), {}, call))
        return {};
    return RuleCommands::idText(added->id);
}

void ScriptingBus::UpdateRule(const QString& id, const QVariantMap& changes, const QDBusMessage& call)
{
    const std::optional<RuleCommands::RuleFields> fields = fieldsOf(changes, id, call);
    if (!fields)
        return;
    const RuleCommands::Outcome<Rule> updated = m_commands.update(id, *fields);
    succeeded(updated ? nullptr : &updated.error(), u"NoSuchRule"_s, call);
}

void ScriptingBus::RemoveRule(const QString& id, const QDBusMessage& call)
{
    const RuleCommands::Outcome<QList<Rule>> removed = m_commands.remove({id});
    succeeded(removed ? nullptr : &removed.error(), u"NoSuchRule"_s, call);
}

void ScriptingBus::RemoveRuleAt(int index, const QDBusMessage& call)
{
    const RuleCommands::Outcome<void> removed = m_commands.removeAt(index);
    succeeded(removed ? nullptr : &removed.error(), {}, call);
}

void ScriptingBus::MoveRule(const QString& id, int position, const QDBusMessage& call)
{
    const RuleCommands::Outcome<void> moved = m_commands.move(id, position);
    succeeded(moved ? nullptr : &moved.error(), u"NoSuchRule"_s, call);
}

QString ScriptingBus::Resolve(const QString& url, const QString& from, const QDBusMessage& call)
{
    const RuleCommands::Outcome<RuleCommands::Resolution> resolved = m_commands.resolve(url, from);
    if (!succeeded(resolved ? nullptr : &resolved.error(), u"InvalidURL"_s, call))
        return {};
    return resolved->destination.isAsk() ? u"ask"_s : resolved->destination.desktopID();
}

void ScriptingBus::Route(const QString& url, const QDBusMessage& call)
{
    if (!LinkParts::hasScheme(url)) {
        BusProperties::refuse(call, errorPrefix + u"InvalidURL"_s, u"Give route a URL, as text."_s);
        return;
    }
    // Routed before the reply goes back, while the caller is certainly still there.
    m_backend.route(url, call.service());
}

QString ScriptingBus::fallbackBrowser() const
{
    const RuleCommands::Outcome<RulesDocument> document = m_commands.document();
    return document ? document->fallback.desktopID() : QString();
}

void ScriptingBus::setFallbackBrowser(const QString& browser)
{
    // Written in the process itself, the refusal has nowhere to go but the log; over the bus it is an error.
    if (const RuleCommands::Outcome<void> set = changeFallback(browser); !set)
        qCWarning(lcApp, "Could not set the fallback: %s", qPrintable(set.error().text));
}

RuleCommands::Outcome<void> ScriptingBus::changeFallback(const QString& browser)
{
    return m_commands.setFallback(browser.isEmpty() ? Destination::ask() : Destination::browser(browser));
}

bool ScriptingBus::isDefaultBrowser() const
{
    return m_backend.isDefaultBrowser();
}

QStringList ScriptingBus::installedBrowsers() const
{
    return m_backend.installedBrowsers();
}

uint ScriptingBus::ruleCount() const
{
    const RuleCommands::Outcome<QList<Rule>> rules = m_commands.list();
    return rules ? static_cast<uint>(rules->size()) : 0;
}
