// An expression and a link, separated by a line break. The literal read off an expression is ASCII and at least
// three characters long, and every link (ASCII) in which the expression finds a match contains it, case ignored:
// otherwise the evaluation's shortcut would skip a rule that matches.
#include "fuzz_support.h"
#include "routing/regex_cache.h"
#include "routing/regex_literal.h"

#include <chrono>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    const qsizetype separator = input.indexOf('\n');
    const QString pattern = QString::fromUtf8(separator >= 0 ? input.first(separator) : input);
    const QString literal = requiredLiteral(pattern);
    if (literal.isEmpty())
        return 0;
    Fuzz::check(literal.size() >= 3, "a required literal has three characters or more");
    for (const QChar c : literal)
        Fuzz::check(c.unicode() < 0x80, "a required literal is ASCII");
    if (separator < 0)
        return 0;

    const QByteArray link = input.sliced(separator + 1);
    for (const char c : link) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return 0;
    }
    // A cache of its own per input: the process-wide one would keep every pattern the run ever tried.
    RegexCache cache;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    if (cache.search(pattern, QString::fromLatin1(link), deadline) == RegexCache::Search::found)
        Fuzz::check(QString::fromLatin1(link).contains(literal, Qt::CaseInsensitive),
                    "a link the expression matches contains the required literal");
    return 0;
}
