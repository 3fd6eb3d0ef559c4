#pragma once

// Watches a document's file for changes made by other programs: another
// window, vantrelctl, a sync tool, a text editor. The window tells it which
// state of the file it holds (after reading or saving) and hears only of
// states with other bytes in them, each once.

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

namespace vantrel {

// What a file held at one moment. The bytes' digest rather than the stat:
// documents are small, and a touch or a sync tool writing the same document
// again is no change to ask about.
struct DiskFileState
{
    bool exists = false;
    QByteArray digest;

    static DiskFileState of(const QString& path);
    // Both missing counts as the same.
    bool operator==(const DiskFileState& other) const = default;
};

class DiskWatch : public QObject
{
    Q_OBJECT

  public:
    explicit DiskWatch(QObject* parent = nullptr);

    // Watches path, taking the file as it is now as the window's own; an
    // empty path watches nothing.
    void watch(const QString& path);
    const QString& path() const { return m_path; }

    // The file in this state is what the window holds: it was read or written
    // by the window itself. Take the state before reading, so that a change
    // made during the read is still noticed.
    void adopt(const DiskFileState& state);
    void adopt() { adopt(DiskFileState::of(m_path)); }

    // Whether the file holds other bytes than the window last read or saved.
    // A file that is gone has nothing to overwrite, so that is no change.
    bool changedSinceAdopted() const;

  signals:
    // The file holds other bytes than the window's, and than it held the
    // last time this was said.
    void changedOnDisk();
    // After every look at the file that a notification led to, whatever it found.
    void checked();

  private:
    // Lets a burst of notifications (temporary file, rename, folder) settle.
    static constexpr int SettleMilliseconds = 150;

    void rearm();
    void check();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QString m_path;
    DiskFileState m_adopted;
    DiskFileState m_reported;
};

} // namespace vantrel
