#pragma once
// Engine-layer internals shared by Connection, Query, Command and TableCursor.
#include "db/Dialect.h"
#include "db/ReadConnections.h"
#include "db/pg/PgQuery.h"

#include <memory>
#include <optional>
#include <sqlite3.h>

namespace db {

struct StatementFinalizer {
    void operator()(sqlite3_stmt *statement) const noexcept { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

/// A translated statement ready to step.
struct PreparedStatement {
    StatementPtr statement;
    Translation translation;
};

/// A query's statement: on a read connection of its own (lease) when it only reads and
/// the archive connection is outside a transaction, else on the archive connection.
struct PreparedQuery {
    PreparedStatement prepared;
    std::optional<ReadConnections::Lease> lease;
};

/// A query's statement on a server archive: its reader (a cursor on a connection of its
/// own, or the rows already read on the archive connection) and its columns' origins.
struct ServerQuery {
    Translation translation;
    QList<ResultColumn> origins;
    std::unique_ptr<ResultReader> reader;
    bool ownSnapshot = false;
};

/// A query whose rows are still being read. With the rollback journal (an archive on a
/// network share) its read lock holds every writer back, so the connection lets it read
/// to the end before writing; a closing connection stops it.
class LiveQuery {
public:
    virtual void finishReading() = 0;
    virtual void connectionClosing() = 0;

protected:
    ~LiveQuery() = default;
};

} // namespace db
