#include "search/FastSearch.h"

#include "db/AccentFold.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Dialect.h"
#include "db/Fold.h"
#include "db/Query.h"
#include "db/QueuedIndex.h"
#include "db/SearchIndex.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgResult.h"
#include "editing/lib.h"
#include "search/Logging.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace search {

namespace {

// The trigram index holds no substring shorter than this.
constexpr qsizetype kShortestIndexed = 3;

// The trigrams every match of one term holds; without accents, every match of the folded
// term in a folded text, as the statement compares them.
QStringList termTrigrams(const QString &term, bool ignoreAccents = false)
{
    const QString pattern = likePattern(term);
    QStringList trigrams;
    for (const QString &fragment : necessaryFragments(ignoreAccents ? db::foldAccents(pattern) : pattern))
        trigrams << db::searchindex::lookupTrigrams(fragment);
    return trigrams;
}

bool fewRowsInRange(db::Connection &connection, const QString &typeClause, const QString &dateClause)
{
    db::Query probe(&connection);
    probe.setSql(fillPlaces(format::kRestrictionProbe,
                            {typeClause, dateClause, QString::number(kFewRowsForPlainScan)}));
    probe.open();
    return probe.value(0).toLongLong() < kFewRowsForPlainScan;
}

QString trigramExpression(const QStringList &trigrams)
{
    return trigrams.join(u" AND "_s);
}

// One like of the server's candidates, as the plain statement writes it.
QString serverLike(const QString &column, const QString &pattern, bool ignoreAccents)
{
    const QString literal = u'"' + lib::escapeQuotes(pattern) + u'"';
    return ignoreAccents ? u"cartulo_sem_acento(%1) like cartulo_sem_acento(%2)"_s.arg(column, literal)
                         : u"%1 like %2"_s.arg(column, literal);
}

// The terms in groups joined by OR, each group's terms joined by AND (AND binds first).
QList<QList<Term>> groupsOf(const QList<Term> &terms)
{
    QList<QList<Term>> groups;
    for (const Term &term : terms) {
        if (groups.isEmpty() || term.connector == u"OR"_s)
            groups.append(QList<Term>());
        groups.back().append(term);
    }
    return groups;
}

// The length of a term's longest run between wildcards: the longer, the fewer candidates.
qsizetype longestFragment(const Term &term, bool ignoreAccents)
{
    qsizetype longest = 0;
    const QString pattern = likePattern(term.text);
    for (const QString &fragment : necessaryFragments(ignoreAccents ? db::foldAccents(pattern) : pattern))
        longest = std::max(longest, fragment.size());
    return longest;
}

// A term in the fields or, row by row, in a page of the document.
QString serverTermCondition(const Term &term, bool ignoreAccents)
{
    const QString pageLike = serverLike(u"lauda_texto.texto"_s, likePattern(term.text), ignoreAccents);
    return u'(' + termCondition(QString(), term.text, {false, ignoreAccents}) + u" or "_s
        + fillPlaces(format::kServerPageCondition, {pageLike}) + u')';
}

QString serverGroupCondition(const QList<Term> &group, bool ignoreAccents)
{
    QStringList all;
    for (const Term &term : group)
        all << serverTermCondition(term, ignoreAccents);
    return u'(' + all.join(u" and "_s) + u')';
}

// Below this many rows a table is read through its index whatever the term.
constexpr double kFewRowsForFirstHitsPlan = 50000;
// A term the server expects in this share of the documents (of the page texts) is met at
// once reading the table in order, while a bitmap of its candidates takes tens of
// milliseconds to build before the first hit (measured on a million documents).
constexpr double kCommonInFields = 0.03;
constexpr double kCommonInPages = 0.2;

// The share of a table's rows the server expects to meet a condition, from its statistics;
// 0 for a small table or one the server has no statistics of.
double expectedShare(db::pg::PgConnection &server, const QString &table, const QString &condition)
{
    const double rows = server.exec(u"SELECT reltuples FROM pg_class WHERE oid = to_regclass($1)"_s,
                                    {db::pg::PgParam::text(table)})
                            .text(0, 0)
                            .toDouble();
    if (rows < kFewRowsForFirstHitsPlan)
        return 0;
    const QString select = lib::SubstChar(u"+"_s, u"%"_s, u"select 1 from %1 where %2"_s.arg(table, condition));
    const QString plan =
        server.exec(u"EXPLAIN "_s + db::translate(select, {}, db::Provider::PostgreSQL).sql).text(0, 0);
    static const QRegularExpression estimate(u" rows=(\\d+) "_s);
    const QRegularExpressionMatch found = estimate.match(plan);
    return found.hasMatch() ? found.captured(1).toDouble() / rows : 0;
}

// A condition the server reads row by row, in the table's order, instead of through its
// trigram index, when the rows where all of the group's terms meet (`together`) are common
// enough that the first hits come sooner so. Terms met in different places are not
// counted: a group found that way reads its index, which is never slow to a first hit.
QString drivingCondition(db::pg::PgConnection &server, const QString &table, const QString &condition,
                         const QStringList &together, double commonShare)
{
    const double share = expectedShare(server, table, u'(' + together.join(u") and ("_s) + u')');
    return share >= commonShare ? u'(' + condition + u") is true"_s : condition;
}

// Each group of terms joined by "e" gives its hits from one of its terms' trigram indexes:
// the documents whose fields hold it, then those whose pages hold it, each once, a group
// leaving out the hits of the groups before it. Every part reads as the server finds its
// rows, through the index for a rare term and in the table's order for a common one, so
// the first hits come at once; the hits are those of the plain statement, each once.
QString serverPageTextStatement(db::pg::PgConnection &server, const QList<Term> &terms, const QString &typeClause,
                                const QString &dateClause, bool ignoreAccents)
{
    QStringList parts;
    QString before;
    for (const QList<Term> &group : groupsOf(terms)) {
        const Term driving = *std::max_element(group.begin(), group.end(), [&](const Term &a, const Term &b) {
            return longestFragment(a, ignoreAccents) < longestFragment(b, ignoreAccents);
        });
        const QString pattern = likePattern(driving.text);
        const QString fields = termCondition(QString(), driving.text, {false, ignoreAccents});
        const QString condition = serverGroupCondition(group, ignoreAccents);
        const QString pageLike = serverLike(u"lauda_texto.texto"_s, pattern, ignoreAccents);
        QStringList allInFields, allInPage;
        for (const Term &term : group) {
            allInFields << termCondition(QString(), term.text, {false, ignoreAccents});
            allInPage << serverLike(u"lauda_texto.texto"_s, likePattern(term.text), ignoreAccents);
        }
        parts << fillPlaces(format::kServerFieldsPart,
                            {drivingCondition(server, u"documento"_s, fields, allInFields, kCommonInFields),
                             typeClause, dateClause, condition, before});
        parts << fillPlaces(format::kServerPagesPart,
                            {drivingCondition(server, u"lauda_texto"_s, pageLike, allInPage, kCommonInPages),
                             serverLike(u"pagina.texto"_s, pattern, ignoreAccents), fields, typeClause, dateClause,
                             condition, before});
        before += u"And "_s + condition + u" is not true "_s;
    }
    return lib::SubstChar(u"+"_s, u"%"_s, parts.join(u" union all "_s));
}

// The candidates of one term on a file archive, as a compound select.
QString fileTermCandidates(const QString &expression, const TermOptions &options)
{
    if (!options.ignoreAccents)
        return fillPlaces(format::kIndexedTermCandidates, {expression, expression});
    QString candidates = fillPlaces(format::kFoldedTermCandidates, {expression});
    if (options.pageText)
        candidates += fillPlaces(format::kFoldedPageTermCandidates, {expression});
    return candidates;
}

// SQLite cannot put a compound select in parentheses; a subquery in FROM can be.
std::optional<QString> fileRestriction(const QList<Term> &terms, const TermOptions &options)
{
    QStringList alternatives;
    for (const QList<Term> &group : groupsOf(terms)) {
        QStringList all;
        for (const Term &term : group) {
            const QStringList trigrams = termTrigrams(term.text, options.ignoreAccents);
            if (trigrams.isEmpty())
                continue; // its candidates are not narrowed; the others' still hold
            const QString expression = lib::escapeQuotes(trigramExpression(trigrams));
            all << u"select rowid from ("_s + fileTermCandidates(expression, options) + u')';
        }
        if (all.isEmpty())
            return std::nullopt; // a group the indexes cannot point to
        alternatives << u"select rowid from ("_s + all.join(u" intersect "_s) + u')';
    }
    if (alternatives.isEmpty())
        return std::nullopt;
    return u"documento.rowid in ("_s + alternatives.join(u" union "_s) + u')';
}

qlonglong candidatesIn(db::Connection &connection, QStringView index, const QString &expression)
{
    db::Query probe(&connection);
    probe.setSql(fillPlaces(format::kCandidateProbe, {index.toString(), index.toString(), lib::escapeQuotes(expression),
                                                      QString::number(kManyCandidates)}));
    probe.open();
    return probe.value(0).toLongLong();
}

// The indexes a term's candidates come from on a file archive.
QList<QStringView> candidateIndexes(const TermOptions &options)
{
    if (!options.ignoreAccents)
        return {db::searchindex::kTable, db::queuedindex::pageTexts().index};
    QList<QStringView> indexes{db::queuedindex::foldedDocuments().index};
    if (options.pageText)
        indexes << db::queuedindex::foldedPageTexts().index;
    return indexes;
}

// The terms that narrow a file's search: of each group of terms joined by "e", the one with
// the fewest candidates in the file's indexes (every hit of the group is among them, and
// intersecting with a common term's candidates costs more than it saves), the groups
// joined by "ou". nullopt when some group's rarest term is common: its hits are dense, and
// the plain statement shows the first of them sooner than the candidates could be gathered.
std::optional<QList<Term>> rarestOfEachGroup(db::Connection &connection, const QList<Term> &terms,
                                             const TermOptions &options)
{
    QList<Term> rarest;
    for (const QList<Term> &group : groupsOf(terms)) {
        std::optional<Term> pick;
        qlonglong fewest = kManyCandidates;
        for (const Term &term : group) {
            const QStringList trigrams = termTrigrams(term.text, options.ignoreAccents);
            if (trigrams.isEmpty())
                continue;
            const QString expression = trigramExpression(trigrams);
            qlonglong candidates = 0;
            for (const QStringView index : candidateIndexes(options))
                candidates += candidatesIn(connection, index, expression);
            if (candidates < fewest) {
                fewest = candidates;
                pick = term;
            }
        }
        if (!pick)
            return std::nullopt;
        rarest.append({rarest.isEmpty() ? QString() : u"OR"_s, pick->text});
    }
    return rarest;
}

// The file's indexes the search needs are there and filled, and few rows wait for their
// entry (those are read plainly).
bool fileIndexesReady(db::Connection &connection, const TermOptions &options)
{
    sqlite3 *handle = connection.handle();
    QList<const db::queuedindex::Source *> sources;
    if (options.ignoreAccents)
        sources << &db::queuedindex::foldedDocuments();
    else if (!db::searchindex::isFilled(handle))
        return false;
    if (options.pageText)
        sources << (options.ignoreAccents ? &db::queuedindex::foldedPageTexts() : &db::queuedindex::pageTexts());
    qint64 pending = 0;
    for (const db::queuedindex::Source *source : sources) {
        if (!db::queuedindex::isFilled(handle, *source))
            return false;
        pending += db::queuedindex::pendingRows(handle, *source, kManyCandidates);
    }
    return pending < kManyCandidates;
}

} // namespace

std::optional<QString> pageTextRestriction(const QList<Term> &terms, const TermOptions &options)
{
    if (!options.pageText && !options.ignoreAccents)
        return std::nullopt;
    return fileRestriction(terms, options);
}

QStringList necessaryFragments(const QString &pattern)
{
    QStringList fragments;
    QString run;
    auto flush = [&] {
        const QString folded = db::foldCase(run);
        if (folded.toUcs4().size() >= kShortestIndexed)
            fragments << folded;
        run.clear();
    };
    for (const QChar c : pattern) {
        if (c == u'%' || c == u'_')
            flush();
        else
            run += c;
    }
    flush();
    return fragments;
}

std::optional<QString> candidateExpression(const QList<Term> &terms)
{
    // AND binds before OR: the terms form groups joined by OR, each group's terms by AND.
    QList<QStringList> groups;
    for (const Term &term : terms) {
        if (groups.isEmpty() || term.connector == u"OR"_s)
            groups.append(QStringList());
        for (const QString &trigram : termTrigrams(term.text)) {
            if (!groups.back().contains(trigram))
                groups.back() << trigram;
        }
    }
    if (groups.isEmpty())
        return std::nullopt;
    QStringList alternatives;
    for (const QStringList &group : groups) {
        // A group with nothing to look up matches documents the index cannot point to.
        if (group.isEmpty())
            return std::nullopt;
        const QString all = group.join(u" AND "_s);
        alternatives << (group.size() > 1 && groups.size() > 1 ? u'(' + all + u')' : all);
    }
    return alternatives.join(u" OR "_s);
}

QString indexedStatement(const QString &expression, const QString &typeClause,
                         const QString &dateClause, const QString &termsClause)
{
    const QString text = fillPlaces(format::kIndexedStatement, {lib::escapeQuotes(expression),
                                                                typeClause, dateClause, termsClause});
    // As in the plain statement; the expression holds no "+" (its fragments come from
    // the patterns after this same replacement).
    return lib::SubstChar(u"+"_s, u"%"_s, text);
}

namespace {

// The statement with a restriction in front of the plain conditions, which stay: the hits
// are exactly the plain statement's.
QString restrictedStatement(const QString &restriction, const QString &typeClause, const QString &dateClause,
                            const QString &termsText)
{
    return lib::SubstChar(u"+"_s, u"%"_s,
                          fillPlaces(format::kRestrictedStatement, {restriction, typeClause, dateClause, termsText}));
}

QString pageTextStatementToRun(db::Connection &connection, const QList<Term> &terms, const QString &typeClause,
                               const QString &dateClause, bool indexChecked, const TermOptions &options,
                               const QString &plain)
{
    const bool narrowsRange = !typeClause.isEmpty() || !dateClause.isEmpty();
    if (connection.server()) {
        // Without the page texts a server's plain statement is served by its indexes.
        if (!options.pageText || terms.isEmpty()
            || (narrowsRange && fewRowsInRange(connection, typeClause, dateClause)))
            return plain;
        return serverPageTextStatement(*connection.server(), terms, typeClause, dateClause, options.ignoreAccents);
    }
    if (!indexChecked || !fileIndexesReady(connection, options))
        return plain;
    if (narrowsRange && fewRowsInRange(connection, typeClause, dateClause))
        return plain;
    const std::optional<QList<Term>> narrowing = rarestOfEachGroup(connection, terms, options);
    if (!narrowing)
        return plain;
    const std::optional<QString> restriction = pageTextRestriction(*narrowing, options);
    if (!restriction)
        return plain;
    return restrictedStatement(*restriction, typeClause, dateClause, termsClause(terms, options));
}

} // namespace

QString statementToRun(db::Connection &connection, const QList<Term> &terms,
                       const QString &typeClause, const QString &dateClause, bool indexChecked,
                       const TermOptions &options)
{
    const QString termsText = termsClause(terms, options);
    const QString plain = statement(typeClause, dateClause, termsText);
    if (options.pageText || options.ignoreAccents)
        return pageTextStatementToRun(connection, terms, typeClause, dateClause, indexChecked, options, plain);
    // A server archive's own trigram index serves the plain statement's like().
    if (connection.server())
        return plain;
    const std::optional<QString> expression = candidateExpression(terms);
    // Another copy of the program may be filling the index again: then it is not used.
    if (!expression || !indexChecked || !db::searchindex::isFilled(connection.handle()))
        return plain;
    if ((!typeClause.isEmpty() || !dateClause.isEmpty())
        && fewRowsInRange(connection, typeClause, dateClause))
        return plain;
    return indexedStatement(*expression, typeClause, dateClause, termsText);
}

} // namespace search
