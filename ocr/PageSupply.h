#pragma once
#include "db/PageTexts.h"
#include "db/ServerAddress.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace db {
class Connection;
}

namespace ocr {

/// Where an archive is, so that a thread of its own can open it again.
struct ArchiveSource {
    QString programDir;                      ///< the page folder of a file archive lies below it
    QString databasePath;                    ///< a file archive; empty for a server
    std::optional<db::ServerAddress> server; ///< a server archive
    static ArchiveSource of(const QString &programDir, const db::Connection &connection);
};

/// The pages without a current text, found in the archive itself, so that the work
/// survives a restart: `places` at most the limit asked, `total` all of them.
struct Waiting {
    std::vector<db::PagePlace> places;
    int total = 0;
};

/// Held while one workstation reads a page, so another does not read it at the same time.
class PageClaim {
public:
    virtual ~PageClaim() = default;
};

/// The pages and page texts of one archive, opened on the calling thread and used there.
class PageSupply {
public:
    /// Throws DbError when the archive cannot be opened.
    static std::unique_ptr<PageSupply> open(const ArchiveSource &source);
    virtual ~PageSupply() = default;

    /// Empty when this workstation may recognise; else why not, for the user.
    virtual QString whyNot() = 0;
    /// The pages listed in their documents that have no text row, in page order.
    virtual Waiting waiting(int limit) = 0;
    /// The page's bytes as stored; nullopt when it is gone.
    virtual std::optional<QByteArray> bytes(const db::PagePlace &place) = 0;
    /// nullptr when another workstation is reading the page now.
    virtual std::unique_ptr<PageClaim> claim(const db::PagePlace &place) = 0;
    /// Whether the page has a text row now (another workstation may have just written one).
    virtual bool hasText(const db::PagePlace &place) = 0;
    /// Writes the text while the page still holds the bytes it was read from; false (and
    /// nothing written) when the page changed or went meanwhile.
    virtual bool storeIfCurrent(const db::PagePlace &place, const db::PageText &text) = 0;
};

/// SHA-256 of the page bytes, in hex: the fingerprint a text keeps of its page.
QString fingerprint(const QByteArray &bytes);

} // namespace ocr
