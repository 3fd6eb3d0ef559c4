#include "editor/HelperStatusWatcher.h"

#include "cp290/HelperStatus.h"
#include "platform/DateTime.h"
#include "platform/Paths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>

#include <sys/syscall.h>
#include <unistd.h>

namespace vantrel {

HelperStatusWatcher& HelperStatusWatcher::instance()
{
    // Owned by the application, so it goes before the event loop's machinery.
    static QPointer<HelperStatusWatcher> watcher;
    if (!watcher)
        watcher = new HelperStatusWatcher(QCoreApplication::instance());
    return *watcher;
}

HelperStatusWatcher::HelperStatusWatcher(QObject* parent) : QObject(parent)
{
    // Preferences files are replaced whole: the folder tells of each write.
    m_settle.setSingleShot(true);
    m_settle.setInterval(100);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
    connect(&m_settle, &QTimer::timeout, this, &HelperStatusWatcher::refresh);
    refresh();
}

HelperStatusWatcher::~HelperStatusWatcher()
{
    m_processEnd.reset();
    if (m_processDescriptor >= 0)
        close(m_processDescriptor);
}

void HelperStatusWatcher::watchProcess(int pid)
{
    if (pid == m_watchedPid)
        return;
    m_processEnd.reset();
    if (m_processDescriptor >= 0)
        close(m_processDescriptor);
    m_processDescriptor = -1;
    m_watchedPid = pid;
    if (pid <= 0)
        return;
#ifdef SYS_pidfd_open
    // Readable when the process ends: a crashed helper shows at once.
    m_processDescriptor = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#endif
    if (m_processDescriptor < 0)
        return;
    m_processEnd = std::make_unique<QSocketNotifier>(m_processDescriptor, QSocketNotifier::Read);
    connect(m_processEnd.get(), &QSocketNotifier::activated, this, [this] {
        m_processEnd->setEnabled(false);
        m_watchedPid = -1;
        refresh();
    });
}

void HelperStatusWatcher::refresh()
{
    // The preferences folder, or while it is missing the folder it will be
    // made in; a folder made (or named) since is watched from now on. Making
    // it here would disturb whoever watches the folder above.
    QString folder = QString::fromStdString(configDirectory());
    if (!QFileInfo(folder).isDir())
        folder = QFileInfo(folder).path();
    if (m_watcher.directories() != QStringList{folder}) {
        if (!m_watcher.directories().isEmpty())
            m_watcher.removePaths(m_watcher.directories());
        if (QFileInfo(folder).isDir())
            m_watcher.addPath(folder);
    }
    const HelperState state = readHelperState();
    if (state.running && state.processID)
        watchProcess(*state.processID);
    else if (m_watchedPid > 0)
        watchProcess(0);
    const QString text = QString::fromStdString(helperStatusText(state, unixNow()));
    if (text == m_text)
        return;
    m_text = text;
    emit textChanged(m_text);
}

} // namespace vantrel
