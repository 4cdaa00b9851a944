#pragma once
#include "tools/copy/ArchiveEnd.h"

#include <QStringList>
#include <vector>

namespace copying {

/// The page files of one shelf of a page folder: `<stem>.jpg` among the documents' pages,
/// `<stem>.jpg`, `<stem>_2.jpg`, ... among those moved aside (the suffix the page store
/// gives a name already taken there). Only the file names are read.
class PageFolderListing {
public:
    /// `folder` is the shelf's folder (dados/laudas/ or dados/laudas/excluidas/); a
    /// missing folder holds no pages.
    PageFolderListing(const QString &folder, Shelf shelf);

    qint64 count() const { return qint64(m_files.size()); }
    /// The i-th page in PageId order, and its file's path.
    PageId id(qint64 i) const;
    QString path(qint64 i) const;
    /// Files of the folder that are not pages of this shelf (at most a few names, and how
    /// many there are): a copy leaves them behind and says so.
    const QStringList &strangers() const { return m_strangers; }
    qint64 strangerCount() const { return m_strangerCount; }

    /// The file a page of this shelf has in a folder written by a copy.
    static QString fileName(const PageId &id, Shelf shelf);

private:
    struct File {
        qint64 key;
        int suffix; ///< 1 when the name has none
        auto operator<=>(const File &) const = default;
    };
    QString m_folder;
    std::vector<File> m_files;
    std::vector<int> m_copies; ///< the rank of each file among those of its key
    QStringList m_strangers;
    qint64 m_strangerCount = 0;
};

} // namespace copying
