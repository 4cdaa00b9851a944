#include "db/ReadConnections.h"

#include "db/DbError.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace db {

HandlePtr openSingleThreadHandle(const QString &path)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    HandlePtr handle(raw);
    if (rc != SQLITE_OK)
        throw DbError((raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QString::fromUtf8(sqlite3_errstr(rc)))
                      + u": "_s + path);
    return handle;
}

ReadConnections::Lease::Lease(std::shared_ptr<ReadConnections> owner, HandlePtr handle)
    : m_owner(std::move(owner)), m_handle(std::move(handle))
{
}

ReadConnections::Lease::~Lease()
{
    if (m_owner && m_handle)
        m_owner->giveBack(std::move(m_handle));
}

ReadConnections::ReadConnections(const QString &path, Configure configure)
    : m_path(path), m_configure(std::move(configure))
{
}

std::shared_ptr<ReadConnections> ReadConnections::create(const QString &path, Configure configure)
{
    return std::shared_ptr<ReadConnections>(new ReadConnections(path, std::move(configure)));
}

ReadConnections::Lease ReadConnections::acquire()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            throw DbError(u"A conexão com o banco de dados não está aberta."_s);
        if (!m_free.empty()) {
            HandlePtr handle = std::move(m_free.back());
            m_free.pop_back();
            return Lease(shared_from_this(), std::move(handle));
        }
    }
    HandlePtr handle = openSingleThreadHandle(m_path);
    sqlite3 *raw = handle.get();
    m_configure(raw);
    // Only ever reads: a statement that would write is run on the archive connection.
    if (sqlite3_exec(raw, "PRAGMA query_only = ON", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(raw)));
    return Lease(shared_from_this(), std::move(handle));
}

void ReadConnections::close()
{
    std::vector<HandlePtr> closing;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        closing.swap(m_free);
    }
}

void ReadConnections::giveBack(HandlePtr handle)
{
    std::lock_guard lock(m_mutex);
    if (!m_closed && m_free.size() < kKeptFree)
        m_free.push_back(std::move(handle));
    // else closed here, when `handle` goes
}

} // namespace db
