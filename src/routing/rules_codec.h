#pragma once

#include "base/result.h"
#include "rules_document.h"

#include <QByteArray>

class JsonWriter;

// The one on-disk form of the rules: UTF-8 JSON with sorted keys, pretty-printed, forward slashes escaped.
// The same document always gives the same bytes, which is how the store recognises its own writes.
namespace RulesCodec {

QByteArray encode(const RulesDocument& document);

// All or nothing: the error names the first problem and where it is, for example
// `rules[2].match: "Host" is not one of host, urlContains, regex`. Unknown keys are ignored.
Result<RulesDocument> decode(const QByteArray& bytes);

// One rule or destination exactly as the rules file holds it, for other documents that carry them (the
// report of a Finicky import).
void writeRule(JsonWriter& json, const Rule& rule);
void writeDestination(JsonWriter& json, const Destination& destination);

} // namespace RulesCodec
