#include "cp290/ClockText.h"

#include <cstdio>

namespace vantrel {

std::string twelveHourClockText(int hour, int minute)
{
    const char* half = hour >= 12 ? "PM" : "AM";
    int shown = hour % 12;
    if (shown == 0)
        shown = 12;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d %s", shown, minute, half);
    return text;
}

} // namespace vantrel
