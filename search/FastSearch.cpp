#include "search/FastSearch.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Fold.h"
#include "db/Query.h"
#include "db/SearchIndex.h"
#include "editing/lib.h"
#include "search/Logging.h"

using namespace Qt::StringLiterals;

namespace search {

namespace {

// The trigram index holds no substring shorter than this.
constexpr qsizetype kShortestIndexed = 3;

// The trigrams every match of one term holds.
QStringList termTrigrams(const QString &term)
{
    QStringList trigrams;
    for (const QString &fragment : necessaryFragments(likePattern(term)))
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

} // namespace

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

QString statementToRun(db::Connection &connection, const QList<Term> &terms,
                       const QString &typeClause, const QString &dateClause, bool indexChecked)
{
    const QString termsText = termsClause(terms);
    const QString plain = statement(typeClause, dateClause, termsText);
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
