#include "db/PageTextSearchSchema.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/QueuedIndex.h"
#include "db/Statement.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgFold.h"

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace db::pagetextsearch {

namespace {

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

} // namespace

QStringList createStatements()
{
    return queuedindex::createStatements(queuedindex::pageTexts())
        + queuedindex::createStatements(queuedindex::foldedPageTexts());
}

void ensure(sqlite3 *handle)
{
    queuedindex::ensurePresent(handle, queuedindex::pageTexts());
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
    return count(connection.handle(), u"SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'lauda_texto'"_s)
        == 1;
}

bool hasAccentFold(db::pg::PgConnection &connection)
{
    return connection.exec(u"SELECT to_regprocedure('cartulo_sem_acento(text)') IS NOT NULL"_s).text(0, 0) == u"t"_s;
}

} // namespace db::pagetextsearch
