#pragma once

#include "platform/updates/AppcastItem.h"

#include <QStringList>

namespace pivra {

// Releases that were fetched and refused for a fault of their own: a
// signature that does not hold for the version the feed lists, a program
// that says it is another version. Kept in the program's settings, so that
// a feed listing one again does not have it fetched, and installed, again.
// A release is known by its version and its signature: a corrected entry
// carries a new signature and is offered as any other.

// The releases refused so far. Any thread, as every function here.
QStringList refusedReleases();
// Adds `item` to them.
void rememberRefusedRelease(const AppcastItem& item);
// Whether `item` is among `refused`.
bool isRefused(const AppcastItem& item, const QStringList& refused);

} // namespace pivra
