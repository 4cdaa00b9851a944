#include "db/PageTextSearchSchema.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Exec.h"
#include "db/QueuedIndex.h"
#include "db/Statement.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgFold.h"

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace db::pagetextsearch {

namespace {

constexpr QStringView kInsertTrigger = u"lauda_texto_busca_insere";
constexpr QStringView kDeleteTrigger = u"lauda_texto_busca_exclui";
constexpr QStringView kUpdateTrigger = u"lauda_texto_busca_altera";
constexpr QStringView kReplaceTrigger = u"lauda_texto_busca_substitui";

// A contentless table forgets a row only when told the exact text it indexed; a NULL text
// (a page that could not be read) is never indexed.
QStringList fileStatements()
{
    return {
        u"CREATE VIRTUAL TABLE %1 USING fts5(texto, tokenize = 'trigram', content = '', detail = none, "
        u"columnsize = 0)"_s.arg(kTable),
        // INSERT OR REPLACE removes the row it replaces without its delete trigger.
        u"CREATE TRIGGER %1 BEFORE INSERT ON lauda_texto BEGIN "
        u"INSERT INTO %2 (%2, rowid, texto) SELECT 'delete', rowid, texto FROM lauda_texto "
        u"WHERE processo = new.processo AND documento = new.documento AND numero = new.numero "
        u"AND texto IS NOT NULL; END"_s.arg(kReplaceTrigger, kTable),
        u"CREATE TRIGGER %1 AFTER INSERT ON lauda_texto WHEN new.texto IS NOT NULL BEGIN "
        u"INSERT INTO %2 (rowid, texto) VALUES (new.rowid, new.texto); END"_s.arg(kInsertTrigger, kTable),
        u"CREATE TRIGGER %1 AFTER DELETE ON lauda_texto WHEN old.texto IS NOT NULL BEGIN "
        u"INSERT INTO %2 (%2, rowid, texto) VALUES ('delete', old.rowid, old.texto); END"_s.arg(kDeleteTrigger,
                                                                                            kTable),
        u"CREATE TRIGGER %1 AFTER UPDATE ON lauda_texto WHEN old.rowid IS NOT new.rowid OR "
        u"old.texto IS NOT new.texto BEGIN "
        u"INSERT INTO %2 (%2, rowid, texto) SELECT 'delete', old.rowid, old.texto WHERE old.texto IS NOT NULL; "
        u"INSERT INTO %2 (rowid, texto) SELECT new.rowid, new.texto WHERE new.texto IS NOT NULL; END"_s.arg(
            kUpdateTrigger, kTable),
    };
}

int count(sqlite3 *handle, const QString &sql)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, utf8.constData(), int(utf8.size()), &raw, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    StatementPtr statement(raw);
    if (sqlite3_step(raw) != SQLITE_ROW)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    return sqlite3_column_int(raw, 0);
}

int objectCount(sqlite3 *handle, QStringView type, const QStringList &names)
{
    return count(handle, u"SELECT count(*) FROM sqlite_schema WHERE type = '%1' AND name IN ('%2')"_s.arg(
                             type, names.join(u"', '"_s)));
}

bool complete(sqlite3 *handle)
{
    return objectCount(handle, u"table", {kTable.toString()}) == 1
        && objectCount(handle, u"trigger",
                       {kInsertTrigger.toString(), kDeleteTrigger.toString(), kUpdateTrigger.toString(),
                        kReplaceTrigger.toString()})
        == 4;
}

} // namespace

QStringList createStatements()
{
    return fileStatements() + queuedindex::createStatements(queuedindex::foldedPageTexts());
}

bool isPresent(sqlite3 *handle)
{
    try {
        return complete(handle);
    } catch (const DbError &) {
        return false;
    }
}

void ensure(sqlite3 *handle)
{
    if (objectCount(handle, u"table", {u"lauda_texto"_s}) == 0 || complete(handle))
        return;
    inSavepoint(handle, u"lauda_texto_busca"_s, [&] {
        for (const QStringView trigger : {kInsertTrigger, kDeleteTrigger, kUpdateTrigger, kReplaceTrigger})
            exec(handle, u"DROP TRIGGER IF EXISTS %1"_s.arg(trigger));
        exec(handle, u"DROP TABLE IF EXISTS %1"_s.arg(kTable));
        for (const QString &statement : fileStatements())
            exec(handle, statement);
        exec(handle, u"INSERT INTO %1 (rowid, texto) SELECT rowid, texto FROM lauda_texto WHERE texto IS NOT NULL"_s
                         .arg(kTable));
    });
}

// ---------------------------------------------------------------------------------------

namespace {

struct ServerIndex {
    QStringView name;
    QStringView definition;
};

// The expressions are those the dialect makes of `x like p` and of
// `cartulo_sem_acento(x) like cartulo_sem_acento(p)`. No pending list: a search would read
// all of it on every workstation until the next vacuum.
constexpr ServerIndex kServerIndexes[] = {
    {u"lauda_texto_busca", u"ON lauda_texto USING gin (cartulo_fold(texto) gin_trgm_ops)"},
    {u"lauda_texto_busca_sem_acento", u"ON lauda_texto USING gin (cartulo_fold(cartulo_sem_acento(texto)) gin_trgm_ops)"},
    {u"documento_busca_sem_acento",
     u"ON documento USING gin (cartulo_fold(cartulo_sem_acento(ementa)) gin_trgm_ops, "
     u"cartulo_fold(cartulo_sem_acento(descricao)) gin_trgm_ops, "
     u"cartulo_fold(cartulo_sem_acento(palavras_chave)) gin_trgm_ops)"},
};

QString createIndex(const ServerIndex &index)
{
    return u"CREATE INDEX IF NOT EXISTS %1 %2 WITH (fastupdate = off)"_s.arg(index.name, index.definition);
}

} // namespace

QStringList createStatements(db::pg::PgConnection &connection)
{
    QStringList statements{db::pg::accentFoldFunctionStatement(connection)};
    for (const ServerIndex &index : kServerIndexes)
        statements << createIndex(index);
    return statements;
}

QString ensure(db::pg::PgConnection &connection)
{
    const db::pg::PgResult present = connection.exec(
        u"SELECT to_regclass('lauda_texto') IS NOT NULL, to_regprocedure('cartulo_sem_acento(text)') IS NOT NULL, "
        u"(SELECT count(*) FROM pg_class WHERE relkind = 'i' AND relname IN ('lauda_texto_busca', "
        u"'lauda_texto_busca_sem_acento', 'documento_busca_sem_acento'))"_s);
    const bool hasFunction = present.text(0, 1) == u"t"_s;
    if (present.text(0, 0) != u"t"_s || (hasFunction && present.text(0, 2).toInt() == 3))
        return {};
    try {
        db::pg::PgTransaction transaction(connection);
        if (!hasFunction)
            connection.exec(db::pg::accentFoldFunctionStatement(connection));
        for (const ServerIndex &index : kServerIndexes)
            connection.exec(createIndex(index));
        transaction.commit();
    } catch (const DbError &error) {
        if (error.sqlState() != u"42501"_s && error.kind() != ErrorKind::NoPrivilege)
            throw;
        return u"Sem permissão para criar os índices de pesquisa no texto das páginas (%1): as pesquisas no "
               u"texto das páginas ficam mais lentas, e \"Ignorar acentos\" só funciona depois que o arquivo for "
               u"aberto uma vez pelo dono do banco."_s.arg(error.message());
    }
    return {};
}

bool hasPageTextTable(db::Connection &connection)
{
    if (connection.server())
        return connection.server()->exec(u"SELECT to_regclass('lauda_texto') IS NOT NULL"_s).text(0, 0) == u"t"_s;
    return objectCount(connection.handle(), u"table", {u"lauda_texto"_s}) == 1;
}

bool hasAccentFold(db::pg::PgConnection &connection)
{
    return connection.exec(u"SELECT to_regprocedure('cartulo_sem_acento(text)') IS NOT NULL"_s).text(0, 0) == u"t"_s;
}

} // namespace db::pagetextsearch
