#include "registers/UntFrameTpdoc.h"

#include "db/Query.h"
#include "editing/FramePesquisa.h"
#include "editing/StatusBar.h"
#include "editing/UntFramePesq.h"
#include "editing/painel.h"
#include "editing/RegisterLayout.h"
#include "editing/RowTexts.h"

#include <QPushButton>
#include <QScopeGuard>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

const QString kConfirmar = u"Confirmar"_s;
const QString kCancelar = u"Cancelar"_s;

} // namespace

TFrameTpDoc::TFrameTpDoc(QWidget *parent) : TScreen(parent)
{
    setObjectName(u"FrameTpDoc1"_s);
    QryTpDoc = editing::screenQuery(this, u"QryTpDoc"_s, {u"select * from tipo_arq"_s});
    buildLayout();
    bindPanel();
}

TFrameTpDoc::~TFrameTpDoc() = default;

void TFrameTpDoc::buildLayout()
{
    auto *fields = new QWidget(this);
    fields->setObjectName(u"PnlCampos"_s);

    EdtCod = new TLabeledEdit(u"EdtCod"_s, u"Codigo"_s, fields);
    EdtCod->setGeometry(8, 24, 50, 21);
    EdtCod->setMaxLength(5);
    EdtCod->setReadOnly(true);
    EdtCod->setFocusPolicy(Qt::ClickFocus); // skipped by Tab

    EdtDesc = new TLabeledEdit(u"EdtDesc"_s, u"Descricao"_s, fields);
    EdtDesc->setGeometry(8, 68, 569, 21);
    EdtDesc->setCharCase(CharCase::Upper);

    PnlTpDoc = new TFrame1(this);
    PnlTpDoc->setObjectName(u"PnlTpDoc"_s);
    // Browsing shows include, search, delete and the steps; the exit button only cancels.
    PnlTpDoc->BtnSair->setText(kCancelar);
    PnlTpDoc->BtnSair->hide();

    StatusBar1 = new TStatusBar(this, 3, 200);
    StatusBar1->setObjectName(u"StatusBar1"_s);

    editing::arrangeRegisterScreen(this, fields, PnlTpDoc, StatusBar1);
}

void TFrameTpDoc::bindPanel()
{
    TFrame1 *panel = PnlTpDoc;
    panel->setClickHandler(panel->BtnInc, [this](QAbstractButton *b) { PnlTpDocBtnIncClick(b); });
    panel->setClickHandler(panel->BtnConf, [this](QAbstractButton *b) { Frame11BtnConfClick(b); });
    panel->setClickHandler(panel->BtnPesq, [this](QAbstractButton *b) { PnlTpDocBtnPesqClick(b); });
    panel->setClickHandler(panel->BtnDel, [this](QAbstractButton *b) { PnlTpDocBtnDelClick(b); });
    panel->setClickHandler(panel->BtnAnt, [this](QAbstractButton *b) { PnlTpDocBtnAntClick(b); });
    panel->setClickHandler(panel->BtnProx, [this](QAbstractButton *b) { PnlTpDocBtnAntClick(b); });
    panel->setClickHandler(panel->BtnSair, [this](QAbstractButton *b) { PnlTpDocBtnSairClick(b); });
}

void TFrameTpDoc::showCurrentRow()
{
    lib::ShowValues({EdtCod, EdtDesc}, editing::currentRowTexts(*QryTpDoc, 2));
}

void TFrameTpDoc::syncExitButton()
{
    PnlTpDoc->BtnSair->setVisible(PnlTpDoc->BtnInc->text() == kConfirmar);
}

void TFrameTpDoc::PnlTpDocBtnIncClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    // Whatever the answer or a failure, the way back stays exactly while including.
    const auto exitFollowsState = qScopeGuard([this] { syncExitButton(); });
    if (sender->text() != kConfirmar) {
        PnlTpDoc->BtnIncClick(sender);
        EdtDesc->setFocus();
        return;
    }
    PnlTpDoc->InsCols = u"(COD,DESCRICAO)"_s;
    PnlTpDoc->InsVals = u'(' + lib::quoted(EdtCod->text()) + u',' + lib::quoted(EdtDesc->text()) + u')';
    PnlTpDoc->BtnIncClick(sender); // a Yes starts the next inclusion at once (IncAgain)
}

void TFrameTpDoc::Frame11BtnConfClick(QAbstractButton *sender)
{
    PnlTpDoc->BtnConfClick(sender);
}

void TFrameTpDoc::PnlTpDocBtnPesqClick(QAbstractButton *)
{
    if (!FrmFramePesq)
        throw std::logic_error("document types: no lookup dialog");
    TFramePesquisa *lookup = FrmFramePesq->FPesq;
    lookup->ColTitles = {u"Codigo"_s, u"Descrição"_s};
    lookup->Prepare(u"Select cod,descricao from tipo_arq"_s);
    if (FrmFramePesq->exec() != TFrmFramePesq::mrOk)
        return;
    if (QryTpDoc->locate(u"cod"_s, lookup->ChosenValue))
        showCurrentRow();
}

void TFrameTpDoc::PnlTpDocBtnDelClick(QAbstractButton *sender)
{
    PnlTpDoc->DelWhere = u"cod="_s + lib::quoted(EdtCod->text());
    PnlTpDoc->BtnDelClick(sender);
    showCurrentRow(); // the first type after a deletion, else where the query stands
}

void TFrameTpDoc::PnlTpDocBtnAntClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    PnlTpDoc->BtnAntClick(sender);
    editing::stepByCaption(*QryTpDoc, sender->text());
    showCurrentRow();
}

void TFrameTpDoc::PnlTpDocBtnSairClick(QAbstractButton *sender)
{
    if (!sender)
        return;
    if (sender->text() == kCancelar)
        showCurrentRow(); // the last type: proposing the code moved the query there
    PnlTpDoc->BtnSairClick(sender);
    PnlTpDoc->BtnSair->hide();
}
