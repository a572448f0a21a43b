#include "app/launch/WindowGeometry.h"

#include "platform/AppSettings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace pivra::WindowGeometry {
namespace {

QRect availableArea(const QWidget& window)
{
    const QScreen* screen = QGuiApplication::screenAt(window.geometry().center());
    if (screen == nullptr) {
        screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

// Qt reads a stored geometry without checking that it was all there: a cut
// value gives whatever the missing fields read as (a window 1 pixel wide).
// Saving writes every field, so a whole value is as long as a fresh one.
bool restoredWhole(QWidget& window, const QByteArray& stored)
{
    return !stored.isEmpty() && stored.size() == window.saveGeometry().size() && window.restoreGeometry(stored);
}

} // namespace

QRect fitted(const QRect& window, const QRect& available)
{
    if (!available.isValid()) {
        return window;
    }
    const QSize size
        = window.size().expandedTo(smallestSize).boundedTo(available.size()).expandedTo(QSize(1, 1));
    const int x = std::clamp(window.x(), available.left(), available.right() + 1 - size.width());
    const int y = std::clamp(window.y(), available.top(), available.bottom() + 1 - size.height());
    return {QPoint(x, y), size};
}

void restore(QWidget& window)
{
    if (restoredWhole(window, AppSettings().value(settingsKey).toByteArray())) {
        window.setGeometry(fitted(window.geometry(), availableArea(window)));
    } else {
        // Placed by the window manager, as a new window is.
        window.resize(fitted(QRect(QPoint(), standardSize), availableArea(window)).size());
    }
}

void save(const QWidget& window)
{
    AppSettings().setValue(settingsKey, window.saveGeometry());
}

} // namespace pivra::WindowGeometry
