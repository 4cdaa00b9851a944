#pragma once
// Engine-layer internals shared by Connection, Query, Command and TableCursor.
#include "db/Dialect.h"

#include <memory>
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

/// Something holding an unfinished statement (a lazily fetched query). It keeps a read
/// snapshot open, so the connection asks it to let go before writing and before closing.
class LiveStatementOwner {
public:
    virtual void releaseStatement() = 0;
    virtual void connectionClosing() = 0;

protected:
    ~LiveStatementOwner() = default;
};

} // namespace db
