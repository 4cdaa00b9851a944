#pragma once
#include <QString>

namespace db::pg {

class PgConnection;

/// The statement that creates cartulo_fold(text) on this server: the case folding of
/// db::foldCodePoint, code point for code point, so that `like` and the trigram index fold
/// exactly as on SQLite.
///
/// A translate() over the whole map (some 1,400 letters) costs about 7 µs per character
/// scanned (2 minutes for 20,000 documents), so the function uses the server's lower()
/// for every text made only of characters where lower() was found to agree with the fold
/// on this very server, and the full translate() only for texts holding one of the others
/// (code points above U+1FFFF, which have no case, are among those for safety).
QString foldFunctionStatement(PgConnection &connection);

/// The statement that creates cartulo_sem_acento(text), the fold of "Ignorar acentos"
/// (db::foldAccents, from its one map): for a text made only of characters where lower()
/// and the map of the Latin-1 small letters give the fold on this server (Portuguese text),
/// that cheap way; else cartulo_fold() and the whole map. Needs cartulo_fold.
QString accentFoldFunctionStatement(PgConnection &connection);

} // namespace db::pg
