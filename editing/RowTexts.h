#pragma once
#include <QStringList>

namespace db {
class Query;
}

namespace editing {

/// The first `count` columns of the query's current row as text, by position; empty
/// texts when the query has no current row (an empty table), so showing it clears the
/// fields.
QStringList currentRowTexts(const db::Query &query, int count);

/// Moves the query by the caption of a step button: 7 characters ("Proximo") to the
/// next row, 8 ("Anterior") to the prior one, any other length not at all. At either
/// end the query stays on the end row.
void stepByCaption(db::Query &query, const QString &caption);

} // namespace editing
