#include "db/ResultText.h"

#include "db/Query.h"

using namespace Qt::StringLiterals;

namespace db {

QString escapeField(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        switch (c.unicode()) {
        case u'\\': out += u"\\\\"_s; break;
        case u'\t': out += u"\\t"_s; break;
        case u'\n': out += u"\\n"_s; break;
        case u'\r': out += u"\\r"_s; break;
        default: out += c;
        }
    }
    return out;
}

QStringList resultLines(Query &query)
{
    QStringList lines;
    QStringList fields;
    for (int c = 0; c < query.fieldCount(); ++c)
        fields << escapeField(query.fieldName(c));
    lines << fields.join(u'\t');
    if (query.isEmpty())
        return lines;
    for (int row = 0; query.moveTo(row); ++row) {
        fields.clear();
        for (int c = 0; c < query.fieldCount(); ++c)
            fields << escapeField(query.asText(c));
        lines << fields.join(u'\t');
    }
    return lines;
}

} // namespace db
