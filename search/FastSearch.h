#pragma once
#include "search/SearchStatement.h"

#include <QList>
#include <QString>
#include <optional>

namespace db {
class Connection;
}

// Running the search's statement fast on a large archive, with exactly its hits.
//
// The statement the user sees (the "Script" page) stays the one built from the fixed
// format strings. What the engine runs may start from the substring index
// (db/SearchIndex.h) instead of reading every document: the index gives candidates
// that include every hit, and the statement's own conditions, like() included, stay in
// the WHERE clause, so the hits are exactly those of the plain statement.
namespace search {

/// Fixed texts of the index-driven form: the candidates come from the index and each is
/// joined to its document by rowid. The index's MATCH expression fills the first place;
/// the three clauses follow as in the plain statement.
namespace format {
inline constexpr QStringView kIndexedStatement =
    u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod "
    u"from documento_busca cross join documento left join tipo_arq on tipo_arq.cod=documento.tp_doc "
    u"where documento_busca match \"%s\" and documento.rowid=documento_busca.rowid %s %s %s ";
/// With the page texts, a document is a candidate for a term when its fields or one of its
/// page texts may hold it: the first place is the restriction on the documents.
inline constexpr QStringView kRestrictedStatement =
    u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod "
    u"from documento left join tipo_arq on tipo_arq.cod=documento.tp_doc where %s %s %s %s ";
/// A file archive: the candidates of one term from the two substring indexes, and the
/// documents of the page texts whose entry is still to be made.
inline constexpr QStringView kIndexedTermCandidates =
    u"select documento_busca.rowid from documento_busca where documento_busca match \"%s\" union "
    u"select documento.rowid from lauda_texto_busca cross join lauda_texto cross join documento "
    u"where lauda_texto_busca match \"%s\" and lauda_texto.rowid=lauda_texto_busca.rowid and "
    u"documento.processo=lauda_texto.processo and documento.cod=lauda_texto.documento union "
    u"select documento.rowid from lauda_texto_busca_pendente cross join lauda_texto cross join documento "
    u"where lauda_texto.rowid=lauda_texto_busca_pendente.id and documento.processo=lauda_texto.processo "
    u"and documento.cod=lauda_texto.documento";
/// "Ignorar acentos" on a file: the candidates of one term among the documents' fields, from
/// the index of their folded copy, and the documents whose folded copy is still to be made.
inline constexpr QStringView kFoldedTermCandidates =
    u"select documento_busca_sem_acento.rowid from documento_busca_sem_acento where "
    u"documento_busca_sem_acento match \"%s\" union select documento_busca_sem_acento_pendente.id from "
    u"documento_busca_sem_acento_pendente";
/// The same among the page texts, joined after kFoldedTermCandidates.
inline constexpr QStringView kFoldedPageTermCandidates =
    u" union select documento.rowid from lauda_texto_busca_sem_acento cross join lauda_texto cross join documento "
    u"where lauda_texto_busca_sem_acento match \"%s\" and lauda_texto.rowid=lauda_texto_busca_sem_acento.rowid "
    u"and documento.processo=lauda_texto.processo and documento.cod=lauda_texto.documento union "
    u"select documento.rowid from lauda_texto_busca_sem_acento_pendente cross join lauda_texto cross join documento "
    u"where lauda_texto.rowid=lauda_texto_busca_sem_acento_pendente.id and documento.processo=lauda_texto.processo "
    u"and documento.cod=lauda_texto.documento";
/// A server, with the page texts: the hits of one group of terms joined by "e" whose fields
/// hold the group's driving term (first place, from the fields' trigram index), then the
/// type and date clauses, the group's condition and the groups before it left out.
inline constexpr QStringView kServerFieldsPart =
    u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod "
    u"from documento left join tipo_arq on tipo_arq.cod=documento.tp_doc where %s %s %s And %s %s ";
/// The same group's hits whose fields do not hold the driving term, each from the lowest of
/// its pages that does (from the page texts' trigram index): the page's like, the same like
/// of `pagina`, the fields' condition, then the places of kServerFieldsPart after the first.
inline constexpr QStringView kServerPagesPart =
    u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod "
    u"from lauda_texto cross join documento left join tipo_arq on tipo_arq.cod=documento.tp_doc "
    u"where %s and documento.processo=lauda_texto.processo and documento.cod=lauda_texto.documento and "
    u"lauda_texto.numero=(select min(pagina.numero) from lauda_texto as pagina where "
    u"pagina.processo=lauda_texto.processo and pagina.documento=lauda_texto.documento and %s) and "
    u"(%s) is not true %s %s And %s %s ";
/// A term found in a page of the document, checked row by row: "offset 0" keeps the server
/// from hashing every page text that holds the term before the first row.
inline constexpr QStringView kServerPageCondition =
    u"exists (select 1 from lauda_texto where lauda_texto.processo=documento.processo and "
    u"lauda_texto.documento=documento.cod and %s offset 0)";
/// How many candidates one term has in one of the file's substring indexes, up to a limit.
inline constexpr QStringView kCandidateProbe = u"select count(*) from (select 1 from %s where %s match \"%s\" limit %s)";
inline constexpr QStringView kRestrictionProbe =
    u"select count(*) from (select 1 from documento where 1=1 %s %s limit %s)";
} // namespace format

/// A term with this many candidates (fields or page texts) is common: the plain statement
/// meets its first hits at once, while the candidates take long to gather.
inline constexpr int kManyCandidates = 20000;

/// Below this many documents of the type and date range, reading them through their
/// index and checking each with like() is cheaper than walking the term's candidates.
inline constexpr int kFewRowsForPlainScan = 5000;

/// The pieces of a like pattern that every match must hold as they are: the runs
/// between the wildcards "%" and "_", case-folded, of three characters or more.
QStringList necessaryFragments(const QString &likePattern);

/// A MATCH expression of the substring index that every document matching the terms
/// (with the engine's precedence, AND before OR) satisfies: for each group of terms joined
/// by "e", the AND of their trigrams (db::searchindex::lookupTrigrams), the groups joined
/// by OR. nullopt when no such restriction exists (a group has no trigram to look up).
std::optional<QString> candidateExpression(const QList<Term> &terms);

/// The index-driven statement for a MATCH expression and the three clauses.
QString indexedStatement(const QString &expression, const QString &typeClause,
                         const QString &dateClause, const QString &termsClause);

/// The statement to run for a search: the index-driven one when the terms allow it, the
/// index was checked against its table (indexChecked, by db::searchindex::Upkeep or
/// ensure) and is filled, and the type and date range do not already narrow the documents
/// to a few; else the plain one. Throws db::DbError only for a failed probe of the type
/// and date range or of the server's estimates.
QString statementToRun(db::Connection &connection, const QList<Term> &terms,
                       const QString &typeClause, const QString &dateClause, bool indexChecked,
                       const TermOptions &options = {});

/// On a file archive, with the page texts or "Ignorar acentos" on: a condition on the
/// documents that every document matching the terms satisfies, made of the candidates of
/// each term (fields or page texts) from the substring indexes of the fields and of the page
/// texts (`documento.rowid in (...)`), those of their folded copies when accents are
/// ignored, with the rows still to be indexed (db/QueuedIndex.h); intersected within each
/// group of terms joined by "e", the groups united. nullopt where no restriction applies.
std::optional<QString> pageTextRestriction(const QList<Term> &terms, const TermOptions &options);

} // namespace search
