#pragma once

#include <QString>

namespace pivra {

// Who the program is to the desktop: the names its settings and data folders
// are filed under, the desktop entry window managers match its windows to,
// and its icon.
namespace PivraIdentity {

// The desktop entry's name (without ".desktop"), also the icon's name in the
// icon theme.
inline const QString desktopFileName = QStringLiteral("com.brindlecove.pivra");

// Names the program; before the application object exists, so that
// everything made with it is filed under Pivra.
void applyNames();
// Sets the window icon: the installed theme icon, else the drawing built
// into the program. Needs the application object.
void applyIcon();

// Settings of an earlier version's customisable title, shortcut and icon
// colours; removed when any is stored.
void removeLegacyCustomization();

} // namespace PivraIdentity
} // namespace pivra
