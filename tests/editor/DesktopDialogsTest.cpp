// The desktop's own alerts, as a user sees them: long messages stay on the
// screen and the lines of a list are not broken.

#include "editor/Dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace vantrel::test {
namespace {

// Shows the desktop's alert over a window and looks at it before closing it.
void inspectAlert(const QString& title, const QString& message,
                  const std::function<void(QMessageBox&)>& look)
{
    setDialogs(nullptr);
    QWidget window;
    window.resize(600, 400);
    window.show();
    bool looked = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (!box || !box->isVisible())
                continue;
            look(*box);
            looked = true;
            box->accept();
        }
    });
    dialogs().alert(&window, title, message);
    EXPECT_TRUE(looked);
}

TEST(DesktopAlert, LongListScrollsBetweenTheMessageAndTheButton)
{
    QString message =
        QStringLiteral("The CP290 does not hold today's 40 events exactly; 40 slots differ:");
    for (int slot = 0; slot < 40; ++slot)
        message +=
            QStringLiteral("\n\u2022 Slot %1 holds A-1 Turn Off @ 2:00 AM Every Day instead of "
                           "A-1 Turn Off @ 1:00 AM Every Day")
                .arg(slot);
    inspectAlert("The CP290 does not hold what was sent.", message, [&](QMessageBox& box) {
        EXPECT_EQ(box.informativeText(), message.section(u'\n', 0, 0));
        auto* list = box.findChild<QPlainTextEdit*>("alertList");
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->toPlainText(), message.section(u'\n', 1));
        EXPECT_EQ(list->lineWrapMode(), QPlainTextEdit::NoWrap);
        const auto* buttons = box.findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        EXPECT_LT(list->geometry().bottom(), buttons->geometry().top());
        EXPECT_LE(box.frameGeometry().height(), box.screen()->availableGeometry().height());
    });
}

TEST(DesktopAlert, ShortListKeepsEachLineWhole)
{
    // Wider than the box's least width, narrower than the screen allows.
    const QString line = QStringLiteral(
        "\u2022 Slot 0 holds A-1 Turn Off @ 2:00 AM instead of A-1 Turn Off @ 1:00 AM");
    const QString message = QStringLiteral("One slot differs:\n") + line;
    inspectAlert("The CP290 does not hold what was sent.", message, [&](QMessageBox& box) {
        EXPECT_EQ(box.findChild<QPlainTextEdit*>("alertList"), nullptr);
        EXPECT_EQ(box.informativeText(), message);
        // Each line of the message fits the box's width: nothing wraps.
        const QFontMetrics metrics(box.font());
        EXPECT_GE(box.width(), metrics.horizontalAdvance(line));
    });
}

} // namespace
} // namespace vantrel::test
