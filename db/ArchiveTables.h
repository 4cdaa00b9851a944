#pragma once
#include <QList>
#include <QString>
#include <QStringList>

namespace db::schema {

/// The archive's four tables as every provider creates them: names, column order (the
/// screens read orgao, processo and tipo_arq by position), types, sizes and keys.
enum class ColumnType {
    Text,     ///< at most maxLength characters
    LongText, ///< no practical limit
    Date,     ///< a day number counted from 30 December 1899; the fraction is the time
    Int16,
    Integer,
    Blob,
};

struct ColumnSpec {
    QString name;
    ColumnType type;
    int maxLength = 0;          ///< Text only
    bool fiveDigitCode = false; ///< exactly five digits: codes build page names
};

struct TableSpec {
    QString name;
    QList<ColumnSpec> columns;
    QStringList key; ///< unique and not null; empty for orgao
};

QList<TableSpec> archiveTables();

} // namespace db::schema
