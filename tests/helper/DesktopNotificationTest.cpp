// The helper's desktop notification on a private session bus, answered by a
// stand-in for the desktop's notification service.

#include "helper/DesktopNotification.h"
#include "helper/NotificationProcess.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <cstdlib>

namespace vantrel::test {

class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    QStringList summaries;

  public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString&,
                const QStringList&, const QVariantMap&, int)
    {
        summaries.append(summary);
        return static_cast<uint>(summaries.size());
    }
};

namespace {

TEST(DesktopNotification, ReachesTheServiceWhenThereIsOneAndNothingHappensWithout)
{
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(daemon.waitForStarted(5000)) << "dbus-daemon is needed for this test";
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QByteArray address = daemon.readLine().trimmed();
    // The helper's connection is the session bus, made on first use.
    setenv("DBUS_SESSION_BUS_ADDRESS", address.constData(), 1);

    // No service yet: a headless box.
    EXPECT_FALSE(sendDesktopNotification("nobody listens", ""));

    QDBusConnection desktop = QDBusConnection::connectToBus(QString(address), "desktop");
    ASSERT_TRUE(desktop.isConnected());
    FakeNotifications service;
    ASSERT_TRUE(desktop.registerObject("/org/freedesktop/Notifications", &service,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(desktop.registerService("org.freedesktop.Notifications"));

    EXPECT_TRUE(sendDesktopNotification("The schedule could not be sent to the CP290",
                                        "Reason: CP290 Not Responding."));
    EXPECT_TRUE(QTest::qWaitFor([&service] { return !service.summaries.isEmpty(); }, 5000));
    EXPECT_EQ(service.summaries, QStringList{"The schedule could not be sent to the CP290"});

    // From the helper: its own short-lived program, started and not waited for.
    ASSERT_TRUE(startDesktopNotification("The CP290 has its schedule again",
                                         "Vantrel Helper sent it successfully."));
    EXPECT_TRUE(QTest::qWaitFor([&service] { return service.summaries.size() == 2; }, 5000));
    EXPECT_EQ(service.summaries.back(), "The CP290 has its schedule again");
    QProcess misused;
    misused.start(QString::fromStdString(notificationProgramPath()), {"only a summary"});
    ASSERT_TRUE(misused.waitForFinished(5000));
    EXPECT_EQ(misused.exitCode(), 2);

    QDBusConnection::disconnectFromBus("desktop");
    daemon.terminate();
    daemon.waitForFinished(5000);
}

} // namespace
} // namespace vantrel::test

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "DesktopNotificationTest.moc"
