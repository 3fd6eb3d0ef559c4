// The CP290 menu of every document window: its serial devices, its commands
// and the status sheet they run under; the Window and Help menus beside it.

#include "app/Controller.h"

#include "app/ControllerShared.h"
#include "app/PreferencesWindow.h"
#include "app/core/HelperInstallation.h"
#include "cp290/ActivityLog.h"
#include "cp290/ClockText.h"
#include "cp290/Driver.h"
#include "cp290/EventListing.h"
#include "cp290/Recovery.h"
#include "editor/ApplicationPreferences.h"
#include "editor/Dialogs.h"
#include "editor/DocumentManager.h"
#include "editor/FileNames.h"
#include "editor/Modules.h"
#include "editor/UserInputBlocker.h"
#include "editor/WeekAheadView.h"
#include "platform/DateTime.h"
#include "platform/Paths.h"
#include "platform/SerialDevices.h"

#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace vantrel {

using namespace controller;

// ---------------------------------------------------------------- menus

void Controller::installMenus(Modules* document)
{
    QMenuBar* bar = document->menuBar();
    if (QMenu* edit = document->findChild<QMenu*>("editMenu")) {
        edit->addSeparator();
        auto* preferences = edit->addAction(tr("Pre&ferences…"), this, &Controller::preferences);
        preferences->setObjectName("preferences");
        // Not every desktop binds the standard key; Ctrl+, is the common one.
        QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Preferences);
        if (!keys.contains(QKeySequence(tr("Ctrl+,"))))
            keys.append(QKeySequence(tr("Ctrl+,")));
        preferences->setShortcuts(keys);
        preferences->setMenuRole(QAction::PreferencesRole);
    }
    QMenu* cp290 = makeCP290Menu(document);
    bar->addMenu(cp290);

    QMenu* window = bar->addMenu(tr("&Window"));
    window->setObjectName("windowMenu");
    auto* log = window->addAction(tr("Activity &Log"), this, [this] { helperLog(false); });
    log->setObjectName("helperLog");
    log->setShortcut(QKeySequence(tr("Ctrl+L")));
    auto* events = window->addAction(tr("&Events From CP290"), this, &Controller::showEventsWindow);
    events->setObjectName("showEventsWindow");
    auto* week = window->addAction(tr("&Week Ahead"), document,
                                   [document] { WeekAheadWindow::showFor(document); });
    week->setObjectName("weekAhead");
    week->setShortcut(QKeySequence(tr("Ctrl+Shift+K")));
    // Then the open documents, listed afresh each time the menu opens.
    window->addSeparator();
    connect(window, &QMenu::aboutToShow, this,
            [this, window, document] { listDocumentWindows(window, document); });

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName("helpMenu");
    for (const HelpPage& page : HelpPages) {
        auto* item = help->addAction(tr(page.title));
        connect(item, &QAction::triggered, this, [this, item] { showHelp(item->text()); });
    }
    help->addSeparator();
    auto* mail = help->addAction(tr("Send Feedback by Email…"), this, &Controller::emailTheAuthor);
    mail->setObjectName("emailTheAuthor");
    help->addSeparator();
    auto* about = help->addAction(tr("&About Vantrel"), this, &Controller::about);
    about->setObjectName("about");
    about->setMenuRole(QAction::AboutRole);
}

void Controller::listDocumentWindows(QMenu* menu, Modules* document)
{
    for (QAction* item : menu->actions())
        if (item->objectName() == QLatin1String("documentWindow"))
            delete item;
    for (Modules* open : m_documents->documents()) {
        QAction* item = menu->addAction(open->displayName());
        item->setObjectName("documentWindow");
        item->setCheckable(true);
        item->setChecked(open == document);
        connect(item, &QAction::triggered, open, [open] {
            open->show();
            open->raise();
            open->activateWindow();
        });
    }
}

QMenu* Controller::makeCP290Menu(QWidget* parent)
{
    auto* menu = new QMenu(tr("CP&290"), parent);
    menu->setObjectName("cp290Menu");
    auto* document = qobject_cast<Modules*>(parent);
    // Positions 0-10; the serial devices follow from position 11.
    QAction* send = menu->addAction(tr("&Send Events to CP290"));
    send->setObjectName("sendEventsToCP290");
    send->setShortcut(QKeySequence(tr("Ctrl+Shift+Return")));
    QAction* repeat = menu->addAction(tr("&Repeat Counts…"));
    repeat->setObjectName("performEvents");
    if (document) {
        connect(send, &QAction::triggered, document, &Modules::sendEventsToCP290);
        connect(repeat, &QAction::triggered, document, &Modules::performEvents);
    }
    menu->addSeparator();
    // Each command's sheet and alerts belong to the window whose menu ran it.
    const QPointer<QWidget> window(parent);
    auto from = [this, window](void (Controller::*command)()) {
        return [this, window, command] {
            const AskingWindowScope asking(window);
            (this->*command)();
        };
    };
    menu->addAction(tr("Show &Events From CP290"), this, from(&Controller::displayEventsFromCP290))
        ->setObjectName("displayEventsFromCP290");
    menu->addSeparator();
    menu->addAction(tr("Set CP290 &Clock"), this, from(&Controller::setCP290Clock))
        ->setObjectName("setCP290Clock");
    menu->addAction(tr("Show CP290 C&lock"), this, from(&Controller::displayCP290Clock))
        ->setObjectName("displayCP290Clock");
    QMenu* base = menu->addMenu(tr("Set &Base House Code"));
    base->setObjectName("setBaseHouseCode");
    for (int code = 0; code < 16; ++code) {
        QAction* item = base->addAction(QString(QChar('A' + code)));
        item->setData(code);
        connect(item, &QAction::triggered, this, [this, code, window] {
            const AskingWindowScope asking(window);
            setBaseHouseCode(code);
        });
    }
    menu->addAction(tr("Run Self &Test"), this, from(&Controller::selfTest))
        ->setObjectName("selfTest");
    menu->addSeparator();
    QAction* heading = menu->addAction(tr("Serial Device"));
    heading->setEnabled(false);
    Q_ASSERT(menu->actions().size() == FixedCP290Items);
    connect(menu, &QMenu::aboutToShow, this, &Controller::scanForSerialDevices);
    m_cp290Menus.append(menu);
    rebuildDeviceItems(menu);
    return menu;
}

void Controller::rebuildDeviceItems(QMenu* menu)
{
    const QList<QAction*> actions = menu->actions();
    for (qsizetype item = actions.size() - 1; item >= FixedCP290Items; --item) {
        menu->removeAction(actions[item]);
        delete actions[item];
    }
    // One group per menu, kept from scan to scan (every opening of the menu scans).
    auto* group = menu->findChild<QActionGroup*>("serialDeviceGroup");
    if (!group) {
        group = new QActionGroup(menu);
        group->setObjectName("serialDeviceGroup");
        group->setExclusive(true);
    }
    const std::vector<std::string> names = deviceNames();
    for (const std::string& name : names) {
        QAction* item = menu->addAction(qs(name));
        item->setObjectName(QStringLiteral("serialDevice:%1").arg(qs(name)));
        item->setCheckable(true);
        item->setChecked(qs(name) == m_chosenDevice);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, name] { serialDeviceSelected(qs(name)); });
    }
    if (names.empty()) {
        QAction* none = menu->addAction(tr("(No Serial Device Found)"), this,
                                        &Controller::scanForSerialDevices);
        none->setObjectName("noSerialDeviceFound");
    }
}

std::vector<std::string> Controller::deviceNames() const
{
    return deviceFolders ? serialDeviceNames(*deviceFolders) : serialDeviceNames();
}

std::string Controller::devicePath(const QString& name) const
{
    return deviceFolders ? serialDevicePath(name.toStdString(), *deviceFolders)
                         : serialDevicePath(name.toStdString());
}

void Controller::watchDeviceFolders()
{
    if (!m_deviceWatcher) {
        m_deviceWatcher = new QFileSystemWatcher(this);
        m_deviceSettle.setSingleShot(true);
        // Plugging makes several entries in a row: one scan after they settle.
        m_deviceSettle.setInterval(300);
        connect(m_deviceWatcher, &QFileSystemWatcher::directoryChanged, &m_deviceSettle,
                qOverload<>(&QTimer::start));
        connect(&m_deviceSettle, &QTimer::timeout, this, &Controller::scanForSerialDevices);
    }
    const SerialDeviceFolders folders =
        deviceFolders ? *deviceFolders : systemSerialDeviceFolders();
    QStringList wanted;
    for (const std::string& folder : {folders.dev, folders.extra, folders.byId,
                                      std::filesystem::path(folders.byId).parent_path().string()})
        if (!folder.empty() && std::filesystem::is_directory(folder))
            wanted.append(qs(folder));
    wanted.removeDuplicates();
    const QStringList watched = m_deviceWatcher->directories();
    for (const QString& folder : wanted)
        if (!watched.contains(folder))
            m_deviceWatcher->addPath(folder);
}

void Controller::scanForSerialDevices()
{
    const std::vector<std::string> names = deviceNames();
    m_chosenDevice.clear();
    if (auto stored = m_preferences.stringValue(SerialDeviceKey)) {
        if (std::find(names.begin(), names.end(), *stored) != names.end())
            m_chosenDevice = qs(*stored);
    }
    if (!m_chosenDevice.isEmpty())
        setCP290DeviceFilePath(devicePath(m_chosenDevice).c_str());
    m_cp290Menus.removeAll(nullptr);
    for (QMenu* menu : m_cp290Menus)
        rebuildDeviceItems(menu);
    // Folders that appeared since (the first adapter's by-id) are watched too.
    if (m_deviceWatcher)
        watchDeviceFolders();
}

void Controller::serialDeviceSelected(const QString& name)
{
    m_chosenDevice = name;
    if (m_preferences.stringValue(SerialDeviceKey) != name.toStdString()) {
        m_preferences.setValue(SerialDeviceKey, name.toStdString());
        savePreferences(m_preferences, mainWindow());
    }
    setCP290DeviceFilePath(devicePath(name).c_str());
    for (QMenu* menu : m_cp290Menus)
        if (menu)
            for (QAction* item : menu->actions().mid(FixedCP290Items))
                item->setChecked(item->isCheckable() && item->text() == name);
}

bool Controller::serialDeviceIsWritable()
{
    scanForSerialDevices();
    if (!m_chosenDevice.isEmpty()) {
        const std::string path = devicePath(m_chosenDevice);
        if (!path.empty() && access(path.c_str(), W_OK) == 0)
            return true;
    }
    dialogs().alert(mainWindow(), tr("No Serial Device"),
                    tr("No serial device has been found.  Please make sure you have selected a "
                       "serial device under the CP290 menu and recheck your connections."));
    scanForSerialDevices();
    return false;
}

// ---------------------------------------------------------------- commands

void Controller::incrementProgress(double amount)
{
    // Shares smaller than one step add up rather than round away.
    m_progress = std::min<double>(ProgressFull, m_progress + amount);
    m_statusBar->setValue(static_cast<int>(m_progress + 0.5));
    // Input meanwhile is dropped by the blocker, not held back for later.
    QApplication::processEvents();
}

void Controller::statusStartWithMessage(const QString& message)
{
    // Until the sheet goes, nothing the user does in any window counts: a
    // click or a key held back until then would run a command afterwards.
    if (!m_inputBlocker)
        m_inputBlocker = std::make_unique<UserInputBlocker>();
    m_statusMessage->setText(message);
    m_progress = 0;
    m_statusBar->setValue(0);
    QWidget* parent = mainWindow();
    if (m_statusWindow->parentWidget() != parent) {
        m_statusWindow->setParent(parent, Qt::Sheet);
    }
    m_statusWindow->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    if (parent && !m_statusWindow->isVisible()) {
        // Over the window it belongs to, wherever it stood the last time.
        m_statusWindow->adjustSize();
        m_statusWindow->move(parent->frameGeometry().center() - m_statusWindow->rect().center());
    }
    m_statusWindow->show();
    m_statusWindow->raise();
    QApplication::processEvents();
}

bool Controller::isBusy() const
{
    return m_statusWindow && m_statusWindow->isVisible();
}

void Controller::afterExchange(QObject* context, std::function<void()> then)
{
    if (!isBusy()) {
        then();
        return;
    }
    m_afterExchange.emplace_back(context, std::move(then));
}

void Controller::statusEnd()
{
    if (!m_statusWindow->isVisible()) {
        m_inputBlocker.reset();
        runAfterExchange();
        return;
    }
    m_statusBar->setValue(ProgressFull);
    // The full bar stays in sight for a second before the sheet goes.
    waitRepainting(statusHoldMilliseconds);
    m_statusWindow->hide();
    // Sheets belong to the window in front; once hidden it belongs to none, so
    // closing that window does not take the one status sheet with it.
    m_statusWindow->setParent(nullptr, Qt::Sheet);
    // Whatever the user did meanwhile has been dropped as it came.
    QApplication::processEvents();
    m_inputBlocker.reset();
    runAfterExchange();
}

void Controller::runAfterExchange()
{
    // Queued, so that the command finishes what it does after the exchange
    // (its alert included) before anything waiting for it runs.
    for (auto& [context, then] : std::exchange(m_afterExchange, {}))
        if (context)
            QTimer::singleShot(0, context, std::move(then));
}

void Controller::runCommand(const QString& status, const std::function<bool()>& driverCall,
                            const QString& successTitle, const QString& successMessage,
                            const QString& failureTitle)
{
    if (!serialDeviceIsWritable())
        return;
    statusStartWithMessage(status);
    gProgressBudget = ProgressFull;
    const bool succeeded = driverCall();
    statusEnd();
    if (succeeded && !successTitle.isEmpty())
        dialogs().alert(mainWindow(), successTitle, successMessage);
    else if (!succeeded)
        dialogs().alert(mainWindow(), failureTitle, QString());
}

void Controller::setBaseHouseCode(int houseCodeIndex)
{
    if (houseCodeIndex < 0)
        return;
    runCommand(
        tr("Setting Base House Code..."),
        [houseCodeIndex] { return CP290DoSetBaseHouseCode(houseCodeIndex); },
        tr("Base House Code Set"),
        tr("The Base House Code was set sucessfully.  Your events have been erased."),
        tr("Setting Base House Code Failed"));
}

void Controller::selfTest()
{
    runCommand(
        tr("Running Self Test..."), [] { return CP290DoSelfTest(); }, tr("Self Test OK"),
        tr("The self test completed sucessfully.  Your events have been erased."),
        tr("Self Test Failed"));
}

void Controller::setCP290Clock()
{
    runCommand(
        tr("Setting CP290 Clock..."), [] { return CP290DoSetClock(); }, QString(), QString(),
        tr("Setting Clock Failed"));
}

void Controller::displayCP290Clock()
{
    if (!serialDeviceIsWritable())
        return;
    if (!CP290DoGetClock()) {
        dialogs().alert(mainWindow(), tr("Getting Clock Failed"), QString());
        return;
    }
    dialogs().alert(mainWindow(), tr("Clock From CP290"), cp290ClockMessage(gHour, gMinute));
}

void Controller::showEventsWindow()
{
    if (!m_eventsWindow) {
        m_eventsWindow = makeTextWindow("eventsWindow", tr(EventsWindowTitle), &m_eventsView);
        m_eventsView->setPlainText(tr("No events have been read from the CP290 yet.\n"
                                      "CP290 > Show Events From CP290 reads them."));
    }
    m_eventsWindow->show();
    m_eventsWindow->raise();
    m_eventsWindow->activateWindow();
}

void Controller::displayEventsFromCP290()
{
    if (!serialDeviceIsWritable())
        return;
    // The window comes first, holding the header alone, so the user sees
    // where the listing will appear while the interface is read.
    showEventsWindow();
    m_eventsView->setPlainText(qs(eventListingHeader(GetDateTime())));
    // In front now, it holds the status sheet and any alert of the read.
    const AskingWindowScope asking(m_eventsWindow);
    statusStartWithMessage(tr("Getting Events From CP290..."));
    gProgressBudget = ProgressFull;
    const bool succeeded = CP290DoGetEvents();
    statusEnd();
    if (!succeeded) {
        dialogs().alert(mainWindow(), tr("Getting Events From CP290 Failed"), QString());
        return;
    }
    m_eventsView->setPlainText(qs(eventListingText(CP290TimerEvent, GetDateTime())));
}

} // namespace vantrel
