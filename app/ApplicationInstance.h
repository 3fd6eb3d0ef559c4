#pragma once

// One running Vantrel per user session. The first copy holds a lock in the
// runtime folder for its whole life and listens on a local socket beside it;
// a later copy (a second launch, a double-click on a document) hands its
// files to the first and ends. The lock, not the socket, decides who is
// first, so a socket left by a crash is simply replaced.

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QLocalServer;

namespace vantrel {

class DocumentManager;
class InstanceLock;

// runtimeDirectory() + "/vantrel.lock" and "/vantrel.socket".
QString applicationInstanceLockPath();
QString applicationInstanceSocketPath();

class ApplicationInstance : public QObject
{
    Q_OBJECT

  public:
    explicit ApplicationInstance(QObject* parent = nullptr);
    ~ApplicationInstance() override;

    // Takes the lock; false when another copy holds it (or it cannot be
    // taken, which is said on standard error and then runs this copy alone).
    bool becomeFirst();
    // From a later copy: gives the first copy the files (made absolute here,
    // as the first runs elsewhere) and waits until it has taken them. False
    // when no first copy answered.
    static bool handOver(const QStringList& files, int timeoutMilliseconds = 10000);

    // In the first copy, once the documents can be opened: listens, and opens
    // each file handed over (or brings the front window forward when none).
    bool listen(DocumentManager* documents);

  signals:
    // After a later copy's request has been carried out.
    void requestHandled();

  private:
    void handle(const QStringList& files);

    std::unique_ptr<InstanceLock> m_lock;
    QLocalServer* m_server = nullptr;
    DocumentManager* m_documents = nullptr;
};

} // namespace vantrel
