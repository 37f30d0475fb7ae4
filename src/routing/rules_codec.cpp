#include "rules_codec.h"

#include "base/ascii_chars.h"
#include "base/elided_text.h"
#include "base/json_writer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// ---- writing

// Upper case, as ids have always been written; QUuid's own text is lower case.
std::array<char, 36> idText(const QUuid& id)
{
    const QByteArray bytes = id.toRfc4122();
    std::array<char, 36> text;
    auto out = text.begin();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            *out++ = '-';
        *out++ = "0123456789ABCDEF"[uchar(bytes[i]) >> 4];
        *out++ = "0123456789ABCDEF"[uchar(bytes[i]) & 0xf];
    }
    return text;
}

void writeStrings(JsonWriter& json, const QStringList& strings)
{
    json.beginArray();
    for (const QString& text : strings) {
        json.element();
        json.string(text);
    }
    json.endArray();
}

} // namespace

void RulesCodec::writeDestination(JsonWriter& json, const Destination& destination)
{
    json.beginObject();
    if (destination.isAsk()) {
        json.key("ask");
        json.beginObject();
        json.endObject();
    } else {
        json.key("browser");
        json.beginObject();
        json.key("bundleID");
        json.string(destination.bundleID());
        if (destination.profile()) {
            json.key("profile");
            json.string(*destination.profile());
        }
        if (destination.window() != Destination::Window::usual) {
            json.key("window");
            json.string(windowKeyword(destination.window()));
        }
        json.endObject();
    }
    json.endObject();
}

void RulesCodec::writeRule(JsonWriter& json, const Rule& rule)
{
    json.beginObject();
    json.key("destination");
    writeDestination(json, rule.destination);
    json.key("id");
    const std::array<char, 36> id = idText(rule.id);
    json.asciiString(QByteArrayView(id.data(), id.size()));
    json.key("isEnabled");
    json.boolean(rule.isEnabled);
    json.key("match");
    json.string(matchText(rule.match));
    json.key("pattern");
    json.string(rule.pattern);
    json.key("sourceBundleIDs");
    writeStrings(json, rule.sourceBundleIDs);
    json.endObject();
}

namespace {

void writeRewriter(JsonWriter& json, const LinkRewriter& rewriter)
{
    json.beginObject();
    json.key("parameters");
    writeStrings(json, rewriter.parameters);
    json.key("stripsTrackingParameters");
    json.boolean(rewriter.stripsTrackingParameters);
    // Written only when on, so files from before the switch existed are written back byte for byte.
    if (rewriter.unwrapsRedirects) {
        json.key("unwrapsRedirects");
        json.boolean(true);
    }
    json.key("upgradesToHTTPS");
    json.boolean(rewriter.upgradesToHTTPS);
    json.endObject();
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

// A refused value is quoted so that the user finds it; a huge one only in part, so that the message stays
// readable wherever it is shown.
QString quoted(const QString& text)
{
    return u'"' + elidedText(text, 120) + u'"';
}

// The 8-4-4-4-12 form, in either letter case; braces and other spellings QUuid would take are refused.
std::optional<QUuid> canonicalUuid(QStringView text)
{
    if (text.size() != 36)
        return std::nullopt;
    std::array<char, 16> bytes{};
    std::size_t digits = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != u'-')
                return std::nullopt;
            continue;
        }
        const int value = hexDigitValue(text[i]);
        if (value < 0)
            return std::nullopt;
        bytes[digits / 2] = char(bytes[digits / 2] | (digits % 2 == 0 ? value << 4 : value));
        ++digits;
    }
    return QUuid::fromRfc4122(QByteArrayView(bytes.data(), bytes.size()));
}

// Where a value sits in the document, as a chain from the top. It is put into words only for an error:
// a file of thousands of rules would otherwise spell out thousands of paths that nobody reads.
class Path final {
public:
    Path() = default;

    Path member(QStringView key) const { return Path(this, key, -1); }
    Path element(qsizetype index) const { return Path(this, QStringView(), index); }

    // "rules[2].destination.browser"; empty at the top.
    QString text() const
    {
        if (!m_parent)
            return QString();
        QString text = m_parent->text();
        if (m_index >= 0)
            return text + u'[' + QString::number(m_index) + u']';
        return text.isEmpty() ? m_key.toString() : text + u'.' + m_key;
    }

private:
    Path(const Path* parent, QStringView key, qsizetype index) : m_parent(parent), m_key(key), m_index(index) {}

    const Path* m_parent = nullptr; // outlives this: paths only live on the stack of the reading calls
    QStringView m_key;              // a literal
    qsizetype m_index = -1;         // an array element when not negative
};

// Walks the JSON tree and stops at the first problem, remembering where it was.
class Reader final {
public:
    std::optional<RulesDocument> document(const QJsonValue& root)
    {
        const Path top;
        if (!root.isObject())
            return fail(top, u"the rules file must hold a JSON object, not "_s + describeType(root));
        const QJsonObject object = root.toObject();
        RulesDocument document;

        const std::optional<QJsonValue> version = required(object, top, u"version");
        if (!version)
            return std::nullopt;
        const double number = version->toDouble();
        if (!version->isDouble() || std::floor(number) != number || std::fabs(number) > 9.0e15)
            return fail(top.member(u"version"), u"expected an integer, found "_s + describeType(*version));
        document.version = static_cast<qint64>(number);

        const std::optional<QJsonValue> rules = required(object, top, u"rules");
        if (!rules)
            return std::nullopt;
        const Path rulesPath = top.member(u"rules");
        if (!rules->isArray())
            return fail(rulesPath, u"expected an array, found "_s + describeType(*rules));
        const QJsonArray ruleArray = rules->toArray();
        document.rules.reserve(ruleArray.size());
        for (qsizetype index = 0; index < ruleArray.size(); ++index) {
            std::optional<Rule> rule = this->rule(ruleArray[index], rulesPath.element(index));
            if (!rule)
                return std::nullopt;
            document.rules.append(std::move(*rule));
        }

        const std::optional<QJsonValue> fallback = required(object, top, u"fallback");
        if (!fallback)
            return std::nullopt;
        std::optional<Destination> fallbackDestination = destination(*fallback, top.member(u"fallback"));
        if (!fallbackDestination)
            return std::nullopt;
        document.fallback = std::move(*fallbackDestination);

        const QJsonValue rewriter = object.value(u"rewriter");
        if (!rewriter.isUndefined() && !rewriter.isNull()) {
            document.rewriter = this->rewriter(rewriter, top.member(u"rewriter"));
            if (!document.rewriter)
                return std::nullopt;
        }
        return document;
    }

    const QString& error() const { return m_error; }

private:
    std::nullopt_t fail(const Path& path, const QString& problem)
    {
        const QString where = path.text();
        m_error = where.isEmpty() ? problem : where + u": "_s + problem;
        return std::nullopt;
    }

    std::optional<QJsonValue> required(const QJsonObject& object, const Path& path, QStringView key)
    {
        QJsonValue value = object.value(key);
        if (value.isUndefined())
            return fail(path, quoted(key.toString()) + u" is missing"_s);
        return value;
    }

    std::optional<QString> string(const QJsonObject& object, const Path& path, QStringView key)
    {
        const std::optional<QJsonValue> value = required(object, path, key);
        if (!value)
            return std::nullopt;
        if (!value->isString())
            return fail(path.member(key), u"expected a string, found "_s + describeType(*value));
        return value->toString();
    }

    std::optional<bool> boolean(const QJsonObject& object, const Path& path, QStringView key)
    {
        const std::optional<QJsonValue> value = required(object, path, key);
        if (!value)
            return std::nullopt;
        if (!value->isBool())
            return fail(path.member(key), u"expected true or false, found "_s + describeType(*value));
        return value->toBool();
    }

    std::optional<QStringList> strings(const QJsonObject& object, const Path& path, QStringView key)
    {
        const std::optional<QJsonValue> value = required(object, path, key);
        if (!value)
            return std::nullopt;
        if (!value->isArray())
            return fail(path.member(key), u"expected an array of strings, found "_s + describeType(*value));
        const QJsonArray array = value->toArray();
        QStringList list;
        list.reserve(array.size());
        for (qsizetype index = 0; index < array.size(); ++index) {
            const QJsonValue element = array[index];
            if (!element.isString())
                return fail(path.member(key).element(index), u"expected a string, found "_s + describeType(element));
            list.append(element.toString());
        }
        return list;
    }

    std::optional<Destination> destination(const QJsonValue& value, const Path& path)
    {
        if (!value.isObject())
            return fail(path, u"expected an object, found "_s + describeType(value));
        const QJsonValue browser = value.toObject().value(u"browser");
        if (browser.isUndefined())
            return Destination::ask();
        const Path browserPath = path.member(u"browser");
        if (!browser.isObject())
            return fail(browserPath, u"expected an object, found "_s + describeType(browser));
        const QJsonObject browserObject = browser.toObject();
        std::optional<QString> bundleID = string(browserObject, browserPath, u"bundleID");
        if (!bundleID)
            return std::nullopt;
        const QJsonValue profile = browserObject.value(u"profile");
        const bool noProfile = profile.isUndefined() || profile.isNull();
        if (!noProfile && !profile.isString())
            return fail(browserPath.member(u"profile"), u"expected a string, found "_s + describeType(profile));
        // Files written before windows could be chosen have no "window": the usual one.
        const QJsonValue windowValue = browserObject.value(u"window");
        std::optional<Destination::Window> window = Destination::Window::usual;
        if (!windowValue.isUndefined() && !windowValue.isNull()) {
            window = windowValue.isString() ? windowFromKeyword(windowValue.toString()) : std::nullopt;
            if (!window)
                return fail(browserPath.member(u"window"),
                            u"expected \"usual\", \"new\" or \"private\", found "_s +
                                (windowValue.isString() ? u'"' + windowValue.toString().left(40) + u'"'
                                                        : describeType(windowValue)));
        }
        return Destination::browser(std::move(*bundleID),
                                    noProfile ? std::nullopt : std::optional<QString>(profile.toString()), *window);
    }

    std::optional<Rule> rule(const QJsonValue& value, const Path& path)
    {
        if (!value.isObject())
            return fail(path, u"expected an object, found "_s + describeType(value));
        const QJsonObject object = value.toObject();

        const std::optional<QJsonValue> destinationValue = required(object, path, u"destination");
        if (!destinationValue)
            return std::nullopt;
        std::optional<Destination> destination = this->destination(*destinationValue, path.member(u"destination"));
        if (!destination)
            return std::nullopt;

        const std::optional<QString> id = string(object, path, u"id");
        if (!id)
            return std::nullopt;
        const std::optional<QUuid> uuid = canonicalUuid(*id);
        if (!uuid)
            return fail(path.member(u"id"), quoted(*id) + u" is not a UUID"_s);

        const std::optional<bool> isEnabled = boolean(object, path, u"isEnabled");
        if (!isEnabled)
            return std::nullopt;

        const std::optional<QString> match = string(object, path, u"match");
        if (!match)
            return std::nullopt;
        const std::optional<Rule::Match> kind = matchFromText(*match);
        if (!kind)
            return fail(path.member(u"match"), quoted(*match) + u" is not one of host, urlContains, regex"_s);

        std::optional<QString> pattern = string(object, path, u"pattern");
        if (!pattern)
            return std::nullopt;

        std::optional<QStringList> sources = strings(object, path, u"sourceBundleIDs");
        if (!sources)
            return std::nullopt;

        // Every member is given: a default-made Rule would first draw a random id, which takes about as long
        // as reading the whole rule.
        return Rule{
            .id = *uuid,
            .isEnabled = *isEnabled,
            .match = *kind,
            .pattern = std::move(*pattern),
            .sourceBundleIDs = std::move(*sources),
            .destination = std::move(*destination),
        };
    }

    std::optional<LinkRewriter> rewriter(const QJsonValue& value, const Path& path)
    {
        if (!value.isObject())
            return fail(path, u"expected an object, found "_s + describeType(value));
        const QJsonObject object = value.toObject();
        LinkRewriter rewriter;
        std::optional<QStringList> parameters = strings(object, path, u"parameters");
        if (!parameters)
            return std::nullopt;
        rewriter.parameters = std::move(*parameters);
        const std::optional<bool> strips = boolean(object, path, u"stripsTrackingParameters");
        if (!strips)
            return std::nullopt;
        rewriter.stripsTrackingParameters = *strips;
        const std::optional<bool> upgrades = boolean(object, path, u"upgradesToHTTPS");
        if (!upgrades)
            return std::nullopt;
        rewriter.upgradesToHTTPS = *upgrades;
        const QJsonValue unwraps = object.value(u"unwrapsRedirects");
        if (!unwraps.isUndefined() && !unwraps.isNull()) {
            if (!unwraps.isBool())
                return fail(path.member(u"unwrapsRedirects"),
                            u"expected true or false, found "_s + describeType(unwraps));
            rewriter.unwrapsRedirects = unwraps.toBool();
        }
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
    // Enough for rules with short patterns and a source application or two; longer ones grow the buffer.
    JsonWriter json(1024 + 400 * document.rules.size());
    json.beginObject();
    json.key("fallback");
    writeDestination(json, document.fallback);
    if (document.rewriter) {
        json.key("rewriter");
        writeRewriter(json, *document.rewriter);
    }
    json.key("rules");
    json.beginArray();
    for (const Rule& rule : document.rules) {
        json.element();
        writeRule(json, rule);
    }
    json.endArray();
    json.key("version");
    json.integer(1);
    json.endObject();
    return json.finish();
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
