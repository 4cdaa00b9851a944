#include "app/UntFrameCartulo.h"

#include "app/BarPictures.h"
#include "app/PictureButton.h"
#include "app/WindowDrag.h"
#include "editing/Guard.h"

#include <QApplication>
#include <QPainter>
#include <QResizeEvent>

using namespace Qt::StringLiterals;

// ---- TImage ---------------------------------------------------------------------------

TImage::TImage(QWidget *parent) : QWidget(parent) {}

void TImage::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

QRect TImage::pictureRect() const
{
    if (m_picture.isNull())
        return {};
    QSize size = m_picture.size();
    if (size.width() > width() || size.height() > height())
        size = size.scaled(this->size(), Qt::KeepAspectRatio);
    return QRect(QPoint(0, 0), size);
}

void TImage::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(pictureRect(), m_picture);
}

// ---- TFrameCartulo ---------------------------------------------------------------------

TFrameCartulo::TFrameCartulo(const QString &objectName, QWidget *panel) : QFrame(panel)
{
    setObjectName(objectName);
    setAccessibleName(u"Barra de navegação"_s);
    // Placed by hand, not by a layout: a hidden screen's bar has its size all the same.
    setGeometry(panel->contentsRect()); // inside the panel's one-pixel frame
    panel->installEventFilter(this);

    imgFundo = new TImage(this);
    imgFundo->setObjectName(u"imgFundo"_s);
    imgFundo->setAccessibleName(u"Fundo da tela"_s);
    imgFundo->setGeometry(rect());
    new cartulo::WindowDragHandle(imgFundo);

    spbCartulo = makeScreenButton("spbCartulo", u"Cartulo"_s, 60, &TFrameCartulo::spbCartuloClick);
    spdPesquisa = makeScreenButton("spdPesquisa", u"Pesquisa"_s, 150, &TFrameCartulo::spdPesquisaClick);
    spbDocumentos = makeScreenButton("spbDocumentos", u"Documentos"_s, 243, &TFrameCartulo::spbDocumentosClick);
    spbNatureza = makeScreenButton("spbNatureza", u"Natureza"_s, 334, &TFrameCartulo::spbNaturezaClick);
    spbListagens = makeScreenButton("spbListagens", u"Listagens"_s, 428, &TFrameCartulo::spbListagensClick);
    spbSetup = makeScreenButton("spbSetup", u"Setup"_s, 524, &TFrameCartulo::spbSetupClick);
    spbAjuda = makeScreenButton("spbAjuda", u"Ajuda"_s, 619, &TFrameCartulo::spbAjudaClick);
    SpeedButton1 = makeWindowButton("SpeedButton1", u"Minimizar"_s, u"_"_s, 680, &TFrameCartulo::SpeedButton1Click);
    spbFechar = makeWindowButton("spbFechar", u"Fechar"_s, u"X"_s, 704, &TFrameCartulo::spbFecharClick);
}

bool TFrameCartulo::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->contentsRect());
    return QFrame::eventFilter(watched, event);
}

void TFrameCartulo::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    imgFundo->setGeometry(rect());
}

TSpeedButton *TFrameCartulo::makeScreenButton(const char *name, const QString &word, int x,
                                              void (TFrameCartulo::*click)())
{
    auto *button = new TSpeedButton(QString::fromLatin1(name), QRect(x, 8, 65, 22), this);
    button->setGlyph(QPixmap::fromImage(cartulo::screenButtonPicture(word)));
    button->setAccessibleName(word);
    button->setToolTip(word);
    editing::guard(button, &QAbstractButton::clicked, this, click);
    return button;
}

TSpeedButton *TFrameCartulo::makeWindowButton(const char *name, const QString &accessibleName,
                                              const QString &bareText, int x, void (TFrameCartulo::*click)())
{
    auto *button = new TSpeedButton(QString::fromLatin1(name), QRect(x, 46, 25, 22), this);
    button->setText(bareText); // shown only while the button has no picture
    button->setAccessibleName(accessibleName);
    button->setToolTip(accessibleName);
    editing::guard(button, &QAbstractButton::clicked, this, click);
    return button;
}

QList<TSpeedButton *> TFrameCartulo::screenButtons() const
{
    return {spbCartulo, spdPesquisa, spbDocumentos, spbNatureza, spbListagens, spbSetup, spbAjuda};
}

void TFrameCartulo::setBackground(const QPixmap &picture)
{
    imgFundo->setPicture(picture);
}

void TFrameCartulo::setWindowButtonPictures(const QPixmap &minimise, const QPixmap &close)
{
    SpeedButton1->setGlyph(minimise, 2);
    spbFechar->setGlyph(close, 2);
}

QWidget *TFrameCartulo::mainWindow() const
{
    QWidget *panel = parentWidget();
    return panel ? panel->parentWidget() : nullptr;
}

void TFrameCartulo::ActivePanel(const QString &number)
{
    QWidget *owner = mainWindow();
    if (!owner)
        return;
    // Only the main window's own panels: the screens embedded in them have panels of
    // their own, and the documents area's Panel8 to Panel11 keep their inner view.
    const auto panels = owner->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    const auto named = [&panels](const QString &name) -> QWidget * {
        for (QWidget *panel : panels)
            if (panel->objectName().compare(name, Qt::CaseInsensitive) == 0)
                return panel;
        return nullptr;
    };
    for (int k = 1; k <= 7; ++k)
        if (QWidget *panel = named(u"Panel"_s + QString::number(k)))
            panel->hide();
    if (QWidget *panel = named(u"Panel"_s + number))
        panel->show();
}

void TFrameCartulo::spbCartuloClick() { ActivePanel(u"1"_s); }
void TFrameCartulo::spdPesquisaClick() { ActivePanel(u"2"_s); }
void TFrameCartulo::spbDocumentosClick() { ActivePanel(u"3"_s); }
void TFrameCartulo::spbNaturezaClick() { ActivePanel(u"4"_s); }
void TFrameCartulo::spbListagensClick() { ActivePanel(u"5"_s); }
void TFrameCartulo::spbSetupClick() { ActivePanel(u"6"_s); }
void TFrameCartulo::spbAjudaClick() { ActivePanel(u"7"_s); }

void TFrameCartulo::spbFecharClick()
{
    if (QWidget *window = this->window())
        window->close();
}

void TFrameCartulo::SpeedButton1Click()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        const Qt::WindowType type = window->windowType();
        if (window->isVisible() && (type == Qt::Window || type == Qt::Dialog))
            window->showMinimized();
    }
}
