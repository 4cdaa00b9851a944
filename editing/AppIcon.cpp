#include "editing/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace editing {
namespace {

const QColor kNavy{0x1f, 0x3a, 0x5f};
const QColor kSky{117, 197, 240};

// One sheet with a folded corner, in a unit square scaled by the painter.
void drawSheet(QPainter &painter, const QRectF &sheet, const QColor &fill)
{
    const double fold = sheet.width() * 0.3;
    QPainterPath outline;
    outline.moveTo(sheet.topLeft());
    outline.lineTo(sheet.right() - fold, sheet.top());
    outline.lineTo(sheet.right(), sheet.top() + fold);
    outline.lineTo(sheet.bottomRight());
    outline.lineTo(sheet.bottomLeft());
    outline.closeSubpath();
    painter.setBrush(fill);
    painter.drawPath(outline);
    painter.drawLine(QPointF(sheet.right() - fold, sheet.top()), QPointF(sheet.right() - fold, sheet.top() + fold));
    painter.drawLine(QPointF(sheet.right() - fold, sheet.top() + fold), QPointF(sheet.right(), sheet.top() + fold));
}

} // namespace

QPixmap applicationIcon(int size)
{
    QPixmap icon(size, size);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    QLinearGradient face(0, 0, 0, 64);
    face.setColorAt(0, kNavy.lighter(135));
    face.setColorAt(1, kNavy);
    painter.setPen(Qt::NoPen);
    painter.setBrush(face);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    QPen ink(kNavy, 2.0);
    ink.setJoinStyle(Qt::RoundJoin);
    painter.setPen(ink);
    drawSheet(painter, QRectF(14, 10, 28, 36), kSky);
    drawSheet(painter, QRectF(22, 18, 28, 36), Qt::white);
    for (int line = 0; line < 4; ++line) {
        const double y = 34 + line * 5;
        painter.drawLine(QPointF(27, y), QPointF(line == 3 ? 38 : 45, y));
    }
    return icon;
}

QIcon applicationWindowIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(applicationIcon(size));
    return icon;
}

} // namespace editing
