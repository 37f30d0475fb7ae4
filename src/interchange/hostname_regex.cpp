#include "hostname_regex.h"

#include "base/ascii_chars.h"

#include <QList>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The characters that end a host in a link (or, for `@`, end the user name before it). None of them occurs in
// a host name, so a match made only of other characters, starting inside the host, stays inside it.
constexpr QStringView delimiters = u"/?#@:";
const QString hostCharacter = u"[^/?#@:]"_s;
const QString hostStart = u"(?<=//|@)"_s;
const QString hostEnd = u"(?=[/?#:]|$)"_s;
// The scheme, then a user name and password when the link has them: taken whole, never searched.
const QString linkStart = u"^https?://(?:[^/?#@]*@)?+"_s;

// Reads the JavaScript source left to right and writes the ICU pattern, refusing at the first construct it is
// not sure of.
class Translator final {
public:
    static constexpr int maximumCount = 1000;

    explicit Translator(QStringView source) : m_source(source) {}

    std::optional<QString> translate()
    {
        while (m_position < m_source.size()) {
            if (!step())
                return std::nullopt;
        }
        if (m_depth != 0)
            return std::nullopt;
        return m_out;
    }

    bool hasTopLevelAlternative() const { return m_hasTopLevelAlternative; }

private:
    QChar at(qsizetype position) const { return position < m_source.size() ? m_source[position] : QChar(); }

    bool step()
    {
        const QChar c = m_source[m_position++];
        // JavaScript lets a lookahead be quantified (`(?=a)+`); ICU refuses the pattern.
        const bool afterLookahead = std::exchange(m_afterLookahead, false);
        switch (c.unicode()) {
        case u'\\':
            return escape(false);
        case u'[':
            return characterSet();
        case u'.':
            m_out += hostCharacter;
            return true;
        case u'^':
            m_out += hostStart;
            return true;
        case u'$':
            m_out += hostEnd;
            return true;
        case u'(':
            return group();
        case u')':
            m_out += c;
            if (m_lookaheads.isEmpty())
                return false;
            m_afterLookahead = m_lookaheads.takeLast();
            return --m_depth >= 0;
        case u'|':
            if (m_depth == 0)
                m_hasTopLevelAlternative = true;
            m_out += c;
            return true;
        case u'*':
        case u'+':
        case u'?':
            m_out += c;
            return !afterLookahead;
        case u'{':
            return brace(afterLookahead);
        case u'}':
        case u']':
            // Plain characters to JavaScript outside a quantifier or set; ICU wants them escaped.
            m_out += u'\\';
            m_out += c;
            return true;
        default:
            if (delimiters.contains(c))
                return false;
            m_out += c;
            return true;
        }
    }

    // After a backslash, outside or inside a set. Class escapes that could match a delimiter are narrowed
    // outside sets; inside a set the caller decides.
    bool escape(bool inSet)
    {
        const QChar c = at(m_position++);
        if (c.isNull())
            return false;
        switch (c.unicode()) {
        case u'd':
        case u'w':
        case u's':
            m_out += u'\\';
            m_out += c;
            return true;
        case u'D':
        case u'W':
        case u'S':
            if (inSet) {
                m_out += u'\\';
                m_out += c;
            } else {
                m_out += u"[^\\"_s + c.toLower() + u"/?#@:]"_s;
            }
            return true;
        case u'b':
        case u'B':
            // Word boundaries: the characters around a host (`/`, `@`, `:` or the end) are not word characters
            // either, so the boundaries fall where they fall in the host alone. Inside a set, \b is a backspace.
            if (inSet)
                return false;
            m_out += u'\\';
            m_out += c;
            return true;
        case u't':
        case u'n':
        case u'r':
        case u'f':
            m_out += u'\\';
            m_out += c;
            return true;
        case u'x':
            return hexEscape(c, 2);
        case u'u':
            return hexEscape(c, 4);
        default:
            // Identity escapes of punctuation read the same in both engines. Escaped letters and digits are
            // back references or classes in one engine and something else in the other.
            if (isAsciiAlphanumeric(c) || delimiters.contains(c))
                return false;
            m_out += u'\\';
            m_out += c;
            return true;
        }
    }

    bool hexEscape(QChar letter, int digits)
    {
        char16_t value = 0;
        for (int i = 0; i < digits; ++i) {
            const int digit = hexDigitValue(at(m_position + i));
            if (digit < 0)
                return false;
            value = char16_t(value * 16 + digit);
        }
        if (delimiters.contains(QChar(value)))
            return false;
        m_out += u'\\';
        m_out += letter;
        m_out += m_source.mid(m_position, digits);
        m_position += digits;
        return true;
    }

    bool group()
    {
        ++m_depth;
        const QChar kind = at(m_position + 1);
        m_lookaheads.append(at(m_position) == u'?' && (kind == u'=' || kind == u'!'));
        if (at(m_position) != u'?') {
            m_out += u'(';
            return true;
        }
        if (kind == u':' || kind == u'=' || kind == u'!') {
            m_out += m_source.mid(m_position - 1, 3);
            m_position += 2;
            return true;
        }
        if (kind == u'<' && at(m_position + 2) != u'=' && at(m_position + 2) != u'!') {
            // A named group: ICU takes ASCII letters and digits in the name.
            const qsizetype close = m_source.indexOf(u'>', m_position + 2);
            if (close < 0)
                return false;
            const QStringView name = m_source.sliced(m_position + 2, close - m_position - 2);
            if (name.isEmpty() || !std::all_of(name.begin(), name.end(), isAsciiAlphanumeric))
                return false;
            m_out += m_source.sliced(m_position - 1, close - m_position + 2);
            m_position = close + 1;
            return true;
        }
        // Lookbehind would look at what precedes the host, which the host alone does not have.
        return false;
    }

    // `{n}`, `{n,}` and `{n,m}` are quantifiers; any other brace is a plain character to JavaScript.
    bool brace(bool afterLookahead)
    {
        qsizetype i = m_position;
        const auto digitsFrom = [this](qsizetype from) {
            qsizetype end = from;
            while (at(end) >= u'0' && at(end) <= u'9')
                ++end;
            return end;
        };
        qsizetype end = digitsFrom(i);
        bool isQuantifier = end > i;
        if (isQuantifier && at(end) == u',')
            end = digitsFrom(end + 1);
        isQuantifier = isQuantifier && at(end) == u'}';
        if (!isQuantifier) {
            m_out += u"\\{"_s;
            return true;
        }
        // A host has at most 253 characters, so a larger count is never met in full, and ICU refuses counts far
        // below what JavaScript takes (a{22222222}).
        for (const QStringView count : m_source.sliced(m_position, end - m_position).split(u',')) {
            if (count.size() > 4 || count.toInt() > maximumCount)
                return false;
        }
        m_out += m_source.sliced(m_position - 1, end - m_position + 2);
        m_position = end + 1;
        return !afterLookahead;
    }

    // A bracketed set, in the syntax both engines read alike: letters, digits, `.`, `_`, `-` and the class
    // escapes. A negated set also excludes the delimiters; a positive one may not contain any.
    bool characterSet()
    {
        const bool negated = at(m_position) == u'^';
        if (negated)
            ++m_position;
        m_out += negated ? u"[^"_s : u"["_s;
        bool isEmpty = true;
        QChar previous; // the last plain character, the start of a possible range; null when there is none
        while (true) {
            const QChar c = at(m_position++);
            if (c.isNull())
                return false;
            if (c == u']')
                break;
            isEmpty = false;
            if (c == u'\\') {
                const QChar escaped = at(m_position);
                if (escaped == u'D' || escaped == u'W' || escaped == u'S') {
                    if (!negated)
                        return false;
                } else if (escaped == u'.' || escaped == u'-' || escaped == u'_' || escaped == u']' ||
                           escaped == u'\\') {
                    m_out += u'\\';
                    m_out += escaped;
                    previous = escaped;
                    ++m_position;
                    continue;
                }
                previous = QChar();
                if (!escape(true))
                    return false;
                continue;
            }
            if (c == u'-' && !previous.isNull() && at(m_position) != u']') {
                const QChar last = at(m_position);
                if (!isAsciiAlphanumeric(last) || last < previous)
                    return false;
                for (const QChar delimiter : delimiters) {
                    if (!negated && delimiter >= previous && delimiter <= last)
                        return false;
                }
                m_out += c;
                m_out += last;
                ++m_position;
                previous = QChar();
                continue;
            }
            if (!(isAsciiAlphanumeric(c) || c == u'.' || c == u'_' || c == u'-' ||
                  (c.unicode() >= 0x80 && c.isLetter())))
                return false;
            m_out += c == u'-' ? u"\\-"_s : QString(c);
            previous = c;
        }
        if (isEmpty && !negated)
            return false; // never matches in JavaScript; ICU refuses it
        if (negated)
            m_out += u"/?#@:"_s;
        m_out += u']';
        return true;
    }

    QStringView m_source;
    qsizetype m_position = 0;
    int m_depth = 0;
    QList<bool> m_lookaheads;      // per open group: whether it is a lookahead
    bool m_afterLookahead = false; // whether the last thing read closed a lookahead
    bool m_hasTopLevelAlternative = false;
    QString m_out;
};

// Whether the expression names an upper-case ASCII letter, plainly or by a \x or \u escape. Finicky tests the host
// as URL parsing leaves it, in lower case, so such a letter matches nothing without the `i` flag, while rules
// ignore case.
bool namesUpperCase(QStringView source)
{
    const auto isUpper = [](char16_t c) { return c >= u'A' && c <= u'Z'; };
    for (qsizetype i = 0; i < source.size(); ++i) {
        if (source[i] != u'\\') {
            if (isUpper(source[i].unicode()))
                return true;
            continue;
        }
        if (++i >= source.size())
            break;
        const int digits = source[i] == u'x' ? 2 : source[i] == u'u' ? 4 : 0;
        char16_t value = 0;
        for (int d = 1; d <= digits; ++d)
            value = char16_t(value * 16 + std::max(0, hexDigitValue(i + d < source.size() ? source[i + d] : QChar())));
        if (digits > 0 && isUpper(value))
            return true;
    }
    return false;
}

} // namespace

std::optional<QString> patternForHostnameRegex(const QString& source, const QString& flags)
{
    if (!flags.contains(u'i') && namesUpperCase(source))
        return std::nullopt;
    // A leading `^` of the whole expression anchors it at the host's start; the prefix already ends there.
    const bool startsAnchored = source.startsWith(u'^');
    Translator translator(startsAnchored ? QStringView(source).sliced(1) : QStringView(source));
    const std::optional<QString> body = translator.translate();
    if (!body)
        return std::nullopt;
    // A sticky expression matches only where its search starts, the host's start.
    const bool anchored = (startsAnchored && !translator.hasTopLevelAlternative()) || flags.contains(u'y');
    if (startsAnchored && !anchored)
        return linkStart + hostCharacter + u"*?(?:"_s + hostStart + *body + u')';
    return linkStart + (anchored ? QString() : hostCharacter + u"*?"_s) + u"(?:"_s + *body + u')';
}
