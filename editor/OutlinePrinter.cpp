#include "editor/OutlinePrinter.h"

#include "editor/ModulesOutlineModel.h"
#include "editor/core/PageBreaks.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QObject>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vantrel {
namespace {

// Outline units are the screen's pixels at 96 per inch.
constexpr double OutlineUnitsPerInch = 96.0;
constexpr double CellPadding = 4.0;
constexpr double BandGap = 6.0;

constexpr int WrappedText = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

QFont boldOf(const QFont& font)
{
    QFont bold(font);
    bold.setBold(true);
    return bold;
}

// The height wrapped text needs in a cell of that width.
double wrappedHeight(const QFontMetricsF& metrics, const QString& text, double width)
{
    if (text.isEmpty())
        return metrics.height();
    return metrics.boundingRect(QRectF(0, 0, std::max(1.0, width), 1e7), WrappedText, text)
        .height();
}

} // namespace

std::vector<double> fitColumnWidths(const std::vector<PrintedColumn>& columns, double pageWidth)
{
    std::vector<double> widths;
    for (const PrintedColumn& column : columns)
        widths.push_back(std::max(0.0, column.width));
    if (widths.empty())
        return widths;
    const double total = std::accumulate(widths.begin(), widths.end(), 0.0);
    if (total <= 0) {
        std::fill(widths.begin(), widths.end(), pageWidth / static_cast<double>(widths.size()));
        return widths;
    }
    if (total < pageWidth) {
        std::size_t description = 0;
        for (std::size_t c = 0; c < columns.size(); ++c)
            if (columns[c].logical == ModulesOutlineModel::NameColumn)
                description = c;
        widths[description] += pageWidth - total;
        return widths;
    }
    for (double& width : widths)
        width *= pageWidth / total;
    return widths;
}

QString pageFooterText(int page, int pages)
{
    return QObject::tr("Page %1 of %2").arg(page).arg(pages);
}

OutlinePrintPlan planOutlinePrint(const ModulesOutlineModel& model,
                                  const std::vector<PrintedColumn>& columns, const QFont& font,
                                  int indentation, const QSizeF& pageSize,
                                  const QString& documentName, const QDate& date)
{
    OutlinePrintPlan plan;
    plan.pageSize = pageSize;
    const QFontMetricsF metrics(font);
    const QFontMetricsF boldMetrics(boldOf(font));
    const double width = pageSize.width();
    const double lineHeight = std::ceil(metrics.height() * 1.35);
    const double textInset = (lineHeight - metrics.height()) / 2;

    // The bands at the top and bottom of every page.
    const QString dateText = QLocale().toString(date, QLocale::LongFormat);
    const double dateWidth = boldMetrics.horizontalAdvance(dateText) + CellPadding;
    const double titleHeight = std::ceil(boldMetrics.height() * 1.2);
    const QRectF titleRect(0, 0, std::max(0.0, width - dateWidth - BandGap), titleHeight);
    const QRectF dateRect(width - dateWidth, 0, dateWidth, titleHeight);
    const std::vector<double> widths = fitColumnWidths(columns, width);
    std::vector<double> lefts;
    double x = 0;
    for (double w : widths) {
        lefts.push_back(x);
        x += w;
    }
    double headingsHeight = lineHeight;
    for (std::size_t c = 0; c < columns.size(); ++c)
        headingsHeight = std::max(headingsHeight, wrappedHeight(boldMetrics, columns[c].title,
                                                                widths[c] - 2 * CellPadding) +
                                                      2 * textInset);
    const double headingsTop = titleHeight + BandGap;
    plan.headingsBottom = headingsTop + headingsHeight;
    const double footerHeight = lineHeight;
    const QRectF footerRect(0, pageSize.height() - footerHeight, width, footerHeight);
    plan.body = QRectF(0, plan.headingsBottom + 2, width,
                       std::max(lineHeight, footerRect.top() - BandGap - plan.headingsBottom - 2));

    // Every row whole: texts wrap within their cells and the row grows.
    const OutlineRowMap& map = model.rowMap();
    std::vector<PrintedRow> rows;
    std::vector<RowGeometry> geometry;
    double top = 0;
    for (int row = 0; row < map.rowCount(); ++row) {
        PrintedRow printed;
        printed.row = row;
        printed.isEvent = map.levelForRow(row) == 1;
        double height = lineHeight;
        const auto addCell = [&](double left, double right, const QString& text) {
            const double cellWidth = std::max(1.0, right - left);
            height = std::max(height, wrappedHeight(metrics, text, cellWidth) + 2 * textInset);
            printed.cells.push_back({QRectF(left, textInset, cellWidth, 0), text, WrappedText});
        };
        if (printed.isEvent) {
            const double left = CellPadding + 2.0 * indentation;
            addCell(left, width - CellPadding,
                    model.indexForRow(row, ModulesOutlineModel::NameColumn).data().toString());
        } else {
            for (std::size_t c = 0; c < columns.size(); ++c) {
                double left = lefts[c] + CellPadding;
                if (columns[c].logical == ModulesOutlineModel::NameColumn)
                    left += indentation;
                addCell(left, lefts[c] + widths[c] - CellPadding,
                        model.indexForRow(row, columns[c].logical).data().toString());
            }
        }
        for (PrintedText& cell : printed.cells)
            cell.rect.setHeight(height - 2 * textInset);
        printed.rect = QRectF(0, top, width, height);
        geometry.push_back({top, height});
        rows.push_back(std::move(printed));
        top += height;
    }

    const auto breaks = paginateRows(geometry, plan.body.height());
    const int pageCount = std::max<int>(1, static_cast<int>(breaks.size()));
    const auto furniture = [&](int page) {
        std::vector<PrintedText> texts;
        texts.push_back(
            {titleRect, documentName, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, true});
        texts.push_back(
            {dateRect, dateText, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, true});
        for (std::size_t c = 0; c < columns.size(); ++c)
            texts.push_back(
                {QRectF(lefts[c] + CellPadding, headingsTop + textInset,
                        std::max(1.0, widths[c] - 2 * CellPadding), headingsHeight - 2 * textInset),
                 columns[c].title, WrappedText, true});
        texts.push_back({footerRect, pageFooterText(page, pageCount),
                         Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine, false});
        return texts;
    };
    if (breaks.empty())
        plan.pages.push_back({furniture(1), {}});
    for (std::size_t p = 0; p < breaks.size(); ++p) {
        const auto [first, last] = breaks[p];
        PrintedPage page{furniture(static_cast<int>(p) + 1), {}};
        const double shift = plan.body.top() - geometry[static_cast<std::size_t>(first)].top;
        for (int row = first; row < last; ++row) {
            PrintedRow printed = std::move(rows[static_cast<std::size_t>(row)]);
            printed.rect.translate(0, shift);
            for (PrintedText& cell : printed.cells)
                cell.rect.translate(0, printed.rect.top());
            page.rows.push_back(std::move(printed));
        }
        plan.pages.push_back(std::move(page));
    }
    return plan;
}

int printOutline(QPrinter& printer, const ModulesOutlineModel& model,
                 const std::vector<PrintedColumn>& columns, const QFont& font, int indentation,
                 const QString& documentName, const QDate& date)
{
    QFont printFont(font);
    printFont.setPixelSize(
        std::max(1, static_cast<int>(font.pointSizeF() * OutlineUnitsPerInch / 72.0 + 0.5)));
    const QFont boldFont = boldOf(printFont);

    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    const QRectF paper = printer.pageLayout().paintRectPixels(printer.resolution());
    // The outline's own size on paper; the columns stretch to the page width.
    const double scale = printer.resolution() / OutlineUnitsPerInch;
    const OutlinePrintPlan plan =
        planOutlinePrint(model, columns, printFont, indentation,
                         QSizeF(paper.width() / scale, paper.height() / scale), documentName, date);

    const auto drawText = [&](const PrintedText& text) {
        painter.setFont(text.bold ? boldFont : printFont);
        painter.drawText(text.rect, text.flags, text.text);
    };
    const double width = plan.pageSize.width();
    int printed = 0;
    for (const PrintedPage& page : plan.pages) {
        if (printed > 0 && !printer.newPage())
            break;
        painter.save();
        painter.scale(scale, scale);
        painter.setPen(Qt::black);
        for (const PrintedText& text : page.furniture)
            drawText(text);
        painter.setPen(QPen(Qt::black, 0));
        painter.drawLine(QPointF(0, plan.headingsBottom), QPointF(width, plan.headingsBottom));
        for (const PrintedRow& row : page.rows) {
            if (!row.isEvent && &row != &page.rows.front()) {
                painter.setPen(QPen(Qt::lightGray, 0));
                painter.drawLine(row.rect.topLeft(), row.rect.topRight());
            }
            painter.setPen(Qt::black);
            for (const PrintedText& cell : row.cells)
                drawText(cell);
        }
        painter.restore();
        ++printed;
    }
    painter.end();
    return printed;
}

} // namespace vantrel
