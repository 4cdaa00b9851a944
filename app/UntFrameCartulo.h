#pragma once
#include <QFrame>
#include <QList>
#include <QPixmap>

class TSpeedButton;

/// Image control: shows its picture from the top-left corner, scaled down with its
/// proportions kept when it is larger than the control, never enlarged.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget *parent = nullptr);

    void setPicture(const QPixmap &picture);
    QPixmap picture() const { return m_picture; }
    /// Where the picture lands inside the control (empty without a picture).
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
};

/// Navigation bar that tops each of the main window's seven screens: the screen's
/// background picture (which is also the window's drag handle), the seven screen
/// buttons and the window's minimise and close buttons. It sits on a screen panel,
/// which sits on the main window, and keeps no state.
class TFrameCartulo : public QFrame {
    Q_OBJECT
public:
    /// Fills the panel, one pixel inside its edge.
    TFrameCartulo(const QString &objectName, QWidget *panel);

    TImage *imgFundo = nullptr;
    TSpeedButton *spbCartulo = nullptr;
    TSpeedButton *spdPesquisa = nullptr;
    TSpeedButton *spbDocumentos = nullptr;
    TSpeedButton *spbNatureza = nullptr;
    TSpeedButton *spbListagens = nullptr;
    TSpeedButton *spbSetup = nullptr;
    TSpeedButton *spbAjuda = nullptr;
    TSpeedButton *SpeedButton1 = nullptr; ///< minimise
    TSpeedButton *spbFechar = nullptr;    ///< close

    /// The seven screen buttons, screen 1 first.
    QList<TSpeedButton *> screenButtons() const;

    /// Background and window-button pictures from the picture library. The window
    /// buttons' pictures hold two images side by side: normal, disabled.
    void setBackground(const QPixmap &picture);
    void setWindowButtonPictures(const QPixmap &minimise, const QPixmap &close);

    /// Makes the main window's panel "Panel" + number the one visible screen; the
    /// panels are found by name, without regard to case, on the bar's panel's parent.
    void ActivePanel(const QString &number);

    void spbCartuloClick();
    void spdPesquisaClick();
    void spbDocumentosClick();
    void spbNaturezaClick();
    void spbListagensClick();
    void spbSetupClick();
    void spbAjudaClick();
    /// Closes the main window, which ends the program.
    void spbFecharClick();
    /// Minimises the whole application, all its windows together.
    void SpeedButton1Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    TSpeedButton *makeScreenButton(const char *name, const QString &word, int x, void (TFrameCartulo::*click)());
    TSpeedButton *makeWindowButton(const char *name, const QString &accessibleName, const QString &bareText, int x,
                                   void (TFrameCartulo::*click)());
    QWidget *mainWindow() const;
};
