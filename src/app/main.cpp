#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication::setApplicationName(QStringLiteral("Pivra"));
    QApplication::setOrganizationName(QStringLiteral("Pivra"));
    QApplication app(argc, argv);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Pivra"));
    window.resize(1200, 760);
    window.show();
    return QApplication::exec();
}
