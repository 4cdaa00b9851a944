#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

namespace db {

/// Day numbers counted from 30 December 1899; the fraction is the time of day.
double toDayNumber(const QDateTime &dateTime);
QDateTime fromDayNumber(double dayNumber); ///< in UTC (day numbers carry no zone)

/// Reads "dd/MM/yy" (or dd/MM/yyyy, with an optional " hh:mm[:ss]"), day first;
/// two-digit years 00-49 are 2000-2049, 50-99 are 1950-1999. nullopt when not a date.
std::optional<QDateTime> parseDayFirst(const QString &text); ///< in UTC

/// "dd/MM/yy", with " hh:mm:ss" only when the time is not midnight.
QString dayNumberToText(double dayNumber);

/// Shortest decimal form with '.' and at most four decimals: 38061, 38061.5.
QString formatDayNumber(double dayNumber);

} // namespace db
