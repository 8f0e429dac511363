#include "platform/TerminationSignals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace quorvane {

namespace {

// The handler may only do async-signal-safe work: it writes the signal number into the
// socket pair and the event loop does the rest.
int gPipe[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction gPrevious[3];

void onSignal(int sig) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] ssize_t n = ::write(gPipe[0], &byte, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (gPipe[0] >= 0) return;  // another instance owns the handlers
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPipe) != 0) {
        gPipe[0] = gPipe[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(gPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(kSignals[i], &sa, &gPrevious[i]);
    }
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    delete notifier_;
    notifier_ = nullptr;
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

void TerminationSignals::drain() {
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(gPipe[1], bytes, sizeof bytes);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) emit terminationRequested(bytes[i]);
    }
}

}  // namespace quorvane
