#pragma once
#include "ocr/PageSupply.h"
#include "ocr/Recognizer.h"

#include <functional>
#include <memory>
#include <set>
#include <tuple>

namespace ocr {

/// One pass over an archive's waiting pages on the calling thread: each page claimed,
/// read and its text stored, one at a time. A page that cannot be decoded or read gets a
/// row with a note instead of a text, so it is not tried again until it changes.
class PageReading {
public:
    /// Opens the archive again on this thread; throws DbError.
    explicit PageReading(const ArchiveSource &source);
    ~PageReading();

    /// Empty when this workstation may recognise here; else why not.
    QString whyNot();
    /// Looks for the waiting pages again (at most `limit` kept for this round); returns how
    /// many wait in all.
    int lookAgain(int limit = 200);
    /// Pages still waiting, as last seen and counted down since.
    int waiting() const { return m_total; }
    /// Reads the next page of the round; false when the round is over.
    bool readNext();

private:
    /// Reads one page; true when a text or a note was stored for it.
    bool read(const db::PagePlace &place);
    db::PageText recognise(const QByteArray &bytes);

    std::unique_ptr<PageSupply> m_supply;
    std::unique_ptr<Recognizer> m_recognizer; // made on first need: 16 MB and a second
    std::vector<db::PagePlace> m_round;
    std::size_t m_next = 0;
    std::set<std::tuple<QString, QString, int>> m_unreadable;
    int m_total = 0;
};

} // namespace ocr
