#pragma once
#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace db {

/// A recognised word and where it lies on the page picture (pixels, as the page is seen).
struct PageWord {
    QString text;
    QRect box;
    friend bool operator==(const PageWord &, const PageWord &) = default;
};

/// The words of a page, kept in `lauda_texto.palavras` for the PDF's text layer.
struct PageWords {
    QSize imageSize; ///< the picture the boxes refer to
    QList<PageWord> words;
    friend bool operator==(const PageWords &, const PageWords &) = default;

    QByteArray encode() const;
    /// nullopt for bytes this program did not write.
    static std::optional<PageWords> decode(const QByteArray &bytes);
};

} // namespace db
