#pragma once
// Pages of typed Portuguese text drawn at 300 dpi, as a scanner would give them.
#include "editing/JpegImage.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QStringList>

namespace testsupport {

/// A page `width` pixels wide with one line per text, in a large serif type (about 16 pt
/// at 300 dpi), black on white, encoded as the program encodes scanned pages.
inline QByteArray drawnPage(const QStringList &lines, int width = 1400)
{
    const int lineHeight = 110;
    QImage page(width, 120 + lineHeight * int(lines.size()), QImage::Format_RGB32);
    page.fill(Qt::white);
    page.setDotsPerMeterX(11811); // 300 dpi
    page.setDotsPerMeterY(11811);
    QPainter painter(&page);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(64);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int line = 0; line < lines.size(); ++line)
        painter.drawText(80, 110 + line * lineHeight, lines[line]);
    painter.end();
    return editing::jpeg::encode(page);
}

} // namespace testsupport
