#pragma once
#include "pages/PageStore.h"

#include <QByteArrayView>
#include <QStringList>

#include <functional>
#include <optional>

namespace pages {

/// A page's picture as the history tells it: its size and SHA-256, never the bytes.
struct PagePrint {
    qint64 bytes = 0;
    QString sha256; ///< lower-case hex
    static PagePrint of(QByteArrayView jpeg);
    friend bool operator==(const PagePrint &, const PagePrint &) = default;
};

/// A change a page store made, told to its listeners once the change is complete (files
/// renamed, or the transaction committed). Page numbers are those the pages had before.
struct PageChange {
    enum class Kind {
        Stored,        ///< page `page` written (new, appended or replaced)
        Removed,       ///< page `page` removed; pages page+1..lastPage each moved down by one
        Exchanged,     ///< pages `page` and `page + 1` traded places
        Turned,        ///< page `page` rewritten turned
        MovedAside,    ///< the pages `names` moved aside (a document, or a whole process)
        PutBack,       ///< the pages `names` came back from aside
        DocumentGiven, ///< every page of `document` now belongs to `to`, same numbers
    };
    Kind kind = Kind::Stored;
    /// The document touched; for a whole process moved aside, `document.document` is empty.
    DocumentKey document;
    int page = 0;
    /// Removed: the last listed page before the removal (equal to `page` when none followed).
    /// DocumentGiven: how many pages were given (pages 1..lastPage).
    int lastPage = 0;
    /// DocumentGiven: the document that received the pages.
    DocumentKey to;
    /// MovedAside, PutBack: the names of the pages ("0000700003002.jpg").
    QStringList names;

    // What a store that reads its pages cheaply tells of the pictures (the folder store);
    // empty when it does not (a server records its own history).
    /// Stored: whether a page of that number was there and is now replaced.
    bool replaced = false;
    /// Stored: the page replaced, none for a new page. Turned: the page before the turn.
    /// Removed: the page removed. Exchanged: page `page` before the exchange.
    std::optional<PagePrint> oldPrint;
    /// Stored, Turned: the page now. Exchanged: page `page + 1` before the exchange, that is
    /// page `page` after it.
    std::optional<PagePrint> newPrint;
    /// MovedAside, PutBack: one for each of `names`, in their order (none where unreadable).
    QList<std::optional<PagePrint>> prints;

    static PageChange stored(const DocumentKey &key, int page) { return make(Kind::Stored, key, page); }
    static PageChange removed(const DocumentKey &key, int page, int lastPage)
    {
        PageChange change = make(Kind::Removed, key, page);
        change.lastPage = lastPage;
        return change;
    }
    static PageChange exchanged(const DocumentKey &key, int first) { return make(Kind::Exchanged, key, first); }
    static PageChange turned(const DocumentKey &key, int page) { return make(Kind::Turned, key, page); }
    static PageChange movedAside(const DocumentKey &key, const QStringList &names)
    {
        PageChange change = make(Kind::MovedAside, key, 0);
        change.names = names;
        return change;
    }
    static PageChange putBack(const QStringList &names)
    {
        PageChange change = make(Kind::PutBack, {}, 0);
        change.names = names;
        return change;
    }
    static PageChange given(const DocumentKey &from, const DocumentKey &to, int count)
    {
        PageChange change = make(Kind::DocumentGiven, from, 0);
        change.to = to;
        change.lastPage = count;
        return change;
    }

private:
    static PageChange make(Kind kind, const DocumentKey &key, int page)
    {
        PageChange change;
        change.kind = kind;
        change.document = key;
        change.page = page;
        return change;
    }
};

/// Called on the thread that made the change; must not throw for the change to stand.
using PageListener = std::function<void(const PageChange &)>;

} // namespace pages
