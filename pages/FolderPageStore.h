#pragma once
#include "pages/PageStore.h"

namespace pages {

/// Pages as files in <program folder>/dados/laudas/: a page exists exactly when its file
/// does. Every write is whole or nothing (temporary file, then rename); renumbering
/// renames; pages of deleted documents are moved to dados/laudas/excluidas/, a name taken
/// there getting a suffix ("_2", "_3", ...), never an overwrite. Appending holds a lock on
/// the page folder, which every workstation sharing it honours.
class FolderPageStore final : public PageStore {
public:
    /// `programDir` is the folder of the program file; the page folder is not created.
    explicit FolderPageStore(const QString &programDir);

    /// "<programDir>/dados/laudas/", with the trailing separator.
    const QString &folder() const { return m_folder; }
    /// folder() + "excluidas/": where the pages of deleted documents go.
    QString deletedFolder() const;
    QString pagePath(const DocumentKey &key, int page) const;
    /// folder() + a list entry's text.
    QString entryPath(const QString &entryName) const;

    QString deletedPlace() const override;
    QString pageLocation(const QString &entryName) const override { return entryPath(entryName); }
    QStringList listPages(const DocumentKey &key) const override;
    std::optional<QByteArray> pageBytes(const QString &entryName) const override;
    bool hasPage(const QString &entryName) const override;
    void storeBytes(const DocumentKey &key, int page, const QByteArray &jpeg) const override;
    int appendBytes(const DocumentKey &key, const QByteArray &jpeg) const override;
    /// By renames only: a crash part-way leaves all remaining pages listed, the removed
    /// one at most not yet gone.
    bool removePage(const DocumentKey &key, int page) const override;
    /// In one step where the file system swaps two names at once; elsewhere through a
    /// journal (FolderExchange) that the next lock or listing of the folder completes.
    bool exchangePages(const DocumentKey &key, int first) const override;
    /// The file rewritten whole (temporary file, then rename).
    std::optional<TurnMethod> turnPage(const DocumentKey &key, int page, Turn turn) const override;
    /// When one file cannot move, those already moved are put back.
    MovedPages moveDocumentToDeleted(const DocumentKey &key) const override;
    MovedPages moveProcessToDeleted(const QString &process) const override;
    void putBack(const MovedPages &moved) const override;
    std::unique_ptr<InclusionClaim> claimInclusion(const DocumentKey &key) const override;
    void moveDocumentPages(const DocumentKey &from, const DocumentKey &to) const override;
    QImage previewImage(const QString &entryName, QSize box) const override;
    QImage fullImage(const QString &entryName) const override;
    /// Runs `work` holding the lock under which pages are renumbered and exchanged (and
    /// their listeners told): what `work` sees of the pages does not move meanwhile.
    void whileLocked(const std::function<void()> &work) const;

private:
    /// Writes bytes already known to be a JPEG image as page `page`, whole or not at all.
    void writeChecked(const DocumentKey &key, int page, const QByteArray &jpeg) const;
    /// Completes a move between two pages that a crash interrupted (FolderExchange).
    void finishInterruptedExchange() const;
    MovedPages moveAllToDeleted(const QStringList &names) const;
    /// The change with the print of the page at each of `paths` (where the pages are now).
    PageChange withPrints(PageChange change, const QStringList &paths) const;
    /// Full path the file went to.
    QString moveOneToDeleted(const QString &name) const;

    QString m_folder;
};

} // namespace pages
