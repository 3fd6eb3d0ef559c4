// Failures the user must hear of: settings that could not be written and a
// print job that could not start are told in an alert, once.

#include "EditorTestSupport.h"

#include "editor/ApplicationPreferences.h"
#include "editor/Dialogs.h"
#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "platform/Paths.h"

#include <QAction>
#include <QCoreApplication>
#include <QPrinter>

#include <cstdio>
#include <filesystem>

namespace vantrel::test {
namespace {

using FailureReports = WindowTest;

TEST_F(FailureReports, AFailedPreferencesWriteIsToldOnceUntilOneSucceeds)
{
    // A regular file where the configuration folder should be.
    const std::string config = home.root() + "/config";
    ASSERT_TRUE(makeDirectories(home.root()));
    ASSERT_TRUE(writeFileAtomically(config, "not a folder"));
    Preferences preferences(ApplicationDomain);
    auto save = [&](const char* device) {
        preferences.setValue(SerialDeviceKey, device);
        const bool saved = savePreferences(preferences, nullptr);
        QCoreApplication::processEvents(); // the alert is posted, not shown inside the save
        return saved;
    };

    EXPECT_FALSE(save("USB0"));
    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_EQ(answers.alerts[0].title, "The preferences could not be saved.");
    EXPECT_FALSE(answers.alerts[0].message.isEmpty());
    EXPECT_FALSE(save("USB1"));
    EXPECT_EQ(answers.alerts.size(), 1u) << "a run of failures is told once";

    ASSERT_EQ(std::remove(config.c_str()), 0);
    EXPECT_TRUE(save("USB2"));
    EXPECT_EQ(Preferences(ApplicationDomain).stringValue(SerialDeviceKey), "USB2");
    std::filesystem::remove_all(config);
    ASSERT_TRUE(writeFileAtomically(config, "not a folder again"));
    EXPECT_FALSE(save("USB3"));
    EXPECT_EQ(answers.alerts.size(), 2u) << "a failure after a success is news";
    // A good write again, so that no later test inherits the told failure.
    ASSERT_EQ(std::remove(config.c_str()), 0);
    EXPECT_TRUE(save("USB4"));
}

TEST_F(FailureReports, APrintJobThatCannotStartIsTold)
{
    DocumentManager manager;
    Modules* window = manager.newDocument();
    QPrinter& printer = sharedPrinter();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(home.root() + "/no such folder/out.pdf"));
    auto* print = window->findChild<QAction*>("printDocument");
    ASSERT_NE(print, nullptr);
    print->trigger();
    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_EQ(answers.alerts[0].title, "The document could not be printed.");
    EXPECT_TRUE(answers.alerts[0].message.contains("no such folder"))
        << answers.alerts[0].message.toStdString();

    answers.alerts.clear();
    printer.setOutputFileName(QString::fromStdString(home.root() + "/out.pdf"));
    print->trigger();
    EXPECT_TRUE(answers.alerts.empty());
    printer.setOutputFileName({});
    window->clearChangeCount();
    window->close();
}

} // namespace
} // namespace vantrel::test
