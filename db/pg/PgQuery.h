#pragma once
// Engine-layer internal (PostgreSQL): what Connection and Query need of a server archive —
// the tables' shapes for the dialect, result columns' origins, and a static cursor read on
// a connection of its own.
#include "db/Dialect.h"
#include "db/ResultReader.h"
#include "db/ServerAddress.h"
#include "db/pg/PgConnection.h"

#include <QHash>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

struct pg_cancel;

namespace db::pg {

/// Table shapes and column origins of one server archive, read from its catalogue once.
class PgCatalog {
public:
    std::optional<TableShape> shape(PgConnection &connection, const QString &table);
    /// The origins of a result's columns, its metadata read on whichever connection ran it.
    QList<ResultColumn> origins(PgConnection &connection, const PgResult &result);
    /// Gives the columns the server left without a table (those of a union) the table of
    /// their qualified reference in the first select, as SQLite names them.
    void originsFromSelectList(PgConnection &connection, QList<ResultColumn> &origins,
                               const QList<SelectItem> &items);
    void clear();

private:
    struct TableColumns {
        QString table;
        QHash<int, bool> isDate; // by attribute number
    };
    const TableColumns &columnsOf(PgConnection &connection, unsigned tableOid);
    QHash<unsigned, TableColumns> m_tables;
};

/// Appends one result row to a batch, each value in the kind SQLite would give it.
void appendRow(const PgResult &result, int row, ResultRows::Batch &batch);

/// Connections for reading, kept for the next query; given back from reading threads.
class PgReadPool : public std::enable_shared_from_this<PgReadPool> {
public:
    static std::shared_ptr<PgReadPool> create(const ServerAddress &address);
    std::unique_ptr<PgConnection> acquire(); ///< throws DbError
    void giveBack(std::unique_ptr<PgConnection> connection);
    void close();

private:
    explicit PgReadPool(const ServerAddress &address) : m_address(address) {}
    static constexpr size_t kKeptFree = 2;
    const ServerAddress m_address;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<PgConnection>> m_free;
    bool m_closed = false;
};

/// A static cursor on the server: the statement runs on a connection of its own and its
/// rows stream in one at a time (libpq's single-row mode) from the one snapshot the
/// statement holds, so they stay as they were at open while every other workstation and
/// this program's own connection write on; a failure part way keeps the rows before it.
class PgStreamReader final : public ResultReader {
public:
    /// Sends the statement and waits for its first row or its end (throws DbError with the
    /// server's message); first() then holds the result metadata.
    PgStreamReader(std::shared_ptr<PgReadPool> pool, const QString &sql);
    ~PgStreamReader() override;

    const PgResult &first() const { return m_current; }
    bool readRow(ResultRows::Batch &batch) override;
    void cancel() noexcept override;

private:
    /// The next result of the statement; false at its end. Throws DbError.
    bool next();
    void finish() noexcept;

    std::shared_ptr<PgReadPool> m_pool;
    std::unique_ptr<PgConnection> m_connection;
    struct FreeCancel {
        void operator()(pg_cancel *cancel) const noexcept;
    };
    std::unique_ptr<pg_cancel, FreeCancel> m_cancel;
    PgResult m_current;
    bool m_rowPending = false; // m_current holds a row not handed out yet
    bool m_ended = false;
};

/// Rows already read whole (a statement run on the archive connection itself).
class PgResultReader final : public ResultReader {
public:
    explicit PgResultReader(PgResult result) : m_result(std::move(result)) {}
    bool readRow(ResultRows::Batch &batch) override;
    void cancel() noexcept override {}

private:
    PgResult m_result;
    int m_next = 0;
};

} // namespace db::pg
