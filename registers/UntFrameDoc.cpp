#include "registers/UntFrameDoc.h"

#include "db/Query.h"
#include "db/QueryModel.h"
#include "editing/Guard.h"
#include "editing/lib.h"
#include "editing/RegisterLayout.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

const QStringList kColumns = {u"cod"_s, u"descricao"_s, u"numero"_s, u"data"_s, u"num_doc"_s};
constexpr int kDescricaoColumn = 1;
constexpr int kDataColumn = 3;
constexpr int kNumDocColumn = 4;

// A magnifying glass for the flat search button.
QIcon searchIcon()
{
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 30, 30), 2));
    painter.drawEllipse(QRectF(2, 2, 8, 8));
    painter.setPen(QPen(QColor(30, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(10, 10), QPointF(14, 14));
    return QIcon(picture);
}

} // namespace

TFrameDoc::TFrameDoc(QWidget *parent) : TScreen(parent)
{
    setObjectName(u"FrameDoc1"_s);
    QryProcesso = editing::screenQuery(this, u"QryProcesso"_s,
                                         {u"select * "_s, u"from processo"_s, u"order by cod desc"_s});
    buildLayout();
}

TFrameDoc::~TFrameDoc() = default;

void TFrameDoc::buildLayout()
{
    resize(695, 475);

    GrdProcesso = new QTableView(this);
    GrdProcesso->setObjectName(u"GrdProcesso"_s);
    GrdProcesso->setAccessibleName(u"Processos"_s);
    GrdProcesso->setGeometry(0, 0, 525, 475);
    GrdProcesso->setSelectionBehavior(QAbstractItemView::SelectRows);
    GrdProcesso->setSelectionMode(QAbstractItemView::SingleSelection);
    GrdProcesso->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GrdProcesso->setShowGrid(true);
    GrdProcesso->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    GrdProcesso->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    GrdProcesso->verticalHeader()->setDefaultSectionSize(20);

    DSProcesso = new db::QueryModel(QryProcesso, this);
    DSProcesso->setObjectName(u"DSProcesso"_s);
    DSProcesso->setColumns(kColumns); // the titles are the column names
    GrdProcesso->setModel(DSProcesso);
    DSProcesso->attach(GrdProcesso->selectionModel());
    // A reset forgets widths and hidden columns; the list opens on its first row.
    connect(DSProcesso, &QAbstractItemModel::modelReset, this, &TFrameDoc::styleList);
    styleList();

    EdtPesq = new TLabeledEdit(u"EdtPesq"_s, u"Pesquisar Processo"_s, this);
    EdtPesq->setGeometry(533, 24, 130, 21);
    SBtnPesq = new QToolButton(this);
    SBtnPesq->setObjectName(u"SBtnPesq"_s);
    SBtnPesq->setAccessibleName(u"Pesquisar"_s);
    SBtnPesq->setToolTip(u"Pesquisar"_s);
    SBtnPesq->setAutoRaise(true);
    SBtnPesq->setIcon(searchIcon());
    SBtnPesq->setGeometry(667, 23, 23, 23);

    const auto makeButton = [this](const QString &name, const QString &caption, int y) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(name);
        button->setGeometry(533, y, 157, 25);
        button->setAutoDefault(true); // Enter on a focused button clicks that button
        return button;
    };
    BtnSel = makeButton(u"BtnSel"_s, u"&Documentos do Processo"_s, 64);
    BtnSel->setDefault(true);
    BtnNovo = makeButton(u"BtnNovo"_s, u"&Novo Processo"_s, 96);
    BtnPesq = makeButton(u"BtnPesq"_s, u"&Processos"_s, 128);

    setTabOrder(EdtPesq, SBtnPesq);
    setTabOrder(SBtnPesq, BtnSel);
    setTabOrder(BtnSel, BtnNovo);
    setTabOrder(BtnNovo, BtnPesq);
    setTabOrder(BtnPesq, GrdProcesso);

    editing::guard(SBtnPesq, &QToolButton::clicked, this, [this] { SBtnPesqClick(); });
    editing::guard(EdtPesq, &QLineEdit::textChanged, this, [this] { EdtPesqChange(); });
}

void TFrameDoc::styleList()
{
    QHeaderView *header = GrdProcesso->horizontalHeader();
    header->resizeSection(kDescricaoColumn, 370);
    header->resizeSection(kDataColumn, 77);
    GrdProcesso->setColumnHidden(kNumDocColumn, true);
    if (DSProcesso->rowCount() > 0 && QryProcesso->recNo() >= 0)
        GrdProcesso->selectRow(QryProcesso->recNo());
}

QString TFrameDoc::selectedCode() const
{
    return QryProcesso->isOpen() ? QryProcesso->asText(u"cod"_s) : QString();
}

void TFrameDoc::reopen(const QStringList &lines)
{
    QryProcesso->close();
    QryProcesso->clearSql();
    for (const QString &line : lines)
        QryProcesso->addSql(line);
    QryProcesso->open();
}

void TFrameDoc::SBtnPesqClick()
{
    reopen({u"select *"_s, u"from processo"_s,
            u"Where descricao like \"%"_s + lib::escapeQuotes(EdtPesq->text()) + u"%\""_s,
            u"order by cod desc"_s});
}

void TFrameDoc::EdtPesqChange()
{
    if (EdtPesq->text().isEmpty())
        reopen({u"select *"_s, u"from processo"_s, u"order by cod desc"_s});
}

void TFrameDoc::keyPressEvent(QKeyEvent *event)
{
    // Enter that no control took is the default button's.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && BtnSel->isEnabled()) {
        BtnSel->click();
        event->accept();
        return;
    }
    TScreen::keyPressEvent(event);
}
