#include "app/quitsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int s_pipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe; the event loop
// does the rest.
extern "C" void onQuitSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    ssize_t ignored = ::write(s_pipe[1], &byte, 1);
    (void)ignored;
    errno = savedErrno;
}

} // namespace

void installQuitSignals(QCoreApplication *app)
{
    if (!app || s_pipe[0] >= 0)
        return;
    if (::pipe(s_pipe) != 0) {
        s_pipe[0] = s_pipe[1] = -1;
        return;
    }
    for (int fd : s_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }

    auto *notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
        char buffer[64];
        while (::read(s_pipe[0], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });

    const int quitSignals[] = {SIGINT, SIGTERM, SIGHUP};
    sigset_t mask;
    sigemptyset(&mask);
    for (int sig : quitSignals) {
        // A signal ignored by whoever started us stays ignored: nohup ignores
        // SIGHUP so that the run outlives the session.
        struct sigaction current = {};
        if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = onQuitSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(sig, &action, nullptr);
        sigaddset(&mask, sig);
    }
    // A launcher may have started us with these blocked; they would then stay
    // pending and the program could only be stopped the hard way.
    ::sigprocmask(SIG_UNBLOCK, &mask, nullptr);
}
