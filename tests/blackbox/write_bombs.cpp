// Writes one decompression bomb of each format the black-box runs feed the
// program (see support/Bombs.h) into a folder.
//
//   pivra_blackbox_write_bombs FOLDER [COUNT SIDE]
//
// With COUNT and SIDE, writes COUNT GIFs of SIDE × SIDE instead, named
// "large-1.gif" and on.
#include "support/Bombs.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s FOLDER [COUNT SIDE]\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QStringList names = pivra::test::bombNames();
    int side = 60000;
    if (argc == 4) {
        names.clear();
        for (int i = 1; i <= std::atoi(argv[2]); ++i) {
            names.append(QStringLiteral("large-%1.gif").arg(i));
        }
        side = std::atoi(argv[3]);
    }
    for (const QString& name : names) {
        if (!pivra::test::writeBomb(folder.filePath(name), side)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(folder.filePath(name)));
            return 1;
        }
    }
    return 0;
}
