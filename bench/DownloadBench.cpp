// How close a full download comes to what the serial line allows.
//
// Downloads a table of 128 timer events to the virtual CP290 running at the
// real line rate, twice: once with the driver as shipped (a byte wait that
// wakes when the byte arrives) and once with the byte wait done as a plain
// sleep loop (read; if nothing, sleep 10 ticks). For each it prints the wall
// time, the floor the line sets, their ratio and the CPU time the process used.
//
// The floor counts what the interface saw in its trace: every byte sent at one
// tick (1/60 s), every reply byte at 600 baud (also 1/60 s), and the think time
// the virtual CP290 was started with, once per exchange. On a real line the
// last byte of a frame is on the wire for a tick before the interface has it,
// and its first reply byte for a tick before the driver has it; a
// pseudo-terminal hands both over at once, so the second floor printed (pty)
// is two ticks per exchange lower, and the wall time can beat the first.
//
//   vantrel-download-bench [--think MS] [--events N] [--product-only]

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/DriverHost.h"
#include "cp290/DriverTesting.h"
#include "support/Cp290Sim.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <time.h>

namespace {

using namespace vantrel;
using Seconds = std::chrono::duration<double>;

constexpr double Tick = 1.0 / 60;
constexpr int PreambleLength = 16;

struct Options
{
    int thinkMilliseconds = 0;
    int events = CP290MaxEvents;
    bool productOnly = false;
};

struct LineCount
{
    long frames = 0;
    long bytesSent = 0;
    long replyBytes = 0;
};

struct Run
{
    const char* name = "";
    bool succeeded = false;
    double wall = 0;
    double cpu = 0;
    LineCount line;
};

bool parseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--think" && i + 1 < argc) {
            options->thinkMilliseconds = std::atoi(argv[++i]);
        } else if (arg == "--events" && i + 1 < argc) {
            options->events = std::atoi(argv[++i]);
        } else if (arg == "--product-only") {
            options->productOnly = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--think MS] [--events N] [--product-only]\n"
                         "  --think MS       the virtual CP290's think time per frame (default 0)\n"
                         "  --events N       timer events in the table, 1-128 (default 128)\n"
                         "  --product-only   skip the sleep-loop comparison run\n",
                         argv[0]);
            return false;
        }
    }
    return options->thinkMilliseconds >= 0 && options->events >= 1 &&
           options->events <= CP290MaxEvents;
}

// One module per timer event, each switching on at its own minute, so that
// nothing merges and the table holds exactly count entries.
ModuleList distinctEvents(int count)
{
    ModuleList modules;
    for (int i = 0; i < count; ++i) {
        Module module;
        module.name = "Lamp " + std::to_string(i + 1);
        module.houseCode = i % 16;
        module.unit = i / 16 + 1;
        Event event;
        event.Flags = EventDaysMask | EventClockTimeFlag | EventOnFlag;
        event.Time = TimeOfDayBase + static_cast<std::uint32_t>((6 * 60 + i) * 60);
        module.events.push_back(eventToData(event));
        modules.push_back(module);
    }
    return modules;
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Counts the hex bytes after the "rx " / "tx " prefix of trace lines from fromLine on.
LineCount countLine(const std::vector<std::string>& lines, std::size_t fromLine)
{
    LineCount count;
    for (std::size_t i = fromLine; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const long bytes = static_cast<long>((line.size() - 2) / 3);
        if (line.rfind("rx ", 0) == 0) {
            ++count.frames;
            count.bytesSent += PreambleLength + bytes;
        } else if (line.rfind("tx ", 0) == 0) {
            count.replyBytes += bytes;
        }
    }
    return count;
}

Run download(test::Cp290Sim& sim, const ModuleList& modules, const char* name, bool sleepLoop)
{
    Run run;
    run.name = name;
    setSleepLoopByteWaitForTests(sleepLoop);
    setCP290DeviceFilePath(sim.devicePath().c_str());
    if (!prepareDownload(modules, ClassicEventRepeat{1, 1}))
        return run;

    const std::size_t traceStart = sim.traceLines().size();
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    run.succeeded = CP290DoSendEventEnd();
    run.cpu = processCpuSeconds() - cpuStart;
    run.wall = Seconds(std::chrono::steady_clock::now() - wallStart).count();
    setSleepLoopByteWaitForTests(false);

    // The last reply's trace line is written before its bytes go out, so it
    // is there by the time the driver has read them.
    run.line = countLine(sim.traceLines(), traceStart);
    return run;
}

double floorOf(const Run& run, const Options& options)
{
    return static_cast<double>(run.line.bytesSent + run.line.replyBytes) * Tick +
           static_cast<double>(run.line.frames) * options.thinkMilliseconds / 1000.0;
}

double ptyFloorOf(const Run& run, const Options& options)
{
    return floorOf(run, options) - static_cast<double>(2 * run.line.frames) * Tick;
}

void print(const Run& run, const Options& options)
{
    const double floor = floorOf(run, options);
    const double ptyFloor = ptyFloorOf(run, options);
    std::printf("%-20s %7.2f s %7.2f s %6.3f %7.2f s %6.3f %7.3f s %7.2f%%   %ld frames, "
                "%ld bytes sent, %ld reply bytes%s\n",
                run.name, run.wall, floor, run.wall / floor, ptyFloor, run.wall / ptyFloor, run.cpu,
                100.0 * run.cpu / run.wall, run.line.frames, run.line.bytesSent,
                run.line.replyBytes, run.succeeded ? "" : "  (DOWNLOAD FAILED)");
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, &options))
        return 2;

    // Real line rate: no --fast.
    test::Cp290Sim sim({"--think", std::to_string(options.thinkMilliseconds)}, false);
    if (!sim.isRunning()) {
        std::fprintf(stderr, "vantrel-download-bench: the virtual CP290 did not start\n");
        return 1;
    }

    resetDriverState();
    CP290Verbose = false;
    const ModuleList modules = distinctEvents(options.events);

    std::printf("Download of %d timer events to the virtual CP290 at 600 baud, think time %d ms\n",
                options.events, options.thinkMilliseconds);
    std::printf("%-20s %9s %9s %6s %9s %6s %9s %8s\n", "byte wait", "wall", "floor", "ratio",
                "pty floor", "ratio", "cpu", "cpu/wall");
    std::fflush(stdout);

    bool allSucceeded = true;
    const Run product = download(sim, modules, "poll (as shipped)", false);
    print(product, options);
    allSucceeded = allSucceeded && product.succeeded;
    std::fflush(stdout);
    if (!options.productOnly) {
        const Run naive = download(sim, modules, "10-tick sleep loop", true);
        print(naive, options);
        allSucceeded = allSucceeded && naive.succeeded;
    }
    return allSucceeded ? 0 : 1;
}
