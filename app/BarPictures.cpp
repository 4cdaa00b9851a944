#include "app/BarPictures.h"
#include "app/WindowShape.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace cartulo {
namespace {

constexpr int kPictureWidth = 88;
// The button is 65 wide and the picture is centred on it: the word must fit there.
constexpr int kVisibleWidth = 65 - 6;

QStringList screenWords()
{
    return {u"Cartulo"_s, u"Pesquisa"_s, u"Documentos"_s, u"Natureza"_s, u"Listagens"_s, u"Setup"_s, u"Ajuda"_s};
}

// One size for every label, the largest at which the longest word still fits.
QFont labelFont()
{
    QFont font(u"DejaVu Sans"_s);
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    for (int pixels = 12; pixels > 7; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        bool fits = true;
        for (const QString &word : screenWords())
            fits = fits && metrics.horizontalAdvance(word) <= kVisibleWidth;
        if (fits)
            break;
    }
    return font;
}

} // namespace

QImage screenButtonPicture(const QString &word)
{
    const int height = word == u"Ajuda" ? 24 : 23;
    QImage image(kPictureWidth, height, QImage::Format_RGB888);
    image.fill(shape::kFrameColour);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF label = QRectF(image.rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient face(label.topLeft(), label.bottomLeft());
    face.setColorAt(0, QColor(0xfd, 0xfe, 0xff));
    face.setColorAt(1, QColor(0xd5, 0xe1, 0xee));
    painter.setPen(QPen(QColor(0x9f, 0xb6, 0xcf), 1));
    painter.setBrush(face);
    painter.drawRoundedRect(label, label.height() / 2, label.height() / 2);

    painter.setFont(labelFont());
    painter.setPen(shape::kFrameColour);
    painter.drawText(image.rect(), Qt::AlignCenter, word);
    return image;
}

} // namespace cartulo
