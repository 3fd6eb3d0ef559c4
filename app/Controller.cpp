#include "app/Controller.h"

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

// The help pages are compiled into this static library; a program linking it
// must register them itself.
static void registerHelpPages()
{
    Q_INIT_RESOURCE(help);
}

namespace vantrel {

Controller* gController = nullptr;
QProgressBar* gStatusProgressIndicator = nullptr;

namespace {

constexpr int FixedCP290Items = 11;
constexpr int ProgressFull = 130;
constexpr const char* SupportAddress = "support@vantrel.net";
constexpr const char* EventsWindowTitle = "Events From CP290";

// Help pages by the Help menu's titles.
struct HelpPage
{
    const char* title;
    const char* file;
};
constexpr HelpPage HelpPages[] = {
    {"Getting Started", "getting-started.html"},
    {"Connecting a CP290", "connecting-a-cp290.html"},
    {"Writing Events", "writing-events.html"},
    {"Sun Times and Location", "sun-times-and-location.html"},
    {"The Helper and Its Log", "the-helper-and-its-log.html"},
};

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// Waits while the window repaints; the status sheet's input blocker keeps
// the user's input from doing anything meanwhile.
void waitRepainting(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

QString cp290ClockMessage(int hour, int minute)
{
    return QStringLiteral("The CP290 reports the clock as %1.")
        .arg(qs(twelveHourClockText(hour, minute)));
}

void WindowedDriverHost::statusEnd()
{
    if (gController)
        gController->statusEnd();
}

void WindowedDriverHost::showAlert(const std::string& title, const std::string& message)
{
    dialogs().alert(gController ? gController->mainWindow() : nullptr, qs(title), qs(message));
}

void WindowedDriverHost::incrementProgress(double amount)
{
    if (gController)
        gController->incrementProgress(amount);
}

Controller::Controller(DocumentManager* documents, QObject* parent)
    : QObject(parent), m_documents(documents), m_preferences(applicationPreferences())
{
    registerHelpPages();
    startHelper = startHelperDetached;
    bundledHelper = bundledHelperPath();
    installedHelper = installedHelperPath();
    connect(m_documents, &DocumentManager::documentOpened, this, &Controller::installMenus);
}

namespace {
// Whether alerts about unreadable preferences files still go to a window.
bool preferencesWarningsShown = false;
} // namespace

Controller::~Controller()
{
    if (gController == this) {
        gController = nullptr;
        gStatusProgressIndicator = nullptr;
        setDocumentHost(nullptr);
        setDriverHost(nullptr);
        setBaseHouseCodeObserver(nullptr);
        preferencesWarningsShown = false;
        setPreferencesWarningSink(nullptr);
    }
    for (QWidget* window :
         {static_cast<QWidget*>(m_logWindow.data()), static_cast<QWidget*>(m_eventsWindow.data()),
          static_cast<QWidget*>(m_helpWindow.data()), static_cast<QWidget*>(m_statusWindow.data())})
        delete window;
}

void Controller::showPreferencesWarningsInWindows()
{
    preferencesWarningsShown = true;
    setPreferencesWarningSink([](const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
        // Not from inside the read that found it: the alert's event loop
        // would run in the middle of whatever was reading the preferences.
        QTimer::singleShot(0, qApp, [text = qs(message)] {
            if (!preferencesWarningsShown)
                return;
            dialogs().alert(gController ? gController->mainWindow() : QApplication::activeWindow(),
                            tr("The preferences could not be read."), text + ".");
        });
    });
}

QWidget* Controller::mainWindow() const
{
    if (m_askingWindow)
        return m_askingWindow;
    if (QWidget* active = QApplication::activeWindow(); active && !qobject_cast<QDialog*>(active))
        return active;
    return m_documents->frontDocument();
}

// ---------------------------------------------------------------- start-up

void Controller::awakeFromNib()
{
    showPreferencesWarningsInWindows();
    m_preferences.addSuite(HelperDomain);

    // The status sheet, made once and reused.
    m_statusWindow = new QDialog(nullptr, Qt::Sheet);
    m_statusWindow->setObjectName("statusWindow");
    m_statusWindow->setWindowTitle(tr("Working"));
    auto* layout = new QVBoxLayout(m_statusWindow);
    m_statusMessage = new QLabel(m_statusWindow);
    m_statusMessage->setObjectName("statusMessage");
    m_statusBar = new QProgressBar(m_statusWindow);
    m_statusBar->setObjectName("statusProgressIndicator");
    m_statusBar->setRange(0, ProgressFull);
    m_statusBar->setTextVisible(false);
    m_statusBar->setMinimumWidth(360);
    layout->addWidget(m_statusMessage);
    layout->addWidget(m_statusBar);

    scanForSerialDevices();
    // The menu's devices follow plugging and unplugging while it is closed.
    watchDeviceFolders();
    gStatusProgressIndicator = m_statusBar;
    gController = this;
    static WindowedDriverHost host;
    setDriverHost(&host);
    setDocumentHost(this);
    CP290Verbose = true;
    // Kept for setting it again should the interface lose its memory.
    setBaseHouseCodeObserver([this](std::uint8_t byte) {
        rememberBaseHouseCode(m_preferences, byte);
        m_preferences.synchronize();
    });

    m_helperProcessID = m_preferences.integerValue(ProcessIDKey);
    installOrUpdateHelper(bundledHelper, installedHelper, m_helperProcessID,
                          [this](const StoppingHelper& helper) { waitForHelperToEnd(helper); });
    if (!m_preferences.contains(NoHelperKey)) {
        addHelperAutostartEntry(installedHelper);
        startInstalledHelper();
    }
    QTimer::singleShot(0, this, &Controller::checkDisclaimer);
}

void Controller::startInstalledHelper()
{
    if (startHelper)
        startHelper(installedHelper);
}

void Controller::waitForHelperToEnd(const StoppingHelper& helper)
{
    if (!helper.signalled() || helper.processDescriptor() < 0 || helper.hasEnded())
        return;
    // The helper finishes the exchange it is in before it ends; the window
    // repaints meanwhile, and says why when that takes more than a moment.
    const UserInputBlocker blocker;
    QEventLoop loop;
    QSocketNotifier ended(helper.processDescriptor(), QSocketNotifier::Read);
    connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(std::chrono::duration_cast<std::chrono::milliseconds>(HelperExchangeLimit));
    QTimer moment;
    moment.setSingleShot(true);
    bool told = false;
    connect(&moment, &QTimer::timeout, this, [this, &told] {
        told = true;
        statusStartWithMessage(
            tr("Waiting for Vantrel Helper to finish its exchange with the CP290…"));
    });
    moment.start(helperWaitMessageMilliseconds);
    loop.exec();
    moment.stop();
    if (!helper.hasEnded())
        helper.kill();
    if (told) {
        m_statusWindow->hide();
        m_statusWindow->setParent(nullptr, Qt::Sheet);
        m_inputBlocker.reset();
    }
}

void Controller::applicationOpenUntitledFile()
{
    if (auto last = m_preferences.stringValue(LastModulesFileKey))
        if (m_documents->openDocumentQuietly(qs(*last)))
            return;
    m_documents->newDocument();
}

void Controller::applicationWillTerminate()
{
    if (!m_preferences.contains(NoHelperKey))
        startInstalledHelper();
}

void Controller::checkDisclaimer()
{
    if (m_preferences.boolValue(DisclaimerAcceptedKey).value_or(false))
        return;
    QDialog sheet(mainWindow());
    sheet.setObjectName("disclaimer");
    sheet.setWindowTitle(tr("Before You Use Vantrel"));
    sheet.setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(&sheet);
    auto* text = new QTextBrowser(&sheet);
    text->setObjectName("disclaimerText");
    QFile page(":/help/disclaimer.html");
    if (page.open(QIODevice::ReadOnly))
        text->setHtml(QString::fromUtf8(page.readAll()));
    else
        text->setPlainText(tr("This software comes without any warranty. It switches mains-powered "
                              "devices remotely and on a schedule; you are responsible for what it "
                              "controls."));
    text->setMinimumSize(480, 300);
    text->setFocusPolicy(Qt::NoFocus);
    text->setFrameShape(QFrame::NoFrame);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(&sheet);
    QPushButton* accept = buttons->addButton(tr("Accept"), QDialogButtonBox::AcceptRole);
    accept->setObjectName("acceptButton");
    QPushButton* decline = buttons->addButton(tr("Decline"), QDialogButtonBox::RejectRole);
    decline->setObjectName("declineButton");
    connect(buttons, &QDialogButtonBox::accepted, &sheet, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &sheet, &QDialog::reject);
    layout->addWidget(buttons);
    accept->setDefault(true);
    if (sheet.exec() == QDialog::Accepted) {
        m_preferences.setValue(DisclaimerAcceptedKey, true);
        m_preferences.synchronize();
    } else {
        // Declining ends the program there and then: quit() would first ask
        // every window to close, and one with changes would ask to save.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    }
}

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
        m_preferences.synchronize();
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

void Controller::statusEnd()
{
    if (!m_statusWindow->isVisible()) {
        m_inputBlocker.reset();
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

// ---------------------------------------------------------------- preferences

void Controller::preferences()
{
    const bool helperRunning = !m_preferences.contains(NoHelperKey);
    PreferencesWindow sheet(m_preferences, helperRunning, mainWindow());
    m_preferencesWindow = &sheet;
    sheet.setWindowModality(Qt::WindowModal);
    const int result = sheet.exec();
    m_preferencesWindow = nullptr;
    // Only Done applies; Escape and the close button leave everything as it was.
    if (result != QDialog::Accepted)
        return;
    doneWithPreferences(sheet.helperEnabled(), helperRunning);
    sheet.applyLocation();
    sheet.applyCheckAfterSend();
}

bool Controller::doneWithPreferences(bool helperEnabled, bool helperWasRunning)
{
    if (helperEnabled && !helperWasRunning) {
        writeLog("Enabled by user.");
        addHelperAutostartEntry(installedHelper);
        m_preferences.removeValue(NoHelperKey);
        m_preferences.synchronize();
        startInstalledHelper();
        return true;
    }
    if (!helperEnabled && helperWasRunning) {
        writeLog("Disabled by user.");
        removeHelperAutostartEntry();
        m_preferences.setValue(NoHelperKey, true);
        m_preferences.synchronize();
        // Waited for, so that enabling it again right after cannot start a
        // copy that finds this one still running and ends.
        waitForHelperToEnd(
            stopHelperProcess(m_preferences.integerValue(ProcessIDKey), installedHelper));
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- text windows

QMainWindow* Controller::makeTextWindow(const char* name, const QString& title,
                                        QPlainTextEdit** view)
{
    auto* window = new QMainWindow;
    window->setObjectName(name);
    window->setWindowTitle(title);
    auto* central = new QWidget(window);
    auto* layout = new QVBoxLayout(central);
    *view = new QPlainTextEdit(central);
    (*view)->setObjectName(QStringLiteral("%1View").arg(name));
    (*view)->setReadOnly(true);
    (*view)->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    (*view)->setFont(fixed);
    layout->addWidget(*view);
    window->setCentralWidget(central);
    window->resize(640, 420);
    addTextWindowMenus(window, *view);
    return window;
}

void Controller::addTextWindowMenus(QMainWindow* window, QPlainTextEdit* view)
{
    QMenu* file = window->menuBar()->addMenu(tr("&File"));
    auto saveText = [window, view] {
        const QString path =
            textFileNameWithSuffix(dialogs().saveTextFileName(window, window->windowTitle()));
        if (path.isEmpty())
            return;
        std::string error;
        if (!writeFileAtomically(nativePath(path), view->toPlainText().toStdString(), &error))
            dialogs().alert(window, tr("The text could not be saved."), qs(error));
    };
    QAction* save = file->addAction(tr("&Save…"), window, saveText);
    save->setObjectName("saveText");
    save->setShortcut(QKeySequence::Save);
    QAction* saveAs = file->addAction(tr("Save &As…"), window, saveText);
    saveAs->setObjectName("saveTextAs");
    saveAs->setShortcut(QKeySequence::SaveAs);
    file->addSeparator();
    file->addAction(tr("Page Set&up…"), window,
                    [window] { dialogs().runPageSetup(window, &sharedPrinter()); });
    file->addAction(tr("&Print…"), window,
                    [window, view] {
                        QPrinter& printer = sharedPrinter();
                        if (dialogs().runPrintDialog(window, &printer))
                            view->document()->print(&printer);
                    })
        ->setShortcut(QKeySequence::Print);
    file->addSeparator();
    file->addAction(tr("&Close"), window, &QWidget::close)->setShortcut(QKeySequence::Close);
}

void Controller::helperLog(bool clear)
{
    if (clear)
        clearLog();
    if (!m_logWindow) {
        m_logWindow = makeTextWindow("logWindow", tr("Activity Log"), &m_logView);
        m_logView->setPlaceholderText(tr("The activity log is empty. The helper and the CP290 "
                                         "commands write a line here for what they do."));
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        auto* clearButton = new QPushButton(tr("Clear"), m_logWindow);
        clearButton->setObjectName("clearLogButton");
        connect(clearButton, &QPushButton::clicked, this, [this] { helperLog(true); });
        auto* refresh = new QPushButton(tr("Reload"), m_logWindow);
        refresh->setObjectName("reloadLogButton");
        connect(refresh, &QPushButton::clicked, this, [this] { helperLog(false); });
        buttons->addWidget(refresh);
        buttons->addWidget(clearButton);
        static_cast<QVBoxLayout*>(m_logWindow->centralWidget()->layout())->addLayout(buttons);
    }
    std::string text;
    if (readLog(&text))
        m_logView->setPlainText(qs(text));
    else if (clear)
        m_logView->clear();
    m_logView->verticalScrollBar()->setValue(m_logView->verticalScrollBar()->maximum());
    m_logView->moveCursor(QTextCursor::End);
    m_logWindow->show();
    m_logWindow->raise();
    m_logWindow->activateWindow();
}

// ---------------------------------------------------------------- help

void Controller::about()
{
    QMessageBox box(mainWindow());
    box.setObjectName("aboutBox");
    box.setWindowTitle(tr("About Vantrel"));
    box.setText(tr("<b>Vantrel %1</b>").arg(QStringLiteral(VANTREL_VERSION)));
    box.setInformativeText(
        tr("Schedules the lamps and appliances of an X10 CP290 interface.<br><br>"
           "© The Vantrel developers<br>Feedback: %1")
            .arg(QString::fromLatin1(SupportAddress)));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void Controller::emailTheAuthor()
{
    QUrl url(QStringLiteral("mailto:%1").arg(SupportAddress));
    url.setQuery(QStringLiteral("Subject=Vantrel %1&body=").arg(QStringLiteral(VANTREL_VERSION)),
                 QUrl::DecodedMode);
    QDesktopServices::openUrl(url);
}

void Controller::showHelp(const QString& title)
{
    QString file = QStringLiteral("index.html");
    for (const HelpPage& page : HelpPages)
        if (tr(page.title) == QString(title).remove('&'))
            file = page.file;
    if (!m_helpWindow) {
        m_helpWindow = new QMainWindow;
        m_helpWindow->setObjectName("helpWindow");
        m_helpWindow->setWindowTitle(tr("Vantrel Help"));
        m_helpView = new QTextBrowser(m_helpWindow);
        m_helpView->setObjectName("helpView");
        m_helpView->setOpenExternalLinks(true);
        m_helpView->setSearchPaths({":/help"});
        m_helpWindow->setCentralWidget(m_helpView);
        m_helpWindow->resize(720, 560);
    }
    m_helpView->setSource(QUrl(QStringLiteral("qrc:/help/%1").arg(file)));
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

} // namespace vantrel
