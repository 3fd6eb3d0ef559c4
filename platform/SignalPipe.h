#pragma once

// Turns a signal into a readable byte on a pipe, so that a program's event
// loop, not the signal handler, does the work a signal asks for: a handler
// may only call async-signal-safe functions, and logging, saving or quitting
// an event loop are none of them.

#include <csignal>

namespace vantrel {

class SignalPipe
{
public:
    // Installs the handler for signal; flag (when given) is set to 1 by the
    // handler itself, before the byte is written, so code that runs before
    // the loop reads the pipe can already see the request.
    static bool install(int signal, volatile std::sig_atomic_t* flag = nullptr);
    // The end to watch for reading; -1 before install().
    static int readDescriptor();
    // Empties the pipe; returns true if at least one signal had arrived.
    static bool drain();
};

} // namespace vantrel
