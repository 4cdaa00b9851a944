#pragma once
#include <QString>
#include <QStringList>

namespace db::pg {

class PgConnection;

/// The archive on a PostgreSQL server: the four tables of db::schema::archiveTables() with
/// the same keys, sizes and types enforced by the server, the process -> documents cascade,
/// the five-digit codes, the substring search index (pg_trgm over cartulo_fold), the pages
/// as rows (`lauda`) with the pages moved aside (`lauda_excluida`), and a format version.
namespace schema {

inline constexpr int kFormatVersion = 1; ///< the row of cartulo_formato in a new archive

inline constexpr QStringView kPagesTable = u"lauda";
inline constexpr QStringView kPagesAsideTable = u"lauda_excluida";
inline constexpr QStringView kFormatTable = u"cartulo_formato";
inline constexpr QStringView kSearchIndex = u"documento_busca";

/// Every table a server archive holds: the four, the two of pages, the format's.
QStringList tableNames();

/// Refuses (DbError) a database whose texts the server would not fold or order as the
/// program does: an encoding other than UTF-8, a `C` character type, a collation that does
/// not order by code point (C.UTF-8 does all three right).
void checkLocale(PgConnection &connection);

/// Creates an empty archive in the connected database, in one transaction: nothing is
/// left behind on failure. Refuses a database that already holds any of its tables, or
/// a wrong locale. Throws DbError with the server's message.
void create(PgConnection &connection);

/// Throws DbError unless the database holds an archive of a format this program knows.
void checkIsArchive(PgConnection &connection);

} // namespace schema
} // namespace db::pg
