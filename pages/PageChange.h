#pragma once
#include "pages/PageStore.h"

#include <QStringList>

#include <functional>

namespace pages {

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
    int lastPage = 0;
    /// DocumentGiven: the document that received the pages.
    DocumentKey to;
    /// MovedAside, PutBack: the names of the pages ("0000700003002.jpg").
    QStringList names;

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
    static PageChange given(const DocumentKey &from, const DocumentKey &to)
    {
        PageChange change = make(Kind::DocumentGiven, from, 0);
        change.to = to;
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
