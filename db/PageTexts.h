#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace db {

class Connection;
namespace pg {
class PgConnection;
}

/// A page's place: process code, document code, page number.
struct PagePlace {
    QString process;
    QString document;
    int page = 0;
    friend bool operator==(const PagePlace &, const PagePlace &) = default;
};

/// What recognition made of a page's bytes.
struct PageText {
    QString impressao;             ///< SHA-256 (hex) of the JPEG bytes read
    std::optional<QString> texto;  ///< nullopt: the page could not be read
    QByteArray palavras;           ///< word boxes (ocr::WordBoxes' encoding)
    std::optional<QString> nota;   ///< why the page could not be read
};

struct PlacedText {
    PagePlace place;
    PageText text;
};

/// The page texts of an archive (`lauda_texto`): the one way the program writes them. A row
/// describes the page now at its place or is absent; the follow* calls keep it so when the
/// pages move (the server's own keys do part of it). Failures throw DbError.
class PageTexts {
public:
    /// On the archive's file or server; nullptr when no archive is open.
    static std::unique_ptr<PageTexts> on(const Connection &connection);
    static std::unique_ptr<PageTexts> onFile(sqlite3 *handle);
    static std::unique_ptr<PageTexts> onServer(pg::PgConnection &server);
    virtual ~PageTexts() = default;

    /// Whether the archive has the table (a server archive made before it, opened by a role
    /// that may not add it, has none).
    virtual bool available() = 0;
    virtual std::optional<PageText> find(const PagePlace &place) = 0;
    /// Writes the text of the page at `place`, replacing any.
    virtual void store(const PagePlace &place, const PageText &text) = 0;
    virtual void forget(const PagePlace &place) = 0;
    /// Every text of a document; with an empty `document`, of the whole process.
    virtual void forgetDocument(const QString &process, const QString &document) = 0;
    /// Every place with a text and the fingerprint it was read from.
    virtual std::vector<std::pair<PagePlace, QString>> fingerprints() = 0;
    virtual int count() = 0;

    /// Page `page` removed and pages page+1..lastPage moved down by one.
    void followRemoval(const QString &process, const QString &document, int page, int lastPage);
    /// Pages `first` and `first + 1` traded places.
    void followExchange(const QString &process, const QString &document, int first);
    /// Every page of one document given to another code (which had none).
    void followGift(const PagePlace &from, const PagePlace &to);

protected:
    /// The texts of a document's pages from..to, in page order.
    virtual std::vector<PlacedText> rows(const QString &process, const QString &document, int from, int to) = 0;
    virtual void removeRows(const QString &process, const QString &document, int from, int to) = 0;
    /// Runs `work` whole or not at all (inside a transaction already open: as part of it).
    virtual void inTransaction(const std::function<void()> &work) = 0;
    void reinsert(const std::vector<PlacedText> &moved);
};

/// The server's page texts, with what several workstations recognising at once need.
class ServerPageTexts final : public PageTexts {
public:
    explicit ServerPageTexts(pg::PgConnection &server) : m_server(&server) {}

    bool available() override;
    std::optional<PageText> find(const PagePlace &place) override;
    void store(const PagePlace &place, const PageText &text) override;
    void forget(const PagePlace &place) override;
    void forgetDocument(const QString &process, const QString &document) override;
    std::vector<std::pair<PagePlace, QString>> fingerprints() override;
    int count() override;

    /// Up to `limit` pages without a text, in page order after `after` (or from the start).
    QList<PagePlace> waiting(int limit, const std::optional<PagePlace> &after = std::nullopt);
    /// How many pages have no text.
    int waitingCount();
    /// Whether this role may write texts (a read-only role recognises nothing).
    bool mayWrite();
    /// Stores the text only while the page at `place` still holds the bytes it was read
    /// from, under the document's page lock; false (nothing written) otherwise.
    bool storeIfCurrent(const PagePlace &place, const PageText &text);

protected:
    std::vector<PlacedText> rows(const QString &process, const QString &document, int from, int to) override;
    void removeRows(const QString &process, const QString &document, int from, int to) override;
    void inTransaction(const std::function<void()> &work) override;

private:
    void insert(const PagePlace &place, const PageText &text);
    pg::PgConnection *m_server;
    bool m_present = false;
};

} // namespace db
