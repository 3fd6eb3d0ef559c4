#pragma once

// While one of these lives, input aimed at any window of the program is
// dropped: no click, key, wheel or touch reaches a widget, and none is held
// back to arrive later (as processEvents(ExcludeUserInputEvents) would).
// Used while the main thread waits on the interface or on the helper, so
// that the windows keep repainting and nothing the user did meanwhile runs.

#include <QObject>

namespace vantrel {

class UserInputBlocker : public QObject
{
  public:
    UserInputBlocker();
    ~UserInputBlocker() override;
    UserInputBlocker(const UserInputBlocker&) = delete;
    UserInputBlocker& operator=(const UserInputBlocker&) = delete;

    // Whether a blocker is active anywhere in the program.
    static bool isBlocking();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace vantrel
