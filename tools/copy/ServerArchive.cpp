#include "tools/copy/ServerArchive.h"

#include "db/DbError.h"
#include "db/pg/PgSchema.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace copying {

namespace {

using db::pg::PgConnection;
using db::pg::PgResult;
using db::pg::ResultFormat;
using db::schema::ColumnType;
using db::schema::TableSpec;

QString shelfTable(Shelf shelf)
{
    return (shelf == Shelf::Pages ? db::pg::schema::kPagesTable : db::pg::schema::kPagesAsideTable).toString();
}

// Pages in PageId order; among the same codes and number, in the order they moved aside.
QString shelfOrder(Shelf shelf)
{
    return shelf == Shelf::Pages ? u"processo, documento, numero"_s : u"processo, documento, numero, id"_s;
}

/// A cursor over a query, fetched in batches inside the connection's transaction.
class Cursor {
public:
    Cursor(PgConnection &server, const QString &name, const QString &query, int batch, ResultFormat format)
        : m_server(server), m_name(name), m_batch(batch), m_format(format)
    {
        m_server.exec(u"DECLARE %1 NO SCROLL CURSOR FOR %2"_s.arg(name, query));
    }
    ~Cursor()
    {
        try {
            m_server.exec(u"CLOSE %1"_s.arg(m_name));
        } catch (const db::DbError &) {
            // a failed transaction has closed it already
        }
    }
    Cursor(const Cursor &) = delete;
    Cursor &operator=(const Cursor &) = delete;

    /// Moves to the next row; false at the end.
    bool advance()
    {
        if (++m_row < m_rows.rowCount())
            return true;
        if (m_done)
            return false;
        m_rows = m_server.exec(u"FETCH %1 FROM %2"_s.arg(QString::number(m_batch), m_name), {}, m_format);
        m_row = 0;
        m_done = m_rows.rowCount() < m_batch;
        return m_rows.rowCount() > 0;
    }
    QByteArrayView bytes(int column) const { return m_rows.bytes(m_row, column); }
    bool isNull(int column) const { return m_rows.isNull(m_row, column); }

private:
    PgConnection &m_server;
    QString m_name;
    int m_batch;
    ResultFormat m_format;
    PgResult m_rows;
    int m_row = -1;
    bool m_done = false;
};

QByteArray fromHexText(QByteArrayView text)
{
    // bytea's text form: "\x" and two hexadecimal digits a byte
    return QByteArray::fromHex(text.sliced(2).toByteArray());
}

Cell cellOf(const Cursor &cursor, int column, ColumnType type)
{
    Cell cell;
    if (cursor.isNull(column))
        return cell;
    const QByteArrayView text = cursor.bytes(column);
    switch (type) {
    case ColumnType::Text:
    case ColumnType::LongText:
        cell.kind = Cell::Kind::Text;
        cell.bytes = text.toByteArray();
        break;
    case ColumnType::Int16:
    case ColumnType::Integer:
        cell.kind = Cell::Kind::Integer;
        cell.integer = text.toLongLong();
        break;
    case ColumnType::Date:
        // The server writes the shortest text that reads back as the same double.
        cell.kind = Cell::Kind::Real;
        cell.real = text.toDouble();
        break;
    case ColumnType::Blob:
        cell.kind = Cell::Kind::Blob;
        cell.bytes = fromHexText(text);
        break;
    }
    return cell;
}

class ServerRowReader final : public Reader<Row> {
public:
    ServerRowReader(PgConnection &server, const QString &cursorName, const TableSpec &table)
        : m_table(table),
          m_cursor(server, cursorName,
                   u"SELECT %1 FROM %2%3"_s.arg(columnNames(table).join(u", "_s), table.name,
                                               table.key.isEmpty() ? QString() : u" ORDER BY "_s + table.key.join(u", "_s)),
                   5000, ResultFormat::Text)
    {
    }

    std::optional<Row> next() override
    {
        if (!m_cursor.advance())
            return std::nullopt;
        Row row;
        row.reserve(m_table.columns.size());
        for (int i = 0; i < m_table.columns.size(); ++i)
            row.push_back(cellOf(m_cursor, i, m_table.columns[i].type));
        return row;
    }

private:
    TableSpec m_table;
    Cursor m_cursor;
};

int number(QByteArrayView text)
{
    return text.toInt();
}

/// Numbers each page among those of the same codes and page number.
class CopyCounter {
public:
    PageId id(int process, int document, int page)
    {
        PageId id = PageId::of(process, document, page);
        id.copy = id.key == m_lastKey ? m_lastCopy + 1 : 1;
        m_lastKey = id.key;
        m_lastCopy = id.copy;
        return id;
    }

private:
    qint64 m_lastKey = -1;
    int m_lastCopy = 0;
};

class ServerPageReader final : public Reader<Page> {
public:
    ServerPageReader(PgConnection &server, const QString &cursorName, Shelf shelf)
        : m_shelf(shelf),
          // Binary: the bytes come unescaped; the other columns are sent as text, whose
          // binary form is the text itself. A few pages a trip keeps memory small.
          m_cursor(server, cursorName,
                   u"SELECT processo, documento, numero::text, imagem%1 FROM %2 ORDER BY %3"_s.arg(
                       shelf == Shelf::Aside ? u", (extract(epoch FROM excluida_em) * 1000)::bigint::text"_s : QString(),
                       shelfTable(shelf), shelfOrder(shelf)),
                   4, ResultFormat::Binary)
    {
    }

    std::optional<Page> next() override
    {
        if (!m_cursor.advance())
            return std::nullopt;
        Page page;
        page.id = m_copies.id(number(m_cursor.bytes(0)), number(m_cursor.bytes(1)), number(m_cursor.bytes(2)));
        page.bytes = m_cursor.bytes(3).toByteArray();
        if (m_shelf == Shelf::Aside)
            page.movedAside = QDateTime::fromMSecsSinceEpoch(m_cursor.bytes(4).toLongLong(), Qt::UTC);
        return page;
    }

private:
    Shelf m_shelf;
    Cursor m_cursor;
    CopyCounter m_copies;
};

class ServerDigestReader final : public Reader<PageDigest> {
public:
    ServerDigestReader(PgConnection &server, const QString &cursorName, Shelf shelf)
        : m_cursor(server, cursorName,
                   u"SELECT processo, documento, numero, sha256(imagem) FROM %1 ORDER BY %2"_s.arg(shelfTable(shelf),
                                                                                                 shelfOrder(shelf)),
                   5000, ResultFormat::Text)
    {
    }

    std::optional<PageDigest> next() override
    {
        if (!m_cursor.advance())
            return std::nullopt;
        return PageDigest{m_copies.id(number(m_cursor.bytes(0)), number(m_cursor.bytes(1)), number(m_cursor.bytes(2))),
                          fromHexText(m_cursor.bytes(3))};
    }

private:
    Cursor m_cursor;
    CopyCounter m_copies;
};

QString textOf(const QByteArray &utf8, const QString &table)
{
    QString text = QString::fromUtf8(utf8);
    // A byte that is not UTF-8 would become a replacement character: refused, not changed.
    if (text.toUtf8() != utf8)
        throw db::DbError(u"Um texto da tabela %1 não está em UTF-8 e não pode ir ao servidor sem mudar: %2"_s.arg(
            table, text.left(60)));
    return text;
}

void putCell(db::pg::PgCopy &copy, const Cell &cell, ColumnType type, const QString &table)
{
    switch (cell.kind) {
    case Cell::Kind::Null:
        copy.null();
        break;
    case Cell::Kind::Integer:
        copy.integer(cell.integer);
        break;
    case Cell::Kind::Real:
        copy.real(cell.real);
        break;
    case Cell::Kind::Text:
    case Cell::Kind::Blob:
        if (type == ColumnType::Blob)
            copy.bytes(cell.bytes);
        else
            copy.text(textOf(cell.bytes, table));
        break;
    }
}

class ServerRowWriter final : public RowWriter {
public:
    ServerRowWriter(PgConnection &server, const TableSpec &table)
        : m_table(table), m_copy(server, table.name, columnNames(table))
    {
    }

    void write(const Row &row) override
    {
        for (size_t i = 0; i < row.size(); ++i)
            putCell(m_copy, row[i], m_table.columns[qsizetype(i)].type, m_table.name);
        m_copy.endRow();
    }

    void finish() override
    {
        const qint64 sent = m_copy.rowsSent();
        if (const qint64 stored = m_copy.finish(); stored != sent)
            throw db::DbError(u"O servidor guardou %1 de %2 registros da tabela %3."_s.arg(
                QString::number(stored), QString::number(sent), m_table.name));
    }

private:
    TableSpec m_table;
    db::pg::PgCopy m_copy;
};

} // namespace

ServerArchive::ServerArchive(const db::ServerAddress &address, Role role) : m_server(address)
{
    if (role == Role::Source) {
        db::pg::schema::checkIsArchive(m_server);
        m_transaction.emplace(m_server);
        // One snapshot for the whole copy and its verification.
        m_server.exec(u"SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"_s);
        return;
    }
    const PgResult present = m_server.exec(
        u"SELECT count(*) FROM unnest($1::text[]) AS n WHERE to_regclass(n) IS NOT NULL"_s,
        {db::pg::PgParam::text(u'{' + db::pg::schema::tableNames().join(u',') + u'}')});
    if (present.text(0, 0) == u"0"_s) {
        db::pg::schema::create(m_server);
        m_created = true;
    }
    db::pg::schema::checkIsArchive(m_server);
}

ServerArchive::~ServerArchive()
{
    m_pageCopy.reset();
}

QString ServerArchive::nextCursorName()
{
    return u"copia_%1"_s.arg(++m_cursors);
}

qint64 ServerArchive::count(const QString &table)
{
    return m_server.exec(u"SELECT count(*) FROM %1"_s.arg(table)).text(0, 0).toLongLong();
}

qint64 ServerArchive::rowCount(const TableSpec &table)
{
    return count(table.name);
}

std::unique_ptr<Reader<Row>> ServerArchive::readRows(const TableSpec &table)
{
    return std::make_unique<ServerRowReader>(m_server, nextCursorName(), table);
}

qint64 ServerArchive::pageCount(Shelf shelf)
{
    return count(shelfTable(shelf));
}

std::unique_ptr<Reader<Page>> ServerArchive::readPages(Shelf shelf)
{
    return std::make_unique<ServerPageReader>(m_server, nextCursorName(), shelf);
}

std::unique_ptr<Reader<PageDigest>> ServerArchive::readDigests(Shelf shelf)
{
    return std::make_unique<ServerDigestReader>(m_server, nextCursorName(), shelf);
}

void ServerArchive::beginWriting()
{
    m_transaction.emplace(m_server);
    QStringList tables;
    for (const TableSpec &table : db::schema::archiveTables())
        tables << table.name;
    tables << shelfTable(Shelf::Pages) << shelfTable(Shelf::Aside);
    // Other workstations may read, but nobody writes until the copy is committed or gone.
    m_server.exec(u"SET LOCAL lock_timeout = '10s'"_s);
    m_server.exec(u"LOCK TABLE %1 IN EXCLUSIVE MODE"_s.arg(tables.join(u", "_s)));
    Holdings holdings;
    for (const TableSpec &table : db::schema::archiveTables())
        holdings.rows.append({table.name, count(table.name)});
    holdings.pages = pageCount(Shelf::Pages);
    holdings.pagesAside = pageCount(Shelf::Aside);
    refuseUnlessEmptyArchive(displayName(), holdings);
    setIndexesAside();
}

void ServerArchive::setIndexesAside()
{
    // Indexes that no constraint owns: the keys stay and check every row as it comes.
    const PgResult indexes = m_server.exec(
        u"SELECT i.indexrelid::regclass::text, pg_get_indexdef(i.indexrelid) FROM pg_index AS i "
        u"WHERE i.indrelid = 'documento'::regclass AND NOT EXISTS "
        u"(SELECT 1 FROM pg_constraint AS c WHERE c.conindid = i.indexrelid)"_s);
    for (int row = 0; row < indexes.rowCount(); ++row) {
        m_server.exec(u"DROP INDEX %1"_s.arg(indexes.text(row, 0)));
        m_indexesAside << indexes.text(row, 1);
    }
}

void ServerArchive::rebuildIndexes()
{
    if (m_indexesAside.isEmpty())
        return;
    m_server.exec(u"SET LOCAL maintenance_work_mem = '256MB'"_s);
    for (const QString &statement : std::as_const(m_indexesAside))
        m_server.exec(statement);
    m_indexesAside.clear();
}

std::unique_ptr<RowWriter> ServerArchive::writeRows(const TableSpec &table)
{
    return std::make_unique<ServerRowWriter>(m_server, table);
}

void ServerArchive::writePage(Shelf shelf, const Page &page)
{
    if (m_pageCopy && m_pageCopyShelf != shelf)
        finishPageCopy();
    if (!m_pageCopy) {
        QStringList columns{u"processo"_s, u"documento"_s, u"numero"_s, u"imagem"_s};
        if (shelf == Shelf::Aside)
            columns << u"excluida_em"_s;
        m_pageCopy = std::make_unique<db::pg::PgCopy>(m_server, shelfTable(shelf), columns);
        m_pageCopyShelf = shelf;
    }
    const QString stem = page.id.stem();
    m_pageCopy->text(stem.left(5)).text(stem.mid(5, 5)).integer(page.id.page()).bytes(page.bytes);
    if (shelf == Shelf::Aside)
        m_pageCopy->text(page.movedAside ? page.movedAside->toUTC().toString(Qt::ISODateWithMs) : u"now"_s);
    m_pageCopy->endRow();
}

void ServerArchive::finishPageCopy()
{
    if (!m_pageCopy)
        return;
    const std::unique_ptr<db::pg::PgCopy> copy = std::move(m_pageCopy);
    copy->finish();
}

void ServerArchive::finishWriting()
{
    finishPageCopy();
    rebuildIndexes();
    // The planner learns the new tables' sizes before anyone searches them.
    m_server.exec(u"ANALYZE"_s);
}

void ServerArchive::commit()
{
    m_transaction->commit();
    m_transaction.reset();
}

QString ServerArchive::abandon() noexcept
{
    m_pageCopy.reset();
    m_transaction.reset(); // rolled back: nothing of the copy stays
    if (m_created)
        return u"O banco %1 ficou com as tabelas do Cartulo, vazias."_s.arg(displayName());
    return {};
}

} // namespace copying
