#pragma once
// Engine-layer internal, engine-neutral: what a static cursor needs of a provider.
#include "db/ResultRows.h"

namespace db {

/// A result column as the engine describes it, for its name and its display.
struct ResultColumn {
    QString name;  ///< the engine's name of the column
    QString table; ///< the table of a plain column reference; empty for an expression
    bool isDate = false;
};

/// Reads the rows of one result as they were when it was opened, whatever is written
/// meanwhile. SQLite: one statement on a read connection of its own in the write-ahead
/// log; a server provider: a transaction with a cursor of its own.
class ResultReader {
public:
    virtual ~ResultReader() = default;
    /// Reads the next row into the batch; false when no row is left. Throws DbError.
    virtual bool readRow(ResultRows::Batch &batch) = 0;
    /// From any thread: makes a readRow in progress end soon (it then throws).
    virtual void cancel() noexcept = 0;
};

} // namespace db
