#include "regex_escape.h"

using namespace Qt::StringLiterals;

namespace {

// The characters that are special outside a bracketed set. `-` and `/` have no meaning there and stay as they
// are, which keeps escaped link patterns readable ("example\.com/path").
constexpr QStringView metacharacters = u"\\^$.|?*+()[]{}";

} // namespace

QString escapedRegexPattern(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + text.size() / 4);
    for (const QChar c : text) {
        if (metacharacters.contains(c))
            escaped += u'\\';
        escaped += c;
    }
    return escaped;
}
