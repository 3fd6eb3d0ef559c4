#include "editor/WeekAheadView.h"

#include "cp290/EventListing.h"
#include "editor/Dialogs.h"
#include "editor/Modules.h"
#include "schedule/EventSummary.h"
#include "suntimes/SunTimes.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace vantrel {
namespace {

constexpr int MinutesPerDay = 24 * 60;
// How near the pointer must come to a mark for its tooltip.
constexpr double MarkHitRadius = 5;
// Printing lays the view out at this width, then scales it to the page.
constexpr double PrintedWidth = 1000;

const QColor OnColor(0x2e, 0x8b, 0x3e);
const QColor OffColor(0xb0, 0x30, 0x30);
const QColor DimColor(0xd0, 0x8a, 0x00);
const QColor NightColor(0xdd, 0xe3, 0xee);
const QColor SunriseColor(0xe0, 0x8a, 0x1a);
const QColor SunsetColor(0x6a, 0x4c, 0x9c);
const QColor GridColor(0xc8, 0xc8, 0xc8);

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// Minute of the day of a sun time, or -1 when there is none.
int sunMinute(std::uint32_t value)
{
    if (value == NoSunTime)
        return -1;
    const DateTimeRec time = secondsToDate(value);
    return time.hour * 60 + time.minute;
}

QString sunText(std::uint32_t value)
{
    const int minute = sunMinute(value);
    return minute < 0 ? QString() : qs(listingTimeText(minute / 60, minute % 60));
}

QString dayTitle(const WeekDay& day)
{
    return QStringLiteral("%1 %2/%3")
        .arg(QString::fromLatin1(weekdayName(day.date.dayOfWeek)).left(3))
        .arg(day.date.month, 2, 10, QLatin1Char('0'))
        .arg(day.date.day, 2, 10, QLatin1Char('0'));
}

QString daySunText(const WeekDay& day)
{
    if (day.sunrise == NoSunTime || day.sunset == NoSunTime)
        return WeekAheadView::tr("no sunrise or sunset");
    return QStringLiteral("%1 – %2").arg(sunText(day.sunrise), sunText(day.sunset));
}

QColor kindColor(SwitchingKind kind)
{
    switch (kind) {
    case SwitchingKind::On:
        return OnColor;
    case SwitchingKind::Off:
        return OffColor;
    case SwitchingKind::Dim:
        return DimColor;
    }
    return OnColor;
}

// On points up, off points down, dim is a diamond: told apart without colour too.
void drawMark(QPainter& painter, QPointF centre, double size, SwitchingKind kind)
{
    const double h = size / 2;
    QPainterPath path;
    switch (kind) {
    case SwitchingKind::On:
        path.moveTo(centre.x(), centre.y() - h);
        path.lineTo(centre.x() + h, centre.y() + h);
        path.lineTo(centre.x() - h, centre.y() + h);
        break;
    case SwitchingKind::Off:
        path.moveTo(centre.x() - h, centre.y() - h);
        path.lineTo(centre.x() + h, centre.y() - h);
        path.lineTo(centre.x(), centre.y() + h);
        break;
    case SwitchingKind::Dim:
        path.moveTo(centre.x(), centre.y() - h);
        path.lineTo(centre.x() + h, centre.y());
        path.lineTo(centre.x(), centre.y() + h);
        path.lineTo(centre.x() - h, centre.y());
        break;
    }
    path.closeSubpath();
    painter.setPen(QPen(kindColor(kind).darker(140), 1));
    painter.setBrush(kindColor(kind));
    painter.drawPath(path);
}

} // namespace

// ---------------------------------------------------------------- view

WeekAheadView::WeekAheadView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setObjectName("weekAheadView");
    viewport()->setObjectName("weekAheadViewport");
    viewport()->setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void WeekAheadView::setSchedule(const ModuleList& modules, ClassicEventRepeat repeat,
                                std::uint32_t first)
{
    const DateTimeRec date = secondsToDate(first);
    std::string error;
    m_problem.clear();
    if (!computeWeekAhead(modules, repeat, date.year, date.month, date.day, WeekAheadDefaultDays,
                          &m_days, &error))
        m_problem = qs(error);
    for (const WeekDay& day : m_days) {
        if (!day.failure.empty()) {
            m_problem = tr("On %1 the 3:00 AM download would not be sent: %2")
                            .arg(dayTitle(day), qs(day.failure));
            break;
        }
    }

    m_rows.clear();
    m_rows.resize(modules.size());
    for (std::size_t m = 0; m < modules.size(); ++m) {
        m_rows[m].label = qs(weekModuleText(modules[m].houseCode, modules[m].unit));
        m_rows[m].name = qs(modules[m].name).simplified();
        if (!m_rows[m].name.isEmpty())
            m_rows[m].label += QStringLiteral("  ") + m_rows[m].name;
        m_rows[m].events = modules[m].events;
    }
    // Modules sharing a house code and unit are switched by one command: its
    // mark sits on the first one's row and its tooltip names them all.
    for (std::size_t d = 0; d < m_days.size(); ++d)
        for (const WeekSwitching& s : m_days[d].switchings)
            m_rows[s.module].marks.push_back({static_cast<int>(d), s.minuteOfDay, s.kind(), s});
    updateScrollBar();
    viewport()->update();
}

const std::vector<WeekAheadView::Mark>& WeekAheadView::marksOfRow(int row) const
{
    return m_rows.at(static_cast<std::size_t>(row)).marks;
}

WeekAheadView::Geometry WeekAheadView::geometry(const QFontMetricsF& metrics, double width) const
{
    Geometry g;
    g.width = width;
    g.rowHeight = std::ceil(metrics.height() + 8);
    g.legendHeight = std::ceil(metrics.height() + 10);
    g.headerHeight = g.legendHeight + std::ceil(metrics.height() * 2 + 8);
    double widest = metrics.horizontalAdvance(QStringLiteral("P-All Light Modules"));
    for (const Row& row : m_rows)
        widest = std::max(widest, metrics.horizontalAdvance(row.label));
    // The names get room, but the days keep most of it.
    g.labelWidth = std::clamp(widest + 12, 120.0, std::max(120.0, width * 0.25));
    const int days = std::max<int>(1, static_cast<int>(m_days.size()));
    // Room on the right for the half of a mark late on the last day.
    g.dayWidth = std::max(1.0, (width - g.labelWidth - 8) / days);
    return g;
}

void WeekAheadView::paintHeader(QPainter& painter, const Geometry& g) const
{
    const QFontMetricsF metrics(painter.font());
    painter.fillRect(QRectF(0, 0, g.width, g.headerHeight), palette().window());

    // The legend.
    double x = 6;
    const double y = g.legendHeight / 2;
    const double markSize = std::round(metrics.height() * 0.6);
    painter.setPen(palette().color(QPalette::WindowText));
    const auto legendText = [&](const QString& text) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QPointF(x, y + metrics.ascent() / 2 - 1), text);
        x += metrics.horizontalAdvance(text) + 18;
    };
    const std::pair<SwitchingKind, QString> kinds[] = {{SwitchingKind::On, tr("On")},
                                                       {SwitchingKind::Off, tr("Off")},
                                                       {SwitchingKind::Dim, tr("Dim")}};
    for (const auto& [kind, text] : kinds) {
        drawMark(painter, QPointF(x + markSize / 2, y), markSize, kind);
        x += markSize + 5;
        legendText(text);
    }
    painter.fillRect(QRectF(x, y - markSize / 2, markSize * 2, markSize), NightColor);
    x += markSize * 2 + 5;
    legendText(tr("Night"));
    painter.setPen(QPen(SunriseColor, 2, Qt::DashLine));
    painter.drawLine(QPointF(x, y - markSize / 2), QPointF(x, y + markSize / 2));
    x += 6;
    legendText(tr("Sunrise"));
    painter.setPen(QPen(SunsetColor, 2, Qt::DashLine));
    painter.drawLine(QPointF(x, y - markSize / 2), QPointF(x, y + markSize / 2));
    x += 6;
    legendText(tr("Sunset"));

    // The days, each with its sun times.
    const double top = g.legendHeight;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(6, top, g.labelWidth - 8, g.headerHeight - top),
                     Qt::AlignLeft | Qt::AlignVCenter, tr("Module"));
    for (std::size_t d = 0; d < m_days.size(); ++d) {
        const QRectF cell(g.dayX(static_cast<int>(d)) + 2, top + 2, g.dayWidth - 4,
                          g.headerHeight - top - 4);
        QFont bold = painter.font();
        bold.setBold(true);
        painter.save();
        painter.setFont(bold);
        painter.drawText(cell, Qt::AlignHCenter | Qt::AlignTop, dayTitle(m_days[d]));
        painter.restore();
        // A narrow day column shortens "AM" and "PM" before it cuts the text.
        QString sun = daySunText(m_days[d]);
        if (metrics.horizontalAdvance(sun) > cell.width())
            sun.replace(QStringLiteral(" AM"), QStringLiteral("a"))
                .replace(QStringLiteral(" PM"), QStringLiteral("p"));
        painter.drawText(cell, Qt::AlignHCenter | Qt::AlignBottom,
                         metrics.elidedText(sun, Qt::ElideRight, cell.width()));
    }
    painter.setPen(GridColor);
    painter.drawLine(QPointF(0, g.headerHeight - 0.5), QPointF(g.width, g.headerHeight - 0.5));
}

void WeekAheadView::paintRows(QPainter& painter, const Geometry& g, int firstRow, int lastRow,
                              double top) const
{
    const QFontMetricsF metrics(painter.font());
    const double bottom = top + (lastRow - firstRow + 1) * g.rowHeight;
    const double markSize = std::round(std::min(g.rowHeight * 0.55, 11.0));

    // Nights and the sun lines of each day, under the rows.
    for (std::size_t d = 0; d < m_days.size(); ++d) {
        const int day = static_cast<int>(d);
        const int rise = sunMinute(m_days[d].sunrise);
        const int set = sunMinute(m_days[d].sunset);
        if (rise >= 0 && set >= 0) {
            const double riseX = g.minuteX(day, rise);
            const double setX = g.minuteX(day, set);
            painter.fillRect(QRectF(g.dayX(day), top, riseX - g.dayX(day), bottom - top),
                             NightColor);
            painter.fillRect(QRectF(setX, top, g.dayX(day + 1) - setX, bottom - top), NightColor);
            painter.setPen(QPen(SunriseColor, 1, Qt::DashLine));
            painter.drawLine(QPointF(riseX, top), QPointF(riseX, bottom));
            painter.setPen(QPen(SunsetColor, 1, Qt::DashLine));
            painter.drawLine(QPointF(setX, top), QPointF(setX, bottom));
        }
        painter.setPen(GridColor);
        painter.drawLine(QPointF(g.dayX(day), top), QPointF(g.dayX(day), bottom));
    }

    for (int r = firstRow; r <= lastRow; ++r) {
        const Row& row = m_rows[static_cast<std::size_t>(r)];
        const double y = top + (r - firstRow) * g.rowHeight;
        painter.setPen(GridColor);
        painter.drawLine(QPointF(0, y + g.rowHeight - 0.5),
                         QPointF(g.width, y + g.rowHeight - 0.5));
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QRectF(6, y, g.labelWidth - 10, g.rowHeight),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(row.label, Qt::ElideRight, g.labelWidth - 10));
        for (const Mark& mark : row.marks)
            drawMark(painter, QPointF(g.minuteX(mark.day, mark.minuteOfDay), y + g.rowHeight / 2),
                     markSize, mark.kind);
    }
}

void WeekAheadView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(viewport()->rect(), palette().base());
    const Geometry g = geometry(QFontMetricsF(font()), viewport()->width());
    if (!m_rows.empty()) {
        const int offset = verticalScrollBar()->value();
        const double visible = viewport()->height() - g.headerHeight;
        const int first = std::clamp(static_cast<int>(offset / g.rowHeight), 0, rowCount() - 1);
        const int last =
            std::clamp(static_cast<int>((offset + visible) / g.rowHeight), first, rowCount() - 1);
        painter.save();
        painter.setClipRect(QRectF(0, g.headerHeight, g.width, visible));
        paintRows(painter, g, first, last, g.headerHeight + first * g.rowHeight - offset);
        painter.restore();
    } else {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(QRectF(0, g.headerHeight, g.width, 3 * g.rowHeight), Qt::AlignCenter,
                         tr("The document has no modules."));
    }
    paintHeader(painter, g);
}

void WeekAheadView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void WeekAheadView::updateScrollBar()
{
    const Geometry g = geometry(QFontMetricsF(font()), viewport()->width());
    const double visible = viewport()->height() - g.headerHeight;
    const double total = rowCount() * g.rowHeight;
    verticalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(total - visible))));
    verticalScrollBar()->setPageStep(std::max(1, static_cast<int>(visible)));
    verticalScrollBar()->setSingleStep(static_cast<int>(g.rowHeight));
}

QPoint WeekAheadView::markPosition(int row, std::size_t mark)
{
    const Geometry g = geometry(QFontMetricsF(font()), viewport()->width());
    verticalScrollBar()->setValue(static_cast<int>(row * g.rowHeight));
    const Mark& m = marksOfRow(row).at(mark);
    const double y = g.headerHeight + row * g.rowHeight - verticalScrollBar()->value();
    return QPointF(g.minuteX(m.day, m.minuteOfDay), y + g.rowHeight / 2).toPoint();
}

QString WeekAheadView::toolTipAt(const QPoint& point) const
{
    const Geometry g = geometry(QFontMetricsF(font()), viewport()->width());
    if (point.y() < g.headerHeight)
        return {};
    const double y = point.y() - g.headerHeight + verticalScrollBar()->value();
    const int r = static_cast<int>(y / g.rowHeight);
    if (r < 0 || r >= rowCount())
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(r)];
    QStringList lines;
    for (const Mark& mark : row.marks) {
        if (std::abs(g.minuteX(mark.day, mark.minuteOfDay) - point.x()) > MarkHitRadius)
            continue;
        const WeekSwitching& s = mark.switching;
        QString line = QStringLiteral("%1 %2  %3  Turn %4")
                           .arg(dayTitle(m_days[static_cast<std::size_t>(mark.day)]),
                                qs(listingTimeText(s.minuteOfDay / 60, s.minuteOfDay % 60)),
                                qs(weekModuleText(s.houseCode, s.unit)),
                                qs(listingActionText(s.function).value_or("?")));
        if (s.security)
            line += QStringLiteral(" (Security)");
        if (s.modules.size() > 1) {
            QStringList names;
            for (const std::size_t m : s.modules)
                if (m < m_rows.size() && !m_rows[m].name.isEmpty())
                    names << m_rows[m].name;
            if (!names.isEmpty())
                line += QStringLiteral("  ") + names.join(QStringLiteral(", "));
        }
        if (s.event < row.events.size())
            if (const auto event = eventFromData(row.events[s.event]))
                line += QStringLiteral("\n    ") + qs(eventSummary(*event));
        lines << line;
    }
    return lines.join('\n');
}

bool WeekAheadView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

int WeekAheadView::print(QPrinter& printer) const
{
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    painter.setRenderHint(QPainter::Antialiasing);
    QFont printFont(font());
    printFont.setPixelSize(std::max(1, static_cast<int>(font().pointSizeF() * 96 / 72 + 0.5)));
    painter.setFont(printFont);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double scale = page.width() / PrintedWidth;
    const Geometry g = geometry(QFontMetricsF(printFont), PrintedWidth);
    const int rowsPerPage =
        std::max(1, static_cast<int>((page.height() / scale - g.headerHeight) / g.rowHeight));
    int pages = 0;
    int first = 0;
    do {
        if (pages > 0)
            printer.newPage();
        painter.save();
        painter.scale(scale, scale);
        const int last = std::min(rowCount(), first + rowsPerPage) - 1;
        if (last >= first)
            paintRows(painter, g, first, last, g.headerHeight);
        paintHeader(painter, g);
        painter.restore();
        first += rowsPerPage;
        ++pages;
    } while (first < rowCount());
    painter.end();
    return pages;
}

// ---------------------------------------------------------------- window

WeekAheadWindow::WeekAheadWindow(Modules* document) : QMainWindow(document), m_document(document)
{
    setObjectName("weekAheadWindow");
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* bar = new QHBoxLayout;
    m_caption = new QLabel(central);
    m_caption->setObjectName("weekAheadCaption");
    m_caption->setWordWrap(true);
    bar->addWidget(m_caption, 1);
    auto* print = new QPushButton(tr("Print…"), central);
    print->setObjectName("printWeekAheadButton");
    connect(print, &QPushButton::clicked, this, &WeekAheadWindow::printWeek);
    bar->addWidget(print, 0, Qt::AlignTop);
    layout->addLayout(bar);
    m_view = new WeekAheadView(central);
    layout->addWidget(m_view, 1);
    setCentralWidget(central);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("Page Set&up…"), this,
                    [this] { dialogs().runPageSetup(this, &sharedPrinter()); });
    QAction* printAction = file->addAction(tr("&Print…"), this, &WeekAheadWindow::printWeek);
    printAction->setObjectName("printWeekAhead");
    printAction->setShortcut(QKeySequence::Print);
    file->addSeparator();
    file->addAction(tr("&Close"), this, &QWidget::close)->setShortcut(QKeySequence::Close);
    for (QAction* each : findChildren<QAction*>())
        each->setShortcutContext(Qt::WindowShortcut);

    m_recomputeTimer.setSingleShot(true);
    connect(&m_recomputeTimer, &QTimer::timeout, this, &WeekAheadWindow::recompute);
    m_midnightTimer.setSingleShot(true);
    connect(&m_midnightTimer, &QTimer::timeout, this, &WeekAheadWindow::recompute);
    connect(document, &Modules::scheduleChanged, this, &WeekAheadWindow::scheduleRecompute);
    connect(document, &QWidget::windowTitleChanged, this, [this] {
        if (m_document)
            setWindowTitle(tr("Week Ahead – %1").arg(m_document->displayName()));
    });
    setWindowTitle(tr("Week Ahead – %1").arg(document->displayName()));
    // Wide enough for seven days, but never wider than the screen it opens on.
    QSize size(1100, 560);
    if (const QScreen* screen = document->screen())
        size = size.boundedTo(screen->availableGeometry().size() * 0.95);
    resize(size);
    recompute();
}

WeekAheadWindow* WeekAheadWindow::showFor(Modules* document)
{
    auto* window = document->findChild<WeekAheadWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new WeekAheadWindow(document);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void WeekAheadWindow::scheduleRecompute()
{
    // Once the edits of this pass of the event loop are in, and only when seen.
    if (isVisible())
        m_recomputeTimer.start(0);
}

void WeekAheadWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    m_recomputeTimer.start(0);
}

void WeekAheadWindow::recompute()
{
    if (!m_document)
        return;
    const std::uint32_t now = GetDateTime();
    const std::uint32_t today = now - now % SecondsPerDay;
    const ModulesDocument& document = m_document->document();
    m_view->setSchedule(document.modules, document.eventRepeat, today);
    const auto& days = m_view->days();
    QString caption;
    if (!days.empty())
        caption = tr("What the CP290 will switch from %1 %2/%3/%4, as the helper's daily "
                     "3:00 AM downloads leave it. Hover over a mark for its event.")
                      .arg(QString::fromLatin1(weekdayName(days.front().date.dayOfWeek)))
                      .arg(days.front().date.month, 2, 10, QLatin1Char('0'))
                      .arg(days.front().date.day, 2, 10, QLatin1Char('0'))
                      .arg(days.front().date.year);
    if (!m_view->problem().isEmpty())
        caption += QStringLiteral("<br><b>%1</b>").arg(m_view->problem().toHtmlEscaped());
    m_caption->setText(caption);
    // Tomorrow the first day moves on.
    const std::uint32_t untilMidnight = SecondsPerDay - now % SecondsPerDay;
    m_midnightTimer.start(static_cast<int>(untilMidnight + 1) * 1000);
}

void WeekAheadWindow::printWeek()
{
    QPrinter& printer = sharedPrinter();
    if (dialogs().runPrintDialog(this, &printer))
        m_view->print(printer);
}

} // namespace vantrel
