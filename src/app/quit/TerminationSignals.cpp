#include "app/quit/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace pivra {
namespace {

// Written by the handler only; never closed, as a signal may come at any
// moment until the process ends.
int signalPipeWriteEnd = -1;

void noteSignal(int)
{
    const int saved = errno;
    const char byte = 0;
    // A full pipe holds requests enough already.
    [[maybe_unused]] const ssize_t written = ::write(signalPipeWriteEnd, &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
{
    Q_ASSERT(signalPipeWriteEnd < 0);
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("pivra: no pipe for the termination signals");
        return;
    }
    readEnd_ = ends[0];
    signalPipeWriteEnd = ends[1];
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);

    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes carry on: the program ends in its own time.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        // One the program was started ignoring stays ignored: SIGHUP under
        // nohup, SIGINT for a job a script sends to the background.
        struct sigaction started {};
        if (::sigaction(signal, nullptr, &started) == 0 && started.sa_handler != SIG_IGN) {
            ::sigaction(signal, &action, nullptr);
        }
    }
}

void TerminationSignals::drain()
{
    std::array<char, 64> bytes{};
    while (::read(readEnd_, bytes.data(), bytes.size()) > 0) {
    }
    Q_EMIT received();
}

} // namespace pivra
