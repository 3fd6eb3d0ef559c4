#include "app/Controller.h"
#include "app/PreferencesWindow.h"
#include "app/core/HelperInstallation.h"
#include "cp290/ActivityLog.h"
#include "cp290/Driver.h"
#include "cp290/DriverTesting.h"
#include "editor/ApplicationPreferences.h"
#include "editor/Dialogs.h"
#include "editor/DiskWatch.h"
#include "editor/DocumentHost.h"
#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "editor/HelperStatusWatcher.h"
#include "editor/RkNSOutlineView.h"
#include "platform/Paths.h"
#include "platform/SerialDevices.h"
#include "schedule/HelperCopy.h"
#include "support/Cp290Sim.h"
#include "support/TemporaryHome.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QMouseEvent>
#include <QMainWindow>
#include <QLabel>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utility>

namespace vantrel::test {
namespace {

class RecordingDialogs : public Dialogs
{
  public:
    std::vector<std::pair<QString, QString>> alerts;
    QString openFileName(QWidget*) override { return {}; }
    QString saveFileName(QWidget*, const QString&) override { return {}; }
    QString textFileName; // the next text file chosen
    QStringList textSuggestions;
    QString saveTextFileName(QWidget*, const QString& suggestedName) override
    {
        textSuggestions << suggestedName;
        return std::exchange(textFileName, QString());
    }
    SaveChangesAnswer askSaveChanges(QWidget*, const QString&) override
    {
        return SaveChangesAnswer::DontSave;
    }
    bool confirmRevert(QWidget*, const QString&) override { return true; }
    ChangedFileAnswer askReloadChangedFile(QWidget*, const QString&) override
    {
        return ChangedFileAnswer::KeepMine;
    }
    bool confirmOverwriteChangedFile(QWidget*, const QString&) override { return false; }
    bool offerSaveAsForReadOnly(QWidget*, const QString&) override { return false; }
    std::function<void(QWidget*)> onAlert;
    void alert(QWidget* parent, const QString& title, const QString& message) override
    {
        alerts.emplace_back(title, message);
        if (onAlert)
            onAlert(parent);
    }
    bool runPrintDialog(QWidget*, QPrinter*) override { return false; }
    void runPageSetup(QWidget*, QPrinter*) override {}
    void runPrintPreview(QWidget*, QPrinter*, const std::function<void(QPrinter*)>&) override {}
};

// Answers the next modal dialog as soon as it is up.
void answerNextDialog(const std::function<void(QDialog*)>& answer)
{
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog)
            answer(dialog);
    });
}

class ControllerTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        resetApplicationPreferences();
        // The disclaimer was accepted in an earlier run.
        applicationPreferences().setValue(DisclaimerAcceptedKey, true);
        applicationPreferences().synchronize();
        setDialogs(&answers);
        controller = std::make_unique<Controller>(&documents);
        // This machine's own serial ports stay out of the test.
        controller->deviceFolders =
            SerialDeviceFolders{home.root() + "/dev", home.root() + "/sys",
                                home.root() + "/devices", home.root() + "/serial/by-id"};
        controller->startHelper = [this](const std::string&) {
            ++helperStarts;
            return true;
        };
        controller->statusHoldMilliseconds = 0;
        controller->awakeFromNib();
        window = documents.newDocument();
    }
    void TearDown() override
    {
        for (Modules* open : documents.documents()) {
            open->clearChangeCount();
            open->close();
        }
        controller.reset();
        setDialogs(nullptr);
        resetApplicationPreferences();
    }
    QMenu* cp290Menu() { return window->findChild<QMenu*>("cp290Menu"); }
    QStringList deviceItems()
    {
        QStringList titles;
        for (QAction* item : cp290Menu()->actions().mid(11))
            titles << item->text() + (item->isChecked() ? "*" : "");
        return titles;
    }

    TemporaryHome home;
    RecordingDialogs answers;
    DocumentManager documents;
    std::unique_ptr<Controller> controller;
    Modules* window = nullptr;
    int helperStarts = 0;
};

TEST_F(ControllerTest, ADamagedPreferencesFileIsToldOnceInTheWindowAndKeptAside)
{
    const std::string path = preferencesFilePath(ApplicationDomain);
    ASSERT_TRUE(writeFileAtomically(path, "<plist>cut short"));
    QWidget* shownOn = nullptr;
    answers.onAlert = [&](QWidget* parent) { shownOn = parent; };
    answers.alerts.clear();

    Preferences damaged(ApplicationDomain);
    EXPECT_TRUE(answers.alerts.empty()) << "an alert inside the read";
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_EQ(answers.alerts[0].first, "The preferences could not be read.");
    EXPECT_TRUE(answers.alerts[0].second.contains(QString::fromStdString(path)))
        << answers.alerts[0].second.toStdString();
    EXPECT_EQ(shownOn, controller->mainWindow());

    // Read again, by a window or the preferences window: no second alert.
    Preferences again(ApplicationDomain);
    QCoreApplication::processEvents();
    EXPECT_EQ(answers.alerts.size(), 1u);

    // The next write replaces it, keeping what the user may still rescue.
    damaged.setValue(SerialDeviceKey, std::string("ttyS0"));
    ASSERT_TRUE(damaged.synchronize());
    std::string kept;
    ASSERT_TRUE(readWholeFile(path + ".damaged", &kept));
    EXPECT_EQ(kept, "<plist>cut short");
    EXPECT_EQ(Preferences(ApplicationDomain).stringValue(SerialDeviceKey), "ttyS0");
}

TEST_F(ControllerTest, FirstStartInstallsAndStartsTheHelperOnce)
{
    EXPECT_TRUE(std::filesystem::exists(installedHelperPath() + "/Contents/Info.plist"));
    EXPECT_TRUE(hasHelperAutostartEntry());
    EXPECT_EQ(helperStarts, 1);
}

TEST_F(ControllerTest, TheMenuListsDevicesAndKeepsTheChoice)
{
    EXPECT_EQ(deviceItems(), QStringList{"(No Serial Device Found)"});
    EXPECT_FALSE(controller->serialDeviceIsWritable());
    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_EQ(answers.alerts[0].first, "No Serial Device");

    Cp290Sim sim({}, true, "ttyCP290");
    ASSERT_TRUE(sim.isRunning());
    controller->deviceFolders->extra = sim.deviceDirectory();
    controller->scanForSerialDevices();
    EXPECT_EQ(deviceItems(), QStringList{"CP290"});
    controller->serialDeviceSelected("CP290");
    EXPECT_EQ(deviceItems(), QStringList{"CP290*"});
    EXPECT_EQ(applicationPreferences().stringValue(SerialDeviceKey), "CP290");
    EXPECT_TRUE(controller->serialDeviceIsWritable());

    // One command end to end, with its alert.
    controller->displayCP290Clock();
    ASSERT_EQ(answers.alerts.size(), 2u);
    EXPECT_EQ(answers.alerts[1].first, "Clock From CP290");
    EXPECT_TRUE(answers.alerts[1].second.startsWith("The CP290 reports the clock as "));
    controller->setCP290Clock();
    EXPECT_EQ(answers.alerts.size(), 2u) << "a clock set successfully shows no alert";
    EXPECT_FALSE(controller->statusProgressIndicator()->isVisible());
}

TEST_F(ControllerTest, AStoredDeviceThatIsAbsentIsNotChecked)
{
    applicationPreferences().setValue(SerialDeviceKey, "USB7");
    Cp290Sim sim({}, true, "ttyCP290");
    controller->deviceFolders->extra = sim.deviceDirectory();
    controller->scanForSerialDevices();
    EXPECT_EQ(deviceItems(), QStringList{"CP290"});
    controller->selfTest();
    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_EQ(answers.alerts[0].first, "No Serial Device");
}

TEST_F(ControllerTest, PreferencesWriteOnlyWhatChanged)
{
    QTest::qWait(600); // the new window's frame is written once it settles
    const std::string file = preferencesFilePath(ApplicationDomain);
    struct stat before
    {
    };
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    answerNextDialog([](QDialog* sheet) { sheet->accept(); });
    controller->preferences();
    struct stat after
    {
    };
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_EQ(before.st_ino, after.st_ino) << "the file was not replaced";
    std::string log;
    readLog(&log);
    EXPECT_EQ(log.find("by user."), std::string::npos);

    answerNextDialog([](QDialog* sheet) {
        sheet->findChild<QCheckBox*>("helperCheckbox")->setChecked(false);
        sheet->accept();
    });
    controller->preferences();
    EXPECT_FALSE(hasHelperAutostartEntry());
    EXPECT_TRUE(applicationPreferences().contains(NoHelperKey));
    readLog(&log);
    EXPECT_NE(log.find("Disabled by user."), std::string::npos);

    answerNextDialog([](QDialog* sheet) {
        sheet->findChild<QCheckBox*>("helperCheckbox")->setChecked(true);
        sheet->accept();
    });
    controller->preferences();
    EXPECT_TRUE(hasHelperAutostartEntry());
    EXPECT_FALSE(applicationPreferences().contains(NoHelperKey));
    EXPECT_EQ(helperStarts, 2);
    readLog(&log);
    EXPECT_NE(log.find("Enabled by user."), std::string::npos);
}

TEST_F(ControllerTest, SendingStoresTheHelperCopyOnlyAfterSuccess)
{
    Cp290Sim sim({}, true, "ttyCP290");
    controller->deviceFolders->extra = sim.deviceDirectory();
    controller->serialDeviceSelected("CP290");
    window->document(); // one "New Module", no events
    window->sendEventsToCP290();
    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_EQ(answers.alerts[0].first, "There are no events to send.");
    EXPECT_TRUE(readHelperCopy(applicationPreferences()).has_value()) << "stored all the same";

    window->selectRow(0, false);
    window->newEvent();
    EXPECT_EQ(window->scheduleCountText(), "1 of 128 CP290 events today");
    window->sendEventsToCP290();
    EXPECT_EQ(answers.alerts.size(), 1u) << "a successful send says nothing";
    // The frames the count predicted: one timer event after clock and base house code.
    std::size_t downloads = 0;
    for (const std::string& line : sim.traceLines())
        downloads += line.rfind("rx 03 ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(downloads, 1u);
    auto copy = readHelperCopy(applicationPreferences());
    ASSERT_TRUE(copy.has_value());
    EXPECT_EQ(copy->modules, window->document().modules);

    // An interface that refuses every command: the send fails and the copy
    // stays as it was.
    window->newEvent();
    Cp290Sim refusing({"--fault", "bad-status"}, true, "ttyCP290");
    controller->deviceFolders->extra = refusing.deviceDirectory();
    window->sendEventsToCP290();
    ASSERT_GE(answers.alerts.size(), 2u);
    EXPECT_EQ(answers.alerts.back().first, "Sending events failed.");
    EXPECT_EQ(readHelperCopy(applicationPreferences())->modules.front().events.size(), 1u);
}

TEST_F(ControllerTest, AFileChangedDuringAnExchangeIsReadWhenItEnds)
{
    // Two saved documents; another program rewrites both while the status
    // sheet is up, and one window closes before the exchange ends.
    std::vector<Modules*> windows;
    std::vector<std::string> paths;
    for (const char* name : {"First", "Second"}) {
        ModulesDocument document;
        document.modules.resize(1);
        document.modules[0].name = "Porch";
        paths.push_back(home.root() + "/" + name + ".vantrel");
        std::string error;
        ASSERT_TRUE(writeModulesFile(paths.back(), document, &error)) << error;
        windows.push_back(documents.openDocument(QString::fromStdString(paths.back())));
        ASSERT_NE(windows.back(), nullptr);
    }
    // The sheet comes down on the sending window, not on these two.
    const AskingWindowScope sending(window);
    controller->statusStartWithMessage("Sending Events to CP290...");
    for (std::size_t i = 0; i < windows.size(); ++i) {
        QSignalSpy noticed(windows[i]->findChild<DiskWatch*>("diskWatch"),
                           &DiskWatch::changedOnDisk);
        ModulesDocument theirs;
        theirs.modules.resize(1);
        theirs.modules[0].name = "Porch Light";
        std::string error;
        ASSERT_TRUE(writeModulesFile(paths[i], theirs, &error)) << error;
        ASSERT_TRUE(noticed.wait(5000));
    }
    QApplication::processEvents();
    for (Modules* each : windows)
        EXPECT_EQ(each->document().modules.at(0).name, "Porch");
    windows[1]->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    controller->statusEnd();
    EXPECT_EQ(windows[0]->document().modules.at(0).name, "Porch");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return windows[0]->document().modules.at(0).name == "Porch Light"; }, 5000));
    EXPECT_FALSE(windows[0]->isDocumentEdited());
    EXPECT_TRUE(answers.alerts.empty());
}

TEST_F(ControllerTest, TheStatusSheetOutlivesTheWindowItLastCameDownOn)
{
    Modules* other = documents.newDocument();
    controller->statusStartWithMessage("Sending...");
    controller->statusEnd();
    for (Modules* each : {window, other}) {
        each->clearChangeCount();
        each->close();
    }
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    window = documents.newDocument();
    controller->statusStartWithMessage("Setting the clock...");
    EXPECT_TRUE(controller->isBusy());
    controller->statusEnd();
    EXPECT_FALSE(controller->isBusy());
}

TEST_F(ControllerTest, SendingChecksWhenAskedAndSetsALostBaseHouseCodeAgain)
{
    // The first send's timer event (its fourth frame) is acknowledged but not
    // stored; the power goes with the second send's first frame.
    setDriverTickForTests(std::chrono::milliseconds(1));
    Cp290Sim sim(
        {"--base-house-code", "C", "--fault", "drop-event=0@4", "--fault", "power-loss=0.05@6"},
        true, "ttyCP290");
    controller->deviceFolders->extra = sim.deviceDirectory();
    controller->serialDeviceSelected("CP290");
    answerNextDialog([](QDialog* sheet) {
        sheet->findChild<QCheckBox*>("checkAfterSendCheckbox")->setChecked(true);
        sheet->accept();
    });
    controller->preferences();
    EXPECT_EQ(applicationPreferences().boolValue(CheckAfterSendKey), true);
    window->selectRow(0, false);
    window->newEvent();

    window->sendEventsToCP290();
    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_EQ(answers.alerts[0].first, "The CP290 does not hold what was sent.");
    EXPECT_TRUE(
        answers.alerts[0].second.contains(QStringLiteral("\n\u2022 Slot 0 is missing A-1  Turn ")))
        << answers.alerts[0].second.toStdString();
    EXPECT_EQ(window->statusBar()->currentMessage(), "");
    EXPECT_EQ(applicationPreferences().stringValue(BaseHouseCodeKey), "C");

    window->sendEventsToCP290();
    ASSERT_EQ(answers.alerts.size(), 2u) << answers.alerts.back().first.toStdString();
    EXPECT_EQ(answers.alerts[1].first, "The CP290 had lost its memory.");
    EXPECT_TRUE(answers.alerts[1].second.endsWith("the schedule was sent again."));
    EXPECT_EQ(window->statusBar()->currentMessage(), "Sent and verified");
    EXPECT_TRUE(sim.waitForTraceLine("rx 00 20"));
    setDriverTickForTests(std::chrono::nanoseconds(0));
}

TEST_F(ControllerTest, AModuleSelectedTwiceIsSwitchedTwice)
{
    Cp290Sim sim({}, true, "ttyCP290");
    controller->deviceFolders->extra = sim.deviceDirectory();
    controller->serialDeviceSelected("CP290");
    window->selectRow(0, false);
    window->newEvent(); // rows: the module, its event
    window->selectRow(0, false);
    window->selectRow(1, true);
    window->onOff(2);
    std::size_t switched = 0;
    for (const std::string& line : sim.traceLines())
        switched += line.rfind("rx 01 ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(switched, 2u);
    EXPECT_TRUE(answers.alerts.empty());
}

TEST_F(ControllerTest, RepeatCountsMarkTheDocumentOnlyWhenChanged)
{
    auto choose = [this](int on, bool accept) {
        answerNextDialog([on, accept](QDialog* sheet) {
            sheet->findChild<QComboBox*>("eventRepeatOnPopup")->setCurrentIndex(on);
            accept ? sheet->accept() : sheet->reject();
        });
        window->performEvents();
    };
    // The new module's name is in editing; leaving it commits, a change.
    QTest::qWait(20);
    window->endEdit();
    window->clearChangeCount();
    choose(0, true);
    EXPECT_FALSE(window->isDocumentEdited()) << "the same counts";
    choose(2, false);
    EXPECT_FALSE(window->isDocumentEdited()) << "Cancel";
    choose(2, true);
    EXPECT_TRUE(window->isDocumentEdited());
    EXPECT_EQ(window->document().eventRepeat, (ClassicEventRepeat{3, 1}));
}

// Faults of the interface as the window meets them: the status sheet goes,
// the driver's report and the command's own failure alert show, nothing
// modal is left up, and with the fault gone the same menu item works.
struct WindowFaultCase
{
    const char* legend;
    std::vector<std::string> fault;
    const char* action; // objectName of the CP290 menu item
    const char* failureTitle;
};

class ControllerFaults : public ControllerTest,
                         public ::testing::WithParamInterface<WindowFaultCase>
{
};

TEST_P(ControllerFaults, StatusSheetClosesAlertShowsAndTheWindowStaysUsable)
{
    const WindowFaultCase& row = GetParam();
    SCOPED_TRACE(row.legend);
    setDriverTickForTests(std::chrono::microseconds(250)); // a byte time-out of 75 ms
    window->selectRow(0, false);
    window->newEvent();
    auto trigger = [&] {
        QAction* item = window->findChild<QAction*>(row.action);
        ASSERT_NE(item, nullptr);
        item->trigger();
    };
    auto statusSheetShown = [] {
        for (QWidget* widget : QApplication::allWidgets())
            if (widget->objectName() == "statusWindow" && widget->isVisible())
                return true;
        return false;
    };
    {
        Cp290Sim faulty(row.fault, true, "ttyCP290");
        controller->deviceFolders->extra = faulty.deviceDirectory();
        controller->serialDeviceSelected("CP290");
        trigger();
    }
    EXPECT_FALSE(statusSheetShown());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ASSERT_EQ(answers.alerts.size(), 2u);
    EXPECT_EQ(answers.alerts[0].first, "CP290 Not Responding");
    EXPECT_EQ(answers.alerts[1].first, row.failureTitle);
    EXPECT_EQ(CP290FileDescriptor, -1);

    Cp290Sim healthy({}, true, "ttyCP290");
    controller->deviceFolders->extra = healthy.deviceDirectory();
    answers.alerts.clear();
    trigger();
    for (const auto& [title, message] : answers.alerts)
        EXPECT_NE(title, row.failureTitle) << "failed again with the fault gone";
    EXPECT_FALSE(statusSheetShown());
    setDriverTickForTests(std::chrono::nanoseconds(0));
}

INSTANTIATE_TEST_SUITE_P(Faults, ControllerFaults,
                         ::testing::Values(WindowFaultCase{"silent clock",
                                                           {"--fault", "no-reply"},
                                                           "setCP290Clock",
                                                           "Setting Clock Failed"},
                                           WindowFaultCase{"self test refused",
                                                           {"--fault", "bad-status@2-"},
                                                           "selfTest",
                                                           "Self Test Failed"},
                                           WindowFaultCase{"babbling clock read",
                                                           {"--fault", "babble"},
                                                           "displayCP290Clock",
                                                           "Getting Clock Failed"},
                                           WindowFaultCase{"silent events read",
                                                           {"--fault", "no-reply"},
                                                           "displayEventsFromCP290",
                                                           "Getting Events From CP290 Failed"},
                                           WindowFaultCase{"vanishing mid-download",
                                                           {"--fault", "vanish=3@4"},
                                                           "sendEventsToCP290",
                                                           "Sending events failed."}),
                         [](const auto& row) { return "Row" + std::to_string(row.index); });

TEST_F(ControllerTest, OnlyDoneAppliesThePreferences)
{
    auto change = [](QDialog* sheet) {
        sheet->findChild<QCheckBox*>("helperCheckbox")->setChecked(false);
        sheet->findChild<QCheckBox*>("checkAfterSendCheckbox")->setChecked(true);
        sheet->findChild<QRadioButton*>("locationGiven")->setChecked(true);
        sheet->findChild<QSpinBox*>("latitude")->setValue(12);
    };
    Preferences& preferences = applicationPreferences();
    auto nothingApplied = [&] {
        EXPECT_FALSE(preferences.contains(NoHelperKey));
        EXPECT_FALSE(preferences.contains(CheckAfterSendKey));
        EXPECT_FALSE(preferences.contains(LatitudeKey));
    };
    const std::vector<std::pair<const char*, std::function<void(QDialog*)>>> cancels = {
        {"Escape", [](QDialog* sheet) { QTest::keyClick(sheet, Qt::Key_Escape); }},
        {"close button", [](QDialog* sheet) { sheet->close(); }},
    };
    for (const auto& [name, cancel] : cancels) {
        SCOPED_TRACE(name);
        answerNextDialog([&, cancel = cancel](QDialog* sheet) {
            change(sheet);
            cancel(sheet);
        });
        controller->preferences();
        nothingApplied();
    }

    answerNextDialog([](QDialog* sheet) {
        sheet->findChild<QCheckBox*>("checkAfterSendCheckbox")->setChecked(true);
        sheet->findChild<QRadioButton*>("locationGiven")->setChecked(true);
        sheet->findChild<QSpinBox*>("latitude")->setValue(12);
        QTest::mouseClick(sheet->findChild<QPushButton*>("doneWithPreferences"), Qt::LeftButton);
    });
    controller->preferences();
    EXPECT_TRUE(preferences.boolValue(CheckAfterSendKey).value_or(false));
    EXPECT_EQ(preferences.integerValue(LatitudeKey).value_or(0), 12);
    EXPECT_FALSE(preferences.contains(NoHelperKey));
}

TEST_F(ControllerTest, TheWindowMenuListsTheDocumentsAndBringsOneForward)
{
    Modules* second = documents.newDocument();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(second));
    auto entries = [](Modules* document) {
        QMenu* menu = document->findChild<QMenu*>("windowMenu");
        emit menu->aboutToShow();
        QList<QAction*> items;
        for (QAction* item : menu->actions())
            if (item->objectName() == "documentWindow")
                items << item;
        return items;
    };
    QList<QAction*> items = entries(second);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), window->displayName());
    EXPECT_EQ(items[1]->text(), second->displayName());
    EXPECT_FALSE(items[0]->isChecked());
    EXPECT_TRUE(items[1]->isChecked());
    EXPECT_EQ(entries(second).size(), 2) << "listed afresh, not added again";

    items = entries(second);
    items[0]->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window; }));

    second->close();
    EXPECT_EQ(entries(window).size(), 1);
}

TEST_F(ControllerTest, AboutNamesTheVersionBuilt)
{
    QString shown;
    answerNextDialog([&](QDialog* box) {
        EXPECT_EQ(box->objectName(), "aboutBox");
        for (QLabel* label : box->findChildren<QLabel*>())
            shown += label->text() + "\n";
        box->accept();
    });
    window->findChild<QAction*>("about")->trigger();
    EXPECT_TRUE(shown.contains("Vantrel " VANTREL_VERSION)) << shown.toStdString();
}

TEST(ControllerTexts, TheClockInTwelveHours)
{
    EXPECT_EQ(cp290ClockMessage(0, 5), "The CP290 reports the clock as 12:05 AM.");
    EXPECT_EQ(cp290ClockMessage(12, 30), "The CP290 reports the clock as 12:30 PM.");
    EXPECT_EQ(cp290ClockMessage(23, 59), "The CP290 reports the clock as 11:59 PM.");
    EXPECT_EQ(PreferencesWindow::timeZoneLocationText("Europe/London", std::pair(51, 0)),
              "From the time zone: Europe/London, 51° N 0° E");
}

} // namespace
} // namespace vantrel::test

namespace vantrel::test {
namespace {

// The helpers of this user that run the installed program (also a replaced,
// "(deleted)" one), by process id.
std::vector<pid_t> runningHelpers(bool* anyReplaced = nullptr)
{
    std::vector<pid_t> helpers;
    if (anyReplaced)
        *anyReplaced = false;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = std::stoi(name);
        if (!isHelperProcess(pid, installedHelperPath()))
            continue;
        // A process that has ended but is not yet reaped is not running.
        std::string state;
        readWholeFile("/proc/" + name + "/stat", &state);
        const auto close = state.rfind(')');
        if (close != std::string::npos && close + 2 < state.size() && state[close + 2] == 'Z')
            continue;
        helpers.push_back(pid);
        std::error_code error;
        const auto exe = std::filesystem::read_symlink("/proc/" + name + "/exe", error).string();
        if (anyReplaced && exe.size() > 10 && exe.ends_with(" (deleted)"))
            *anyReplaced = true;
    }
    return helpers;
}

bool helperCountBecomes(std::size_t count)
{
    // Copies started while one runs end at once; give them that moment.
    return QTest::qWaitFor([count] { return runningHelpers().size() == count; }, 10000);
}

// Real helpers this time, started and stopped by the controller through every
// path a user takes: launches, quits, turning it off and on, an update.
TEST_F(ControllerTest, ExactlyOneHelperRunsWhileEnabledAndNoneWhileDisabled)
{
    controller->startHelper = startHelperDetached;
    controller->helperWaitMessageMilliseconds = 0;
    for (int quit = 0; quit < 4; ++quit)
        controller->applicationWillTerminate();
    ASSERT_TRUE(helperCountBecomes(1));
    // Its process id is published once it runs.
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
            applicationPreferences().synchronize();
            return applicationPreferences().integerValue(ProcessIDKey).has_value();
        },
        10000));
    const pid_t first = runningHelpers().front();

    auto setHelperEnabled = [this](bool enabled) {
        answerNextDialog([enabled](QDialog* sheet) {
            sheet->findChild<QCheckBox*>("helperCheckbox")->setChecked(enabled);
            sheet->accept();
        });
        controller->preferences();
    };
    setHelperEnabled(false);
    // Waited for: none runs the moment the sheet is gone.
    EXPECT_TRUE(runningHelpers().empty());
    controller->applicationWillTerminate();
    EXPECT_TRUE(helperCountBecomes(0));
    EXPECT_FALSE(QTest::qWaitFor([] { return !runningHelpers().empty(); }, 500))
        << "a helper runs while it is turned off";

    setHelperEnabled(true);
    ASSERT_TRUE(helperCountBecomes(1));
    EXPECT_NE(runningHelpers().front(), first);
    controller->applicationWillTerminate();
    EXPECT_TRUE(helperCountBecomes(1));

    // An update: a newer helper inside the application replaces the
    // installed one, whose running copy is stopped and waited for first.
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
            applicationPreferences().synchronize();
            return applicationPreferences().integerValue(ProcessIDKey) ==
                   std::optional<std::int64_t>(runningHelpers().front());
        },
        10000));
    const std::string newer = home.root() + "/newer/" + HelperBundleName;
    std::filesystem::create_directories(newer);
    std::filesystem::copy(controller->bundledHelper, newer,
                          std::filesystem::copy_options::recursive);
    PropertyDictionary info;
    info.set("CFBundleVersion", "99.0");
    ASSERT_TRUE(writePropertyListFile(newer + "/Contents/Info.plist", info));
    Controller updated(&documents);
    updated.bundledHelper = newer;
    updated.startHelper = startHelperDetached;
    updated.helperWaitMessageMilliseconds = 0;
    updated.deviceFolders = controller->deviceFolders;
    updated.awakeFromNib();
    bool replaced = true;
    ASSERT_TRUE(helperCountBecomes(1));
    runningHelpers(&replaced);
    EXPECT_FALSE(replaced) << "the old program still runs";
    EXPECT_EQ(bundleVersionNumber(installedHelperPath()), versionNumberOfString("99.0"));

    for (pid_t helper : runningHelpers())
        kill(helper, SIGTERM);
    EXPECT_TRUE(helperCountBecomes(0));
}

TEST_F(ControllerTest, DecliningTheDisclaimerEndsTheProgramWithoutAQuestion)
{
    // The new document's "New Module" is being edited when the sheet comes
    // (the start's own check has run by then).
    window->newModule();
    QTest::qWait(20);
    applicationPreferences().removeValue(DisclaimerAcceptedKey);
    applicationPreferences().synchronize();
    window->clearChangeCount();
    answerNextDialog([](QDialog* sheet) {
        sheet->findChild<QPushButton*>("declineButton")->click();
    });
    controller->checkDisclaimer();
    EXPECT_FALSE(window->isDocumentEdited()) << "the sheet's focus changed the document";
    // The program ends with code 0 from its event loop; no window is asked.
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, [&loop] { loop.exit(99); });
    EXPECT_EQ(loop.exec(), 0);
    EXPECT_TRUE(window->isVisible());
}

} // namespace
} // namespace vantrel::test

namespace vantrel::test {
namespace {

std::size_t framesStartingWith(const Cp290Sim& sim, const std::string& prefix)
{
    std::size_t count = 0;
    for (const std::string& line : sim.traceLines())
        count += line.rfind("rx " + prefix, 0) == 0 ? 1 : 0;
    return count;
}

void postClick(QWidget* target)
{
    const QPointF centre = QRectF(target->rect()).center();
    const QPointF global = target->mapToGlobal(centre);
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, centre, global,
                                                        Qt::LeftButton, Qt::LeftButton,
                                                        Qt::NoModifier));
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, centre,
                                                        global, Qt::LeftButton, Qt::NoButton,
                                                        Qt::NoModifier));
}

// What a user does while the interface works (a Delete on the selected
// event, another click on Send, a click on another row) arrives while the
// status sheet is up: none of it may run, then or afterwards.
TEST_F(ControllerTest, InputDuringAnExchangeIsDroppedNotReplayed)
{
    Cp290Sim sim({}, true, "ttyCP290");
    controller->deviceFolders->extra = sim.deviceDirectory();
    controller->serialDeviceSelected("CP290");
    window->endEdit();
    window->selectRow(0, false);
    window->newEvent();
    window->selectRow(0, false);
    window->newEvent();
    window->selectRow(1, false);
    QTest::qWait(20);
    const ModulesDocument before = window->document();
    window->clearChangeCount();

    bool posted = false;
    QProgressBar* bar = controller->statusProgressIndicator();
    const auto connection = QObject::connect(bar, &QProgressBar::valueChanged, [&] {
        if (posted || !bar->isVisible())
            return;
        posted = true;
        QWidget* outline = window->outline()->viewport();
        QCoreApplication::postEvent(window->outline(), new QKeyEvent(QEvent::KeyPress,
                                                                     Qt::Key_Delete,
                                                                     Qt::NoModifier));
        postClick(window->findChild<QPushButton*>("sendButton"));
        postClick(outline);
    });
    window->sendEventsToCP290();
    QObject::disconnect(connection);
    ASSERT_TRUE(posted) << "the bar never moved while the sheet was up";
    QTest::qWait(50);

    EXPECT_EQ(framesStartingWith(sim, "00 "), 1u) << "more than one download ran";
    EXPECT_EQ(window->document(), before);
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_EQ(window->selectedRows(), std::vector<int>{1});
    EXPECT_TRUE(answers.alerts.empty());
}

TEST_F(ControllerTest, ReadingTheEventsShowsTheWindowFirstAndKeepsTheHeaderOnFailure)
{
    setDriverTickForTests(std::chrono::microseconds(250)); // a byte time-out of 75 ms
    // Before any read the window opens and says so.
    controller->showEventsWindow();
    auto* events = qobject_cast<QMainWindow*>(
        [] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == "eventsWindow")
                    return top;
            return static_cast<QWidget*>(nullptr);
        }());
    ASSERT_NE(events, nullptr);
    EXPECT_TRUE(events->isVisible());
    auto* view = events->findChild<QPlainTextEdit*>("eventsWindowView");
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->toPlainText().startsWith("No events have been read"));

    // An interface that does not answer: the header stays, and the failure
    // alert comes after the sheet has gone.
    Cp290Sim silent({"--fault", "no-reply"}, true, "ttyCP290");
    controller->deviceFolders->extra = silent.deviceDirectory();
    controller->serialDeviceSelected("CP290");
    QString statusText;
    QString textWhileReading;
    QObject::connect(controller->statusProgressIndicator(), &QProgressBar::valueChanged,
                     [&] {
                         if (statusText.isEmpty()) {
                             statusText = controller->statusProgressIndicator()
                                              ->parentWidget()
                                              ->findChild<QLabel*>("statusMessage")
                                              ->text();
                             textWhileReading = view->toPlainText();
                         }
                     });
    controller->displayEventsFromCP290();
    EXPECT_EQ(statusText, "Getting Events From CP290...");
    EXPECT_TRUE(textWhileReading.startsWith("Events from CP290 as of ")) << textWhileReading.toStdString();
    EXPECT_TRUE(view->toPlainText().startsWith("Events from CP290 as of "));
    EXPECT_FALSE(view->toPlainText().contains("None."));
    ASSERT_FALSE(answers.alerts.empty());
    EXPECT_EQ(answers.alerts.back().first, "Getting Events From CP290 Failed");
    EXPECT_EQ(answers.alerts.back().second, QString());
    EXPECT_FALSE(controller->isBusy());

    Cp290Sim working({}, true, "ttyCP290");
    controller->deviceFolders->extra = working.deviceDirectory();
    controller->displayEventsFromCP290();
    EXPECT_TRUE(view->toPlainText().endsWith("\n\nNone.")) << view->toPlainText().toStdString();
    setDriverTickForTests(std::chrono::nanoseconds(0));
}

// A text window's text is saved as plain text under the name chosen, with
// ".txt" added only when no suffix was typed; cancelling writes nothing.
TEST_F(ControllerTest, TextWindowsSaveTheirTextAsTextFiles)
{
    const std::size_t alerts = answers.alerts.size();
    controller->showEventsWindow();
    QMainWindow* events = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == "eventsWindow")
            events = qobject_cast<QMainWindow*>(top);
    ASSERT_NE(events, nullptr);
    const QString text = events->findChild<QPlainTextEdit*>("eventsWindowView")->toPlainText();
    ASSERT_FALSE(text.isEmpty());
    auto* save = events->findChild<QAction*>("saveText");
    auto* saveAs = events->findChild<QAction*>("saveTextAs");
    ASSERT_NE(save, nullptr);
    ASSERT_NE(saveAs, nullptr);

    const QString folder = QString::fromStdString(home.root());
    struct Case
    {
        QAction* action;
        QString typed;
        QString written;
    };
    const Case cases[] = {{save, folder + "/mylog", folder + "/mylog.txt"},
                          {saveAs, folder + "/events.log", folder + "/events.log"},
                          {save, folder + "/kept.txt", folder + "/kept.txt"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        answers.textFileName = c.typed;
        c.action->trigger();
        std::ifstream in(c.written.toStdString());
        ASSERT_TRUE(in.good());
        const std::string written((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        EXPECT_EQ(QString::fromStdString(written), text);
        EXPECT_FALSE(std::filesystem::exists((c.typed + ".vantrel").toStdString()));
    }
    EXPECT_FALSE(std::filesystem::exists((folder + "/events.log.txt").toStdString()));
    EXPECT_EQ(answers.textSuggestions,
              QStringList(static_cast<qsizetype>(std::size(cases)), events->windowTitle()));

    // Cancelled: nothing new appears.
    const auto before = std::distance(std::filesystem::directory_iterator(home.root()),
                                      std::filesystem::directory_iterator());
    save->trigger();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.root()),
                            std::filesystem::directory_iterator()),
              before);
    EXPECT_EQ(answers.alerts.size(), alerts);
}

// The driver's alert goes to the window whose menu ran the command, not to
// whichever window is in front or was opened last.
TEST_F(ControllerTest, AnAlertBelongsToTheWindowThatAsked)
{
    setDriverTickForTests(std::chrono::microseconds(250)); // a byte time-out of 75 ms
    Cp290Sim silent({"--fault", "no-reply"}, true, "ttyCP290");
    controller->deviceFolders->extra = silent.deviceDirectory();
    controller->serialDeviceSelected("CP290");
    Modules* asking = window;
    Modules* later = documents.newDocument();
    later->activateWindow();
    QTest::qWait(20);
    std::vector<QWidget*> parents;
    answers.onAlert = [&parents](QWidget* parent) { parents.push_back(parent); };
    asking->findChild<QAction*>("displayCP290Clock")->trigger();
    ASSERT_FALSE(parents.empty());
    for (QWidget* parent : parents)
        EXPECT_EQ(parent, asking);
    // The read of the events brings its window to the front: it asks there.
    parents.clear();
    asking->findChild<QAction*>("displayEventsFromCP290")->trigger();
    ASSERT_FALSE(parents.empty());
    for (QWidget* parent : parents)
        EXPECT_EQ(parent->objectName(), "eventsWindow");
    parents.clear();
    asking->findChild<QAction*>("sendEventsToCP290")->trigger();
    for (QWidget* parent : parents)
        EXPECT_EQ(parent, asking);
    setDriverTickForTests(std::chrono::nanoseconds(0));
}

} // namespace
} // namespace vantrel::test

namespace vantrel::test {
namespace {

// The status bar follows the helper as it writes and as its process ends,
// without the window asking again; a click shows the activity log.
TEST_F(ControllerTest, TheStatusBarShowsTheHelpersHealth)
{
    auto* status = window->findChild<QPushButton*>("helperStatus");
    ASSERT_NE(status, nullptr);
    HelperStatusWatcher::instance().refresh();
    EXPECT_EQ(status->text(), "Helper: not running");

    Cp290Sim sim({}, true, "ttyCP290");
    controller->deviceFolders->extra = sim.deviceDirectory();
    home.set("VANTREL_DEVICE_DIR", sim.deviceDirectory());
    controller->serialDeviceSelected("CP290");
    ASSERT_TRUE(storeHelperCopy(applicationPreferences(), {Module{}}, {1, 1}));
    applicationPreferences().synchronize();
    ASSERT_TRUE(startHelperDetached(installedHelperPath()));
    EXPECT_TRUE(QTest::qWaitFor(
        [status] { return status->text().startsWith("Helper: clock set today at "); }, 20000))
        << status->text().toStdString();

    for (pid_t helper : runningHelpers())
        kill(helper, SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([status] { return status->text() == "Helper: not running"; },
                                10000))
        << status->text().toStdString();

    applicationPreferences().setValue(NoHelperKey, true);
    applicationPreferences().synchronize();
    EXPECT_TRUE(QTest::qWaitFor([status] { return status->text() == "Helper: off"; }, 5000));

    status->click();
    bool logShown = false;
    for (QWidget* top : QApplication::topLevelWidgets())
        logShown |= top->objectName() == "logWindow" && top->isVisible();
    EXPECT_TRUE(logShown);
}

} // namespace
} // namespace vantrel::test

namespace vantrel::test {
namespace {

// Plugging an adapter in shows it in the menu without opening the menu, by
// its stable name as well; unplugging takes it away.
TEST_F(ControllerTest, TheDeviceListFollowsPlugging)
{
    EXPECT_EQ(deviceItems(), QStringList{"(No Serial Device Found)"});
    // As on the machine: the stable names live below the device folder.
    controller->deviceFolders->byId = controller->deviceFolders->dev + "/serial/by-id";
    std::filesystem::create_directories(controller->deviceFolders->dev);
    controller->scanForSerialDevices(); // the watch starts on folders that exist
    QTest::qWait(50);
    {
        std::ofstream(controller->deviceFolders->dev + "/ttyUSB0");
    }
    EXPECT_TRUE(QTest::qWaitFor([this] { return deviceItems() == QStringList{"USB0"}; }, 5000))
        << deviceItems().join(",").toStdString();

    const std::string byId = controller->deviceFolders->byId;
    std::filesystem::create_directories(byId);
    std::filesystem::create_symlink(controller->deviceFolders->dev + "/ttyUSB0",
                                    byId + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    EXPECT_TRUE(QTest::qWaitFor(
        [this] {
            return deviceItems() == QStringList{"FTDI FT232R USB UART (A50285BI)", "USB0"};
        },
        5000))
        << deviceItems().join(",").toStdString();
    controller->serialDeviceSelected("FTDI FT232R USB UART (A50285BI)");
    EXPECT_EQ(applicationPreferences().stringValue(SerialDeviceKey),
              "FTDI FT232R USB UART (A50285BI)");

    std::filesystem::remove_all(byId);
    std::filesystem::remove(controller->deviceFolders->dev + "/ttyUSB0");
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return deviceItems() == QStringList{"(No Serial Device Found)"}; }, 5000))
        << deviceItems().join(",").toStdString();
}

} // namespace
} // namespace vantrel::test
