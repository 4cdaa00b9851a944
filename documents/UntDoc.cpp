#include "documents/UntDoc.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/HistoryRead.h"
#include "db/Query.h"
#include "documents/DocumentExport.h"
#include "documents/DocumentPrint.h"
#include "documents/FeederScan.h"
#include "documents/ImagePreview.h"
#include "documents/PageImport.h"
#include "documents/PageOrder.h"
#include "documents/ScanImg.h"
#include "documents/UntPrevImg.h"
#include "editing/DescriptionLabel.h"
#include "editing/Guard.h"
#include "editing/HistoryDialog.h"
#include "editing/NumericKeys.h"
#include "editing/Prompt.h"
#include "editing/RegisterLayout.h"
#include "editing/RowTexts.h"
#include "editing/StatusBar.h"
#include "editing/painel.h"
#include "pages/PageChange.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <algorithm>
#include <stdexcept>

using namespace Qt::StringLiterals;
using pages::DocumentKey;
using pages::MovedPages;
using pages::PageError;
using pages::PageStore;

namespace {

Q_LOGGING_CATEGORY(lcDocuments, "cartulo.documents")

const QString kConfirmar = u"Confirmar"_s;
const QString kCancelar = u"Cancelar"_s;
const QString kSelectColumns =
    u"Select cod,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta"_s;
const QString kFromDocumento = u"From documento"_s;
constexpr int kShownColumns = 12;

const QColor kLightBlue{117, 197, 240};

// A page written or turned has no text yet; one put back may have lost it meanwhile.
bool bringsPagesToRead(const pages::PageChange &change)
{
    using Kind = pages::PageChange::Kind;
    return change.kind == Kind::Stored || change.kind == Kind::Turned || change.kind == Kind::PutBack;
}

// Only keys that type a character (or backspace) are judged; Tab, arrows and shortcuts
// pass, as they never reached the old key filter.
bool typesACharacter(const QString &eventText)
{
    return !eventText.isEmpty() && (eventText.at(0) == QChar(8) || eventText.at(0).isPrint());
}

QLabel *captionAbove(const QString &name, const QString &caption, QWidget *field, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->adjustSize();
    label->move(field->x(), field->y() - label->height() - 3);
    label->setBuddy(field);
    return label;
}

// A flatbed scanner with its lid up, drawn rather than shipped as a file.
QIcon scannerIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x1f, 0x3a, 0x5f), 1));
    painter.setBrush(QColor(0xd8, 0xdc, 0xe0));
    painter.drawRect(QRectF(1.5, 8.5, 13, 5));                           // body
    painter.drawPolygon(QPolygonF({{2, 8}, {4, 2}, {15, 2}, {14, 8}}));   // lid
    painter.setPen(QPen(QColor(0x2e, 0x9b, 0xe6), 1.5));
    painter.drawLine(QPointF(3, 11), QPointF(13, 11));                    // the light
    return QIcon(pixmap);
}

// Ties an action to the button that shows it: clicking runs the action, and the action
// (with its shortcut) is available exactly while the button is enabled.
class ButtonAction final : public QObject {
public:
    ButtonAction(QAbstractButton *button, QAction *action) : QObject(button), m_action(action)
    {
        action->setEnabled(button->isEnabled());
        button->installEventFilter(this);
        QObject::connect(button, &QAbstractButton::clicked, action, [action] { action->trigger(); });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            m_action->setEnabled(static_cast<QWidget *>(watched)->isEnabled());
        return false;
    }

private:
    QAction *m_action;
};

} // namespace

TFrameDocumento::TFrameDocumento(QWidget *parent)
    : TScreen(parent), m_programDir(QCoreApplication::applicationDirPath())
{
    setObjectName(u"FrameDocumento1"_s);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kLightBlue);
    setPalette(palette);

    QryDoc = editing::screenQuery(this, u"QryDoc"_s, {kSelectColumns, kFromDocumento});

    auto *fields = new QWidget(this);
    fields->setObjectName(u"PnlCampos"_s);
    buildFields(fields);
    buildPageArea(fields);

    PnlDocumento = new TFrame1(this);
    PnlDocumento->setObjectName(u"PnlDocumento"_s);
    PnlDocumento->BtnAlt->show(); // documents are edited in place

    StatusBar1 = new TStatusBar(this, 3, 200);
    StatusBar1->setObjectName(u"StatusBar1"_s);

    editing::arrangeScreen(this, fields, PnlDocumento, StatusBar1);

    ex = new documents::TScanImage(this);
    ex->setObjectName(u"ex"_s);
    ex->setScanedImage(ImgPrev);

    bindPanel();
    bindHandlers();
    lib::EnableEdits(this, false); // browsing until the panel says otherwise
    setPageCommandsEnabled(false);
}

TFrameDocumento::~TFrameDocumento()
{
    // The page list empties itself while it is destroyed: the screen, gone by then, must
    // not hear of it.
    LBoxLaudas->model()->disconnect(this);
}

void TFrameDocumento::buildFields(QWidget *fields)
{
    EdtProcesso = new TLabeledEdit(u"EdtProcesso"_s, u"Processo"_s, fields);
    EdtProcesso->setGeometry(8, 20, 57, 21);
    EdtProcesso->setMaxLength(5);
    EdtProcesso->setReadOnly(true);
    LblProcesso = new editing::DescriptionLabel(u"LblProcesso"_s, u"Descrição do processo"_s, fields);
    LblProcesso->setGeometry(70, 20, 470, 21);
    BtnProcesso = new QPushButton(u"..."_s, fields);
    BtnProcesso->setObjectName(u"BtnProcesso"_s);
    BtnProcesso->setGeometry(545, 20, 25, 21);
    BtnProcesso->setEnabled(false); // processes are opened from the browser only
    BtnProcesso->setAccessibleName(u"Escolher processo"_s);

    EdtCod = new TLabeledEdit(u"EdtCod"_s, u"Código"_s, fields);
    EdtCod->setGeometry(8, 60, 57, 21);
    EdtCod->setMaxLength(5);
    EdtCod->setCharCase(CharCase::Upper);
    EdtCod->setReadOnly(true); // the program assigns codes
    EdtCod->setFocusPolicy(Qt::ClickFocus);

    EdtDesc = new TLabeledEdit(u"EdtDesc"_s, u"Descrição"_s, fields);
    EdtDesc->setGeometry(70, 60, 330, 21);
    EdtDesc->setMaxLength(50);
    EdtDesc->setCharCase(CharCase::Upper);

    EdtTpDoc = new TLabeledEdit(u"EdtTpDoc"_s, u"Tipo"_s, fields);
    EdtTpDoc->setGeometry(405, 60, 50, 21);
    EdtTpDoc->setMaxLength(5);
    EdtTpDoc->setCharCase(CharCase::Upper);
    LblTpDoc = new editing::DescriptionLabel(u"LblTpDoc"_s, u"Descrição do tipo"_s, fields);
    LblTpDoc->setGeometry(460, 60, 125, 21);

    MMEmenta = new TMemo(u"MMEmenta"_s, fields);
    MMEmenta->setGeometry(8, 100, 285, 50);
    LblEmenta = captionAbove(u"LblEmenta"_s, u"Ementa"_s, MMEmenta, fields);
    MMPC = new TMemo(u"MMPC"_s, fields);
    MMPC->setGeometry(298, 100, 287, 50);
    LblPC = captionAbove(u"LblPC"_s, u"Palavras Chaves"_s, MMPC, fields);
    for (TMemo *memo : {MMEmenta, MMPC})
        memo->setTabChangesFocus(true);

    EdtDtaDoc = new TMaskEdit(u"EdtDtaDoc"_s, fields);
    EdtDtaDoc->setGeometry(8, 170, 62, 21);
    LblDtaDoc = captionAbove(u"LblDtaDoc"_s, u"Emissao"_s, EdtDtaDoc, fields);
    EdtDtaAquivamento = new TMaskEdit(u"EdtDtaAquivamento"_s, fields);
    EdtDtaAquivamento->setGeometry(80, 170, 62, 21);
    LblDtaAquivamento = captionAbove(u"LblDtaAquivamento"_s, u"Arquivamento"_s, EdtDtaAquivamento, fields);

    EdtNLaudas = new TLabeledEdit(u"EdtNLaudas"_s, u"Laudas"_s, fields);
    EdtNLaudas->setGeometry(171, 170, 42, 21);
    EdtNLaudas->setValidator(new editing::NumericTextValidator(EdtNLaudas));

    struct Place {
        TLabeledEdit *&edit;
        const char16_t *name;
        const char16_t *caption;
        int x, width, maxLength;
    };
    const Place places[] = {
        {EdtLocalidade, u"EdtLocalidade", u"Localidade", 217, 140, 20},
        {EdtPrateleira, u"EdtPrateleira", u"Prateleira", 363, 62, 5},
        {EdtGaveta, u"EdtGaveta", u"Gaveta", 431, 55, 5},
        {EdtPasta, u"EdtPasta", u"Pasta", 492, 55, 5},
    };
    for (const Place &place : places) {
        place.edit = new TLabeledEdit(QString::fromUtf16(place.name), QString::fromUtf16(place.caption), fields);
        place.edit->setGeometry(place.x, 170, place.width, 21);
        place.edit->setMaxLength(place.maxLength);
        place.edit->setCharCase(CharCase::Upper);
    }

    for (QLineEdit *number : {static_cast<QLineEdit *>(EdtTpDoc), static_cast<QLineEdit *>(EdtNLaudas)})
        number->installEventFilter(this);
}

void TFrameDocumento::buildPageArea(QWidget *fields)
{
    PnlLaudas = new QFrame(fields);
    PnlLaudas->setObjectName(u"PnlLaudas"_s);
    PnlLaudas->setFrameShape(QFrame::Panel);
    PnlLaudas->setFrameShadow(QFrame::Sunken);
    PnlLaudas->setGeometry(4, 196, 583, 258);

    BtnScan = new QPushButton(u"Adquirir"_s, PnlLaudas);
    BtnScan->setObjectName(u"BtnScan"_s);
    BtnScan->setIcon(scannerIcon());
    BtnScan->setGeometry(6, 6, 117, 25);
    BtnAddArq = new QPushButton(u"&Adicionar >>"_s, PnlLaudas);
    BtnAddArq->setObjectName(u"BtnAddArq"_s);
    BtnAddArq->setGeometry(6, 34, 117, 25);
    BtnDelArq = new QPushButton(u"<< Remover"_s, PnlLaudas);
    BtnDelArq->setObjectName(u"BtnDelArq"_s);
    BtnDelArq->setGeometry(6, 62, 117, 25);

    LBoxLaudas = new QListWidget(PnlLaudas);
    LBoxLaudas->setObjectName(u"LBoxLaudas"_s);
    LBoxLaudas->setGeometry(129, 3, 234, 250);
    LBoxLaudas->setAccessibleName(u"Páginas do documento"_s);
    // Every entry is a file name of the same shape: measuring one row instead of all 999
    // keeps LoadLaudas of a long document within a few milliseconds.
    LBoxLaudas->setUniformItemSizes(true);

    ImgPrev = new documents::ImagePreview(PnlLaudas);
    ImgPrev->setObjectName(u"ImgPrev"_s);
    ImgPrev->setGeometry(369, 3, 209, 250);
    ImgPrev->setAccessibleName(u"Pré-visualização da página"_s);
    ImgPrev->setToolTip(u"Clique para imprimir a página"_s);

    ActAbrirArq = new QAction(u"&Adicionar >>"_s, this);
    ActAbrirArq->setObjectName(u"ActAbrirArq"_s);
    ActAbrirArq->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    ActAbrirArq->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(ActAbrirArq);
    new ButtonAction(BtnAddArq, ActAbrirArq);

    ActScan = new QAction(u"Adquirir"_s, this);
    ActScan->setObjectName(u"ActScan"_s);
    addAction(ActScan);
    new ButtonAction(BtnScan, ActScan);

    m_pageOrder = std::make_unique<documents::PageOrderCommands>(*this, PnlLaudas, QPoint(6, 90));
    BtnImprimirDoc = new QPushButton(u"Imprimir documento"_s, PnlLaudas);
    BtnImprimirDoc->setObjectName(u"BtnImprimirDoc"_s);
    BtnImprimirDoc->setGeometry(6, 200, 117, 25);
    BtnExportarPdf = new QPushButton(u"Exportar PDF"_s, PnlLaudas);
    BtnExportarPdf->setObjectName(u"BtnExportarPdf"_s);
    BtnExportarPdf->setGeometry(6, 228, 117, 25);
    BtnHistorico = new QPushButton(u"Histórico"_s, PnlLaudas);
    BtnHistorico->setObjectName(u"BtnHistorico"_s);
    BtnHistorico->setGeometry(6, 172, 117, 25);
    pageImport = new documents::PageImport(this);
    documentExport = new documents::DocumentExport(this);
    const QAbstractItemModel *list = LBoxLaudas->model();
    connect(list, &QAbstractItemModel::rowsInserted, this, [this] { updateDocumentOutputs(); });
    connect(list, &QAbstractItemModel::rowsRemoved, this, [this] { updateDocumentOutputs(); });
    connect(list, &QAbstractItemModel::modelReset, this, [this] { updateDocumentOutputs(); });
    updateDocumentOutputs();
}

void TFrameDocumento::bindPanel()
{
    TFrame1 *panel = PnlDocumento;
    panel->BeforeInsert = [this] { prepareInsert(); };
    panel->setClickHandler(panel->BtnInc, [this](QAbstractButton *b) { PnlDocumentoBtnIncClick(b); });
    panel->setClickHandler(panel->BtnAlt, [this](QAbstractButton *b) { PnlDocumentoBtnAltClick(b); });
    panel->setClickHandler(panel->BtnDel, [this](QAbstractButton *b) { PnlDocumentoBtnDelClick(b); });
    panel->setClickHandler(panel->BtnAnt, [this](QAbstractButton *b) { PnlDocumentoBtnAntClick(b); });
    panel->setClickHandler(panel->BtnProx, [this](QAbstractButton *b) { PnlDocumentoBtnAntClick(b); });
    panel->setClickHandler(panel->BtnSair, [this](QAbstractButton *b) { PnlDocumentoBtnSairClick(b); });
}

void TFrameDocumento::bindHandlers()
{
    using editing::guard;
    guard(EdtProcesso, &QLineEdit::textChanged, this, [this] { EdtProcessoChange(); });
    guard(EdtTpDoc, &QLineEdit::textChanged, this, [this] { EdtTpDocChange(); });
    guard(BtnProcesso, &QPushButton::clicked, this, [this] { BtnProcessoClick(); });
    guard(BtnDelArq, &QPushButton::clicked, this, [this] { BtnDelArqClick(); });
    guard(ActAbrirArq, &QAction::triggered, this, [this] { runOpenFileAction(); });
    guard(ActScan, &QAction::triggered, this, [this] { ActScanExecute(); });
    guard(ImgPrev, &documents::ImagePreview::clicked, this, [this] { ImgPrevClick(); });
    guard(ImgPrev, &documents::ImagePreview::doubleClicked, this, [this] { ImgPrevDblClick(); });
    guard(BtnImprimirDoc, &QPushButton::clicked, this, [this] { BtnImprimirDocClick(); });
    guard(BtnExportarPdf, &QPushButton::clicked, this, [this] { BtnExportarPdfClick(); });
    guard(BtnHistorico, &QPushButton::clicked, this, [this] { BtnHistoricoClick(); });
    connect(PnlDocumento, &TFrame1::stateChanged, this, [this] { updateHistoryButton(); });
    connect(EdtCod, &QLineEdit::textChanged, this, [this] { updateHistoryButton(); });
    connect(EdtProcesso, &QLineEdit::textChanged, this, [this] { updateHistoryButton(); });
    updateHistoryButton();
    // A selection moved by mouse or keys previews its page; a click on the entry already
    // selected shows its page again when the preview shows something else (a scan).
    guard(LBoxLaudas, &QListWidget::currentRowChanged, this, [this] { LBoxLaudasClick(); });
    guard(LBoxLaudas, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (item && ImgPrev->pagePath() != pageStore().pageLocation(item->text()))
            LBoxLaudasClick();
    });
}

void TFrameDocumento::setProgramDir(const QString &programDir)
{
    m_programDir = programDir;
    m_pages.reset();
}

const pages::PageStore &TFrameDocumento::pageStore() const
{
    const db::Connection *current = PnlDocumento->ConnArq ? PnlDocumento->ConnArq.data() : QryDoc->connection();
    if (!m_pages || current != m_pagesConnection) {
        const std::shared_ptr<pages::PageStore> store = pages::openPageStore(m_programDir, current);
        // The store is this screen's cache: telling of its changes is no change of the screen.
        store->addListener([screen = QPointer(const_cast<TFrameDocumento *>(this))](const pages::PageChange &change) {
            if (screen && bringsPagesToRead(change))
                emit screen->pagesToRead();
        });
        m_pages = store;
        m_pagesConnection = current;
    }
    return *m_pages;
}

DocumentKey TFrameDocumento::documentKey() const
{
    return {EdtProcesso->text(), EdtCod->text()};
}

db::Connection &TFrameDocumento::connection() const
{
    if (PnlDocumento->ConnArq)
        return *PnlDocumento->ConnArq;
    if (db::Connection *connection = QryDoc->connection())
        return *connection;
    throw std::logic_error("document screen: no connection");
}

void TFrameDocumento::setPageCommandsEnabled(bool enabled)
{
    enabled = enabled && m_pagesForbidden.isEmpty();
    // The actions follow their buttons (ButtonAction).
    lib::EnableButtons(enabled, {BtnScan, BtnAddArq, BtnDelArq});
    m_pageOrder->setAllowed(enabled);
    m_editingPages = enabled;
    updateDocumentOutputs();
}

void TFrameDocumento::forbidPageChanges(const QString &reason)
{
    m_pagesForbidden = reason;
    for (QPushButton *button : {BtnScan, BtnAddArq, BtnDelArq})
        button->setToolTip(reason);
    setPageCommandsEnabled(false);
}

void TFrameDocumento::updateDocumentOutputs()
{
    const bool hasPages = LBoxLaudas->count() > 0;
    BtnImprimirDoc->setEnabled(hasPages);
    BtnExportarPdf->setEnabled(hasPages && !m_editingPages);
}

void TFrameDocumento::updateHistoryButton()
{
    BtnHistorico->setEnabled(!EdtProcesso->text().isEmpty() && !EdtCod->text().isEmpty()
                             && PnlDocumento->isBrowsing());
}

void TFrameDocumento::BtnHistoricoClick()
{
    const DocumentKey key = documentKey();
    std::vector<db::history::Entry> entries;
    try {
        entries = db::history::ofDocument(connection(), key.process, key.document);
    } catch (const db::DbError &error) {
        editing::prompt().message(error.message());
        return;
    }
    auto *dialog = new editing::HistoryDialog(u"Histórico do documento %1 do processo %2"_s.arg(key.document, key.process),
                                              entries, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

// --- Record

void TFrameDocumento::showCurrentRow()
{
    lib::ShowValues({EdtCod, EdtTpDoc, EdtDesc, MMEmenta, MMPC, EdtDtaDoc, EdtDtaAquivamento, EdtNLaudas,
                     EdtLocalidade, EdtPrateleira, EdtGaveta, EdtPasta},
                    editing::currentRowTexts(*QryDoc, kShownColumns));
    LoadLaudas();
}

void TFrameDocumento::BtnProcessoClick()
{
    const QString process = EdtProcesso->text();
    // Filtered even for an empty code: the screen must not go on showing the documents of
    // another process (or of all of them) under an empty process code.
    QryDoc->close();
    QryDoc->clearSql();
    QryDoc->addSql(kSelectColumns);
    QryDoc->addSql(kFromDocumento);
    QryDoc->addSql(u"Where processo="_s + lib::quoted(process));
    // A file archive lists a process's documents in code order through its key; a server
    // returns rows in storage order unless asked.
    if (connection().provider() == db::Provider::PostgreSQL)
        QryDoc->addSql(u"Order By cod"_s);
    QryDoc->open();
    if (!connection().execute(u"select cod from processo where cod="_s + lib::quoted(process))) {
        editing::prompt().message(u"Processo não cadastrado."_s);
        return;
    }
    EdtProcesso->setText(process);
    LoadLaudas();
}

void TFrameDocumento::EdtProcessoChange()
{
    LblProcesso->setDescription(lib::LookupValue(connection(), EdtProcesso->text(), u"cod"_s, u"descricao"_s,
                                                 u"processo"_s));
}

void TFrameDocumento::EdtTpDocChange()
{
    LblTpDoc->setDescription(lib::LookupValue(connection(), EdtTpDoc->text(), u"cod"_s, u"descricao"_s,
                                              u"tipo_arq"_s));
}

void TFrameDocumento::EdtTpDocExit()
{
    const QString text = EdtTpDoc->text();
    if (text.isEmpty())
        return;
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok)
        throw lib::ConvertError(u"'%1' is not a valid integer value"_s.arg(text));
    const int width = int(lib::RepeatStr(u"0"_s, EdtTpDoc->maxLength()).size());
    EdtTpDoc->setText(QString::number(value).rightJustified(width, u'0'));
}

bool TFrameDocumento::EdtTpDocKeyPress(const QString &typed)
{
    return typesACharacter(typed) && !lib::IsNumKey(typed);
}

void TFrameDocumento::PnlDocumentoBtnIncClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    const QString process = EdtProcesso->text();
    // The panel clears every field of the screen; the process code must survive even an
    // inclusion that fails half-way, or pages and rows would be keyed to no process.
    const auto restoreProcess = qScopeGuard([this, process] { EdtProcesso->setText(process); });
    if (sender->text() != kConfirmar) {
        PnlDocumento->BtnIncClick(sender);
        EdtProcesso->setText(process); // the new code and the process own the pages from here
        if (!holdCodeForInclusion())
            return;
        EdtDesc->clear();
        EdtDesc->setFocus();
        LBoxLaudas->clear();
        ImgPrev->showIcon();
        if (!clearPagesOfNewCode())
            return;
    } else {
        if (EdtNLaudas->text().isEmpty())
            EdtNLaudas->setText(u"0"_s);
        const QString startedWith = EdtCod->text();
        PnlDocumento->BtnIncClick(sender);
        if (isIncluding())
            return; // not confirmed: the code stays held
        m_claim.reset();
        if (m_storedCode != startedWith)
            editing::prompt().message(u"O código %1 foi ocupado por outra estação durante a inclusão: o documento e "
                                      u"suas páginas foram gravados com o código %2."_s.arg(startedWith, m_storedCode));
    }
    setPageCommandsEnabled(true);
}

// --- Codes held by inclusions

std::optional<int> TFrameDocumento::lastStoredCode(const QString &process) const
{
    db::Query last(&connection());
    last.setSql(u"select max(cod) from documento where processo="_s + lib::quoted(process));
    last.open();
    last.first();
    if (last.isEmpty() || last.isNull(0))
        return std::nullopt;
    bool ok = false;
    const int code = last.asText(0).toInt(&ok);
    return ok ? std::optional<int>(code) : std::nullopt;
}

bool TFrameDocumento::documentExists(const DocumentKey &key) const
{
    db::Query row(&connection());
    row.setSql(u"select cod from documento where processo="_s + lib::quoted(key.process) + u" and cod="_s
               + lib::quoted(key.document));
    row.open();
    return !row.isEmpty();
}

// The first code from `from` on that has no row and no other inclusion holds, now held by
// this one. The list this screen shows may be older than the archive: other workstations
// store documents meanwhile, and their inclusions hold codes not yet stored.
std::optional<TFrameDocumento::HeldCode> TFrameDocumento::holdFreeCode(const QString &process, int from) const
{
    const int start = std::max(from, lastStoredCode(process).value_or(0) + 1);
    for (int code = start; code <= kLastCode; ++code) {
        const DocumentKey key{process, QString::number(code).rightJustified(5, u'0')};
        std::unique_ptr<pages::InclusionClaim> claim = pageStore().claimInclusion(key);
        if (claim && !documentExists(key)) // held first, so no one stores it after the look
            return HeldCode{key.document, std::move(claim)};
    }
    return std::nullopt;
}

bool TFrameDocumento::holdCodeForInclusion()
{
    const DocumentKey proposed = documentKey();
    if (!PageStore::canName(proposed)) // no process open: no page can be stored either
        return true;
    std::optional<HeldCode> held;
    QString refusal = u"Não há código livre de cinco algarismos para um novo documento neste processo."_s;
    try {
        held = holdFreeCode(proposed.process, proposed.document.toInt());
    } catch (const PageError &error) {
        refusal = error.message();
    } catch (const db::DbError &error) {
        refusal = error.message();
    }
    if (!held) {
        endInclusionOrEdit(PnlDocumento->BtnSair);
        editing::prompt().message(u"A inclusão foi cancelada: %1"_s.arg(refusal));
        return false;
    }
    m_claim = std::move(held->claim);
    EdtCod->setText(held->code);
    return true;
}

// Right before the INSERT: a code stored meanwhile by someone who does not hold codes (an
// older program, a statement typed elsewhere) passes the inclusion and its pages on to the
// next free code.
void TFrameDocumento::prepareInsert()
{
    const DocumentKey key = documentKey();
    if (PageStore::canName(key) && documentExists(key)) {
        std::optional<HeldCode> held = holdFreeCode(key.process, key.document.toInt() + 1);
        if (!held)
            throw lib::CodeLimitError(
                u"O código %1 foi ocupado por outra estação e não há código livre para este documento."_s.arg(key.document));
        const DocumentKey next{key.process, held->code};
        pageStore().moveDocumentToDeleted(next); // pages of an inclusion that never ended
        pageStore().moveDocumentPages(key, next);
        m_claim = std::move(held->claim);
        EdtCod->setText(held->code);
    }
    m_storedCode = EdtCod->text();
    fillInsertStatement();
}

void TFrameDocumento::fillInsertStatement()
{
    const QString process = EdtProcesso->text();
    PnlDocumento->InsCols =
        u"(cod,processo,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta)"_s;
    // Ten text literals; the two dates and the page count go in bare.
    PnlDocumento->InsVals = u'(' + lib::quoted(EdtCod->text()) + u',' + lib::quoted(process) + u','
        + lib::quoted(EdtTpDoc->text()) + u',' + lib::quoted(EdtDesc->text()) + u','
        + lib::quoted(MMEmenta->text()) + u',' + lib::quoted(MMPC->text()) + u','
        + lib::DateToSql(EdtDtaDoc->text()) + u',' + lib::DateToSql(EdtDtaAquivamento->text()) + u','
        + EdtNLaudas->text() + u',' + lib::quoted(EdtLocalidade->text()) + u','
        + lib::quoted(EdtPrateleira->text()) + u',' + lib::quoted(EdtGaveta->text()) + u','
        + lib::quoted(EdtPasta->text()) + u')';
}

void TFrameDocumento::PnlDocumentoBtnAltClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    if (!PnlDocumento->Editing) {
        PnlDocumento->BtnAltClick(sender);
        setPageCommandsEnabled(true);
        return;
    }
    db::Command update(&connection());
    update.setText(lib::BuildSql(Bindings, this, u"documento"_s) + u" Where cod="_s + lib::quoted(EdtCod->text())
                   + u" and processo="_s + lib::quoted(EdtProcesso->text()) + u' ');
    update.execute(); // a failure keeps the edit mode and what was typed
    PnlDocumento->BtnAltClick(sender);
    PnlDocumentoBtnAntClick(PnlDocumento->BtnAnt);
    setPageCommandsEnabled(false);
}

void TFrameDocumento::PnlDocumentoBtnDelClick(QAbstractButton *)
{
    const DocumentKey key = documentKey();
    PnlDocumento->DelWhere = u"cod="_s + lib::quoted(key.document) + u" and processo="_s + lib::quoted(key.process);
    // The pages leave the store with the row, so that a later document given the same
    // code starts without them; the two succeed or fail together.
    bool deleted = false;
    try {
        deleted = PnlDocumento->deleteWith([this, key]() -> std::function<void()> {
            if (key.document.isEmpty()) // no document shown: no pages to take along
                return {};
            return movePagesAside(u"O documento não foi excluído"_s, [&] { return pageStore().moveDocumentToDeleted(key); });
        });
    } catch (const db::DbError &error) {
        editing::prompt().message(u"O documento não foi excluído: %1"_s.arg(error.message()));
        return;
    }
    if (!deleted)
        return;
    qCInfo(lcDocuments) << "document" << key.process << key.document << "deleted";
    // The screen follows the document now current, its pages and the browse mode.
    PnlDocumentoBtnAntClick(PnlDocumento->BtnAnt);
}

void TFrameDocumento::PnlDocumentoBtnAntClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    PnlDocumento->BtnAntClick(sender);
    if (QryDoc->isOpen())
        editing::stepByCaption(*QryDoc, sender->text());
    showCurrentRow();
    setPageCommandsEnabled(false);
    m_pageLimitWarned = false;
}

void TFrameDocumento::PnlDocumentoBtnSairClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    if (sender->text() == kCancelar && isIncluding())
        moveAsideCancelledPages();
    endInclusionOrEdit(sender);
}

void TFrameDocumento::endInclusionOrEdit(QAbstractButton *sender)
{
    if (sender->text() == kCancelar) {
        m_claim.reset(); // after its pages went aside: the next inclusion may take the code
        showCurrentRow(); // drops what was typed
        setPageCommandsEnabled(false);
    }
    PnlDocumento->BtnSairClick(sender);
}

bool TFrameDocumento::isIncluding() const
{
    return PnlDocumento->BtnInc->text() == kConfirmar;
}

void TFrameDocumento::showPagesMovedNote(const QString &note)
{
    StatusBar1->setPanelText(1, note);
    StatusBar1->panel(1)->setToolTip(note);
}

QString TFrameDocumento::pagesMovedText(int count) const
{
    return (count == 1 ? u"%1 página movida para %2"_s : u"%1 páginas movidas para %2"_s)
        .arg(count)
        .arg(pageStore().deletedPlace());
}

// The pages of an inclusion never confirmed belong to no document: aside, like those of
// a deleted one. When they cannot move, the next inclusion under the code moves them.
void TFrameDocumento::moveAsideCancelledPages()
{
    const DocumentKey key = documentKey();
    if (!PageStore::canName(key))
        return;
    try {
        const MovedPages moved = pageStore().moveDocumentToDeleted(key);
        if (!moved.isEmpty())
            showPagesMovedNote(u"Inclusão cancelada: "_s + pagesMovedText(moved.count()));
    } catch (const PageError &error) {
        editing::prompt().message(
            u"As páginas da inclusão cancelada não puderam ser movidas para %1: %2\n"
            u"Elas serão movidas antes que outro documento receba o código %3."_s.arg(
                pageStore().deletedPlace(), error.message(), key.document));
    }
}

// An inclusion never starts over page files already named after its code (a cancelled
// inclusion whose pages could not move, a program that stopped half-way): they go aside
// first, or the inclusion is called off.
bool TFrameDocumento::clearPagesOfNewCode()
{
    const DocumentKey key = documentKey();
    if (!PageStore::canName(key)) // no process open: no page can be stored either
        return true;
    try {
        const MovedPages moved = pageStore().moveDocumentToDeleted(key);
        if (!moved.isEmpty())
            showPagesMovedNote(u"Páginas antigas do código %1: "_s.arg(key.document) + pagesMovedText(moved.count()));
        return true;
    } catch (const PageError &error) {
        endInclusionOrEdit(PnlDocumento->BtnSair);
        editing::prompt().message(u"A inclusão foi cancelada: há páginas antigas sob o código %1 que não puderam "
                                  u"ser movidas para %2.\n%3"_s.arg(key.document,
                                                                     pageStore().deletedPlace(),
                                                                     error.message()));
        return false;
    }
}

std::function<void()> TFrameDocumento::movePagesAside(const QString &refusal, const std::function<MovedPages()> &move)
{
    MovedPages moved;
    try {
        moved = move();
    } catch (const PageError &error) {
        editing::prompt().message(refusal + u": as páginas não puderam ser movidas para %1.\n%2"_s.arg(
                                                pageStore().deletedPlace(), error.message()));
        throw;
    }
    if (!moved.isEmpty())
        showPagesMovedNote(pagesMovedText(moved.count()));
    return [this, moved] {
        try {
            pageStore().putBack(moved);
            showPagesMovedNote({});
        } catch (const PageError &error) {
            editing::prompt().message(error.message());
        }
    };
}

std::function<void()> TFrameDocumento::moveProcessPagesAside(const QString &process)
{
    return movePagesAside(u"O processo não foi excluído"_s, [&] { return pageStore().moveProcessToDeleted(process); });
}

// --- Pages

void TFrameDocumento::LoadLaudas()
{
    LBoxLaudas->clear();
    const DocumentKey key = documentKey();
    // Without two five-digit codes no page file can belong to the document.
    if (PageStore::canName(key)) {
        const QSignalBlocker quiet(LBoxLaudas); // page 1 is previewed once, below
        LBoxLaudas->addItems(pageStore().listPages(key));
        if (LBoxLaudas->count() > 0)
            LBoxLaudas->setCurrentRow(0);
    }
    if (LBoxLaudas->count() > 0)
        LBoxLaudasClick();
    else
        ImgPrev->showIcon();
}

void TFrameDocumento::LBoxLaudasClick()
{
    const QListWidgetItem *selected = LBoxLaudas->currentItem();
    if (!selected)
        return;
    showPageOrIcon(selected->text());
}

void TFrameDocumento::showPageOrIcon(const QString &entryName)
{
    if (pageStore().hasPage(entryName)) {
        try {
            ImgPrev->showStoredPage(m_pages, entryName); // decoded at the scale that covers the box
        } catch (const PageError &) {
            // A damaged page file must not stop the step or opening that previews it; it
            // can still be removed.
            ImgPrev->showIcon();
            editing::reportError(std::current_exception());
        }
        return;
    }
    ImgPrev->showIcon();
    BtnDelArq->setEnabled(false);
}

void TFrameDocumento::ActAbrirArqBeforeExecute()
{
    const QString announced = EdtNLaudas->text();
    if (m_pageLimitWarned || announced.isEmpty() || announced == u"0"_s)
        return;
    bool ok = false;
    const int count = announced.trimmed().toInt(&ok);
    if (!ok)
        throw lib::ConvertError(u"'%1' is not a valid integer value"_s.arg(announced));
    if (LBoxLaudas->count() >= count) {
        editing::prompt().message(u"Número de laudas informado excedido"_s);
        m_pageLimitWarned = true;
    }
}

bool TFrameDocumento::refuseWhenFull()
{
    try {
        PageStore::requirePageNumber(LBoxLaudas->count() + 1);
        return false;
    } catch (const PageError &error) {
        editing::prompt().message(error.message());
        return true;
    }
}

void TFrameDocumento::runOpenFileAction()
{
    // Refused before the dialog: no file could be taken in.
    if (refuseWhenFull())
        return;
    ActAbrirArqBeforeExecute();
    const QStringList chosen = editing::prompt().openFileNames(u"Abrir"_s, documents::PageImport::dialogFilters());
    if (!chosen.isEmpty())
        ActAbrirArqAccept(chosen);
}

void TFrameDocumento::ActAbrirArqAccept(const QStringList &fileNames)
{
    try {
        pageImport->addFiles(pageStore(), documentKey(), fileNames);
    } catch (...) {
        LoadLaudas(); // the list shows what is stored, even after a store failure
        throw;
    }
    LoadLaudas(); // the preview ends on page 1
}

void TFrameDocumento::BtnDelArqClick()
{
    const int page = LBoxLaudas->currentRow() + 1; // 0: nothing selected
    if (!editing::prompt().question(u"Confirm"_s, u"Remover Página???"_s))
        return;
    if (page < 1)
        return;
    // Removal and renumbering are one store operation, by renames only.
    if (!pageStore().removePage(documentKey(), page))
        return;
    LoadLaudas();
}

void TFrameDocumento::ActScanExecute()
{
    // Refused before the source dialog: no scan could be stored.
    if (refuseWhenFull())
        return;
    // Cancelling the choice of scanner cancels the acquisition.
    if (ex->SelectSource(this) <= 0)
        return;
    if (ex->scanner().feederChosen()) {
        scanFromFeeder();
        return;
    }
    const bool delivered = ex->Acquire(this) > 0;
    ImgPrev->setStretch(true);
    if (!delivered) {
        // What the preview still holds (an earlier scan) is not this page.
        ImgPrev->clear();
        if (const QString error = ex->scanner().lastError(); !error.isEmpty())
            editing::prompt().message(u"A página não foi digitalizada: %1"_s.arg(error));
        return;
    }
    const QImage bitmap = ImgPrev->takeBitmapOrClear();
    if (bitmap.isNull())
        return;
    const DocumentKey key = documentKey();
    const int page = pageStore().appendImage(key, bitmap);
    const QSignalBlocker quiet(LBoxLaudas); // the selection stays, the preview keeps the scan
    LBoxLaudas->addItem(PageStore::pageName(key, page));
}

void TFrameDocumento::scanFromFeeder()
{
    ImgPrev->setStretch(true);
    bool announced = false;
    const int announcedPages = EdtNLaudas->text().trimmed().toInt(&announced);
    documents::FeederScan feeder(ex->scanner(), pageStore());
    feeder.run(this, {documentKey(), LBoxLaudas->count(), announced ? announcedPages : 0},
               [this](const QString &name, const QImage &page) {
                   const QSignalBlocker quiet(LBoxLaudas); // the selection stays, the preview shows the scan
                   LBoxLaudas->addItem(name);
                   ImgPrev->showBitmap(page);
               });
}

void TFrameDocumento::ImgPrevClick()
{
    printPreviewedPicture();
}

void TFrameDocumento::ImgPrevDblClick()
{
    printPreviewedPicture();
}

void TFrameDocumento::BtnImprimirDocClick()
{
    pageStore(); // made for the archive shown
    documents::printWholeDocument(printForm(), m_pages, documentKey(), window());
}

void TFrameDocumento::BtnExportarPdfClick()
{
    pageStore();
    documentExport->run(connection(), m_pages, documentKey());
}

void TFrameDocumento::setPrintForm(documents::TFrmPrevImg *form)
{
    m_printForm = form;
}

documents::TFrmPrevImg &TFrameDocumento::printForm()
{
    if (!m_printForm)
        m_printForm = new documents::TFrmPrevImg(this);
    return *m_printForm;
}

void TFrameDocumento::printPreviewedPicture()
{
    // What the preview shows, a page file at full resolution: the box holds a reduced one.
    printForm().setPicture(ImgPrev->printablePicture());
    printForm().Preview(window());
}

bool TFrameDocumento::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == EdtTpDoc || watched == EdtNLaudas) {
        if (event->type() == QEvent::KeyPress) {
            bool discard = false;
            const QString typed = static_cast<QKeyEvent *>(event)->text();
            editing::runGuarded([&] { discard = EdtTpDocKeyPress(typed); });
            if (discard)
                return true;
        } else if (event->type() == QEvent::FocusOut && watched == EdtTpDoc) {
            // Leaving the field for another control, not the window losing the focus.
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                editing::runGuarded([this] { EdtTpDocExit(); });
        }
    }
    return TScreen::eventFilter(watched, event);
}
