#include "db/pg/PgResult.h"

#include <libpq-fe.h>

namespace db::pg {

void PgResult::Clear::operator()(pg_result *result) const noexcept
{
    PQclear(result);
}

PgResult::PgResult(pg_result *result) noexcept : m_result(result) {}

int PgResult::rowCount() const
{
    return PQntuples(get());
}

int PgResult::columnCount() const
{
    return PQnfields(get());
}

QString PgResult::columnName(int column) const
{
    return QString::fromUtf8(PQfname(get(), column));
}

unsigned PgResult::columnType(int column) const
{
    return PQftype(get(), column);
}

bool PgResult::isNull(int row, int column) const
{
    return PQgetisnull(get(), row, column) != 0;
}

QByteArrayView PgResult::bytes(int row, int column) const
{
    return QByteArrayView(PQgetvalue(get(), row, column), PQgetlength(get(), row, column));
}

QString PgResult::text(int row, int column) const
{
    return QString::fromUtf8(bytes(row, column));
}

qint64 PgResult::affectedRows() const
{
    return QByteArray(PQcmdTuples(get())).toLongLong();
}

} // namespace db::pg
