#pragma once
#include <QString>
#include <QStringList>

namespace db {

class Query;

/// A result as lines of text, the way the administrator's tool prints it: a header with
/// the result names, then one line per row; fields separated by a tab, values as the
/// engine's value-as-text. A tab, line break or backslash inside a value is written as
/// \t, \n, \r or \\ so that every row stays one line. Reads every row of the query.
QStringList resultLines(Query &query);

/// One field as resultLines writes it.
QString escapeField(const QString &value);

} // namespace db
