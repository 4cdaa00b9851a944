#pragma once
#include <QString>
#include <QStringList>

struct sqlite3;

namespace db {
class Connection;
}
namespace db::pg {
class PgConnection;
}

/// What makes the search in the page texts (`lauda_texto`) fast, on both engines; the
/// search's hits never depend on it, only its speed.
///
/// File archive: `lauda_texto_busca`, an FTS5 trigram table over `texto`, keyed by the
/// rowid of lauda_texto, without text or positions, kept by triggers in plain SQL (any
/// SQLite client may write the page texts). It narrows a search with the accents kept; the
/// statement's like() checks every candidate.
///
/// Server archive: the accent fold cartulo_sem_acento(text) (db/pg/PgFold.h) and trigram
/// indexes over the folded page texts, with and without accents, and over the documents'
/// fields without accents, matching the expressions the dialect gives `like`.
namespace db::pagetextsearch {

inline constexpr QStringView kTable = u"lauda_texto_busca";

/// Statements that create the file archive's index over an empty lauda_texto, and its
/// index without accents (db/QueuedIndex.h; on an older archive made by the search index's
/// upkeep).
QStringList createStatements();

/// Creates the index of a file archive whose lauda_texto has none (filled from the rows
/// there), or whose index is incomplete, in one transaction. Nothing without lauda_texto.
/// Throws DbError.
void ensure(sqlite3 *handle);

/// True when the file archive's index and its triggers are there. Never throws.
bool isPresent(sqlite3 *handle);

/// Statements that create the server's function and indexes (for a new archive, after
/// lauda_texto and cartulo_fold).
QStringList createStatements(db::pg::PgConnection &connection);

/// Creates what the server archive lacks of them. Returns an empty text when all is there,
/// else why the search goes without (a role that may not create them: the search is only
/// slower, and "Ignorar acentos" needs cartulo_sem_acento; the owner's next opening makes them). Throws DbError for other failures.
QString ensure(db::pg::PgConnection &connection);

/// True when the archive keeps page texts (it has lauda_texto). Throws DbError.
bool hasPageTextTable(db::Connection &connection);

/// True when the server holds cartulo_sem_acento, which "Ignorar acentos" needs. Throws DbError.
bool hasAccentFold(db::pg::PgConnection &connection);

} // namespace db::pagetextsearch
