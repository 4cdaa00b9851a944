#include "editing/RowTexts.h"

#include "db/Query.h"

namespace editing {

QStringList currentRowTexts(const db::Query &query, int count)
{
    QStringList texts;
    texts.reserve(count);
    for (int column = 0; column < count; ++column)
        texts.append(query.recNo() < 0 ? QString() : query.asText(column));
    return texts;
}

void stepByCaption(db::Query &query, const QString &caption)
{
    if (caption.size() == 7)
        query.next();
    else if (caption.size() == 8)
        query.prior();
}

} // namespace editing
