#include "EditorTestSupport.h"

#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "editor/WeekAheadView.h"
#include "platform/Location.h"
#include "platform/Paths.h"
#include "schedule/EventSummary.h"
#include "support/FixedClock.h"
#include "support/ScheduleBuilders.h"

#include <QAction>
#include <QApplication>
#include <QPrinter>
#include <QTest>

namespace vantrel::test {
namespace {

TEST_F(WindowTest, WeekAheadFollowsEditsAndNamesTheEventOfEachMark)
{
    const FixedClock clock(2007, 3, 5, 12, 0); // a Monday
    setLocationOverride({0, 0, 0});
    DocumentManager manager;
    ModulesDocument document;
    Module porch =
        moduleWith({clockEvent(EventDaysMask, 19, 0), clockEvent(EventDaysMask, 23, 30, false)});
    porch.name = "Porch";
    document.modules = {porch};
    const std::string path = home.root() + "/Week.vantrel";
    std::string error;
    ASSERT_TRUE(writeModulesFile(path, document, &error)) << error;
    Modules* window = manager.openDocument(QString::fromStdString(path));
    ASSERT_NE(window, nullptr);

    QAction* action = window->findChild<QAction*>("weekAhead");
    WeekAheadWindow* week = action ? (action->trigger(), window->findChild<WeekAheadWindow*>())
                                   : WeekAheadWindow::showFor(window);
    ASSERT_NE(week, nullptr);
    QApplication::processEvents();
    WeekAheadView* view = week->findChild<WeekAheadView*>("weekAheadView");
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->rowCount(), 1);
    EXPECT_EQ(view->marksOfRow(0).size(), 14u); // on and off on each of seven days

    Event dim = clockEvent(EventSaturdayFlag, 20, 0);
    dim.Brightness = 4;
    Module lamp = moduleWith({dim}, 1, 5);
    lamp.name = "Reading lamp";
    window->insertModule(lamp);
    QApplication::processEvents();
    ASSERT_EQ(view->rowCount(), 2);
    const int lampRow = window->document().modules[0].name == "Reading lamp" ? 0 : 1;
    const auto& marks = view->marksOfRow(lampRow);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].kind, SwitchingKind::Dim);
    EXPECT_EQ(marks[0].day, 5); // Saturday
    week->resize(1100, 560);
    QApplication::processEvents();
    const QString tip = view->toolTipAt(view->markPosition(lampRow, 0));
    EXPECT_TRUE(tip.contains("Sat 03/10 8:00 PM  B-5  Turn On 50.0%")) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QString::fromStdString(eventSummary(dim)))) << tip.toStdString();
    EXPECT_TRUE(view->toolTipAt(QPoint(2, view->viewport()->height() - 2)).isEmpty());

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(home.root() + "/week.pdf"));
    EXPECT_EQ(view->print(printer), 1);
    std::string bytes;
    EXPECT_TRUE(readWholeFile(home.root() + "/week.pdf", &bytes));
    EXPECT_GT(bytes.size(), 1000u);

    setLocationOverride({});
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

// Two modules of one house code and unit are switched by one command: one
// mark, on the first one's row, whose tooltip names both.
TEST_F(WindowTest, WeekAheadMarksASharedUnitOnce)
{
    const FixedClock clock(2007, 3, 5, 12, 0);
    setLocationOverride({0, 0, 0});
    Module porch = moduleWith({clockEvent(EventDaysMask, 19, 0)}, 0, 1);
    porch.name = "Porch light";
    Module garden = porch;
    garden.name = "Garden light";
    WeekAheadView view;
    view.resize(1100, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.setSchedule({porch, garden}, {1, 1}, dateValue(2007, 3, 5));
    ASSERT_EQ(view.rowCount(), 2);
    EXPECT_EQ(view.marksOfRow(0).size(), 7u);
    EXPECT_TRUE(view.marksOfRow(1).empty());
    const QString tip = view.toolTipAt(view.markPosition(0, 0));
    EXPECT_TRUE(tip.contains("A-1  Turn On  Porch light, Garden light")) << tip.toStdString();
    setLocationOverride({});
}

} // namespace
} // namespace vantrel::test
