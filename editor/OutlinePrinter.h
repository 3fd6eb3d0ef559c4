#pragma once

// Prints the outline's rows (module rows and the visible event rows, with
// their column texts) fitted to the page width, never splitting a row
// between two pages.

#include <QFont>

#include <vector>

class QPrinter;

namespace vantrel {

class ModulesOutlineModel;

struct PrintedColumn
{
    int logical = 0;  // the model's column
    double width = 0; // as the outline shows it
};

// The number of pages printed; 0 when the printer could not start.
int printOutline(QPrinter& printer, const ModulesOutlineModel& model,
                 const std::vector<PrintedColumn>& columns, const QFont& font, int indentation);

} // namespace vantrel
