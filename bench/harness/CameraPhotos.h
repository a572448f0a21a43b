#pragma once

// A folder of camera-like JPEGs with capture dates, 50 to a day folder, for
// benchmarks that index a real folder.

#include "support/files/JpegMaker.h"

#include <QColor>
#include <QDir>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

namespace pivra::bench {

inline void makeCameraPhotos(const QString& folder, int count, QSize size)
{
    QDir().mkpath(folder);
    for (int serial = 0; serial < count; ++serial) {
        const QString day = folder + QStringLiteral("/%1").arg(serial / 50, 3, 10, QLatin1Char('0'));
        QDir().mkpath(day);
        test::ExifFields exif;
        exif.dateTimeOriginal = QStringLiteral("2021:%1:%2 10:%3:00")
                                    .arg(serial / 500 + 1, 2, 10, QLatin1Char('0'))
                                    .arg(serial / 50 % 10 + 1, 2, 10, QLatin1Char('0'))
                                    .arg(serial % 50, 2, 10, QLatin1Char('0'));
        const QColor color = QColor::fromHsv(serial * 37 % 360, 160, 200);
        test::makeJpeg(day + QStringLiteral("/IMG_%1.jpg").arg(serial, 4, 10, QLatin1Char('0')), size, exif, color);
    }
}

// The program's photo folder, in a temporary folder removed at exit.
inline QString cameraPhotoFolder()
{
    static QTemporaryDir dir;
    return dir.filePath(QStringLiteral("Photos"));
}

} // namespace pivra::bench
