#pragma once

// The application's controller: start-up (the last document, the
// disclaimer), the helper's installation, autostart entry, start and stop,
// the CP290 menu with its serial devices and commands, the status sheet,
// the preferences, the log and the events-from-CP290 windows, and help.

#include "cp290/DriverHost.h"
#include "editor/DocumentHost.h"
#include "platform/SerialDevices.h"

#include <QDialog>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QTextBrowser;
class QWidget;

namespace vantrel {

class DocumentManager;
class Modules;
class Preferences;
class StoppingHelper;
class UserInputBlocker;

class Controller : public QObject, public DocumentHost
{
    Q_OBJECT

  public:
    explicit Controller(DocumentManager* documents, QObject* parent = nullptr);
    ~Controller() override;

    // How the helper is started and where its bundle comes from; tests
    // replace them so that no real helper is left running.
    std::function<bool(const std::string& installedBundle)> startHelper;
    std::string bundledHelper;
    std::string installedHelper;
    // Where serial devices are looked for; this machine's when empty.
    std::optional<SerialDeviceFolders> deviceFolders;
    // How long the full bar stays before the status sheet goes.
    int statusHoldMilliseconds = 1000;
    // How long a stopped helper may take before the window says it waits.
    int helperWaitMessageMilliseconds = 700;

    void awakeFromNib();
    // Shows a preferences file that cannot be read in an alert on the front
    // window, not only on standard error. Called before anything reads the
    // preferences; ends with the last controller.
    static void showPreferencesWarningsInWindows();
    // Opens "Last Modules File", or a new document.
    void applicationOpenUntitledFile();
    void applicationWillTerminate();
    void checkDisclaimer();

    // The CP290 menu of a document window.
    void scanForSerialDevices();
    void serialDeviceSelected(const QString& name);
    bool serialDeviceIsWritable() override;
    QString chosenSerialDevice() const { return m_chosenDevice; }

    void statusStartWithMessage(const QString& message) override;
    // The driver's progress: the bar advances by the exact share, and the
    // windows repaint.
    void incrementProgress(double amount);
    void statusEnd() override;
    bool isBusy() const override;
    void afterExchange(QObject* context, std::function<void()> then) override;
    QWidget* askingWindow() const override { return m_askingWindow; }
    void setAskingWindow(QWidget* window) override { m_askingWindow = window; }
    void showActivityLog() override { helperLog(false); }
    QProgressBar* statusProgressIndicator() const { return m_statusBar; }

    void setBaseHouseCode(int houseCodeIndex);
    void selfTest();
    void setCP290Clock();
    void displayCP290Clock();
    void displayEventsFromCP290();
    // Window > Events From CP290: the last listing, or a line saying there is none yet.
    void showEventsWindow();

    void preferences();
    void helperLog(bool clear);
    void emailTheAuthor();
    // Help > About: the version built and who makes it.
    void about();
    void showHelp(const QString& title);

    // The window sheets and alerts go on: the document in front, else any.
    QWidget* mainWindow() const;
    QDialog* preferencesWindow() const { return m_preferencesWindow; }
    QMainWindow* logWindow() const { return m_logWindow; }
    QMainWindow* eventsWindow() const { return m_eventsWindow; }

  private:
    void installMenus(Modules* document);
    void rebuildDeviceItems(QMenu* menu);
    QMenu* makeCP290Menu(QWidget* parent);
    // The Window menu's list of open documents, the document's own checked.
    void listDocumentWindows(QMenu* menu, Modules* document);
    void runCommand(const QString& status, const std::function<bool()>& driverCall,
                    const QString& successTitle, const QString& successMessage,
                    const QString& failureTitle);
    bool doneWithPreferences(bool helperEnabled, bool helperWasRunning);
    QMainWindow* makeTextWindow(const char* name, const QString& title, QPlainTextEdit** view);
    void addTextWindowMenus(QMainWindow* window, QPlainTextEdit* view);
    void startInstalledHelper();
    void watchDeviceFolders();
    void runAfterExchange();
    // Until the stopped helper has ended (or HelperExchangeLimit has passed
    // and it was killed), with the windows repainting and input dropped.
    void waitForHelperToEnd(const StoppingHelper& helper);
    std::vector<std::string> deviceNames() const;
    std::string devicePath(const QString& name) const;

    DocumentManager* m_documents;
    Preferences& m_preferences;
    std::optional<std::int64_t> m_helperProcessID;
    QString m_chosenDevice;
    QList<QPointer<QMenu>> m_cp290Menus;

    QPointer<QDialog> m_statusWindow;
    QLabel* m_statusMessage = nullptr;
    QProgressBar* m_statusBar = nullptr;
    double m_progress = 0;
    QPointer<QWidget> m_askingWindow;
    QFileSystemWatcher* m_deviceWatcher = nullptr;
    QTimer m_deviceSettle;
    // Alive while the status sheet is up.
    std::unique_ptr<UserInputBlocker> m_inputBlocker;
    // What waits for the exchange under way to end.
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> m_afterExchange;
    QPointer<QDialog> m_preferencesWindow;
    QPointer<QMainWindow> m_logWindow;
    QPlainTextEdit* m_logView = nullptr;
    QPointer<QMainWindow> m_eventsWindow;
    QPlainTextEdit* m_eventsView = nullptr;
    QPointer<QMainWindow> m_helpWindow;
    QTextBrowser* m_helpView = nullptr;
};

// Published for the driver host and the documents.
extern Controller* gController;
extern QProgressBar* gStatusProgressIndicator;

// The driver's host in the application: the status sheet's bar, repainted
// while an exchange blocks the thread; alerts as sheets on the main window.
class WindowedDriverHost : public DriverHost
{
  public:
    void statusEnd() override;
    void showAlert(const std::string& title, const std::string& message) override;
    void incrementProgress(double amount) override;
};

// "The CP290 reports the clock as 12:05 AM." and the like.
QString cp290ClockMessage(int hour, int minute);

} // namespace vantrel
