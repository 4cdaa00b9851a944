#pragma once
#include <QString>
#include <QStringList>

struct sqlite3;

namespace db {

/// The archive's four tables, in one place. Column order of orgao, processo and tipo_arq
/// is part of the contract: the screens read those rows by position.
namespace schema {

/// PRAGMA user_version of a new archive. 2: process and document codes are checked to be
/// five digits. Archives of version 1 are opened as they are (without that check).
inline constexpr int kFormatVersion = 2;

/// The four table names.
QStringList tableNames();

/// The statements that create an empty archive (tables, indexes, trigger), in order.
QStringList createStatements();

/// Creates the four tables in one transaction and sets the format version; nothing is
/// left behind on failure. Throws DbError with the engine's message.
void create(sqlite3 *handle);

/// Throws DbError unless the database holds the four tables of an archive.
void checkIsArchive(sqlite3 *handle, const QString &path);

} // namespace schema
} // namespace db
