#include "rules_codec.h"

#include "base/json_writer.h"

#include <array>

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
        json.string(destination.desktopID());
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
    writeStrings(json, rule.sourceDesktopIDs);
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

} // namespace RulesCodec
