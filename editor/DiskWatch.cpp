#include "editor/DiskWatch.h"

#include "editor/FileNames.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

DiskFileState DiskFileState::of(const QString& path)
{
    DiskFileState state;
    // By the name's own bytes: QFile would lose those of a name not in UTF-8.
    const std::string native = nativePath(path);
    struct stat info
    {
    };
    if (path.isEmpty() || stat(native.c_str(), &info) != 0)
        return state;
    state.exists = true;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QFile file;
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0 && !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        close(fd);
    if (file.isOpen() && hash.addData(&file))
        state.digest = hash.result();
    return state;
}

DiskWatch::DiskWatch(QObject* parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMilliseconds);
    connect(&m_settle, &QTimer::timeout, this, &DiskWatch::check);
    // The folder too: a rename over the file ends the watch on the file,
    // and a file that was deleted can only come back through its folder.
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
}

void DiskWatch::watch(const QString& path)
{
    m_settle.stop();
    if (const QStringList watched = m_watcher.files() + m_watcher.directories(); !watched.isEmpty())
        m_watcher.removePaths(watched);
    m_path = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    adopt();
    if (m_path.isEmpty())
        return;
    // Saving a link replaces the file it points to, in that file's folder.
    for (const QString& file : {m_path, QFileInfo(m_path).canonicalFilePath()}) {
        const QString folder = QFileInfo(file).absolutePath();
        if (!file.isEmpty() && QFileInfo::exists(folder) &&
            !m_watcher.directories().contains(folder))
            m_watcher.addPath(folder);
    }
    rearm();
}

void DiskWatch::adopt(const DiskFileState& state)
{
    m_adopted = state;
    // What was said about earlier states no longer holds against this one.
    m_reported = {};
}

bool DiskWatch::changedSinceAdopted() const
{
    const DiskFileState now = DiskFileState::of(m_path);
    return now.exists && now != m_adopted;
}

void DiskWatch::rearm()
{
    if (!m_path.isEmpty() && !m_watcher.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
}

void DiskWatch::check()
{
    rearm();
    const DiskFileState now = DiskFileState::of(m_path);
    // Gone: the window keeps what it holds and hears of the file when it returns.
    if (now.exists && now != m_adopted && now != m_reported) {
        m_reported = now;
        // The answer to it may close the window, and this with it.
        const QPointer<DiskWatch> alive(this);
        emit changedOnDisk();
        if (!alive)
            return;
    }
    emit checked();
}

} // namespace vantrel
