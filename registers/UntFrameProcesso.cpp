#include "registers/UntFrameProcesso.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/HistoryRead.h"
#include "db/Query.h"
#include "editing/Guard.h"
#include "editing/HistoryDialog.h"
#include "editing/Prompt.h"
#include "editing/StatusBar.h"
#include "editing/painel.h"
#include "editing/NumericKeys.h"
#include "editing/RegisterLayout.h"
#include "editing/RowTexts.h"

#include <QLabel>
#include <QPushButton>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

const QString kConfirmar = u"Confirmar"_s;
const QString kCancelar = u"Cancelar"_s;

// Line breaks of the warning are line feed then carriage return, as the box always showed.
const QString kDeleteWarning =
    u"ATENÇÃO!!!\n\rSe este processo for excluido, todos os documentos relaciondos a ele "
    u"serão excluidos tambem.\n\rDeseja continur???"_s;

} // namespace

TFrameProcesso::TFrameProcesso(QWidget *parent) : TScreen(parent)
{
    setObjectName(u"FrameProcesso1"_s);
    QryProcesso = editing::screenQuery(this, u"QryProcesso"_s, {u"select * from processo"_s, u"order by cod"_s});
    buildLayout();
    bindPanel();
}

TFrameProcesso::~TFrameProcesso() = default;

void TFrameProcesso::buildLayout()
{
    auto *fields = new QWidget(this);
    fields->setObjectName(u"PnlCampos"_s);

    EdtCod = new TLabeledEdit(u"EdtCod"_s, u"Código"_s, fields);
    EdtCod->setGeometry(8, 24, 57, 21);
    EdtCod->setMaxLength(5);
    EdtCod->setReadOnly(true); // the program assigns codes
    EdtCod->setFocusPolicy(Qt::ClickFocus);

    EdtDesc = new TLabeledEdit(u"EdtDesc"_s, u"Descrição"_s, fields);
    EdtDesc->setGeometry(73, 24, 400, 21);
    EdtDesc->setMaxLength(50);

    EdtNum = new TLabeledEdit(u"EdtNum"_s, u"Número do Processo"_s, fields);
    EdtNum->setGeometry(8, 72, 110, 21);
    EdtNum->setMaxLength(5);

    LblDta = new QLabel(u"Data do processo"_s, fields);
    LblDta->setObjectName(u"LblDta"_s);
    LblDta->adjustSize();
    LblDta->move(128, 72 - LblDta->height() - 3);
    EdtDta = new TMaskEdit(u"EdtDta"_s, fields);
    EdtDta->setGeometry(128, 72, 70, 21);
    LblDta->setBuddy(EdtDta);

    EdtNumOfDoc = new TLabeledEdit(u"EdtNumOfDoc"_s, u"Número de Documentos"_s, fields);
    EdtNumOfDoc->setGeometry(208, 72, 130, 21);
    EdtNumOfDoc->setMaxLength(3);
    EdtNumOfDoc->setText(u"0"_s);

    // Only digits, comma and full stop, typed or pasted (the count goes bare into the INSERT).
    EdtNum->setValidator(new editing::NumericTextValidator(EdtNum));
    EdtNumOfDoc->setValidator(new editing::NumericTextValidator(EdtNumOfDoc));
    setTabOrder(EdtDesc, EdtNum);
    setTabOrder(EdtNum, EdtDta);
    setTabOrder(EdtDta, EdtNumOfDoc);

    BtnHistorico = new QPushButton(u"Histórico"_s, fields);
    BtnHistorico->setObjectName(u"BtnHistorico"_s);
    BtnHistorico->setGeometry(348, 70, 90, 25);

    PnlProcesso = new TFrame1(this);
    PnlProcesso->setObjectName(u"PnlProcesso"_s);
    PnlProcesso->BtnAlt->show(); // processes are edited in place
    PnlProcesso->BtnPesq->hide(); // nothing to search here: the browser filters processes

    StatusBar1 = new TStatusBar(this, 3, 200);
    StatusBar1->setObjectName(u"StatusBar1"_s);

    editing::arrangeRegisterScreen(this, fields, PnlProcesso, StatusBar1);
}

void TFrameProcesso::bindPanel()
{
    TFrame1 *panel = PnlProcesso;
    panel->setClickHandler(panel->BtnInc, [this](QAbstractButton *b) { PnlProcessoBtnIncClick(b); });
    panel->setClickHandler(panel->BtnConf, [this](QAbstractButton *b) { PnlProcessoBtnConfClick(b); });
    panel->setClickHandler(panel->BtnAlt, [this](QAbstractButton *b) { Frame11BtnAltClick(b); });
    panel->setClickHandler(panel->BtnDel, [this](QAbstractButton *b) { PnlProcessoBtnDelClick(b); });
    panel->setClickHandler(panel->BtnAnt, [this](QAbstractButton *b) { PnlProcessoBtnAntClick(b); });
    panel->setClickHandler(panel->BtnProx, [this](QAbstractButton *b) { PnlProcessoBtnAntClick(b); });
    panel->setClickHandler(panel->BtnSair, [this](QAbstractButton *b) { PnlProcessoBtnSairClick(b); });
    connect(panel, &TFrame1::stateChanged, this, [this] { updateHistoryButton(); });
    connect(EdtCod, &QLineEdit::textChanged, this, [this] { updateHistoryButton(); });
    editing::guard(BtnHistorico, &QPushButton::clicked, this, [this] { BtnHistoricoClick(); });
    updateHistoryButton();
}

void TFrameProcesso::updateHistoryButton()
{
    BtnHistorico->setEnabled(!EdtCod->text().isEmpty() && PnlProcesso->isBrowsing());
}

void TFrameProcesso::BtnHistoricoClick()
{
    const QString code = EdtCod->text();
    std::vector<db::history::Entry> entries;
    try {
        entries = db::history::ofProcess(connection(), code);
    } catch (const db::DbError &error) {
        editing::prompt().message(error.message());
        return;
    }
    auto *dialog = new editing::HistoryDialog(u"Histórico do processo %1"_s.arg(code), entries, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

db::Connection &TFrameProcesso::connection() const
{
    if (PnlProcesso->ConnArq)
        return *PnlProcesso->ConnArq;
    if (db::Connection *connection = QryProcesso->connection())
        return *connection;
    throw std::logic_error("process screen: no connection");
}

void TFrameProcesso::showCurrentRow()
{
    lib::ShowValues({EdtCod, EdtDesc, EdtNum, EdtDta, EdtNumOfDoc},
                    editing::currentRowTexts(*QryProcesso, 5));
}

void TFrameProcesso::PnlProcessoBtnIncClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    if (EdtNumOfDoc->text().isEmpty())
        EdtNumOfDoc->setText(u"0"_s);
    if (sender->text() != kConfirmar) {
        PnlProcesso->BtnIncClick(sender);
        EdtDesc->clear();
        EdtDesc->setFocus();
        return;
    }
    PnlProcesso->InsCols = u"(cod,descricao,numero,data,num_doc)"_s;
    // Code, description and number are text literals; the date and the count are bare.
    PnlProcesso->InsVals = u'(' + lib::quoted(EdtCod->text()) + u',' + lib::quoted(EdtDesc->text())
        + u',' + lib::quoted(EdtNum->text()) + u',' + lib::DateToSql(EdtDta->text()) + u','
        + EdtNumOfDoc->text() + u')';
    PnlProcesso->BtnIncClick(sender);
}

void TFrameProcesso::PnlProcessoBtnConfClick(QAbstractButton *sender)
{
    PnlProcesso->BtnConfClick(sender);
}

void TFrameProcesso::Frame11BtnAltClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    if (PnlProcesso->Editing) {
        db::Command update(&connection());
        update.setText(lib::BuildSql(Bindings, this, u"processo"_s) + u" Where cod="_s
                       + lib::quoted(EdtCod->text()));
        update.execute(); // a failure keeps the edit mode and what was typed
    }
    PnlProcesso->BtnAltClick(sender);
}

void TFrameProcesso::PnlProcessoBtnDelClick(QAbstractButton *)
{
    editing::Prompt &ui = editing::prompt();
    ui.beep();
    if (ui.question(u"Error"_s, kDeleteWarning)) {
        const QString code = EdtCod->text();
        PnlProcesso->DelWhere = u"cod="_s + lib::quoted(code);
        // The documents go with the row, and their page files aside with them: all or
        // nothing, so that no page is lost or left for a process that gets the code again.
        try {
            PnlProcesso->deleteWith([this, code]() -> std::function<void()> {
                if (code.isEmpty() || !m_pagesAside) // no process shown: nothing to take along
                    return {};
                return m_pagesAside(code);
            });
        } catch (const db::DbError &error) {
            ui.message(u"O processo não foi excluído: %1"_s.arg(error.message()));
        }
    }
    PnlProcessoBtnAntClick(PnlProcesso->BtnProx);
}

void TFrameProcesso::PnlProcessoBtnAntClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    PnlProcesso->BtnAntClick(sender);
    editing::stepByCaption(*QryProcesso, sender->text());
    showCurrentRow();
}

void TFrameProcesso::PnlProcessoBtnSairClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    if (sender->text() == kCancelar)
        QryProcesso->open();
    showCurrentRow(); // drops what was typed
    PnlProcesso->BtnSairClick(sender);
}
