// vantrel-cp290sim: a virtual CP290 on a pseudo-terminal, for tests and for
// running the programs without the hardware.

#include "tools/cp290sim/Fault.h"
#include "tools/cp290sim/Protocol.h"
#include "tools/cp290sim/Simulator.h"

#include <CLI/CLI.hpp>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

using namespace vantrel::cp290sim;

std::optional<WeekTime> parseWeekTime(const std::string& text)
{
    static constexpr std::array<std::string_view, 7> Days = {"Mon", "Tue", "Wed", "Thu",
                                                             "Fri", "Sat", "Sun"};
    if (text.size() != 9 || text[3] != ' ' || text[6] != ':')
        return std::nullopt;
    WeekTime time;
    time.weekday = -1;
    for (std::size_t i = 0; i < Days.size(); ++i) {
        if (text.compare(0, 3, Days[i]) == 0)
            time.weekday = static_cast<int>(i);
    }
    auto digit = [&](std::size_t i) { return text[i] >= '0' && text[i] <= '9'; };
    if (time.weekday < 0 || !digit(4) || !digit(5) || !digit(7) || !digit(8))
        return std::nullopt;
    time.hour = (text[4] - '0') * 10 + (text[5] - '0');
    time.minute = (text[7] - '0') * 10 + (text[8] - '0');
    if (time.hour > 23 || time.minute > 59)
        return std::nullopt;
    return time;
}

std::chrono::microseconds fromSeconds(double seconds)
{
    return std::chrono::microseconds(static_cast<long long>(seconds * 1e6));
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"A virtual X10 CP290 interface on a pseudo-terminal.\n"
                 "Prints the path of its terminal as the first line of standard output and\n"
                 "serves until SIGTERM or SIGINT. By default it sends at the line rate of\n"
                 "600 baud (1/60 s a byte) and its self test takes 10 s.",
                 "vantrel-cp290sim"};
    Options options;
    bool fast = false;
    double thinkMs = 0;
    double selfTestSeconds = 10;
    double frameTimeoutMs = 1000;
    std::string clockText;
    std::string baseHouse = "A";
    std::vector<std::string> faultTexts;

    app.add_option("--link", options.linkPath,
                   "Also make a symbolic link at PATH to the terminal; removed on exit")
        ->option_text("PATH");
    app.add_option("--trace", options.tracePath,
                   "Append a line to FILE for every frame received (rx, from the command\n"
                   "byte to the checksum), reply sent (tx), power-line switching (x10)\n"
                   "and event worth knowing (note)")
        ->option_text("FILE");
    app.add_flag("--fast", fast,
                 "No line-rate pacing, no think time, an instant self test (explicit\n"
                 "--think and --self-test-time still apply)");
    auto* think =
        app.add_option("--think", thinkMs, "Milliseconds between a frame and its reply (default 0)")
            ->option_text("MS")
            ->check(CLI::Range(0.0, 60000.0));
    auto* selfTest = app.add_option("--self-test-time", selfTestSeconds,
                                    "Seconds the self test takes before its reply (default 10)")
                         ->option_text("SECONDS")
                         ->check(CLI::Range(0.0, 3600.0));
    app.add_option("--frame-timeout", frameTimeoutMs,
                   "A frame cut short is dropped after this many milliseconds of silence\n"
                   "(default 1000)")
        ->option_text("MS")
        ->check(CLI::Range(1.0, 600000.0));
    app.add_option("--clock", clockText,
                   "Start the clock at this time, e.g. \"Mon 06:29\" (default: the\n"
                   "host's local time)")
        ->option_text("\"DAY HH:MM\"");
    app.add_option("--clock-rate", options.clockRate,
                   "The clock runs this many times faster than real time (default 1)")
        ->option_text("FACTOR")
        ->check(CLI::Range(0.001, 1e6));
    app.add_option("--base-house-code", baseHouse, "Base house code at start, A-P (default A)")
        ->option_text("LETTER");
    bool bare = false;
    app.add_flag("--bare", bare,
                 "Only the bare protocol: no report after direct commands and timer\n"
                 "events, no checksum after the replies of commands 4 and 5 (see below)");
    app.add_option("--fault", faultTexts, "Misbehave; see the list below (repeatable)")
        ->option_text("NAME[=VALUE][@WHICH]");
    app.add_option("--seed", options.seed, "Seed of the noise of garbage and babble (default 1)")
        ->option_text("N");
    app.footer(faultHelp() + R"(
Frames: any run of 0xFF, then a command byte (0, 1, 2, 3, 4, 5 or 7), its data and,
with two or more data bytes, its checksum. A frame with a wrong checksum or with
data out of range is not carried out and gets a status the command does not accept
(2 for command 0, 0 for the others).
Timing: an exchange takes at least the think time plus 1/60 s per reply byte
(7 for a status; command 4 adds 5, command 5 adds 1 or 8 per slot and 1, a
report 12; --bare leaves out the checksums and reports), and the self test adds
its own time; --fast removes all of it.
Replies, as a real interface sends them (--bare leaves out the checksums and reports):
  every frame: six 0xFF and the status;
  command 4: then minute, hour, day byte, base house code and a checksum, the low
    8 bits of the sum of those four;
  command 5: then the 128 slots (0xFF for an empty one, else its 8 bytes) and a
    checksum, the low 8 bits of the sum of the stored events' bytes (the 0xFF of
    an empty slot is not counted).
Report, after the reply to a direct command (command 1) and whenever a timer event
runs: six 0xFF, status 1, the house code (high nibble) with the function (low
nibble), units 9-16, units 1-8, the base house code and a checksum, the low 8 bits
of the sum of those four. "on A12" with base house code A is reported as
FF FF FF FF FF FF 01 62 10 00 60 D2.
Trace lines: "rx 01 85 E0 00 20 85", "tx FF FF FF FF FF FF 01", "x10 B3 DIM 50%",
"x10 A12 ON", "x10 A ALL-LIGHTS-ON", "x10 A ALL-UNITS-OFF", "note ...".
Timer events run when the clock enters their minute: weekly (modes 8 and 9) on
their days, today-only (4) and tomorrow-only (2) once on that day.)");

    CLI11_PARSE(app, argc, argv);

    for (const auto& text : faultTexts) {
        std::string error;
        auto fault = parseFault(text, &error);
        if (!fault) {
            std::fprintf(stderr, "vantrel-cp290sim: --fault %s: %s\n", text.c_str(), error.c_str());
            return 2;
        }
        options.faults.push_back(*fault);
    }
    if (!clockText.empty()) {
        options.startClock = parseWeekTime(clockText);
        if (!options.startClock) {
            std::fprintf(stderr, "vantrel-cp290sim: --clock wants \"DAY HH:MM\", e.g. "
                                 "\"Mon 06:29\"\n");
            return 2;
        }
    }
    if (baseHouse.size() != 1 || baseHouse[0] < 'A' || baseHouse[0] > 'P') {
        std::fprintf(stderr, "vantrel-cp290sim: --base-house-code wants a letter A-P\n");
        return 2;
    }
    options.baseHouseCode = houseCodeByte(baseHouse[0] - 'A');

    options.replyChecksums = !bare;
    options.reports = !bare;
    if (fast) {
        options.byteTime = std::chrono::microseconds::zero();
        options.thinkTime = std::chrono::microseconds::zero();
        options.selfTestTime = std::chrono::microseconds::zero();
    }
    if (!fast || think->count() > 0)
        options.thinkTime = fromSeconds(thinkMs / 1000.0);
    if (!fast || selfTest->count() > 0)
        options.selfTestTime = fromSeconds(selfTestSeconds);
    options.frameTimeout = fromSeconds(frameTimeoutMs / 1000.0);

    Simulator simulator(std::move(options));
    return simulator.run();
}
