#include "regex_literal.h"

#include "base/ascii_chars.h"

namespace {

constexpr qsizetype minimumLength = 3;

// Reads a pattern left to right, collecting the runs of plain characters at the top level (outside any
// group) that no quantifier makes optional, and keeps the longest. Anything it does not understand
// completely makes it give up: a missed shortcut costs microseconds, a wrong one would lose a link.
class LiteralReader final {
public:
    explicit LiteralReader(QStringView pattern) : m_pattern(pattern) {}

    QString read()
    {
        if (m_pattern.contains(u"\\Q") || hasInlineFlagsOrComment())
            return QString();
        while (m_position < m_pattern.size()) {
            if (!step())
                return QString();
        }
        endRun();
        return m_best.size() >= minimumLength ? m_best : QString();
    }

private:
    bool hasInlineFlagsOrComment() const
    {
        for (qsizetype i = m_pattern.indexOf(u"(?"); i >= 0; i = m_pattern.indexOf(u"(?", i + 1)) {
            const QChar next = i + 2 < m_pattern.size() ? m_pattern[i + 2] : QChar();
            if (next != u':' && next != u'=' && next != u'!' && next != u'<' && next != u'>')
                return true;
        }
        return false;
    }

    QChar at(qsizetype position) const { return position < m_pattern.size() ? m_pattern[position] : QChar(); }

    void endRun()
    {
        if (m_run.size() > m_best.size())
            m_best = m_run;
        m_run.clear();
    }

    void literal(QChar c)
    {
        if (m_depth == 0 && c.unicode() < 0x80)
            m_run += c;
        else
            endRun();
    }

    // Moves past the text up to and including `close`; false when there is none.
    bool skipPast(QChar close)
    {
        const qsizetype end = m_pattern.indexOf(close, m_position);
        if (end < 0)
            return false;
        m_position = end + 1;
        return true;
    }

    void skipWhile(qsizetype atMost, bool (*accept)(QChar))
    {
        for (qsizetype taken = 0; taken < atMost && accept(at(m_position)); ++taken)
            ++m_position;
    }

    // After a backslash and a letter or digit: the escape stands for something other than itself, and some
    // escapes take arguments that must not be mistaken for plain text.
    bool escapeWithName(QChar name)
    {
        endRun();
        switch (name.unicode()) {
        case u'c':
            ++m_position;
            return m_position <= m_pattern.size();
        case u'x':
            if (at(m_position) == u'{')
                return skipPast(u'}');
            skipWhile(2, isHexDigit);
            return true;
        case u'u':
            skipWhile(4, isHexDigit);
            return true;
        case u'U':
            skipWhile(8, isHexDigit);
            return true;
        case u'N':
        case u'p':
        case u'P':
            if (at(m_position) == u'{')
                return skipPast(u'}');
            ++m_position;
            return true;
        case u'k':
            return at(m_position) == u'<' && skipPast(u'>');
        default:
            if (name >= u'0' && name <= u'9')
                skipWhile(m_pattern.size(), [](QChar c) { return c >= u'0' && c <= u'9'; });
            return true;
        }
    }

    // A bracketed set, read as one unit. Nested and empty-looking sets are left alone.
    bool skipSet()
    {
        qsizetype i = m_position + 1;
        if (at(i) == u'^')
            ++i;
        if (at(i) == u']')
            return false;
        for (; i < m_pattern.size(); ++i) {
            const QChar c = m_pattern[i];
            if (c == u'\\')
                ++i;
            else if (c == u'[')
                return false;
            else if (c == u']')
                break;
        }
        if (i >= m_pattern.size())
            return false;
        m_position = i + 1;
        endRun();
        return true;
    }

    bool step()
    {
        const QChar c = m_pattern[m_position];
        switch (c.unicode()) {
        case u'\\': {
            const QChar escaped = at(m_position + 1);
            if (escaped.isNull())
                return false;
            m_position += 2;
            if (isAsciiAlphanumeric(escaped))
                return escapeWithName(escaped);
            literal(escaped);
            return true;
        }
        case u'[':
            return skipSet();
        case u'(':
            endRun();
            ++m_depth;
            ++m_position;
            return true;
        case u')':
            endRun();
            ++m_position;
            return --m_depth >= 0;
        case u'|':
            ++m_position;
            return m_depth > 0;
        case u'*':
        case u'?':
        case u'+':
        case u'{':
            // The quantifier applies to the last character of the run, which is then no longer certain.
            if (!m_run.isEmpty())
                m_run.chop(1);
            endRun();
            ++m_position;
            return c != u'{' || skipPast(u'}');
        case u'}':
        case u']':
            return false;
        case u'.':
        case u'^':
        case u'$':
            endRun();
            ++m_position;
            return true;
        default:
            literal(c);
            ++m_position;
            return true;
        }
    }

    QStringView m_pattern;
    qsizetype m_position = 0;
    int m_depth = 0;
    QString m_run;
    QString m_best;
};

} // namespace

QString requiredLiteral(QStringView pattern)
{
    return LiteralReader(pattern).read();
}
