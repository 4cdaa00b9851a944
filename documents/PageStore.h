#pragma once
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <stdexcept>
#include <vector>

namespace documents {

/// A failed page operation; message() is the text to show the user.
class PageError : public std::runtime_error {
public:
    enum class Kind {
        SourceMissing, ///< "Arquivo nao encontrado"
        NotJpeg,       ///< the chosen file is not a JPEG image; nothing was copied
        BadCode,       ///< a process or document code that cannot name a page file
        PageLimit,     ///< a page past the 999th; nothing was written
        Io,            ///< reading, writing, renaming or decoding failed
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

/// Page files moved out of the way together, remembered so that they can be put back.
class MovedPages {
public:
    int count() const { return int(m_moves.size()); }
    bool isEmpty() const { return m_moves.empty(); }
    /// The names the files had in the page folder, in the order they moved.
    QStringList names() const;

private:
    friend class PageStore;
    struct Move {
        QString name; ///< file name in the page folder
        QString to;   ///< full path it went to
    };
    std::vector<Move> m_moves;
};

/// The page image store: one JPEG file per page in <program folder>/dados/laudas/, named
/// process code + document code + page number (at least three digits) + ".jpg".
/// A page exists exactly when its file exists; pages 1..k are the document's pages when
/// the files for 1..k exist and the one for k+1 does not.
///
/// Codes are exactly five digits, so that no two documents share a file name; page
/// numbers stop at 999, so that no page is written where the list never shows it.
/// Every write is whole or nothing (temporary file, then rename); renumbering renames;
/// pages of deleted documents are moved to dados/laudas/excluidas/, never removed.
/// Failures throw PageError. No method shows anything.
class PageStore {
public:
    static constexpr int kMaxPages = 999;

    /// `programDir` is the folder of the program file; the page folder is not created.
    explicit PageStore(const QString &programDir);

    /// "<programDir>/dados/laudas/", with the trailing separator.
    const QString &folder() const { return m_folder; }
    /// folder() + "excluidas/": where the pages of deleted documents go.
    QString deletedFolder() const;

    /// "0000700003002.jpg" for page 2 of document 00003 of process 00007. Throws
    /// PageError(BadCode) for a code that is not five digits or a page below 1, and
    /// PageError(PageLimit) for a page past kMaxPages.
    static QString pageName(const DocumentKey &key, int page);
    /// Throws PageError(PageLimit), with the message for the user, when `page` is past
    /// kMaxPages.
    static void requirePageNumber(int page);
    /// True when both codes are five digits: only such a document can own page files.
    static bool canName(const DocumentKey &key);
    QString pagePath(const DocumentKey &key, int page) const;
    /// folder() + a list entry's text: where the preview looks for an entry's file.
    QString entryPath(const QString &entryName) const;

    /// `LoadLaudas`: names of pages 1, 2, ... up to the first missing one, at most 999.
    QStringList listPages(const DocumentKey &key) const;
    /// Number of entries listPages() gives.
    int pageCount(const DocumentKey &key) const;

    /// Copies a JPEG file in as page `page`, byte for byte, replacing a file of that number.
    /// Throws SourceMissing ("Arquivo nao encontrado"), NotJpeg (nothing copied),
    /// PageLimit (nothing copied) or Io.
    void storeFile(const DocumentKey &key, int page, const QString &sourcePath) const;
    /// Encodes an image (quality 90, baseline, colour, 24 bits per pixel) as page `page`.
    void storeImage(const DocumentKey &key, int page, const QImage &image) const;
    /// The same as the next page: pageCount() + 1. Returns the page number written.
    int appendFile(const DocumentKey &key, const QString &sourcePath) const;
    int appendImage(const DocumentKey &key, const QImage &image) const;

    /// Removes page `page` and renumbers the listed pages after it down by one, by renames
    /// only. Each step leaves every page under exactly one name: a crash part-way leaves
    /// all remaining pages listed, the removed one at most not yet gone.
    /// Returns false when no file exists for `page` (nothing changes).
    bool removePage(const DocumentKey &key, int page) const;

    /// Moves every page file of a document (listed or not) into deletedFolder(), keeping
    /// each byte; a name already taken there gets a suffix ("_2", "_3", ...), never an
    /// overwrite. All or nothing: when one file cannot move, those already moved are put
    /// back and PageError(Io) is thrown.
    MovedPages moveDocumentToDeleted(const DocumentKey &key) const;
    /// The same for every document of a process.
    MovedPages moveProcessToDeleted(const QString &process) const;
    /// Returns moved files to their names in the page folder (a deletion that failed
    /// after its pages had moved). Throws PageError(Io) naming the files that stay in
    /// deletedFolder(); every other file is back.
    void putBack(const MovedPages &moved) const;

    /// The page of a list entry decoded for a preview box of `box`: the smallest DCT scale
    /// that covers the box, to be stretched by the caller. A null image when the file does
    /// not exist; PageError(Io) when it cannot be decoded.
    QImage previewImage(const QString &entryName, QSize box) const;
    /// The page at full resolution (for printing); null when the file does not exist.
    QImage fullImage(const QString &entryName) const;

private:
    MovedPages moveAllToDeleted(const QStringList &names) const;
    /// Full path the file went to.
    QString moveOneToDeleted(const QString &name) const;

    QString m_folder;
};

} // namespace documents
