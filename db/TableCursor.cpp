#include "db/TableCursor.h"

#include "db/Cells.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Statement.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgQuery.h"

using namespace Qt::StringLiterals;

namespace db {

namespace {

QString quotedName(const QString &name)
{
    QString escaped = name;
    escaped.replace(u'"', u"\"\""_s);
    return u'"' + escaped + u'"';
}

StatementPtr prepareRaw(Connection *connection, const QString &sql)
{
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(connection->handle(), utf8.constData(), int(utf8.size()), &raw, nullptr)
        != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(connection->handle())));
    return StatementPtr(raw);
}

} // namespace

TableCursor::TableCursor(QObject *parent) : QObject(parent) {}

TableCursor::TableCursor(Connection *connection, QObject *parent)
    : QObject(parent), m_connection(connection)
{
}

void TableCursor::setConnection(Connection *connection)
{
    if (m_connection != connection)
        close();
    m_connection = connection;
}

void TableCursor::open(const QString &table)
{
    if (!m_connection || !m_connection->isOpen())
        throw DbError(u"O cursor de tabela não tem conexão aberta."_s);
    const QStringList columns = m_connection->server() ? serverColumns(table) : fileColumns(table);
    if (columns.isEmpty())
        throw DbError(u"no such table: %1"_s.arg(table));
    m_table = table;
    m_columns = columns;
    m_open = true;
    first();
}

QStringList TableCursor::fileColumns(const QString &table) const
{
    StatementPtr info = prepareRaw(m_connection, u"SELECT name FROM pragma_table_info(?1)"_s);
    const QByteArray tableUtf8 = table.toUtf8();
    sqlite3_bind_text(info.get(), 1, tableUtf8.constData(), int(tableUtf8.size()), SQLITE_TRANSIENT);
    QStringList columns;
    while (sqlite3_step(info.get()) == SQLITE_ROW)
        columns << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 0)));
    return columns;
}

void TableCursor::close()
{
    m_open = false;
    m_editing = false;
    m_table.clear();
    m_columns.clear();
    m_values.clear();
    m_pending.clear();
    m_rowid.reset();
    m_serverRow.reset();
}

bool TableCursor::isOpen() const
{
    return m_open;
}

bool TableCursor::isEmpty() const
{
    return !m_rowid.has_value() && !m_serverRow.has_value();
}

void TableCursor::first()
{
    if (!m_open)
        throw DbError(u"O cursor de tabela não está aberto."_s);
    if (m_connection->server()) {
        firstOnServer();
        return;
    }
    // The first row is the oldest one: rowid order.
    StatementPtr statement = prepareRaw(
        m_connection, u"SELECT rowid, * FROM %1 ORDER BY rowid LIMIT 1"_s.arg(quotedName(m_table)));
    m_values.clear();
    m_rowid.reset();
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW) {
        m_rowid = sqlite3_column_int64(statement.get(), 0);
        for (int c = 0; c < m_columns.size(); ++c)
            m_values << cellText(readCell(statement.get(), c + 1),
                                 isDateDeclaration(sqlite3_column_decltype(statement.get(), c + 1)));
    } else if (rc != SQLITE_DONE) {
        throw DbError(QString::fromUtf8(sqlite3_errmsg(m_connection->handle())));
    } else {
        for (int c = 0; c < m_columns.size(); ++c)
            m_values << QString();
    }
    m_editing = false;
    m_pending.clear();
}

void TableCursor::edit()
{
    if (!m_open)
        throw DbError(u"O cursor de tabela não está aberto."_s);
    m_pending = m_values;
    m_editing = true;
}

QStringList TableCursor::columns() const
{
    return m_columns;
}

int TableCursor::fieldCount() const
{
    return int(m_columns.size());
}

QString TableCursor::asText(int position) const
{
    const QStringList &source = m_editing ? m_pending : m_values;
    if (position < 0 || position >= source.size())
        throw DbError(u"Campo %1 fora da tabela %2."_s.arg(position).arg(m_table));
    return source[position];
}

void TableCursor::setField(int position, const QString &text)
{
    if (!m_editing)
        throw DbError(u"A tabela %1 não está em edição."_s.arg(m_table));
    if (position < 0 || position >= m_pending.size())
        throw DbError(u"Campo %1 fora da tabela %2."_s.arg(position).arg(m_table));
    m_pending[position] = text;
}

void TableCursor::post()
{
    if (!m_editing)
        throw DbError(u"A tabela %1 não está em edição."_s.arg(m_table));
    if (m_connection->server()) {
        postOnServer();
        return;
    }
    QStringList names;
    QStringList assignments;
    QStringList placeholders;
    for (int c = 0; c < m_columns.size(); ++c) {
        names << quotedName(m_columns[c]);
        assignments << quotedName(m_columns[c]) + u" = ?"_s + QString::number(c + 1);
        placeholders << u'?' + QString::number(c + 1);
    }
    // Values go as parameters: no typed text can change the statement.
    const QString sql = m_rowid
        ? u"UPDATE %1 SET %2 WHERE rowid = ?%3"_s.arg(quotedName(m_table), assignments.join(u", "_s))
              .arg(m_columns.size() + 1)
        : u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(quotedName(m_table), names.join(u", "_s),
                                                   placeholders.join(u", "_s));
    m_connection->prepareToWrite();
    StatementPtr statement = prepareRaw(m_connection, sql);
    QList<QByteArray> texts;
    for (int c = 0; c < m_columns.size(); ++c) {
        if (m_pending[c].isEmpty()) {
            sqlite3_bind_null(statement.get(), c + 1); // an empty field holds nothing
        } else {
            texts << m_pending[c].toUtf8();
            sqlite3_bind_text(statement.get(), c + 1, texts.last().constData(),
                              int(texts.last().size()), SQLITE_TRANSIENT);
        }
    }
    if (m_rowid)
        sqlite3_bind_int64(statement.get(), int(m_columns.size()) + 1, *m_rowid);
    if (sqlite3_step(statement.get()) != SQLITE_DONE)
        m_connection->fail(sql, QString::fromUtf8(sqlite3_errmsg(m_connection->handle())));
    m_connection->reportStatement(sql);
    if (!m_rowid)
        m_rowid = sqlite3_last_insert_rowid(m_connection->handle());
    m_values = m_pending;
    m_pending.clear();
    m_editing = false;
}

QStringList TableCursor::serverColumns(const QString &table)
{
    const pg::PgResult result = m_connection->server()->exec(
        u"SELECT a.attname, a.atttypid = 'bytea'::regtype FROM pg_attribute a "
        u"WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"_s,
        {pg::PgParam::text(table)});
    QStringList columns;
    m_binary.clear();
    for (int row = 0; row < result.rowCount(); ++row) {
        columns << result.text(row, 0);
        m_binary << (result.text(row, 1) == u"t"_s);
    }
    return columns;
}

void TableCursor::firstOnServer()
{
    pg::PgConnection &server = *m_connection->server();
    // The first row is the oldest one the table holds: its place in the table's file.
    const pg::PgResult result = server.exec(
        u"SELECT ctid, * FROM %1 ORDER BY ctid LIMIT 1"_s.arg(quotedName(m_table.toLower())));
    m_values.clear();
    m_serverRow.reset();
    if (result.rowCount() > 0) {
        m_serverRow = result.text(0, 0);
        pg::PgCatalog catalog;
        const QList<ResultColumn> columns = catalog.origins(server, result);
        ResultRows rows(result.columnCount());
        ResultRows::Batch batch;
        pg::appendRow(result, 0, batch);
        rows.append(batch);
        for (int c = 0; c < m_columns.size(); ++c)
            m_values << cellText(rows.value(0, c + 1), columns[c + 1].isDate);
    } else {
        for (int c = 0; c < m_columns.size(); ++c)
            m_values << QString();
    }
    m_editing = false;
    m_pending.clear();
}

void TableCursor::postOnServer()
{
    QStringList names;
    QStringList assignments;
    QStringList placeholders;
    QList<pg::PgParam> params;
    for (int c = 0; c < m_columns.size(); ++c) {
        names << quotedName(m_columns[c]);
        assignments << quotedName(m_columns[c]) + u" = $"_s + QString::number(c + 1);
        placeholders << u'$' + QString::number(c + 1);
        // An empty field holds nothing; values go as parameters, so no typed text changes
        // the statement.
        // A text in a binary column (the logo's path) is kept as its bytes, as on SQLite.
        params << (m_pending[c].isEmpty() ? pg::PgParam::null()
                   : m_binary.value(c)    ? pg::PgParam::bytes(m_pending[c].toUtf8())
                                          : pg::PgParam::text(m_pending[c]));
    }
    const QString table = quotedName(m_table.toLower());
    QString sql;
    if (m_serverRow) {
        sql = u"UPDATE %1 SET %2 WHERE ctid = $%3::tid RETURNING ctid"_s.arg(table, assignments.join(u", "_s))
                  .arg(m_columns.size() + 1);
        params << pg::PgParam::text(*m_serverRow);
    } else {
        sql = u"INSERT INTO %1 (%2) VALUES (%3) RETURNING ctid"_s.arg(table, names.join(u", "_s),
                                                                      placeholders.join(u", "_s));
    }
    pg::PgResult result;
    try {
        result = m_connection->server()->exec(sql, params);
    } catch (const DbError &error) {
        m_connection->fail(sql, error);
    }
    m_connection->reportStatement(sql);
    if (result.rowCount() == 0)
        throw DbError(u"A linha da tabela %1 não existe mais."_s.arg(m_table));
    m_serverRow = result.text(0, 0);
    m_values = m_pending;
    m_pending.clear();
    m_editing = false;
}

void TableCursor::cancel()
{
    m_pending.clear();
    m_editing = false;
}

} // namespace db
