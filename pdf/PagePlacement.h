#pragma once
#include "pdf/JpegHeader.h"

#include <QSize>
#include <QSizeF>

#include <optional>

namespace pdf {

/// Resolution taken for a picture that states none: what the program scans and renders at.
inline constexpr double kAssumedDpi = 300.0;

/// How one page picture sits on its PDF page. The picture fills the media box, which is
/// in the picture's stored orientation; the page's /Rotate turns it upright for the
/// reader. Word boxes of a later text layer map through the same placement.
struct PagePlacement {
    QSizeF mediaBox;       ///< in points (1/72 inch)
    int rotate = 0;        ///< clockwise: 0, 90, 180 or 270
    bool mirrored = false; ///< drawn flipped left to right before the turn (EXIF 2, 4, 5, 7)
};

/// The page size of a picture at its stated resolution, 300 dpi when it states none or
/// states one that gives a page PDF readers refuse (sides of 3 to 14400 points); a picture
/// too large even at 300 dpi is scaled down to fit.
QSizeF pageSizeInPoints(QSize pixels, std::optional<QPointF> dotsPerInch);

/// Page size plus the turn and flip that show a picture with this EXIF orientation upright.
PagePlacement placePicture(const JpegHeader &header);

} // namespace pdf
