#include "editor/ScheduleCount.h"

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "editor/DocumentHost.h"

#include <QCoreApplication>

namespace vantrel {
namespace {

DocumentHost* installedHost = nullptr;

} // namespace

DocumentHost* documentHost()
{
    return installedHost;
}

void setDocumentHost(DocumentHost* host)
{
    installedHost = host;
}

ScheduleCount countScheduleEvents(const ModuleList& modules, ClassicEventRepeat repeat)
{
    ScheduleCount count;
    CP290DoSendEventStart();
    for (std::size_t m = modules.size(); m-- > 0;) {
        const Module& module = modules[m];
        for (std::size_t e = module.events.size(); e-- > 0;) {
            const auto event = eventFromData(module.events[e]);
            if (!event)
                continue;
            switch (addEventToDownload(module.houseCode, module.unit, *event, repeat)) {
            case SendEventResult::Added:
                break;
            case SendEventResult::TooManyEvents:
                count.tooMany = true;
                count.events = NumEvents;
                return count;
            case SendEventResult::InvalidModule:
                count.damaged = true;
                break;
            case SendEventResult::InvalidEvent:
                count.damagedEvent = true;
                break;
            }
        }
    }
    count.events = NumEvents;
    return count;
}

QString scheduleCountText(const ScheduleCount& count)
{
    if (count.tooMany)
        return QCoreApplication::translate("Modules",
                                           "More than %1 CP290 events today: the interface cannot "
                                           "hold them all, so this schedule cannot be sent.")
            .arg(CP290MaxEvents);
    if (count.damaged)
        return QCoreApplication::translate("Modules",
                                           "A module has a value the CP290 cannot take "
                                           "(shown as ? or a number): repair it to send.");
    if (count.damagedEvent)
        return QCoreApplication::translate("Modules",
                                           "An event is damaged (its row says how): repair or "
                                           "delete it to send.");
    return QCoreApplication::translate("Modules", "%1 of %2 CP290 events today")
        .arg(count.events)
        .arg(CP290MaxEvents);
}

} // namespace vantrel
