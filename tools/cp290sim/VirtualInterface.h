#pragma once

// What the interface remembers and does: 128 timer-event slots, a week clock
// that runs on from the last time it was set, and the base house code. It knows
// nothing of the serial line; the simulator feeds it frames and time.

#include "tools/cp290sim/Protocol.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::cp290sim {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

constexpr std::uint8_t DefaultBaseHouseCode = 0x60; // A
constexpr int MinutesPerWeek = 7 * 24 * 60;

struct Outcome
{
    std::uint8_t status = 1;
    // Bytes after the status byte.
    std::vector<std::uint8_t> payload;
    // Texts of the switchings put on the power line ("B3 DIM 50%").
    std::vector<std::string> switched;
    // Why a frame was refused; empty when it was carried out.
    std::string refusal;
    // After a direct command: the bytes after the status of the report that
    // follows the acknowledgement (see switchingReport).
    std::vector<std::uint8_t> report;
};

struct TimerFiring
{
    int slot = 0;
    std::vector<std::string> switched;
    // The bytes after the status of the report the interface sends (see switchingReport).
    std::vector<std::uint8_t> report;
};

struct WeekTime
{
    int weekday = 0; // 0 Monday .. 6 Sunday, the order of the day byte's bits
    int hour = 0;
    int minute = 0;
};

struct Slot
{
    std::uint8_t mode = EmptySlotMode;
    std::uint8_t days = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t units1to8 = 0;
    std::uint8_t units9to16 = 0;
    std::uint8_t house = 0;
    std::uint8_t function = 0;
    // Today-only and tomorrow-only events run once, on this weekday.
    int onceWeekday = -1;
    bool spent = false;

    bool isEmpty() const { return mode == EmptySlotMode; }
};

class VirtualInterface
{
  public:
    explicit VirtualInterface(TimePoint now, double clockRate = 1.0);

    Outcome execute(const Frame& frame, TimePoint now);

    // Runs the timer events whose minute the clock has reached since the last call.
    std::vector<TimerFiring> advance(TimePoint now);
    // When the clock next enters a new minute.
    TimePoint nextMinuteStart(TimePoint now) const;

    void setClock(const WeekTime& time, TimePoint now);
    WeekTime clock(TimePoint now) const;
    // Clock, events and base house code back to their power-on values.
    void forgetEverything(TimePoint now);
    // What a power cut does to an interface whose battery is flat: everything
    // is forgotten, and until a base house code is set every command but that
    // one is answered with status 0.
    void loseMemory(TimePoint now);
    bool hasLostMemory() const { return m_memoryLost; }

    std::uint8_t baseHouseCode() const { return m_baseHouseCode; }
    void setBaseHouseCode(std::uint8_t byte) { m_baseHouseCode = byte; }
    const std::array<Slot, SlotCount>& slots() const { return m_slots; }
    void setReplyChecksums(bool on) { m_replyChecksums = on; }

  private:
    double weekSeconds(TimePoint now) const;
    long long absoluteMinute(TimePoint now) const;
    Outcome refuse(std::uint8_t command, std::string why) const;

    std::array<Slot, SlotCount> m_slots{};
    std::uint8_t m_baseHouseCode = DefaultBaseHouseCode;
    double m_clockRate = 1.0;
    double m_clockBaseSeconds = 0.0; // seconds into the week at m_clockSetAt
    TimePoint m_clockSetAt;
    long long m_lastMinute = 0;
    // A real interface always sends them; off only for the bare protocol.
    bool m_replyChecksums = true;
    bool m_memoryLost = false;
};

} // namespace vantrel::cp290sim
