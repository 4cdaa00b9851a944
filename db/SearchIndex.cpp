#include "db/SearchIndex.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Exec.h"
#include "db/Statement.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

Q_DECLARE_LOGGING_CATEGORY(lcDb)

namespace db::searchindex {

namespace {

QString triggerName(QStringView event)
{
    return u"%1_v%2_%3"_s.arg(kTable, QString::number(kVersion), event);
}

// The three folded columns of a row, as new.x or old.x.
QString foldedValues(QStringView row)
{
    return u"cartulo_fold(%1.ementa), cartulo_fold(%1.descricao), cartulo_fold(%1.palavras_chave)"_s
        .arg(row);
}

QString insertOf(QStringView row)
{
    return u"INSERT INTO %1(rowid, ementa, descricao, palavras_chave) VALUES (%2.rowid, %3);"_s.arg(
        kTable, row, foldedValues(row));
}

// A contentless table forgets a row only when told the exact values it indexed; the fold
// is deterministic, so folding the old values again gives them.
QString deleteOf(QStringView row)
{
    return u"INSERT INTO %1(%1, rowid, ementa, descricao, palavras_chave) VALUES ('delete', %2.rowid, %3);"_s
        .arg(kTable, row, foldedValues(row));
}

// FTS5's own defaults, restored after a bulk fill.
constexpr qint64 kDefaultHashSize = 1024 * 1024;
constexpr qint64 kDefaultAutomerge = 4;
constexpr qint64 kBulkHashSize = 64 * 1024 * 1024;

void setOption(sqlite3 *handle, QStringView option, qint64 value)
{
    exec(handle, u"INSERT INTO %1(%1, rank) VALUES ('%2', %3)"_s.arg(kTable, option, QString::number(value)));
}

QStringList schemaNames(sqlite3 *handle, const char *sql)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(handle, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    StatementPtr statement(raw);
    QStringList names;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
        names << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)));
    if (rc != SQLITE_DONE)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    return names;
}

QStringList indexObjects(sqlite3 *handle)
{
    return schemaNames(handle, "SELECT name FROM sqlite_schema WHERE type = 'trigger' AND "
                               "name LIKE 'documento\\_busca\\_%' ESCAPE '\\' "
                               "UNION ALL SELECT name FROM sqlite_schema WHERE type = 'table' AND "
                               "name = 'documento_busca'");
}

} // namespace

QStringList createStatements()
{
    // detail=full keeps positions, so a term is matched as one phrase: far fewer false
    // candidates than an AND of its trigrams. case_sensitive: the text is folded already.
    return {
        u"CREATE VIRTUAL TABLE %1 USING fts5(ementa, descricao, palavras_chave, "
        u"tokenize = 'trigram case_sensitive 1', content = '', detail = full)"_s.arg(kTable),
        u"CREATE TRIGGER %1 AFTER INSERT ON documento BEGIN %2 END"_s.arg(triggerName(u"insere"),
                                                                        insertOf(u"new")),
        u"CREATE TRIGGER %1 AFTER DELETE ON documento BEGIN %2 END"_s.arg(triggerName(u"exclui"),
                                                                        deleteOf(u"old")),
        u"CREATE TRIGGER %1 AFTER UPDATE OF ementa, descricao, palavras_chave ON documento "
        u"BEGIN %2 %3 END"_s.arg(triggerName(u"altera"), deleteOf(u"old"), insertOf(u"new")),
    };
}

bool isPresent(sqlite3 *handle)
{
    const QStringList present = indexObjects(handle);
    if (!present.contains(kTable.toString()))
        return false;
    for (const char16_t *event : {u"insere", u"exclui", u"altera"}) {
        if (!present.contains(triggerName(event)))
            return false;
    }
    return true;
}

void rebuild(sqlite3 *handle)
{
    QElapsedTimer timer;
    timer.start();
    exec(handle, u"BEGIN IMMEDIATE"_s);
    try {
        for (const QString &name : indexObjects(handle)) {
            if (name != kTable.toString())
                exec(handle, u"DROP TRIGGER %1"_s.arg(name));
        }
        exec(handle, u"DROP TABLE IF EXISTS %1"_s.arg(kTable));
        for (const QString &statement : createStatements())
            exec(handle, statement);
        // A bulk fill: large in-memory batches and no merging on the way, then one merge
        // into a single segment, so the first searches need not walk many small ones.
        // Later writes go back to the engine's defaults.
        setOption(handle, u"hashsize", kBulkHashSize);
        setOption(handle, u"automerge", 0);
        exec(handle, u"INSERT INTO %1(rowid, ementa, descricao, palavras_chave) "
                     u"SELECT rowid, %2 FROM documento"_s.arg(kTable,
                                                             foldedValues(u"documento")));
        exec(handle, u"INSERT INTO %1(%1) VALUES ('optimize')"_s.arg(kTable));
        setOption(handle, u"hashsize", kDefaultHashSize);
        setOption(handle, u"automerge", kDefaultAutomerge);
        exec(handle, u"COMMIT"_s);
    } catch (const DbError &) {
        sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    qCInfo(lcDb) << "search index built in" << timer.elapsed() << "ms";
}

void ensure(sqlite3 *handle)
{
    if (!isPresent(handle))
        rebuild(handle);
}

void ensure(Connection &connection)
{
    if (!connection.isOpen())
        throw DbError(u"A conexão não está aberta."_s);
    ensure(connection.handle());
}

} // namespace db::searchindex
