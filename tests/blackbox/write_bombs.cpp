// Writes one decompression bomb of each format the black-box runs feed the
// program (see support/Bombs.h) into a folder.
//
//   pivra_blackbox_write_bombs FOLDER [COUNT SIDE [progressive]]
//
// With COUNT and SIDE, writes COUNT GIFs of SIDE × SIDE instead, named
// "large-1.gif" and on; with "progressive", COUNT progressive JPEGs of that
// size, named "progressive-1.jpg" and on.
#include "support/files/Bombs.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    const bool progressive = argc == 5 && std::strcmp(argv[4], "progressive") == 0;
    if (argc != 2 && argc != 4 && !progressive) {
        std::fprintf(stderr, "usage: %s FOLDER [COUNT SIDE [progressive]]\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QStringList names = pivra::test::bombNames();
    int side = 60000;
    if (argc >= 4) {
        names.clear();
        for (int i = 1; i <= std::atoi(argv[2]); ++i) {
            names.append((progressive ? QStringLiteral("progressive-%1.jpg") : QStringLiteral("large-%1.gif")).arg(i));
        }
        side = std::atoi(argv[3]);
    }
    for (const QString& name : names) {
        const QString path = folder.filePath(name);
        if (!(progressive ? pivra::test::writeProgressiveJpegBomb(path, side) : pivra::test::writeBomb(path, side))) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
