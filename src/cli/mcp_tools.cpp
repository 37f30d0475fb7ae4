#include "mcp_tools.h"

#include "browsers/browser_profiles.h"
#include "browsers/browsers.h"
#include "routing/link_parts.h"
#include "services/rule_commands.h"

#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

using Fields = RuleCommands::RuleFields;
template <typename T>
using Outcome = RuleCommands::Outcome<T>;
using CallResult = Result<QJsonObject, McpTools::ProtocolError>;

// The tools as an assistant reads them. "destination" and "position" mean the same in every tool.
constexpr char toolTable[] = R"json([
{"name": "list_rules",
 "title": "List link rules",
 "description": "Lists Linkherd's link routing rules in evaluation order (the first enabled rule that matches a link decides where it opens) and the fallback used when no rule matches. Each rule has an id (use it, or at least its first 4 characters, with the other tools), its position (from 0), whether it is enabled, how it matches (host, urlContains or regex), its pattern, its destination (\"ask\" shows the browser chooser; otherwise a browser ID and maybe a profile directory) and sourceApps (the desktop IDs of the applications whose links it takes; empty means any application).",
 "inputSchema": {"type": "object", "properties": {}, "additionalProperties": false},
 "annotations": {"readOnlyHint": true}},
{"name": "resolve_link",
 "title": "Where a link goes",
 "description": "Tells where Linkherd would open a link now: the link is cleaned first (tracking parameters removed, http upgraded to https, as the cleaning settings say), then the rules are walked. Answers the cleaned link, the destination (\"ask\" or a browser ID with an optional profile) and what decided: a rule (with its id, position and fields) or the fallback. Opens nothing.",
 "inputSchema": {"type": "object", "properties": {
    "url": {"type": "string", "description": "The link, with its scheme, e.g. https://example.com/page."},
    "from": {"type": "string", "description": "The desktop ID of the application the link comes from (e.g. org.gnome.Evolution), for rules limited to source applications. Leave it out for a link from no particular application."}},
  "required": ["url"], "additionalProperties": false},
 "annotations": {"readOnlyHint": true}},
{"name": "clean_link",
 "title": "Clean a link",
 "description": "Gives the link as Linkherd's link cleaning leaves it (tracking parameters removed, http upgraded to https, as the settings say), without opening it.",
 "inputSchema": {"type": "object", "properties": {
    "url": {"type": "string", "description": "The link, with its scheme."}},
  "required": ["url"], "additionalProperties": false},
 "annotations": {"readOnlyHint": true}},
{"name": "add_rule",
 "title": "Add a link rule",
 "description": "Adds a rule and answers it with its new id. The rule sends links that match the pattern to the destination. match \"host\" takes links whose host is the pattern or ends in .pattern (\"example.com\" also takes \"www.example.com\"); \"urlContains\" takes links containing the text; \"regex\" takes links the regular expression matches anywhere. Rules are tried in order, so put a specific rule before a general one with position. An invalid pattern (empty, or a regular expression that does not compile) is refused with the reason.",
 "inputSchema": {"type": "object", "properties": {
    "match": {"type": "string", "enum": ["host", "urlContains", "regex"], "description": "How the pattern is compared with a link."},
    "pattern": {"type": "string", "description": "A host name, a piece of text, or a regular expression, as match says."},
    "destination": {},
    "sourceApps": {"type": "array", "items": {"type": "string"}, "description": "Only links from these applications (desktop IDs such as org.gnome.Evolution); leave out or empty for links from any application."},
    "enabled": {"type": "boolean", "description": "Whether the rule takes part; true when left out."},
    "position": {"type": "integer", "minimum": 0, "description": "Where the rule goes in the list, from 0 (tried first); past the end or left out: at the end."}},
  "required": ["match", "pattern", "destination"], "additionalProperties": false}},
{"name": "update_rule",
 "title": "Change a link rule",
 "description": "Changes the given fields of a rule; the others stay. A destination is replaced whole: {\"browser\": ID} without a profile removes the profile. A change that would make the rule invalid is refused and the rule stays as it was.",
 "inputSchema": {"type": "object", "properties": {
    "id": {"type": "string", "description": "The rule's id, or at least its first 4 characters when no other rule's id starts with them."},
    "match": {"type": "string", "enum": ["host", "urlContains", "regex"], "description": "How the pattern is compared with a link."},
    "pattern": {"type": "string", "description": "A host name, a piece of text, or a regular expression, as match says."},
    "destination": {},
    "sourceApps": {"type": "array", "items": {"type": "string"}, "description": "Only links from these applications; empty for links from any application."},
    "enabled": {"type": "boolean", "description": "Whether the rule takes part."}},
  "required": ["id"], "additionalProperties": false}},
{"name": "delete_rule",
 "title": "Delete a link rule",
 "description": "Deletes a rule; the rules after it move up by one. Answers the rule as it was, so that it can be added again.",
 "inputSchema": {"type": "object", "properties": {
    "id": {"type": "string", "description": "The rule's id, or at least its first 4 characters when no other rule's id starts with them."}},
  "required": ["id"], "additionalProperties": false},
 "annotations": {"destructiveHint": true}},
{"name": "move_rule",
 "title": "Move a link rule",
 "description": "Moves a rule to another place in the evaluation order; the rules between shift by one. Answers the rules in their new order.",
 "inputSchema": {"type": "object", "properties": {
    "id": {"type": "string", "description": "The rule's id, or at least its first 4 characters when no other rule's id starts with them."},
    "position": {"type": "integer", "minimum": 0, "description": "The rule's new place, from 0 (tried first); past the end: last."}},
  "required": ["id", "position"], "additionalProperties": false}},
{"name": "set_fallback",
 "title": "Set the fallback",
 "description": "Sets where links go that no rule takes: \"ask\" shows the browser chooser, or a browser (with an optional profile).",
 "inputSchema": {"type": "object", "properties": {
    "destination": {}},
  "required": ["destination"], "additionalProperties": false}},
{"name": "list_browsers",
 "title": "List the installed browsers",
 "description": "Lists the installed browsers a destination can name: each one's ID (the desktop file ID without .desktop), its name, and, for Chromium- and Firefox-family browsers, its profiles (the directory a destination names, and the name the browser shows). A browser ID that is not installed is still accepted in rules.",
 "inputSchema": {"type": "object", "properties": {}, "additionalProperties": false},
 "annotations": {"readOnlyHint": true}}
])json";

constexpr char destinationSchema[] = R"json({
 "description": "Where matching links open: \"ask\" to choose each time, or a browser by its ID from list_browsers, with one of its profiles (by directory) and a window (a new or a private one) when it has them.",
 "oneOf": [
  {"type": "string", "const": "ask"},
  {"type": "object", "properties": {
     "browser": {"type": "string", "minLength": 1, "description": "The browser's ID, e.g. firefox-esr or google-chrome."},
     "profile": {"type": "string", "description": "A profile directory from list_browsers, e.g. Default, Profile 1 or abc123.default-release."},
     "window": {"type": "string", "enum": ["usual", "new", "private"], "description": "The window the link opens in; usual when left out."}},
   "required": ["browser"], "additionalProperties": false}]})json";

QJsonValue destinationJson(const Destination& destination)
{
    if (destination.isAsk())
        return u"ask"_s;
    QJsonObject object{{u"browser"_s, destination.desktopID()}};
    if (destination.profile())
        object.insert(u"profile"_s, *destination.profile());
    if (destination.window() != Destination::Window::usual)
        object.insert(u"window"_s, windowKeyword(destination.window()));
    return object;
}

QJsonObject ruleJson(const Rule& rule, qsizetype position)
{
    return {{u"id"_s, RuleCommands::idText(rule.id)},
            {u"position"_s, position},
            {u"enabled"_s, rule.isEnabled},
            {u"match"_s, matchText(rule.match)},
            {u"pattern"_s, rule.pattern},
            {u"destination"_s, destinationJson(rule.destination)},
            {u"sourceApps"_s, QJsonArray::fromStringList(rule.sourceDesktopIDs)}};
}

QJsonArray rulesJson(const QList<Rule>& rules)
{
    QJsonArray array;
    for (qsizetype index = 0; index < rules.size(); ++index)
        array.append(ruleJson(rules[index], index));
    return array;
}

// The answer both as text (what every client shows the model) and as structured content.
QJsonObject answer(const QJsonObject& structured)
{
    const QString text = QString::fromUtf8(QJsonDocument(structured).toJson(QJsonDocument::Compact));
    return {{u"content"_s, QJsonArray{QJsonObject{{u"type"_s, u"text"_s}, {u"text"_s, text}}}},
            {u"structuredContent"_s, structured}};
}

QJsonObject refusal(const RuleCommands::Error& error)
{
    return {{u"content"_s, QJsonArray{QJsonObject{{u"type"_s, u"text"_s}, {u"text"_s, error.text}}}},
            {u"isError"_s, true}};
}

template <typename T>
CallResult answered(const Outcome<T>& outcome, const std::function<QJsonObject(const T&)>& shape)
{
    if (!outcome)
        return refusal(outcome.error());
    return answer(shape(*outcome));
}

// A tool's arguments, taken one by one against its schema; the first that does not fit is kept to be told.
class Arguments final {
public:
    Arguments(QString tool, QJsonObject object) : m_tool(std::move(tool)), m_object(std::move(object)) {}

    std::optional<QString> string(const QString& key, bool required = false)
    {
        const QJsonValue value = take(key, required);
        if (value.isUndefined())
            return std::nullopt;
        if (!value.isString())
            return wrong(key, u"a string"_s);
        return value.toString();
    }

    std::optional<bool> boolean(const QString& key)
    {
        const QJsonValue value = take(key, false);
        if (value.isUndefined())
            return std::nullopt;
        if (!value.isBool())
            return wrong(key, u"true or false"_s);
        return value.toBool();
    }

    std::optional<qsizetype> position(const QString& key, bool required = false)
    {
        const QJsonValue value = take(key, required);
        if (value.isUndefined())
            return std::nullopt;
        const double number = value.toDouble(-1);
        // Past any list's end is the end; a number beyond what a position holds is that too.
        if (!value.isDouble() || number < 0 || number != std::floor(number))
            return wrong(key, u"a whole number from 0"_s);
        return static_cast<qsizetype>(std::min(number, 1e15));
    }

    std::optional<Rule::Match> match(const QString& key, bool required = false)
    {
        const QJsonValue value = take(key, required);
        if (value.isUndefined())
            return std::nullopt;
        const std::optional<Rule::Match> kind = value.isString() ? matchFromText(value.toString()) : std::nullopt;
        if (!kind)
            return wrong(key, u"\"host\", \"urlContains\" or \"regex\""_s);
        return kind;
    }

    std::optional<QStringList> strings(const QString& key)
    {
        const QJsonValue value = take(key, false);
        if (value.isUndefined())
            return std::nullopt;
        QStringList list;
        for (const QJsonValue item : value.toArray()) {
            if (!item.isString())
                return wrong(key, u"an array of strings"_s);
            list.append(item.toString());
        }
        if (!value.isArray())
            return wrong(key, u"an array of strings"_s);
        return list;
    }

    std::optional<Destination> destination(const QString& key, bool required = false)
    {
        const QJsonValue value = take(key, required);
        if (value.isUndefined())
            return std::nullopt;
        if (value.isString() && value.toString() == u"ask"_s)
            return Destination::ask();
        const QJsonObject object = value.toObject();
        const QJsonValue browser = object.value(u"browser"_s);
        const QJsonValue profile = object.value(u"profile"_s);
        const QJsonValue windowValue = object.value(u"window"_s);
        const QStringList keys = object.keys();
        const bool onlyKnownKeys = std::all_of(keys.cbegin(), keys.cend(), [](const QString& name) {
            return name == u"browser"_s || name == u"profile"_s || name == u"window"_s;
        });
        const std::optional<Destination::Window> window =
            windowValue.isUndefined() ? Destination::Window::usual : windowFromKeyword(windowValue.toString());
        if (!value.isObject() || !onlyKnownKeys || !browser.isString() || browser.toString().isEmpty() ||
            !(profile.isUndefined() || profile.isString()) || !window)
            return wrong(
                key,
                u"\"ask\" or {\"browser\": ID, \"profile\"?: DIRECTORY, \"window\"?: \"usual\"|\"new\"|\"private\"}"_s);
        const QString directory = profile.toString();
        return Destination::browser(browser.toString(),
                                    directory.isEmpty() ? std::nullopt : std::optional<QString>(directory), *window);
    }

    // What did not fit, or a key the tool does not take; absent when all is well.
    std::optional<McpTools::ProtocolError> error() const
    {
        if (!m_wrong && !m_object.isEmpty())
            return McpTools::ProtocolError{McpTools::invalidParams,
                                           u"%1 takes no argument \"%2\"."_s.arg(m_tool, m_object.begin().key())};
        if (m_wrong)
            return McpTools::ProtocolError{McpTools::invalidParams, *m_wrong};
        return std::nullopt;
    }

private:
    QJsonValue take(const QString& key, bool required)
    {
        const QJsonValue value = m_object.take(key);
        if (value.isUndefined() && required && !m_wrong)
            m_wrong = u"%1 needs the argument \"%2\"."_s.arg(m_tool, key);
        return value;
    }

    std::nullopt_t wrong(const QString& key, const QString& expected)
    {
        if (!m_wrong)
            m_wrong = u"%1: \"%2\" must be %3."_s.arg(m_tool, key, expected);
        return std::nullopt;
    }

    QString m_tool;
    QJsonObject m_object; // what is not taken yet
    std::optional<QString> m_wrong;
};

// A destination as the fields of RuleCommands: "" asks; a browser without a profile has none.
void setDestination(Fields& fields, const std::optional<Destination>& destination)
{
    if (!destination)
        return;
    fields.browser = destination->desktopID();
    if (destination->isBrowser()) {
        fields.profile = destination->profile().value_or(QString());
        fields.window = destination->window();
    }
}

Fields ruleFields(Arguments& arguments, bool creating)
{
    Fields fields;
    fields.match = arguments.match(u"match"_s, creating);
    fields.pattern = arguments.string(u"pattern"_s, creating);
    setDestination(fields, arguments.destination(u"destination"_s, creating));
    fields.sourceApps = arguments.strings(u"sourceApps"_s);
    fields.enabled = arguments.boolean(u"enabled"_s);
    return fields;
}

// The rule as it now stands in the file, with its position; as it was made when the file cannot be read again.
QJsonObject ruleNow(RuleCommands& commands, const Rule& made)
{
    const Outcome<QList<Rule>> rules = commands.list();
    for (qsizetype index = 0; rules && index < rules->size(); ++index) {
        if (rules->at(index).id == made.id)
            return ruleJson(rules->at(index), index);
    }
    QJsonObject rule = ruleJson(made, 0);
    rule.remove(u"position"_s);
    return rule;
}

QJsonArray browsersJson()
{
    // The tool runs for as long as the assistant does: a browser installed meanwhile shows up.
    Browsers::invalidate();
    QJsonArray browsers;
    for (const Browsers::Browser& browser : Browsers::installed()) {
        QJsonObject entry{{u"id"_s, browser.desktopID}, {u"name"_s, browser.name}};
        if (BrowserProfiles::supportsProfiles(browser.desktopID)) {
            QJsonArray profiles;
            for (const BrowserProfiles::Profile& profile : BrowserProfiles::profiles(browser.desktopID))
                profiles.append(QJsonObject{{u"directory"_s, profile.directory}, {u"name"_s, profile.name}});
            entry.insert(u"profiles"_s, profiles);
        }
        browsers.append(entry);
    }
    return browsers;
}

CallResult run(RuleCommands& commands, const QString& name, Arguments& arguments)
{
    if (name == u"list_rules"_s) {
        if (const auto wrong = arguments.error())
            return *wrong;
        return answered<RulesDocument>(commands.document(), [](const RulesDocument& document) {
            return QJsonObject{{u"rules"_s, rulesJson(document.rules)},
                               {u"fallback"_s, destinationJson(document.fallback)}};
        });
    }
    if (name == u"resolve_link"_s || name == u"clean_link"_s) {
        const QString url = arguments.string(u"url"_s, true).value_or(QString());
        const QString from = arguments.string(u"from"_s).value_or(QString());
        if (const auto wrong = arguments.error())
            return *wrong;
        // Told here, in the tool's own name: the commands' reason names the command line's.
        if (!LinkParts::hasScheme(url))
            return refusal({RuleCommands::Error::Kind::invalidArgument, u"Give %1 a URL, as text."_s.arg(name)});
        const Outcome<QString> cleaned = commands.clean(url);
        if (!cleaned || name == u"clean_link"_s)
            return answered<QString>(cleaned, [](const QString& link) { return QJsonObject{{u"cleaned"_s, link}}; });
        // Decided on the cleaned link, as the resident decides on a link it is handed.
        return answered<RuleCommands::Resolution>(
            commands.resolve(*cleaned, from), [&](const RuleCommands::Resolution& resolution) {
                QJsonObject object{{u"cleaned"_s, *cleaned},
                                   {u"destination"_s, destinationJson(resolution.destination)},
                                   {u"decidedBy"_s, resolution.rule ? u"rule"_s : u"fallback"_s}};
                if (resolution.rule)
                    object.insert(u"rule"_s, ruleJson(*resolution.rule, *resolution.ruleIndex));
                return object;
            });
    }
    if (name == u"add_rule"_s) {
        const Fields fields = ruleFields(arguments, true);
        const std::optional<qsizetype> position = arguments.position(u"position"_s);
        if (const auto wrong = arguments.error())
            return *wrong;
        return answered<Rule>(commands.add(fields, position.value_or(-1)), [&](const Rule& rule) {
            return QJsonObject{{u"rule"_s, ruleNow(commands, rule)}};
        });
    }
    if (name == u"update_rule"_s) {
        const QString id = arguments.string(u"id"_s, true).value_or(QString());
        const Fields fields = ruleFields(arguments, false);
        if (const auto wrong = arguments.error())
            return *wrong;
        return answered<Rule>(commands.update(id, fields), [&](const Rule& rule) {
            return QJsonObject{{u"rule"_s, ruleNow(commands, rule)}};
        });
    }
    if (name == u"delete_rule"_s) {
        const QString id = arguments.string(u"id"_s, true).value_or(QString());
        if (const auto wrong = arguments.error())
            return *wrong;
        return answered<QList<Rule>>(commands.remove({id}), [](const QList<Rule>& removed) {
            QJsonObject rule = ruleJson(removed.front(), 0);
            rule.remove(u"position"_s);
            return QJsonObject{{u"deleted"_s, rule}};
        });
    }
    if (name == u"move_rule"_s) {
        const QString id = arguments.string(u"id"_s, true).value_or(QString());
        const qsizetype position = arguments.position(u"position"_s, true).value_or(0);
        if (const auto wrong = arguments.error())
            return *wrong;
        if (const Outcome<void> moved = commands.move(id, position); !moved)
            return refusal(moved.error());
        return answered<QList<Rule>>(commands.list(), [](const QList<Rule>& rules) {
            return QJsonObject{{u"rules"_s, rulesJson(rules)}};
        });
    }
    if (name == u"set_fallback"_s) {
        const std::optional<Destination> destination = arguments.destination(u"destination"_s, true);
        if (const auto wrong = arguments.error())
            return *wrong;
        if (const Outcome<void> set = commands.setFallback(*destination); !set)
            return refusal(set.error());
        return answer({{u"fallback"_s, destinationJson(*destination)}});
    }
    if (name == u"list_browsers"_s) {
        if (const auto wrong = arguments.error())
            return *wrong;
        return answer({{u"browsers"_s, browsersJson()}});
    }
    return McpTools::ProtocolError{McpTools::invalidParams, u"There is no tool \"%1\"."_s.arg(name)};
}

} // namespace

QJsonArray McpTools::list()
{
    QJsonArray tools;
    const QJsonObject destination = QJsonDocument::fromJson(QByteArray(destinationSchema)).object();
    for (const QJsonValue tool : QJsonDocument::fromJson(QByteArray(toolTable)).array()) {
        QJsonObject object = tool.toObject();
        QJsonObject schema = object.value(u"inputSchema"_s).toObject();
        QJsonObject properties = schema.value(u"properties"_s).toObject();
        // Written once above and copied in, not referred to: not every client resolves references in a schema.
        if (properties.contains(u"destination"_s)) {
            properties.insert(u"destination"_s, destination);
            schema.insert(u"properties"_s, properties);
            object.insert(u"inputSchema"_s, schema);
        }
        tools.append(object);
    }
    return tools;
}

Result<QJsonObject, McpTools::ProtocolError> McpTools::call(const QString& rulesPath, const QString& name,
                                                            const QJsonObject& arguments)
{
    RuleCommands commands = RuleCommands::onFile(rulesPath);
    Arguments taken(name, arguments);
    return run(commands, name, taken);
}
