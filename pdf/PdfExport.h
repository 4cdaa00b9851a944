#pragma once
#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

namespace pdf {

/// Where a page's JPEG bytes come from. They are read only when needed, once to measure
/// the picture and once while the file is written, so memory holds one page at a time.
class PageSource {
public:
    /// A page file.
    static PageSource file(const QString &path);
    /// Any other store (a database row, bytes in memory): `read` gives the whole JPEG, or
    /// throws. `name` says which page it is in messages.
    static PageSource reader(const QString &name, std::function<QByteArray()> read);

    const QString &name() const { return m_name; }
    /// The whole picture. Throws PdfError when it cannot be read.
    QByteArray readAll() const;
    /// At least the first `count` bytes when there are that many (all of them from a
    /// reader). Throws PdfError when they cannot be read.
    QByteArray readHead(qsizetype count) const;

private:
    PageSource() = default;
    QString m_name;
    QString m_path;
    std::function<QByteArray()> m_read;
};

/// A word recognised on a page picture, in the picture's pixels as it is seen (upright).
struct TextWord {
    QString text;
    QRect box;
};

/// One page of the file. Its picture is embedded as it is; the words recognised on it, when
/// there are any, go over it as invisible text, so the file can be searched and copied from.
struct ExportPage {
    ExportPage(PageSource pageSource, QList<TextWord> pageWords = {}, QSize picture = {})
        : source(std::move(pageSource)), words(std::move(pageWords)), wordsPicture(picture)
    {
    }
    PageSource source;
    QList<TextWord> words;
    QSize wordsPicture; ///< the size of the picture the word boxes were measured on
};

/// The pages of one document, in order, and the bookmark that leads to its first page
/// ("00003 - OFÍCIO 15"); an empty bookmark adds none.
struct ExportDocument {
    QString bookmark;
    QList<ExportPage> pages;
};

/// The file's own description, in its Info dictionary and its XMP metadata alike.
struct ExportMetadata {
    QString title;
    QString subject;
    QString keywords;
};

enum class ExportOutcome { Written, Cancelled };

/// Told the steps done of the steps in all (each page is read twice: measured, then
/// written); returning false cancels.
using ExportProgress = std::function<bool(int done, int total)>;

/// Writes the documents' pages, in order, as one PDF/A-2b file at `target`: each JPEG
/// embedded unchanged on a page sized from its stated resolution (300 dpi when it states
/// none) and turned by its EXIF orientation, the metadata, an sRGB output intent and a
/// bookmark per document. The file is written beside the target under a temporary name
/// and renamed over it at the end: a failure or a cancel leaves `target` as it was and
/// nothing else behind. Throws PdfError, with a message for the user, when there is no
/// page, a page is not a JPEG picture PDF/A can hold (CMYK pictures are refused), or
/// the file cannot be written.
ExportOutcome exportPdf(const QString &target, const ExportMetadata &metadata, const QList<ExportDocument> &documents,
                        const ExportProgress &progress = {});

} // namespace pdf
