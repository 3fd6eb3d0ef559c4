#include "editor/OutlinePrinter.h"

#include "editor/ModulesOutlineModel.h"
#include "editor/core/PageBreaks.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include <algorithm>

namespace vantrel {
namespace {

// Outline units are the screen's pixels at 96 per inch.
constexpr double OutlineUnitsPerInch = 96.0;
constexpr double CellPadding = 4.0;

} // namespace

int printOutline(QPrinter& printer, const ModulesOutlineModel& model,
                 const std::vector<PrintedColumn>& columns, const QFont& font, int indentation)
{
    QFont printFont(font);
    printFont.setPixelSize(
        std::max(1, static_cast<int>(font.pointSizeF() * OutlineUnitsPerInch / 72.0 + 0.5)));
    const QFontMetricsF metrics(printFont);
    const double rowHeight = std::ceil(metrics.height() * 1.35);

    const OutlineRowMap& rows = model.rowMap();
    std::vector<RowGeometry> geometry;
    geometry.reserve(static_cast<std::size_t>(rows.rowCount()));
    for (int row = 0; row < rows.rowCount(); ++row)
        geometry.push_back({row * rowHeight, rowHeight});

    double totalWidth = 0;
    for (const PrintedColumn& column : columns)
        totalWidth += column.width;
    if (totalWidth <= 0)
        totalWidth = 1;

    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double naturalScale = printer.resolution() / OutlineUnitsPerInch;
    // Fitted to the page width; never enlarged beyond its natural size.
    const double scale = std::min(naturalScale, page.width() / totalWidth);
    const double pageHeight = page.height() / scale;

    const auto pages = paginateRows(geometry, pageHeight);
    int printed = 0;
    for (const auto& [first, last] : pages) {
        if (printed > 0 && !printer.newPage())
            break;
        painter.save();
        painter.scale(scale, scale);
        painter.translate(0, -geometry[static_cast<std::size_t>(first)].top);
        painter.setFont(printFont);
        for (int row = first; row < last; ++row) {
            const RowGeometry& place = geometry[static_cast<std::size_t>(row)];
            const bool isEvent = rows.levelForRow(row) == 1;
            if (!isEvent && row > first) {
                painter.setPen(QPen(Qt::lightGray, 0));
                painter.drawLine(QPointF(0, place.top), QPointF(totalWidth, place.top));
            }
            painter.setPen(Qt::black);
            double x = 0;
            for (const PrintedColumn& column : columns) {
                double left = x + CellPadding;
                if (column.logical == ModulesOutlineModel::NameColumn)
                    left += isEvent ? 2.0 * indentation : indentation;
                const QRectF cell(left, place.top,
                                  std::max(0.0, x + column.width - left - CellPadding),
                                  place.height);
                const QString text = model.indexForRow(row, column.logical).data().toString();
                painter.drawText(cell, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                                 metrics.elidedText(text, Qt::ElideRight, cell.width()));
                x += column.width;
            }
        }
        painter.restore();
        ++printed;
    }
    painter.end();
    return printed;
}

} // namespace vantrel
