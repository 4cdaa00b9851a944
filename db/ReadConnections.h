#pragma once
// Engine-layer internal (SQLite): connections of their own for reading. A query steps its
// statement on one of them, inside that statement's own read transaction, so it reads the
// archive as it was when it opened while the archive connection writes on.
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <vector>

namespace db {

struct HandleCloser {
    void operator()(sqlite3 *handle) const noexcept { sqlite3_close_v2(handle); }
};
using HandlePtr = std::unique_ptr<sqlite3, HandleCloser>;

/// Opens an existing archive file for one thread at a time (no locking on every call:
/// a read connection serves its query, then the query's reading thread). Throws DbError.
HandlePtr openSingleThreadHandle(const QString &path);

class ReadConnections : public std::enable_shared_from_this<ReadConnections> {
public:
    /// Sets a fresh handle up as the archive connection is (functions, limits); throws DbError.
    using Configure = std::function<void(sqlite3 *)>;

    /// One connection in use; given back (or closed, once the archive is closed) when dropped.
    class Lease {
    public:
        Lease(std::shared_ptr<ReadConnections> owner, HandlePtr handle);
        Lease(Lease &&) noexcept = default;
        Lease &operator=(Lease &&) noexcept = default;
        ~Lease();
        sqlite3 *handle() const { return m_handle.get(); }

    private:
        std::shared_ptr<ReadConnections> m_owner;
        HandlePtr m_handle;
    };

    static std::shared_ptr<ReadConnections> create(const QString &path, Configure configure);

    /// A connection for one query; opens one when none is free. Throws DbError.
    Lease acquire();
    /// Closes the free connections now and the ones in use when they are given back.
    void close();

private:
    ReadConnections(const QString &path, Configure configure);
    void giveBack(HandlePtr handle);

    // A few stay open for the next queries; more are only needed while several big
    // results are read at once.
    static constexpr size_t kKeptFree = 2;

    const QString m_path;
    const Configure m_configure;
    std::mutex m_mutex; // connections come back from reading threads
    std::vector<HandlePtr> m_free;
    bool m_closed = false;
};

} // namespace db
