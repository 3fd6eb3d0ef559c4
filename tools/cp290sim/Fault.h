#pragma once

// Misbehaviour on demand, so that the driver's time-outs, retries and checks can
// be shown to work. A fault is written NAME[=VALUE][@WHICH]; WHICH picks the
// exchanges it spoils (1-based, counting every complete frame received): N, N-M or N-.
// Without WHICH it spoils every exchange.

#include <climits>
#include <optional>
#include <string>

namespace vantrel::cp290sim {

enum class FaultKind
{
    NoReply,   // stays silent
    BadStatus, // answers with a status that the command does not accept
    Garbage,   // answers with noise and broken runs of 0xFF, never a status
    Babble,    // sends bytes other than 0xFF without end, until the next frame
    DropByte,  // leaves one byte out of the reply (VALUE: its 1-based position)
    Late,      // replies VALUE seconds late
    Trickle,   // spaces the reply's bytes VALUE seconds apart
    Flaky,     // silent for the first VALUE exchanges only
    Vanish,    // sends VALUE bytes of the reply (default 0), then closes the terminal and exits
    PowerLoss, // forgets clock and events and goes dead, for VALUE seconds or for good

    // Acknowledge the timer event for slot VALUE but store it an hour off, or not at all.
    CorruptEvent,
    DropEvent,
};

struct Fault
{
    FaultKind kind = FaultKind::NoReply;
    std::optional<double> value;
    long first = 1;
    long last = LONG_MAX;

    bool appliesTo(long exchange) const;
};

std::optional<Fault> parseFault(const std::string& text, std::string* error);

// The fault list for --help.
std::string faultHelp();

} // namespace vantrel::cp290sim
