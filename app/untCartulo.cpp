#include "app/untCartulo.h"

#include "app/PictureButton.h"
#include "app/PictureLibrary.h"
#include "app/RecognitionStatus.h"
#include "app/UntFrameCartulo.h"
#include "app/WindowDrag.h"
#include "app/WindowShape.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "documents/UntDoc.h"
#include "editing/AppIcon.h"
#include "editing/Edits.h"
#include "editing/FramePesquisa.h"
#include "editing/Guard.h"
#include "editing/Permissions.h"
#include "editing/Prompt.h"
#include "editing/UntFramePesq.h"
#include "editing/StatusBar.h"
#include "editing/painel.h"
#include "ocr/PageSupply.h"
#include "pages/PageStore.h"
#include "registers/UntFrameDoc.h"
#include "registers/UntFrameOrgao.h"
#include "registers/UntFrameProcesso.h"
#include "registers/UntFrameTpdoc.h"
#include "search/UntPesquisaAvancada.h"

#include <QAbstractButton>
#include <QAction>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QLoggingCategory>
#include <QResizeEvent>
#include <QScreen>
#include <QTableView>

using namespace Qt::StringLiterals;
namespace shape = cartulo::shape;

Q_LOGGING_CATEGORY(lcMainWindow, "cartulo.app")

namespace {

constexpr QPoint kDocumentsAreaPosition{36, 72};
constexpr QPoint kDocumentTypesPosition{35, 74};
constexpr QPoint kAgencyProfilePosition{35, 74};

void paintBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

TfrmCartulo::TfrmCartulo(const QString &programDir, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_programDir(programDir)
{
    setObjectName(u"frmCartulo"_s);
    setWindowTitle(u"Cartulo"_s);
    setWindowIcon(editing::applicationWindowIcon());
    paintBackground(this, shape::kFrameColour);
    ConnArq = new db::Connection(this);
    ConnArq->setObjectName(u"ConnArq"_s);

    m_previousHook = editing::setErrorHook([this](std::exception_ptr error) { AppEventArqException(error); });

    F2Geral = new QAction(u"F2Geral"_s, this);
    F2Geral->setObjectName(u"F2Geral"_s);
    F2Geral->setShortcut(Qt::Key_F2);
    F2Geral->setShortcutContext(Qt::WindowShortcut);
    addAction(F2Geral);
    editing::guard(F2Geral, &QAction::triggered, this, &TfrmCartulo::F2GeralExecute);

    // The window's free surface works as its caption.
    new cartulo::WindowDragHandle(this);

    buildScreens();
    applyShape();
}

TfrmCartulo::~TfrmCartulo()
{
    editing::setErrorHook(std::move(m_previousHook));
}

// ---- construction --------------------------------------------------------------------

QFrame *TfrmCartulo::makeScreenPanel(int number, const QString &screenName)
{
    auto *panel = new QFrame(this);
    panel->setObjectName(u"Panel"_s + QString::number(number));
    panel->setAccessibleName(screenName);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    panel->setGeometry(QRect(shape::kContentOrigin, shape::kClientSize));
    return panel;
}

TFrameCartulo *TfrmCartulo::makeBar(const QString &name, QFrame *panel)
{
    return new TFrameCartulo(name, panel);
}

QFrame *TfrmCartulo::makeContentArea(const QString &name, QWidget *parent, QPoint position,
                                     const QString &accessibleName)
{
    auto *area = new QFrame(parent);
    area->setObjectName(name);
    area->setAccessibleName(accessibleName);
    area->setGeometry(QRect(position, shape::kContentAreaSize));
    paintBackground(area, shape::kContentBackground);
    area->raise(); // over the bar's background
    return area;
}

void TfrmCartulo::placeScreen(QWidget *screen, QWidget *area)
{
    screen->setParent(area);
    screen->setGeometry(area->contentsRect());
    paintBackground(screen, shape::kContentBackground);
    screen->show();
}

void TfrmCartulo::buildScreens()
{
    Panel1 = makeScreenPanel(1, u"Cartulo"_s);
    Panel2 = makeScreenPanel(2, u"Pesquisa"_s);
    Panel3 = makeScreenPanel(3, u"Documentos"_s);
    Panel4 = makeScreenPanel(4, u"Natureza"_s);
    Panel5 = makeScreenPanel(5, u"Listagens"_s);
    Panel6 = makeScreenPanel(6, u"Setup"_s);
    Panel7 = makeScreenPanel(7, u"Ajuda"_s);

    FMain = makeBar(u"FMain"_s, Panel1);
    FPesq = makeBar(u"FPesq"_s, Panel2);
    FDoc = makeBar(u"FDoc"_s, Panel3);
    FNatu = makeBar(u"FNatu"_s, Panel4);
    FList = makeBar(u"FList"_s, Panel5);
    FSetup = makeBar(u"FSetup"_s, Panel6);
    FAbout = makeBar(u"FAbout"_s, Panel7);
    FSetup->spbSetup->move(519, 8);

    Panel9 = makeContentArea(u"Panel9"_s, Panel3, kDocumentsAreaPosition, u"Documentos"_s);
    const auto makeView = [this](const QString &name, const QString &accessibleName) {
        auto *view = new QFrame(Panel9);
        view->setObjectName(name);
        view->setAccessibleName(accessibleName);
        view->setGeometry(Panel9->rect());
        paintBackground(view, shape::kContentBackground);
        return view;
    };
    Panel8 = makeView(u"Panel8"_s, u"Processos"_s);
    Panel10 = makeView(u"Panel10"_s, u"Documento"_s);
    Panel11 = makeView(u"Panel11"_s, u"Processo"_s);

    PnlTpDoc = makeContentArea(u"PnlTpDoc"_s, Panel4, kDocumentTypesPosition, u"Tipos de documento"_s);
    PnlSetup = makeContentArea(u"PnlSetup"_s, Panel6, kAgencyProfilePosition, u"Dados do órgão"_s);
    PnlSetup->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PnlSetup->setLineWidth(1);

    embedSearchScreen();
    embedProcessBrowser();
    embedDocumentScreen();
    embedProcessScreen();
    embedDocumentTypeScreen();
    embedAgencyProfileScreen();

    // Until the first show only the home screen is up, and the documents area starts
    // on the browser.
    for (QFrame *panel : screenPanels())
        panel->setVisible(panel == Panel1);
    Panel10->hide();
    Panel11->hide();
}

QList<QFrame *> TfrmCartulo::screenPanels() const
{
    return {Panel1, Panel2, Panel3, Panel4, Panel5, Panel6, Panel7};
}

QList<TFrameCartulo *> TfrmCartulo::bars() const
{
    return {FMain, FPesq, FDoc, FNatu, FList, FSetup, FAbout};
}

QPolygon TfrmCartulo::outlinePolygon()
{
    return shape::outline();
}

void TfrmCartulo::applyShape()
{
    setFixedSize(shape::kWindowSize);
    const QRegion outline(outlinePolygon(), Qt::OddEvenFill);
    if (mask() != outline)
        setMask(outline);
}

void TfrmCartulo::centreOnScreen()
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TfrmCartulo::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyShape(); // the outline is the window's for its whole life
}

void TfrmCartulo::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    centreOnScreen();
    editing::runGuarded([this] { FormShow(); });
}

// ---- set-up and first show ---------------------------------------------------------------

void TfrmCartulo::FormCreate()
{
    applyShape();
    SetAllVars();
    // Screen: the process browser's list gets both scroll bars (wireProcessBrowser).
    wireProcessBrowser();
    wireSearchScreen();
}

void TfrmCartulo::SetAllVars()
{
    wireAgencyProfileScreen();
    wireDocumentTypeScreen();
    wireDocumentScreen();
    wireProcessScreen();
    applyPermissions();
}

void TfrmCartulo::applyPermissions()
{
    const editing::Permissions p = editing::Permissions::of(*ConnArq);
    editing::restrictPanel(*FrameProcesso1->PnlProcesso, p.includeProcesses, p.editProcesses, p.deleteProcesses,
                           u"processos"_s);
    editing::restrictPanel(*FrameDocumento1->PnlDocumento, p.includeDocuments, p.editDocuments,
                           p.deleteDocuments, u"documentos"_s);
    editing::restrictPanel(*FrameTpDoc1->PnlTpDoc, p.editTypes, p.editTypes, p.deleteTypes,
                           u"tipos de documento"_s);
    editing::restrictPanel(*FrameOrgao1->PnlOrg, p.editAgency, p.editAgency, true, u"o perfil do órgão"_s);
    if (!p.changePages)
        FrameDocumento1->forbidPageChanges(editing::refusalText(u"alterar as páginas"_s));
}

void TfrmCartulo::FormShow()
{
    openScreenQueries();
    FDoc->spbCartuloClick();
    dressBars(cartulo::pictureLibraryPath());
    showDocumentsView(Panel8);
    loadAgencyProfile();
    adviseOnSharedArchive();
    startRecognition();
}

// Pages without text are read in the background; the window only shows how many wait.
void TfrmCartulo::startRecognition()
{
    if (Reconhecimento || !ConnArq->isOpen())
        return;
    Reconhecimento = new RecognitionStatus(this);
    Reconhecimento->setGeometry(40, 566, 700, 22);
    Reconhecimento->raise();
    Reconhecimento->start(ocr::ArchiveSource::of(m_programDir, *ConnArq));
    // Pages stored here are read at once; those of other workstations at the next round.
    connect(FrameDocumento1, &TFrameDocumento::pagesToRead, Reconhecimento, &RecognitionStatus::wake);
}

// Said once, at the first show: the archive works on a share, but without the write-ahead
// log every reader holds writers back.
void TfrmCartulo::adviseOnSharedArchive()
{
    if (!ConnArq->isOpen() || ConnArq->fileSystem() != db::FileSystemKind::Network)
        return;
    editing::prompt().message(
        u"O arquivo de dados está em uma pasta de rede:\n%1\n\n"
        u"Ele foi aberto no modo próprio para pastas de rede, mais lento. Se várias estações de "
        u"trabalho usam este arquivo, um servidor de banco de dados as atende melhor."_s.arg(
            ConnArq->databasePath()));
}

void TfrmCartulo::dressBars(const QString &libraryPath)
{
    const QStringList backgrounds{u"CARTULO1"_s, u"JPEG1"_s, u"JPEG2"_s, u"JPEG3"_s,
                                  u"JPEG4"_s,    u"JPEG5"_s, u"CARTULO6"_s};
    const auto pictures = cartulo::readPictureLibrary(libraryPath, backgrounds + QStringList{u"BTN_MN"_s, u"BTN_CL"_s});
    if (!pictures) {
        qCInfo(lcMainWindow) << "no picture library at" << libraryPath << "- the bars stay bare";
        return;
    }
    const auto picture = [&pictures](const QString &name) { return QPixmap::fromImage(pictures->value(name)); };
    const QList<TFrameCartulo *> allBars = bars();
    for (qsizetype i = 0; i < allBars.size(); ++i) {
        allBars[i]->setWindowButtonPictures(picture(u"BTN_MN"_s), picture(u"BTN_CL"_s));
        allBars[i]->setBackground(picture(backgrounds[i]));
    }
}

// ---- documents area ----------------------------------------------------------------------

QWidget *TfrmCartulo::documentsView() const
{
    for (QWidget *view : {static_cast<QWidget *>(Panel8), static_cast<QWidget *>(Panel10),
                          static_cast<QWidget *>(Panel11)})
        if (view->isVisibleTo(Panel9))
            return view;
    return nullptr;
}

void TfrmCartulo::showDocumentsView(QWidget *view)
{
    for (QWidget *candidate : {static_cast<QWidget *>(Panel8), static_cast<QWidget *>(Panel10),
                               static_cast<QWidget *>(Panel11)})
        if (candidate != view)
            candidate->hide();
    view->show();
}

void TfrmCartulo::FrameDoc1BtnSelClick()
{
    FrameDocumento1->EdtProcesso->setText(FrameDoc1->selectedCode());
    FrameDocumento1->BtnProcessoClick(); // an unknown process is reported there
    showDocumentsView(Panel10);
    FrameDocumento1->PnlDocumentoBtnAntClick(FrameDocumento1->PnlDocumento->BtnAnt);
}

void TfrmCartulo::FrameDoc1BtnNovoClick()
{
    showDocumentsView(Panel11);
    FrameProcesso1->PnlProcessoBtnIncClick(FrameProcesso1->PnlProcesso->BtnInc);
}

void TfrmCartulo::FrameDoc1BtnPesqClick()
{
    showDocumentsView(Panel11);
    // Through the cancel path: browse mode on the screen's own current row.
    QAbstractButton *exitButton = FrameProcesso1->PnlProcesso->BtnSair;
    exitButton->setText(u"Cancelar"_s);
    PnlProcessoBtnSairClick(exitButton);
}

void TfrmCartulo::PnlDocumentoBtnSairClick(QAbstractButton *sender)
{
    if (sender && sender->text() == u"Cancelar") {
        FrameDocumento1->PnlDocumentoBtnSairClick(sender);
        return;
    }
    // "Sair": back to the browser, its list as it was.
    showDocumentsView(Panel8);
}

void TfrmCartulo::PnlDocumentoBtnIncClick(QAbstractButton *sender)
{
    FrameDocumento1->PnlDocumentoBtnIncClick(sender);
}

void TfrmCartulo::FrameDocumento1BtnProcessoClick()
{
    FrameDocumento1->BtnProcessoClick();
}

void TfrmCartulo::FrameDocumento1BtnDelArqClick()
{
    FrameDocumento1->BtnDelArqClick();
}

void TfrmCartulo::PnlProcessoBtnSairClick(QAbstractButton *sender)
{
    if (sender && sender->text() == u"Cancelar") {
        FrameProcesso1->PnlProcessoBtnSairClick(sender);
        return;
    }
    showDocumentsView(Panel8);
    FrameDoc1->SBtnPesqClick(); // the list shows inclusions and deletions, filtered again
}

void TfrmCartulo::PnlProcessoBtnIncClick(QAbstractButton *sender)
{
    FrameProcesso1->PnlProcessoBtnIncClick(sender);
}

void TfrmCartulo::PnlProcessoBtnConfClick(QAbstractButton *sender)
{
    FrameProcesso1->PnlProcessoBtnConfClick(sender);
}

void TfrmCartulo::PnlProcessoBtnDelClick(QAbstractButton *sender)
{
    FrameProcesso1->PnlProcessoBtnDelClick(sender);
}

void TfrmCartulo::PnlProcessoBtnProxClick(QAbstractButton *sender)
{
    FrameProcesso1->PnlProcessoBtnAntClick(sender);
}

void TfrmCartulo::PnlTpDocBtnSairClick(QAbstractButton *sender)
{
    FrameTpDoc1->PnlTpDocBtnSairClick(sender);
    if (sender)
        sender->setText(u"Cancelar"_s); // it never reads "Sair"
}

void TfrmCartulo::PnlOrgBtnAltClick(QAbstractButton *sender)
{
    FrameOrgao1->Frame11BtnAltClick(sender);
}

// ---- F2 and the error hook ---------------------------------------------------------------

void TfrmCartulo::setLookupDialog(TFrmFramePesq *dialog)
{
    m_lookupDialog = dialog;
}

TFrmFramePesq *TfrmCartulo::lookupDialog()
{
    if (!m_lookupDialog)
        m_lookupDialog = new TFrmFramePesq(ConnArq, this);
    return m_lookupDialog;
}

void TfrmCartulo::F2GeralExecute()
{
    // Two fields bear the name: the document screen's type and the advanced search's.
    auto *field = qobject_cast<QLineEdit *>(focusWidget());
    if (!field || field->objectName() != u"EdtTpDoc")
        return;
    TFrmFramePesq *dialog = lookupDialog();
    dialog->FPesq->ColTitles = QStringList{u"Código"_s, u"Descrição"_s};
    dialog->FPesq->Prepare(u"select cod,descricao from tipo_arq"_s);
    if (dialog->exec() == TFrmFramePesq::mrOk)
        field->setText(dialog->FPesq->ChosenValue);
}

void TfrmCartulo::AppEventArqException(std::exception_ptr error)
{
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const db::DbError &refused) {
        // Rights taken away while the program runs: the one error the user must hear of.
        if (refused.kind() == db::ErrorKind::NoPrivilege)
            editing::prompt().message(refused.message() + u"\n\nNada foi alterado."_s);
    } catch (const pages::PageError &refused) {
        if (refused.kind() == pages::PageError::Kind::NoPrivilege)
            editing::prompt().message(refused.message() + u"\n\nNada foi alterado."_s);
    } catch (const MaskedEntryError &masked) {
        if (TMaskEdit *entry = masked.entry()) {
            // Nothing is shown; a screen reader still learns why the focus stays.
            entry->setAccessibleDescription(MaskedEntryError::messageText());
            connect(entry, &QLineEdit::textEdited, entry, [entry] { entry->setAccessibleDescription({}); },
                    Qt::SingleShotConnection);
        }
    } catch (...) {
    }
    editing::quietErrorHandling(error);
}

// ---- screens -----------------------------------------------------------------------------
// Screen: each method below embeds or wires one screen; they are filled in as the screens
// arrive. Embedding places the screen with placeScreen() (or at searchScreenPosition() in
// Panel2 for the advanced search); wiring gives the command panel its settings, connects
// the routed buttons through editing::guard and opens the screen's query on ConnArq.

void TfrmCartulo::embedSearchScreen()
{
    FramePesquisaAvancada1 = new TFramePesquisaAvancada(Panel2);
    FramePesquisaAvancada1->setObjectName(u"FramePesquisaAvancada1"_s);
    FramePesquisaAvancada1->move(searchScreenPosition());
    FramePesquisaAvancada1->raise(); // over the bar's background
    FramePesquisaAvancada1->setProgramDir(m_programDir);
}
void TfrmCartulo::embedProcessBrowser()
{
    FrameDoc1 = new TFrameDoc(Panel8);
    placeScreen(FrameDoc1, Panel8);
    editing::guard(FrameDoc1->BtnSel, &QAbstractButton::clicked, this, [this] { FrameDoc1BtnSelClick(); });
    editing::guard(FrameDoc1->GrdProcesso, &QAbstractItemView::doubleClicked, this,
                   [this] { FrameDoc1BtnSelClick(); });
    editing::guard(FrameDoc1->BtnNovo, &QAbstractButton::clicked, this, [this] { FrameDoc1BtnNovoClick(); });
    editing::guard(FrameDoc1->BtnPesq, &QAbstractButton::clicked, this, [this] { FrameDoc1BtnPesqClick(); });
}
void TfrmCartulo::embedDocumentScreen()
{
    FrameDocumento1 = new TFrameDocumento(Panel10);
    FrameDocumento1->setProgramDir(m_programDir);
    placeScreen(FrameDocumento1, Panel10);
}
void TfrmCartulo::embedProcessScreen()
{
    FrameProcesso1 = new TFrameProcesso(Panel11);
    placeScreen(FrameProcesso1, Panel11);
    // The database takes the documents with the process; their pages go aside with them.
    FrameProcesso1->setPagesAside(
        [this](const QString &process) { return FrameDocumento1->moveProcessPagesAside(process); });
}
void TfrmCartulo::embedDocumentTypeScreen()
{
    FrameTpDoc1 = new TFrameTpDoc(PnlTpDoc);
    placeScreen(FrameTpDoc1, PnlTpDoc);
}
void TfrmCartulo::embedAgencyProfileScreen()
{
    FrameOrgao1 = new TFrameOrgao(PnlSetup);
    FrameOrgao1->setProgramDir(m_programDir);
    placeScreen(FrameOrgao1, PnlSetup);
}
void TfrmCartulo::wireAgencyProfileScreen()
{
    TFrameOrgao *screen = FrameOrgao1;
    TFrame1 *panel = screen->PnlOrg;
    panel->EditOwner = screen;
    panel->HintBar = screen->StatusBar1;
    panel->TableName = u"orgao"_s;
    panel->IncAgain = false;
    panel->setEditCtrls({screen->EdtNome, screen->EdtTel1, screen->EdtTel2, screen->EdtCnpj, screen->EdtEndereco,
                         screen->EdtBairro, screen->EdtCid, screen->EdtResp1, screen->EdtCargo1, screen->EdtResp2,
                         screen->EdtCargo2, screen->EdtMail, screen->EdtUrl});
    panel->ConnArq = ConnArq;
    panel->QryPainel = screen->QryOrg;
    panel->Re_query();
    panel->setClickHandler(panel->BtnAlt, [this](QAbstractButton *b) { PnlOrgBtnAltClick(b); });
}
void TfrmCartulo::wireDocumentTypeScreen()
{
    TFrameTpDoc *screen = FrameTpDoc1;
    screen->Bindings = {{u"EdtCod"_s, u"cod"_s, {}}, {u"EdtDesc"_s, u"descricao"_s, {}}};
    screen->FrmFramePesq = lookupDialog();
    TFrame1 *panel = screen->PnlTpDoc;
    panel->EditOwner = this; // owns no edit: the edit operation acts on EditCtrls alone
    panel->HintBar = screen->StatusBar1;
    panel->KeyEdit = screen->EdtCod;
    panel->TableName = u"tipo_arq"_s;
    panel->IncAgain = true;
    panel->setEditCtrls({screen->EdtDesc});
    panel->ConnArq = ConnArq;
    panel->QryPainel = screen->QryTpDoc;
    panel->Re_query();
    panel->setClickHandler(panel->BtnSair, [this](QAbstractButton *b) { PnlTpDocBtnSairClick(b); });
    screen->PnlTpDocBtnAntClick(panel->BtnAnt); // the first type, fields locked
}
void TfrmCartulo::wireDocumentScreen()
{
    TFrameDocumento *screen = FrameDocumento1;
    screen->Bindings = {
        {u"EdtProcesso"_s, u"processo"_s, {}},     {u"EdtCod"_s, u"cod"_s, {}},
        {u"EdtDesc"_s, u"descricao"_s, {}},        {u"EdtTpDoc"_s, u"tp_doc"_s, {}},
        {u"MMEmenta"_s, u"ementa"_s, {}},          {u"MMPC"_s, u"palavras_chave"_s, {}},
        {u"EdtDtaDoc"_s, u"data"_s, {}},           {u"EdtDtaAquivamento"_s, u"data_arquivamento"_s, {}},
        {u"EdtNLaudas"_s, u"n_laudas"_s, {}},      {u"EdtLocalidade"_s, u"localidade"_s, {}},
        {u"EdtPrateleira"_s, u"parteleira"_s, {}}, {u"EdtGaveta"_s, u"gaveta"_s, {}},
        {u"EdtPasta"_s, u"pasta"_s, {}},
    };
    TFrame1 *panel = screen->PnlDocumento;
    panel->EditOwner = this; // owns no edit: the edit operation acts on EditCtrls alone
    panel->HintBar = screen->StatusBar1;
    panel->KeyEdit = screen->EdtCod;
    panel->TableName = u"documento"_s;
    panel->IncAgain = false;
    panel->setEditCtrls({screen->EdtDesc, screen->EdtTpDoc, screen->MMEmenta, screen->MMPC, screen->EdtDtaDoc,
                         screen->EdtDtaAquivamento, screen->EdtNLaudas, screen->EdtLocalidade,
                         screen->EdtPrateleira, screen->EdtGaveta, screen->EdtPasta});
    panel->ConnArq = ConnArq;
    panel->QryPainel = screen->QryDoc;
    screen->QryDoc->setConnection(ConnArq);
    screen->QryDoc->open();

    // Routed through the window's own handlers.
    panel->setClickHandler(panel->BtnInc, [this](QAbstractButton *b) { PnlDocumentoBtnIncClick(b); });
    panel->setClickHandler(panel->BtnSair, [this](QAbstractButton *b) { PnlDocumentoBtnSairClick(b); });
    screen->BtnProcesso->disconnect(screen);
    editing::guard(screen->BtnProcesso, &QAbstractButton::clicked, this, [this] { FrameDocumento1BtnProcessoClick(); });
    screen->BtnDelArq->disconnect(screen);
    editing::guard(screen->BtnDelArq, &QAbstractButton::clicked, this, [this] { FrameDocumento1BtnDelArqClick(); });
}
void TfrmCartulo::wireProcessScreen()
{
    TFrameProcesso *screen = FrameProcesso1;
    screen->Bindings = {{u"EdtDesc"_s, u"descricao"_s, {}},
                        {u"EdtNum"_s, u"numero"_s, {}},
                        {u"EdtDta"_s, u"data"_s, {}},
                        {u"EdtNumOfDoc"_s, u"num_doc"_s, {}}};
    TFrame1 *panel = screen->PnlProcesso;
    panel->EditOwner = screen;
    panel->HintBar = screen->StatusBar1;
    panel->KeyEdit = screen->EdtCod;
    panel->TableName = u"processo"_s;
    panel->IncAgain = false;
    panel->setEditCtrls({screen->EdtDesc, screen->EdtNum, screen->EdtDta, screen->EdtNumOfDoc});
    panel->ConnArq = ConnArq;
    panel->QryPainel = screen->QryProcesso;
    screen->QryProcesso->setConnection(ConnArq);
    screen->QryProcesso->open();

    // Routed through the window's own handlers; edit and prior stay the screen's.
    panel->setClickHandler(panel->BtnInc, [this](QAbstractButton *b) { PnlProcessoBtnIncClick(b); });
    panel->setClickHandler(panel->BtnConf, [this](QAbstractButton *b) { PnlProcessoBtnConfClick(b); });
    panel->setClickHandler(panel->BtnDel, [this](QAbstractButton *b) { PnlProcessoBtnDelClick(b); });
    panel->setClickHandler(panel->BtnProx, [this](QAbstractButton *b) { PnlProcessoBtnProxClick(b); });
    panel->setClickHandler(panel->BtnSair, [this](QAbstractButton *b) { PnlProcessoBtnSairClick(b); });
}
void TfrmCartulo::wireProcessBrowser()
{
    FrameDoc1->GrdProcesso->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FrameDoc1->GrdProcesso->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FrameDoc1->QryProcesso->setConnection(ConnArq);
}
void TfrmCartulo::wireSearchScreen()
{
    TFramePesquisaAvancada *screen = FramePesquisaAvancada1;
    screen->setConnection(ConnArq);
    screen->setPrintForm(&FrameDocumento1->printForm()); // one print form for both previews
    // Routed through the window's own handlers.
    screen->releaseRoutedEvents();
    editing::guard(screen->EdtTpDoc, &QLineEdit::textChanged, this,
                   [this] { FramePesquisaAvancada1EdtTpDocChange(); });
    editing::guard(screen->BtnProx, &QAbstractButton::clicked, this,
                   [this] { FramePesquisaAvancada1BtnProxClick(); });
}
void TfrmCartulo::FramePesquisaAvancada1EdtTpDocChange()
{
    FramePesquisaAvancada1->EdtTpDocChange();
}
void TfrmCartulo::FramePesquisaAvancada1BtnProxClick()
{
    FramePesquisaAvancada1->BtnProxClick();
}
void TfrmCartulo::openScreenQueries()
{
    // Each has no effect when already open.
    FrameTpDoc1->QryTpDoc->open();
    FrameDoc1->QryProcesso->open();
    FrameDocumento1->QryDoc->open();
}
void TfrmCartulo::loadAgencyProfile()
{
    FrameOrgao1->LoadOrgData();
}
