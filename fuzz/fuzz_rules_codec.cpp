// Any bytes as a rules file: decoding never crashes, and a document that decodes encodes to bytes that decode to
// the same document and encode to the same bytes again (the store recognises its own writes by them). The one
// difference allowed is the version: any integer is read, 1 is written.
#include "fuzz_support.h"
#include "routing/rules_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Result<RulesDocument> decoded = RulesCodec::decode(Fuzz::bytes(data, size));
    if (!decoded) {
        Fuzz::check(!decoded.error().isEmpty(), "a rules file that does not decode says why");
        return 0;
    }
    const QByteArray encoded = RulesCodec::encode(decoded.value());
    const Result<RulesDocument> again = RulesCodec::decode(encoded);
    Fuzz::check(bool(again), "an encoded document decodes");
    Fuzz::check(again->version == 1, "the version written is 1");
    RulesDocument expected = decoded.value();
    expected.version = 1;
    Fuzz::check(again.value() == expected, "decode(encode(document)) is the same document");
    Fuzz::check(RulesCodec::encode(again.value()) == encoded, "the same document encodes to the same bytes");
    return 0;
}
