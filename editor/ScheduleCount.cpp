#include "editor/ScheduleCount.h"

#include "cp290/Driver.h"
#include "editor/DocumentHost.h"

#include "platform/DateTime.h"
#include "platform/Location.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>

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

ScheduleCount countScheduleEvents(const ModuleList& modules, ClassicEventRepeat repeat,
                                  const CompileMoment& moment, const SunTimes& sun)
{
    const CompiledSchedule compiled =
        compileSchedule(modules, repeat, moment, sun, CompileStop::WhenFull);
    ScheduleCount count;
    count.events = static_cast<int>(compiled.entries.size());
    count.tooMany = compiled.result == SendEventResult::TooManyEvents;
    count.damaged = compiled.damagedModule;
    count.damagedEvent = compiled.damagedEvent;
    count.nextChange = nextCompileChange(modules, moment, sun);
    return count;
}

ScheduleCount countScheduleEvents(const ModuleList& modules, ClassicEventRepeat repeat)
{
    const std::time_t now = unixNow();
    const CompileMoment moment = compileMomentAt(localSecondsFromUnix(now));
    const DateTimeRec& date = moment.today;
    return countScheduleEvents(modules, repeat, moment,
                               sunTimesOn(date.year, date.month, date.day, readLocationAt(now)));
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

namespace vantrel {

void recountAtNextChange(QObject* owner, const ScheduleCount& count, std::function<void()> recount)
{
    static const QString name = QStringLiteral("scheduleCountChange");
    auto* timer = owner->findChild<QTimer*>(name, Qt::FindDirectChildrenOnly);
    if (!timer) {
        timer = new QTimer(owner);
        timer->setObjectName(name);
        timer->setSingleShot(true);
        // Event times are minutes: the count must change on the minute, not
        // up to 5% of a long wait late or early.
        timer->setTimerType(Qt::PreciseTimer);
    }
    timer->disconnect();
    QObject::connect(timer, &QTimer::timeout, owner, std::move(recount));
    const std::time_t now = unixNow();
    // In real seconds, so that a daylight-saving change on the way is counted;
    // where the local moment is ambiguous, the local difference.
    std::int64_t wait = static_cast<std::int64_t>(unixFromLocalSeconds(count.nextChange)) - now;
    if (wait <= 0)
        wait = std::int64_t{count.nextChange} - localSecondsFromUnix(now);
    wait = std::clamp<std::int64_t>(wait, 1, SecondsPerDay + 3600);
    timer->start(std::chrono::seconds(wait));
}

} // namespace vantrel
