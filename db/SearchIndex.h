#pragma once
#include <QString>
#include <QStringList>

struct sqlite3;

namespace db {

class Connection;

/// The substring index of the documents' searchable text: an FTS5 trigram table
/// `documento_busca`, contentless, keyed by documento's rowid, over the case-folded
/// (cartulo_fold) ementa, descricao and palavras_chave, kept by triggers on documento.
///
/// It only narrows: a `like "%x%"` hit on one of the three columns has fold(x) as a
/// substring of that column's folded text, so a MATCH on fold(x) (three characters or
/// more) finds a superset of the hits, and the like() check that stays in the statement
/// gives exactly the hits of a full scan.
///
/// The triggers call cartulo_fold: every connection that writes documento must have the
/// engine layer's functions registered (Connection does).
namespace searchindex {

inline constexpr QStringView kTable = u"documento_busca";
/// Bumped whenever the folding or the table's layout changes: an index of another
/// version is built again.
inline constexpr int kVersion = 1;

/// Statements that create the table and its triggers (empty table).
QStringList createStatements();

/// True when the index of this version exists.
bool isPresent(sqlite3 *handle);

/// Creates the index when missing (or of another version) and fills it from the
/// documents already stored, in one transaction. Cheap when it exists. On an archive of a
/// million documents the first build takes tens of seconds. Throws DbError.
void ensure(sqlite3 *handle);
void ensure(Connection &connection);

/// Drops and builds the index again from documento. Throws DbError.
void rebuild(sqlite3 *handle);

} // namespace searchindex
} // namespace db
