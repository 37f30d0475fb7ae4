#include "base/ascii_chars.h"
#include "base/elided_text.h"
#include "json_trees.h"
#include "rules_codec.h"

#include <QJsonDocument>

#include <array>
#include <cmath>

using namespace Qt::StringLiterals;
using JsonTrees::Kind;

namespace {

// Deeper documents go to QJsonDocument, so that its limit (1024) is the one that refuses them: no rules
// file nests more than five levels.
constexpr std::size_t simdjsonDepthLimit = 64;

template <class Value>
QString describeType(const Value& value)
{
    switch (value.kind()) {
    case Kind::null:
        return u"null"_s;
    case Kind::boolean:
        return value.toBool() ? u"true"_s : u"false"_s;
    case Kind::number:
        return u"the number "_s + QString::number(value.toDouble());
    case Kind::string:
        return u"a string"_s;
    case Kind::array:
        return u"an array"_s;
    case Kind::object:
        return u"an object"_s;
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
    // A table rather than comparisons: the digits of random IDs defeat branch prediction, and the comparisons
    // took a tenth of loading a large rules file.
    static constexpr std::array<signed char, 128> digitValues = [] {
        std::array<signed char, 128> values{};
        for (char16_t c = 0; c < 128; ++c)
            values[c] = static_cast<signed char>(hexDigitValue(QChar(c)));
        return values;
    }();
    if (text.size() != 36 || text[8] != u'-' || text[13] != u'-' || text[18] != u'-' || text[23] != u'-')
        return std::nullopt;
    std::array<char, 16> bytes{};
    std::size_t digits = 0;
    int invalid = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            continue;
        const char16_t c = text[i].unicode();
        const int value = c < 128 ? digitValues[c] : -1;
        invalid |= value;
        bytes[digits / 2] = char(bytes[digits / 2] | ((value & 0xf) << (digits % 2 == 0 ? 4 : 0)));
        ++digits;
    }
    if (invalid < 0)
        return std::nullopt;
    return QUuid::fromRfc4122(QByteArrayView(bytes.data(), bytes.size()));
}

// Where a value sits in the document, as a chain from the top. It is put into words only for an error:
// a file of thousands of rules would otherwise spell out thousands of paths that nobody reads.
class Path final {
public:
    Path() = default;

    Path member(QLatin1StringView key) const { return Path(this, key, -1); }
    Path element(qsizetype index) const { return Path(this, QLatin1StringView(), index); }

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
    Path(const Path* parent, QLatin1StringView key, qsizetype index) : m_parent(parent), m_key(key), m_index(index) {}

    const Path* m_parent = nullptr; // outlives this: paths only live on the stack of the reading calls
    QLatin1StringView m_key;        // a literal
    qsizetype m_index = -1;         // an array element when not negative
};

// Walks the JSON tree and stops at the first problem, remembering where it was.
template <class Value>
class Reader final {
public:
    std::optional<RulesDocument> document(const Value& root)
    {
        const Path top;
        if (root.kind() != Kind::object)
            return fail(top, u"the rules file must hold a JSON object, not "_s + describeType(root));
        RulesDocument document;

        const std::optional<Value> version = required(root, top, "version"_L1);
        if (!version)
            return std::nullopt;
        const double number = version->kind() == Kind::number ? version->toDouble() : 0.0;
        if (version->kind() != Kind::number || std::floor(number) != number || std::fabs(number) > 9.0e15)
            return fail(top.member("version"_L1), u"expected an integer, found "_s + describeType(*version));
        document.version = static_cast<qint64>(number);

        const std::optional<Value> rules = required(root, top, "rules"_L1);
        if (!rules)
            return std::nullopt;
        const Path rulesPath = top.member("rules"_L1);
        if (rules->kind() != Kind::array)
            return fail(rulesPath, u"expected an array, found "_s + describeType(*rules));
        document.rules.reserve(rules->size());
        const bool allRead = rules->forEachElement([&](const Value& element, qsizetype index) {
            std::optional<Rule> rule = this->rule(element, rulesPath.element(index));
            if (rule)
                document.rules.append(std::move(*rule));
            return rule.has_value();
        });
        if (!allRead)
            return std::nullopt;

        const std::optional<Value> fallback = required(root, top, "fallback"_L1);
        if (!fallback)
            return std::nullopt;
        std::optional<Destination> fallbackDestination = destination(*fallback, top.member("fallback"_L1));
        if (!fallbackDestination)
            return std::nullopt;
        document.fallback = std::move(*fallbackDestination);

        const std::optional<Value> rewriter = root.member("rewriter"_L1);
        if (rewriter && rewriter->kind() != Kind::null) {
            document.rewriter = this->rewriter(*rewriter, top.member("rewriter"_L1));
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

    std::optional<Value> required(const Value& object, const Path& path, QLatin1StringView key)
    {
        std::optional<Value> value = object.member(key);
        if (!value)
            return fail(path, quoted(key.toString()) + u" is missing"_s);
        return value;
    }

    std::optional<QString> string(const Value& object, const Path& path, QLatin1StringView key)
    {
        const std::optional<Value> value = required(object, path, key);
        if (!value)
            return std::nullopt;
        if (value->kind() != Kind::string)
            return fail(path.member(key), u"expected a string, found "_s + describeType(*value));
        return value->toString();
    }

    std::optional<bool> boolean(const Value& object, const Path& path, QLatin1StringView key)
    {
        const std::optional<Value> value = required(object, path, key);
        if (!value)
            return std::nullopt;
        if (value->kind() != Kind::boolean)
            return fail(path.member(key), u"expected true or false, found "_s + describeType(*value));
        return value->toBool();
    }

    std::optional<QStringList> strings(const Value& object, const Path& path, QLatin1StringView key)
    {
        const std::optional<Value> value = required(object, path, key);
        if (!value)
            return std::nullopt;
        if (value->kind() != Kind::array)
            return fail(path.member(key), u"expected an array of strings, found "_s + describeType(*value));
        QStringList list;
        list.reserve(value->size());
        const bool allRead = value->forEachElement([&](const Value& element, qsizetype index) {
            if (element.kind() != Kind::string) {
                fail(path.member(key).element(index), u"expected a string, found "_s + describeType(element));
                return false;
            }
            list.append(element.toString());
            return true;
        });
        if (!allRead)
            return std::nullopt;
        return list;
    }

    std::optional<Destination> destination(const Value& value, const Path& path)
    {
        if (value.kind() != Kind::object)
            return fail(path, u"expected an object, found "_s + describeType(value));
        const std::optional<Value> browser = value.member("browser"_L1);
        if (!browser)
            return Destination::ask();
        const Path browserPath = path.member("browser"_L1);
        if (browser->kind() != Kind::object)
            return fail(browserPath, u"expected an object, found "_s + describeType(*browser));
        std::optional<QString> desktopID = string(*browser, browserPath, "bundleID"_L1);
        if (!desktopID)
            return std::nullopt;
        const std::optional<Value> profile = browser->member("profile"_L1);
        const bool noProfile = !profile || profile->kind() == Kind::null;
        if (!noProfile && profile->kind() != Kind::string)
            return fail(browserPath.member("profile"_L1), u"expected a string, found "_s + describeType(*profile));
        // Files written before windows could be chosen have no "window": the usual one.
        const std::optional<Value> windowValue = browser->member("window"_L1);
        std::optional<Destination::Window> window = Destination::Window::usual;
        if (windowValue && windowValue->kind() != Kind::null) {
            const bool isString = windowValue->kind() == Kind::string;
            window = isString ? windowFromKeyword(windowValue->toString()) : std::nullopt;
            if (!window)
                return fail(
                    browserPath.member("window"_L1),
                    u"expected \"usual\", \"new\" or \"private\", found "_s +
                        (isString ? u'"' + windowValue->toString().left(40) + u'"' : describeType(*windowValue)));
        }
        return Destination::browser(std::move(*desktopID),
                                    noProfile ? std::nullopt : std::optional<QString>(profile->toString()), *window);
    }

    std::optional<Rule> rule(const Value& value, const Path& path)
    {
        if (value.kind() != Kind::object)
            return fail(path, u"expected an object, found "_s + describeType(value));

        const std::optional<Value> destinationValue = required(value, path, "destination"_L1);
        if (!destinationValue)
            return std::nullopt;
        std::optional<Destination> destination = this->destination(*destinationValue, path.member("destination"_L1));
        if (!destination)
            return std::nullopt;

        const std::optional<QString> id = string(value, path, "id"_L1);
        if (!id)
            return std::nullopt;
        const std::optional<QUuid> uuid = canonicalUuid(*id);
        if (!uuid)
            return fail(path.member("id"_L1), quoted(*id) + u" is not a UUID"_s);

        const std::optional<bool> isEnabled = boolean(value, path, "isEnabled"_L1);
        if (!isEnabled)
            return std::nullopt;

        const std::optional<QString> match = string(value, path, "match"_L1);
        if (!match)
            return std::nullopt;
        const std::optional<Rule::Match> kind = matchFromText(*match);
        if (!kind)
            return fail(path.member("match"_L1), quoted(*match) + u" is not one of host, urlContains, regex"_s);

        std::optional<QString> pattern = string(value, path, "pattern"_L1);
        if (!pattern)
            return std::nullopt;

        std::optional<QStringList> sources = strings(value, path, "sourceBundleIDs"_L1);
        if (!sources)
            return std::nullopt;

        // Every member is given: a default-made Rule would first draw a random id, which takes about as long
        // as reading the whole rule.
        return Rule{
            .id = *uuid,
            .isEnabled = *isEnabled,
            .match = *kind,
            .pattern = std::move(*pattern),
            .sourceDesktopIDs = std::move(*sources),
            .destination = std::move(*destination),
        };
    }

    std::optional<LinkRewriter> rewriter(const Value& value, const Path& path)
    {
        if (value.kind() != Kind::object)
            return fail(path, u"expected an object, found "_s + describeType(value));
        LinkRewriter rewriter;
        std::optional<QStringList> parameters = strings(value, path, "parameters"_L1);
        if (!parameters)
            return std::nullopt;
        rewriter.parameters = std::move(*parameters);
        const std::optional<bool> strips = boolean(value, path, "stripsTrackingParameters"_L1);
        if (!strips)
            return std::nullopt;
        rewriter.stripsTrackingParameters = *strips;
        const std::optional<bool> upgrades = boolean(value, path, "upgradesToHTTPS"_L1);
        if (!upgrades)
            return std::nullopt;
        rewriter.upgradesToHTTPS = *upgrades;
        const std::optional<Value> unwraps = value.member("unwrapsRedirects"_L1);
        if (unwraps && unwraps->kind() != Kind::null) {
            if (unwraps->kind() != Kind::boolean)
                return fail(path.member("unwrapsRedirects"_L1),
                            u"expected true or false, found "_s + describeType(*unwraps));
            rewriter.unwrapsRedirects = unwraps->toBool();
        }
        return rewriter;
    }

    QString m_error;
};

template <class Value>
Result<RulesDocument> read(const Value& root)
{
    Reader<Value> reader;
    std::optional<RulesDocument> document = reader.document(root);
    if (!document)
        return Failure{reader.error()};
    return std::move(*document);
}

QString syntaxError(const QByteArray& bytes, const QJsonParseError& error)
{
    const QByteArray before = bytes.left(error.offset);
    const qsizetype line = before.count('\n') + 1;
    const qsizetype column = before.size() - (before.lastIndexOf('\n') + 1) + 1;
    return u"not valid JSON at line %1, column %2: %3"_s.arg(line).arg(column).arg(error.errorString());
}

} // namespace

namespace RulesCodec {

Result<RulesDocument> decode(const QByteArray& bytes)
{
    // The parser and its tree live only as long as this call: the resident keeps no parsing buffers.
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    // Bytes read with room past their end (BoundedFile) are parsed where they are; others are copied first. The
    // room is counted from the end of the bytes: capacity() also counts what lies before them in the buffer.
    const qsizetype roomAfter = const_cast<QByteArray&>(bytes).data_ptr().freeSpaceAtEnd();
    const bool padded = roomAfter >= qsizetype(simdjson::SIMDJSON_PADDING);
    if (parser.allocate(std::size_t(bytes.size()), simdjsonDepthLimit) == simdjson::SUCCESS &&
        parser.parse(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()), !padded)
                .get(root) == simdjson::SUCCESS)
        return read(JsonTrees::SimdValue(root));

    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Failure{syntaxError(bytes, parseError)};
    return read(JsonTrees::QtValue(json.isObject() ? QJsonValue(json.object()) : QJsonValue(json.array())));
}

} // namespace RulesCodec
