#pragma once

// How many of the interface's 128 timer events today's download of a
// schedule needs, from the same walk the send makes, without sending.

#include "schedule/Module.h"

#include <QString>

namespace vantrel {

struct ScheduleCount
{
    int events = 0;            // timer events the download would store
    bool tooMany = false;      // a 129th was needed
    bool damaged = false;      // a module holds a value that cannot be sent
    bool damagedEvent = false; // so does an event (see eventDamage)
};

// Uses the driver's download table: never call it while an exchange runs.
ScheduleCount countScheduleEvents(const ModuleList& modules, ClassicEventRepeat repeat);
QString scheduleCountText(const ScheduleCount& count);

} // namespace vantrel
