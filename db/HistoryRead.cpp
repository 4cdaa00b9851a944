#include "db/HistoryRead.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/History.h"
#include "db/Statement.h"
#include "db/pg/PgConnection.h"

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace db::history {

namespace {

// Read from the table rather than the view: its `registro` index answers one record, and
// its id keeps the order of changes made within the same second.
QString statement(Provider provider, const QStringList &tables)
{
    const QString when = provider == Provider::PostgreSQL ? u"to_char(quando, 'YYYY-MM-DD HH24:MI:SS')"_s
                                                          : u"quando"_s;
    const QString who = u"coalesce(quem, '%1')"_s.arg(kUnknownClient);
    const QString placeholder = provider == Provider::PostgreSQL ? u"$1"_s : u"?1"_s;
    return u"SELECT %1, %2, estacao, operacao, tabela, chave, antes, depois FROM %3 "
           u"WHERE registro = %4 AND tabela IN ('%5') ORDER BY id DESC"_s
        .arg(when, who, kTable, placeholder, tables.join(u"', '"_s));
}

std::vector<Entry> fromServer(pg::PgConnection &server, const QString &sql, const QString &record)
{
    const pg::PgResult result = server.exec(sql, {pg::PgParam::text(record)});
    std::vector<Entry> entries;
    entries.reserve(std::size_t(result.rowCount()));
    for (int r = 0; r < result.rowCount(); ++r)
        entries.push_back({result.text(r, 0), result.text(r, 1), result.text(r, 2), result.text(r, 3),
                           result.text(r, 4), result.text(r, 5), result.text(r, 6), result.text(r, 7)});
    return entries;
}

QString columnText(sqlite3_stmt *statement, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, column)) : QString();
}

std::vector<Entry> fromFile(sqlite3 *handle, const QString &sql, const QString &record)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &raw, nullptr) != SQLITE_OK)
        throw DbError(u"O histórico não pôde ser lido: "_s + QString::fromUtf8(sqlite3_errmsg(handle)));
    const StatementPtr statement(raw);
    const QByteArray key = record.toUtf8();
    sqlite3_bind_text64(statement.get(), 1, key.constData(), sqlite3_uint64(key.size()), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
    std::vector<Entry> entries;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        Entry entry;
        QString *fields[] = {&entry.quando, &entry.quem, &entry.estacao, &entry.operacao,
                             &entry.tabela, &entry.chave, &entry.antes, &entry.depois};
        for (int c = 0; c < 8; ++c)
            *fields[c] = columnText(statement.get(), c);
        entries.push_back(std::move(entry));
    }
    if (rc != SQLITE_DONE)
        throw DbError(u"O histórico não pôde ser lido: "_s + QString::fromUtf8(sqlite3_errmsg(handle)));
    return entries;
}

std::vector<Entry> read(const Connection &connection, const QString &record, const QStringList &tables)
{
    if (pg::PgConnection *server = connection.server())
        return fromServer(*server, statement(Provider::PostgreSQL, tables), record);
    return fromFile(connection.handle(), statement(Provider::SQLite, tables), record);
}

} // namespace

std::vector<Entry> ofProcess(const Connection &connection, const QString &process)
{
    return read(connection, process, {u"processo"_s});
}

std::vector<Entry> ofDocument(const Connection &connection, const QString &process, const QString &document)
{
    return read(connection, process + document, {u"documento"_s, u"lauda"_s, u"lauda_excluida"_s});
}

} // namespace db::history
