#pragma once
#include <QString>

namespace db {

/// The connection-description file (`cartulo.udl`): UTF-8, a first line "[oledb]", a
/// comment line, then "Provider=SQLite;Data Source=<absolute database path>". A value
/// holding ";", starting with a quote or with spaces at its ends is written between double
/// quotes, a double quote inside doubled, so any path reads back.

/// Writes a new description file naming dbPath; never overwrites (create-new).
/// Throws DbError when the file exists or cannot be written.
void writeDescriptionFile(const QString &udlPath, const QString &dbPath);

/// The database path a description file names. Throws DbError for an unreadable file,
/// a malformed one, or a provider other than SQLite (the message names it).
QString databaseFromDescription(const QString &udlPath);

} // namespace db
