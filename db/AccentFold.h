#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <span>

namespace db {

/// "Ignorar acentos": the case fold of foldCodePoint, then one explicit map over Latin
/// script: a letter with diacritics becomes its base letter ("ç" -> "c", "ã" -> "a",
/// "ǆ" -> "dz", "ﬁ" -> "fi"), a combining mark is dropped, and letters that carry their
/// mark in their shape become their plain spelling ("ß" -> "ss", "æ" -> "ae", "ø" -> "o",
/// "ł" -> "l", "đ" -> "d", "þ" -> "th"). Everything else is only case-folded.
///
/// The same map is the server's cartulo_sem_acento(text) (db/pg/PgFold.h), and the SQLite
/// function of that name, so both engines find the same documents.
struct AccentFoldEntry {
    char32_t from; ///< a case-folded code point
    QStringView to; ///< what it becomes: empty (a mark), one or a few letters
};

/// The map, ordered by `from`. Every `to` is left unchanged by foldAccents itself.
std::span<const AccentFoldEntry> accentFoldMap();

QString foldAccents(QStringView text);
/// The same on UTF-8 text; invalid bytes are kept as they are.
QByteArray foldAccentsUtf8(QByteArrayView utf8);

} // namespace db
