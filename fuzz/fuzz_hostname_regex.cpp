// A JavaScript expression's source and flags, separated by a line break, converted into a rule expression: the
// conversion never crashes, and what it gives is an expression the rules accept (it compiles), whose required
// literal can be read.
#include "fuzz_support.h"
#include "interchange/hostname_regex.h"
#include "routing/regex_cache.h"
#include "routing/regex_literal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    const qsizetype separator = input.indexOf('\n');
    const QString source = QString::fromUtf8(separator >= 0 ? input.first(separator) : input);
    const QString flags = separator >= 0 ? QString::fromUtf8(input.sliced(separator + 1)) : QString();
    const std::optional<QString> pattern = patternForHostnameRegex(source, flags);
    if (!pattern)
        return 0;
    RegexCache cache;
    Fuzz::check(cache.compiles(*pattern), "a converted expression compiles");
    (void)requiredLiteral(*pattern);
    return 0;
}
