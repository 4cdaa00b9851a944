#pragma once
#include "db/SearchIndex.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

struct sqlite3;

/// Substring indexes the program keeps from queues: an FTS5 trigram table over a table's
/// searchable text columns, keyed by its rowid, without text or positions, like
/// db/SearchIndex.h's. It holds the texts as they are (the tokenizer folds case itself) or
/// their accent fold (db/AccentFold.h) for "Ignorar acentos": SQLite's own tokenizer cannot
/// fold accents, so the program writes the folded copy itself.
///
/// Any SQLite client may still write the table: the triggers are plain SQL and only queue.
/// A row written or changed is put in `<index>_pendente` (its entry is missing or stale; a
/// search reads it plainly), and the entry it had, if any, is queued in `<index>_esquecer`
/// with the texts it was made from (a contentless table forgets a row only when told what it
/// indexed). So a write whose end the triggers never see (INSERT OR IGNORE of a key that is
/// there) leaves the row pending, never without an entry. catchUp() writes the queues into the
/// index. Rows above `preenchido_ate` in `<index>_estado` are not covered yet (filled in
/// steps); `linhas` and `maior` are the covered rows' fingerprint, as in the substring index,
/// so that rows renumbered without the triggers show as stale.
namespace db::queuedindex {

/// Bumped whenever the layout, the triggers or the fold change: an index of another
/// version is replaced.
inline constexpr int kVersion = 1;

struct Source {
    QStringView table;            ///< the table indexed
    QStringView index;            ///< the FTS5 table; the others are named after it
    QList<QStringView> columns;   ///< searchable text columns
    QList<QStringView> key;       ///< its unique key (INSERT OR REPLACE removes by it)
    bool foldAccents = true;      ///< the texts' accent fold is indexed, else the texts as they are
    /// Triggers of an index of the same name from before these queues: dropped with it.
    QList<QStringView> formerTriggers = {};
};

/// documento's ementa, descricao and palavras_chave without accents: `documento_busca_sem_acento`.
const Source &foldedDocuments();
/// lauda_texto's texto without accents: `lauda_texto_busca_sem_acento`.
const Source &foldedPageTexts();
/// lauda_texto's texto as it is: `lauda_texto_busca`.
const Source &pageTexts();
/// Every index kept this way, in the order they are brought up to date.
QList<const Source *> all();

/// The table that lists the rows a search reads plainly.
QString pendingTable(const Source &source);

/// Statements that create the index over an empty table, complete (a new archive).
QStringList createStatements(const Source &source);

/// How the index stands (the fingerprint compared with the table). Throws DbError.
searchindex::Condition condition(sqlite3 *handle, const Source &source);

/// True when the index of this version is filled to the last row. Never throws.
bool isFilled(sqlite3 *handle, const Source &source);

/// Rows waiting for their entry, counted up to `limit`. Throws DbError.
qint64 pendingRows(sqlite3 *handle, const Source &source, qint64 limit);

/// Writes the queued rows into the index, in one savepoint (part of the caller's
/// transaction when one is open). Nothing when the index is absent. Throws DbError.
void catchUp(sqlite3 *handle, const Source &source);

/// Makes the index's objects, to be filled from the first row by update(), when those of
/// this version are not all there (an older index's, former triggers included, are dropped
/// first); only a few reads when they are. Nothing when the table is absent. Throws DbError.
void ensurePresent(sqlite3 *handle, const Source &source);

/// Brings the index up to date as searchindex::update does; nothing when the table is
/// absent. Returns false when cancelled. Throws DbError.
bool update(sqlite3 *handle, const Source &source, const searchindex::UpdateOptions &options = {});

/// Removes every object of the index (of any version), in a savepoint. Throws DbError.
void drop(sqlite3 *handle, const Source &source);

} // namespace db::queuedindex
