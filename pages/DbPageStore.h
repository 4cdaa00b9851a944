#pragma once
#include "pages/PageStore.h"

#include <QPointer>

#include <functional>

namespace db::pg {
class PgConnection;
}

namespace pages {

/// Pages as rows of the archive's server: `lauda` (processo, documento, numero, imagem),
/// the JPEG bytes unchanged, and `lauda_excluida` for the pages moved aside, which keeps
/// every row it receives. Every operation is one transaction; appending and renumbering
/// hold the document's lock, so workstations never take the same number.
class DbPageStore final : public PageStore {
public:
    /// The connection must outlive the store. `lifetime`, when given, is the object whose
    /// destruction closes the connection: a claim that outlives it has nothing to release.
    explicit DbPageStore(db::pg::PgConnection &server, const QObject *lifetime = nullptr);

    QString deletedPlace() const override;
    QString pageLocation(const QString &entryName) const override;
    QStringList listPages(const DocumentKey &key) const override;
    std::optional<QByteArray> pageBytes(const QString &entryName) const override;
    void storeBytes(const DocumentKey &key, int page, const QByteArray &jpeg) const override;
    int appendBytes(const DocumentKey &key, const QByteArray &jpeg) const override;
    bool removePage(const DocumentKey &key, int page) const override;
    bool exchangePages(const DocumentKey &key, int first) const override;
    std::optional<TurnMethod> turnPage(const DocumentKey &key, int page, Turn turn) const override;
    MovedPages moveDocumentToDeleted(const DocumentKey &key) const override;
    MovedPages moveProcessToDeleted(const QString &process) const override;
    void putBack(const MovedPages &moved) const override;
    std::unique_ptr<InclusionClaim> claimInclusion(const DocumentKey &key) const override;
    void moveDocumentPages(const DocumentKey &from, const DocumentKey &to) const override;

private:
    /// Runs `work` as one transaction (or inside the one already open); a server failure
    /// becomes PageError(Io) with the server's message.
    template <typename Work>
    auto inTransaction(Work &&work) const;
    void lockDocument(const DocumentKey &key) const;
    QList<int> pageNumbers(const DocumentKey &key) const;
    /// How many pages are listed: 1..n present, n+1 missing.
    int listedCount(const DocumentKey &key) const;
    MovedPages moveAside(const QString &condition, const QStringList &codes) const;

    db::pg::PgConnection *m_server;
    QPointer<const QObject> m_lifetime;
};

} // namespace pages
