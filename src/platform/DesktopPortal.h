#pragma once

#include <QString>

namespace pivra {

// Where the desktop portal answers on the session bus; the settings reader
// and the share service both speak to it.
inline const QString desktopPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString desktopPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

} // namespace pivra
