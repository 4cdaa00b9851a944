#pragma once
#include "db/Description.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>

namespace db {

/// Column layout of a table as the dialect translation needs it: names in table order,
/// which of them hold dates (declared DATE) and which texts.
struct TableShape {
    QStringList columns;
    QList<bool> isDate;
    QList<bool> isText;
    qsizetype indexOf(QStringView column) const; ///< -1 when absent; without regard to case
};

/// Gives the shape of a table by name (any case), or nullptr when there is no such table.
using ShapeLookup = std::function<const TableShape *(const QString &table)>;

/// One item of the top-level select list of a SELECT.
struct SelectItem {
    bool star = false;  ///< `*` or `table.*`
    QString alias;      ///< the name after AS, empty when none
    /// A bare column reference without alias (`quem`, `h.quem`, `[quem]`): it is named
    /// after its column even where the engine sees an expression (a view's computed column).
    bool columnReference = false;
    /// The table and column of a qualified reference (`documento.descricao`); else empty.
    QString table;
    QString column;
};

/// A statement of the program's dialect translated for one engine.
struct Translation {
    QString sql;                 ///< text for the engine
    QString firstKeyword;        ///< "select", "update", "insert", ... (lower case)
    QList<SelectItem> selectItems; ///< only for a SELECT
    QString secondStatement;     ///< what follows a ";" that ends the first statement, if anything
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
/// For PostgreSQL besides: `&` casts each side to text; `a like b` compares the folded
/// texts (cartulo_fold, the function the server's trigram index is built on) with no escape
/// character, as SQLite's like; [name] becomes a quoted name; a bare number compared with a
/// text column becomes a text literal, as SQLite's column affinity would make it.
Translation translate(QStringView jetSql, const ShapeLookup &shapes = {},
                      Provider target = Provider::SQLite);

} // namespace db
