#pragma once
#include <QAbstractButton>
#include <QPixmap>

/// Picture button of the navigation bars (the old speed button): shows its picture
/// centred and cut to the button, takes no keyboard focus (so F2 still finds the field
/// the user was in), and sinks by one pixel while pressed. A picture may hold several
/// images side by side; the first is the normal one, the second the disabled one.
class TSpeedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget *parent = nullptr);
    TSpeedButton(const QString &objectName, const QRect &geometry, QWidget *parent);

    void setGlyph(const QPixmap &glyph, int numGlyphs = 1);
    QPixmap glyph() const { return m_glyph; }
    int numGlyphs() const { return m_numGlyphs; }
    bool hasGlyph() const { return !m_glyph.isNull(); }

    /// The image shown in the current state, before it is centred and cut.
    QPixmap currentImage() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintBareButton(QPainter &painter);

    QPixmap m_glyph;
    int m_numGlyphs = 1;
};
