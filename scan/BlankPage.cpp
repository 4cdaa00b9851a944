#include "scan/BlankPage.h"

namespace scan {

bool isBlankPage(const QImage &page, double inkPercent)
{
    if (page.isNull())
        return true;
    const QImage rgb = page.format() == QImage::Format_RGB32 ? page : page.convertToFormat(QImage::Format_RGB32);
    const int marginX = rgb.width() / 20;
    const int marginY = rgb.height() / 20;
    const int left = marginX, right = rgb.width() - marginX;
    const int top = marginY, bottom = rgb.height() - marginY;
    const qint64 area = qint64(right - left) * (bottom - top);
    if (area <= 0)
        return true;
    // More dark points than this and the page has something on it: counting stops there.
    const qint64 allowed = qint64(double(area) * inkPercent / 100.0);
    qint64 dark = 0;
    for (int y = top; y < bottom; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = left; x < right; ++x)
            if (qGray(line[x]) < 128)
                ++dark;
        if (dark > allowed)
            return false;
    }
    return true;
}

} // namespace scan
