#include "pages/PageTextFollower.h"

#include "db/Connection.h"
#include "db/PageTexts.h"

using namespace Qt::StringLiterals;

namespace pages {

namespace {

std::optional<db::PagePlace> placeOf(const QString &name)
{
    const std::optional<PageStore::NamedPage> named = PageStore::pageOfName(name);
    if (!named)
        return std::nullopt;
    return db::PagePlace{named->key.process, named->key.document, named->page};
}

} // namespace

PageTextFollower::PageTextFollower(const db::Connection &connection) : m_connection(&connection) {}

void PageTextFollower::operator()(const PageChange &change) const
{
    if (!m_connection || !m_connection->isOpen() || m_connection->server())
        return; // a server keeps its own texts with its page rows
    const std::unique_ptr<db::PageTexts> texts = db::PageTexts::on(*m_connection);
    if (!texts || !texts->available())
        return;
    const DocumentKey &key = change.document;
    switch (change.kind) {
    case PageChange::Kind::Stored:
    case PageChange::Kind::Turned:
        texts->forget({key.process, key.document, change.page}); // read again from the new bytes
        break;
    case PageChange::Kind::Removed:
        texts->followRemoval(key.process, key.document, change.page, change.lastPage);
        break;
    case PageChange::Kind::Exchanged:
        texts->followExchange(key.process, key.document, change.page);
        break;
    case PageChange::Kind::MovedAside:
        texts->forgetDocument(key.process, key.document);
        break;
    case PageChange::Kind::PutBack:
        // Pages back under their names are read again; a text left there was not theirs.
        for (const QString &name : change.names) {
            if (const std::optional<db::PagePlace> place = placeOf(name))
                texts->forget(*place);
        }
        break;
    case PageChange::Kind::DocumentGiven:
        texts->followGift({key.process, key.document, 0}, {change.to.process, change.to.document, 0});
        break;
    }
}

} // namespace pages
