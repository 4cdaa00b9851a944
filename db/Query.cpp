#include "db/Query.h"

#include "db/Cells.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Fold.h"
#include "db/JetDate.h"
#include "db/Statement.h"

#include <QHash>
#include <QPointer>
#include <vector>

using namespace Qt::StringLiterals;

namespace db {

namespace {

// Rows read at open: enough for a screen, and a small result is then complete at once
// (its statement finished, holding no read snapshot).
constexpr int kRowsAtOpen = 32;

// Result names as the screens bind them: the column's own name; table.column when two
// columns of different tables share it; Expr1000+k for the unnamed expression at item k.
QStringList resultNames(sqlite3_stmt *statement, const Translation &translation)
{
    const int count = sqlite3_column_count(statement);
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
        const char *origin = sqlite3_column_origin_name(statement, i);
        const bool aliased = itemOf[i] >= 0 && !items[itemOf[i]].alias.isEmpty();
        const QString engineName = QString::fromUtf8(sqlite3_column_name(statement, i));
        if (origin || aliased || !isSelect)
            names << engineName;
        else
            names << u"Expr%1"_s.arg(1000 + (itemOf[i] >= 0 ? itemOf[i] : i));
        plainColumn << (origin && !aliased);
    }
    for (int i = 0; i < count; ++i) {
        if (!plainColumn[i])
            continue;
        const char *table = sqlite3_column_table_name(statement, i);
        for (int j = 0; j < count; ++j) {
            if (j == i || !plainColumn[j])
                continue;
            const char *otherTable = sqlite3_column_table_name(statement, j);
            if (names[j].section(u'.', -1).compare(names[i], Qt::CaseInsensitive) == 0 && table
                && otherTable && qstricmp(table, otherTable) != 0) {
                names[i] = QString::fromUtf8(table) + u'.' + names[i];
                break;
            }
        }
    }
    return names;
}

} // namespace

struct Query::Impl final : LiveStatementOwner {
    explicit Impl(Query *owner) : q(owner) {}

    Query *q;
    QPointer<Connection> connection;
    QStringList lines;

    bool open = false;
    QString openedText;     // the text as sent, for resuming
    QString translatedSql;  // for the record count
    StatementPtr statement; // live while rows remain unread
    bool registered = false;
    bool allFetched = false;
    int columns = 0;
    QStringList names;
    QList<bool> dateColumns;
    std::vector<QVariant> cells; // fetched rows, row-major
    int fetched = 0;
    int current = -1;
    bool bof = true;
    bool eof = true;
    std::optional<int> counted;

    void dropStatement()
    {
        statement.reset();
        if (registered && connection)
            connection->unregisterLiveStatement(this);
        registered = false;
    }

    void releaseStatement() override
    {
        statement.reset();
        if (registered && connection)
            connection->unregisterLiveStatement(this);
        registered = false;
    }
    void connectionClosing() override { statement.reset(); registered = false; }

    // Steps a fresh statement past the rows already read, after a write or a close made
    // this query let go of its snapshot.
    void resume()
    {
        if (!connection || !connection->isOpen())
            throw DbError(u"A conexão da consulta foi fechada."_s);
        PreparedStatement prepared = connection->prepare(openedText);
        for (int skipped = 0; skipped < fetched; ++skipped) {
            const int rc = sqlite3_step(prepared.statement.get());
            if (rc == SQLITE_DONE) {
                allFetched = true;
                return;
            }
            if (rc != SQLITE_ROW)
                throw DbError(QString::fromUtf8(sqlite3_errmsg(connection->handle())));
        }
        statement = std::move(prepared.statement);
        connection->registerLiveStatement(this);
        registered = true;
    }

    bool fetchRow()
    {
        if (allFetched)
            return false;
        if (!statement)
            resume();
        if (allFetched)
            return false;
        const int rc = sqlite3_step(statement.get());
        if (rc == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c)
                cells.push_back(readCell(statement.get(), c));
            ++fetched;
            return true;
        }
        const QString message = rc == SQLITE_DONE
            ? QString()
            : QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement.get())));
        allFetched = true;
        dropStatement();
        if (rc != SQLITE_DONE)
            throw DbError(message);
        return false;
    }

    bool ensureRow(int row)
    {
        while (fetched <= row) {
            if (!fetchRow())
                return false;
        }
        return true;
    }

    void fetchAll()
    {
        while (fetchRow()) {
        }
    }

    void requireOpen() const
    {
        if (!open)
            throw DbError(u"A consulta não está aberta."_s);
    }

    const QVariant &cell(int row, int column) const { return cells[size_t(row) * columns + column]; }

    QString text(int row, int column) const { return cellText(cell(row, column), dateColumns[column]); }

    void checkColumn(int column) const
    {
        if (column < 0 || column >= columns)
            throw DbError(u"Campo %1 fora do resultado (%2 campos)."_s.arg(column).arg(columns));
    }
};

Query::Query(QObject *parent) : QObject(parent), d(std::make_unique<Impl>(this)) {}

Query::Query(Connection *connection, QObject *parent) : Query(parent)
{
    d->connection = connection;
}

Query::~Query()
{
    d->dropStatement();
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
    PreparedStatement prepared = d->connection->prepare(sentText);
    sqlite3_stmt *statement = prepared.statement.get();

    d->openedText = sentText;
    d->translatedSql = prepared.translation.sql;
    d->columns = sqlite3_column_count(statement);
    d->names = resultNames(statement, prepared.translation);
    d->dateColumns.clear();
    for (int c = 0; c < d->columns; ++c)
        d->dateColumns << isDateDeclaration(sqlite3_column_decltype(statement, c));
    d->cells.clear();
    d->fetched = 0;
    d->counted.reset();
    d->allFetched = false;
    d->statement = std::move(prepared.statement);
    d->connection->registerLiveStatement(d.get());
    d->registered = true;
    try {
        for (int i = 0; i < kRowsAtOpen && d->fetchRow(); ++i) {
        }
    } catch (const DbError &error) {
        d->dropStatement();
        d->cells.clear();
        d->fetched = 0;
        d->connection->fail(sentText, error.message());
    }
    d->open = true;
    d->current = d->fetched > 0 ? 0 : -1;
    d->bof = true;
    d->eof = d->fetched == 0;
    d->connection->reportStatement(sentText);
    emit afterOpen();
    emit afterScroll();
}

void Query::close()
{
    if (!d->open)
        return;
    d->dropStatement();
    d->open = false;
    d->cells.clear();
    d->cells.shrink_to_fit();
    d->fetched = 0;
    d->current = -1;
    d->bof = d->eof = true;
    d->counted.reset();
    emit afterClose();
}

bool Query::isOpen() const
{
    return d->open;
}

void Query::first()
{
    d->requireOpen();
    d->current = d->fetched > 0 ? 0 : -1;
    d->bof = true;
    d->eof = d->fetched == 0;
    emit afterScroll();
}

void Query::last()
{
    d->requireOpen();
    d->fetchAll();
    d->current = d->fetched - 1;
    d->eof = true;
    d->bof = d->fetched == 0;
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
    return !d->open || d->fetched == 0;
}

int Query::recordCount() const
{
    if (!d->open)
        return 0;
    if (d->allFetched)
        return d->fetched;
    if (d->counted)
        return *d->counted;
    // Counting in the engine reads no row into memory.
    QString inner = d->translatedSql.trimmed();
    while (inner.endsWith(u';'))
        inner.chop(1);
    const QByteArray countSql = (u"SELECT count(*) FROM (\n"_s + inner + u"\n)"_s).toUtf8();
    sqlite3_stmt *raw = nullptr;
    if (d->connection && d->connection->isOpen()
        && sqlite3_prepare_v2(d->connection->handle(), countSql.constData(), int(countSql.size()),
                              &raw, nullptr) == SQLITE_OK) {
        StatementPtr counter(raw);
        if (sqlite3_step(raw) == SQLITE_ROW) {
            d->counted = std::max(int(sqlite3_column_int64(raw, 0)), d->fetched);
            return *d->counted;
        }
    }
    d->fetchAll(); // not a plain select: count by reading
    return d->fetched;
}

int Query::recNo() const
{
    return d->open && d->fetched > 0 ? d->current : -1;
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
    return !d->open || d->allFetched;
}

int Query::fetchedCount() const
{
    return d->fetched;
}

bool Query::fetchMore(int rows)
{
    if (!d->open)
        return false;
    bool any = false;
    for (int i = 0; i < rows && d->fetchRow(); ++i)
        any = true;
    return any;
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
    if (row < 0 || row >= d->fetched)
        return {};
    return d->text(row, column);
}

} // namespace db
