#include "catalog/search/SearchFold.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace pivra {
namespace {

icu::UnicodeString toIcu(const QString& text)
{
    return icu::UnicodeString(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<int32_t>(text.size()));
}

QString fromIcu(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// Canonical decomposition, then every non-spacing mark removed, then
// composition again so that what remains compares equal to precomposed text.
icu::UnicodeString withoutDiacritics(const icu::UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        return text;
    }
    const icu::UnicodeString decomposed = nfd->normalize(text, status);
    if (U_FAILURE(status)) {
        return text;
    }
    icu::UnicodeString bare;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) {
            bare.append(c);
        }
        i += U16_LENGTH(c);
    }
    const icu::UnicodeString composed = nfc->normalize(bare, status);
    return U_FAILURE(status) ? bare : composed;
}

} // namespace

QString searchFold(const QString& text)
{
    QString turkish = text;
    turkish.replace(u'İ', u'i');
    turkish.replace(u'I', u'i');
    icu::UnicodeString folded = toIcu(turkish);
    folded.toLower(icu::Locale::getRoot());
    folded.findAndReplace(icu::UnicodeString(u'ı'), icu::UnicodeString(u'i'));
    folded.foldCase(U_FOLD_CASE_DEFAULT);
    return fromIcu(withoutDiacritics(folded));
}

} // namespace pivra
