// A window on a small or scaled screen: it can be made smaller than its
// controls, which then scroll into reach instead of lying off the screen.

#include "EditorTestSupport.h"

#include "editor/DocumentManager.h"
#include "editor/Modules.h"

#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace vantrel::test {
namespace {

using SmallScreen = WindowTest;

TEST_F(SmallScreen, EveryButtonScrollsIntoReachOfASmallWindow)
{
    DocumentManager manager;
    Modules* window = manager.newDocument();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->showHideEvents();
    // 1024 x 700 at 1.5 times is 683 x 466 in the window's own pixels.
    window->resize(600, 420);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->width() <= 600; }))
        << "the window's least size holds it at " << window->width() << " wide";
    EXPECT_LE(window->height(), 420);

    auto* scroller = window->findChild<QScrollArea*>("windowScroller");
    ASSERT_NE(scroller, nullptr);
    for (const char* name :
         {"newModuleButton", "collapseAllButton", "eventsButton", "offButton", "resetEvent"}) {
        auto* control = window->findChild<QWidget*>(name);
        ASSERT_NE(control, nullptr) << name;
        scroller->ensureWidgetVisible(control, 0, 0);
        const QRect seen(control->mapTo(scroller->viewport(), QPoint(0, 0)), control->size());
        EXPECT_TRUE(scroller->viewport()->rect().contains(seen)) << name;
    }
    window->clearChangeCount();
    window->close();
}

} // namespace
} // namespace vantrel::test
