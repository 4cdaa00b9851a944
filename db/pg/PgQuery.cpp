#include "db/pg/PgQuery.h"

#include "db/DbError.h"

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
const QString kCursor = u"cartulo_leitura"_s;

// The first rows come at once, for the screen; the rest in bigger batches.
constexpr int kFirstFetch = 64;
constexpr int kFetch = 2000;

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
    return std::make_unique<PgConnection>(m_address);
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

PgCursorReader::PgCursorReader(std::shared_ptr<PgReadPool> pool, const QString &sql)
    : m_pool(std::move(pool)), m_connection(m_pool->acquire())
{
    try {
        m_connection->exec(u"BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"_s);
        m_connection->exec(u"DECLARE %1 NO SCROLL CURSOR FOR %2"_s.arg(kCursor, sql));
        m_batch = m_connection->exec(u"FETCH %1 FROM %2"_s.arg(kFirstFetch).arg(kCursor));
        m_lastBatch = m_batch.rowCount() < kFirstFetch;
    } catch (const DbError &) {
        if (m_connection->inTransaction()) {
            try {
                m_connection->exec(u"ROLLBACK"_s);
            } catch (const DbError &) {
                m_connection.reset();
            }
        }
        if (m_connection)
            m_pool->giveBack(std::move(m_connection));
        throw;
    }
}

PgCursorReader::~PgCursorReader()
{
    if (!m_connection)
        return;
    try {
        m_connection->exec(u"ROLLBACK"_s); // the snapshot ends with the reading
        m_pool->giveBack(std::move(m_connection));
    } catch (const DbError &error) {
        qCDebug(lcDb) << "reading connection dropped:" << error.message();
    }
}

void PgCursorReader::fetch()
{
    m_batch = m_connection->exec(u"FETCH %1 FROM %2"_s.arg(kFetch).arg(kCursor));
    m_next = 0;
    m_lastBatch = m_batch.rowCount() < kFetch;
}

bool PgCursorReader::readRow(ResultRows::Batch &batch)
{
    if (m_next >= m_batch.rowCount()) {
        if (m_lastBatch)
            return false;
        fetch();
        if (m_batch.rowCount() == 0)
            return false;
    }
    appendRow(m_batch, m_next++, batch);
    return true;
}

void PgCursorReader::cancel() noexcept
{
    // PQcancel is meant to be called from another thread than the one reading.
    PGcancel *cancel = PQgetCancel(m_connection->handle());
    if (!cancel)
        return;
    char message[256];
    PQcancel(cancel, message, sizeof message);
    PQfreeCancel(cancel);
}

bool PgResultReader::readRow(ResultRows::Batch &batch)
{
    if (m_next >= m_result.rowCount())
        return false;
    appendRow(m_result, m_next++, batch);
    return true;
}

} // namespace db::pg
