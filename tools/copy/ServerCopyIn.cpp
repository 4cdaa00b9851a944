#include "tools/copy/ServerCopyIn.h"

#include "db/DbError.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgErrors.h"

#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace copying {

namespace {

constexpr qsizetype kSendSize = 1 << 20;

// The one result the server gives when a COPY ends; the last one is kept.
db::pg::PgResult lastResult(pg_conn *conn)
{
    db::pg::PgResult last;
    while (PGresult *result = PQgetResult(conn))
        last = db::pg::PgResult(result);
    return last;
}

} // namespace

ServerCopyIn::ServerCopyIn(db::pg::PgConnection &connection, const QString &copyStatement)
    : m_connection(connection)
{
    const db::pg::PgResult started(PQexec(connection.handle(), copyStatement.toUtf8().constData()));
    if (!started.get() || PQresultStatus(started.get()) != PGRES_COPY_IN) {
        m_open = false;
        throw started.get() ? db::pg::errorOf(started.get())
                            : db::pg::connectionErrorOf(connection.handle(), db::ErrorKind::ConnectionFailed);
    }
    m_buffer.reserve(kSendSize + (64 << 10));
}

ServerCopyIn::~ServerCopyIn()
{
    if (!m_open)
        return;
    PQputCopyEnd(m_connection.handle(), "cópia interrompida");
    lastResult(m_connection.handle());
}

void ServerCopyIn::writeLine(QByteArrayView line)
{
    m_buffer.append(line);
    if (m_buffer.size() >= kSendSize)
        send();
}

void ServerCopyIn::send()
{
    if (m_buffer.isEmpty())
        return;
    if (PQputCopyData(m_connection.handle(), m_buffer.constData(), int(m_buffer.size())) != 1)
        throw db::pg::connectionErrorOf(m_connection.handle(), db::ErrorKind::ConnectionFailed);
    m_buffer.clear();
}

void ServerCopyIn::finish()
{
    send();
    m_open = false;
    if (PQputCopyEnd(m_connection.handle(), nullptr) != 1)
        throw db::pg::connectionErrorOf(m_connection.handle(), db::ErrorKind::ConnectionFailed);
    const db::pg::PgResult result = lastResult(m_connection.handle());
    if (!result.get())
        throw db::pg::connectionErrorOf(m_connection.handle(), db::ErrorKind::ConnectionFailed);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        throw db::pg::errorOf(result.get());
}

void ServerCopyIn::appendText(QByteArray &line, QByteArrayView text)
{
    for (const char c : text) {
        switch (c) {
        case '\\': line.append("\\\\"); break;
        case '\t': line.append("\\t"); break;
        case '\n': line.append("\\n"); break;
        case '\r': line.append("\\r"); break;
        default: line.append(c);
        }
    }
}

void ServerCopyIn::appendBytes(QByteArray &line, QByteArrayView bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    line.append("\\\\x");
    const qsizetype start = line.size();
    line.resize(start + 2 * bytes.size());
    char *out = line.data() + start;
    for (const char c : bytes) {
        *out++ = digits[(uchar(c) >> 4) & 0xf];
        *out++ = digits[uchar(c) & 0xf];
    }
}

} // namespace copying
