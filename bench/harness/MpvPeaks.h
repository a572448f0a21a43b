#pragma once

// What `mpv --hwdec=no` takes to play a video and seek in it, to measure a
// player against: mpv is started idle with its window open, on an X server
// of its own, and driven over its JSON socket as a user would drive it.

#include "ResidentMemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QSize>
#include <QThread>

#include <optional>

namespace pivra::bench {

struct MpvPeaks {
    double idleMegabytes = 0;    // resident with its window open and nothing loaded
    double playingMegabytes = 0; // the peak from loading the file to `playSeconds` into it
    double seekingMegabytes = 0; // the peak over two exact seeks, a second apart
};

namespace detail {

// mpv's JSON socket: one command a line, answered in a line that carries its
// request's number, among the events mpv sends unasked.
class MpvSocket {
public:
    bool connect(const QString& path)
    {
        QElapsedTimer waited;
        waited.start();
        while (!waited.hasExpired(20'000)) {
            socket_.connectToServer(path);
            if (socket_.waitForConnected(1000)) {
                return true;
            }
            QThread::msleep(100);
        }
        return false;
    }

    QJsonValue command(const QJsonArray& words)
    {
        const int id = ++lastID_;
        const QJsonObject request{{QStringLiteral("command"), words}, {QStringLiteral("request_id"), id}};
        socket_.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        socket_.flush();
        while (socket_.state() == QLocalSocket::ConnectedState) {
            while (!socket_.canReadLine()) {
                if (!socket_.waitForReadyRead(10'000)) {
                    return {};
                }
            }
            const QJsonObject answer = QJsonDocument::fromJson(socket_.readLine()).object();
            if (answer.value(QStringLiteral("request_id")).toInt() == id) {
                return answer.value(QStringLiteral("data"));
            }
        }
        return {};
    }

    // Until the played time is at least `seconds`, or `patienceMs` went by.
    void waitForTime(double seconds, int patienceMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (command({QStringLiteral("get_property"), QStringLiteral("playback-time")}).toDouble(-1) < seconds
               && !waited.hasExpired(patienceMs)) {
            QThread::msleep(20);
        }
    }

private:
    QLocalSocket socket_;
    int lastID_ = 0;
};

} // namespace detail

// Plays `path` in mpv in a window of `window`: opened, played `playSeconds`,
// then sought exactly to `firstSeek` and `secondSeek` seconds, a second
// each. None when mpv cannot be run.
inline std::optional<MpvPeaks> measureMpv(const QString& path, QSize window, double playSeconds, double firstSeek,
                                          double secondSeek)
{
    const QString socketPath = QDir::tempPath() + QStringLiteral("/pivra-bench-mpv-%1.sock").arg(QCoreApplication::applicationPid());
    QFile::remove(socketPath);
    QProcess mpv;
    mpv.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mpv.setStandardOutputFile(QProcess::nullDevice());
    // Pictures drawn by software on a server of its own, as the program's
    // are on a machine without a GPU (mpv's GPU output finds no context on
    // Xvfb); no sound device.
    mpv.start(QStringLiteral("xvfb-run"),
              {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1920x1200x24"), QStringLiteral("mpv"),
               QStringLiteral("--no-config"), QStringLiteral("--no-terminal"), QStringLiteral("--hwdec=no"),
               QStringLiteral("--vo=x11"),
               QStringLiteral("--ao=null"), QStringLiteral("--idle=yes"), QStringLiteral("--force-window=yes"),
               QStringLiteral("--keep-open=yes"),
               QStringLiteral("--geometry=%1x%2").arg(window.width()).arg(window.height()),
               QStringLiteral("--input-ipc-server=") + socketPath});
    detail::MpvSocket socket;
    if (!mpv.waitForStarted() || !socket.connect(socketPath)) {
        mpv.kill();
        mpv.waitForFinished();
        return std::nullopt;
    }
    const QString pid =
        QString::number(socket.command({QStringLiteral("get_property"), QStringLiteral("pid")}).toInteger(-1));
    MpvPeaks peaks;
    QThread::sleep(2);
    peaks.idleMegabytes = residentMegabytes("VmRSS:", pid);
    resetResidentPeak(pid);
    socket.command({QStringLiteral("loadfile"), path});
    socket.waitForTime(playSeconds, 30'000);
    peaks.playingMegabytes = residentMegabytes("VmHWM:", pid);
    resetResidentPeak(pid);
    for (const double target : {firstSeek, secondSeek}) {
        socket.command({QStringLiteral("seek"), target, QStringLiteral("absolute+exact")});
        QThread::sleep(1);
    }
    peaks.seekingMegabytes = residentMegabytes("VmHWM:", pid);
    socket.command({QStringLiteral("quit")});
    if (!mpv.waitForFinished(10'000)) {
        mpv.kill();
        mpv.waitForFinished();
    }
    return peaks.playingMegabytes > 0 ? std::optional(peaks) : std::nullopt;
}

} // namespace pivra::bench
