#include "app/window/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

namespace pivra {

void QtClipboard::putFiles(const QStringList& paths)
{
    QList<QUrl> urls;
    QByteArray copied("copy");
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
        copied += '\n' + urls.last().toEncoded();
    }
    auto* data = new QMimeData;
    data->setUrls(urls);
    data->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace pivra
