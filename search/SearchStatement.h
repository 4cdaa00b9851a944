#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The advanced search's statement, built as text from fixed format strings, clause by
// clause: pure functions, so the exact text can be checked without a screen.
namespace search {

/// Fixed texts of the search. "%s" marks where an argument goes.
namespace format {
/// Outer join: documents whose type code has no row in tipo_arq are found too (with an
/// empty type description); the result names stay those of the old inner join.
inline constexpr QStringView kStatement =
    u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod "
    u"from documento left join tipo_arq on tipo_arq.cod=documento.tp_doc where 1=1 %s %s %s ";
inline constexpr QStringView kTypeCondition = u"And documento.tp_doc=\"%s\" ";
inline constexpr QStringView kDateRange = u"And documento.data between %s and %s ";
inline constexpr QStringView kDateFrom = u"And documento.data >= %s ";
inline constexpr QStringView kDateUntil = u"And documento.data <= %s ";
inline constexpr QStringView kTermCondition =
    u"%s ((documento.ementa like \"+%s+\") or (documento.descricao like \"+%s+\") or "
    u"(documento.palavras_chave like \"+%s+\")) ";
/// A term with "Procurar também no texto das páginas": also any page text of the document.
inline constexpr QStringView kTermConditionWithPages =
    u"%s ((documento.ementa like \"+%s+\") or (documento.descricao like \"+%s+\") or "
    u"(documento.palavras_chave like \"+%s+\") or exists (select 1 from lauda_texto where "
    u"lauda_texto.processo=documento.processo and lauda_texto.documento=documento.cod and "
    u"lauda_texto.texto like \"+%s+\")) ";
/// "Ignorar acentos": both sides of each like through the accent fold.
inline constexpr QStringView kTermConditionNoAccents =
    u"%s ((cartulo_sem_acento(documento.ementa) like cartulo_sem_acento(\"+%s+\")) or "
    u"(cartulo_sem_acento(documento.descricao) like cartulo_sem_acento(\"+%s+\")) or "
    u"(cartulo_sem_acento(documento.palavras_chave) like cartulo_sem_acento(\"+%s+\"))) ";
inline constexpr QStringView kTermConditionWithPagesNoAccents =
    u"%s ((cartulo_sem_acento(documento.ementa) like cartulo_sem_acento(\"+%s+\")) or "
    u"(cartulo_sem_acento(documento.descricao) like cartulo_sem_acento(\"+%s+\")) or "
    u"(cartulo_sem_acento(documento.palavras_chave) like cartulo_sem_acento(\"+%s+\")) or "
    u"exists (select 1 from lauda_texto where lauda_texto.processo=documento.processo and "
    u"lauda_texto.documento=documento.cod and "
    u"cartulo_sem_acento(lauda_texto.texto) like cartulo_sem_acento(\"+%s+\"))) ";
/// The lowest page of a hit whose text holds any of the terms (the page conditions follow).
inline constexpr QStringView kFirstHitPage =
    u"select min(lauda_texto.numero) from lauda_texto where lauda_texto.processo=\"%s\" and "
    u"lauda_texto.documento=\"%s\" and (%s)";
inline constexpr QStringView kPageTextLike = u"lauda_texto.texto like \"%s\"";
inline constexpr QStringView kPageTextLikeNoAccents =
    u"cartulo_sem_acento(lauda_texto.texto) like cartulo_sem_acento(\"%s\")";
} // namespace format

/// The two check boxes of the criteria page; both off: the search as it always was.
struct TermOptions {
    bool pageText = false;      ///< "Procurar também no texto das páginas"
    bool ignoreAccents = false; ///< "Ignorar acentos"
    friend bool operator==(const TermOptions &, const TermOptions &) = default;
};

/// Day number text meaning "no date".
inline constexpr QStringView kNoDay = u"0";

/// Replaces each "%s" of the format, left to right, by the next argument. Arguments are
/// inserted as they are: a "%s" inside an argument is not a place.
QString fillPlaces(QStringView format, const QStringList &arguments);

/// A term field as the search reads it, with the connector that stands before it:
/// "" for the first term, "AND" or "OR" for the others.
struct Term {
    QString connector;
    QString text;
    friend bool operator==(const Term &, const Term &) = default;
};

/// The terms that count: the four fields in order, each after the first with its "e"
/// choice (andBefore[i] for field i + 1); the first empty field ends the list.
QList<Term> usedTerms(const QStringList &fields, const QList<bool> &andBefore);

/// `EdtTpDocExit`'s rewrite of "Tipo": the integer padded with zeros to `digits` places
/// ("7" -> "00007"); nullopt when the text is no integer.
std::optional<QString> paddedTypeCode(const QString &text, int digits);

/// Day number of a date field's text ("15/03/04" -> "38061"), or "0" when the text is
/// no date (a blank field "  /  /  " included).
QString dayNumberOf(const QString &dateText);

/// `And documento.tp_doc="<code>" `; empty for an empty code.
QString typeClause(const QString &code);
/// Both days: `between`; only one: `>=` the start day or `<=` the end day; none: empty.
QString dateClause(const QString &startDay, const QString &endDay);
/// One term's condition, the term's double quotes doubled so it stays one literal.
QString termCondition(const QString &connector, const QString &term, const TermOptions &options = {});
/// ` And (` + the term conditions + `)`, or empty without terms. The terms stand one after
/// the other with their connectors: the engine's precedence (AND before OR) applies.
QString termsClause(const QList<Term> &terms, const TermOptions &options = {});

/// The statement: the clauses in the order type, date, terms, then every "+" turned
/// into "%" (so the markers around each term, and a "+" typed in a term, are wildcards).
QString statement(const QString &typeClause, const QString &dateClause, const QString &termsClause);

/// The statement as the "Script" page logs it: every double quote turned into a single one.
QString scriptLine(const QString &statement);

/// The `like` pattern a term becomes in the statement (before quote doubling):
/// "%" + the term with "+" turned into "%" + "%".
QString likePattern(const QString &term);

/// The statement that gives the lowest-numbered page of the document (process and document
/// code) whose text holds any of the terms, as the terms match there; empty without terms.
QString firstHitPageStatement(const QString &process, const QString &document, const QList<Term> &terms,
                              const TermOptions &options);

} // namespace search
