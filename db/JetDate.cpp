#include "db/JetDate.h"

#include <QRegularExpression>
#include <QTime>
#include <cmath>

using namespace Qt::StringLiterals;

namespace db {

namespace {

const QDate kDayZero(1899, 12, 30);
constexpr qint64 kMsecsPerDay = 24LL * 60 * 60 * 1000;

} // namespace

double toDayNumber(const QDateTime &dateTime)
{
    const double days = double(kDayZero.daysTo(dateTime.date()));
    const double fraction = double(dateTime.time().msecsSinceStartOfDay()) / double(kMsecsPerDay);
    // Before day 0 the old engine keeps the time as a positive fraction of a negative day.
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime fromDayNumber(double dayNumber)
{
    const double wholeDays = std::trunc(dayNumber);
    double fraction = std::fabs(dayNumber - wholeDays);
    // Day numbers carry ten-thousandths of a day at most; the nearest second is the time.
    qint64 seconds = std::llround(fraction * 86400.0);
    qint64 days = qint64(wholeDays);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += dayNumber >= 0 ? 1 : -1;
    }
    // UTC: a day number has no time zone, and local midnight may not exist on a DST day.
    return QDateTime(kDayZero.addDays(days), QTime(0, 0).addSecs(int(seconds)), Qt::UTC);
}

std::optional<QDateTime> parseDayFirst(const QString &text)
{
    static const QRegularExpression pattern(
        u"^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{2}|\\d{4})(?:\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?\\s*$"_s);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int day = match.capturedView(1).toInt();
    const int month = match.capturedView(2).toInt();
    int year = match.capturedView(3).toInt();
    if (match.capturedLength(3) == 2)
        year += year < 50 ? 2000 : 1900;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    QTime time(0, 0);
    if (match.hasCaptured(4)) {
        time = QTime(match.capturedView(4).toInt(), match.capturedView(5).toInt(),
                     match.hasCaptured(6) ? match.capturedView(6).toInt() : 0);
        if (!time.isValid())
            return std::nullopt;
    }
    return QDateTime(date, time, Qt::UTC);
}

QString dayNumberToText(double dayNumber)
{
    const QDateTime dateTime = fromDayNumber(dayNumber);
    QString text = dateTime.date().toString(u"dd/MM/yy"_s);
    if (dateTime.time() != QTime(0, 0))
        text += u' ' + dateTime.time().toString(u"hh:mm:ss"_s);
    return text;
}

QString formatDayNumber(double dayNumber)
{
    const double rounded = double(std::llround(dayNumber * 10000.0)) / 10000.0;
    QString text = QString::number(rounded, 'f', 4);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    if (text == u"-0"_s)
        text = u"0"_s;
    return text;
}

} // namespace db
