// The record command panel on a small document-type screen over a real archive file.
#include "Archive.h"
#include "ErrorRecorder.h"

#include "db/DbError.h"
#include "editing/Edits.h"
#include "editing/Guard.h"
#include "editing/Prompt.h"
#include "editing/StatusBar.h"
#include "editing/lib.h"
#include "editing/painel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;
using editing::ScriptedPrompt;

namespace {

// A screen built like the document type screen: key, description, a field the panel never
// unlocks, the panel along the right edge, a status bar; its handlers bound to the panel's
// buttons add what is particular to the table and call the panel.
class TypeScreen : public TScreen {
public:
    TLabeledEdit *EdtCod = new TLabeledEdit(u"EdtCod"_s, u"Codigo"_s, this);
    TLabeledEdit *EdtDesc = new TLabeledEdit(u"EdtDesc"_s, u"Descricao"_s, this);
    TMaskEdit *EdtDta = new TMaskEdit(u"EdtDta"_s, this);
    TFrame1 *Pnl = new TFrame1(this);
    TStatusBar *StatusBar1 = new TStatusBar(this, 3, 200);
    db::Query *QryTpDoc = new db::Query(this);

    explicit TypeScreen(QWidget *parent) : TScreen(parent)
    {
        Pnl->setObjectName(u"PnlTpDoc"_s);
        EdtCod->setGeometry(8, 24, 50, 21);
        EdtDesc->setGeometry(8, 68, 300, 21);
        EdtDta->setGeometry(8, 112, 80, 21);
        auto *row = new QHBoxLayout;
        row->addStretch();
        row->addWidget(Pnl);
        auto *column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->addLayout(row, 1);
        column->addWidget(StatusBar1);
        QryTpDoc->setSql(u"select * from tipo_arq order by cod"_s);

        Pnl->setClickHandler(Pnl->BtnInc, [this](QAbstractButton *b) { BtnIncClick(b); });
        Pnl->setClickHandler(Pnl->BtnDel, [this](QAbstractButton *b) { BtnDelClick(b); });
        Pnl->setClickHandler(Pnl->BtnAnt, [this](QAbstractButton *b) { BtnAntClick(b); });
        Pnl->setClickHandler(Pnl->BtnProx, [this](QAbstractButton *b) { BtnAntClick(b); });
        Pnl->setClickHandler(Pnl->BtnSair, [this](QAbstractButton *b) { BtnSairClick(b); });
        Pnl->setClickHandler(Pnl->BtnAlt, [this](QAbstractButton *b) { BtnAltClick(b); });
    }

    void showRow()
    {
        if (QryTpDoc->isEmpty())
            lib::ShowValues({EdtCod, EdtDesc}, {QString(), QString()});
        else
            lib::ShowValues({EdtCod, EdtDesc}, {QryTpDoc->asText(0), QryTpDoc->asText(1)});
    }

    void BtnIncClick(QAbstractButton *sender)
    {
        if (sender->text() == u"Confirmar") {
            Pnl->InsCols = u"(COD,DESCRICAO)"_s;
            Pnl->InsVals = u'(' + lib::quoted(EdtCod->text()) + u',' + lib::quoted(EdtDesc->text()) + u')';
        }
        Pnl->BtnIncClick(sender);
    }
    void BtnDelClick(QAbstractButton *sender)
    {
        Pnl->DelWhere = u"cod="_s + lib::quoted(EdtCod->text());
        Pnl->BtnDelClick(sender);
        showRow();
    }
    void BtnAntClick(QAbstractButton *sender)
    {
        Pnl->BtnAntClick(sender);
        if (sender->text().size() == 7)
            QryTpDoc->next();
        else if (sender->text().size() == 8)
            QryTpDoc->prior();
        showRow();
    }
    void BtnSairClick(QAbstractButton *sender)
    {
        if (sender->text() == u"Cancelar")
            showRow();
        Pnl->BtnSairClick(sender);
    }
    void BtnAltClick(QAbstractButton *sender)
    {
        if (Pnl->Editing) {
            const BindingTable bindings{{u"EdtDesc"_s, u"descricao"_s, {}}};
            db::Command update(QryTpDoc->connection());
            update.setText(lib::BuildSql(bindings, this, u"tipo_arq"_s) + u" Where cod="_s
                           + lib::quoted(EdtCod->text()));
            update.execute();
        }
        Pnl->BtnAltClick(sender);
    }
};

// The main window stand-in: not a screen, it holds the screen.
struct Fixture {
    TestArchive archive;
    QWidget mainWindow;
    TypeScreen *screen = new TypeScreen(&mainWindow);
    TFrame1 *pnl = screen->Pnl;
    editing::ScopedPrompt<ScriptedPrompt> ui;
    ErrorRecorder recorder;
    QStringList &errors = recorder.errors;
    QSignalSpy executed{&archive.connection, &db::Connection::statementExecuted};

    using Types = std::vector<std::pair<QString, QString>>;
    explicit Fixture(const Types &types = {
                         {u"00001"_s, u"ATA"_s}, {u"00002"_s, u"OFICIO"_s}, {u"00003"_s, u"PORTARIA"_s}})
    {
        archive.addTypes(types);
        auto *layout = new QVBoxLayout(&mainWindow);
        layout->addWidget(screen);
        mainWindow.resize(800, 500);

        // What the main window gives the panel before first use.
        pnl->EditOwner = screen;
        pnl->HintBar = screen->StatusBar1;
        pnl->KeyEdit = screen->EdtCod;
        pnl->TableName = u"tipo_arq"_s;
        pnl->setEditCtrls({screen->EdtDesc});
        pnl->QryPainel = screen->QryTpDoc;
        pnl->ConnArq = &archive.connection;
        pnl->Re_query();
        screen->BtnAntClick(pnl->BtnAnt);
        mainWindow.show();
        executed.clear();
    }

    QStringList statements() const
    {
        QStringList result;
        for (const QList<QVariant> &call : executed)
            result << call.first().toString();
        return result;
    }
    QStringList writes() const
    {
        QStringList result;
        for (const QString &sql : statements())
            if (!sql.startsWith(u"select"_s, Qt::CaseInsensitive))
                result << sql;
        return result;
    }
    QStringList tableRows() { return archive.rows(u"select cod,descricao from tipo_arq order by cod"_s); }
    db::Query &query() { return *screen->QryTpDoc; }
};

QString enabledButtons(TFrame1 *p)
{
    QStringList names;
    for (QPushButton *b : {p->BtnInc, p->BtnConf, p->BtnAlt, p->BtnPesq, p->BtnDel, p->BtnPrint,
                           p->BtnSair, p->BtnAnt, p->BtnProx})
        if (b->isEnabled())
            names << b->objectName();
    return names.join(u' ');
}

const QString kAllEnabled = u"BtnInc BtnConf BtnAlt BtnPesq BtnDel BtnPrint BtnSair BtnAnt BtnProx"_s;
const QString kIncludingEnabled = u"BtnInc BtnConf BtnPrint BtnSair"_s;
const QString kEditingEnabled = u"BtnConf BtnAlt BtnPrint BtnSair"_s;

void verifyBrowse(Fixture &f)
{
    QCOMPARE(f.pnl->BtnInc->text(), u"Incluir"_s);
    QCOMPARE(f.pnl->BtnAlt->text(), u"Editar"_s);
    QCOMPARE(f.pnl->BtnSair->text(), u"Sair"_s);
    QVERIFY(!f.pnl->Editing);
    QVERIFY(!f.screen->EdtCod->isEnabled());
    QVERIFY(!f.screen->EdtDesc->isEnabled());
    QVERIFY(!f.screen->EdtDta->isEnabled());
    QCOMPARE(enabledButtons(f.pnl), kAllEnabled);
}

void verifyIncluding(Fixture &f)
{
    QCOMPARE(f.pnl->BtnInc->text(), u"Confirmar"_s);
    QCOMPARE(f.pnl->BtnAlt->text(), u"Editar"_s);
    QCOMPARE(f.pnl->BtnSair->text(), u"Cancelar"_s);
    QVERIFY(!f.pnl->Editing);
    QVERIFY(!f.screen->EdtCod->isEnabled());
    QVERIFY(f.screen->EdtDesc->isEnabled());
    QVERIFY(!f.screen->EdtDta->isEnabled());
    QVERIFY(f.screen->EdtCod->label()->isEnabled());
    QCOMPARE(enabledButtons(f.pnl), kIncludingEnabled);
}

void verifyEditing(Fixture &f)
{
    QCOMPARE(f.pnl->BtnInc->text(), u"Incluir"_s);
    QCOMPARE(f.pnl->BtnAlt->text(), u"Gravar"_s);
    QCOMPARE(f.pnl->BtnSair->text(), u"Cancelar"_s);
    QVERIFY(f.pnl->Editing);
    QVERIFY(f.screen->EdtDesc->isEnabled());
    QVERIFY(!f.screen->EdtCod->isEnabled());
    QCOMPARE(enabledButtons(f.pnl), kEditingEnabled);
}

// Starts an inclusion and types a description.
void startInclusion(Fixture &f, const QString &description)
{
    f.pnl->BtnInc->click();
    f.screen->EdtDesc->setFocus();
    QTest::keyClicks(f.screen->EdtDesc, description);
}

} // namespace

class TestPainel : public QObject {
    Q_OBJECT
private slots:
    void designedLayout();
    void tabOrder();
    void hintOnMouseMove();
    void resizeKeepsStepButtonsAtTheBottom();

    void browseIncludeStartsInclusion();
    void inclusionOnEmptyTableProposes00001();
    void confirmAnsweredNoKeepsIncluding();
    void confirmAnsweredYesReturnsToBrowse();
    void confirmWithIncAgainStartsNextInclusion();
    void cancelInclusionLeavesQueryOnLastRow();
    void escapeCancels();
    void failedInsertKeepsIncludingWithTypedValues();
    void failedNextCodeLeavesFieldsClearedInBrowse();
    void confirmOperationWithoutCaptionChange();

    void editThenSave();
    void editThenCancel();
    void editWithMainWindowAsOwnerActsOnEditCtrlsOnly();

    void deleteAnsweredYes();
    void deleteAnsweredNo();
    void deleteIsAskedEvenWithEmptyKey();
    void stepping();
    void clkComOutsideOneToFourDoesNothing();

    void sairEmbeddedInScreenKeepsWindow();
    void sairOnAWindowClosesIt();
};

void TestPainel::designedLayout()
{
    TFrame1 p;
    QCOMPARE(p.size(), QSize(104, 277));
    const struct {
        QPushButton *button;
        const char *name;
        QString caption;
        QRect geometry;
        bool visible;
    } expected[] = {
        {p.BtnInc, "BtnInc", u"Incluir"_s, {14, 14, 75, 25}, true},
        {p.BtnConf, "BtnConf", u"Gravar"_s, {14, 14, 75, 25}, false},
        {p.BtnAlt, "BtnAlt", u"Editar"_s, {14, 42, 75, 25}, false},
        {p.BtnPesq, "BtnPesq", u"Perquisar"_s, {14, 70, 75, 25}, true},
        {p.BtnDel, "BtnDel", u"Excluir"_s, {14, 98, 75, 25}, true},
        {p.BtnPrint, "BtnPrint", u"Imprimir"_s, {14, 126, 75, 25}, false},
        {p.BtnSair, "BtnSair", u"Sair"_s, {14, 154, 75, 25}, true},
        {p.BtnAnt, "BtnAnt", u"Anterior"_s, {3, 189, 46, 25}, true},
        {p.BtnProx, "BtnProx", u"Proximo"_s, {51, 189, 48, 25}, true},
    };
    for (const auto &e : expected) {
        QCOMPARE(e.button->objectName(), QString::fromLatin1(e.name));
        QCOMPARE(e.button->text(), e.caption);
        QCOMPARE(e.button->geometry(), e.geometry);
        QCOMPARE(e.button->isVisibleTo(&p), e.visible);
        const bool hinted = e.button != p.BtnAnt && e.button != p.BtnProx;
        QCOMPARE(!e.button->toolTip().isEmpty(), hinted);
    }
    QCOMPARE(p.findChild<QPushButton *>(u"BtnInc"_s), p.BtnInc);
    QVERIFY(p.CmdPainel);
    QVERIFY(!p.Editing);
    QVERIFY(!p.IncAgain);
}

void TestPainel::tabOrder()
{
    TFrame1 p;
    for (QPushButton *b : p.findChildren<QPushButton *>())
        b->show();
    p.show();
    QVERIFY(QTest::qWaitForWindowActive(&p));
    p.BtnInc->setFocus();
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(order, (QStringList{u"BtnInc"_s, u"BtnConf"_s, u"BtnPesq"_s, u"BtnSair"_s, u"BtnDel"_s,
                                 u"BtnAlt"_s, u"BtnAnt"_s, u"BtnProx"_s, u"BtnPrint"_s}));
}

void TestPainel::hintOnMouseMove()
{
    Fixture f;
    auto moveOver = [](QWidget *w) {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    };
    moveOver(f.pnl->BtnDel);
    QCOMPARE(f.screen->StatusBar1->panelText(0), u"Excluir "_s);
    QCOMPARE(f.pnl->BtnDel->toolTip(), u"Excluir "_s);

    // The hint follows the caption the button has now.
    f.ui->answerQuestion(false);
    startInclusion(f, u"X"_s);
    moveOver(f.pnl->BtnInc);
    QCOMPARE(f.screen->StatusBar1->panelText(0), u"Confirmar "_s);
    QCOMPARE(f.pnl->BtnInc->toolTip(), u"Confirmar "_s);

    moveOver(f.pnl->BtnAnt); // the step buttons give no hint
    QCOMPARE(f.screen->StatusBar1->panelText(0), u"Confirmar "_s);

    // A screen with a caption puts it after the blank.
    f.screen->setCaption(u"Tipo"_s);
    moveOver(f.pnl->BtnPesq);
    QCOMPARE(f.screen->StatusBar1->panelText(0), u"Perquisar Tipo"_s);
}

void TestPainel::resizeKeepsStepButtonsAtTheBottom()
{
    TFrame1 p;
    p.show();
    p.resize(104, 456);
    QCOMPARE(p.BtnAnt->y(), 426);
    QCOMPARE(p.BtnProx->y(), 426);
    QCOMPARE(p.BtnAnt->x(), 3);
    QCOMPARE(p.BtnProx->x(), 51);
    QCOMPARE(p.BtnSair->y(), 154); // the others stay
    p.resize(104, 300);
    QCOMPARE(p.BtnAnt->y(), 270);
    QCOMPARE(p.height(), 300);
}

void TestPainel::browseIncludeStartsInclusion()
{
    Fixture f;
    verifyBrowse(f);
    QCOMPARE(f.screen->EdtDesc->text(), u"ATA"_s);
    f.screen->EdtDta->setText(u"15/03/04"_s);

    QTest::mouseClick(f.pnl->BtnInc, Qt::LeftButton);
    verifyIncluding(f);
    QCOMPARE(f.screen->EdtCod->text(), u"00004"_s);
    QCOMPARE(f.screen->EdtDesc->text(), QString());
    QCOMPARE(f.screen->EdtDta->text(), u"  /  /  "_s);
    QCOMPARE(f.query().recNo(), 2); // proposing the code left the query on its last row
    QVERIFY(f.ui->calls().isEmpty());
    QVERIFY(f.writes().isEmpty());
}

void TestPainel::inclusionOnEmptyTableProposes00001()
{
    Fixture f(Fixture::Types{});
    f.pnl->BtnInc->click();
    verifyIncluding(f);
    QCOMPARE(f.screen->EdtCod->text(), u"00001"_s);
}

void TestPainel::confirmAnsweredNoKeepsIncluding()
{
    Fixture f;
    startInclusion(f, u"ATA NOVA"_s);
    f.ui->answerQuestion(false);
    f.pnl->BtnInc->click();
    const auto questions = f.ui->callsOf(ScriptedPrompt::Kind::Question);
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions.first().title, u"Confirm"_s);
    QCOMPARE(questions.first().text, u"Deseja Incluir o  ?"_s);
    verifyIncluding(f);
    QCOMPARE(f.screen->EdtCod->text(), u"00004"_s);
    QCOMPARE(f.screen->EdtDesc->text(), u"ATA NOVA"_s);
    QVERIFY(f.writes().isEmpty());
    QCOMPARE(f.tableRows().size(), 3);
}

void TestPainel::confirmAnsweredYesReturnsToBrowse()
{
    Fixture f;
    startInclusion(f, u"OFICIO \"CIRCULAR\""_s);
    f.ui->answerQuestion(true);
    f.pnl->BtnInc->click();
    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join(u'\n')));
    QCOMPARE(f.writes(), QStringList{
        u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00004\",\"OFICIO \"\"CIRCULAR\"\"\")"_s});
    QCOMPARE(f.tableRows().last(), u"00004|OFICIO \"CIRCULAR\""_s);
    verifyBrowse(f);
    QVERIFY(f.ui->allAnswersUsed());
    // The query was reopened on its first row; the fields still show what was written.
    QCOMPARE(f.query().recNo(), 0);
    QCOMPARE(f.query().asText(0), u"00001"_s);
    QCOMPARE(f.screen->EdtCod->text(), u"00004"_s);
    QCOMPARE(f.screen->EdtDesc->text(), u"OFICIO \"CIRCULAR\""_s);
}

void TestPainel::confirmWithIncAgainStartsNextInclusion()
{
    Fixture f;
    f.pnl->IncAgain = true;
    startInclusion(f, u"ATA"_s);
    f.ui->answerQuestion(true);
    f.pnl->BtnInc->click();
    QCOMPARE(f.tableRows().last(), u"00004|ATA"_s);
    verifyIncluding(f);
    QCOMPARE(f.screen->EdtCod->text(), u"00005"_s);
    QCOMPARE(f.screen->EdtDesc->text(), QString());

    // And again: each Yes inserts and proposes the following code.
    QTest::keyClicks(f.screen->EdtDesc, u"EDITAL"_s);
    f.ui->answerQuestion(true);
    f.pnl->BtnInc->click();
    QCOMPARE(f.tableRows().last(), u"00005|EDITAL"_s);
    QCOMPARE(f.screen->EdtCod->text(), u"00006"_s);
    verifyIncluding(f);
}

void TestPainel::cancelInclusionLeavesQueryOnLastRow()
{
    Fixture f;
    QCOMPARE(f.screen->EdtCod->text(), u"00001"_s); // shown before the inclusion
    startInclusion(f, u"DESCARTADO"_s);
    f.pnl->BtnSair->click();
    verifyBrowse(f);
    QCOMPARE(f.query().recNo(), 2);
    QCOMPARE(f.screen->EdtCod->text(), u"00003"_s); // the last row, not the one shown before
    QCOMPARE(f.screen->EdtDesc->text(), u"PORTARIA"_s);
    QVERIFY(f.writes().isEmpty());
    QVERIFY(f.ui->calls().isEmpty());
}

void TestPainel::escapeCancels()
{
    Fixture f;
    QVERIFY(QTest::qWaitForWindowActive(&f.mainWindow));
    startInclusion(f, u"X"_s);
    QTest::keyClick(f.screen->EdtDesc, Qt::Key_Escape);
    verifyBrowse(f);
    QCOMPARE(f.screen->EdtCod->text(), u"00003"_s);
}

void TestPainel::failedInsertKeepsIncludingWithTypedValues()
{
    Fixture f;
    startInclusion(f, u"REPETIDO"_s);
    f.screen->EdtCod->setText(u"00002"_s); // a code the table already holds
    f.ui->answerQuestion(true);
    f.pnl->BtnInc->click();
    QCOMPARE(f.errors.size(), 1);
    verifyIncluding(f);
    QCOMPARE(f.screen->EdtCod->text(), u"00002"_s);
    QCOMPARE(f.screen->EdtDesc->text(), u"REPETIDO"_s);
    QCOMPARE(f.tableRows(), (QStringList{u"00001|ATA"_s, u"00002|OFICIO"_s, u"00003|PORTARIA"_s}));

    // Corrected, the same inclusion goes through.
    f.screen->EdtCod->setText(u"00004"_s);
    f.ui->answerQuestion(true);
    f.pnl->BtnInc->click();
    QCOMPARE(f.errors.size(), 1);
    verifyBrowse(f);
    QCOMPARE(f.tableRows().last(), u"00004|REPETIDO"_s);
}

void TestPainel::failedNextCodeLeavesFieldsClearedInBrowse()
{
    Fixture f(Fixture::Types{{u"00001"_s, u"ATA"_s}, {u"ZZZ"_s, u"SEM NUMERO"_s}});
    f.pnl->BtnInc->click();
    QCOMPARE(f.errors.size(), 1);
    QCOMPARE(f.pnl->BtnInc->text(), u"Incluir"_s);
    QCOMPARE(f.pnl->BtnSair->text(), u"Sair"_s);
    QCOMPARE(f.screen->EdtCod->text(), QString());
    QCOMPARE(f.screen->EdtDesc->text(), QString());
    QCOMPARE(enabledButtons(f.pnl), kAllEnabled);
}

void TestPainel::confirmOperationWithoutCaptionChange()
{
    Fixture f;
    startInclusion(f, u"ATA 2"_s);
    f.pnl->InsCols = u"(COD,DESCRICAO)"_s;
    f.pnl->InsVals = u"(\"00004\",\"ATA 2\")"_s;
    f.ui->answerQuestion(true);
    f.pnl->BtnConfClick(f.pnl->BtnConf);
    QCOMPARE(f.writes(), QStringList{
        u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00004\",\"ATA 2\")"_s});
    QCOMPARE(f.pnl->BtnInc->text(), u"Confirmar"_s); // no caption changes
    QCOMPARE(f.pnl->BtnSair->text(), u"Cancelar"_s);
    QVERIFY(!f.screen->EdtDesc->isEnabled()); // the step locked the fields
    QCOMPARE(enabledButtons(f.pnl), kAllEnabled);
}

void TestPainel::editThenSave()
{
    Fixture f;
    f.pnl->BtnAlt->show();
    f.screen->EdtDta->setText(u"01/01/01"_s);
    f.pnl->BtnProx->click(); // on 00002 OFICIO
    QCOMPARE(f.screen->EdtCod->text(), u"00002"_s);

    f.pnl->BtnAlt->click();
    verifyEditing(f);
    QCOMPARE(f.screen->EdtDesc->text(), u"OFICIO"_s); // nothing cleared
    QCOMPARE(f.screen->EdtDta->text(), u"01/01/01"_s);

    f.screen->EdtDesc->setText(u"OFÍCIO"_s);
    f.pnl->BtnAlt->click();
    QCOMPARE(f.writes(), QStringList{u"UPDATE tipo_arq SET descricao=\"OFÍCIO\" Where cod=\"00002\""_s});
    verifyBrowse(f);
    QVERIFY(f.ui->calls().isEmpty()); // updates are not confirmed
    QCOMPARE(f.query().recNo(), 0);
    QCOMPARE(f.screen->EdtDesc->text(), u"OFÍCIO"_s);
    QCOMPARE(f.tableRows().at(1), u"00002|OFÍCIO"_s);
}

void TestPainel::editThenCancel()
{
    Fixture f;
    f.pnl->BtnAlt->show();
    f.pnl->BtnAlt->click();
    verifyEditing(f);
    f.screen->EdtDesc->setText(u"DESCARTADO"_s);
    f.pnl->BtnSair->click();
    verifyBrowse(f);
    QCOMPARE(f.screen->EdtDesc->text(), u"ATA"_s);
    QVERIFY(f.writes().isEmpty());
}

void TestPainel::editWithMainWindowAsOwnerActsOnEditCtrlsOnly()
{
    Fixture f;
    f.pnl->EditOwner = &f.mainWindow;
    f.pnl->setEditCtrls({f.screen->EdtDesc, f.screen->EdtDta});
    f.screen->EdtCod->setEnabled(true); // state the owner's routines must not touch
    f.pnl->BtnAlt->show();
    f.pnl->BtnAlt->click();
    QVERIFY(f.pnl->Editing);
    QVERIFY(f.screen->EdtDesc->isEnabled());
    QVERIFY(f.screen->EdtDta->isEnabled());
    QVERIFY(f.screen->EdtCod->isEnabled());

    // Saving locks those owned by the owner: none.
    f.pnl->BtnAlt->click();
    QVERIFY(!f.pnl->Editing);
    QVERIFY(f.screen->EdtDesc->isEnabled());
    QVERIFY(f.screen->EdtCod->isEnabled());
    // The next step locks the host screen's edits whatever the owner is.
    f.pnl->BtnProx->click();
    QVERIFY(!f.screen->EdtDesc->isEnabled());
    QVERIFY(!f.screen->EdtCod->isEnabled());
}

void TestPainel::deleteAnsweredYes()
{
    Fixture f;
    f.pnl->BtnProx->click(); // 00002
    f.ui->answerQuestion(true);
    f.pnl->BtnDel->click();
    const auto questions = f.ui->callsOf(ScriptedPrompt::Kind::Question);
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions.first().title, u"Confirm"_s);
    QCOMPARE(questions.first().text, u"Deseja Excluir o  ?"_s);
    QCOMPARE(f.writes(), QStringList{u"Delete From tipo_arq Where cod=\"00002\""_s});
    QCOMPARE(f.tableRows(), (QStringList{u"00001|ATA"_s, u"00003|PORTARIA"_s}));
    QCOMPARE(f.query().recNo(), 0); // reopened
    QCOMPARE(f.screen->EdtCod->text(), u"00001"_s);
    verifyBrowse(f);
}

void TestPainel::deleteAnsweredNo()
{
    Fixture f;
    f.pnl->BtnProx->click();
    f.ui->answerQuestion(false);
    f.pnl->BtnDel->click();
    QVERIFY(f.writes().isEmpty());
    QCOMPARE(f.tableRows().size(), 3);
    QCOMPARE(f.query().recNo(), 1);
    QCOMPARE(f.screen->EdtCod->text(), u"00002"_s);
    verifyBrowse(f);
}

void TestPainel::deleteIsAskedEvenWithEmptyKey()
{
    Fixture f;
    f.screen->EdtCod->clear();
    f.ui->answerQuestion(true);
    f.pnl->BtnDel->click();
    QCOMPARE(f.ui->callsOf(ScriptedPrompt::Kind::Question).size(), 1);
    QCOMPARE(f.writes(), QStringList{u"Delete From tipo_arq Where cod=\"\""_s});
    QCOMPARE(f.tableRows().size(), 3);
}

void TestPainel::stepping()
{
    Fixture f;
    f.pnl->BtnProx->click();
    f.pnl->BtnProx->click();
    QCOMPARE(f.screen->EdtCod->text(), u"00003"_s);
    f.pnl->BtnProx->click(); // stays on the last row
    QCOMPARE(f.screen->EdtCod->text(), u"00003"_s);
    f.pnl->BtnAnt->click();
    QCOMPARE(f.screen->EdtCod->text(), u"00002"_s);
    verifyBrowse(f);
}

void TestPainel::clkComOutsideOneToFourDoesNothing()
{
    Fixture f;
    f.pnl->ClkCom(1);
    const QString before = enabledButtons(f.pnl);
    f.pnl->ClkCom(0);
    f.pnl->ClkCom(5);
    f.pnl->ClkCom(-1);
    QCOMPARE(enabledButtons(f.pnl), before);
}

void TestPainel::sairEmbeddedInScreenKeepsWindow()
{
    Fixture f;
    f.pnl->BtnSair->click();
    QVERIFY(f.mainWindow.isVisible());
    verifyBrowse(f);
    QVERIFY(f.errors.isEmpty());
}

void TestPainel::sairOnAWindowClosesIt()
{
    QWidget window;
    auto *p = new TFrame1(&window);
    window.show();
    QVERIFY(window.isVisible());
    p->BtnSair->click();
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TestPainel)
#include "tst_painel.moc"
