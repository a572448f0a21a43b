// Gives a Pivra that has not started yet its folder sources, as adding the
// folders in the program does, and prints each source's id. The bookmarks are
// made by the program's own code from the folders and the mount table as they
// are now, so the disks must be mounted; the settings file is written through
// QSettings, so its escaping is the program's own.
//
//   pivra_blackbox_add_source FOLDER...
//
// Writes $XDG_CONFIG_HOME/Pivra/Pivra.conf; prints the ids on standard output
// and the bookmark records on standard error, a line each.
#include "catalog/model/LibrarySource.h"
#include "catalog/model/Uuid.h"
#include "platform/AppSettings.h"
#include "platform/folders/FolderBookmark.h"

#include <QFileInfo>
#include <QUuid>

#include <cstdio>
#include <optional>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
        return 2;
    }
    QList<pivra::LibrarySource> sources;
    for (int index = 1; index < argc; ++index) {
        const QString path = QFileInfo(QString::fromLocal8Bit(argv[index])).absoluteFilePath();
        const std::optional<pivra::FolderBookmark> bookmark = pivra::FolderBookmark::make(path);
        if (!bookmark) {
            std::fprintf(stderr, "no bookmark can be made of %s\n", qPrintable(path));
            return 1;
        }
        pivra::LibrarySource source;
        source.id = QUuid::createUuid();
        source.name = QFileInfo(path).fileName();
        source.bookmark = bookmark->encode();
        source.lastKnownPath = path;
        sources.append(source);
    }

    pivra::AppSettings settings;
    settings.setValue(QStringLiteral("pivra.sources.v1"), pivra::encodeSources(sources));
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(settings.fileName()));
        return 1;
    }
    for (const pivra::LibrarySource& source : std::as_const(sources)) {
        std::fprintf(stderr, "%s\n", source.bookmark.constData());
        std::printf("%s\n", qPrintable(pivra::uuidString(source.id)));
    }
    return 0;
}
