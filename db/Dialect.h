#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>

namespace db {

/// Column layout of a table as the dialect translation needs it: names in table order
/// and which of them hold dates (declared DATE).
struct TableShape {
    QStringList columns;
    QList<bool> isDate;
    qsizetype indexOf(QStringView column) const; ///< -1 when absent; without regard to case
};

/// Gives the shape of a table by name (any case), or nullptr when there is no such table.
using ShapeLookup = std::function<const TableShape *(const QString &table)>;

/// One item of the top-level select list of a SELECT.
struct SelectItem {
    bool star = false;  ///< `*` or `table.*`
    QString alias;      ///< the name after AS, empty when none
};

/// A statement of the program's dialect translated for SQLite.
struct Translation {
    QString sql;                 ///< text for the engine
    QString firstKeyword;        ///< "select", "update", "insert", ... (lower case)
    QList<SelectItem> selectItems; ///< only for a SELECT
};

/// Translates one statement of the program's dialect:
/// - "text" (a doubled "" inside stands for one ") becomes the SQL literal 'text';
/// - a & b joins texts with NULL as empty text: ifnull(a,'')||ifnull(b,''); as in the
///   old dialect, `&` binds below the arithmetic operators and above comparisons
///   ("x" & 1 + 2 is "x3");
/// - a quoted date text assigned to a date column (UPDATE ... SET, INSERT ... VALUES) is
///   read day first into a day number; a blank date text ("  /  /  ") is NULL.
/// Everything else passes unchanged; an unterminated literal is left for the engine to
/// report. Throws DbError for a date text that is no date.
Translation translate(QStringView jetSql, const ShapeLookup &shapes = {});

} // namespace db
