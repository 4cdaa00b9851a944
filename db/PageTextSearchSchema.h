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
/// File archive: `lauda_texto_busca`, an FTS5 trigram table over `texto` as it is, and
/// `lauda_texto_busca_sem_acento` over its accent fold, both kept from queues that triggers in
/// plain SQL fill (db/QueuedIndex.h: any SQLite client may write the page texts). They narrow
/// a search; the statement's like() checks every candidate.
///
/// Server archive: the accent fold cartulo_sem_acento(text) (db/pg/PgFold.h) and trigram
/// indexes over the folded page texts, with and without accents, and over the documents'
/// fields without accents, matching the expressions the dialect gives `like`.
namespace db::pagetextsearch {

/// Statements that create the file archive's indexes over an empty lauda_texto.
QStringList createStatements();

/// Makes the index of the page texts as they are where it is missing or of an earlier layout
/// (its own triggers, no queues): to be filled by the search index's upkeep
/// (db/SearchIndex.h), which also makes the one without accents. Nothing without lauda_texto.
/// Throws DbError.
void ensure(sqlite3 *handle);

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
