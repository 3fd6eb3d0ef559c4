#pragma once

// What the controller's source files share: the fixed items of the CP290
// menu, the progress budget, the help pages and two small helpers.

#include "cp290/Driver.h"

#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <string>

namespace vantrel::controller {

inline constexpr int FixedCP290Items = 11;
inline constexpr int ProgressFull = CP290ProgressTotal;
inline constexpr const char* SupportAddress = "support@vantrel.net";
inline constexpr const char* EventsWindowTitle = "Events From CP290";

// Help pages by the Help menu's titles.
struct HelpPage
{
    const char* title;
    const char* file;
};
inline constexpr HelpPage HelpPages[] = {
    {"Getting Started", "getting-started.html"},
    {"Connecting a CP290", "connecting-a-cp290.html"},
    {"Writing Events", "writing-events.html"},
    {"Sun Times and Location", "sun-times-and-location.html"},
    {"The Helper and Its Log", "the-helper-and-its-log.html"},
};

inline QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// Waits while the window repaints; the status sheet's input blocker keeps
// the user's input from doing anything meanwhile.
inline void waitRepainting(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace vantrel::controller
