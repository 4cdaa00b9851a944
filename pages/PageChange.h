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
    Kind kind;
    /// The document touched; for a whole process moved aside, `document.document` is empty.
    DocumentKey document;
    int page = 0;
    /// Removed: the last listed page before the removal (equal to `page` when none followed).
    int lastPage = 0;
    /// DocumentGiven: the document that received the pages.
    DocumentKey to;
    /// MovedAside, PutBack: the names of the pages ("0000700003002.jpg").
    QStringList names;
};

/// Called on the thread that made the change; must not throw for the change to stand.
using PageListener = std::function<void(const PageChange &)>;

} // namespace pages
