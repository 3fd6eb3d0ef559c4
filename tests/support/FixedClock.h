#pragma once

// Fixes "now" and the time zone for one test and restores both afterwards.

#include "platform/DateTime.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace vantrel::test {

class FixedClock
{
  public:
    // A local wall-clock time in the given zone (TZ syntax).
    FixedClock(int year, int month, int day, int hour, int minute, int second = 0,
               const char* zone = "UTC")
    {
        if (const char* old = std::getenv("TZ"))
            m_oldZone = old;
        setenv("TZ", zone, 1);
        tzset();
        m_now = localMoment(year, month, day, hour, minute, second);
        setUnixClock([this] { return m_now; });
    }
    ~FixedClock()
    {
        setUnixClock({});
        if (m_oldZone)
            setenv("TZ", m_oldZone->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    // The Unix time of a local wall-clock time in the zone in force.
    static std::time_t localMoment(int year, int month, int day, int hour, int minute,
                                   int second = 0)
    {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        t.tm_isdst = -1;
        return std::mktime(&t);
    }

    void advance(std::time_t seconds) { m_now += seconds; }
    std::time_t now() const { return m_now; }

  private:
    std::time_t m_now = 0;
    std::optional<std::string> m_oldZone;
};

} // namespace vantrel::test
