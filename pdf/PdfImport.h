#pragma once
#include <QByteArray>
#include <QString>

#include <memory>

namespace pdf {

/// Resolution at which a page that is not one JPEG picture is rendered.
inline constexpr int kRenderDpi = 300;

/// How a page's JPEG came to be.
enum class PageOrigin {
    Copied,   ///< the page was one full-page JPEG picture: its bytes, unchanged
    Rendered, ///< drawn at 300 dpi and encoded as JPEG at the program's quality (90)
};

struct ImportedPage {
    QByteArray jpeg;
    PageOrigin origin = PageOrigin::Copied;
};

/// A PDF file opened to take its pages in as JPEG pictures, one at a time and in order,
/// so that the caller can show progress, store each page where it keeps pages and stop
/// between any two pages. Nothing is written anywhere; dropping the object mid-way leaves
/// no trace. Use it from one thread at a time (a worker thread is fine).
class PdfImport {
public:
    /// Opens and checks the file. Throws PdfError, with a message for the user, when it is
    /// missing, empty, not a PDF, damaged, protected by a password or without pages.
    explicit PdfImport(const QString &path);
    ~PdfImport();
    PdfImport(const PdfImport &) = delete;
    PdfImport &operator=(const PdfImport &) = delete;

    /// Known from the start, at least 1.
    int pageCount() const;

    /// Page `index` (0-based) as a JPEG: byte for byte when it is one full-page JPEG
    /// picture, rendered otherwise. Throws PdfError when the page cannot be read.
    ImportedPage readPage(int index);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace pdf
