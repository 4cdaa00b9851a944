#include "db/QueuedIndex.h"

#include "db/AccentFold.h"
#include "db/DbError.h"
#include "db/Exec.h"
#include "db/Statement.h"

#include <limits>
#include <optional>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace db::queuedindex {

namespace {

// preenchido_ate of an index that covers every row, present and future.
constexpr qint64 kFilled = std::numeric_limits<qint64>::max();
constexpr int kMergePagesPerStep = 500;

QString stateTable(const Source &s)
{
    return s.index + u"_estado"_s;
}

QString forgetTable(const Source &s)
{
    return s.index + u"_esquecer"_s;
}

QString triggerName(const Source &s, QStringView event)
{
    return u"%1_v%2_%3"_s.arg(s.index, QString::number(kVersion), event);
}

QStringList triggerNames(const Source &s)
{
    return {triggerName(s, u"substitui"), triggerName(s, u"insere"), triggerName(s, u"exclui"),
            triggerName(s, u"altera")};
}

// "p.a, p.b" for the columns; with an empty prefix, the bare names.
QString columnList(const Source &s, QStringView prefix = {})
{
    QStringList names;
    for (const QStringView column : s.columns)
        names << prefix + column;
    return names.join(u", "_s);
}

// A row with no text at all is never indexed.
QString hasText(const Source &s, QStringView prefix = {})
{
    QStringList any;
    for (const QStringView column : s.columns)
        any << prefix + column + u" IS NOT NULL"_s;
    return u'(' + any.join(u" OR "_s) + u')';
}

QString sameKey(const Source &s, QStringView prefix)
{
    QStringList equal;
    for (const QStringView column : s.key)
        equal << u"%1 = %2%1"_s.arg(column, prefix);
    return equal.join(u" AND "_s);
}

QString covered(const Source &s, const QString &rowid)
{
    return u"%1 <= (SELECT preenchido_ate FROM %2)"_s.arg(rowid, stateTable(s));
}

// Whether a covered row's entry is in the index now.
QString indexed(const Source &s, const QString &rowid, QStringView prefix)
{
    return u"%1 AND %2 AND %3 NOT IN (SELECT id FROM %4)"_s.arg(covered(s, rowid), hasText(s, prefix), rowid,
                                                                pendingTable(s));
}

QString highestCovered(const Source &s)
{
    return u"(SELECT ifnull(max(rowid), 0) FROM %1 WHERE rowid <= %2.preenchido_ate)"_s.arg(s.table, stateTable(s));
}

QStringList tableStatements(const Source &s, qint64 filledUpTo)
{
    QStringList forgetColumns;
    for (const QStringView column : s.columns)
        forgetColumns << column + u" TEXT"_s;
    QStringList statements{
        u"CREATE VIRTUAL TABLE %1 USING fts5(%2, tokenize = 'trigram', content = '', detail = none, "
        u"columnsize = 0)"_s.arg(s.index, columnList(s)),
        u"CREATE TABLE %1 (versao INTEGER NOT NULL, preenchido_ate INTEGER NOT NULL, linhas INTEGER NOT NULL, "
        u"maior INTEGER NOT NULL)"_s.arg(stateTable(s)),
        u"INSERT INTO %1 (versao, preenchido_ate, linhas, maior) VALUES (%2, %3, 0, 0)"_s.arg(
            stateTable(s), QString::number(kVersion), QString::number(filledUpTo)),
        u"CREATE TABLE %1 (id INTEGER PRIMARY KEY)"_s.arg(pendingTable(s)),
        u"CREATE TABLE %1 (ordem INTEGER PRIMARY KEY, id INTEGER NOT NULL, %2)"_s.arg(forgetTable(s),
                                                                                   forgetColumns.join(u", "_s)),
    };
    // INSERT OR REPLACE removes the row of the same key without its delete trigger; with
    // OR IGNORE the row stays, pending, and is indexed again.
    statements << u"CREATE TRIGGER %1 BEFORE INSERT ON %2 BEGIN "
                  u"INSERT INTO %3 (id, %4) SELECT rowid, %4 FROM %2 WHERE %5 AND %6; "
                  u"INSERT OR IGNORE INTO %7 (id) SELECT rowid FROM %2 WHERE %5 AND %8; "
                  u"UPDATE %9 SET linhas = linhas - (SELECT count(*) FROM %2 WHERE %5 AND %8); END"_s
                      .arg(triggerName(s, u"substitui"), s.table, forgetTable(s), columnList(s),
                           sameKey(s, u"new."), indexed(s, u"rowid"_s, {}), pendingTable(s),
                           covered(s, u"rowid"_s), stateTable(s));
    statements << u"CREATE TRIGGER %1 AFTER INSERT ON %2 WHEN %3 BEGIN "
                  u"INSERT OR IGNORE INTO %4 (id) VALUES (new.rowid); "
                  u"UPDATE %5 SET linhas = linhas + 1, maior = %6; END"_s.arg(
                      triggerName(s, u"insere"), s.table, covered(s, u"new.rowid"_s), pendingTable(s),
                      stateTable(s), highestCovered(s));
    statements << u"CREATE TRIGGER %1 AFTER DELETE ON %2 WHEN %3 BEGIN "
                  u"INSERT INTO %4 (id, %5) SELECT old.rowid, %6 WHERE %7; "
                  u"DELETE FROM %8 WHERE id = old.rowid; "
                  u"UPDATE %9 SET linhas = linhas - 1, maior = %10; END"_s.arg(
                      triggerName(s, u"exclui"), s.table, covered(s, u"old.rowid"_s), forgetTable(s),
                      columnList(s), columnList(s, u"old."), indexed(s, u"old.rowid"_s, u"old."),
                      pendingTable(s), stateTable(s), highestCovered(s));
    QStringList changed{u"old.rowid IS NOT new.rowid"_s};
    for (const QStringView column : s.columns)
        changed << u"old.%1 IS NOT new.%1"_s.arg(column);
    statements << u"CREATE TRIGGER %1 AFTER UPDATE ON %2 WHEN (%3) AND (%4 OR %5) BEGIN "
                  u"INSERT INTO %6 (id, %7) SELECT old.rowid, %8 WHERE %9; "
                  u"DELETE FROM %10 WHERE id = old.rowid; "
                  u"INSERT OR IGNORE INTO %10 (id) SELECT new.rowid WHERE %5; "
                  u"UPDATE %11 SET linhas = linhas - (%4) + (%5), maior = %12; END"_s.arg(
                      triggerName(s, u"altera"), s.table, changed.join(u" OR "_s), covered(s, u"old.rowid"_s),
                      covered(s, u"new.rowid"_s), forgetTable(s), columnList(s), columnList(s, u"old."),
                      indexed(s, u"old.rowid"_s, u"old."))
                      .arg(pendingTable(s), stateTable(s), highestCovered(s));
    return statements;
}

StatementPtr prepare(sqlite3 *handle, const QString &sql)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, utf8.constData(), int(utf8.size()), &raw, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)) + u": "_s + sql);
    return StatementPtr(raw);
}

[[noreturn]] void fail(sqlite3 *handle)
{
    throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
}

std::optional<qint64> number(sqlite3 *handle, const QString &sql)
{
    StatementPtr statement = prepare(handle, sql);
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW)
        return sqlite3_column_type(statement.get(), 0) == SQLITE_NULL
                   ? std::nullopt
                   : std::optional<qint64>(sqlite3_column_int64(statement.get(), 0));
    if (rc != SQLITE_DONE)
        fail(handle);
    return std::nullopt;
}

bool objectExists(sqlite3 *handle, QStringView type, const QString &name)
{
    return number(handle, u"SELECT count(*) FROM sqlite_schema WHERE type = '%1' AND name = '%2'"_s.arg(type, name))
               .value_or(0) > 0;
}

// Every trigger of any version of the index, and its former ones.
QStringList triggersOfAnyVersion(sqlite3 *handle, const Source &s)
{
    QStringList former;
    for (const QStringView trigger : s.formerTriggers)
        former << u"'%1'"_s.arg(trigger);
    StatementPtr statement = prepare(
        handle, u"SELECT name FROM sqlite_schema WHERE type = 'trigger' AND (name LIKE '%1\\_v%' ESCAPE '\\' "
                u"OR name IN (%2))"_s.arg(s.index.toString().replace(u"_"_s, u"\\_"_s), former.join(u", "_s)));
    QStringList found;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW)
        found << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement.get(), 0)));
    if (rc != SQLITE_DONE)
        fail(handle);
    return found;
}

bool isOfThisVersion(sqlite3 *handle, const Source &s)
{
    for (const QString &table : {s.index.toString(), stateTable(s), pendingTable(s), forgetTable(s)}) {
        if (!objectExists(handle, u"table", table))
            return false;
    }
    if (number(handle, u"SELECT versao FROM %1"_s.arg(stateTable(s))) != kVersion)
        return false;
    const QStringList present = triggersOfAnyVersion(handle, s);
    for (const QString &trigger : triggerNames(s)) {
        if (!present.contains(trigger))
            return false;
    }
    return present.size() == triggerNames(s).size();
}

struct State {
    qint64 filledUpTo = 0;
    qint64 rows = 0;
    qint64 highest = 0;
};

State readState(sqlite3 *handle, const Source &s)
{
    StatementPtr statement = prepare(handle, u"SELECT preenchido_ate, linhas, maior FROM %1"_s.arg(stateTable(s)));
    if (sqlite3_step(statement.get()) != SQLITE_ROW)
        throw DbError(u"O estado do índice de pesquisa %1 está vazio."_s.arg(s.index));
    return {sqlite3_column_int64(statement.get(), 0), sqlite3_column_int64(statement.get(), 1),
            sqlite3_column_int64(statement.get(), 2)};
}

bool matchesTable(sqlite3 *handle, const Source &s, const State &state)
{
    return number(handle, u"SELECT count(*) FROM %1"_s.arg(s.table)) == state.rows
        && number(handle, u"SELECT ifnull(max(rowid), 0) FROM %1"_s.arg(s.table)) == state.highest;
}

void dropObjects(sqlite3 *handle, const Source &s)
{
    for (const QString &trigger : triggersOfAnyVersion(handle, s))
        exec(handle, u"DROP TRIGGER \"%1\""_s.arg(trigger));
    for (const QString &table : {s.index.toString(), stateTable(s), pendingTable(s), forgetTable(s)})
        exec(handle, u"DROP TABLE IF EXISTS %1"_s.arg(table));
}

// The text the index holds for a column: as it is, or its accent fold.
void bindEntry(sqlite3 *handle, const Source &s, sqlite3_stmt *to, int index, sqlite3_stmt *from, int column)
{
    int rc;
    if (sqlite3_column_type(from, column) == SQLITE_NULL) {
        rc = sqlite3_bind_null(to, index);
    } else {
        const QByteArrayView text(reinterpret_cast<const char *>(sqlite3_column_text(from, column)),
                                  sqlite3_column_bytes(from, column));
        const QByteArray entry = s.foldAccents ? foldAccentsUtf8(text) : text.toByteArray();
        rc = sqlite3_bind_text64(to, index, entry.constData(), sqlite3_uint64(entry.size()), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
    }
    if (rc != SQLITE_OK)
        fail(handle);
}

// Writes into the index, for each row `rows` gives (rowid, then the columns), its entry;
// `command` is "" to add it or "'delete', " to take it out.
qint64 writeEntries(sqlite3 *handle, const Source &s, const QString &rows, QStringView command)
{
    QStringList places;
    for (qsizetype i = 0; i < s.columns.size(); ++i)
        places << u"?%1"_s.arg(i + 2);
    const QString target = command.isEmpty() ? u"%1 (rowid, %2)"_s.arg(s.index, columnList(s))
                                             : u"%1 (%1, rowid, %2)"_s.arg(s.index, columnList(s));
    StatementPtr insert = prepare(handle, u"INSERT INTO %1 VALUES (%2?1, %3)"_s.arg(target, command,
                                                                                     places.join(u", "_s)));
    StatementPtr read = prepare(handle, rows);
    qint64 written = 0;
    int rc;
    while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
        sqlite3_bind_int64(insert.get(), 1, sqlite3_column_int64(read.get(), 0));
        for (int column = 0; column < int(s.columns.size()); ++column)
            bindEntry(handle, s, insert.get(), column + 2, read.get(), column + 1);
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            fail(handle);
        sqlite3_reset(insert.get());
        ++written;
    }
    if (rc != SQLITE_DONE)
        fail(handle);
    return written;
}

void catchUpQueues(sqlite3 *handle, const Source &s)
{
    // The old copies first: a rowid may have been given to a new row since.
    writeEntries(handle, s, u"SELECT id, %1 FROM %2 WHERE %3 ORDER BY ordem"_s.arg(columnList(s), forgetTable(s),
                                                                                hasText(s)),
                 u"'delete', ");
    exec(handle, u"DELETE FROM %1"_s.arg(forgetTable(s)));
    writeEntries(handle, s,
                 u"SELECT t.rowid, %1 FROM %2 AS p CROSS JOIN %3 AS t WHERE t.rowid = p.id AND %4"_s.arg(
                     columnList(s, u"t."), pendingTable(s), s.table, hasText(s, u"t.")),
                 {});
    exec(handle, u"DELETE FROM %1"_s.arg(pendingTable(s)));
}

void prepareToFill(sqlite3 *handle, const Source &s)
{
    inTransaction(handle, [&] {
        if (isOfThisVersion(handle, s)) {
            const State state = readState(handle, s);
            if (state.filledUpTo != kFilled || matchesTable(handle, s, state))
                return; // another copy of the program got here first
        }
        dropObjects(handle, s);
        for (const QString &statement : tableStatements(s, 0))
            exec(handle, statement);
    });
}

// Indexes the rows after the mark, up to `rows` of them (all when 0); returns the state after.
State fillStep(sqlite3 *handle, const Source &s, int rows)
{
    return inTransaction(handle, [&] {
        const State before = readState(handle, s);
        if (before.filledUpTo == kFilled)
            return before;
        qint64 upTo = kFilled;
        if (rows > 0)
            upTo = number(handle, u"SELECT rowid FROM %1 WHERE rowid > %2 ORDER BY rowid LIMIT 1 OFFSET %3"_s.arg(
                                      s.table, QString::number(before.filledUpTo), QString::number(rows - 1)))
                       .value_or(kFilled);
        const QString range = u"rowid > %1 AND rowid <= %2"_s.arg(QString::number(before.filledUpTo),
                                                                  QString::number(upTo));
        writeEntries(handle, s, u"SELECT rowid, %1 FROM %2 WHERE %3 AND %4"_s.arg(columnList(s), s.table, range,
                                                                                hasText(s)),
                     {});
        const qint64 added = number(handle, u"SELECT count(*) FROM %1 WHERE %2"_s.arg(s.table, range)).value_or(0);
        exec(handle, u"UPDATE %1 SET preenchido_ate = %2, linhas = linhas + %3, maior = "
                     u"(SELECT ifnull(max(rowid), 0) FROM %4 WHERE rowid <= %2)"_s.arg(
                         stateTable(s), QString::number(upTo), QString::number(added), s.table));
        return readState(handle, s);
    });
}

bool cancelled(const searchindex::UpdateOptions &options)
{
    return options.cancel && options.cancel->load(std::memory_order_relaxed);
}

void setOption(sqlite3 *handle, const Source &s, QStringView option, qint64 value)
{
    exec(handle, u"INSERT INTO %1(%1, rank) VALUES ('%2', %3)"_s.arg(s.index, option, QString::number(value)));
}

// Many small steps leave many segments: merged a few hundred pages at a time.
bool merge(sqlite3 *handle, const Source &s, const searchindex::UpdateOptions &options)
{
    while (!cancelled(options)) {
        const int before = sqlite3_total_changes(handle);
        inTransaction(handle, [&] { setOption(handle, s, u"merge", -kMergePagesPerStep); });
        if (sqlite3_total_changes(handle) - before < 2)
            return true;
    }
    return false;
}

} // namespace

const Source &foldedDocuments()
{
    static const Source source{u"documento", u"documento_busca_sem_acento",
                               {u"ementa", u"descricao", u"palavras_chave"}, {u"processo", u"cod"}};
    return source;
}

const Source &foldedPageTexts()
{
    static const Source source{u"lauda_texto", u"lauda_texto_busca_sem_acento", {u"texto"},
                               {u"processo", u"documento", u"numero"}};
    return source;
}

const Source &pageTexts()
{
    // Its former triggers wrote the index themselves, and lost an entry to INSERT OR IGNORE.
    static const Source source{u"lauda_texto",
                               u"lauda_texto_busca",
                               {u"texto"},
                               {u"processo", u"documento", u"numero"},
                               false,
                               {u"lauda_texto_busca_insere", u"lauda_texto_busca_exclui", u"lauda_texto_busca_altera",
                                u"lauda_texto_busca_substitui"}};
    return source;
}

QList<const Source *> all()
{
    return {&foldedDocuments(), &pageTexts(), &foldedPageTexts()};
}

QString pendingTable(const Source &source)
{
    return source.index + u"_pendente"_s;
}

QStringList createStatements(const Source &source)
{
    return tableStatements(source, kFilled);
}

searchindex::Condition condition(sqlite3 *handle, const Source &source)
{
    if (!isOfThisVersion(handle, source))
        return searchindex::Condition::Missing;
    return inSavepoint(handle, u"indice_condicao"_s, [&] {
        const State state = readState(handle, source);
        return state.filledUpTo != kFilled             ? searchindex::Condition::Filling
               : matchesTable(handle, source, state) ? searchindex::Condition::Current
                                                     : searchindex::Condition::Stale;
    });
}

bool isFilled(sqlite3 *handle, const Source &source)
{
    try {
        return isOfThisVersion(handle, source) && readState(handle, source).filledUpTo == kFilled;
    } catch (const DbError &) {
        return false;
    }
}

qint64 pendingRows(sqlite3 *handle, const Source &source, qint64 limit)
{
    return number(handle, u"SELECT count(*) FROM (SELECT 1 FROM %1 LIMIT %2)"_s.arg(pendingTable(source),
                                                                                   QString::number(limit)))
        .value_or(0);
}

void catchUp(sqlite3 *handle, const Source &source)
{
    if (!objectExists(handle, u"table", pendingTable(source)))
        return;
    inSavepoint(handle, u"indice_fila"_s, [&] { catchUpQueues(handle, source); });
}

void ensurePresent(sqlite3 *handle, const Source &source)
{
    if (objectExists(handle, u"table", source.table.toString()) && !isOfThisVersion(handle, source))
        prepareToFill(handle, source);
}

bool update(sqlite3 *handle, const Source &source, const searchindex::UpdateOptions &options)
{
    if (!objectExists(handle, u"table", source.table.toString()))
        return true;
    const searchindex::Condition found = condition(handle, source);
    if (found == searchindex::Condition::Missing || found == searchindex::Condition::Stale)
        prepareToFill(handle, source);
    const bool atOnce = options.documentsPerTransaction <= 0;
    if (found != searchindex::Condition::Current) {
        const qint64 total = number(handle, u"SELECT count(*) FROM %1"_s.arg(source.table)).value_or(0);
        for (;;) {
            if (cancelled(options))
                return false;
            const State state = fillStep(handle, source, options.documentsPerTransaction);
            if (options.progress)
                options.progress({state.rows, std::max(total, state.rows)});
            if (state.filledUpTo == kFilled)
                break;
        }
        if (atOnce)
            inTransaction(handle, [&] { exec(handle, u"INSERT INTO %1(%1) VALUES ('optimize')"_s.arg(source.index)); });
        else if (!merge(handle, source, options))
            return false;
    }
    inTransaction(handle, [&] { catchUpQueues(handle, source); });
    return true;
}

void drop(sqlite3 *handle, const Source &source)
{
    inSavepoint(handle, u"indice_fila"_s, [&] { dropObjects(handle, source); });
}

} // namespace db::queuedindex
