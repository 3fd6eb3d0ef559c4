#include "tools/cp290sim/VirtualInterface.h"

#include <bit>
#include <cmath>

namespace vantrel::cp290sim {

namespace {

constexpr double SecondsPerWeek = MinutesPerWeek * 60.0;

std::uint8_t sumOf(const std::vector<std::uint8_t>& bytes)
{
    unsigned sum = 0;
    for (auto byte : bytes)
        sum += byte;
    return static_cast<std::uint8_t>(sum & 0xFF);
}

bool isKnownMode(std::uint8_t mode)
{
    return mode == 2 || mode == 4 || mode == 8 || mode == 9;
}

} // namespace

VirtualInterface::VirtualInterface(TimePoint now, double clockRate)
    : m_clockRate(clockRate > 0 ? clockRate : 1.0)
{
    forgetEverything(now);
}

Outcome VirtualInterface::refuse(std::uint8_t command, std::string why) const
{
    Outcome outcome;
    outcome.status = refusedStatus(command);
    outcome.refusal = std::move(why);
    return outcome;
}

Outcome VirtualInterface::execute(const Frame& frame, TimePoint now)
{
    if (!frame.isChecksumValid())
        return refuse(frame.command,
                      "bad checksum, expected " + hexBytes(std::vector<std::uint8_t>{
                                                      checksumOf(frame.command, frame.data)}));

    const auto& d = frame.data;
    if (m_memoryLost && frame.command >= DirectCommand && frame.command <= ReadEvents) {
        Outcome outcome;
        outcome.status = 0;
        outcome.refusal = "memory lost, no base house code set";
        return outcome;
    }
    Outcome outcome;
    switch (frame.command) {
    case SetBaseHouseCode:
        if (!houseCodeIndex(d[0]))
            return refuse(frame.command, "not a house code byte");
        m_baseHouseCode = d[0];
        m_memoryLost = false;
        for (auto& slot : m_slots)
            slot = Slot{};
        break;
    case DirectCommand:
        if (!isValidFunctionByte(d[0]))
            return refuse(frame.command, "not a level/function byte");
        if (!houseCodeIndex(d[1]))
            return refuse(frame.command, "not a house code byte");
        outcome.switched = describeSwitching(d[0], d[1], d[2], d[3]);
        outcome.report = switchingReport(d[0], d[1], d[2], d[3], m_baseHouseCode);
        break;
    case SetClock: {
        const int minute = d[0];
        const int hour = d[1];
        const std::uint8_t day = d[2];
        if (minute > 59 || hour > 23 || (day & 0x80) != 0 || std::popcount(day) != 1)
            return refuse(frame.command, "not a clock time");
        setClock(WeekTime{std::countr_zero(day), hour, minute}, now);
        break;
    }
    case StoreEvent: {
        const int address = d[0] | (d[1] << 8);
        if (address % 8 != 0 || address / 8 >= SlotCount)
            return refuse(frame.command, "not an event address");
        if (!isKnownMode(d[2]) || (d[3] & 0x80) != 0 || d[4] > 23 || d[5] > 59)
            return refuse(frame.command, "not a timer event");
        if (!houseCodeIndex(d[8]) || !isValidFunctionByte(d[9]))
            return refuse(frame.command, "not a timer event");
        Slot slot;
        slot.mode = d[2];
        slot.days = d[3];
        slot.hour = d[4];
        slot.minute = d[5];
        slot.units1to8 = d[6];
        slot.units9to16 = d[7];
        slot.house = d[8];
        slot.function = d[9];
        if (slot.mode == 4)
            slot.onceWeekday = clock(now).weekday;
        else if (slot.mode == 2)
            slot.onceWeekday = (clock(now).weekday + 1) % 7;
        m_slots[static_cast<std::size_t>(address / 8)] = slot;
        break;
    }
    case ReadClock: {
        const WeekTime time = clock(now);
        outcome.payload = {static_cast<std::uint8_t>(time.minute),
                           static_cast<std::uint8_t>(time.hour),
                           static_cast<std::uint8_t>(1u << time.weekday), m_baseHouseCode};
        if (m_replyChecksums)
            outcome.payload.push_back(sumOf(outcome.payload));
        break;
    }
    case ReadEvents: {
        // The checksum covers the stored events only, not the 0xFF of an empty slot.
        std::vector<std::uint8_t> stored;
        for (const auto& slot : m_slots) {
            if (slot.isEmpty()) {
                outcome.payload.push_back(EmptySlotMode);
                continue;
            }
            const std::initializer_list<std::uint8_t> event = {
                slot.mode,      slot.days,       slot.hour,  slot.minute,
                slot.units1to8, slot.units9to16, slot.house, slot.function};
            outcome.payload.insert(outcome.payload.end(), event);
            stored.insert(stored.end(), event);
        }
        if (m_replyChecksums)
            outcome.payload.push_back(sumOf(stored));
        break;
    }
    case SelfTest:
        // The test wipes the memory; 0 means it passed.
        forgetEverything(now);
        outcome.status = 0;
        break;
    default:
        return refuse(frame.command, "unknown command");
    }
    return outcome;
}

double VirtualInterface::weekSeconds(TimePoint now) const
{
    const double elapsed = std::chrono::duration<double>(now - m_clockSetAt).count() * m_clockRate;
    return m_clockBaseSeconds + elapsed;
}

long long VirtualInterface::absoluteMinute(TimePoint now) const
{
    return static_cast<long long>(std::floor(weekSeconds(now) / 60.0));
}

WeekTime VirtualInterface::clock(TimePoint now) const
{
    const double seconds = std::fmod(weekSeconds(now), SecondsPerWeek);
    const int minuteOfWeek = static_cast<int>(seconds / 60.0) % MinutesPerWeek;
    return WeekTime{minuteOfWeek / 1440, minuteOfWeek / 60 % 24, minuteOfWeek % 60};
}

void VirtualInterface::setClock(const WeekTime& time, TimePoint now)
{
    m_clockBaseSeconds = ((time.weekday * 24 + time.hour) * 60 + time.minute) * 60.0;
    m_clockSetAt = now;
    m_lastMinute = absoluteMinute(now);
}

void VirtualInterface::forgetEverything(TimePoint now)
{
    for (auto& slot : m_slots)
        slot = Slot{};
    m_baseHouseCode = DefaultBaseHouseCode;
    setClock(WeekTime{}, now);
}

void VirtualInterface::loseMemory(TimePoint now)
{
    forgetEverything(now);
    m_memoryLost = true;
}

std::vector<TimerFiring> VirtualInterface::advance(TimePoint now)
{
    std::vector<TimerFiring> firings;
    const long long current = absoluteMinute(now);
    if (current <= m_lastMinute)
        return firings;
    // After a long stall only the last week can matter.
    long long minute = std::max(m_lastMinute + 1, current - MinutesPerWeek + 1);
    for (; minute <= current; ++minute) {
        const int ofWeek = static_cast<int>(minute % MinutesPerWeek);
        const int weekday = ofWeek / 1440;
        const int hour = ofWeek / 60 % 24;
        const int minuteOfHour = ofWeek % 60;
        for (std::size_t i = 0; i < m_slots.size(); ++i) {
            Slot& slot = m_slots[i];
            if (slot.isEmpty() || slot.hour != hour || slot.minute != minuteOfHour)
                continue;
            if (slot.mode == 8 || slot.mode == 9) {
                if ((slot.days & (1u << weekday)) == 0)
                    continue;
            } else if (slot.spent || slot.onceWeekday != weekday) {
                continue;
            } else {
                slot.spent = true;
            }
            TimerFiring firing;
            firing.slot = static_cast<int>(i);
            firing.switched =
                describeSwitching(slot.function, slot.house, slot.units9to16, slot.units1to8);
            firing.report = switchingReport(slot.function, slot.house, slot.units9to16,
                                            slot.units1to8, m_baseHouseCode);
            firings.push_back(std::move(firing));
        }
    }
    m_lastMinute = current;
    return firings;
}

TimePoint VirtualInterface::nextMinuteStart(TimePoint now) const
{
    const double target = (m_lastMinute + 1) * 60.0;
    const double wait = (target - weekSeconds(now)) / m_clockRate;
    if (wait <= 0)
        return now;
    // Round up so that the wake-up lands inside the new minute.
    return now + std::chrono::ceil<std::chrono::milliseconds>(std::chrono::duration<double>(wait)) +
           std::chrono::milliseconds(1);
}

} // namespace vantrel::cp290sim
