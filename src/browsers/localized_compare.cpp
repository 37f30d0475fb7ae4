#include "localized_compare.h"

#include <QLocale>
#include <unicode/coll.h>
#include <unicode/locid.h>

#include <memory>

namespace {

icu::Locale collationLocale()
{
    const QLocale system = QLocale::system();
    // A bare session or a test runner has the C (POSIX) locale. ICU reads that as en_US_POSIX, whose collation
    // orders ASCII by code point: "Work" before "apple", "Profile 10" before "profile 9", whatever the
    // strength and numeric settings. English orders names as people expect.
    if (system.language() == QLocale::C)
        return icu::Locale("en");
    const QByteArray tag = system.bcp47Name().toLatin1();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(tag.constData(), status);
    if (U_FAILURE(status) || locale.isBogus())
        return icu::Locale("en");
    return locale;
}

std::unique_ptr<icu::Collator> createCollator()
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(collationLocale(), status));
    if (U_FAILURE(status))
        return nullptr;
    // Secondary strength tells accents apart but not case.
    collator->setStrength(icu::Collator::SECONDARY);
    collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    if (U_FAILURE(status))
        return nullptr;
    return collator;
}

} // namespace

bool localizedLessThan(const QString& a, const QString& b)
{
    static const std::unique_ptr<icu::Collator> collator = createCollator();
    if (!collator)
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        collator->compare(reinterpret_cast<const char16_t*>(a.utf16()), static_cast<int32_t>(a.size()),
                          reinterpret_cast<const char16_t*>(b.utf16()), static_cast<int32_t>(b.size()), status);
    return U_SUCCESS(status) && result == UCOL_LESS;
}
