#include "db/pg/PgFold.h"

#include "db/AccentFold.h"
#include "db/Fold.h"
#include "db/pg/PgConnection.h"

#include <QHash>
#include <QList>
#include <optional>

using namespace Qt::StringLiterals;

namespace db::pg {

namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kLastCased = 0x1FFFF; // no letter above has a case
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;

bool isSurrogate(char32_t c)
{
    return c >= kFirstSurrogate && c <= kLastSurrogate;
}

QString character(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

QString literal(const QString &text)
{
    QString quoted = text;
    quoted.replace(u'\'', u"''"_s);
    return u'\'' + quoted + u'\'';
}

struct FoldMap {
    QString from;
    QString to;
};

FoldMap fullMap()
{
    FoldMap map;
    for (char32_t c = 1; c <= kLastCodePoint; ++c) {
        if (isSurrogate(c))
            continue;
        const char32_t folded = foldCodePoint(c);
        if (folded != c) {
            map.from += character(c);
            map.to += character(folded);
        }
    }
    return map;
}

// What lower() makes of each cased code point on this server (its ctype decides).
QHash<char32_t, char32_t> serverLower(PgConnection &connection)
{
    const PgResult result = connection.exec(
        u"SELECT c, ascii(lower(chr(c))) FROM generate_series(1, $1::int) AS c "
        u"WHERE (c < $2::int OR c > $3::int) AND lower(chr(c)) <> chr(c)"_s,
        {PgParam::text(QString::number(kLastCased)), PgParam::text(QString::number(kFirstSurrogate)),
         PgParam::text(QString::number(kLastSurrogate))});
    QHash<char32_t, char32_t> lowered;
    for (int row = 0; row < result.rowCount(); ++row)
        lowered.insert(char32_t(result.text(row, 0).toUInt()), char32_t(result.text(row, 1).toUInt()));
    return lowered;
}

// A character of a bracket expression; the few that mean something there are escaped.
QString bracketItem(char32_t c)
{
    const QString text = character(c);
    return (c == U']' || c == U'\\' || c == U'^' || c == U'-' || c == U'[') ? u'\\' + text : text;
}

// A bracket expression of the code points (to kLastCased) where the server's cheap way
// parts from the fold, plus every code point above.
template <typename Agrees>
QString disagreementClass(Agrees agrees)
{
    QString items;
    auto addRun = [&](char32_t first, char32_t last) {
        items += bracketItem(first);
        if (last > first)
            items += u'-' + bracketItem(last);
    };
    std::optional<char32_t> runStart;
    char32_t previous = 0;
    for (char32_t c = 1; c <= kLastCased; ++c) {
        if (isSurrogate(c))
            continue;
        if (agrees(c))
            continue;
        if (runStart && c == previous + 1) {
            previous = c;
            continue;
        }
        if (runStart)
            addRun(*runStart, previous);
        runStart = previous = c;
    }
    if (runStart)
        addRun(*runStart, previous);
    addRun(kLastCased + 1, kLastCodePoint);
    return u'[' + items + u']';
}

// The accent map as one translate() (letters and dropped marks) and the replace() calls
// for the letters that become several, around `text`.
QString accentMapExpression(const QString &text, bool (*keep)(char32_t))
{
    QString from, to, dropped;
    QList<std::pair<QString, QString>> spelled;
    for (const AccentFoldEntry &entry : accentFoldMap()) {
        if (!keep(entry.from))
            continue;
        if (entry.to.isEmpty())
            dropped += character(entry.from);
        else if (entry.to.size() == 1)
            from += character(entry.from), to += entry.to;
        else
            spelled.append({character(entry.from), entry.to.toString()});
    }
    QString expression = u"translate(%1, %2, %3)"_s.arg(text, literal(from + dropped), literal(to));
    for (const auto &[letter, plain] : spelled)
        expression = u"replace(%1, %2, %3)"_s.arg(expression, literal(letter), literal(plain));
    return expression;
}

// Letters lower() gives for Latin-1 capitals: the cheap way handles these alone.
bool isLatin1Small(char32_t c)
{
    return c >= 0xDF && c <= 0xFF;
}

bool any(char32_t)
{
    return true;
}

QString accentFoldOf(char32_t c)
{
    return foldAccents(character(c));
}

} // namespace

QString foldFunctionStatement(PgConnection &connection)
{
    const FoldMap map = fullMap();
    const QHash<char32_t, char32_t> lowered = serverLower(connection);
    const QString disagreeing =
        disagreementClass([&](char32_t c) { return lowered.value(c, c) == foldCodePoint(c); });
    // Not STRICT, so the server inlines it into the index and the statements.
    return u"CREATE FUNCTION cartulo_fold(text) RETURNS text LANGUAGE sql IMMUTABLE PARALLEL SAFE\n"
           u"AS $fold$SELECT CASE WHEN $1 ~ %1 THEN translate($1, %2, %3) ELSE lower($1) END$fold$"_s
        .arg(literal(disagreeing), literal(map.from), literal(map.to));
}

QString accentFoldFunctionStatement(PgConnection &connection)
{
    const QHash<char32_t, char32_t> lowered = serverLower(connection);
    // The cheap way: lower(), then the map of the Latin-1 small letters.
    const QString cheap = accentMapExpression(u"lower($1)"_s, isLatin1Small);
    auto cheapOf = [&](char32_t c) {
        const char32_t low = lowered.value(c, c);
        return isLatin1Small(low) ? accentFoldOf(low) : character(low);
    };
    const QString disagreeing = disagreementClass([&](char32_t c) { return cheapOf(c) == accentFoldOf(c); });
    const QString full = accentMapExpression(u"cartulo_fold($1)"_s, any);
    return u"CREATE FUNCTION cartulo_sem_acento(text) RETURNS text LANGUAGE sql IMMUTABLE PARALLEL SAFE\n"
           u"AS $fold$SELECT CASE WHEN $1 ~ %1 THEN %2 ELSE %3 END$fold$"_s.arg(literal(disagreeing), full, cheap);
}

} // namespace db::pg
