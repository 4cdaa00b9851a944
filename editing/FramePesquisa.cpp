#include "editing/FramePesquisa.h"

#include "db/Query.h"
#include "db/QueryModel.h"
#include "editing/Edits.h"
#include "editing/Guard.h"
#include "editing/lib.h"

#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QVBoxLayout>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// Modal results of the dialog holding the frame.
constexpr int kResultOk = 1;
constexpr int kResultCancel = 2;

constexpr int kIndicatorWidth = 16;

} // namespace

// --- RowIndicatorHeader

RowIndicatorHeader::RowIndicatorHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent)
{
    setSectionResizeMode(QHeaderView::Fixed);
    setFixedWidth(kIndicatorWidth);
    setSectionsClickable(false);
}

void RowIndicatorHeader::setIndicatedRow(int row)
{
    if (row == m_row)
        return;
    m_row = row;
    viewport()->update();
}

void RowIndicatorHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = logicalIndex;
    option.textAlignment = Qt::AlignCenter;
    option.text = logicalIndex == m_row ? u"\u25B6"_s : QString(); // ▶ on the current row
    painter->save();
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
    painter->restore();
}

// --- TFramePesquisa

TFramePesquisa::TFramePesquisa(QWidget *parent) : TScreen(parent)
{
    QryFrame = new db::Query(this);
    QryFrame->setObjectName(u"QryFrame"_s);
    DSFrame = new db::QueryModel(QryFrame, this);
    DSFrame->setObjectName(u"DSFrame"_s);

    buildLayout();
    styleGrid();

    editing::guard(EdtValor, &QLineEdit::textChanged, this, [this] { EdtValorChange(); });
    editing::guard(BtnOk, &QAbstractButton::clicked, this, [this] { BtnOkClick(); });
    editing::guard(BtnCancel, &QAbstractButton::clicked, this, [this] { BtnCancelClick(); });
    editing::guard(QryFrame, &db::Query::afterOpen, this, [this] {
        rememberFilterColumn();
        QryFrameAfterScroll();
    });
    editing::guard(QryFrame, &db::Query::afterScroll, this, [this] { QryFrameAfterScroll(); });
    editing::guard(QryFrame, &db::Query::afterClose, this, [this] { QryFrameAfterScroll(); });

    QryFrameAfterScroll();
}

TFramePesquisa::~TFramePesquisa() = default;

void TFramePesquisa::buildLayout()
{
    auto *filterStrip = new QWidget(this);
    filterStrip->setFixedHeight(33);
    EdtValor = new TLabeledEdit(u"EdtValor"_s, u"Valor....:"_s, filterStrip);
    EdtValor->setLabelPosition(TLabeledEdit::LabelPosition::Left, 5);
    // Designed at 49..313; a wider caption font moves the edit's left edge, never clips the caption.
    const int left = qMax(49, EdtValor->label()->sizeHint().width() + 5 + 2);
    EdtValor->setGeometry(left, 8, 313 - left, qMin(EdtValor->sizeHint().height(), 25));

    GrdFrame = new QTableView(this);
    GrdFrame->setObjectName(u"GrdFrame"_s);
    GrdFrame->setAccessibleName(u"Lista de valores"_s);

    auto *buttonStrip = new QWidget(this);
    buttonStrip->setFixedHeight(32);
    BtnCancel = new QPushButton(u"Cancelar"_s, buttonStrip);
    BtnCancel->setObjectName(u"BtnCancel"_s);
    BtnCancel->setGeometry(163, 5, 75, 25);
    BtnOk = new QPushButton(u"OK"_s, buttonStrip);
    BtnOk->setObjectName(u"BtnOk"_s);
    BtnOk->setGeometry(241, 5, 75, 25);
    BtnOk->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(filterStrip);
    layout->addWidget(GrdFrame, 1);
    layout->addWidget(buttonStrip);

    setTabOrder(GrdFrame, BtnOk);
    setTabOrder(BtnOk, BtnCancel);
    setTabOrder(BtnCancel, EdtValor);
}

void TFramePesquisa::styleGrid()
{
    m_indicator = new RowIndicatorHeader(GrdFrame);
    GrdFrame->setVerticalHeader(m_indicator);
    GrdFrame->setModel(DSFrame);
    DSFrame->attach(GrdFrame->selectionModel());

    GrdFrame->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GrdFrame->setSelectionBehavior(QAbstractItemView::SelectRows);
    GrdFrame->setSelectionMode(QAbstractItemView::SingleSelection);
    GrdFrame->setShowGrid(true);
    GrdFrame->setFrameShape(QFrame::NoFrame);
    GrdFrame->setWordWrap(false);
    GrdFrame->setTabKeyNavigation(false); // Tab leaves the list for "OK"; arrows move in it
    GrdFrame->horizontalHeader()->setFont(QFont(u"Times New Roman"_s));
    GrdFrame->horizontalHeader()->setStretchLastSection(true);
    // Fixed cells (titles, row indicator, corner) in money green.
    GrdFrame->setStyleSheet(u"QHeaderView::section, QTableCornerButton::section"
                            " { background-color: #C0DCC0; border: 1px solid #808080; }"_s);
    GrdFrame->viewport()->installEventFilter(this);
}

void TFramePesquisa::setConnection(db::Connection *connection)
{
    QryFrame->setConnection(connection);
}

void TFramePesquisa::rememberFilterColumn()
{
    if (QryFrame->fieldCount() >= 2)
        m_filterColumn = QryFrame->fieldName(1);
}

void TFramePesquisa::Prepare(const QString &statement)
{
    BaseSql = statement;
    QryFrame->close();
    QryFrame->clearSql();
    QryFrame->addSql(statement);
    QryFrame->open();
    QryFrame->last();
    DSFrame->setTitles(ColTitles);
}

void TFramePesquisa::EdtValorChange()
{
    if (m_filterColumn.isEmpty())
        throw std::logic_error("lookup filter: no prepared statement with a second column");
    QryFrame->close();
    QryFrame->clearSql();
    QryFrame->addSql(BaseSql);
    QryFrame->addSql(u" Where "_s + m_filterColumn + u" like \""_s
                     + lib::escapeQuotes(EdtValor->text()) + u"%\""_s);
    QryFrame->open();
}

void TFramePesquisa::QryFrameAfterScroll()
{
    const bool hasRow = QryFrame->isOpen() && !QryFrame->isEmpty() && QryFrame->recNo() != -1;
    BtnOk->setEnabled(hasRow);
    m_indicator->setIndicatedRow(hasRow ? QryFrame->recNo() : -1);
}

void TFramePesquisa::BtnOkClick()
{
    const bool hasRow = QryFrame->isOpen() && !QryFrame->isEmpty() && QryFrame->recNo() != -1;
    ChosenValue = hasRow ? QryFrame->asText(0) : QString();
    closeDialog(kResultOk);
}

void TFramePesquisa::BtnCancelClick()
{
    closeDialog(kResultCancel);
}

void TFramePesquisa::closeDialog(int result)
{
    if (auto *dialog = qobject_cast<QDialog *>(window()))
        dialog->done(result);
}

// A double click anywhere in the list chooses, even on an empty list with OK disabled.
bool TFramePesquisa::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == GrdFrame->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        editing::runGuarded([this] { BtnOkClick(); });
        return true;
    }
    return TScreen::eventFilter(watched, event);
}
