#include "search/SearchStatement.h"

#include "db/JetDate.h"
#include "editing/lib.h"

using namespace Qt::StringLiterals;

namespace search {

QString fillPlaces(QStringView format, const QStringList &arguments)
{
    QString out;
    out.reserve(format.size() + 64);
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's') {
            if (next < arguments.size())
                out += arguments[next];
            ++next;
            ++i;
            continue;
        }
        out += format[i];
    }
    return out;
}

QList<Term> usedTerms(const QStringList &fields, const QList<bool> &andBefore)
{
    QList<Term> terms;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (fields[i].isEmpty())
            break; // the fields after an empty one are ignored
        QString connector;
        if (i > 0)
            connector = (i - 1 < andBefore.size() && andBefore[i - 1]) ? u"AND"_s : u"OR"_s;
        terms.append({connector, fields[i]});
    }
    return terms;
}

std::optional<QString> paddedTypeCode(const QString &text, int digits)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    // The format pattern is "0" repeated `digits` times: at least that many digits.
    const QString pattern = lib::RepeatStr(u"0"_s, digits);
    const QString magnitude = QString::number(qAbs(value)).rightJustified(pattern.size(), u'0');
    return value < 0 ? u'-' + magnitude : magnitude;
}

QString dayNumberOf(const QString &dateText)
{
    const std::optional<QDateTime> date = db::parseDayFirst(dateText);
    if (!date)
        return kNoDay.toString();
    return db::formatDayNumber(db::toDayNumber(*date));
}

QString typeClause(const QString &code)
{
    if (code.isEmpty())
        return {};
    return fillPlaces(format::kTypeCondition, {lib::escapeQuotes(code)});
}

QString dateClause(const QString &startDay, const QString &endDay)
{
    const bool hasStart = !startDay.isEmpty() && startDay != kNoDay;
    const bool hasEnd = !endDay.isEmpty() && endDay != kNoDay;
    if (hasStart && hasEnd)
        return fillPlaces(format::kDateRange, {startDay, endDay});
    if (hasStart)
        return fillPlaces(format::kDateFrom, {startDay});
    if (hasEnd)
        return fillPlaces(format::kDateUntil, {endDay});
    return {};
}

namespace {

QStringView termFormat(const TermOptions &options)
{
    if (options.pageText)
        return options.ignoreAccents ? format::kTermConditionWithPagesNoAccents : format::kTermConditionWithPages;
    return options.ignoreAccents ? format::kTermConditionNoAccents : format::kTermCondition;
}

} // namespace

QString termCondition(const QString &connector, const QString &term, const TermOptions &options)
{
    const QString literal = lib::escapeQuotes(term);
    QStringList arguments{connector, literal, literal, literal};
    if (options.pageText)
        arguments << literal;
    return fillPlaces(termFormat(options), arguments);
}

QString termsClause(const QList<Term> &terms, const TermOptions &options)
{
    QString clause;
    for (const Term &term : terms)
        clause += termCondition(term.connector, term.text, options);
    if (clause.isEmpty())
        return {};
    return u" And ("_s + clause + u')';
}

QString statement(const QString &typeClause, const QString &dateClause, const QString &termsClause)
{
    const QString text = fillPlaces(format::kStatement, {typeClause, dateClause, termsClause});
    return lib::SubstChar(u"+"_s, u"%"_s, text);
}

QString scriptLine(const QString &statement)
{
    return lib::SubstChar(u"\""_s, u"'"_s, statement);
}

QString likePattern(const QString &term)
{
    return u'%' + lib::SubstChar(u"+"_s, u"%"_s, term) + u'%';
}

QString firstHitPageStatement(const QString &process, const QString &document, const QList<Term> &terms,
                              const TermOptions &options)
{
    QStringList conditions;
    const QStringView like = options.ignoreAccents ? format::kPageTextLikeNoAccents : format::kPageTextLike;
    for (const Term &term : terms)
        conditions << fillPlaces(like, {lib::escapeQuotes(likePattern(term.text))});
    if (conditions.isEmpty())
        return {};
    return fillPlaces(format::kFirstHitPage,
                      {lib::escapeQuotes(process), lib::escapeQuotes(document), conditions.join(u" or "_s)});
}

} // namespace search
