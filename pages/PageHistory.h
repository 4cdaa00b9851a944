#pragma once
#include "db/History.h"
#include "pages/PageChange.h"

#include <QPointer>

#include <vector>

namespace db {
class Connection;
}

namespace pages {

/// Keeps the history of a file archive (`historico_registro`) for the page files, which no
/// trigger of the archive file can see: one row for every page a change touched, written
/// as a server's triggers write theirs for its page rows (tables `lauda` and
/// `lauda_excluida`, the page named in `chave`, size and SHA-256 instead of bytes), so the
/// history reads alike on both. Listens to a folder page store; a row that cannot be
/// written is logged, and the page change stands.
class PageHistory {
public:
    explicit PageHistory(const db::Connection &connection);
    void operator()(const PageChange &change) const;

    /// The rows a change adds, in the order they are written.
    static std::vector<db::history::WrittenRow> rowsOf(const PageChange &change);

private:
    QPointer<const db::Connection> m_connection;
};

} // namespace pages
