#pragma once

// The week ahead of a document: one row per module over seven days, a mark
// for each switching the interface will make (on, off and dim apart), each
// day's night drawn from its sunrise and sunset. It follows the document's
// edits; only the rows in sight are painted, so long schedules stay quick.

#include "cp290/WeekAhead.h"

#include <QAbstractScrollArea>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class QLabel;
class QPainter;
class QPrinter;

namespace vantrel {

class Modules;

class WeekAheadView : public QAbstractScrollArea
{
    Q_OBJECT

  public:
    struct Mark
    {
        int day = 0;         // 0 = the first day shown
        int minuteOfDay = 0; // on the interface's clock
        SwitchingKind kind = SwitchingKind::On;
        WeekSwitching switching;
    };

    explicit WeekAheadView(QWidget* parent = nullptr);

    // Shows the days from `first` (a date value) on for these modules.
    void setSchedule(const ModuleList& modules, ClassicEventRepeat repeat, std::uint32_t first);

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    const std::vector<Mark>& marksOfRow(int row) const;
    const std::vector<WeekDay>& days() const { return m_days; }
    const QString& problem() const { return m_problem; }
    // Where a mark sits in the viewport (after scrolling it into sight).
    QPoint markPosition(int row, std::size_t mark);
    // The tooltip of the marks at a viewport point; empty where there is none.
    QString toolTipAt(const QPoint& point) const;

    // Prints every row, the header repeated on each page; the page count.
    int print(QPrinter& printer) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;

  private:
    struct Geometry
    {
        double width = 0;
        double labelWidth = 0;
        double dayWidth = 0;
        double legendHeight = 0;
        double headerHeight = 0; // legend and day names
        double rowHeight = 0;
        double dayX(int day) const { return labelWidth + day * dayWidth; }
        double minuteX(int day, int minute) const
        {
            return dayX(day) + minute * dayWidth / (24 * 60);
        }
    };

    Geometry geometry(const QFontMetricsF& metrics, double width) const;
    void paintHeader(QPainter& painter, const Geometry& g) const;
    void paintRows(QPainter& painter, const Geometry& g, int firstRow, int lastRow,
                   double top) const;
    void updateScrollBar();

    struct Row
    {
        QString label;
        QString name; // the module's, on one line
        std::vector<EventData> events;
        std::vector<Mark> marks; // by day, then time
    };

    std::vector<WeekDay> m_days;
    std::vector<Row> m_rows;
    QString m_problem;
};

// The window that holds the view of one document.
class WeekAheadWindow : public QMainWindow
{
    Q_OBJECT

  public:
    explicit WeekAheadWindow(Modules* document);

    // The document's week window, made when it has none, and brought forward.
    static WeekAheadWindow* showFor(Modules* document);

    WeekAheadView* view() const { return m_view; }
    void recompute();
    void printWeek();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void scheduleRecompute();

    QPointer<Modules> m_document;
    WeekAheadView* m_view = nullptr;
    QLabel* m_caption = nullptr;
    QTimer m_recomputeTimer;
    QTimer m_midnightTimer;
};

} // namespace vantrel
