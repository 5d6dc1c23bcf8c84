#include "window/UnixSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace kv {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int gSignalPipe[2] = {-1, -1};

extern "C" void WriteSignalByte(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[0], &byte, 1);
}

}  // namespace

TTerminationSignals::TTerminationSignals(std::function<void()> onSignal) : OnSignal(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0) return;
    Notifier = new QSocketNotifier(gSignalPipe[1], QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(gSignalPipe[1], &byte, 1);
        if (OnSignal) OnSignal();
    });
    struct sigaction action {};
    action.sa_handler = WriteSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

TTerminationSignals::~TTerminationSignals() {
    for (int signal : kSignals) ::signal(signal, SIG_DFL);
    delete Notifier;
    Notifier = nullptr;
    for (int& fd : gSignalPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

}  // namespace kv
