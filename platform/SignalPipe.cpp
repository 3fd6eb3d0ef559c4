#include "platform/SignalPipe.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vantrel {
namespace {

int pipeEnds[2] = {-1, -1};
volatile std::sig_atomic_t* signalFlag = nullptr;

extern "C" void onSignal(int)
{
    const int saved = errno;
    if (signalFlag)
        *signalFlag = 1;
    const char byte = 1;
    // A full pipe already has a wake-up pending; losing this byte is harmless.
    [[maybe_unused]] const ssize_t n = write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

bool SignalPipe::install(int signal, volatile std::sig_atomic_t* flag)
{
    if (pipeEnds[0] < 0 && pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    signalFlag = flag;
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restart interrupted reads and waits: the driver must finish its exchange.
    action.sa_flags = SA_RESTART;
    return sigaction(signal, &action, nullptr) == 0;
}

int SignalPipe::readDescriptor()
{
    return pipeEnds[0];
}

bool SignalPipe::drain()
{
    bool any = false;
    char buffer[64];
    for (;;) {
        const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return any;
    }
}

} // namespace vantrel
