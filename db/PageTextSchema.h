#pragma once
#include <QString>
#include <QStringList>

struct sqlite3;

namespace db::pg {
class PgConnection;
}

/// `lauda_texto`: the recognised text of each page, kept in the archive itself (the file, or
/// the server database) at the page's place, with the fingerprint of the bytes it was read
/// from. Made with every new archive and added to older ones when they are opened.
namespace db::pagetext {

inline constexpr QStringView kTable = u"lauda_texto";

/// The statements that make the table in a file archive; each may run again harmlessly.
QStringList fileStatements();
/// The same on a server: the rows belong to `lauda` rows (gone with them, renumbered and
/// given to another code with them).
QStringList serverStatements();

/// Adds the table to a file archive that lacks it. Throws DbError.
void ensure(sqlite3 *handle);
/// Adds the table to a server archive that lacks it; false when it is missing and this role
/// may not make it (the texts are then off for this workstation). Other failures throw DbError.
bool ensure(pg::PgConnection &server);
/// Whether the server archive has the table.
bool present(pg::PgConnection &server);

} // namespace db::pagetext
