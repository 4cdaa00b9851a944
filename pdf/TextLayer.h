#pragma once
#include "pdf/PagePlacement.h"
#include "pdf/PdfExport.h"

#include <qpdf/QPDF.hh>

#include <string>

namespace pdf {

/// The invisible words over a page picture (text render mode 3): found by a search, copied
/// as text, never seen. One font serves every page: an embedded Type 3 font with no glyph
/// drawn (nothing of it is ever painted) whose codes are Latin-1 and whose ToUnicode map
/// gives the characters back, so every Portuguese word reads out as it was recognised.
class TextLayer {
public:
    static constexpr const char *kFontName = "/FTxt";

    /// The content operators that set `words` over a picture of `pixels` placed as
    /// `placement`; the boxes were measured on the upright picture of `seenSize`.
    std::string drawing(const QList<TextWord> &words, QSize seenSize, QSize pixels, const PagePlacement &placement) const;
    /// The font, made in `pdf` on first use.
    QPDFObjectHandle font(QPDF &pdf);

private:
    QPDFObjectHandle m_font;
};

} // namespace pdf
