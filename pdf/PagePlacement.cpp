#include "pdf/PagePlacement.h"

#include <algorithm>

namespace pdf {

namespace {

// PDF's implementation limits for a page side, in points.
constexpr double kMinimumSide = 3.0;
constexpr double kMaximumSide = 14400.0;

bool fitsLimits(QSizeF size)
{
    return std::min(size.width(), size.height()) >= kMinimumSide
        && std::max(size.width(), size.height()) <= kMaximumSide;
}

QSizeF atDpi(QSize pixels, QPointF dotsPerInch)
{
    return QSizeF(pixels.width() * 72.0 / dotsPerInch.x(), pixels.height() * 72.0 / dotsPerInch.y());
}

} // namespace

QSizeF pageSizeInPoints(QSize pixels, std::optional<QPointF> dotsPerInch)
{
    if (dotsPerInch) {
        const QSizeF stated = atDpi(pixels, *dotsPerInch);
        if (fitsLimits(stated))
            return stated;
    }
    QSizeF size = atDpi(pixels, QPointF(kAssumedDpi, kAssumedDpi));
    const double longest = std::max(size.width(), size.height());
    if (longest > kMaximumSide)
        size *= kMaximumSide / longest;
    const double shortest = std::min(size.width(), size.height());
    if (shortest < kMinimumSide)
        size *= kMinimumSide / shortest;
    return size.boundedTo(QSizeF(kMaximumSide, kMaximumSide));
}

PagePlacement placePicture(const JpegHeader &header)
{
    PagePlacement placement;
    placement.mediaBox = pageSizeInPoints(header.pixels, header.dotsPerInch);
    // EXIF: 2 mirror; 3 turn 180; 4 mirror + 180; 5 mirror + 270; 6 turn 90; 7 mirror + 90; 8 turn 270.
    switch (header.exifOrientation) {
    case 2: placement.mirrored = true; break;
    case 3: placement.rotate = 180; break;
    case 4: placement.mirrored = true; placement.rotate = 180; break;
    case 5: placement.mirrored = true; placement.rotate = 270; break;
    case 6: placement.rotate = 90; break;
    case 7: placement.mirrored = true; placement.rotate = 90; break;
    case 8: placement.rotate = 270; break;
    default: break;
    }
    return placement;
}

} // namespace pdf
