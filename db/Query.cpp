#include "db/Query.h"

#include "db/BackgroundRead.h"
#include "db/Cells.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Fold.h"
#include "db/JetDate.h"
#include "db/Statement.h"

#include <QHash>
#include <QPointer>
#include <limits>
#include <vector>

using namespace Qt::StringLiterals;

namespace db {

namespace {

// Rows read at open, before the rest is read in the background: enough for a screen, and a
// small result is then complete at once.
constexpr int kRowsAtOpen = 32;

// Result names as the screens bind them: the column's own name; table.column when two
// columns of different tables share it; Expr1000+k for the unnamed expression at item k.
// Each column comes with the engine's name and, for a column the engine traces to a table,
// that table. A column of a view or subquery that the view computes has no table, and is
// still named after itself when the item only names it.
QStringList resultNames(const QList<ResultColumn> &columns, const Translation &translation)
{
    const int count = int(columns.size());
    const QList<SelectItem> &items = translation.selectItems;
    const bool isSelect = translation.firstKeyword == u"select"_s;

    QList<int> itemOf(count, -1);
    const auto stars = std::count_if(items.begin(), items.end(), [](const SelectItem &i) { return i.star; });
    if (stars <= 1) {
        const qsizetype starColumns = count - (items.size() - stars);
        int column = 0;
        for (qsizetype item = 0; item < items.size() && column < count; ++item) {
            const qsizetype width = items[item].star ? starColumns : 1;
            for (qsizetype w = 0; w < width && column < count; ++w)
                itemOf[column++] = int(item);
        }
    } else {
        for (qsizetype item = 0; item < items.size() && !items[item].star && item < count; ++item)
            itemOf[item] = int(item);
    }

    QStringList names;
    QList<bool> plainColumn;
    for (int i = 0; i < count; ++i) {
        const bool origin = !columns[i].table.isEmpty();
        const bool aliased = itemOf[i] >= 0 && !items[itemOf[i]].alias.isEmpty();
        // `*` over a view gives the view's names, computed columns included.
        const bool starred = itemOf[i] >= 0 && items[itemOf[i]].star;
        const bool reference = itemOf[i] >= 0 && items[itemOf[i]].columnReference;
        if (origin || aliased || starred || reference || !isSelect)
            names << columns[i].name;
        else
            names << u"Expr%1"_s.arg(1000 + (itemOf[i] >= 0 ? itemOf[i] : i));
        plainColumn << (origin && !aliased);
    }
    for (int i = 0; i < count; ++i) {
        if (!plainColumn[i])
            continue;
        const QString &table = columns[i].table;
        for (int j = 0; j < count; ++j) {
            if (j == i || !plainColumn[j])
                continue;
            const QString &otherTable = columns[j].table;
            if (names[j].section(u'.', -1).compare(names[i], Qt::CaseInsensitive) == 0
                && table.compare(otherTable, Qt::CaseInsensitive) != 0) {
                names[i] = table + u'.' + names[i];
                break;
            }
        }
    }
    return names;
}

QList<ResultColumn> sqliteColumns(sqlite3_stmt *statement)
{
    QList<ResultColumn> columns;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        ResultColumn column;
        column.name = QString::fromUtf8(sqlite3_column_name(statement, i));
        if (sqlite3_column_origin_name(statement, i))
            column.table = QString::fromUtf8(sqlite3_column_table_name(statement, i));
        column.isDate = isDateDeclaration(sqlite3_column_decltype(statement, i));
        columns << column;
    }
    return columns;
}

// The rows of one statement, read from the snapshot it holds (its read connection's
// transaction lasts as long as the statement steps).
class SqliteReader final : public ResultReader {
public:
    SqliteReader(std::optional<ReadConnections::Lease> lease, StatementPtr statement)
        : m_lease(std::move(lease)), m_statement(std::move(statement))
    {
    }

    bool readRow(ResultRows::Batch &batch) override
    {
        sqlite3_stmt *statement = m_statement.get();
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE)
            return false;
        if (rc != SQLITE_ROW)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement))));
        batch.beginRow();
        const int columns = sqlite3_column_count(statement);
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(statement, c)) {
            case SQLITE_INTEGER:
                batch.addInteger(sqlite3_column_int64(statement, c));
                break;
            case SQLITE_FLOAT:
                batch.addReal(sqlite3_column_double(statement, c));
                break;
            case SQLITE_TEXT:
                batch.addText(reinterpret_cast<const char *>(sqlite3_column_text(statement, c)),
                              sqlite3_column_bytes(statement, c));
                break;
            case SQLITE_BLOB:
                batch.addBlob(sqlite3_column_blob(statement, c), sqlite3_column_bytes(statement, c));
                break;
            default:
                batch.addNull();
            }
        }
        return true;
    }

    void cancel() noexcept override { sqlite3_interrupt(sqlite3_db_handle(m_statement.get())); }

private:
    std::optional<ReadConnections::Lease> m_lease; // outlives the statement
    StatementPtr m_statement;
};

} // namespace

struct Query::Impl final : LiveQuery {
    explicit Impl(Query *owner) : q(owner) {}
    ~Impl() { stopReading(u"A consulta foi fechada."_s); }

    Query *q;
    QPointer<Connection> connection;
    QStringList lines;

    bool open = false;
    int columns = 0;
    QStringList names;
    QList<bool> dateColumns;
    std::shared_ptr<ResultRows> rows;
    std::unique_ptr<BackgroundRead> background;
    bool registered = false;
    quint64 generation = 0; // tells the rows of this opening from those of an earlier one
    int current = -1;
    bool bof = true;
    bool eof = true;

    void finishReading() override
    {
        if (background)
            background->wait();
    }

    void connectionClosing() override
    {
        registered = false;
        if (background)
            background->stop(u"A conexão da consulta foi fechada."_s);
    }

    void stopReading(const QString &reason)
    {
        if (background)
            background->stop(reason);
        background.reset();
        if (registered && connection)
            connection->unregisterLiveQuery(this);
        registered = false;
    }

    int available() const { return rows ? rows->count() : 0; }

    // True when the row exists, waiting for the reading to get there; throws when the
    // reading stopped before it.
    bool ensureRow(int row) const
    {
        if (row < 0 || !rows)
            return false;
        if (rows->waitFor(row + 1) > row)
            return true;
        if (const std::optional<QString> error = rows->error())
            throw DbError(*error);
        return false;
    }

    int waitForAll() const
    {
        if (!rows)
            return 0;
        const int count = rows->waitFor(std::numeric_limits<int>::max());
        if (const std::optional<QString> error = rows->error())
            throw DbError(*error);
        return count;
    }

    void requireOpen() const
    {
        if (!open)
            throw DbError(u"A consulta não está aberta."_s);
    }

    QVariant cell(int row, int column) const { return rows->value(row, column); }

    QString text(int row, int column) const { return cellText(cell(row, column), dateColumns[column]); }

    void checkColumn(int column) const
    {
        if (column < 0 || column >= columns)
            throw DbError(u"Campo %1 fora do resultado (%2 campos)."_s.arg(column).arg(columns));
    }

    // Rows came in on the reading thread: told on the query's own thread.
    void announceFrom(quint64 reading)
    {
        QMetaObject::invokeMethod(
            q, [q = q, reading] {
                if (q->d->open && q->d->generation == reading)
                    emit q->rowsRead();
            },
            Qt::QueuedConnection);
    }
};

Query::Query(QObject *parent) : QObject(parent), d(std::make_unique<Impl>(this)) {}

Query::Query(Connection *connection, QObject *parent) : Query(parent)
{
    d->connection = connection;
}

Query::~Query()
{
    d->stopReading(u"A consulta foi fechada."_s);
}

void Query::setConnection(Connection *connection)
{
    if (d->connection == connection)
        return;
    close();
    d->connection = connection;
}

Connection *Query::connection() const
{
    return d->connection;
}

QStringList &Query::sql()
{
    return d->lines;
}

const QStringList &Query::sql() const
{
    return d->lines;
}

void Query::clearSql()
{
    d->lines.clear();
}

void Query::addSql(const QString &line)
{
    d->lines.append(line);
}

void Query::setSql(const QString &text)
{
    d->lines = QStringList{text};
}

QString Query::text() const
{
    return d->lines.join(u'\n');
}

void Query::open()
{
    if (d->open)
        return;
    if (!d->connection)
        throw DbError(u"A consulta não tem conexão."_s);
    const QString sentText = text();
    QList<ResultColumn> columns;
    Translation translation;
    std::unique_ptr<ResultReader> reader;
    bool ownSnapshot = false;
    if (d->connection->server()) {
        ServerQuery prepared = d->connection->prepareServerQuery(sentText);
        columns = std::move(prepared.origins);
        translation = std::move(prepared.translation);
        reader = std::move(prepared.reader);
        ownSnapshot = prepared.ownSnapshot;
    } else {
        PreparedQuery prepared = d->connection->prepareQuery(sentText);
        columns = sqliteColumns(prepared.prepared.statement.get());
        translation = std::move(prepared.prepared.translation);
        ownSnapshot = prepared.lease.has_value();
        reader = std::make_unique<SqliteReader>(std::move(prepared.lease), std::move(prepared.prepared.statement));
    }

    d->columns = int(columns.size());
    d->names = resultNames(columns, translation);
    d->dateColumns.clear();
    for (const ResultColumn &column : columns)
        d->dateColumns << column.isDate;
    auto rows = std::make_shared<ResultRows>(d->columns);

    // The first rows now, so a screen shows them at once; on the archive connection every
    // row now, so no statement is left stepping there.
    bool reachedEnd = false;
    ResultRows::Batch batch;
    try {
        for (int i = 0; !ownSnapshot || i < kRowsAtOpen; ++i) {
            if (!reader->readRow(batch)) {
                reachedEnd = true;
                break;
            }
        }
    } catch (const DbError &error) {
        reader.reset();
        d->connection->fail(sentText, error.message());
    }
    rows->append(batch);
    ++d->generation;
    d->rows = rows;
    if (reachedEnd) {
        reader.reset();
        rows->end();
    } else {
        const quint64 reading = d->generation;
        d->background = std::make_unique<BackgroundRead>(std::move(reader), rows,
                                                         [impl = d.get(), reading] { impl->announceFrom(reading); });
        d->connection->registerLiveQuery(d.get());
        d->registered = true;
    }
    d->open = true;
    const int first = rows->count();
    d->current = first > 0 ? 0 : -1;
    d->bof = true;
    d->eof = first == 0;
    d->connection->reportStatement(sentText);
    emit afterOpen();
    emit afterScroll();
}

void Query::close()
{
    if (!d->open)
        return;
    d->stopReading(u"A consulta foi fechada."_s);
    d->open = false;
    d->rows.reset();
    ++d->generation;
    d->current = -1;
    d->bof = d->eof = true;
    emit afterClose();
}

bool Query::isOpen() const
{
    return d->open;
}

void Query::first()
{
    d->requireOpen();
    d->current = d->available() > 0 ? 0 : -1;
    d->bof = true;
    d->eof = d->current < 0;
    emit afterScroll();
}

void Query::last()
{
    d->requireOpen();
    const int count = d->waitForAll();
    d->current = count - 1;
    d->eof = true;
    d->bof = count == 0;
    emit afterScroll();
}

void Query::next()
{
    d->requireOpen();
    if (d->current >= 0 && d->ensureRow(d->current + 1)) {
        ++d->current;
        d->bof = d->eof = false;
        emit afterScroll();
        return;
    }
    d->eof = true;
}

void Query::prior()
{
    d->requireOpen();
    if (d->current > 0) {
        --d->current;
        d->bof = d->eof = false;
        emit afterScroll();
        return;
    }
    d->bof = true;
}

bool Query::bof() const
{
    return d->bof;
}

bool Query::eof() const
{
    return d->eof;
}

bool Query::isEmpty() const
{
    return !d->open || d->available() == 0;
}

int Query::recordCount() const
{
    if (!d->open)
        return 0;
    return d->waitForAll();
}

int Query::recNo() const
{
    return d->open && d->available() > 0 ? d->current : -1;
}

bool Query::moveTo(int row)
{
    d->requireOpen();
    if (row < 0 || !d->ensureRow(row))
        return false;
    d->bof = d->eof = false;
    if (row != d->current) {
        d->current = row;
        emit afterScroll();
    }
    return true;
}

bool Query::isComplete() const
{
    return !d->open || d->rows->isComplete();
}

int Query::fetchedCount() const
{
    return d->available();
}

bool Query::fetchMore(int rows)
{
    if (!d->open)
        return false;
    const int before = d->available();
    return d->ensureRow(before + rows - 1) || d->available() > before;
}

bool Query::locate(const QString &column, const QString &value)
{
    d->requireOpen();
    const int index = fieldIndex(column);
    if (index < 0)
        throw DbError(u"Campo desconhecido: %1"_s.arg(column));
    const QString wanted = foldCase(value);
    for (int row = 0; d->ensureRow(row); ++row) {
        if (foldCase(d->text(row, index)) == wanted) {
            moveTo(row);
            return true;
        }
    }
    return false;
}

int Query::fieldCount() const
{
    return d->open ? d->columns : 0;
}

QString Query::fieldName(int column) const
{
    d->requireOpen();
    d->checkColumn(column);
    return d->names[column];
}

int Query::fieldIndex(const QString &name) const
{
    if (!d->open)
        return -1;
    for (int c = 0; c < d->columns; ++c) {
        if (d->names[c].compare(name, Qt::CaseInsensitive) == 0)
            return c;
    }
    return -1;
}

bool Query::isDateField(int column) const
{
    d->requireOpen();
    d->checkColumn(column);
    return d->dateColumns[column];
}

QString Query::asText(int column) const
{
    d->requireOpen();
    d->checkColumn(column);
    if (d->current < 0)
        return {};
    return d->text(d->current, column);
}

QString Query::asText(const QString &name) const
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw DbError(u"Campo desconhecido: %1"_s.arg(name));
    return asText(index);
}

QVariant Query::value(int column) const
{
    d->requireOpen();
    d->checkColumn(column);
    if (d->current < 0)
        return {};
    return d->cell(d->current, column);
}

bool Query::isNull(int column) const
{
    return !value(column).isValid();
}

QString Query::textAt(int row, int column) const
{
    d->requireOpen();
    d->checkColumn(column);
    if (row < 0 || row >= d->available())
        return {};
    return d->text(row, column);
}

} // namespace db
