#pragma once

// The virtual interface on a pseudo-terminal: one poll() loop that reads frames,
// paces replies at the line rate, runs timer events as the clock reaches them,
// plays the faults asked for, and stops on SIGTERM or SIGINT.

#include "tools/cp290sim/Fault.h"
#include "tools/cp290sim/Protocol.h"
#include "tools/cp290sim/VirtualInterface.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vantrel::cp290sim {

// 600 baud, 10 bits a byte: one byte every 1/60 s.
constexpr std::chrono::microseconds LineByteTime{16667};

struct Options
{
    std::string linkPath;
    std::string tracePath;
    std::chrono::microseconds byteTime = LineByteTime; // zero: no pacing
    std::chrono::microseconds thinkTime{0};
    std::chrono::microseconds selfTestTime{10'000'000};
    std::chrono::microseconds frameTimeout{1'000'000};
    double clockRate = 1.0;
    // What a real interface sends beyond the bare protocol: the checksum
    // after the replies of commands 4 and 5, and a report after every direct
    // command and timer event run.
    bool replyChecksums = true;
    bool reports = true;
    std::vector<Fault> faults;
    unsigned seed = 1;
    std::uint8_t baseHouseCode = DefaultBaseHouseCode;
    std::optional<WeekTime> startClock; // the host's local time when absent
};

class Simulator
{
  public:
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the terminal, prints its path and serves until a signal; the exit status.
    int run();

  private:
    using Duration = std::chrono::steady_clock::duration;

    bool openTerminal(std::string* error);
    void closeTerminal();
    void trace(const std::string& line);
    void traceBytes(const char* prefix, const std::vector<std::uint8_t>& bytes);

    void readInput(TimePoint now);
    void handleFrame(const Frame& frame, TimePoint now);
    // The frame the interface carries out: a timer event spoiled by
    // corrupt-event, nothing for one dropped by drop-event, else the frame.
    std::optional<Frame> storedFrame(const Frame& frame);
    void abandonOutput();
    void queueReply(std::vector<std::uint8_t> bytes, TimePoint at, Duration pacing);
    void runDueWork(TimePoint now);
    void writeOutput(TimePoint now);
    std::vector<std::uint8_t> garbage();
    std::uint8_t noiseByte();
    bool isActive(FaultKind kind, long exchange, const Fault** found = nullptr) const;
    int pollTimeout(TimePoint now) const;

    Options m_options;
    VirtualInterface m_interface;
    FrameReader m_reader;
    std::mt19937 m_random;

    int m_master = -1;
    int m_slave = -1;
    int m_signals = -1;
    int m_trace = -1;
    std::string m_slavePath;
    bool m_linked = false;

    long m_exchange = 0;
    TimePoint m_lastInput;

    // A reply waiting for its think time, self test or lateness to pass.
    std::optional<std::vector<std::uint8_t>> m_pendingReply;
    // The report that follows it, sent right after it.
    std::optional<std::vector<std::uint8_t>> m_pendingReport;
    TimePoint m_pendingAt;
    Duration m_pendingPacing{};

    std::deque<std::uint8_t> m_output;
    Duration m_pacing{}; // zero: write all at once
    TimePoint m_nextSend;
    bool m_writeBlocked = false;
    bool m_babbling = false;
    bool m_vanishWhenSent = false;
    bool m_vanishNow = false;

    bool m_powered = true;
    std::optional<TimePoint> m_powerBackAt;
};

} // namespace vantrel::cp290sim
