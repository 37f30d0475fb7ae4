#include "elided_text.h"

QString elidedText(QStringView text, qsizetype maxLength)
{
    if (text.size() <= maxLength)
        return text.toString();
    const qsizetype kept = std::max<qsizetype>(maxLength - 1, 0);
    qsizetype head = kept - kept / 2;
    qsizetype tailStart = text.size() - kept / 2;
    if (head > 0 && text[head - 1].isHighSurrogate())
        --head;
    if (tailStart < text.size() && text[tailStart].isLowSurrogate())
        ++tailStart;
    return text.first(head) + QChar(0x2026) + text.sliced(tailStart);
}
