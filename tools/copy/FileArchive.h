#pragma once
#include "pages/FolderPageStore.h"
#include "tools/copy/ArchiveEnd.h"
#include "tools/copy/PageFolder.h"

#include <memory>

struct sqlite3;

namespace copying {

struct CloseDatabase {
    void operator()(sqlite3 *handle) const noexcept;
};
using DatabasePtr = std::unique_ptr<sqlite3, CloseDatabase>;

/// A file archive: its SQLite file and the page folder beside its description file.
/// As a source it is read in one read transaction. As a target the rows go to a new
/// file under a temporary name in the same folder, which replaces the target (a missing
/// file, or an empty archive) only at commit(); the pages go straight into the folder,
/// new files only, and abandon() removes them again.
class FileArchive final : public ArchiveEnd {
public:
    FileArchive(const QString &programDir, const QString &databasePath, Role role);
    ~FileArchive() override;

    QString displayName() const override { return m_databasePath; }
    qint64 rowCount(const db::schema::TableSpec &table) override;
    std::unique_ptr<Reader<Row>> readRows(const db::schema::TableSpec &table) override;
    qint64 pageCount(Shelf shelf) override;
    std::unique_ptr<Reader<Page>> readPages(Shelf shelf) override;
    std::unique_ptr<Reader<PageDigest>> readDigests(Shelf shelf) override;
    QStringList notes() override;
    DocumentsWithoutProcess documentsWithoutProcess(int firstFew) override;

    void beginWriting() override;
    std::unique_ptr<RowWriter> writeRows(const db::schema::TableSpec &table) override;
    void writePage(Shelf shelf, const Page &page) override;
    void finishWriting() override;
    void commit() override;
    QString abandon() noexcept override;

private:
    QString shelfFolder(Shelf shelf) const;
    void refuseUnlessEmpty();
    void syncPageFolders() const;
    void makePageFolders();
    QString pagePath(Shelf shelf, const PageId &id) const;
    void replaceTarget();

    QString m_databasePath;
    pages::FolderPageStore m_store;
    DatabasePtr m_db;
    QString m_temporaryPath; ///< the copy's file until commit()
    std::vector<std::pair<Shelf, PageId>> m_writtenPages;
    bool m_foldersReady = false;
    QStringList m_madeFolders; ///< page folders made by the copy, deepest last
    QStringList m_notes;
};

} // namespace copying
