#include "db/History.h"

#include "db/ArchiveTables.h"
#include "db/Exec.h"
#include "db/Statement.h"

#include <QSysInfo>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace db::history {

namespace {

QString literal(const QString &text)
{
    QString quoted = text;
    quoted.replace(u'\'', u"''"_s);
    return u'\'' + quoted + u'\'';
}

// JSON of a row (json_object is built in: any client can run it). A blob holds a path here.
QString rowJson(const schema::TableSpec &table, const QString &row)
{
    QStringList pairs;
    for (const schema::ColumnSpec &c : table.columns) {
        const QString value = c.type == schema::ColumnType::Blob ? u"CAST(%1.%2 AS TEXT)"_s.arg(row, c.name)
                                                                 : u"%1.%2"_s.arg(row, c.name);
        pairs << literal(c.name) << value;
    }
    return u"json_object(%1)"_s.arg(pairs.join(u", "_s));
}

QString keyOf(const schema::TableSpec &table, const QString &row)
{
    if (table.name == u"documento"_s)
        return u"%1.processo || %1.cod"_s.arg(row);
    if (table.key.isEmpty())
        return u"NULL"_s;
    return u"%1.cod"_s.arg(row);
}

// The time as the triggers write it (strftime of 'now', local time).
constexpr QStringView kNow = u"strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime')";

QString insertHistory(const QString &operation, const schema::TableSpec &table, const QString &row,
                      const QString &before, const QString &after)
{
    const QString key = keyOf(table, row);
    return u"INSERT INTO %1 (quando, operacao, tabela, chave, registro, antes, depois) VALUES ("
           u"%7, %2, %3, %4, coalesce(%4, %3), %5, %6);"_s
        .arg(kTable, literal(operation), literal(table.name), key, before, after, kNow);
}

QStringList triggersOf(const schema::TableSpec &t)
{
    const QString oldRow = rowJson(t, u"OLD"_s);
    const QString newRow = rowJson(t, u"NEW"_s);
    return {
        u"CREATE TRIGGER IF NOT EXISTS historico_%1_inclusao AFTER INSERT ON %1 BEGIN\n  %2\nEND"_s.arg(
            t.name, insertHistory(u"inclusão"_s, t, u"NEW"_s, u"NULL"_s, newRow)),
        u"CREATE TRIGGER IF NOT EXISTS historico_%1_alteracao AFTER UPDATE ON %1 WHEN %2 IS NOT %3 BEGIN\n  %4\nEND"_s
            .arg(t.name, oldRow, newRow, insertHistory(u"alteração"_s, t, u"NEW"_s, oldRow, newRow)),
        u"CREATE TRIGGER IF NOT EXISTS historico_%1_exclusao AFTER DELETE ON %1 BEGIN\n  %2\nEND"_s.arg(
            t.name, insertHistory(u"exclusão"_s, t, u"OLD"_s, oldRow, u"NULL"_s)),
    };
}

} // namespace

QStringList createStatements()
{
    const QString table = kTable.toString();
    QStringList statements{
        u"CREATE TABLE IF NOT EXISTS %1 (\n"
        u"  id INTEGER PRIMARY KEY,\n"
        u"  quando TEXT NOT NULL,\n"
        u"  quem TEXT,\n"
        u"  estacao TEXT,\n"
        u"  operacao TEXT NOT NULL,\n"
        u"  tabela TEXT NOT NULL,\n"
        u"  chave TEXT,\n"
        u"  registro TEXT,\n"
        u"  antes TEXT,\n"
        u"  depois TEXT\n)"_s.arg(table),
        u"CREATE INDEX IF NOT EXISTS %1_registro ON %1 (registro, id)"_s.arg(table),
        u"CREATE INDEX IF NOT EXISTS %1_tabela_chave ON %1 (tabela, chave)"_s.arg(table),
        u"CREATE VIEW IF NOT EXISTS %1 AS SELECT quando, coalesce(quem, %2) AS quem, estacao, operacao, "
        u"tabela, chave, antes, depois FROM %3"_s.arg(kView, literal(kUnknownClient.toString()), table),
        // Append-only. The one change let through names who made a row, once, on the
        // connection that wrote it (a file archive's owner can of course drop the guard).
        u"CREATE TRIGGER IF NOT EXISTS historico_imutavel BEFORE UPDATE ON %1 WHEN NOT (OLD.quem IS NULL "
        u"AND NEW.id IS OLD.id AND NEW.quando IS OLD.quando AND NEW.operacao IS OLD.operacao "
        u"AND NEW.tabela IS OLD.tabela AND NEW.chave IS OLD.chave AND NEW.registro IS OLD.registro "
        u"AND NEW.antes IS OLD.antes AND NEW.depois IS OLD.depois) BEGIN\n"
        u"  SELECT RAISE(ABORT, 'O histórico só recebe linhas novas: nenhuma pode ser alterada ou excluída');\nEND"_s.arg(table),
        u"CREATE TRIGGER IF NOT EXISTS historico_imutavel_exclusao BEFORE DELETE ON %1 BEGIN\n"
        u"  SELECT RAISE(ABORT, 'O histórico só recebe linhas novas: nenhuma pode ser alterada ou excluída');\nEND"_s.arg(table),
    };
    for (const schema::TableSpec &t : schema::archiveTables())
        statements << triggersOf(t);
    return statements;
}

void ensure(sqlite3 *handle)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray check = u"SELECT 1 FROM sqlite_schema WHERE name = '%1'"_s.arg(kView).toUtf8();
    bool present = false;
    if (sqlite3_prepare_v2(handle, check.constData(), -1, &raw, nullptr) == SQLITE_OK)
        present = sqlite3_step(raw) == SQLITE_ROW;
    sqlite3_finalize(raw);
    if (present)
        return;
    inTransaction(handle, [handle] {
        for (const QString &statement : createStatements())
            exec(handle, statement);
    });
}

void identifyWriter(sqlite3 *handle, const QString &user, const QString &workstation)
{
    // A temporary trigger lives on this connection only: another program's rows stay unnamed.
    exec(handle, u"DROP TRIGGER IF EXISTS temp.historico_autor"_s);
    exec(handle, u"CREATE TEMP TRIGGER historico_autor AFTER INSERT ON main.%1 WHEN NEW.quem IS NULL BEGIN\n"
                 u"  UPDATE %1 SET quem = %2, estacao = %3 WHERE id = NEW.id;\nEND"_s
                     .arg(kTable, literal(user), literal(workstation)));
}

namespace {

void bindText(sqlite3_stmt *statement, int index, const QString &text)
{
    if (text.isNull()) {
        sqlite3_bind_null(statement, index);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text64(statement, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void insertRows(sqlite3 *handle, const std::vector<WrittenRow> &rows)
{
    const QByteArray sql = u"INSERT INTO %1 (quando, operacao, tabela, chave, registro, antes, depois) "
                           u"VALUES (%2, ?1, ?2, ?3, ?4, ?5, ?6)"_s.arg(kTable, kNow).toUtf8();
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(handle, sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    const StatementPtr insert(raw);
    for (const WrittenRow &row : rows) {
        const QString *fields[] = {&row.operacao, &row.tabela, &row.chave, &row.registro, &row.antes, &row.depois};
        for (int i = 0; i < 6; ++i)
            bindText(insert.get(), i + 1, *fields[i]);
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
        sqlite3_reset(insert.get());
    }
}

} // namespace

void append(sqlite3 *handle, const std::vector<WrittenRow> &rows)
{
    if (rows.empty())
        return;
    inSavepoint(handle, u"historico_escrito"_s, [&] { insertRows(handle, rows); }); // none stays on failure
}

QString osUser()
{
    for (const char *name : {"USER", "LOGNAME", "USERNAME"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value;
    }
    return u"usuário desconhecido"_s;
}

} // namespace db::history
