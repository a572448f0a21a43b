#include "app/window/QtClipboard.h"

#include "gallery/drag/MediaPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace pivra {

void QtClipboard::putFiles(const QStringList& paths)
{
    QGuiApplication::clipboard()->setMimeData(MediaPasteboard::filesMimeData(paths).release());
}

} // namespace pivra
