#pragma once
#include "db/ServerAddress.h"

#include <QString>

namespace db {

/// The connection-description file (`cartulo.udl`): UTF-8, a first line "[oledb]", a
/// comment line, then "Provider=SQLite;Data Source=<absolute database path>". A value
/// holding ";", starting with a quote or with spaces at its ends is written between double
/// quotes, a double quote inside doubled, so any path reads back.

/// Writes a new description file naming dbPath; never overwrites (create-new).
/// Throws DbError when the file exists or cannot be written.
void writeDescriptionFile(const QString &udlPath, const QString &dbPath);

/// The engine a description file chooses with `Provider=`.
enum class Provider { SQLite, PostgreSQL };

/// What a description file says, whichever the provider.
struct ArchiveDescription {
    Provider provider = Provider::SQLite;
    QString databasePath; ///< SQLite: the archive file, absolute
    ServerAddress server; ///< PostgreSQL: where the archive lives
};

/// Reads a description file of either provider. Throws DbError for an unreadable file, a
/// malformed one, or an unknown provider (the message names it).
ArchiveDescription readDescription(const QString &udlPath);

/// The database path a description file names. Throws DbError for an unreadable file,
/// a malformed one, or a provider other than SQLite (the message names it).
/// A description of a server archive is refused here: only a file has a path.
QString databaseFromDescription(const QString &udlPath);

} // namespace db
