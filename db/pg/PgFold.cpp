#include "db/pg/PgFold.h"

#include "db/Fold.h"
#include "db/pg/PgConnection.h"

#include <QHash>
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

// A bracket expression of the code points where lower() and the fold part ways.
QString disagreementClass(const QHash<char32_t, char32_t> &lowered)
{
    QString items;
    auto addRun = [&](char32_t first, char32_t last) {
        items += character(first);
        if (last > first)
            items += u'-' + character(last);
    };
    std::optional<char32_t> runStart;
    char32_t previous = 0;
    for (char32_t c = 1; c <= kLastCased; ++c) {
        if (isSurrogate(c))
            continue;
        if (lowered.value(c, c) == foldCodePoint(c))
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

} // namespace

QString foldFunctionStatement(PgConnection &connection)
{
    const FoldMap map = fullMap();
    const QString disagreeing = disagreementClass(serverLower(connection));
    // Not STRICT, so the server inlines it into the index and the statements.
    return u"CREATE FUNCTION cartulo_fold(text) RETURNS text LANGUAGE sql IMMUTABLE PARALLEL SAFE\n"
           u"AS $fold$SELECT CASE WHEN $1 ~ %1 THEN translate($1, %2, %3) ELSE lower($1) END$fold$"_s
        .arg(literal(disagreeing), literal(map.from), literal(map.to));
}

} // namespace db::pg
