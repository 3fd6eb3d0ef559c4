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

// The help pages are compiled into this static library; a program linking it
// must register them itself.
static void registerHelpPages()
{
    Q_INIT_RESOURCE(help);
}

namespace vantrel {

Controller* gController = nullptr;
QProgressBar* gStatusProgressIndicator = nullptr;

using namespace controller;


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
        savePreferences(m_preferences, mainWindow());
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
        savePreferences(m_preferences, mainWindow());
    } else {
        // Declining ends the program there and then: quit() would first ask
        // every window to close, and one with changes would ask to save.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    }
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
        savePreferences(m_preferences, mainWindow());
        startInstalledHelper();
        return true;
    }
    if (!helperEnabled && helperWasRunning) {
        writeLog("Disabled by user.");
        removeHelperAutostartEntry();
        m_preferences.setValue(NoHelperKey, true);
        savePreferences(m_preferences, mainWindow());
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