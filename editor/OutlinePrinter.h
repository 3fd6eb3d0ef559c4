#pragma once

// Prints the outline's rows (module rows and the visible event rows, with
// their column texts) across the page width, under the document's name, the
// date and the column headings, with "Page N of M" below; no row is ever
// split between two pages. Texts wrap rather than being cut: an event row's
// summary spans every column, as on screen.

#include <QDate>
#include <QFont>
#include <QRectF>
#include <QString>

#include <vector>

class QPainter;
class QPrinter;

namespace vantrel {

class ModulesOutlineModel;

struct PrintedColumn
{
    int logical = 0;  // the model's column
    double width = 0; // as the outline shows it
    QString title;    // its heading
};

// The widths of the columns laid across `pageWidth`: room to spare goes to
// the description, a lack of it is taken from all alike.
std::vector<double> fitColumnWidths(const std::vector<PrintedColumn>& columns, double pageWidth);

// "Page 2 of 7".
QString pageFooterText(int page, int pages);

struct PrintedText
{
    QRectF rect;
    QString text;
    int flags = 0; // Qt::AlignmentFlag and Qt::TextFlag
    bool bold = false;
};

struct PrintedRow
{
    int row = 0; // in the outline's row map
    bool isEvent = false;
    QRectF rect; // the whole row, across the page
    std::vector<PrintedText> cells;
};

struct PrintedPage
{
    std::vector<PrintedText> furniture; // title, date, headings and footer
    std::vector<PrintedRow> rows;
};

// Everything printed, in outline units (the screen's pixels at 96 per inch)
// on a page of `pageSize` units; `font` is sized in those units.
struct OutlinePrintPlan
{
    QSizeF pageSize;
    QRectF body; // where rows go on every page
    double headingsBottom = 0;
    std::vector<PrintedPage> pages;
};

OutlinePrintPlan planOutlinePrint(const ModulesOutlineModel& model,
                                  const std::vector<PrintedColumn>& columns, const QFont& font,
                                  int indentation, const QSizeF& pageSize,
                                  const QString& documentName, const QDate& date);

// The number of pages printed; 0 when the printer could not start.
int printOutline(QPrinter& printer, const ModulesOutlineModel& model,
                 const std::vector<PrintedColumn>& columns, const QFont& font, int indentation,
                 const QString& documentName, const QDate& date = QDate::currentDate());

} // namespace vantrel
