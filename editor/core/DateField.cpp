#include "editor/core/DateField.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringList>

namespace vantrel {

std::optional<DateTimeRec> dateFromFieldText(const QString& text, const DateTimeRec& today)
{
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("today"))
        return today;
    if (word == QLatin1String("tomorrow"))
        return secondsToDate(dateToSeconds(today) + SecondsPerDay);
    const QStringList parts = word.split(QRegularExpression("[/-]"));
    if (parts.size() != 3)
        return std::nullopt;
    bool ok[3] = {};
    int month = parts[0].toInt(&ok[0]);
    int day = parts[1].toInt(&ok[1]);
    int year = parts[2].toInt(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2])
        return std::nullopt;
    if (year >= 0 && year <= 99)
        year += 2000;
    const QDate date(year, month, day);
    if (!date.isValid() || year < 1904 || year > 2039)
        return std::nullopt;
    DateTimeRec record;
    record.year = static_cast<std::int16_t>(year);
    record.month = static_cast<std::int16_t>(month);
    record.day = static_cast<std::int16_t>(day);
    return record;
}

} // namespace vantrel
