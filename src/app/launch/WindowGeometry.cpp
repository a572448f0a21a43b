#include "app/launch/WindowGeometry.h"

#include "platform/AppSettings.h"

#include <QWidget>

namespace pivra::WindowGeometry {

void restore(QWidget& window)
{
    if (!window.restoreGeometry(AppSettings().value(settingsKey).toByteArray())) {
        window.resize(1200, 760);
    }
}

void save(const QWidget& window)
{
    AppSettings().setValue(settingsKey, window.saveGeometry());
}

} // namespace pivra::WindowGeometry
