#pragma once
// Engine-layer internal: runs statements straight on the SQLite handle, outside the dialect
// (schema creation, the search index's upkeep).
#include "db/DbError.h"

#include <QString>
#include <sqlite3.h>
#include <type_traits>

namespace db {

/// Runs one or more statements; a failure throws DbError with the engine's message.
inline void exec(sqlite3 *handle, const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(handle));
        sqlite3_free(error);
        throw DbError(message);
    }
}

/// Runs work in one write transaction, rolled back when the work throws.
template <typename Work>
auto inTransaction(sqlite3 *handle, Work work)
{
    exec(handle, QStringLiteral("BEGIN IMMEDIATE"));
    try {
        if constexpr (std::is_void_v<decltype(work())>) {
            work();
            exec(handle, QStringLiteral("COMMIT"));
        } else {
            auto result = work();
            exec(handle, QStringLiteral("COMMIT"));
            return result;
        }
    } catch (...) {
        sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

} // namespace db
