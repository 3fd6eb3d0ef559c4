#pragma once

// The helper's health in one line, kept current for the document windows'
// status bars: it changes when the helper writes its preferences (a watch on
// the folder, not a poll) or when its process ends.

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace vantrel {

class HelperStatusWatcher : public QObject
{
    Q_OBJECT

  public:
    static HelperStatusWatcher& instance();
    ~HelperStatusWatcher() override;

    QString text() const { return m_text; }
    // Reads the helper's state again now.
    void refresh();

  signals:
    void textChanged(const QString& text);

  private:
    explicit HelperStatusWatcher(QObject* parent);
    void watchProcess(int pid);

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QString m_text;
    int m_watchedPid = 0;
    int m_processDescriptor = -1;
    std::unique_ptr<QSocketNotifier> m_processEnd;
};

} // namespace vantrel
