#include "app/launch/WindowGeometry.h"

#include "platform/AppSettings.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <optional>

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

// The window's own rectangle as saveGeometry() wrote it, the record's last
// field; none for a maximised or full-screen window, whose state Qt restores.
// Qt places a restored window itself only after moving one whose top lies
// less than a title bar's height below the screen's top down by that height,
// for a title bar it assumes: without a window manager there is none, and a
// window at the top came back 20 pixels lower.
std::optional<QRect> storedWindowRect(const QByteArray& stored)
{
    QDataStream stream(stored);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0;
    quint16 minor = 0;
    QRect frame;
    QRect normal;
    qint32 screen = 0;
    quint8 maximized = 0;
    quint8 fullScreen = 0;
    qint32 screenWidth = 0;
    QRect window;
    stream >> magic >> major >> minor >> frame >> normal >> screen >> maximized >> fullScreen >> screenWidth >> window;
    if (stream.status() != QDataStream::Ok || major < 3 || maximized != 0 || fullScreen != 0) {
        return std::nullopt;
    }
    return window;
}

} // namespace

QRect fitted(const QRect& window, const QRect& available)
{
    if (!available.isValid()) {
        return window;
    }
    const QSize size
        = window.size().expandedTo(smallestSize).boundedTo(available.size()).expandedTo(QSize(1, 1));
    // A window the user left reaching past the screen's edge stays there, as
    // long as enough of its top is on the screen to take hold of it.
    const QRect top = QRect(window.topLeft(), QSize(size.width(), reachableTop.height())).intersected(available);
    if (top.width() >= reachableTop.width() && top.height() == reachableTop.height()) {
        return {window.topLeft(), size};
    }
    const int x = std::clamp(window.x(), available.left(), available.right() + 1 - size.width());
    const int y = std::clamp(window.y(), available.top(), available.bottom() + 1 - size.height());
    return {QPoint(x, y), size};
}

void restore(QWidget& window)
{
    const QByteArray stored = AppSettings().value(settingsKey).toByteArray();
    if (restoredWhole(window, stored)) {
        window.setGeometry(fitted(storedWindowRect(stored).value_or(window.geometry()), availableArea(window)));
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
