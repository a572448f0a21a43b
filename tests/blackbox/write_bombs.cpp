// Writes one decompression bomb of each format the black-box runs feed the
// program (see support/Bombs.h) into a folder.
//
//   pivra_blackbox_write_bombs FOLDER
#include "support/Bombs.h"

#include <QDir>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (const QString& name : pivra::test::bombNames()) {
        if (!pivra::test::writeBomb(folder.filePath(name))) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(folder.filePath(name)));
            return 1;
        }
    }
    return 0;
}
