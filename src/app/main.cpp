#include "store/LibraryStore.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication::setApplicationName(QStringLiteral("Pivra"));
    QApplication::setOrganizationName(QStringLiteral("Pivra"));
    QApplication app(argc, argv);
    // Made before any window, so the catalog is open and the library starts
    // coming up to date while the window is built.
    pivra::LibraryStore::shared();

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Pivra"));
    window.resize(1200, 760);
    window.show();
    return QApplication::exec();
}
