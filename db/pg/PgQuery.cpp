#include "db/pg/PgQuery.h"

#include "db/DbError.h"
#include "db/pg/PgErrors.h"

#include <QLoggingCategory>
#include <libpq-fe.h>

using namespace Qt::StringLiterals;

Q_DECLARE_LOGGING_CATEGORY(lcDb)

namespace db::pg {

namespace {

// Type OIDs of the server's built-in types.
constexpr unsigned kBoolOid = 16;
constexpr unsigned kByteaOid = 17;
constexpr unsigned kInt8Oid = 20;
constexpr unsigned kInt2Oid = 21;
constexpr unsigned kInt4Oid = 23;
constexpr unsigned kOidOid = 26;
constexpr unsigned kFloat4Oid = 700;
constexpr unsigned kFloat8Oid = 701;
constexpr unsigned kNumericOid = 1700;

const QString kDateDomain = u"cartulo_data"_s;

} // namespace

std::optional<TableShape> PgCatalog::shape(PgConnection &connection, const QString &table)
{
    const PgResult result = connection.exec(
        u"SELECT a.attname, t.typname, t.typcategory = 'S' FROM pg_attribute a "
        u"JOIN pg_type t ON t.oid = a.atttypid "
        u"WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"_s,
        {PgParam::text(table)});
    if (result.rowCount() == 0)
        return std::nullopt;
    TableShape shape;
    for (int row = 0; row < result.rowCount(); ++row) {
        shape.columns << result.text(row, 0);
        shape.isDate << (result.text(row, 1) == kDateDomain);
        shape.isText << (result.text(row, 2) == u"t"_s);
    }
    return shape;
}

const PgCatalog::TableColumns &PgCatalog::columnsOf(PgConnection &connection, unsigned tableOid)
{
    auto it = m_tables.find(tableOid);
    if (it != m_tables.end())
        return *it;
    const PgResult result = connection.exec(
        u"SELECT c.relname, a.attnum, t.typname FROM pg_class c "
        u"JOIN pg_attribute a ON a.attrelid = c.oid JOIN pg_type t ON t.oid = a.atttypid "
        u"WHERE c.oid = $1::oid AND a.attnum > 0"_s,
        {PgParam::text(QString::number(tableOid))});
    TableColumns columns;
    for (int row = 0; row < result.rowCount(); ++row) {
        columns.table = result.text(row, 0);
        columns.isDate.insert(result.text(row, 1).toInt(), result.text(row, 2) == kDateDomain);
    }
    return *m_tables.insert(tableOid, columns);
}

QList<ResultColumn> PgCatalog::origins(PgConnection &connection, const PgResult &result)
{
    QList<ResultColumn> origins;
    for (int c = 0; c < result.columnCount(); ++c) {
        ResultColumn origin;
        origin.name = result.columnName(c);
        const unsigned table = PQftable(result.get(), c);
        const int attribute = PQftablecol(result.get(), c);
        if (table != InvalidOid && attribute > 0) {
            const TableColumns &columns = columnsOf(connection, table);
            origin.table = columns.table;
            origin.isDate = columns.isDate.value(attribute);
        }
        origins << origin;
    }
    return origins;
}

void PgCatalog::originsFromSelectList(PgConnection &connection, QList<ResultColumn> &origins,
                                      const QList<SelectItem> &items)
{
    if (items.size() != origins.size())
        return; // a star stands for several columns
    QHash<QString, std::optional<TableShape>> shapes;
    for (qsizetype c = 0; c < origins.size(); ++c) {
        if (!origins[c].table.isEmpty() || items[c].table.isEmpty())
            continue;
        const QString name = items[c].table.toLower();
        if (!shapes.contains(name))
            shapes.insert(name, shape(connection, name));
        const std::optional<TableShape> &table = shapes[name];
        const qsizetype column = table ? table->indexOf(items[c].column) : -1;
        if (column < 0)
            continue;
        origins[c].table = name;
        origins[c].isDate = table->isDate[column];
    }
}

void PgCatalog::clear()
{
    m_tables.clear();
}

void appendRow(const PgResult &result, int row, ResultRows::Batch &batch)
{
    batch.beginRow();
    for (int c = 0; c < result.columnCount(); ++c) {
        if (result.isNull(row, c)) {
            batch.addNull();
            continue;
        }
        const QByteArrayView bytes = result.bytes(row, c);
        switch (result.columnType(c)) {
        case kInt2Oid:
        case kInt4Oid:
        case kInt8Oid:
        case kOidOid:
            batch.addInteger(bytes.toLongLong());
            break;
        case kFloat4Oid:
        case kFloat8Oid:
        case kNumericOid:
            batch.addReal(bytes.toDouble());
            break;
        case kBoolOid:
            batch.addInteger(bytes == "t" ? 1 : 0);
            break;
        case kByteaOid: {
            size_t length = 0;
            unsigned char *raw = PQunescapeBytea(reinterpret_cast<const unsigned char *>(bytes.data()), &length);
            if (!raw)
                throw DbError(u"Sem memória para ler um valor binário."_s);
            batch.addBlob(raw, int(length));
            PQfreemem(raw);
            break;
        }
        default:
            batch.addText(bytes.data(), int(bytes.size()));
        }
    }
}

std::shared_ptr<PgReadPool> PgReadPool::create(const ServerAddress &address)
{
    return std::shared_ptr<PgReadPool>(new PgReadPool(address));
}

std::unique_ptr<PgConnection> PgReadPool::acquire()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            throw DbError(u"A conexão com o banco de dados não está aberta."_s);
        if (!m_free.empty()) {
            auto connection = std::move(m_free.back());
            m_free.pop_back();
            return connection;
        }
    }
    auto connection = std::make_unique<PgConnection>(m_address);
    connection->exec(u"SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"_s);
    // A table read whole starts at its first row, whatever another reader is doing: the
    // rows of a search come in the same order every time.
    connection->exec(u"SET synchronize_seqscans = off"_s);
    return connection;
}

void PgReadPool::giveBack(std::unique_ptr<PgConnection> connection)
{
    std::lock_guard lock(m_mutex);
    if (!m_closed && m_free.size() < kKeptFree)
        m_free.push_back(std::move(connection));
}

void PgReadPool::close()
{
    std::vector<std::unique_ptr<PgConnection>> closing;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        closing.swap(m_free);
    }
}

void PgStreamReader::FreeCancel::operator()(pg_cancel *cancel) const noexcept
{
    PQfreeCancel(cancel);
}

PgStreamReader::PgStreamReader(std::shared_ptr<PgReadPool> pool, const QString &sql)
    : m_pool(std::move(pool)), m_connection(m_pool->acquire())
{
    PGconn *conn = m_connection->handle();
    const QByteArray text = sql.toUtf8();
    // The extended protocol refuses a second statement in the text, as the archive
    // connection does.
    if (!PQsendQueryParams(conn, text.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0)
        || !PQsetSingleRowMode(conn)) {
        const DbError error = connectionErrorOf(conn, PQstatus(conn) == CONNECTION_OK ? ErrorKind::Other
                                                                                     : ErrorKind::ConnectionFailed);
        finish();
        throw error;
    }
    m_cancel.reset(PQgetCancel(conn));
    try {
        if (next())
            m_rowPending = m_current.rowCount() > 0;
    } catch (const DbError &) {
        finish();
        throw;
    }
}

PgStreamReader::~PgStreamReader()
{
    finish();
}

void PgStreamReader::finish() noexcept
{
    if (!m_connection)
        return;
    PGconn *conn = m_connection->handle();
    if (!m_ended && m_cancel) {
        char message[256];
        PQcancel(m_cancel.get(), message, sizeof message);
    }
    while (PGresult *rest = PQgetResult(conn))
        PQclear(rest);
    m_ended = true;
    if (PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) == PQTRANS_IDLE)
        m_pool->giveBack(std::move(m_connection));
    m_connection.reset();
}

bool PgStreamReader::next()
{
    if (m_ended)
        return false;
    PgResult result(PQgetResult(m_connection->handle()));
    if (!result.get()) {
        m_ended = true;
        return false;
    }
    switch (PQresultStatus(result.get())) {
    case PGRES_SINGLE_TUPLE:
        m_current = std::move(result);
        return true;
    case PGRES_TUPLES_OK:
    case PGRES_COMMAND_OK:
        // The end: a result without rows, with the columns' description.
        m_current = std::move(result);
        while (PgResult(PQgetResult(m_connection->handle())).get()) {}
        m_ended = true;
        return true;
    default: {
        const DbError error = errorOf(result.get());
        while (PgResult(PQgetResult(m_connection->handle())).get()) {}
        m_ended = true;
        throw error;
    }
    }
}

bool PgStreamReader::readRow(ResultRows::Batch &batch)
{
    if (!m_rowPending) {
        if (!next() || m_current.rowCount() == 0)
            return false;
    }
    m_rowPending = false;
    appendRow(m_current, 0, batch);
    return true;
}

void PgStreamReader::cancel() noexcept
{
    // PQcancel is meant to be called from another thread than the one reading.
    if (m_cancel) {
        char message[256];
        PQcancel(m_cancel.get(), message, sizeof message);
    }
}

bool PgResultReader::readRow(ResultRows::Batch &batch)
{
    if (m_next >= m_result.rowCount())
        return false;
    appendRow(m_result, m_next++, batch);
    return true;
}

} // namespace db::pg
