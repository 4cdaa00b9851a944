#pragma once
#include "db/FileSystem.h"

#include "db/Description.h"
#include "db/Dialect.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

struct sqlite3;

namespace db::pg {
class PgConnection;
class PgResult;
}

namespace db {

class DbError;
class LiveQuery;
struct PreparedQuery;
struct ServerQuery;
struct PreparedStatement;

/// How an archive is opened.
struct OpenOptions {
    /// The file system the archive lies on; nullopt: found out from the file itself.
    std::optional<FileSystemKind> fileSystem;
};

/// The one archive connection (`ConnArq`). Owns the sqlite3 handle of a file archive or the
/// server connection of a PostgreSQL one; opened through a description file (`cartulo.udl`),
/// directly on a database file, or on a server address.
/// A busy timeout and a journal safe for the file system (journalModeFor), so several
/// processes may share one archive.
class Connection : public QObject {
    Q_OBJECT
public:
    explicit Connection(QObject *parent = nullptr);
    ~Connection() override;

    /// Opens the archive named by a description file, a file or a server database. Throws
    /// DbError with a message naming the fault (unreadable file, unknown provider, missing
    /// or damaged database, the server's own words when it cannot be reached or refuses).
    void openDescription(const QString &udlPath, const OpenOptions &options = {});
    /// Opens the archive held by a server database; throws DbError (kind ConnectionFailed
    /// with the server's message when it cannot be reached or refuses the login).
    void openServer(const ServerAddress &address);
    /// Opens an existing database file; never creates one. Throws DbError.
    void openFile(const QString &dbPath, const OpenOptions &options = {});
    /// Creates a new archive with the four empty tables; throws if the file exists.
    static void createArchive(const QString &dbPath);

    void close();
    bool isOpen() const;
    /// The engine of the open archive (SQLite when none is open).
    Provider provider() const;
    /// The server connection of a PostgreSQL archive; nullptr for a file archive.
    pg::PgConnection *server() const;
    /// The archive file; empty for a server archive.
    QString databasePath() const;
    /// The file system the open archive lies on.
    FileSystemKind fileSystem() const;
    /// The journal mode the engine reports ("wal", "delete").
    QString journalMode() const;

    /// Runs one statement of the program's dialect (translated); rows are discarded.
    /// Returns true when the statement produced at least one row.
    bool execute(const QString &sql);

    /// Number of rows changed by the last INSERT/UPDATE/DELETE.
    int changes() const;

    /// The SQLite handle of a file archive; nullptr for a server archive.
    sqlite3 *handle() const;

signals:
    /// After every statement the engine ran through this connection (translated text is
    /// not shown; this is the text as the program sent it).
    void statementExecuted(const QString &sql);

private:
    friend class Query;
    friend class Command;
    friend class TableCursor;

    /// Translates and prepares one statement on this connection; throws DbError. Before a
    /// write, live queries finish reading where their read lock would hold it back.
    PreparedStatement prepare(const QString &sql);
    /// Translates and prepares a query's statement, on a read connection of its own when
    /// it can; throws DbError (the statement reported as sent).
    PreparedQuery prepareQuery(const QString &sql);
    Translation translation(const QString &sql);
    void prepareToWrite();
    void registerLiveQuery(LiveQuery *query);
    void unregisterLiveQuery(LiveQuery *query);
    /// A query's statement on the server: a cursor of its own, or run here in a transaction.
    ServerQuery prepareServerQuery(const QString &sql);
    /// Runs a translated statement on the server, alone inside a savepoint when this
    /// connection is in a transaction; fails with the server's error.
    pg::PgResult runOnServer(const QString &sql, const Translation &translation);
    [[noreturn]] void fail(const QString &sql, const QString &message);
    [[noreturn]] void fail(const QString &sql, const DbError &error);
    void reportStatement(const QString &sql);

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace db
