#include "db/Connection.h"

#include "db/DbError.h"
#include "db/Description.h"
#include "db/AccentFold.h"
#include "db/Fold.h"
#include "db/PageTextSchema.h"
#include "db/PageTextSearchSchema.h"
#include "db/History.h"
#include "db/ReadConnections.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgQuery.h"
#include "db/pg/PgRoles.h"
#include "db/pg/PgSchema.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QSysInfo>
#include <optional>
#include <variant>
#include <vector>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcDb, "cartulo.db", QtInfoMsg)

namespace db {

namespace {

constexpr int kBusyTimeoutMs = 5000;

// An archive made before page texts gets their table; one that cannot take it now (busy,
// read-only) opens all the same, without them.
void ensurePageTexts(sqlite3 *handle, const QString &dbPath)
{
    try {
        pagetext::ensure(handle);
    } catch (const DbError &error) {
        qCWarning(lcDb) << "no page texts in" << dbPath << ":" << error.message();
    }
}

// Archives made before the history get it from their owner; any other login does without.
void bringServerUpToDate(pg::PgConnection &server)
{
    try {
        const QString note = pg::roles::bringUpToDate(server);
        if (!note.isEmpty())
            qCWarning(lcDb).noquote() << note;
    } catch (const DbError &error) {
        qCWarning(lcDb).noquote() << "history and rights not brought up to date:" << error.message();
    }
}

QString engineMessage(sqlite3 *handle)
{
    return QString::fromUtf8(sqlite3_errmsg(handle));
}

QByteArrayView textOf(sqlite3_value *value)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return QByteArrayView(text, sqlite3_value_bytes(value));
}

// like(pattern, text [, escape]): case-insensitive for every letter, accents kept.
void likeFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return; // NULL, as the built-in like
    const QByteArrayView pattern = textOf(argv[0]);
    const int limit = sqlite3_limit(sqlite3_context_db_handle(context),
                                     SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1);
    if (pattern.size() > limit) {
        sqlite3_result_error(context, "LIKE or GLOB pattern too complex", -1);
        return;
    }
    char32_t escape = 0;
    if (argc == 3) {
        if (sqlite3_value_type(argv[2]) == SQLITE_NULL)
            return;
        const QString escapeText = QString::fromUtf8(textOf(argv[2]));
        const auto codePoints = escapeText.toUcs4();
        if (codePoints.size() != 1) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = codePoints.front();
    }
    // The pattern is the same for every row of a search: fold it once and let the engine
    // keep it with the statement.
    auto *compiled = static_cast<LikePattern *>(sqlite3_get_auxdata(context, 0));
    std::unique_ptr<LikePattern> fresh;
    if (!compiled || compiled->escape() != escape) {
        fresh = std::make_unique<LikePattern>(pattern, escape);
        compiled = fresh.get();
    }
    sqlite3_result_int(context, compiled->matches(textOf(argv[1])) ? 1 : 0);
    if (fresh) {
        sqlite3_set_auxdata(context, 0, fresh.release(),
                            [](void *p) { delete static_cast<LikePattern *>(p); });
    }
}

void foldFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return;
    const QByteArray folded = foldCaseUtf8(textOf(argv[0]));
    sqlite3_result_text(context, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

// cartulo_sem_acento(text): the fold of "Ignorar acentos".
void accentFoldFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return;
    const QByteArray folded = foldAccentsUtf8(textOf(argv[0]));
    sqlite3_result_text(context, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

void registerFunctions(sqlite3 *handle)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    int rc = sqlite3_create_function(handle, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function(handle, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function(handle, "cartulo_fold", 1, flags, nullptr, foldFunction,
                                     nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function(handle, "cartulo_sem_acento", 1, flags, nullptr, accentFoldFunction,
                                     nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw DbError(engineMessage(handle));
}

// The page texts' search index of an archive made before it; without it the search in the
// page texts only reads more.
void ensurePageTextSearch(sqlite3 *handle, const QString &path)
{
    try {
        pagetextsearch::ensure(handle);
    } catch (const DbError &error) {
        qCWarning(lcDb) << "page text index of" << path << "not made:" << error.message();
    }
}

void ensurePageTextSearch(pg::PgConnection &server)
{
    try {
        const QString missing = pagetextsearch::ensure(server);
        if (!missing.isEmpty())
            qCWarning(lcDb).noquote() << missing;
    } catch (const DbError &error) {
        qCWarning(lcDb) << "page text indexes of" << server.address().displayName() << "not made:" << error.message();
    }
}

// Every handle on an archive, the archive connection and the read connections alike.
void configureHandle(sqlite3 *handle)
{
    sqlite3_extended_result_codes(handle, 1);
    // A double-quoted word must never silently become a column name or a literal:
    // the dialect translation turns every "text" into a literal itself.
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    registerFunctions(handle);
}

QString currentJournalMode(sqlite3 *handle, const QString &path)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(handle, "PRAGMA journal_mode", -1, &raw, nullptr) != SQLITE_OK)
        throw DbError(engineMessage(handle) + u": "_s + path);
    StatementPtr current(raw);
    if (sqlite3_step(raw) != SQLITE_ROW)
        throw DbError(engineMessage(handle) + u": "_s + path);
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)));
}

// Sets the journal mode the file system allows and returns the one the engine reports.
// A file made on a local disk carries the write-ahead log; on a share it goes back to the
// rollback journal, which needs no shared memory.
QString setJournalMode(sqlite3 *handle, FileSystemKind fileSystem, const QString &path)
{
    const QByteArray wanted = journalModeFor(fileSystem);
    const QByteArray sql = "PRAGMA journal_mode = " + wanted;
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(handle, sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
        throw DbError(engineMessage(handle) + u": "_s + path);
    StatementPtr journal(raw);
    const int stepped = sqlite3_step(raw);
    if (stepped == SQLITE_BUSY || stepped == SQLITE_LOCKED) {
        // Another connection holds the file: leaving its mode is safer than refusing to open.
        qCWarning(lcDb) << "journal mode left as it is for" << path << "while another connection holds it";
        return currentJournalMode(handle, path);
    }
    if (stepped != SQLITE_ROW)
        throw DbError(engineMessage(handle) + u": "_s + path);
    const QString mode = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)));
    if (mode.compare(QString::fromLatin1(wanted), Qt::CaseInsensitive) != 0)
        qCWarning(lcDb) << "journal mode stays" << mode << "instead of" << wanted << "for" << path;
    return mode;
}

// The archive's own rules are named constraints; a size or a type refused by one of them is
// the kind the program acts on, whichever engine checked it.
ErrorKind refinedKind(ErrorKind kind, const QString &message)
{
    if (kind != ErrorKind::CheckViolation)
        return kind;
    if (message.contains(u"no máximo"_s))
        return ErrorKind::TooLong;
    if (message.contains(u"número inteiro"_s) || message.contains(u"data inválida"_s))
        return ErrorKind::NotANumber;
    return kind;
}

ErrorKind sqliteKind(int extendedCode)
{
    switch (extendedCode) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
        return ErrorKind::DuplicateKey;
    case SQLITE_CONSTRAINT_FOREIGNKEY:
        return ErrorKind::MissingReference;
    case SQLITE_CONSTRAINT_CHECK:
    case SQLITE_CONSTRAINT_NOTNULL:
    case SQLITE_CONSTRAINT_TRIGGER:
        return ErrorKind::CheckViolation;
    default:
        return ErrorKind::Other;
    }
}

bool isOnlySeparators(const char *tail)
{
    for (; tail && *tail; ++tail) {
        if (!(*tail == ';' || *tail == ' ' || *tail == '\t' || *tail == '\r' || *tail == '\n'))
            return false;
    }
    return true;
}

} // namespace

struct Connection::Impl {
    sqlite3 *handle = nullptr;
    std::unique_ptr<pg::PgConnection> server;
    std::shared_ptr<pg::PgReadPool> serverReaders;
    pg::PgCatalog catalog;
    qint64 serverChanges = 0;
    QString path;
    FileSystemKind fileSystem = FileSystemKind::Local;
    QString journalMode;
    QHash<QString, std::optional<TableShape>> shapes; // by lower-case table name
    std::shared_ptr<ReadConnections> readers;
    std::vector<LiveQuery *> live;

    const TableShape *shape(const QString &table)
    {
        const QString key = table.toLower();
        auto it = shapes.find(key);
        if (it == shapes.end())
            it = shapes.insert(key, server ? catalog.shape(*server, table) : readShape(table));
        return it->has_value() ? &**it : nullptr;
    }

    std::optional<TableShape> readShape(const QString &table) const
    {
        sqlite3_stmt *raw = nullptr;
        if (sqlite3_prepare_v2(handle, "SELECT name, type FROM pragma_table_info(?1)", -1, &raw,
                               nullptr) != SQLITE_OK)
            return std::nullopt;
        StatementPtr statement(raw);
        const QByteArray name = table.toUtf8();
        sqlite3_bind_text(raw, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        TableShape shape;
        while (sqlite3_step(raw) == SQLITE_ROW) {
            shape.columns << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)));
            const QString type = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 1)));
            shape.isDate << (type.compare(u"DATE"_s, Qt::CaseInsensitive) == 0
                             || type.compare(u"DATETIME"_s, Qt::CaseInsensitive) == 0);
            shape.isText << (type.contains(u"CHAR"_s, Qt::CaseInsensitive)
                             || type.contains(u"TEXT"_s, Qt::CaseInsensitive));
        }
        if (shape.columns.isEmpty())
            return std::nullopt;
        return shape;
    }
};

Connection::Connection(QObject *parent) : QObject(parent), d(std::make_unique<Impl>()) {}

Connection::~Connection()
{
    close();
}

void Connection::openDescription(const QString &udlPath, const OpenOptions &options)
{
    const ArchiveDescription description = readDescription(udlPath);
    if (description.provider == Provider::PostgreSQL)
        openServer(description.server);
    else
        openFile(description.databasePath, options);
}

void Connection::openServer(const ServerAddress &address)
{
    close();
    auto server = std::make_unique<pg::PgConnection>(address);
    pg::schema::checkIsArchive(*server);
    pagetext::ensure(*server); // archives made before page texts get them
    ensurePageTextSearch(*server);
    bringServerUpToDate(*server);
    d->server = std::move(server);
    d->serverReaders = pg::PgReadPool::create(address);
    d->catalog.clear();
    d->serverChanges = 0;
    d->shapes.clear();
    qCDebug(lcDb) << "opened" << address.displayName();
}

void Connection::openFile(const QString &dbPath, const OpenOptions &options)
{
    close();
    FileSystemKind fileSystem = FileSystemKind::Local;
    QString journal;
    sqlite3 *handle = nullptr;
    // Never SQLITE_OPEN_CREATE: a missing archive is an error, not a new empty file.
    const int rc = sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &handle,
                                   SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = handle ? engineMessage(handle) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(handle);
        throw DbError(message + u": "_s + dbPath);
    }
    try {
        configureHandle(handle);
        schema::checkIsArchive(handle, dbPath);
        ensurePageTexts(handle, dbPath);
        ensurePageTextSearch(handle, dbPath);
        history::ensure(handle);
        history::identifyWriter(handle, history::osUser(), QSysInfo::machineHostName());
        fileSystem = options.fileSystem.value_or(fileSystemKindOf(dbPath));
        journal = setJournalMode(handle, fileSystem, dbPath);
    } catch (...) {
        sqlite3_close_v2(handle);
        throw;
    }
    d->handle = handle;
    d->path = QFileInfo(dbPath).absoluteFilePath();
    d->fileSystem = fileSystem;
    d->journalMode = journal;
    d->readers = ReadConnections::create(d->path, configureHandle);
    d->shapes.clear();
    qCDebug(lcDb) << "opened" << d->path << "journal" << journal;
}

void Connection::createArchive(const QString &dbPath)
{
    // Create-new: the file is made here or the call fails, so no archive is ever replaced.
    QFile file(dbPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        throw DbError(file.exists()
                          ? u"O arquivo %1 já existe; nada foi alterado."_s.arg(dbPath)
                          : u"Não foi possível criar %1: %2"_s.arg(dbPath, file.errorString()));
    }
    file.close();
    sqlite3 *handle = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &handle, SQLITE_OPEN_READWRITE,
                             nullptr);
    try {
        if (rc != SQLITE_OK)
            throw DbError(handle ? engineMessage(handle) : QString::fromUtf8(sqlite3_errstr(rc)));
        setJournalMode(handle, fileSystemKindOf(dbPath), dbPath);
        schema::create(handle);
    } catch (...) {
        sqlite3_close_v2(handle);
        QFile::remove(dbPath);
        QFile::remove(dbPath + u"-wal"_s);
        QFile::remove(dbPath + u"-shm"_s);
        throw;
    }
    sqlite3_close_v2(handle);
}

void Connection::close()
{
    if (d->server) {
        const auto live = d->live;
        for (LiveQuery *query : live)
            query->connectionClosing();
        d->live.clear();
        d->serverReaders->close();
        d->serverReaders.reset();
        d->server.reset();
        d->shapes.clear();
        d->catalog.clear();
        return;
    }
    if (!d->handle)
        return;
    // Queries still reading stop first; the rows they read stay theirs.
    const auto live = d->live;
    for (LiveQuery *query : live)
        query->connectionClosing();
    d->live.clear();
    if (d->readers)
        d->readers->close();
    d->readers.reset();
    sqlite3_close_v2(d->handle);
    d->handle = nullptr;
    d->path.clear();
    d->journalMode.clear();
    d->shapes.clear();
}

bool Connection::isOpen() const
{
    return d->handle != nullptr || d->server != nullptr;
}

Provider Connection::provider() const
{
    return d->server ? Provider::PostgreSQL : Provider::SQLite;
}

pg::PgConnection *Connection::server() const
{
    return d->server.get();
}

QString Connection::databasePath() const
{
    return d->path;
}

FileSystemKind Connection::fileSystem() const
{
    return d->fileSystem;
}

QString Connection::journalMode() const
{
    return d->journalMode;
}

sqlite3 *Connection::handle() const
{
    return d->handle;
}

int Connection::changes() const
{
    if (d->server)
        return int(d->serverChanges);
    return d->handle ? sqlite3_changes(d->handle) : 0;
}

Translation Connection::translation(const QString &sql)
{
    if (!isOpen())
        throw DbError(u"A conexão com o banco de dados não está aberta."_s);
    Translation translation = translate(sql, [this](const QString &table) { return d->shape(table); },
                                        provider());
    const QString &first = translation.firstKeyword;
    if (first == u"create"_s || first == u"alter"_s || first == u"drop"_s) {
        d->shapes.clear();
        d->catalog.clear();
    }
    if (d->server && !translation.secondStatement.isEmpty())
        fail(sql, u"Só uma instrução SQL por vez: \"%1\""_s.arg(translation.secondStatement));
    return translation;
}

namespace {

// Prepares exactly one statement; the engine's message otherwise.
std::variant<StatementPtr, QString> prepareOne(sqlite3 *handle, const QByteArray &utf8)
{
    sqlite3_stmt *raw = nullptr;
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(handle, utf8.constData(), int(utf8.size()), &raw, &tail) != SQLITE_OK)
        return engineMessage(handle);
    StatementPtr statement(raw);
    if (!raw)
        return u"Instrução SQL vazia."_s;
    if (!isOnlySeparators(tail))
        return u"Só uma instrução SQL por vez: \"%1\""_s.arg(QString::fromUtf8(tail).trimmed());
    return statement;
}

} // namespace

PreparedStatement Connection::prepare(const QString &sql)
{
    PreparedStatement prepared;
    prepared.translation = translation(sql);
    auto outcome = prepareOne(d->handle, prepared.translation.sql.toUtf8());
    if (auto *message = std::get_if<QString>(&outcome))
        fail(sql, *message);
    prepared.statement = std::move(std::get<StatementPtr>(outcome));
    if (!sqlite3_stmt_readonly(prepared.statement.get()))
        prepareToWrite();
    return prepared;
}

PreparedQuery Connection::prepareQuery(const QString &sql)
{
    // Inside a transaction of this connection a query must see its uncommitted rows.
    if (!d->readers || !sqlite3_get_autocommit(d->handle))
        return {prepare(sql), std::nullopt};
    Translation translated = translation(sql);
    std::optional<ReadConnections::Lease> lease;
    try {
        lease.emplace(d->readers->acquire());
    } catch (const DbError &error) {
        qCWarning(lcDb) << "no read connection, the query reads on the archive connection:" << error.message();
        return {prepare(sql), std::nullopt};
    }
    auto outcome = prepareOne(lease->handle(), translated.sql.toUtf8());
    if (auto *statement = std::get_if<StatementPtr>(&outcome); statement && sqlite3_stmt_readonly(statement->get()))
        return {{std::move(*statement), std::move(translated)}, std::move(lease)};
    // A statement that writes, or names what only this connection sees (temporary
    // tables), runs here; so does a faulty one, which then fails with this engine's word.
    return {prepare(sql), std::nullopt};
}

void Connection::prepareToWrite()
{
    // The write-ahead log lets a reader keep its snapshot while this connection writes;
    // the rollback journal does not: readers of this program finish first.
    if (d->journalMode.compare(u"wal"_s, Qt::CaseInsensitive) == 0)
        return;
    const auto live = d->live;
    for (LiveQuery *query : live)
        query->finishReading();
}

void Connection::registerLiveQuery(LiveQuery *query)
{
    if (std::find(d->live.begin(), d->live.end(), query) == d->live.end())
        d->live.push_back(query);
}

void Connection::unregisterLiveQuery(LiveQuery *query)
{
    std::erase(d->live, query);
}

void Connection::fail(const QString &sql, const QString &message)
{
    const ErrorKind kind = d->handle ? sqliteKind(sqlite3_extended_errcode(d->handle)) : ErrorKind::Other;
    fail(sql, DbError(message, kind));
}

void Connection::fail(const QString &sql, const DbError &error)
{
    qCDebug(lcDb) << "failed:" << error.message() << "in" << sql;
    reportStatement(sql);
    throw DbError(error.message(), refinedKind(error.kind(), error.message()), error.sqlState());
}

pg::PgResult Connection::runOnServer(const QString &sql, const Translation &translation)
{
    // An error inside a transaction spoils the whole of it on the server: a statement that
    // fails there is undone alone, as on SQLite.
    static const QStringList transactionControl = {u"begin"_s, u"start"_s, u"commit"_s, u"end"_s,
                                                   u"rollback"_s, u"savepoint"_s, u"release"_s};
    const bool inTransaction = d->server->inTransaction()
        && !transactionControl.contains(translation.firstKeyword);
    try {
        if (inTransaction)
            d->server->exec(u"SAVEPOINT cartulo_instrucao"_s);
        pg::PgResult result = d->server->exec(translation.sql);
        if (inTransaction)
            d->server->exec(u"RELEASE SAVEPOINT cartulo_instrucao"_s);
        d->serverChanges = result.affectedRows();
        return result;
    } catch (const DbError &error) {
        if (inTransaction && error.kind() != ErrorKind::ConnectionFailed) {
            try {
                d->server->exec(u"ROLLBACK TO SAVEPOINT cartulo_instrucao"_s);
                d->server->exec(u"RELEASE SAVEPOINT cartulo_instrucao"_s);
            } catch (const DbError &) {
                // the transaction was spoilt before this statement: the caller rolls it back
            }
        }
        fail(sql, error);
    }
}

ServerQuery Connection::prepareServerQuery(const QString &sql)
{
    Translation translated = translation(sql);
    ServerQuery query;
    // Inside a transaction of this connection a query must see its uncommitted rows; a
    // statement that writes runs here too.
    // Reading connections are read-only: a statement there that would write fails and
    // runs here instead.
    static const QStringList reading = {u"select"_s, u"with"_s, u"values"_s, u"table"_s};
    if (reading.contains(translated.firstKeyword) && !d->server->inTransaction()) {
        try {
            auto reader = std::make_unique<pg::PgStreamReader>(d->serverReaders, translated.sql);
            query.origins = d->catalog.origins(*d->server, reader->first());
            query.reader = std::move(reader);
            query.ownSnapshot = true;
        } catch (const DbError &error) {
            // What only this connection sees (temporary tables) is read here; so is a faulty
            // statement, which then fails with the server's word from here.
            qCDebug(lcDb) << "the query reads on the archive connection:" << error.message();
        }
    }
    if (!query.reader) {
        pg::PgResult result = runOnServer(sql, translated);
        query.origins = d->catalog.origins(*d->server, result);
        query.reader = std::make_unique<pg::PgResultReader>(std::move(result));
    }
    d->catalog.originsFromSelectList(*d->server, query.origins, translated.selectItems);
    query.translation = std::move(translated);
    return query;
}

void Connection::reportStatement(const QString &sql)
{
    emit statementExecuted(sql);
}

bool Connection::execute(const QString &sql)
{
    if (d->server) {
        const pg::PgResult result = runOnServer(sql, translation(sql));
        reportStatement(sql);
        return result.rowCount() > 0;
    }
    PreparedStatement prepared = prepare(sql);
    sqlite3_stmt *statement = prepared.statement.get();
    const bool readOnly = sqlite3_stmt_readonly(statement);
    bool produced = false;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        produced = true;
        if (readOnly)
            break; // the caller only asks whether there is a row
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail(sql, engineMessage(d->handle));
    reportStatement(sql);
    return produced;
}

} // namespace db
