#include "helper/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace vantrel {

namespace {
constexpr const char* Service = "org.freedesktop.Notifications";
constexpr const char* Path = "/org/freedesktop/Notifications";
// Shown until the user dismisses it: a failed night matters the next morning.
constexpr int NeverExpires = 0;
} // namespace

bool sendDesktopNotification(const std::string& summary, const std::string& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(Service).value())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, "Notify");
    call << QString("Vantrel Helper") << 0u << QString("net.vantrel.Vantrel")
         << QString::fromStdString(summary) << QString::fromStdString(body) << QStringList()
         << QVariantMap{{"desktop-entry", QString("net.vantrel.Vantrel")}} << NeverExpires;
    // The helper never waits on the desktop: the message is queued and sent.
    return bus.send(call);
}

} // namespace vantrel
