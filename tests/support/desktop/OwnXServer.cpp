#include "support/desktop/OwnXServer.h"

#include <QStandardPaths>

namespace pivra::test {

OwnXServer::OwnXServer()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        return;
    }
    // The server writes the number it took once it accepts connections. Its
    // screen is as wide as the offscreen platform's, on which a window's place
    // stored here is restored as the same place.
    server_.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                         QStringLiteral("800x600x24")});
    QByteArray said;
    while (!said.contains('\n') && server_.waitForReadyRead(60'000)) {
        said += server_.readAllStandardOutput();
    }
    bool isNumber = false;
    const int number = said.trimmed().toInt(&isNumber);
    if (isNumber) {
        display_ = u':' + QString::number(number);
    }
}

OwnXServer::~OwnXServer()
{
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        server_.waitForFinished();
    }
}

} // namespace pivra::test
