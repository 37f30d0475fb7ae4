#include "rules_codec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// ---- writing

QJsonValue destinationToJson(const Destination& destination)
{
    if (destination.isAsk())
        return QJsonObject{{u"ask"_s, QJsonObject()}};
    QJsonObject browser{{u"bundleID"_s, destination.bundleID()}};
    if (destination.profile())
        browser.insert(u"profile"_s, *destination.profile());
    return QJsonObject{{u"browser"_s, browser}};
}

QJsonValue ruleToJson(const Rule& rule)
{
    return QJsonObject{
        {u"destination"_s, destinationToJson(rule.destination)},
        {u"id"_s, rule.id.toString(QUuid::WithoutBraces).toUpper()},
        {u"isEnabled"_s, rule.isEnabled},
        {u"match"_s, matchText(rule.match)},
        {u"pattern"_s, rule.pattern},
        {u"sourceBundleIDs"_s, QJsonArray::fromStringList(rule.sourceBundleIDs)},
    };
}

QJsonValue rewriterToJson(const LinkRewriter& rewriter)
{
    return QJsonObject{
        {u"parameters"_s, QJsonArray::fromStringList(rewriter.parameters)},
        {u"stripsTrackingParameters"_s, rewriter.stripsTrackingParameters},
        {u"upgradesToHTTPS"_s, rewriter.upgradesToHTTPS},
    };
}

// ---- reading

QString describeType(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return u"null"_s;
    case QJsonValue::Bool:
        return value.toBool() ? u"true"_s : u"false"_s;
    case QJsonValue::Double:
        return u"the number "_s + QString::number(value.toDouble());
    case QJsonValue::String:
        return u"a string"_s;
    case QJsonValue::Array:
        return u"an array"_s;
    case QJsonValue::Object:
        return u"an object"_s;
    case QJsonValue::Undefined:
        break;
    }
    return u"nothing"_s;
}

QString quoted(const QString& text)
{
    return u'"' + text + u'"';
}

// The 8-4-4-4-12 form, in either letter case; braces and other spellings QUuid would take are refused.
bool isCanonicalUuid(const QString& text)
{
    if (text.size() != 36)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool isHyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        const bool isHex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (isHyphenPlace ? c != u'-' : !isHex)
            return false;
    }
    return true;
}

// Walks the JSON tree and stops at the first problem, remembering where it was.
class Reader final {
public:
    std::optional<RulesDocument> document(const QJsonValue& root)
    {
        if (!root.isObject())
            return fail(QString(), u"the rules file must hold a JSON object, not "_s + describeType(root));
        const QJsonObject top = root.toObject();
        RulesDocument document;

        const std::optional<QJsonValue> version = required(top, QString(), u"version"_s);
        if (!version)
            return std::nullopt;
        const double number = version->toDouble();
        if (!version->isDouble() || std::floor(number) != number || std::fabs(number) > 9.0e15)
            return fail(u"version"_s, u"expected an integer, found "_s + describeType(*version));
        document.version = static_cast<qint64>(number);

        const std::optional<QJsonValue> rules = required(top, QString(), u"rules"_s);
        if (!rules)
            return std::nullopt;
        if (!rules->isArray())
            return fail(u"rules"_s, u"expected an array, found "_s + describeType(*rules));
        const QJsonArray ruleArray = rules->toArray();
        document.rules.reserve(ruleArray.size());
        for (qsizetype index = 0; index < ruleArray.size(); ++index) {
            std::optional<Rule> rule = this->rule(ruleArray[index], u"rules[%1]"_s.arg(index));
            if (!rule)
                return std::nullopt;
            document.rules.append(std::move(*rule));
        }

        const std::optional<QJsonValue> fallback = required(top, QString(), u"fallback"_s);
        if (!fallback)
            return std::nullopt;
        std::optional<Destination> fallbackDestination = destination(*fallback, u"fallback"_s);
        if (!fallbackDestination)
            return std::nullopt;
        document.fallback = std::move(*fallbackDestination);

        const QJsonValue rewriter = top.value(u"rewriter"_s);
        if (!rewriter.isUndefined() && !rewriter.isNull()) {
            document.rewriter = this->rewriter(rewriter, u"rewriter"_s);
            if (!document.rewriter)
                return std::nullopt;
        }
        return document;
    }

    const QString& error() const { return m_error; }

private:
    std::nullopt_t fail(const QString& path, const QString& problem)
    {
        m_error = path.isEmpty() ? problem : path + u": "_s + problem;
        return std::nullopt;
    }

    std::optional<QJsonValue> required(const QJsonObject& object, const QString& path, const QString& key)
    {
        const QJsonValue value = object.value(key);
        if (value.isUndefined())
            return fail(path, quoted(key) + u" is missing"_s);
        return value;
    }

    static QString child(const QString& path, const QString& key) { return path.isEmpty() ? key : path + u'.' + key; }

    std::optional<QString> string(const QJsonObject& object, const QString& path, const QString& key)
    {
        const std::optional<QJsonValue> value = required(object, path, key);
        if (!value)
            return std::nullopt;
        if (!value->isString())
            return fail(child(path, key), u"expected a string, found "_s + describeType(*value));
        return value->toString();
    }

    std::optional<bool> boolean(const QJsonObject& object, const QString& path, const QString& key)
    {
        const std::optional<QJsonValue> value = required(object, path, key);
        if (!value)
            return std::nullopt;
        if (!value->isBool())
            return fail(child(path, key), u"expected true or false, found "_s + describeType(*value));
        return value->toBool();
    }

    std::optional<QStringList> strings(const QJsonObject& object, const QString& path, const QString& key)
    {
        const std::optional<QJsonValue> value = required(object, path, key);
        if (!value)
            return std::nullopt;
        if (!value->isArray())
            return fail(child(path, key), u"expected an array of strings, found "_s + describeType(*value));
        const QJsonArray array = value->toArray();
        QStringList list;
        list.reserve(array.size());
        for (qsizetype index = 0; index < array.size(); ++index) {
            if (!array[index].isString()) {
                return fail(child(path, key) + u"[%1]"_s.arg(index),
                            u"expected a string, found "_s + describeType(array[index]));
            }
            list.append(array[index].toString());
        }
        return list;
    }

    std::optional<Destination> destination(const QJsonValue& value, const QString& path)
    {
        if (!value.isObject())
            return fail(path, u"expected an object, found "_s + describeType(value));
        const QJsonObject object = value.toObject();
        const QJsonValue browser = object.value(u"browser"_s);
        if (browser.isUndefined())
            return Destination::ask();
        const QString browserPath = child(path, u"browser"_s);
        if (!browser.isObject())
            return fail(browserPath, u"expected an object, found "_s + describeType(browser));
        const QJsonObject browserObject = browser.toObject();
        std::optional<QString> bundleID = string(browserObject, browserPath, u"bundleID"_s);
        if (!bundleID)
            return std::nullopt;
        const QJsonValue profile = browserObject.value(u"profile"_s);
        if (profile.isUndefined() || profile.isNull())
            return Destination::browser(std::move(*bundleID));
        if (!profile.isString())
            return fail(child(browserPath, u"profile"_s), u"expected a string, found "_s + describeType(profile));
        return Destination::browser(std::move(*bundleID), profile.toString());
    }

    std::optional<Rule> rule(const QJsonValue& value, const QString& path)
    {
        if (!value.isObject())
            return fail(path, u"expected an object, found "_s + describeType(value));
        const QJsonObject object = value.toObject();
        Rule rule;

        const std::optional<QJsonValue> destinationValue = required(object, path, u"destination"_s);
        if (!destinationValue)
            return std::nullopt;
        std::optional<Destination> destination = this->destination(*destinationValue, child(path, u"destination"_s));
        if (!destination)
            return std::nullopt;
        rule.destination = std::move(*destination);

        const std::optional<QString> id = string(object, path, u"id"_s);
        if (!id)
            return std::nullopt;
        if (!isCanonicalUuid(*id))
            return fail(child(path, u"id"_s), quoted(*id) + u" is not a UUID"_s);
        rule.id = QUuid::fromString(*id);

        const std::optional<bool> isEnabled = boolean(object, path, u"isEnabled"_s);
        if (!isEnabled)
            return std::nullopt;
        rule.isEnabled = *isEnabled;

        const std::optional<QString> match = string(object, path, u"match"_s);
        if (!match)
            return std::nullopt;
        const std::optional<Rule::Match> kind = matchFromText(*match);
        if (!kind)
            return fail(child(path, u"match"_s), quoted(*match) + u" is not one of host, urlContains, regex"_s);
        rule.match = *kind;

        std::optional<QString> pattern = string(object, path, u"pattern"_s);
        if (!pattern)
            return std::nullopt;
        rule.pattern = std::move(*pattern);

        std::optional<QStringList> sources = strings(object, path, u"sourceBundleIDs"_s);
        if (!sources)
            return std::nullopt;
        rule.sourceBundleIDs = std::move(*sources);
        return rule;
    }

    std::optional<LinkRewriter> rewriter(const QJsonValue& value, const QString& path)
    {
        if (!value.isObject())
            return fail(path, u"expected an object, found "_s + describeType(value));
        const QJsonObject object = value.toObject();
        LinkRewriter rewriter;
        std::optional<QStringList> parameters = strings(object, path, u"parameters"_s);
        if (!parameters)
            return std::nullopt;
        rewriter.parameters = std::move(*parameters);
        const std::optional<bool> strips = boolean(object, path, u"stripsTrackingParameters"_s);
        if (!strips)
            return std::nullopt;
        rewriter.stripsTrackingParameters = *strips;
        const std::optional<bool> upgrades = boolean(object, path, u"upgradesToHTTPS"_s);
        if (!upgrades)
            return std::nullopt;
        rewriter.upgradesToHTTPS = *upgrades;
        return rewriter;
    }

    QString m_error;
};

QString syntaxError(const QByteArray& bytes, const QJsonParseError& error)
{
    const QByteArray before = bytes.left(error.offset);
    const qsizetype line = before.count('\n') + 1;
    const qsizetype column = before.size() - (before.lastIndexOf('\n') + 1) + 1;
    return u"not valid JSON at line %1, column %2: %3"_s.arg(line).arg(column).arg(error.errorString());
}

} // namespace

namespace RulesCodec {

QByteArray encode(const RulesDocument& document)
{
    QJsonArray rules;
    for (const Rule& rule : document.rules)
        rules.append(ruleToJson(rule));
    QJsonObject top{
        {u"fallback"_s, destinationToJson(document.fallback)},
        {u"rules"_s, rules},
        {u"version"_s, 1},
    };
    if (document.rewriter)
        top.insert(u"rewriter"_s, rewriterToJson(*document.rewriter));

    // Qt writes keys sorted and never emits "/" outside strings, so escaping every slash escapes exactly
    // the slashes in the values.
    QByteArray bytes = QJsonDocument(top).toJson(QJsonDocument::Indented);
    bytes.replace('/', "\\/");
    return bytes;
}

Result<RulesDocument> decode(const QByteArray& bytes)
{
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Failure{syntaxError(bytes, parseError)};
    const QJsonValue root = json.isObject() ? QJsonValue(json.object()) : QJsonValue(json.array());
    Reader reader;
    std::optional<RulesDocument> document = reader.document(root);
    if (!document)
        return Failure{reader.error()};
    return std::move(*document);
}

} // namespace RulesCodec
