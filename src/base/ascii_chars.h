#pragma once

#include <QChar>

// ASCII character classes for the readers of escapes and patterns (\xNN in systemd unit names, UUIDs, regular
// expressions). QChar's own classes would also take other scripts' digits and letters.

// The value of an ASCII hexadecimal digit, either case; -1 for anything else.
constexpr int hexDigitValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

constexpr bool isHexDigit(QChar c)
{
    return hexDigitValue(c) >= 0;
}

constexpr bool isAsciiAlphanumeric(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}
