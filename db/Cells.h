#pragma once
// Engine-layer internals: reading a result cell and showing it as text.
#include <QString>
#include <QVariant>

struct sqlite3_stmt;

namespace db {

/// The cell as the engine holds it: invalid for NULL, qint64, double, QString or QByteArray.
QVariant readCell(sqlite3_stmt *statement, int column);

/// True for a column declared DATE (or DATETIME).
bool isDateDeclaration(const char *declaredType);

/// Value as text: empty for NULL, a date column's day number as dd/MM/yy (+ time when
/// not midnight), integers without decimals, a blob holding UTF-8 text as that text.
QString cellText(const QVariant &value, bool dateColumn);

} // namespace db
