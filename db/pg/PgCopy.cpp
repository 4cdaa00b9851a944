#include "db/pg/PgCopy.h"

#include "db/pg/PgErrors.h"

#include <QLoggingCategory>
#include <cmath>
#include <libpq-fe.h>

using namespace Qt::StringLiterals;

Q_DECLARE_LOGGING_CATEGORY(lcDb)

namespace db::pg {

namespace {

constexpr qsizetype kFlushBytes = 1 << 20;

QString quotedIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(u'"', u"\"\""_s);
    return u'"' + quoted + u'"';
}

// The text format's escapes: a tab, newline or backslash in a value would end or change it.
void appendEscaped(QByteArray &out, QByteArrayView utf8)
{
    for (const char c : utf8) {
        switch (c) {
        case '\\': out.append("\\\\"); break;
        case '\t': out.append("\\t"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        default: out.append(c);
        }
    }
}

} // namespace

PgCopy::PgCopy(PgConnection &connection, const QString &table, const QStringList &columns)
    : m_connection(connection), m_columnCount(int(columns.size()))
{
    if (columns.isEmpty())
        throw DbError(u"COPY sem colunas."_s);
    QStringList quoted;
    for (const QString &column : columns)
        quoted << quotedIdentifier(column);
    const QByteArray sql = u"COPY %1 (%2) FROM STDIN"_s.arg(quotedIdentifier(table), quoted.join(u", "_s)).toUtf8();
    PgResult started(PQexec(connection.handle(), sql.constData()));
    if (!started.get())
        throw connectionErrorOf(connection.handle(), ErrorKind::ConnectionFailed);
    if (PQresultStatus(started.get()) != PGRES_COPY_IN)
        throw errorOf(started.get());
    m_buffer.reserve(kFlushBytes + 4096);
}

PgCopy::~PgCopy()
{
    if (!m_open)
        return;
    try {
        abort(u"cópia interrompida"_s);
    } catch (const DbError &error) {
        qCWarning(lcDb).noquote() << "COPY abort failed:" << error.message();
    }
}

void PgCopy::beginValue()
{
    if (!m_open)
        throw DbError(u"A cópia já terminou."_s);
    if (m_valuesInRow == m_columnCount)
        throw DbError(u"Linha de COPY com mais de %1 valores."_s.arg(m_columnCount));
    if (m_valuesInRow > 0)
        m_buffer.append('\t');
    ++m_valuesInRow;
}

PgCopy &PgCopy::text(const QString &value)
{
    if (value.contains(QChar(0)))
        throw DbError(u"Um texto com o caractere nulo não pode ir ao servidor."_s);
    beginValue();
    appendEscaped(m_buffer, value.toUtf8());
    return *this;
}

PgCopy &PgCopy::integer(qint64 value)
{
    beginValue();
    m_buffer.append(QByteArray::number(value));
    return *this;
}

PgCopy &PgCopy::real(double value)
{
    if (!std::isfinite(value))
        throw DbError(u"Número não finito na cópia."_s, ErrorKind::OutOfRange);
    beginValue();
    m_buffer.append(QByteArray::number(value, 'g', 17));
    return *this;
}

PgCopy &PgCopy::bytes(const QByteArray &value)
{
    beginValue();
    // bytea's hex input (\x...), its backslash escaped for the text format.
    m_buffer.append("\\\\x");
    m_buffer.append(value.toHex());
    return *this;
}

PgCopy &PgCopy::null()
{
    beginValue();
    m_buffer.append("\\N");
    return *this;
}

void PgCopy::endRow()
{
    if (!m_open)
        throw DbError(u"A cópia já terminou."_s);
    if (m_valuesInRow != m_columnCount)
        throw DbError(u"Linha de COPY com %1 valores; a tabela recebe %2."_s.arg(m_valuesInRow).arg(m_columnCount));
    m_buffer.append('\n');
    m_valuesInRow = 0;
    ++m_rows;
    if (m_buffer.size() >= kFlushBytes)
        flush();
}

void PgCopy::putData(const QByteArray &data)
{
    if (PQputCopyData(m_connection.handle(), data.constData(), int(data.size())) != 1)
        throw connectionErrorOf(m_connection.handle(), ErrorKind::ConnectionFailed);
}

void PgCopy::flush()
{
    if (m_buffer.isEmpty())
        return;
    putData(m_buffer);
    m_buffer.clear();
}

qint64 PgCopy::finish()
{
    if (!m_open)
        throw DbError(u"A cópia já terminou."_s);
    if (m_valuesInRow != 0)
        throw DbError(u"A última linha da cópia está incompleta."_s);
    flush();
    m_open = false;
    PGconn *conn = m_connection.handle();
    if (PQputCopyEnd(conn, nullptr) != 1)
        throw connectionErrorOf(conn, ErrorKind::ConnectionFailed);
    std::optional<DbError> failure;
    qint64 stored = 0;
    for (;;) {
        const PgResult result(PQgetResult(conn));
        if (!result.get())
            break;
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK)
            stored = QByteArray(PQcmdTuples(result.get())).toLongLong();
        else if (!failure)
            failure = errorOf(result.get());
    }
    if (failure)
        throw *failure;
    return stored;
}

void PgCopy::abort(const QString &reason)
{
    if (!m_open)
        return;
    m_open = false;
    m_buffer.clear();
    PGconn *conn = m_connection.handle();
    const QByteArray why = reason.toUtf8();
    const bool sent = PQputCopyEnd(conn, why.constData()) == 1;
    // The server answers the abort with an error result; the copy is over with it.
    while (PgResult(PQgetResult(conn)).get()) {}
    if (!sent)
        throw connectionErrorOf(conn, ErrorKind::ConnectionFailed);
}

} // namespace db::pg
