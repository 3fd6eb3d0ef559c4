// The live "N of 128 CP290 events today" follows the clock: it is counted
// again when an event's minute passes and at midnight, from a single-shot
// timer set for that moment, never by polling.

#include "EditorTestSupport.h"
#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "editor/ScheduleCount.h"
#include "platform/Location.h"
#include "support/FixedClock.h"
#include "support/ScheduleBuilders.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

namespace vantrel::test {
namespace {

class LiveCount : public WindowTest
{
  protected:
    Modules* open(const ModulesDocument& document)
    {
        const std::string path = home.root() + "/Count.vantrel";
        std::string error;
        EXPECT_TRUE(writeModulesFile(path, document, &error)) << error;
        return manager.openDocument(QString::fromStdString(path));
    }
    DocumentManager manager;
};

TEST_F(LiveCount, IsCountedAgainAtAnEventsMinuteAndAtMidnight)
{
    setLocationOverride({40, -74, 0});
    // Monday 5 March 2007, one second before a one-time event.
    FixedClock clock(2007, 3, 5, 18, 59, 59);
    Event once = clockEvent(EventRuleDate | EventDaysMask, 19, 0);
    once.Date = dateValue(2007, 3, 5);
    ModulesDocument document;
    document.modules = {moduleWith({once, clockEvent(EventRuleWeekly | 0x1F00, 7, 0)}, 0, 1),
                        moduleWith({clockEvent(EventRuleEvenDays | EventDaysMask, 6, 0)}, 0, 2)};
    Modules* window = open(document);
    ASSERT_NE(window, nullptr);
    auto* count = window->findChild<QLabel*>("scheduleCount");
    ASSERT_NE(count, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return count->text() == "2 of 128 CP290 events today"; },
                                5000))
        << count->text().toStdString();
    auto* change = window->findChild<QTimer*>("scheduleCountChange");
    ASSERT_NE(change, nullptr);
    EXPECT_TRUE(change->isSingleShot());
    EXPECT_LE(change->remainingTime(), 1000);

    // 19:00: the one-time event has passed.
    clock.advance(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return count->text() == "1 of 128 CP290 events today"; },
                                5000))
        << count->text().toStdString();
    // Nothing more today: the next count is at midnight, five hours on.
    EXPECT_GT(change->remainingTime(), 5 * 3600 * 1000 - 5000);
    EXPECT_LE(change->remainingTime(), 5 * 3600 * 1000);

    // Tuesday 00:00, an even day: the even-days event joins. The timer is
    // let go at once instead of waiting the five hours.
    clock.advance(5 * 3600);
    change->start(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return count->text() == "2 of 128 CP290 events today"; },
                                5000))
        << count->text().toStdString();
    // Then at the helper's send hour.
    EXPECT_GT(change->remainingTime(), 3 * 3600 * 1000 - 5000);
    EXPECT_LE(change->remainingTime(), 3 * 3600 * 1000);

    window->close();
    setLocationOverride({});
}

} // namespace
} // namespace vantrel::test
