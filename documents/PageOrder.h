#pragma once
#include "pages/PageTurn.h"

#include <QObject>
#include <QPoint>
#include <QRect>

#include <functional>

class QAction;
class QKeySequence;
class QToolButton;
class QWidget;
class TFrameDocumento;

namespace documents {

/// Putting the pages of the document screen in order and upright: "Subir página",
/// "Descer página", "Girar à direita", "Girar à esquerda" and "Girar 180°", each an action
/// shown as a button beside the page list and in the list's context menu, with a shortcut
/// while the list has the focus. They act on the selected page and are available while the
/// screen allows page changes (its page commands are on) and they apply: a page selected,
/// not the first for "Subir", not the last for "Descer". The list and the preview follow,
/// and the selection stays on the page moved or turned.
class PageOrderCommands : public QObject {
    Q_OBJECT
public:
    /// The buttons go into `buttonParent`, two rows from `topLeft`. Owned by the screen,
    /// and destroyed before its page list.
    PageOrderCommands(TFrameDocumento &screen, QWidget *buttonParent, QPoint topLeft);

    /// Follows the screen's page commands.
    void setAllowed(bool allowed);
    bool allowed() const { return m_allowed; }

    QAction *ActSubirLauda = nullptr;
    QAction *ActDescerLauda = nullptr;
    QAction *ActGirarDireita = nullptr;
    QAction *ActGirarEsquerda = nullptr;
    QAction *ActGirar180 = nullptr;

    QToolButton *BtnSubirLauda = nullptr;
    QToolButton *BtnDescerLauda = nullptr;
    QToolButton *BtnGirarDireita = nullptr;
    QToolButton *BtnGirarEsquerda = nullptr;
    QToolButton *BtnGirar180 = nullptr;

    void moveUp();
    void moveDown();
    void turn(pages::Turn turn);

private:
    QAction *makeAction(const QString &name, const QString &text, const QKeySequence &shortcut);
    QToolButton *makeButton(QWidget *parent, const QString &name, QAction *action, const QRect &geometry);
    void updateAvailability();
    /// Runs a store operation on the selected page; false when it did not apply.
    bool onSelectedPage(const std::function<bool(int page)> &operation);
    /// Lists the pages again with `row` selected and previews it.
    void showPages(int row);

    TFrameDocumento &m_screen;
    bool m_allowed = false;
};

} // namespace documents
