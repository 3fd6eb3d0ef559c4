#pragma once

// What a document window needs from the application to talk to the CP290:
// the serial-device check and the status sheet. The application's controller
// installs itself; without it the window cannot send.

#include <QString>

#include <functional>

class QObject;
class QWidget;

namespace vantrel {

class DocumentHost
{
  public:
    virtual ~DocumentHost() = default;
    // Tells the user itself when there is no usable device.
    virtual bool serialDeviceIsWritable() = 0;
    virtual void statusStartWithMessage(const QString& message) = 0;
    virtual void statusEnd() = 0;
    // An exchange is under way (its status sheet is up).
    virtual bool isBusy() const = 0;
    // Runs then, once, when the exchange under way has ended and its sheet is
    // gone; not at all when context is destroyed first. At once when idle.
    virtual void afterExchange(QObject* context, std::function<void()> then) = 0;
    // The window whose command runs: its status sheet and every alert of the
    // command, the driver's included, go there. nullptr between commands.
    virtual QWidget* askingWindow() const = 0;
    virtual void setAskingWindow(QWidget* window) = 0;
    // Window > Activity Log.
    virtual void showActivityLog() {}
};

DocumentHost* documentHost();
void setDocumentHost(DocumentHost* host);

// For the length of a command started from window.
class AskingWindowScope
{
  public:
    explicit AskingWindowScope(QWidget* window)
        : m_host(documentHost()), m_previous(m_host ? m_host->askingWindow() : nullptr)
    {
        if (m_host)
            m_host->setAskingWindow(window);
    }
    ~AskingWindowScope()
    {
        if (m_host)
            m_host->setAskingWindow(m_previous);
    }
    AskingWindowScope(const AskingWindowScope&) = delete;
    AskingWindowScope& operator=(const AskingWindowScope&) = delete;

  private:
    DocumentHost* m_host;
    QWidget* m_previous;
};

} // namespace vantrel
