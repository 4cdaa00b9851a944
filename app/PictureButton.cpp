#include "app/PictureButton.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

TSpeedButton::TSpeedButton(QWidget *parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

TSpeedButton::TSpeedButton(const QString &objectName, const QRect &geometry, QWidget *parent)
    : TSpeedButton(parent)
{
    setObjectName(objectName);
    setGeometry(geometry);
}

void TSpeedButton::setGlyph(const QPixmap &glyph, int numGlyphs)
{
    m_glyph = glyph;
    m_numGlyphs = std::max(1, numGlyphs);
    update();
}

QPixmap TSpeedButton::currentImage() const
{
    if (m_glyph.isNull())
        return {};
    const int width = m_glyph.width() / m_numGlyphs;
    if (!isEnabled()) {
        if (m_numGlyphs >= 2)
            return m_glyph.copy(width, 0, width, m_glyph.height());
        QStyleOption option;
        option.initFrom(this);
        return style()->generatedIconPixmap(QIcon::Disabled, m_glyph.copy(0, 0, width, m_glyph.height()), &option);
    }
    return m_glyph.copy(0, 0, width, m_glyph.height());
}

QSize TSpeedButton::sizeHint() const
{
    return size().isValid() ? size() : QSize(25, 22);
}

void TSpeedButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPixmap image = currentImage();
    if (image.isNull()) {
        paintBareButton(painter);
        return;
    }
    const QPoint sink = isDown() ? QPoint(1, 1) : QPoint(0, 0);
    // Centred: a picture wider than the button loses its outer ends.
    const QPoint topLeft((width() - image.width()) / 2, (height() - image.height()) / 2);
    painter.drawPixmap(topLeft + sink, image);
    if (underMouse() && isEnabled()) {
        painter.setPen(QColor(255, 255, 255, 140));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

// Without a picture the button still shows where it is, as a plain raised button.
void TSpeedButton::paintBareButton(QPainter &painter)
{
    QStyleOptionButton option;
    option.initFrom(this);
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    option.text = text();
    style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
}
