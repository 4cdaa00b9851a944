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

/// Runs work in a savepoint: part of a transaction the caller has open, one of its own
/// otherwise; undone when the work throws.
template <typename Work>
auto inSavepoint(sqlite3 *handle, const QString &name, Work work)
{
    exec(handle, QStringLiteral("SAVEPOINT ") + name);
    try {
        if constexpr (std::is_void_v<decltype(work())>) {
            work();
            exec(handle, QStringLiteral("RELEASE ") + name);
        } else {
            auto result = work();
            exec(handle, QStringLiteral("RELEASE ") + name);
            return result;
        }
    } catch (...) {
        if (!sqlite3_get_autocommit(handle)) { // a failed COMMIT may have ended it already
            const QByteArray undo = (QStringLiteral("ROLLBACK TO ") + name + QStringLiteral("; RELEASE ") + name).toUtf8();
            sqlite3_exec(handle, undo.constData(), nullptr, nullptr, nullptr);
        }
        throw;
    }
}

} // namespace db
