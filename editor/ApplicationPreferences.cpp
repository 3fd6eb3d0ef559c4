#include "editor/ApplicationPreferences.h"

#include "editor/Dialogs.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace vantrel {
namespace {

std::unique_ptr<Preferences>& instance()
{
    static std::unique_ptr<Preferences> preferences;
    return preferences;
}

} // namespace

Preferences& applicationPreferences()
{
    auto& preferences = instance();
    if (!preferences)
        preferences = std::make_unique<Preferences>(ApplicationDomain);
    return *preferences;
}

void resetApplicationPreferences()
{
    instance().reset();
}

bool savePreferences(QWidget* parent)
{
    return savePreferences(applicationPreferences(), parent);
}

bool savePreferences(Preferences& preferences, QWidget* parent)
{
    // Window state is saved on every move: one alert for a run of failures.
    static bool failureTold = false;
    std::string error;
    if (preferences.synchronize(&error)) {
        failureTold = false;
        return true;
    }
    if (failureTold)
        return false;
    failureTold = true;
    // Not from inside the caller, which may be closing or moving a window.
    QTimer::singleShot(
        0, qApp, [parent = QPointer<QWidget>(parent), reason = QString::fromStdString(error)] {
            dialogs().alert(
                parent,
                QCoreApplication::translate("Preferences", "The preferences could not be saved."),
                QCoreApplication::translate("Preferences",
                                            "%1. Your settings stay in effect until Vantrel "
                                            "quits and are saved at the next chance.")
                    .arg(reason));
        });
    return false;
}

} // namespace vantrel
