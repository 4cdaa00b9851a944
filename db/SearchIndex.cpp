#include "db/SearchIndex.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Exec.h"
#include "db/QueuedIndex.h"
#include "db/ReadConnections.h"
#include "db/Statement.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <initializer_list>
#include <limits>
#include <optional>
#include <sqlite3.h>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

Q_DECLARE_LOGGING_CATEGORY(lcDb)

namespace db::searchindex {

namespace {

// preenchido_ate of an index that covers every row, present and future.
constexpr qint64 kFilled = std::numeric_limits<qint64>::max();

// Characters below this fold the same way in the trigram tokenizer and in like() (checked
// over every code point by the tests); above it some scripts differ.
constexpr char32_t kFoldAgreesBelow = 0x250;

constexpr int kBusyTimeoutMs = 30000;
constexpr int kMergePagesPerStep = 500;

// FTS5's own defaults, restored after a fill in one go.
constexpr qint64 kDefaultHashSize = 1024 * 1024;
constexpr qint64 kDefaultAutomerge = 4;
constexpr qint64 kBulkHashSize = 64 * 1024 * 1024;

QString triggerName(QStringView event)
{
    return u"%1_v%2_%3"_s.arg(kTable, QString::number(kVersion), event);
}

// Whether a row is covered yet: rows above the fill mark are filled later, as they are then.
QString covered(QStringView rowid)
{
    return u"%1 <= (SELECT preenchido_ate FROM %2)"_s.arg(rowid, kStateTable);
}

QString highestCovered()
{
    return u"(SELECT ifnull(max(rowid), 0) FROM documento WHERE rowid <= %1.preenchido_ate)"_s.arg(kStateTable);
}

QStringList tableStatements(qint64 filledUpTo)
{
    // No positions (detail=none), no sizes (columnsize=0) and no text (content=''): the
    // index only finds candidates, which like() checks.
    return {
        u"CREATE VIRTUAL TABLE %1 USING fts5(ementa, descricao, palavras_chave, tokenize = 'trigram', "
        u"content = '', detail = none, columnsize = 0)"_s.arg(kTable),
        u"CREATE TABLE %1 (versao INTEGER NOT NULL, preenchido_ate INTEGER NOT NULL, linhas INTEGER NOT NULL, "
        u"maior INTEGER NOT NULL)"_s.arg(kStateTable),
        u"INSERT INTO %1 (versao, preenchido_ate, linhas, maior) VALUES (%2, %3, 0, 0)"_s.arg(
            kStateTable, QString::number(kVersion), QString::number(filledUpTo)),
        u"CREATE TRIGGER %1 AFTER INSERT ON documento WHEN %2 BEGIN "
        u"INSERT INTO %3 (rowid, ementa, descricao, palavras_chave) "
        u"VALUES (new.rowid, new.ementa, new.descricao, new.palavras_chave); "
        u"UPDATE %4 SET linhas = linhas + 1, maior = max(maior, new.rowid); END"_s.arg(
            triggerName(u"insere"), covered(u"new.rowid"), kTable, kStateTable),
        // A contentless table forgets a row only when told the exact values it indexed.
        u"CREATE TRIGGER %1 AFTER DELETE ON documento WHEN %2 BEGIN "
        u"INSERT INTO %3 (%3, rowid, ementa, descricao, palavras_chave) "
        u"VALUES ('delete', old.rowid, old.ementa, old.descricao, old.palavras_chave); "
        u"UPDATE %4 SET linhas = linhas - 1, maior = %5; END"_s.arg(
            triggerName(u"exclui"), covered(u"old.rowid"), kTable, kStateTable, highestCovered()),
        u"CREATE TRIGGER %1 AFTER UPDATE ON documento WHEN "
        u"(old.rowid IS NOT new.rowid OR old.ementa IS NOT new.ementa OR old.descricao IS NOT new.descricao "
        u"OR old.palavras_chave IS NOT new.palavras_chave) AND %2 BEGIN "
        u"INSERT INTO %3 (%3, rowid, ementa, descricao, palavras_chave) "
        u"SELECT 'delete', old.rowid, old.ementa, old.descricao, old.palavras_chave WHERE %4; "
        u"INSERT INTO %3 (rowid, ementa, descricao, palavras_chave) "
        u"SELECT new.rowid, new.ementa, new.descricao, new.palavras_chave WHERE %5; "
        u"UPDATE %6 SET linhas = linhas - (old.rowid <= preenchido_ate) + (new.rowid <= preenchido_ate), "
        u"maior = %7; END"_s.arg(triggerName(u"altera"), covered(u"min(old.rowid, new.rowid)"), kTable,
                                   covered(u"old.rowid"), covered(u"new.rowid"), kStateTable, highestCovered()),
    };
}

// One number from a statement with integer parameters; nullopt when it gives no row or NULL.
std::optional<qint64> number(sqlite3 *handle, const QString &sql, std::initializer_list<qint64> parameters = {})
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, utf8.constData(), int(utf8.size()), &raw, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    StatementPtr statement(raw);
    int index = 0;
    for (const qint64 parameter : parameters)
        sqlite3_bind_int64(raw, ++index, parameter);
    const int rc = sqlite3_step(raw);
    if (rc == SQLITE_ROW)
        return sqlite3_column_type(raw, 0) == SQLITE_NULL ? std::nullopt
                                                          : std::optional<qint64>(sqlite3_column_int64(raw, 0));
    if (rc != SQLITE_DONE)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    return std::nullopt;
}

QStringList names(sqlite3 *handle, const char *sql)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(handle, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    StatementPtr statement(raw);
    QStringList found;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
        found << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)));
    if (rc != SQLITE_DONE)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    return found;
}

// Every trigger of any version of the index, and its tables.
QStringList triggers(sqlite3 *handle)
{
    // Not those of the index without accents (db/QueuedIndex.h), named after it.
    return names(handle, "SELECT name FROM sqlite_schema WHERE type = 'trigger' AND "
                         "name LIKE 'documento\\_busca\\_%' ESCAPE '\\' AND "
                         "name NOT LIKE 'documento\\_busca\\_sem\\_acento\\_%' ESCAPE '\\'");
}

bool tableExists(sqlite3 *handle, QStringView table)
{
    return number(handle, u"SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = '%1'"_s.arg(table))
               .value_or(0) > 0;
}

bool isOfThisVersion(sqlite3 *handle)
{
    if (!tableExists(handle, kTable) || !tableExists(handle, kStateTable))
        return false;
    if (number(handle, u"SELECT versao FROM %1"_s.arg(kStateTable)) != kVersion)
        return false;
    const QStringList present = triggers(handle);
    for (const char16_t *event : {u"insere", u"exclui", u"altera"}) {
        if (!present.contains(triggerName(event)))
            return false;
    }
    return present.size() == 3;
}

struct State {
    qint64 filledUpTo = 0;
    qint64 rows = 0;
    qint64 highest = 0;
};

State readState(sqlite3 *handle)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray sql = u"SELECT preenchido_ate, linhas, maior FROM %1"_s.arg(kStateTable).toUtf8();
    if (sqlite3_prepare_v2(handle, sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    StatementPtr statement(raw);
    if (sqlite3_step(raw) != SQLITE_ROW)
        throw DbError(u"O estado do índice de pesquisa está vazio."_s);
    return {sqlite3_column_int64(raw, 0), sqlite3_column_int64(raw, 1), sqlite3_column_int64(raw, 2)};
}

bool matchesTable(sqlite3 *handle, const State &state)
{
    return number(handle, u"SELECT count(*) FROM documento"_s) == state.rows
        && number(handle, u"SELECT ifnull(max(rowid), 0) FROM documento"_s) == state.highest;
}

void setOption(sqlite3 *handle, QStringView option, qint64 value)
{
    exec(handle, u"INSERT INTO %1(%1, rank) VALUES ('%2', %3)"_s.arg(kTable, option, QString::number(value)));
}

void dropObjects(sqlite3 *handle)
{
    for (const QString &trigger : triggers(handle))
        exec(handle, u"DROP TRIGGER \"%1\""_s.arg(trigger));
    exec(handle, u"DROP TABLE IF EXISTS %1"_s.arg(kTable));
    exec(handle, u"DROP TABLE IF EXISTS %1"_s.arg(kStateTable));
}

// Prepares an index to fill from the first document: a new one in place of a missing or
// older one, or a stale one emptied. Rechecked inside the transaction, as another copy of
// the program may have done it meanwhile.
void prepareToFill(sqlite3 *handle)
{
    inTransaction(handle, [&] {
        if (!isOfThisVersion(handle)) {
            dropObjects(handle);
            for (const QString &statement : tableStatements(0))
                exec(handle, statement);
            return;
        }
        const State state = readState(handle);
        if (state.filledUpTo == kFilled && !matchesTable(handle, state)) {
            exec(handle, u"INSERT INTO %1(%1) VALUES ('delete-all')"_s.arg(kTable));
            exec(handle, u"UPDATE %1 SET preenchido_ate = 0, linhas = 0, maior = 0"_s.arg(kStateTable));
        }
    });
}

// Fills the documents after the mark, up to `documents` of them (all when 0); returns the
// state after it.
State fillStep(sqlite3 *handle, int documents)
{
    return inTransaction(handle, [&] {
        const State before = readState(handle);
        if (before.filledUpTo == kFilled)
            return before;
        qint64 upTo = kFilled;
        if (documents > 0) {
            // The rowid of the last document of this step; none: the rest fits in it.
            upTo = number(handle, u"SELECT rowid FROM documento WHERE rowid > ?1 ORDER BY rowid LIMIT 1 OFFSET ?2"_s,
                          {before.filledUpTo, documents - 1})
                       .value_or(kFilled);
        }
        exec(handle, u"INSERT INTO %1 (rowid, ementa, descricao, palavras_chave) "
                     u"SELECT rowid, ementa, descricao, palavras_chave FROM documento WHERE rowid > %2 AND rowid <= %3"_s
                         .arg(kTable, QString::number(before.filledUpTo), QString::number(upTo)));
        const int added = sqlite3_changes(handle);
        exec(handle, u"UPDATE %1 SET preenchido_ate = %2, linhas = linhas + %3, "
                     u"maior = (SELECT ifnull(max(rowid), 0) FROM documento WHERE rowid <= %2)"_s.arg(
                         kStateTable, QString::number(upTo), QString::number(added)));
        return readState(handle);
    });
}

bool cancelled(const UpdateOptions &options)
{
    return options.cancel && options.cancel->load(std::memory_order_relaxed);
}

// Many small steps leave many segments: merged a few hundred pages at a time, so a
// search walks one or two of them.
bool merge(sqlite3 *handle, const UpdateOptions &options)
{
    while (!cancelled(options)) {
        const int before = sqlite3_total_changes(handle);
        inTransaction(handle, [&] { setOption(handle, u"merge", -kMergePagesPerStep); });
        if (sqlite3_total_changes(handle) - before < 2)
            return true;
    }
    return false;
}

bool fillAtOnce(sqlite3 *handle, const UpdateOptions &options)
{
    inTransaction(handle, [&] {
        setOption(handle, u"hashsize", kBulkHashSize);
        setOption(handle, u"automerge", 0);
    });
    const State state = fillStep(handle, 0);
    inTransaction(handle, [&] {
        exec(handle, u"INSERT INTO %1(%1) VALUES ('optimize')"_s.arg(kTable));
        setOption(handle, u"hashsize", kDefaultHashSize);
        setOption(handle, u"automerge", kDefaultAutomerge);
    });
    if (options.progress)
        options.progress({state.rows, state.rows});
    return true;
}

} // namespace

QStringList createStatements()
{
    return tableStatements(kFilled) + queuedindex::createStatements(queuedindex::foldedDocuments());
}

namespace {

Condition plainCondition(sqlite3 *handle)
{
    if (!isOfThisVersion(handle))
        return Condition::Missing;
    // One read transaction (or a part of the caller's), so the state and the table are
    // seen at one moment.
    return inSavepoint(handle, u"busca_condicao"_s, [&] {
        const State state = readState(handle);
        return state.filledUpTo != kFilled  ? Condition::Filling
               : matchesTable(handle, state) ? Condition::Current
                                             : Condition::Stale;
    });
}

} // namespace

Condition condition(sqlite3 *handle)
{
    const Condition plain = plainCondition(handle);
    if (plain != Condition::Current)
        return plain;
    for (const queuedindex::Source *source : queuedindex::all()) {
        if (!tableExists(handle, source->table))
            continue;
        const Condition queued = queuedindex::condition(handle, *source);
        if (queued != Condition::Current)
            return queued;
    }
    return Condition::Current;
}

bool isFilled(sqlite3 *handle)
{
    try {
        return isOfThisVersion(handle) && readState(handle).filledUpTo == kFilled;
    } catch (const DbError &) {
        return false;
    }
}

QStringList lookupTrigrams(const QString &foldedFragment)
{
    const QList<uint> points = foldedFragment.toUcs4();
    QStringList trigrams;
    for (qsizetype i = 0; i + 3 <= points.size(); ++i) {
        if (points[i] >= kFoldAgreesBelow || points[i + 1] >= kFoldAgreesBelow || points[i + 2] >= kFoldAgreesBelow)
            continue;
        QString token = QString::fromUcs4(reinterpret_cast<const char32_t *>(points.constData() + i), 3);
        token.replace(u'"', u"\"\""_s);
        token = u'"' + token + u'"';
        if (!trigrams.contains(token))
            trigrams << token;
    }
    return trigrams;
}

namespace {

bool updatePlain(sqlite3 *handle, const UpdateOptions &options)
{
    QElapsedTimer timer;
    timer.start();
    const Condition found = plainCondition(handle);
    if (found == Condition::Current)
        return true;
    if (found != Condition::Filling)
        prepareToFill(handle);
    if (options.documentsPerTransaction <= 0)
        return fillAtOnce(handle, options);
    const qint64 total = number(handle, u"SELECT count(*) FROM documento"_s).value_or(0);
    for (;;) {
        if (cancelled(options))
            return false;
        const State state = fillStep(handle, options.documentsPerTransaction);
        if (options.progress)
            options.progress({state.rows, std::max(total, state.rows)});
        if (state.filledUpTo == kFilled)
            break;
    }
    if (!merge(handle, options))
        return false;
    qCInfo(lcDb) << "search index brought up to date in" << timer.elapsed() << "ms";
    return true;
}

} // namespace

bool update(sqlite3 *handle, const UpdateOptions &options)
{
    if (!updatePlain(handle, options))
        return false;
    for (const queuedindex::Source *source : queuedindex::all()) {
        if (!queuedindex::update(handle, *source, options))
            return false;
    }
    return true;
}

void ensure(Connection &connection)
{
    if (!connection.isOpen())
        throw DbError(u"A conexão não está aberta."_s);
    if (!connection.handle())
        return; // a server archive: the server keeps its trigram index itself
    update(connection.handle());
}

void drop(sqlite3 *handle)
{
    inTransaction(handle, [&] {
        dropObjects(handle);
        for (const queuedindex::Source *source : queuedindex::all())
            queuedindex::drop(handle, *source);
    });
}

// ---------------------------------------------------------------------------------------

struct Upkeep::Run {
    std::atomic<bool> cancel{false};
    std::thread thread;
    std::mutex handleMutex;
    sqlite3 *handle = nullptr; // while the thread has one open

    ~Run()
    {
        stop();
        if (thread.joinable())
            thread.join();
    }

    // A long statement (dropping an older index of a million documents) is interrupted;
    // its transaction is rolled back and the work goes on at the next start.
    void stop()
    {
        cancel = true;
        std::lock_guard lock(handleMutex);
        if (handle)
            sqlite3_interrupt(handle);
    }

    void publish(sqlite3 *open)
    {
        std::lock_guard lock(handleMutex);
        handle = open;
    }
};

namespace {

HandlePtr openOwnHandle(const QString &path)
{
    HandlePtr handle = openSingleThreadHandle(path);
    sqlite3 *raw = handle.get();
    sqlite3_extended_result_codes(raw, 1);
    // The program's own writes are short; a long wait here only slows the upkeep down.
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    return handle;
}

} // namespace

Upkeep::Upkeep(QObject *parent) : QObject(parent) {}

Upkeep::~Upkeep()
{
    m_run.reset();
}

void Upkeep::start(const QString &databasePath)
{
    m_run.reset();
    m_ready = false;
    m_running = false;
    if (databasePath.isEmpty())
        return;
    m_run = std::make_unique<Run>();
    m_running = true;
    Run *run = m_run.get();
    // Signals cross to this object's thread; those of a cancelled run are dropped.
    auto post = [this, run](auto call) {
        QMetaObject::invokeMethod(
            this, [this, run, call] {
                if (m_run.get() == run)
                    call();
            },
            Qt::QueuedConnection);
    };
    run->thread = std::thread([this, run, databasePath, post] {
        HandlePtr handle;
        try {
            handle = openOwnHandle(databasePath);
            run->publish(handle.get());
            bool done = condition(handle.get()) == Condition::Current;
            if (done) {
                // Rows written since, by this program or another client, indexed now.
                inTransaction(handle.get(), [&] {
                    for (const queuedindex::Source *source : queuedindex::all())
                        queuedindex::catchUp(handle.get(), *source);
                });
            } else {
                post([this] { emit buildStarted(); });
                UpdateOptions options;
                options.cancel = &run->cancel;
                options.progress = [post, this](const Progress &progress) {
                    post([this, progress] { emit progressed(progress.done, progress.total); });
                };
                done = update(handle.get(), options);
            }
            post([this, done] {
                m_ready = done;
                m_running = false;
                emit finished(done, QString());
            });
        } catch (const DbError &error) {
            // Stopped by Cancelar: no failure to report.
            const QString message = run->cancel ? QString() : error.message();
            post([this, message] {
                m_running = false;
                emit finished(false, message);
            });
        }
        run->publish(nullptr); // before the handle closes
    });
}

void Upkeep::cancel()
{
    if (m_run)
        m_run->stop();
}

bool Upkeep::isRunning() const
{
    return m_running;
}

bool Upkeep::isReady() const
{
    return m_ready;
}

} // namespace db::searchindex
