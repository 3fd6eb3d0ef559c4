// vantrel-helper-notify SUMMARY BODY: puts one note on the user's desktop
// for the helper and ends. Exit status 0 when the notification service took it.

#include "helper/DesktopNotification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    QCoreApplication application(argc, argv);
    if (!vantrel::sendDesktopNotification(argv[1], argv[2]))
        return 1;
    // Messages leave a connection in order: once the bus has answered this
    // one, the notification has left too and the program may end.
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId");
    return QDBusConnection::sessionBus().call(ping, QDBus::Block, 5000).type() ==
                   QDBusMessage::ReplyMessage
               ? 0
               : 1;
}
