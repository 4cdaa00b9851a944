#pragma once
#include "pages/PageChange.h"

#include <QPointer>

namespace db {
class Connection;
}

namespace pages {

/// Keeps the page texts of a file archive (`lauda_texto`) with the page files: a text
/// follows its page when pages are renumbered, traded or given to another code, and goes
/// when its page is replaced, turned or moved aside. Listens to a folder page store.
class PageTextFollower {
public:
    explicit PageTextFollower(const db::Connection &connection);
    void operator()(const PageChange &change) const;

private:
    QPointer<const db::Connection> m_connection;
};

} // namespace pages
