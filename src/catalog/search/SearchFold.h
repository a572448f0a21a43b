#pragma once

#include <QString>

namespace pivra {

// The one normal form in which search words, vocabulary tables and place names
// are compared, so that "İSTANBUL", "Istanbul" and "istanbul" meet, and so do
// "Ağu" and "agu".
//
// Turkish first: the dotted capital İ and the capital I both become "i", the
// text is lower-cased without regard to any locale, and the dotless ı becomes
// "i" too; a Turkish user types either i for the same word. Then case and
// diacritics are folded the way a case- and diacritic-insensitive comparison
// in the POSIX locale folds them: full case folding ("ß" becomes "ss"), then
// every non-spacing mark left after canonical decomposition is dropped.
// Letters that carry no decomposable mark ("ø", "ł", "æ", "đ") stay as they
// are, as they do in that comparison.
QString searchFold(const QString& text);

} // namespace pivra
