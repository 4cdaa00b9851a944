#include "editing/painel.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "editing/Edits.h"
#include "editing/Guard.h"
#include "editing/Prompt.h"
#include "editing/StatusBar.h"
#include "editing/lib.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

const QString kIncluir = u"Incluir"_s;
const QString kConfirmar = u"Confirmar"_s;
const QString kEditar = u"Editar"_s;
const QString kGravar = u"Gravar"_s;
const QString kSair = u"Sair"_s;
const QString kCancelar = u"Cancelar"_s;

} // namespace

TFrame1::TFrame1(QWidget *parent) : QFrame(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    resize(104, 277);
    setMinimumWidth(104);

    m_bevel = new QFrame(this);
    m_bevel->setFrameShape(QFrame::Panel);
    m_bevel->setFrameShadow(QFrame::Sunken);
    m_bevel->setGeometry(rect());

    BtnInc = makeButton("BtnInc", kIncluir, 14, 14, 75, 25);
    BtnConf = makeButton("BtnConf", kGravar, 14, 14, 75, 25);
    BtnAlt = makeButton("BtnAlt", kEditar, 14, 42, 75, 25);
    BtnPesq = makeButton("BtnPesq", u"Perquisar"_s, 14, 70, 75, 25);
    BtnDel = makeButton("BtnDel", u"Excluir"_s, 14, 98, 75, 25);
    BtnPrint = makeButton("BtnPrint", u"Imprimir"_s, 14, 126, 75, 25);
    BtnSair = makeButton("BtnSair", kSair, 14, 154, 75, 25);
    BtnAnt = makeButton("BtnAnt", u"Anterior"_s, 3, 189, 46, 25);
    BtnProx = makeButton("BtnProx", u"Proximo"_s, 51, 189, 48, 25);
    BtnConf->hide();
    BtnAlt->hide();
    BtnPrint->hide();

    setTabOrder(BtnInc, BtnConf);
    setTabOrder(BtnConf, BtnPesq);
    setTabOrder(BtnPesq, BtnSair);
    setTabOrder(BtnSair, BtnDel);
    setTabOrder(BtnDel, BtnAlt);
    setTabOrder(BtnAlt, BtnAnt);
    setTabOrder(BtnAnt, BtnProx);
    setTabOrder(BtnProx, BtnPrint);

    // Hints on every button but the two steps.
    for (QPushButton *button : {BtnInc, BtnConf, BtnAlt, BtnPesq, BtnDel, BtnPrint, BtnSair}) {
        button->setToolTip(button->text() + u' ');
        button->setMouseTracking(true);
        button->installEventFilter(this);
    }

    // The exit button is the cancel button: Esc clicks it while it is shown and usable.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), BtnSair);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, BtnSair, &QAbstractButton::click);

    CmdPainel = new db::Command(this);
    CmdPainel->setObjectName(u"CmdPainel"_s);

    connectOwnHandlers();
}

TFrame1::~TFrame1() = default;

QPushButton *TFrame1::makeButton(const char *name, const QString &caption, int x, int y, int w, int h)
{
    auto *button = new QPushButton(caption, m_bevel);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, y, w, h);
    return button;
}

void TFrame1::connectOwnHandlers()
{
    setClickHandler(BtnInc, [this](QAbstractButton *b) { BtnIncClick(b); });
    setClickHandler(BtnConf, [this](QAbstractButton *b) { BtnConfClick(b); });
    setClickHandler(BtnAlt, [this](QAbstractButton *b) { BtnAltClick(b); });
    setClickHandler(BtnDel, [this](QAbstractButton *b) { BtnDelClick(b); });
    setClickHandler(BtnSair, [this](QAbstractButton *b) { BtnSairClick(b); });
    setClickHandler(BtnAnt, [this](QAbstractButton *b) { BtnAntClick(b); });
    setClickHandler(BtnProx, [this](QAbstractButton *b) { BtnAntClick(b); });
}

void TFrame1::setClickHandler(QAbstractButton *button, ClickHandler handler)
{
    if (!button)
        return;
    if (auto existing = m_clickConnections.find(button); existing != m_clickConnections.end()) {
        disconnect(existing.value());
        m_clickConnections.erase(existing);
    }
    if (!handler)
        return;
    m_clickConnections.insert(
        button, editing::guard(button, &QAbstractButton::clicked, this,
                               [button, handler = std::move(handler)] { handler(button); }));
}

void TFrame1::setEditCtrls(const QList<QWidget *> &controls)
{
    EditCtrls.clear();
    for (QWidget *control : controls)
        EditCtrls.append(control);
}

QList<QWidget *> TFrame1::editCtrls() const
{
    QList<QWidget *> controls;
    for (const QPointer<QWidget> &control : EditCtrls)
        if (control)
            controls.append(control);
    return controls;
}

QWidget *TFrame1::hostScreen() const
{
    return lib::owningScreen(this);
}

QString TFrame1::hostCaption() const
{
    const auto *screen = qobject_cast<const TScreen *>(hostScreen());
    return screen ? screen->caption() : QString();
}

QString TFrame1::confirmationText(const QString &verb) const
{
    return u"Deseja %1 o %2 ?"_s.arg(verb, hostCaption());
}

bool TFrame1::askConfirmation(const QString &verb) const
{
    return editing::prompt().question(u"Confirm"_s, confirmationText(verb));
}

db::Connection *TFrame1::connection() const
{
    if (ConnArq)
        return ConnArq;
    if (QryPainel && QryPainel->connection())
        return QryPainel->connection();
    throw std::logic_error("command panel: no connection (ConnArq) set");
}

db::Query &TFrame1::query() const
{
    if (!QryPainel)
        throw std::logic_error("command panel: QryPainel not set");
    return *QryPainel;
}

QLineEdit &TFrame1::keyEdit() const
{
    if (!KeyEdit)
        throw std::logic_error("command panel: KeyEdit not set");
    return *KeyEdit;
}

void TFrame1::BtnIncClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    if (sender->text() != kIncluir) {
        confirmInclusion(true, sender);
        return;
    }
    QString code;
    try {
        code = lib::NextCode(query(), 0); // leaves QryPainel on its last row
    } catch (const lib::CodeLimitError &error) {
        // Nothing started: the screen's own handler must stop here too.
        editing::prompt().message(error.message());
        throw;
    } catch (...) {
        lib::ClearEdits(hostScreen()); // an unreadable last code leaves the fields cleared, as ever
        throw;
    }
    QWidget *host = hostScreen();
    lib::ClearEdits(host);
    keyEdit().setText(code);
    lib::EnableEditsExcept(host, false, editCtrls());
    BtnSair->setText(kCancelar);
    sender->setText(kConfirmar);
    Editing = false;
    ClkCom(1);
}

void TFrame1::BtnConfClick(QAbstractButton *sender)
{
    confirmInclusion(false, sender);
}

void TFrame1::confirmInclusion(bool changeCaptions, QAbstractButton *sender)
{
    if (!askConfirmation(kIncluir))
        return; // still including, typed values kept
    if (BeforeInsert)
        BeforeInsert();
    CmdPainel->setConnection(connection());
    CmdPainel->setText(u"Insert Into "_s + TableName + u' ' + InsCols + u" VALUES "_s + InsVals);
    CmdPainel->execute(); // a failure leaves the inclusion as it was
    if (changeCaptions) {
        if (sender)
            sender->setText(kIncluir);
        BtnSair->setText(kSair);
    }
    Re_query();
    ClkCom(2);
    Editing = false;
    if (IncAgain)
        BtnIncClick(BtnInc);
    else
        BtnAntClick(BtnProx);
}

void TFrame1::BtnAltClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    if (sender->text() == kEditar) {
        lib::EnableEditsExcept(EditOwner, false, editCtrls());
        sender->setText(kGravar);
        BtnSair->setText(kCancelar);
        Editing = true;
        ClkCom(3);
        return;
    }
    Editing = false;
    sender->setText(kEditar);
    BtnSair->setText(kSair);
    lib::EnableEdits(EditOwner, false);
    Re_query();
    ClkCom(4);
}

void TFrame1::BtnDelClick(QAbstractButton *)
{
    deleteWith({});
}

bool TFrame1::deleteWith(const DeletionCompanion &companion)
{
    if (!askConfirmation(u"Excluir"_s))
        return false;
    const std::function<void()> undo = companion ? companion() : std::function<void()>();
    CmdPainel->setConnection(connection());
    CmdPainel->setText(u"Delete From "_s + TableName + u" Where "_s + DelWhere);
    try {
        CmdPainel->execute();
    } catch (...) {
        if (undo)
            undo();
        throw;
    }
    Re_query();
    return true;
}

void TFrame1::BtnAntClick(QAbstractButton *)
{
    lib::EnableEdits(hostScreen(), false);
    ClkCom(2);
}

void TFrame1::BtnSairClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    const bool browsing = !Editing && BtnInc->text() != kConfirmar;
    if (sender->text() == kCancelar) {
        ClkCom(2);
        sender->setText(kSair);
        lib::EnableEdits(hostScreen(), false);
        Editing = false;
    } else if (sender->text() == kSair && browsing && !hostScreen()) {
        // Placed straight on a window: leave it. Nothing typed is pending while browsing,
        // and the window may still refuse in its close event.
        window()->close();
    }
    BtnInc->setText(kIncluir);
    BtnAlt->setText(kEditar);
    emit stateChanged(); // the captions above end the state
}

void TFrame1::BtnIncMouseMove(QAbstractButton *sender)
{
    SetHint(sender);
}

void TFrame1::SetHint(QAbstractButton *control)
{
    if (!control)
        return;
    const QString hint = m_forbidden.value(control, control->text() + u' ' + hostCaption());
    control->setToolTip(hint);
    setFirstPanelText(HintBar, hint);
}

void TFrame1::ClkCom(qint16 kind)
{
    switch (kind) {
    case 1:
        lib::EnableButtons(false, {BtnAlt, BtnAnt, BtnProx, BtnDel, BtnPesq});
        break;
    case 2:
        lib::EnableButtons(true, {BtnInc, BtnAlt, BtnAnt, BtnProx, BtnDel, BtnPesq});
        break;
    case 3:
        lib::EnableButtons(true, {BtnSair, BtnAlt});
        lib::EnableButtons(false, {BtnInc, BtnAnt, BtnProx, BtnDel, BtnPesq});
        break;
    case 4:
        lib::EnableButtons(true, {BtnAnt, BtnProx, BtnDel, BtnInc, BtnAlt, BtnPesq, BtnConf});
        break;
    default:
        break;
    }
    lockForbidden();
    emit stateChanged();
}

bool TFrame1::isBrowsing() const
{
    return !Editing && BtnInc->text() != kConfirmar && BtnSair->text() != kCancelar;
}

void TFrame1::forbid(QAbstractButton *button, const QString &reason)
{
    if (!button)
        return;
    m_forbidden.insert(button, reason);
    lockForbidden();
}

void TFrame1::lockForbidden()
{
    for (auto it = m_forbidden.cbegin(); it != m_forbidden.cend(); ++it) {
        it.key()->setEnabled(false);
        it.key()->setToolTip(it.value());
    }
}

void TFrame1::Re_query()
{
    db::Query &q = query();
    db::Connection *conn = connection();
    q.close();
    q.setConnection(conn);
    q.open();
}

void TFrame1::FrameCanResize(int, int newHeight)
{
    BtnAnt->move(BtnAnt->x(), newHeight - 30);
    BtnProx->move(BtnProx->x(), newHeight - 30);
}

void TFrame1::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    m_bevel->setGeometry(rect());
    FrameCanResize(width(), height());
}

bool TFrame1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        if (auto *button = qobject_cast<QAbstractButton *>(watched))
            editing::runGuarded([&] { BtnIncMouseMove(button); });
    }
    return QFrame::eventFilter(watched, event);
}
