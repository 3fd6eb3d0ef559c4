#include "app/ApplicationInstance.h"

#include "editor/DocumentManager.h"
#include "editor/FileNames.h"
#include "editor/Modules.h"
#include "platform/InstanceLock.h"
#include "platform/Paths.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <cstdio>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace vantrel {
namespace {

// A request is the version, then the files as their names' bytes (names
// need not be UTF-8); the answer is one byte once it has been carried out.
constexpr quint32 RequestVersion = 1;
constexpr char Done = 'k';

QString inRuntimeDirectory(const char* name)
{
    return QFile::decodeName(QByteArray::fromStdString(runtimeDirectory())) + "/" + name;
}

} // namespace

QString applicationInstanceLockPath()
{
    return inRuntimeDirectory("vantrel.lock");
}

QString applicationInstanceSocketPath()
{
    return inRuntimeDirectory("vantrel.socket");
}

ApplicationInstance::ApplicationInstance(QObject* parent)
    : QObject(parent), m_lock(std::make_unique<InstanceLock>())
{}

ApplicationInstance::~ApplicationInstance() = default;

bool ApplicationInstance::becomeFirst()
{
    makeDirectories(runtimeDirectory());
    std::string error;
    switch (m_lock->acquire(QFile::encodeName(applicationInstanceLockPath()).toStdString(), {},
                            -1, &error)) {
    case InstanceLock::Result::Acquired:
        return true;
    case InstanceLock::Result::Held:
    case InstanceLock::Result::Interrupted:
        return false;
    case InstanceLock::Result::Failed:
        break;
    }
    std::fprintf(stderr, "vantrel: %s; other copies cannot hand their documents to this one\n",
                 error.c_str());
    return true;
}

bool ApplicationInstance::handOver(const QStringList& files, int timeoutMilliseconds)
{
    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out << RequestVersion << quint32(files.size());
        for (const QString& file : files)
            out << fileNameBytes(QFileInfo(file).absoluteFilePath());
    }
    const QDeadlineTimer deadline(timeoutMilliseconds);
    // The first copy takes its lock a moment before it listens: until the
    // socket answers, wait for something to be made in the runtime folder.
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch >= 0)
        inotify_add_watch(watch, runtimeDirectory().c_str(), IN_CREATE | IN_MOVED_TO);
    bool handed = false;
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(applicationInstanceSocketPath());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            QDataStream out(&socket);
            out << request;
            socket.flush();
            while (socket.bytesAvailable() < 1 &&
                   socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            }
            char answer = 0;
            handed = socket.getChar(&answer) && answer == Done;
            break;
        }
        if (deadline.hasExpired())
            break;
        pollfd created{watch, POLLIN, 0};
        // Without a watch, look again a little later.
        const int wait = watch >= 0 ? static_cast<int>(deadline.remainingTime()) : 100;
        if (poll(&created, watch >= 0 ? 1 : 0, wait) > 0) {
            char events[4096];
            while (read(watch, events, sizeof events) > 0) {
            }
        }
    }
    if (watch >= 0)
        close(watch);
    return handed;
}

bool ApplicationInstance::listen(DocumentManager* documents)
{
    m_documents = documents;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, any socket there is a crashed copy's.
    QLocalServer::removeServer(applicationInstanceSocketPath());
    if (!m_server->listen(applicationInstanceSocketPath())) {
        std::fprintf(stderr, "vantrel: %s: %s\n",
                     QFile::encodeName(applicationInstanceSocketPath()).constData(),
                     m_server->errorString().toLocal8Bit().constData());
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                QDataStream in(socket);
                in.startTransaction();
                QByteArray request;
                in >> request;
                if (!in.commitTransaction())
                    return;
                QDataStream fields(request);
                quint32 version = 0;
                quint32 count = 0;
                fields >> version >> count;
                QStringList files;
                for (quint32 i = 0; version == RequestVersion && i < count; ++i) {
                    QByteArray name;
                    fields >> name;
                    if (fields.status() != QDataStream::Ok)
                        break;
                    files.append(fileNameFromBytes(name));
                }
                // Answered first: the later copy ends while an alert about
                // one of its files may still wait here for OK.
                const QPointer<QLocalSocket> answered(socket);
                socket->putChar(Done);
                socket->flush();
                handle(files);
                if (answered)
                    answered->disconnectFromServer();
            });
        }
    });
    return true;
}

void ApplicationInstance::handle(const QStringList& files)
{
    if (!m_documents)
        return;
    if (files.isEmpty()) {
        if (Modules* front = m_documents->frontDocument()) {
            front->show();
            front->raise();
            front->activateWindow();
        } else {
            m_documents->newDocument();
        }
    }
    for (const QString& file : files)
        m_documents->openDocument(file);
    emit requestHandled();
}

} // namespace vantrel
