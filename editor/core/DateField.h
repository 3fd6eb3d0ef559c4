#pragma once

// Reading the event editor's date field: "today", "tomorrow", or a
// month/day/year date (slashes or dashes, a two-digit year in this
// century) within the years the CP290's clock can hold.

#include "platform/DateTime.h"

#include <QString>

#include <optional>

namespace vantrel {

std::optional<DateTimeRec> dateFromFieldText(const QString& text, const DateTimeRec& today);

} // namespace vantrel
