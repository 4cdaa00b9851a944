#include "documents/PageOrder.h"

#include "documents/ImagePreview.h"
#include "documents/UntDoc.h"
#include "editing/Guard.h"
#include "editing/Prompt.h"
#include "pages/PageStore.h"

#include <QAction>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace documents {

namespace {

const QColor kInk{0x1f, 0x3a, 0x5f};

QPixmap blankIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A solid arrow pointing up, or down when `down`.
QIcon arrowIcon(bool down)
{
    QPixmap pixmap = blankIcon();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kInk);
    QPolygonF arrow({{8, 2}, {14, 9}, {10.5, 9}, {10.5, 14}, {5.5, 14}, {5.5, 9}, {2, 9}});
    if (down)
        arrow = QTransform(1, 0, 0, -1, 0, 16).map(arrow);
    painter.drawPolygon(arrow);
    return QIcon(pixmap);
}

// Three quarters of a circle ending in an arrowhead: clockwise, or mirrored for the other way.
QIcon turnIcon(bool clockwise)
{
    QPixmap pixmap = blankIcon();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!clockwise)
        painter.setTransform(QTransform(-1, 0, 0, 1, 16, 0));
    painter.setPen(QPen(kInk, 1.8));
    QPainterPath arc;
    arc.arcMoveTo(QRectF(2.5, 3.5, 10, 10), 180);
    arc.arcTo(QRectF(2.5, 3.5, 10, 10), 180, -270);
    painter.drawPath(arc);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kInk);
    painter.drawPolygon(QPolygonF({{7.5, 0.5}, {12, 3.5}, {7.5, 6.5}}));
    return QIcon(pixmap);
}

} // namespace

PageOrderCommands::PageOrderCommands(TFrameDocumento &screen, QWidget *buttonParent, QPoint topLeft)
    : m_screen(screen)
{
    setObjectName(u"PageOrder"_s);
    ActSubirLauda = makeAction(u"ActSubirLauda"_s, u"Subir página"_s, QKeySequence(Qt::CTRL | Qt::Key_Up));
    ActDescerLauda = makeAction(u"ActDescerLauda"_s, u"Descer página"_s, QKeySequence(Qt::CTRL | Qt::Key_Down));
    ActGirarDireita = makeAction(u"ActGirarDireita"_s, u"Girar à direita"_s, QKeySequence(Qt::CTRL | Qt::Key_Right));
    ActGirarEsquerda = makeAction(u"ActGirarEsquerda"_s, u"Girar à esquerda"_s, QKeySequence(Qt::CTRL | Qt::Key_Left));
    ActGirar180 = makeAction(u"ActGirar180"_s, u"Girar 180°"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right));
    ActSubirLauda->setIcon(arrowIcon(false));
    ActSubirLauda->setIconText(u"Subir"_s);
    ActDescerLauda->setIcon(arrowIcon(true));
    ActDescerLauda->setIconText(u"Descer"_s);
    ActGirarDireita->setIcon(turnIcon(true));
    ActGirarEsquerda->setIcon(turnIcon(false));
    ActGirar180->setIconText(u"180°"_s);

    // Two rows under the page commands, as wide as they are.
    const int x = topLeft.x();
    const int y = topLeft.y();
    BtnSubirLauda = makeButton(buttonParent, u"BtnSubirLauda"_s, ActSubirLauda, QRect(x, y, 57, 25));
    BtnDescerLauda = makeButton(buttonParent, u"BtnDescerLauda"_s, ActDescerLauda, QRect(x + 60, y, 57, 25));
    for (QToolButton *button : {BtnSubirLauda, BtnDescerLauda})
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    BtnGirarEsquerda = makeButton(buttonParent, u"BtnGirarEsquerda"_s, ActGirarEsquerda, QRect(x, y + 28, 37, 25));
    BtnGirarDireita = makeButton(buttonParent, u"BtnGirarDireita"_s, ActGirarDireita, QRect(x + 40, y + 28, 37, 25));
    BtnGirar180 = makeButton(buttonParent, u"BtnGirar180"_s, ActGirar180, QRect(x + 80, y + 28, 37, 25));
    BtnGirar180->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // Tab order: the page commands, these row by row, then the list.
    QWidget::setTabOrder(m_screen.BtnDelArq, BtnSubirLauda);
    QWidget::setTabOrder(BtnSubirLauda, BtnDescerLauda);
    QWidget::setTabOrder(BtnDescerLauda, BtnGirarEsquerda);
    QWidget::setTabOrder(BtnGirarEsquerda, BtnGirarDireita);
    QWidget::setTabOrder(BtnGirarDireita, BtnGirar180);
    QWidget::setTabOrder(BtnGirar180, m_screen.LBoxLaudas);

    QListWidget *list = m_screen.LBoxLaudas;
    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (QAction *action : {ActSubirLauda, ActDescerLauda, ActGirarDireita, ActGirarEsquerda, ActGirar180})
        list->addAction(action);

    using editing::guard;
    guard(ActSubirLauda, &QAction::triggered, this, [this] { moveUp(); });
    guard(ActDescerLauda, &QAction::triggered, this, [this] { moveDown(); });
    guard(ActGirarDireita, &QAction::triggered, this, [this] { turn(pages::Turn::Clockwise); });
    guard(ActGirarEsquerda, &QAction::triggered, this, [this] { turn(pages::Turn::CounterClockwise); });
    guard(ActGirar180, &QAction::triggered, this, [this] { turn(pages::Turn::HalfTurn); });

    // The list changes under many hands (loading, the scanner, removal): follow its model.
    const auto follow = [this] { updateAvailability(); };
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, follow);
    connect(list->model(), &QAbstractItemModel::rowsRemoved, this, follow);
    connect(list->model(), &QAbstractItemModel::modelReset, this, follow);
    connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this, follow);
    updateAvailability();
}

QAction *PageOrderCommands::makeAction(const QString &name, const QString &text, const QKeySequence &shortcut)
{
    auto *action = new QAction(text, this);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WidgetShortcut); // keys of the page list only
    action->setToolTip(text + u" ("_s + shortcut.toString(QKeySequence::NativeText) + u')');
    return action;
}

QToolButton *PageOrderCommands::makeButton(QWidget *parent, const QString &name, QAction *action, const QRect &geometry)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setDefaultAction(action);
    button->setAccessibleName(action->text());
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAutoRaise(false);
    button->setGeometry(geometry);
    return button;
}

void PageOrderCommands::setAllowed(bool allowed)
{
    m_allowed = allowed;
    updateAvailability();
}

void PageOrderCommands::updateAvailability()
{
    const QListWidget *list = m_screen.LBoxLaudas;
    const int row = list->currentRow();
    const int count = list->count();
    const bool selected = m_allowed && row >= 0 && row < count;
    ActSubirLauda->setEnabled(selected && row > 0);
    ActDescerLauda->setEnabled(selected && row + 1 < count);
    for (QAction *action : {ActGirarDireita, ActGirarEsquerda, ActGirar180})
        action->setEnabled(selected);
}

bool PageOrderCommands::onSelectedPage(const std::function<bool(int page)> &operation)
{
    const int row = m_screen.LBoxLaudas->currentRow();
    if (!m_allowed || row < 0)
        return false;
    try {
        return operation(row + 1);
    } catch (const pages::PageError &error) {
        // Another workstation may have changed the pages: show them as they now are.
        showPages(row);
        editing::prompt().message(error.message());
        return false;
    }
}

void PageOrderCommands::moveUp()
{
    const int row = m_screen.LBoxLaudas->currentRow();
    const pages::DocumentKey key = m_screen.documentKey();
    if (onSelectedPage([&](int page) { return m_screen.pageStore().movePageUp(key, page); }))
        showPages(row - 1);
    else if (row >= 0)
        showPages(row);
}

void PageOrderCommands::moveDown()
{
    const int row = m_screen.LBoxLaudas->currentRow();
    const pages::DocumentKey key = m_screen.documentKey();
    if (onSelectedPage([&](int page) { return m_screen.pageStore().movePageDown(key, page); }))
        showPages(row + 1);
    else if (row >= 0)
        showPages(row);
}

void PageOrderCommands::turn(pages::Turn turn)
{
    const int row = m_screen.LBoxLaudas->currentRow();
    const pages::DocumentKey key = m_screen.documentKey();
    onSelectedPage([&](int page) { return m_screen.pageStore().turnPage(key, page, turn).has_value(); });
    if (row >= 0)
        showPages(row);
}

void PageOrderCommands::showPages(int row)
{
    QListWidget *list = m_screen.LBoxLaudas;
    const QStringList names = m_screen.pageStore().listPages(m_screen.documentKey());
    {
        const QSignalBlocker quiet(list); // previewed once, below
        list->clear();
        list->addItems(names);
        if (!names.isEmpty())
            list->setCurrentRow(std::clamp(row, 0, int(names.size()) - 1));
    }
    if (list->count() > 0)
        m_screen.LBoxLaudasClick();
    else
        m_screen.ImgPrev->showIcon();
    updateAvailability();
}

} // namespace documents
