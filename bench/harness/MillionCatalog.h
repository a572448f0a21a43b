#pragma once

// The catalog of a million items that the gallery benchmarks share, written
// into a catalog file at bench time: folders by year and month as a scan
// would meet them; 5% of the items have a copy on a backup disk (same
// content and key), 2% are Live Photos whose motion video sits beside the
// still, some photos have an edited copy, a third are portraits, and one
// item in ten has no thumbnail yet.

#include "catalog/MediaCatalog.h"
#include "catalog/MediaRowWriter.h"

#include <QStringList>

#include <functional>
#include <random>

namespace pivra::bench {

inline constexpr int millionItems = 1'000'000;

inline const QUuid archiveSource = QUuid::fromString(QStringLiteral("6F1C2A10-7D3B-4C55-9E0A-1B2C3D4E5F60"));
inline const QUuid backupSource = QUuid::fromString(QStringLiteral("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF"));
inline const QUuid phoneSource = QUuid::fromString(QStringLiteral("0D9E8F7A-6B5C-4D3E-8F2A-1B0C9D8E7F6A"));

// A file made for a row: where it lies and what a scan finds of it.
struct RowFile {
    QString path;
    std::int64_t size = 0;
    double modified = 0;
};

// Makes the file of the row of `source` at `relativePath` that the writer
// numbers `seed`.
using RowFileMaker = std::function<RowFile(const QUuid& source, const QString& relativePath, int seed)>;

// The metadata text a camera's photo stores, about 700 bytes as real rows
// hold: the gallery's reads pass over it, so its size is part of their cost.
inline QString cameraMetadataJSON(const QString& camera, int serial)
{
    return QStringLiteral(
               R"({"ColorModel":"RGB","DPIHeight":72,"DPIWidth":72,"Depth":8,"HasAlpha":false,"Orientation":1,)"
               R"("PixelHeight":3024,"PixelWidth":4032,"{Exif}":{"ApertureValue":1.6959938128383605,)"
               R"("BrightnessValue":%1,"ColorSpace":65535,"DateTimeDigitized":"2021:06:01 10:%2:00",)"
               R"("DateTimeOriginal":"2021:06:01 10:%2:00","ExposureBiasValue":0,"ExposureMode":0,)"
               R"("ExposureProgram":2,"ExposureTime":0.008333333333333333,"FNumber":1.6,"Flash":16,)"
               R"("FocalLenIn35mmFilm":26,"FocalLength":4.2,"ISOSpeedRatings":[%3],"LensMake":"Apple",)"
               R"("LensModel":"%4 back camera 4.2mm f/1.6","MeteringMode":5,"OffsetTime":"+02:00",)"
               R"("SceneType":1,"SensingMethod":2,"ShutterSpeedValue":6.908,"SubjectArea":[2013,1511,2116,1270],)"
               R"("WhiteBalance":0},"{TIFF}":{"Make":"Apple","Model":"%4","Orientation":1,"ResolutionUnit":2,)"
               R"("Software":"16.1","XResolution":72,"YResolution":72}})")
        .arg(serial % 1000 / 100.0)
        .arg(serial % 60, 2, 10, QLatin1Char('0'))
        .arg(32 + serial % 200)
        .arg(camera);
}

// Writes the catalog at `path`; `thumbnailKey(seed)` names the thumbnail of
// the item the writer numbers `seed` (its still, motion video and edited
// copy have seeds of their own). With `makeFile`, every row's file is made
// and the row records it as a scan would, so that a rescan finds the library
// unchanged; without, the rows name files of absent disks.
inline void writeMillionCatalog(const QString& path, const std::function<QString(int seed)>& thumbnailKey,
                                const RowFileMaker& makeFile = {})
{
    const MediaCatalog schema(path);
    test::MediaRowWriter writer(path);
    sqlite::Transaction transaction(writer.db());
    std::mt19937 random(7);
    std::uniform_real_distribution<double> withinMonth(0.0, 30.0 * 86400.0);
    const QStringList cameras = {"iPhone 12 Pro", "Canon EOS R6", "FC3170", "Pixel 7"};

    const auto insert = [&](test::MediaRow& row, const QUuid& source, int seed) {
        if (makeFile) {
            const RowFile file = makeFile(source, *row.relativePath, seed);
            row.path = file.path;
            row.fileSize = file.size;
            row.modified = file.modified;
        }
        writer.insert(row);
    };
    int written = 0;
    int serial = 0;
    while (written < millionItems) {
        const int month = serial / 4000;
        const int year = 2004 + month / 12;
        const QString folder = QStringLiteral("%1/%2").arg(year).arg(month % 12 + 1, 2, 10, QLatin1Char('0'));
        const QUuid source = (serial % 10 == 9) ? phoneSource : archiveSource;
        const bool video = serial % 12 == 0;
        const QString name = QStringLiteral("IMG_%1.%2").arg(serial % 10000, 4, 10, QLatin1Char('0'))
                                 .arg(video ? QStringLiteral("MOV") : QStringLiteral("HEIC"));
        test::MediaRow row = test::folderRow(source, folder + u'/' + QString::number(serial / 10000) + u'/' + name,
                                             video ? QStringLiteral("video") : QStringLiteral("image"));
        row.path = QStringLiteral("/media/user/Photos/") + *row.relativePath;
        row.captured = 1'072'915'200.0 + month * 30.0 * 86400.0 + withinMonth(random);
        row.modified = row.captured + 60;
        row.fileSize = 1'500'000 + serial * 13 % 4'000'000;
        if (serial % 3 == 1) {
            std::swap(row.width, row.height);
        }
        row.camera = cameras[serial % cameras.size()];
        row.metadataJSON = cameraMetadataJSON(*row.camera, serial);
        if (serial % 10 != 3) {
            row.thumbnailKey = thumbnailKey(serial);
        }
        const bool live = !video && serial % 50 == 1;
        if (live) {
            row.liveIdentifier = QStringLiteral("LIVE-%1").arg(serial);
        }
        insert(row, source, serial);
        ++written;

        if (live) {
            test::MediaRow motion = row;
            motion.path.replace(QStringLiteral(".HEIC"), QStringLiteral(".MOV"));
            motion.relativePath->replace(QStringLiteral(".HEIC"), QStringLiteral(".MOV"));
            motion.name->replace(QStringLiteral(".HEIC"), QStringLiteral(".MOV"));
            motion.kind = QStringLiteral("video");
            motion.duration = 2.9;
            motion.fileSize += 7;
            motion.thumbnailKey = thumbnailKey(-serial);
            insert(motion, source, -serial);
            ++written;
        }
        if (serial % 20 == 7) {
            test::MediaRow copy = row;
            copy.sourceID = uuidString(backupSource);
            copy.path = QStringLiteral("/media/user/Backup/") + *row.relativePath;
            insert(copy, backupSource, serial);
            ++written;
        }
        if (!video && serial % 100 == 5) {
            test::MediaRow edited = row;
            const QString editedName = u"IMG_E" + row.name->mid(4);
            edited.relativePath = row.relativePath->left(row.relativePath->size() - row.name->size()) + editedName;
            edited.path = QStringLiteral("/media/user/Photos/") + *edited.relativePath;
            edited.name = editedName;
            edited.fileSize += 11;
            edited.thumbnailKey = thumbnailKey(serial + 50'000'000);
            insert(edited, source, serial + 50'000'000);
            ++written;
        }
        ++serial;
    }
    if (makeFile) {
        // As a finished scan and the location reading leave them, so that
        // a rescan opens no file and nothing reads the rows again.
        writer.exec("UPDATE media SET inspection_version=1,live_checked=1,location_checked=1");
    }
    transaction.commit();
    writer.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

} // namespace pivra::bench
