#pragma once
#include <QList>
#include <QPointer>
#include <QPolygon>
#include <QString>
#include <QWidget>
#include <exception>
#include <functional>

class QAbstractButton;
class QAction;
class QFrame;
class RecognitionStatus;
class TFrameCartulo;
class TFrameDoc;
class TFrameDocumento;
class TFrameOrgao;
class TFramePesquisaAvancada;
class TFrameProcesso;
class TFrameTpDoc;
class TFrmFramePesq;

namespace db {
class Connection;
}

/// The program's only main window (frmCartulo): a frameless window clipped to the
/// archive's outline, holding the seven screens on the stacked panels Panel1 to Panel7,
/// each topped by a navigation bar. It owns the connection ConnArq, wires the register
/// screens before first use, routes the three views of the documents area, and owns
/// the F2 type lookup and the error hook.
///
/// Screens plug in at the places marked "Screen:" in untCartulo.cpp: each screen is
/// embedded by its embed...() method (run by the constructor) into its content area,
/// wired by its wire...() method (run by SetAllVars), and the routing handlers below
/// call its handlers by their names.
class TfrmCartulo : public QWidget {
    Q_OBJECT
public:
    /// programDir: the folder of the program file, from which the description file, the
    /// database, the page folder and the logo are located (tests pass a temporary one).
    explicit TfrmCartulo(const QString &programDir, QWidget *parent = nullptr);
    ~TfrmCartulo() override;

    QString programDir() const { return m_programDir; }

    /// The one database connection, owned by the window, opened by the start-up.
    db::Connection *ConnArq = nullptr;

    /// F2, anywhere in the window: the document type lookup (F2GeralExecute).
    QAction *F2Geral = nullptr;

    // The seven screens, each filling the client area, exactly one visible.
    QFrame *Panel1 = nullptr; ///< home
    QFrame *Panel2 = nullptr; ///< advanced search
    QFrame *Panel3 = nullptr; ///< documents area
    QFrame *Panel4 = nullptr; ///< document types
    QFrame *Panel5 = nullptr; ///< listings
    QFrame *Panel6 = nullptr; ///< agency profile
    QFrame *Panel7 = nullptr; ///< help

    // Their navigation bars.
    TFrameCartulo *FMain = nullptr;
    TFrameCartulo *FPesq = nullptr;
    TFrameCartulo *FDoc = nullptr;
    TFrameCartulo *FNatu = nullptr;
    TFrameCartulo *FList = nullptr;
    TFrameCartulo *FSetup = nullptr;
    TFrameCartulo *FAbout = nullptr;

    // Content areas (695 x 475, light blue) over the bars' backgrounds.
    QFrame *Panel9 = nullptr;   ///< documents area, in Panel3 at (36,72)
    QFrame *Panel8 = nullptr;   ///< process browser view, fills Panel9
    QFrame *Panel10 = nullptr;  ///< document screen view, fills Panel9
    QFrame *Panel11 = nullptr;  ///< process screen view, fills Panel9
    QFrame *PnlTpDoc = nullptr; ///< document types, in Panel4 at (35,74)
    QFrame *PnlSetup = nullptr; ///< agency profile, in Panel6 at (35,74), lowered bevel

    // Screen: members of the embedded screens go here (FramePesquisaAvancada1,
    // FrameDoc1, FrameDocumento1, FrameProcesso1, FrameTpDoc1, FrameOrgao1).
    TFramePesquisaAvancada *FramePesquisaAvancada1 = nullptr; ///< advanced search, in Panel2
    TFrameDocumento *FrameDocumento1 = nullptr; ///< document screen, in Panel10
    TFrameDoc *FrameDoc1 = nullptr;             ///< process browser, in Panel8
    TFrameProcesso *FrameProcesso1 = nullptr;   ///< process screen, in Panel11
    TFrameTpDoc *FrameTpDoc1 = nullptr;         ///< document types, in PnlTpDoc
    TFrameOrgao *FrameOrgao1 = nullptr;         ///< agency profile, in PnlSetup

    /// Panel1 to Panel7, and their bars, in screen order.
    QList<QFrame *> screenPanels() const;
    QList<TFrameCartulo *> bars() const;

    /// The outline the window is clipped to, in window coordinates.
    static QPolygon outlinePolygon();
    /// Where the advanced search screen sits in Panel2.
    static QPoint searchScreenPosition() { return {35, 72}; }

    /// Embeds a screen so that it fills a content area (or a view of the documents
    /// area), on the content background.
    static void placeScreen(QWidget *screen, QWidget *area);

    /// The lookup dialog, created once at start-up and reused. When the start-up did not
    /// hand one over, the first lookup creates it on ConnArq.
    void setLookupDialog(TFrmFramePesq *dialog);
    TFrmFramePesq *lookupDialog();

    /// Pages waiting for text recognition, and its pause button (bottom of the window).
    RecognitionStatus *Reconhecimento = nullptr;

    /// The documents area's view that is shown: Panel8, Panel10 or Panel11.
    QWidget *documentsView() const;

    /// Set-up, run once after ConnArq is open: shape, screen wiring.
    void FormCreate();
    /// Wires the register screens: agency profile, document types, documents, processes.
    void SetAllVars();
    /// First show: screen queries, home screen, pictures, documents area on the browser,
    /// agency profile.
    void FormShow();

    // Documents area routing (process browser, document screen, process screen).
    void FrameDoc1BtnSelClick();
    void FrameDoc1BtnNovoClick();
    void FrameDoc1BtnPesqClick();
    void PnlDocumentoBtnSairClick(QAbstractButton *sender);
    // The document screen's buttons routed through the window, passed on unchanged.
    void PnlDocumentoBtnIncClick(QAbstractButton *sender);
    void FrameDocumento1BtnProcessoClick();
    void FrameDocumento1BtnDelArqClick();
    void PnlProcessoBtnSairClick(QAbstractButton *sender);
    // The process screen's buttons routed through the window, passed on unchanged.
    void PnlProcessoBtnIncClick(QAbstractButton *sender);
    void PnlProcessoBtnConfClick(QAbstractButton *sender);
    void PnlProcessoBtnDelClick(QAbstractButton *sender);
    void PnlProcessoBtnProxClick(QAbstractButton *sender);
    void PnlTpDocBtnSairClick(QAbstractButton *sender);
    /// The agency profile's edit button, passed on unchanged.
    void PnlOrgBtnAltClick(QAbstractButton *sender);
    // The advanced search's type field change and "Proxima", passed on unchanged.
    void FramePesquisaAvancada1EdtTpDocChange();
    void FramePesquisaAvancada1BtnProxClick();

    /// F2: in a field named "EdtTpDoc", the document type lookup; elsewhere nothing.
    void F2GeralExecute();

    /// The error hook (installed for the window's life): shows nothing, one line per
    /// error on the standard error stream; a masked entry left half filled keeps the
    /// focus with its whole text selected, and its accessible description carries the
    /// prepared text until it is typed in again.
    void AppEventArqException(std::exception_ptr error);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QFrame *makeScreenPanel(int number, const QString &screenName);
    TFrameCartulo *makeBar(const QString &name, QFrame *panel);
    QFrame *makeContentArea(const QString &name, QWidget *parent, QPoint position, const QString &accessibleName);
    void buildScreens();
    void applyShape();
    void centreOnScreen();
    void dressBars(const QString &libraryPath);
    /// Shows one view of the documents area and hides the two others.
    void showDocumentsView(QWidget *view);

    // Screen: one method each, filled in as the screens arrive.
    void embedSearchScreen();
    void embedProcessBrowser();
    void embedDocumentScreen();
    void embedProcessScreen();
    void embedDocumentTypeScreen();
    void embedAgencyProfileScreen();
    void wireAgencyProfileScreen();
    /// Locks what the connected user may not change, each control saying why.
    void applyPermissions();
    void wireDocumentTypeScreen();
    void wireDocumentScreen();
    void wireProcessScreen();
    void wireProcessBrowser();
    void wireSearchScreen();
    void openScreenQueries();
    void loadAgencyProfile();
    void adviseOnSharedArchive();
    void startRecognition();

    QString m_programDir;
    QPointer<TFrmFramePesq> m_lookupDialog;
    bool m_shown = false;
    std::function<void(std::exception_ptr)> m_previousHook;
};
