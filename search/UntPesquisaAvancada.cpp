#include "search/UntPesquisaAvancada.h"

#include "db/Connection.h"
#include "db/PageTextSearchSchema.h"
#include "db/Query.h"
#include "db/QueryModel.h"
#include "db/SearchIndex.h"
#include "documents/DocumentExport.h"
#include "documents/DocumentPrint.h"
#include "documents/ImagePreview.h"
#include "documents/UntPrevImg.h"
#include "editing/DescriptionLabel.h"
#include "editing/Guard.h"
#include "editing/lib.h"
#include "search/FastSearch.h"
#include "search/Logging.h"
#include "search/SearchStatement.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTableView>
#include <optional>
#include <stdexcept>

using namespace Qt::StringLiterals;
using editing::guard;

namespace search {

SearchState &searchState()
{
    static SearchState state;
    return state;
}

} // namespace search

namespace {

const QColor kLightBlue{117, 197, 240};

// The result names the grid and the type field are bound to, in select-list order.
const QStringList kResultNames = {u"documento.descricao"_s, u"data"_s, u"tipo_arq.descricao"_s,
                                  u"Expr1003"_s};
constexpr int kShownResultColumns = 2;
constexpr int kTypeCodeLength = 5;
const QString kFirstPage = u"001"_s;

void paint(QWidget *widget, const QColor &colour)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

QLabel *captionAbove(const QString &caption, QWidget *field, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->adjustSize();
    label->move(field->x(), field->y() - label->height() - 3);
    label->setBuddy(field);
    return label;
}

QPushButton *button(const QString &name, const QString &caption, const QRect &geometry, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    return b;
}

// One "e"/"ou" pair: its own container makes the two buttons exclusive.
std::pair<QRadioButton *, QRadioButton *> connectorPair(const QString &andName, const QString &orName,
                                                        int term, QPoint at, QWidget *parent)
{
    auto *box = new QWidget(parent);
    box->setGeometry(at.x(), at.y(), 80, 21);
    auto *e = new QRadioButton(u"e"_s, box);
    e->setObjectName(andName);
    e->setGeometry(0, 0, 36, 21);
    e->setAccessibleName(u"e antes do termo %1"_s.arg(term));
    e->setChecked(true);
    auto *ou = new QRadioButton(u"ou"_s, box);
    ou->setObjectName(orName);
    ou->setGeometry(38, 0, 42, 21);
    ou->setAccessibleName(u"ou antes do termo %1"_s.arg(term));
    return {e, ou};
}

// FormatFloat with "000": at least three digits, the sign in front.
QString pageText(int page)
{
    const QString digits = QString::number(qAbs(page)).rightJustified(3, u'0');
    return page < 0 ? u'-' + digits : digits;
}

} // namespace

TFramePesquisaAvancada::TFramePesquisaAvancada(QWidget *parent)
    : TScreen(parent), m_programDir(QCoreApplication::applicationDirPath())
{
    setObjectName(u"TFramePesquisaAvancada"_s);
    resize(695, 475);
    paint(this, kLightBlue);

    QryPesqAvanc = new db::Query(this);
    QryPesqAvanc->setObjectName(u"QryPesqAvanc"_s);
    DSPesqAvanc = new db::QueryModel(QryPesqAvanc, this);
    DSPesqAvanc->setObjectName(u"DSPesqAvanc"_s);
    DSPesqAvanc->setColumns(kResultNames);
    indexUpkeep = new db::searchindex::Upkeep(this);
    indexUpkeep->setObjectName(u"UpkIndice"_s);

    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(u"PageControl1"_s);
    PageControl1->setGeometry(0, 22, 695, 413);
    TabsScript = new QTabBar(this);
    TabsScript->setObjectName(u"TabsScript"_s);
    TabsScript->addTab(u"Script"_s);
    TabsScript->setGeometry(4, 0, 80, 22);
    TabsScript->hide();

    buildCriteriaPage();
    buildResultsPage();
    buildScriptPage();
    buildButtonBar();
    PageControl1->setCurrentWidget(TSPesquisa);

    Action1 = new QAction(u"Script"_s, this);
    Action1->setObjectName(u"Action1"_s);
    Action1->setShortcut(QKeySequence(u"Ctrl+Shift+L"_s));
    Action1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(Action1);

    connectHandlers();
}

TFramePesquisaAvancada::~TFramePesquisaAvancada() = default;

void TFramePesquisaAvancada::buildCriteriaPage()
{
    TSPesquisa = new QWidget(PageControl1);
    TSPesquisa->setObjectName(u"TSPesquisa"_s);
    TSPesquisa->setAccessibleName(u"Pesquisa"_s);
    PageControl1->addWidget(TSPesquisa);

    EdtTpDoc = new TEdit(u"EdtTpDoc"_s, TSPesquisa);
    EdtTpDoc->setGeometry(24, 40, 70, 21);
    EdtTpDoc->setMaxLength(kTypeCodeLength);
    EdtTpDoc->setToolTip(u"F2: escolher o tipo na lista"_s);
    captionAbove(u"Tipo"_s, EdtTpDoc, TSPesquisa);
    LblTpDoc = new editing::DescriptionLabel(u"LblTpDoc"_s, u"Descrição do tipo"_s, TSPesquisa);
    LblTpDoc->setGeometry(100, 40, 360, 21);

    EdtDtaIni = new TMaskEdit(u"EdtDtaIni"_s, TSPesquisa);
    EdtDtaIni->setGeometry(24, 96, 80, 21);
    captionAbove(u"DE:"_s, EdtDtaIni, TSPesquisa);
    EdtDtaFin = new TMaskEdit(u"EdtDtaFin"_s, TSPesquisa);
    EdtDtaFin->setGeometry(130, 96, 80, 21);
    captionAbove(u"ATÉ:"_s, EdtDtaFin, TSPesquisa);

    Edit1 = new TLabeledEdit(u"Edit1"_s, u"Contendo:"_s, TSPesquisa);
    Edit1->setGeometry(120, 156, 440, 21);
    Edit2 = new TEdit(u"Edit2"_s, TSPesquisa);
    Edit2->setGeometry(120, 190, 440, 21);
    Edit2->setAccessibleName(u"Termo 2"_s);
    Edit3 = new TEdit(u"Edit3"_s, TSPesquisa);
    Edit3->setGeometry(120, 224, 440, 21);
    Edit3->setAccessibleName(u"Termo 3"_s);
    Edit4 = new TEdit(u"Edit4"_s, TSPesquisa);
    Edit4->setGeometry(120, 258, 440, 21);
    Edit4->setAccessibleName(u"Termo 4"_s);
    std::tie(RBtnE1, RBtnOu1) = connectorPair(u"RBtnE1"_s, u"RBtnOu1"_s, 2, {32, 190}, TSPesquisa);
    std::tie(RadioButton1, RadioButton2) =
        connectorPair(u"RadioButton1"_s, u"RadioButton2"_s, 3, {32, 224}, TSPesquisa);
    std::tie(RadioButton3, RadioButton4) =
        connectorPair(u"RadioButton3"_s, u"RadioButton4"_s, 4, {32, 258}, TSPesquisa);

    ChkTextoPaginas = new QCheckBox(u"Procurar também no texto das páginas"_s, TSPesquisa);
    ChkTextoPaginas->setObjectName(u"ChkTextoPaginas"_s);
    ChkTextoPaginas->setGeometry(120, 288, 280, 21);
    ChkIgnorarAcentos = new QCheckBox(u"Ignorar acentos"_s, TSPesquisa);
    ChkIgnorarAcentos->setObjectName(u"ChkIgnorarAcentos"_s);
    ChkIgnorarAcentos->setGeometry(410, 288, 150, 21);

    LblIndice = new QLabel(TSPesquisa);
    LblIndice->setObjectName(u"LblIndice"_s);
    LblIndice->setGeometry(24, 318, 536, 18);
    LblIndice->hide();
    PrbIndice = new QProgressBar(TSPesquisa);
    PrbIndice->setObjectName(u"PrbIndice"_s);
    PrbIndice->setGeometry(24, 341, 420, 20);
    PrbIndice->setAccessibleName(u"Preparo do índice de pesquisa"_s);
    PrbIndice->hide();
    BtnCancelarIndice = button(u"BtnCancelarIndice"_s, u"Cancelar"_s, {452, 338, 108, 25}, TSPesquisa);
    BtnCancelarIndice->setAccessibleName(u"Cancelar o preparo do índice de pesquisa"_s);
    BtnCancelarIndice->hide();

    QWidget::setTabOrder(EdtTpDoc, EdtDtaIni);
    QWidget::setTabOrder(EdtDtaIni, EdtDtaFin);
    QWidget::setTabOrder(EdtDtaFin, Edit1);
    QWidget::setTabOrder(Edit1, RBtnE1);
    QWidget::setTabOrder(RBtnE1, Edit2);
    QWidget::setTabOrder(Edit2, RadioButton1);
    QWidget::setTabOrder(RadioButton1, Edit3);
    QWidget::setTabOrder(Edit3, RadioButton3);
    QWidget::setTabOrder(RadioButton3, Edit4);
    QWidget::setTabOrder(Edit4, ChkTextoPaginas);
    QWidget::setTabOrder(ChkTextoPaginas, ChkIgnorarAcentos);
}

void TFramePesquisaAvancada::buildResultsPage()
{
    TSResultados = new QWidget(PageControl1);
    TSResultados->setObjectName(u"TSResultados"_s);
    TSResultados->setAccessibleName(u"Resultados"_s);
    PageControl1->addWidget(TSResultados);

    DBGrid1 = new QTableView(TSResultados);
    DBGrid1->setObjectName(u"DBGrid1"_s);
    DBGrid1->setAccessibleName(u"Documentos encontrados"_s);
    DBGrid1->setGeometry(8, 8, 440, 397);
    DBGrid1->setModel(DSPesqAvanc);
    DSPesqAvanc->attach(DBGrid1->selectionModel());
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setWordWrap(false);
    DBGrid1->verticalHeader()->setDefaultSectionSize(20);
    DBGrid1->setColumnWidth(0, 300);
    for (int column = kShownResultColumns; column < kResultNames.size(); ++column)
        DBGrid1->setColumnHidden(column, true);

    auto *panel = new QFrame(TSResultados);
    panel->setObjectName(u"PnlTipo"_s);
    panel->setGeometry(456, 8, 231, 397);
    panel->setFrameShape(QFrame::StyledPanel);
    auto *caption = new QLabel(u"Tipo do Documento"_s, panel);
    caption->setGeometry(8, 6, 215, 18);
    DBEdit1 = new QLineEdit(panel);
    DBEdit1->setObjectName(u"DBEdit1"_s);
    DBEdit1->setGeometry(8, 26, 215, 21);
    DBEdit1->setReadOnly(true);
    caption->setBuddy(DBEdit1);

    ImgPrev = new documents::ImagePreview(panel);
    ImgPrev->setObjectName(u"ImgPrev"_s);
    ImgPrev->setGeometry(15, 56, 201, 290);
    ImgPrev->setStretch(true);
    ImgPrev->setAccessibleName(u"Pré-visualização da página"_s);
    ImgPrev->setToolTip(u"Clique para imprimir a página"_s);
    ImgPrev->showIcon();

    BtnAnt = button(u"BtnAnt"_s, u"Anterior"_s, {15, 356, 97, 25}, panel);
    BtnProx = button(u"BtnProx"_s, u"Proxima"_s, {119, 356, 97, 25}, panel);
}

void TFramePesquisaAvancada::buildScriptPage()
{
    TabSheet1 = new QWidget(PageControl1);
    TabSheet1->setObjectName(u"TabSheet1"_s);
    TabSheet1->setAccessibleName(u"Script"_s);
    PageControl1->addWidget(TabSheet1);
    Memo1 = new TMemo(u"Memo1"_s, TabSheet1);
    Memo1->setGeometry(8, 8, 679, 397);
    Memo1->setAccessibleName(u"Instruções executadas"_s);
}

void TFramePesquisaAvancada::buildButtonBar()
{
    BtnNovaPesquisa = button(u"BtnNovaPesquisa"_s, u"Nova Pesquisa"_s, {8, 443, 120, 25}, this);
    BtnNovaPesquisa->setEnabled(false);
    BtnPesquisarAgora = button(u"BtnPesquisarAgora"_s, u"Pesquisar Agora"_s, {136, 443, 120, 25}, this);
    BtnFechar = button(u"BtnFechar"_s, u"Fechar"_s, {567, 443, 120, 25}, this);
    BtnFechar->hide();
    BtnImprimirDoc = button(u"BtnImprimirDoc"_s, u"Imprimir documento"_s, {300, 443, 130, 25}, this);
    BtnExportarPdf = button(u"BtnExportarPdf"_s, u"Exportar PDF"_s, {436, 443, 120, 25}, this);
    BtnImprimirDoc->setEnabled(false);
    BtnExportarPdf->setEnabled(false);
    documentExport = new documents::DocumentExport(this);
}

void TFramePesquisaAvancada::connectHandlers()
{
    m_typeChangeConnection = guard(EdtTpDoc, &QLineEdit::textChanged, this, [this] { EdtTpDocChange(); });
    m_nextConnection = guard(BtnProx, &QAbstractButton::clicked, this, [this] { BtnProxClick(); });
    guard(BtnAnt, &QAbstractButton::clicked, this, [this] { BtnAntClick(); });
    guard(BtnPesquisarAgora, &QAbstractButton::clicked, this, [this] { BtnPesquisarAgoraClick(); });
    guard(BtnNovaPesquisa, &QAbstractButton::clicked, this, [this] { BtnNovaPesquisaClick(); });
    guard(BtnFechar, &QAbstractButton::clicked, this, [this] { BtnFecharClick(); });
    guard(ImgPrev, &documents::ImagePreview::clicked, this, [this] { ImgPrevClick(); });
    guard(BtnImprimirDoc, &QAbstractButton::clicked, this, [this] { BtnImprimirDocClick(); });
    guard(BtnExportarPdf, &QAbstractButton::clicked, this, [this] { BtnExportarPdfClick(); });
    guard(Action1, &QAction::triggered, this, [this] { Action1Execute(); });
    guard(TabsScript, &QTabBar::tabBarClicked, this, [this] { PageControl1->setCurrentWidget(TabSheet1); });
    guard(QryPesqAvanc, &db::Query::afterScroll, this, [this] {
        showCurrentType();
        QryPesqAvancAfterScroll();
    });
    guard(QryPesqAvanc, &db::Query::afterClose, this, [this] { showCurrentType(); });
    guard(BtnCancelarIndice, &QAbstractButton::clicked, this, [this] { indexUpkeep->cancel(); });
    connect(indexUpkeep, &db::searchindex::Upkeep::buildStarted, this, [this] { showIndexProgress(0, 0); });
    connect(indexUpkeep, &db::searchindex::Upkeep::progressed, this, &TFramePesquisaAvancada::showIndexProgress);
    connect(indexUpkeep, &db::searchindex::Upkeep::finished, this, &TFramePesquisaAvancada::indexUpkeepFinished);
    for (QWidget *field : {static_cast<QWidget *>(EdtTpDoc), static_cast<QWidget *>(EdtDtaIni),
                           static_cast<QWidget *>(EdtDtaFin)})
        field->installEventFilter(this);
}

void TFramePesquisaAvancada::releaseRoutedEvents()
{
    disconnect(m_typeChangeConnection);
    disconnect(m_nextConnection);
}

void TFramePesquisaAvancada::setConnection(db::Connection *connection)
{
    m_connection = connection;
    QryPesqAvanc->setConnection(connection);
    startIndexUpkeep();
    offerAccentFold();
}

// The index is checked against its table on a thread of its own, and rebuilt there when
// it must be; until then searches read every document.
void TFramePesquisaAvancada::startIndexUpkeep()
{
    const QString path = m_connection && m_connection->isOpen() ? m_connection->databasePath() : QString();
    if (path == m_indexPath)
        return; // running, done, cancelled by the user or failed: once per archive

    m_indexPath = path;
    indexUpkeep->start(path);
}

// The page texts only where the archive keeps them; the accent fold is missing on a server
// archive whose owner has not opened it since.
void TFramePesquisaAvancada::offerAccentFold()
{
    const bool noTexts = m_connection && m_connection->isOpen() && !db::pagetextsearch::hasPageTextTable(*m_connection);
    ChkTextoPaginas->setEnabled(!noTexts);
    if (noTexts)
        ChkTextoPaginas->setChecked(false);
    ChkTextoPaginas->setToolTip(noTexts ? u"Este arquivo ainda não guarda o texto das páginas."_s : QString());

    const bool missing = m_connection && m_connection->isOpen() && m_connection->server()
        && !db::pagetextsearch::hasAccentFold(*m_connection->server());
    ChkIgnorarAcentos->setEnabled(!missing);
    if (missing)
        ChkIgnorarAcentos->setChecked(false);
    ChkIgnorarAcentos->setToolTip(missing ? u"Indisponível neste banco até que o arquivo seja aberto uma "
                                            u"vez pelo dono do banco."_s
                                          : QString());
}

bool TFramePesquisaAvancada::indexChecked() const
{
    return indexUpkeep->isReady() && m_connection && m_indexPath == m_connection->databasePath();
}

void TFramePesquisaAvancada::showIndexProgress(qint64 done, qint64 total)
{
    LblIndice->setText(u"Preparando o índice de pesquisa. Enquanto isso, as pesquisas leem todos os documentos."_s);
    PrbIndice->setRange(0, 1000);
    PrbIndice->setValue(total > 0 ? int(qMin<qint64>(1000, done * 1000 / total)) : 0);
    LblIndice->show();
    PrbIndice->show();
    BtnCancelarIndice->show();
}

void TFramePesquisaAvancada::indexUpkeepFinished(bool ready, const QString &error)
{
    PrbIndice->hide();
    BtnCancelarIndice->hide();
    if (ready) {
        LblIndice->hide();
        return;
    }
    LblIndice->setText(error.isEmpty()
                           ? u"Preparo do índice interrompido: as pesquisas leem todos os documentos; ele continua na próxima abertura."_s
                           : u"Índice de pesquisa indisponível (%1): as pesquisas leem todos os documentos."_s.arg(error));
    LblIndice->show();
    if (!error.isEmpty())
        qCWarning(lcSearch) << "search index:" << error;
}

void TFramePesquisaAvancada::setProgramDir(const QString &programDir)
{
    m_programDir = programDir;
    m_pages.reset();
}

const pages::PageStore &TFramePesquisaAvancada::pageStore() const
{
    if (!m_pages || m_connection.data() != m_pagesConnection) {
        m_pages = pages::openPageStore(m_programDir, m_connection);
        m_pagesConnection = m_connection;
    }
    return *m_pages;
}

void TFramePesquisaAvancada::setPrintForm(documents::TFrmPrevImg *form)
{
    m_printForm = form;
}

documents::TFrmPrevImg &TFramePesquisaAvancada::printForm()
{
    if (!m_printForm)
        m_printForm = new documents::TFrmPrevImg(this);
    return *m_printForm;
}

db::Connection &TFramePesquisaAvancada::requireConnection() const
{
    if (!m_connection)
        throw std::logic_error("the advanced search has no connection");
    return *m_connection;
}

bool TFramePesquisaAvancada::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        // Leaving the field for another control, not the window losing the focus.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == EdtTpDoc)
                editing::runGuarded([this] { EdtTpDocExit(); });
            else if (watched == EdtDtaIni)
                editing::runGuarded([this] { EdtDtaIniExit(); });
            else if (watched == EdtDtaFin)
                editing::runGuarded([this] { EdtDtaFinExit(); });
        }
    }
    return TScreen::eventFilter(watched, event);
}

// --- Criteria

void TFramePesquisaAvancada::EdtTpDocChange()
{
    LblTpDoc->setDescription(lib::LookupValue(requireConnection(), EdtTpDoc->text(), u"cod"_s,
                                              u"descricao"_s, u"tipo_arq"_s));
}

void TFramePesquisaAvancada::EdtTpDocExit()
{
    search::SearchState &state = search::searchState();
    state.typeClause.clear();
    if (EdtTpDoc->text().isEmpty())
        return;
    const std::optional<QString> code = search::paddedTypeCode(EdtTpDoc->text(), EdtTpDoc->maxLength());
    if (!code)
        throw lib::ConvertError(u"'%1' is not a valid integer value"_s.arg(EdtTpDoc->text()));
    EdtTpDoc->setText(*code);
    state.typeClause = search::typeClause(EdtTpDoc->text());
}

bool TFramePesquisaAvancada::IsDate(const QString &text)
{
    return search::dayNumberOf(text) != search::kNoDay;
}

void TFramePesquisaAvancada::EdtDtaIniExit()
{
    search::searchState().startDay = search::dayNumberOf(EdtDtaIni->text());
}

void TFramePesquisaAvancada::EdtDtaFinExit()
{
    search::SearchState &state = search::searchState();
    state.endDay = search::dayNumberOf(EdtDtaFin->text());
    state.dateClause = search::dateClause(state.startDay, state.endDay);
}

// --- Search

void TFramePesquisaAvancada::BtnPesquisarAgoraClick()
{
    search::SearchState &state = search::searchState();
    state.termsClause.clear();

    const QList<search::Term> terms = search::usedTerms(
        {Edit1->text(), Edit2->text(), Edit3->text(), Edit4->text()},
        {RBtnE1->isChecked(), RadioButton1->isChecked(), RadioButton3->isChecked()});
    state.connector = terms.isEmpty() ? QString() : terms.back().connector;
    const search::TermOptions options{ChkTextoPaginas->isChecked(), ChkIgnorarAcentos->isChecked()};
    state.termsClause = search::termsClause(terms, options);

    // Both dates count as they stand when the search runs, whichever field had the focus.
    state.startDay = search::dayNumberOf(EdtDtaIni->text());
    state.endDay = search::dayNumberOf(EdtDtaFin->text());
    state.dateClause = search::dateClause(state.startDay, state.endDay);

    const QString statement = search::statement(state.typeClause, state.dateClause, state.termsClause);
    if (!QryPesqAvanc->connection())
        QryPesqAvanc->setConnection(&requireConnection());
    QryPesqAvanc->close();
    startIndexUpkeep(); // when the connection was opened after the screen got it
    const QString toRun = search::statementToRun(*QryPesqAvanc->connection(), terms, state.typeClause,
                                                 state.dateClause, indexChecked(), options);
    QryPesqAvanc->clearSql();
    QryPesqAvanc->addSql(toRun);
    Memo1->appendPlainText(search::scriptLine(statement));
    qCDebug(lcSearch).noquote() << "running" << toRun;
    m_hitTerms = terms;
    m_hitOptions = options;

    QryPesqAvanc->open();

    PageControl1->setCurrentWidget(TSResultados);
    BtnNovaPesquisa->setEnabled(true);
    BtnPesquisarAgora->setEnabled(false);
}

void TFramePesquisaAvancada::BtnNovaPesquisaClick()
{
    PageControl1->setCurrentWidget(TSPesquisa);
    lib::EnableEdits(this, true);

    search::SearchState &state = search::searchState();
    state.typeClause.clear();
    state.dateClause.clear();
    state.endDay.clear();
    state.startDay.clear();
    state.termsClause.clear();
    state.connector = u"AND"_s;

    EdtTpDoc->setFocus();
    ImgPrev->showIcon();
    state.page.clear();
    state.documentKey.clear();
    updateHitCommands();

    BtnNovaPesquisa->setEnabled(false);
    BtnPesquisarAgora->setEnabled(true);

    EdtTpDoc->clear();
    EdtDtaIni->clear();
    EdtDtaFin->clear();
    for (QLineEdit *term : {static_cast<QLineEdit *>(Edit1), static_cast<QLineEdit *>(Edit2),
                            static_cast<QLineEdit *>(Edit3), static_cast<QLineEdit *>(Edit4)})
        term->clear();
    // The hits are gone from view; the statement lets go of its read snapshot.
    QryPesqAvanc->close();
}

// --- Hits and pages

QString TFramePesquisaAvancada::pageEntry(const QString &page) const
{
    const QString &key = search::searchState().documentKey;
    // The key comes from the database: it must name a file inside the page folder.
    if (key.contains(u'/') || key.contains(u'\\'))
        return {};
    return key + page + u".jpg"_s;
}

void TFramePesquisaAvancada::QryPesqAvancAfterScroll()
{
    search::SearchState &state = search::searchState();
    if (!QryPesqAvanc->isOpen() || QryPesqAvanc->isEmpty()) {
        state.page.clear();
        ImgPrev->showIcon();
        updateHitCommands();
        return;
    }
    state.documentKey = QryPesqAvanc->asText(3);
    state.page = firstPageOfHit();
    updateHitCommands();
    const QString entry = pageEntry(state.page);
    if (!entry.isEmpty() && pageStore().hasPage(entry))
        ImgPrev->showStoredPage(m_pages, entry);
    // Without a page 001 the preview keeps the previous hit's picture.
}

QString TFramePesquisaAvancada::firstPageOfHit() const
{
    const QString &key = search::searchState().documentKey;
    if (!m_hitOptions.pageText || m_hitTerms.isEmpty() || key.size() != 10)
        return kFirstPage;
    db::Query pages(QryPesqAvanc->connection());
    pages.setSql(search::firstHitPageStatement(key.left(5), key.mid(5), m_hitTerms, m_hitOptions));
    pages.open();
    if (pages.isEmpty() || pages.isNull(0))
        return kFirstPage; // found by its fields only
    return pageText(pages.value(0).toInt());
}

void TFramePesquisaAvancada::showCurrentType()
{
    const bool onHit = QryPesqAvanc->isOpen() && !QryPesqAvanc->isEmpty();
    DBEdit1->setText(onHit ? QryPesqAvanc->asText(u"tipo_arq.descricao"_s) : QString());
    DBEdit1->setCursorPosition(0); // a long description shows from its start
}

void TFramePesquisaAvancada::stepPage(int delta)
{
    search::SearchState &state = search::searchState();
    if (state.page.isEmpty())
        return;
    bool ok = false;
    const int current = state.page.toInt(&ok);
    if (!ok)
        return;
    const QString former = state.page;
    state.page = pageText(current + delta);
    const QString entry = pageEntry(state.page);
    if (entry.isEmpty() || !pageStore().hasPage(entry)) {
        state.page = former;
        return;
    }
    try {
        ImgPrev->showStoredPage(m_pages, entry);
    } catch (...) {
        state.page = former; // an unreadable page is not stepped to
        throw;
    }
}

void TFramePesquisaAvancada::BtnProxClick()
{
    stepPage(+1);
}

void TFramePesquisaAvancada::BtnAntClick()
{
    stepPage(-1);
}

void TFramePesquisaAvancada::ImgPrevClick()
{
    // What the preview shows, a page file at full resolution: the box holds a reduced one.
    printForm().setPicture(ImgPrev->printablePicture());
    printForm().Preview(window());
}

pages::DocumentKey TFramePesquisaAvancada::hitKey() const
{
    const search::SearchState &state = search::searchState();
    if (state.page.isEmpty())
        return {};
    // The hit's key is the process code followed by the document code.
    pages::DocumentKey key{state.documentKey.left(5), state.documentKey.mid(5)};
    return pages::PageStore::canName(key) ? key : pages::DocumentKey{};
}

void TFramePesquisaAvancada::updateHitCommands()
{
    const pages::DocumentKey key = hitKey();
    const bool hasPages = !key.document.isEmpty() && pageStore().hasPage(pages::PageStore::pageName(key, 1));
    BtnImprimirDoc->setEnabled(hasPages);
    BtnExportarPdf->setEnabled(hasPages);
}

void TFramePesquisaAvancada::BtnImprimirDocClick()
{
    const pages::DocumentKey key = hitKey();
    if (key.document.isEmpty())
        return;
    pageStore(); // made for the archive searched
    documents::printWholeDocument(printForm(), m_pages, key, window());
}

void TFramePesquisaAvancada::BtnExportarPdfClick()
{
    const pages::DocumentKey key = hitKey();
    if (key.document.isEmpty())
        return;
    pageStore();
    documentExport->run(requireConnection(), m_pages, key);
}

void TFramePesquisaAvancada::Action1Execute()
{
    TabsScript->setVisible(!TabsScript->isVisible());
}

void TFramePesquisaAvancada::BtnFecharClick()
{
    if (auto *dialog = qobject_cast<QDialog *>(window()))
        dialog->reject();
    else
        window()->close();
}
