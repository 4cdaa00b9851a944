#pragma once
#include "pages/PageTurn.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

namespace db {
class Connection;
}

namespace pages {

struct PageChange;

/// A failed page operation; message() is the text to show the user.
class PageError : public std::runtime_error {
public:
    enum class Kind {
        SourceMissing, ///< "Arquivo nao encontrado"
        NotJpeg,       ///< the chosen file is not a JPEG image; nothing was copied
        BadCode,       ///< a process or document code that cannot name a page
        PageLimit,     ///< a page past the 999th; nothing was written
        Io,            ///< reading, writing, moving or decoding failed (file or server)
        NoPrivilege,   ///< the server refused: the user may not change pages; nothing changed
    };
    PageError(Kind kind, const QString &message)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message) {}
    Kind kind() const noexcept { return m_kind; }
    const QString &message() const noexcept { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

/// The two codes that own a set of pages: the process code and the document code.
struct DocumentKey {
    QString process;
    QString document;
};

/// Holds a document code for one inclusion until it is confirmed or called off: while it
/// is held, no other inclusion (on this or another workstation) is given the code, so the
/// pages stored under it are that inclusion's alone. Released when destroyed, and by the
/// system when the program holding it stops.
class InclusionClaim {
public:
    virtual ~InclusionClaim() = default;
};

/// Pages moved aside together, remembered so that they can be put back.
class MovedPages {
public:
    struct Move {
        QString name; ///< the page's list name ("0000700003002.jpg")
        QString to;   ///< where it went: a path in the folder store, a row id on a server
    };
    int count() const { return int(m_moves.size()); }
    bool isEmpty() const { return m_moves.empty(); }
    /// The names the pages had, in the order they moved.
    QStringList names() const;
    const std::vector<Move> &moves() const { return m_moves; }
    void add(Move move) { m_moves.push_back(std::move(move)); }

private:
    std::vector<Move> m_moves;
};

/// The page images of the archive, one JPEG per page, named by process code + document
/// code + page number (at least three digits) + ".jpg". Pages 1..k are the document's
/// pages when 1..k exist and k+1 does not. Codes are exactly five digits; page numbers stop
/// at 999. Every write is whole or nothing; the pages of deleted documents are moved aside,
/// never removed. Failures throw PageError; no method shows anything.
///
/// Two kinds: files in a folder beside a file archive, rows on the archive's server. The
/// screens hold this interface and never know which one they have.
class PageStore {
public:
    static constexpr int kMaxPages = 999;

    virtual ~PageStore() = default;

    /// "0000700003002.jpg" for page 2 of document 00003 of process 00007. Throws
    /// PageError(BadCode) for a code that is not five digits or a page below 1, and
    /// PageError(PageLimit) for a page past kMaxPages.
    static QString pageName(const DocumentKey &key, int page);
    /// The document and number a page's name gives ("0000700003002.jpg" -> 00007, 00003,
    /// 2); nullopt for a name no page has.
    struct NamedPage {
        DocumentKey key;
        int page = 0;
    };
    static std::optional<NamedPage> pageOfName(const QString &name);
    /// Throws PageError(PageLimit), with the message for the user, past kMaxPages.
    static void requirePageNumber(int page);
    /// True when both codes are five digits: only such a document can own pages.
    static bool canName(const DocumentKey &key);

    /// Where pages moved aside go, as the user reads it in a message.
    virtual QString deletedPlace() const = 0;
    /// Where a list entry's page is (a file path, or the entry on the server): what a
    /// preview remembers of the page it shows.
    virtual QString pageLocation(const QString &entryName) const = 0;

    /// `LoadLaudas`: names of pages 1, 2, ... up to the first missing one, at most 999.
    virtual QStringList listPages(const DocumentKey &key) const = 0;
    int pageCount(const DocumentKey &key) const { return int(listPages(key).size()); }
    /// The JPEG bytes of a list entry, as stored; nullopt when there is no such page.
    virtual std::optional<QByteArray> pageBytes(const QString &entryName) const = 0;
    virtual bool hasPage(const QString &entryName) const { return pageBytes(entryName).has_value(); }

    /// Stores JPEG bytes as page `page`, unchanged, replacing a page of that number.
    /// Bytes that are not a JPEG image are refused (NotJpeg) and nothing is written.
    virtual void storeBytes(const DocumentKey &key, int page, const QByteArray &jpeg) const = 0;
    /// Copies a JPEG file in as page `page`, byte for byte. Throws SourceMissing ("Arquivo
    /// nao encontrado"), NotJpeg (nothing copied), PageLimit (nothing copied) or Io.
    void storeFile(const DocumentKey &key, int page, const QString &sourcePath) const;
    /// Encodes an image (quality 90, baseline, colour, 24 bits per pixel) as page `page`.
    void storeImage(const DocumentKey &key, int page, const QImage &image) const;

    /// Stores the bytes as the next page and returns its number. The number is chosen
    /// while the document's pages are locked against other workstations, so two of them
    /// appending at once get consecutive numbers, never the same one.
    virtual int appendBytes(const DocumentKey &key, const QByteArray &jpeg) const = 0;
    int appendFile(const DocumentKey &key, const QString &sourcePath) const;
    int appendImage(const DocumentKey &key, const QImage &image) const;

    /// Removes page `page` and renumbers the pages after it down by one, as one step for
    /// every other workstation. Returns false when there is no page `page` (nothing changes).
    virtual bool removePage(const DocumentKey &key, int page) const = 0;

    /// "Subir página": swaps page `page` with the one before it. False when there is none
    /// (page 1, or a page that is not listed): nothing changes.
    bool movePageUp(const DocumentKey &key, int page) const { return page > 1 && exchangePages(key, page - 1); }
    /// "Descer página": swaps page `page` with the one after it; false for the last page.
    bool movePageDown(const DocumentKey &key, int page) const { return page >= 1 && exchangePages(key, page); }
    /// Swaps listed pages `first` and `first + 1`, as one step for every other workstation
    /// and whole after a crash. False when either is not a listed page (nothing changes).
    virtual bool exchangePages(const DocumentKey &key, int first) const = 0;
    /// Turns listed page `page` as it is seen, without decoding it (pages/PageTurn), as one
    /// step. Nothing when there is no such listed page; PageError(Io) when the page cannot
    /// be turned (damaged data), the page then unchanged.
    virtual std::optional<TurnMethod> turnPage(const DocumentKey &key, int page, Turn turn) const = 0;

    /// Moves every page of a document (listed or not) aside, keeping each byte and every
    /// page ever moved aside, the same codes and number as often as they come. All or
    /// nothing: on failure nothing has moved and PageError(Io) is thrown.
    virtual MovedPages moveDocumentToDeleted(const DocumentKey &key) const = 0;
    /// The same for every document of a process.
    virtual MovedPages moveProcessToDeleted(const QString &process) const = 0;
    /// Holds `key` for an inclusion; nullptr when another inclusion holds it already.
    virtual std::unique_ptr<InclusionClaim> claimInclusion(const DocumentKey &key) const = 0;
    /// Gives every page of `from` to `to`, which must have none (an inclusion stored under
    /// another code than the one it started with). All or nothing: on failure every page
    /// stays under `from` and PageError(Io) is thrown.
    virtual void moveDocumentPages(const DocumentKey &from, const DocumentKey &to) const = 0;

    /// Returns moved pages to their names (a deletion that failed after its pages had
    /// moved). Throws PageError(Io) naming those that stay aside; every other one is back.
    virtual void putBack(const MovedPages &moved) const = 0;

    /// A page decoded for a preview box of `box`: the smallest DCT scale that covers the
    /// box, to be stretched by the caller. Null when there is no such page; PageError(Io)
    /// when it cannot be decoded.
    virtual QImage previewImage(const QString &entryName, QSize box) const;
    /// The page at full resolution (for printing); null when there is no such page.
    virtual QImage fullImage(const QString &entryName) const;

    /// `listener` hears of every change this store makes from now on, after it is complete.
    void addListener(std::function<void(const PageChange &)> listener);

protected:
    /// Tells every listener; a listener's failure is logged and the change still stands.
    void notify(const PageChange &change) const;
    /// Whether anyone listens: what only listeners need (a page's print) is read only then.
    bool isListened() const;

    /// Refuses (PageError) bytes that are not a JPEG image, naming where they came from.
    static void requireJpeg(const QByteArray &bytes, const QString &origin);
    /// How requireJpeg names bytes handed straight to the store.
    static QString bytesOrigin(const DocumentKey &key);
    /// Refuses (PageError BadCode) a code that is not five digits; `what` names it.
    static void requireCode(const QString &code, const QString &what);

private:
    mutable std::mutex m_listenersLock;
    std::vector<std::function<void(const PageChange &)>> m_listeners;
};

/// The page store of an open archive: rows on the server of a PostgreSQL archive, files
/// in `<programDir>/dados/laudas/` beside a file archive (or when there is no connection).
std::shared_ptr<PageStore> openPageStore(const QString &programDir, const db::Connection *connection);

} // namespace pages
