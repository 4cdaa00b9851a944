#pragma once
#include <QFrame>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <functional>

class QAbstractButton;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace db {
class Command;
class Connection;
class Query;
} // namespace db

/// Record command panel carried along the right edge of every register screen: include,
/// edit, search, delete, exit/cancel, previous, next. It keeps the screen's browse /
/// including / editing state in its captions and in Editing, locks and unlocks the
/// screen's edits, proposes the next code, asks for confirmation and runs the screen's
/// INSERT and DELETE through CmdPainel.
///
/// The host screen is the nearest TScreen enclosing the panel. Screens bind their own
/// handlers with setClickHandler() and call the operations below from them.
class TFrame1 : public QFrame {
    Q_OBJECT
public:
    explicit TFrame1(QWidget *parent = nullptr);
    ~TFrame1() override;

    // Buttons, by their documented names.
    QPushButton *BtnInc = nullptr;
    QPushButton *BtnConf = nullptr;
    QPushButton *BtnAlt = nullptr;
    QPushButton *BtnPesq = nullptr;
    QPushButton *BtnDel = nullptr;
    QPushButton *BtnPrint = nullptr;
    QPushButton *BtnSair = nullptr;
    QPushButton *BtnAnt = nullptr;
    QPushButton *BtnProx = nullptr;

    // Settings, given by the main window before first use.
    QPointer<QWidget> EditOwner;    ///< whose own edits the edit operation locks/unlocks
    QPointer<QStatusBar> HintBar;   ///< hints go to its first panel
    QPointer<QLineEdit> KeyEdit;    ///< key field; receives the next code
    QString TableName;              ///< table of the INSERT and DELETE
    bool IncAgain = false;          ///< start the next inclusion after each confirmed one
    QPointer<db::Query> QryPainel;  ///< source of the next code; reopened after every write
    QList<QPointer<QWidget>> EditCtrls; ///< editable while including or editing
    /// ConnArq. When unset, the connection QryPainel is on.
    QPointer<db::Connection> ConnArq;

    // Set by the screen before confirming / deleting.
    QString InsCols; ///< "(COD,DESCRICAO)"
    QString InsVals; ///< ("00004","ATA") -- values through lib::quoted
    QString DelWhere; ///< cod="00003"

    /// Run once the inclusion is confirmed, right before its INSERT: the screen's last word
    /// on InsCols/InsVals (a code taken meanwhile). What it throws stops the INSERT.
    std::function<void()> BeforeInsert;

    /// True from the start of editing until its save or cancel.
    bool Editing = false;
    /// Neither including nor editing.
    bool isBrowsing() const;

    db::Command *CmdPainel = nullptr;

    void setEditCtrls(const QList<QWidget *> &controls);
    QList<QWidget *> editCtrls() const;

    /// The screen the panel is placed on (nearest enclosing TScreen), or null.
    QWidget *hostScreen() const;
    /// The host screen's caption text ("" on every screen of this program).
    QString hostCaption() const;

    /// "Deseja %s o %s ?" with the verb and the host screen's caption.
    QString confirmationText(const QString &verb) const;

    /// What a row owns outside the database (a document's page files): moved once the
    /// deletion is confirmed and before the DELETE runs. The undo it returns must not throw.
    using DeletionCompanion = std::function<std::function<void()>()>;
    /// The delete operation with a companion, so that the two succeed or fail together:
    /// asks, runs the companion, executes the DELETE and reopens QryPainel. False when the
    /// user answered No. A failing companion stops everything before the DELETE; a failing
    /// DELETE runs the companion's undo and is thrown on.
    bool deleteWith(const DeletionCompanion &companion);

    /// Replaces the handler a button runs when clicked (the panel's own by default).
    /// The handler runs guarded and receives the clicked button.
    using ClickHandler = std::function<void(QAbstractButton *sender)>;

    /// The user may not use this button (the server's rights): it stays disabled whatever
    /// the state, with `reason` as its tooltip.
    void forbid(QAbstractButton *button, const QString &reason);
    bool isForbidden(QAbstractButton *button) const { return m_forbidden.contains(button); }
    void setClickHandler(QAbstractButton *button, ClickHandler handler);

public slots:
    void BtnIncClick(QAbstractButton *sender);
    void BtnConfClick(QAbstractButton *sender);
    void BtnAltClick(QAbstractButton *sender);
    void BtnDelClick(QAbstractButton *sender);
    void BtnAntClick(QAbstractButton *sender);
    /// "Cancelar" ends the inclusion or edit. "Sair" restores the captions; when the panel
    /// sits directly on a window (no host screen) it also asks that window to close.
    /// Embedded in a screen, "Sair" is the screen's and the main window's to handle.
    void BtnSairClick(QAbstractButton *sender);
    void BtnIncMouseMove(QAbstractButton *sender);
    void SetHint(QAbstractButton *control);
    /// Enables/disables the fixed button groups: 1 including, 2 browse, 3 editing,
    /// 4 after save; any other kind does nothing.
    void ClkCom(qint16 kind);
    /// Close QryPainel, put it on ConnArq, open it (first row current).
    void Re_query();
    /// BtnAnt and BtnProx keep 30 pixels above the bottom.
    void FrameCanResize(int newWidth, int newHeight);

signals:
    /// After the panel went from browsing to including or editing, or back.
    void stateChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPushButton *makeButton(const char *name, const QString &caption, int x, int y, int w, int h);
    void connectOwnHandlers();
    void confirmInclusion(bool changeCaptions, QAbstractButton *sender);
    bool askConfirmation(const QString &verb) const;
    db::Connection *connection() const;
    db::Query &query() const;
    QLineEdit &keyEdit() const;

    QFrame *m_bevel = nullptr;
    QHash<QAbstractButton *, QMetaObject::Connection> m_clickConnections;
    QHash<QAbstractButton *, QString> m_forbidden; ///< button -> why
    void lockForbidden();
};
