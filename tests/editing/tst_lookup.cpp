// The lookup dialog over a real archive: opening, prefix filter, OK and Cancel, a large table.
#include "Archive.h"
#include "ErrorRecorder.h"

#include "db/DbError.h"
#include "db/QueryModel.h"
#include "editing/Edits.h"
#include "editing/FramePesquisa.h"
#include "editing/Guard.h"
#include "editing/UntFramePesq.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

const QString kStatement = u"select cod,descricao from tipo_arq"_s;

struct Fixture {
    TestArchive archive;
    TFrmFramePesq dialog{&archive.connection};
    TFramePesquisa *frame = dialog.FPesq;
    QSignalSpy finished{&dialog, &QDialog::finished};
    QSignalSpy executed{&archive.connection, &db::Connection::statementExecuted};
    ErrorRecorder recorder;
    QStringList &errors = recorder.errors;

    Fixture()
    {
        archive.addTypes({{u"00001"_s, u"ATA"_s},
                          {u"00002"_s, u"OFICIO"_s},
                          {u"00003"_s, u"OFÍCIO CIRCULAR"_s},
                          {u"00004"_s, u"ORDEM DE SERVIÇO"_s},
                          {u"00005"_s, u"ÉDITO"_s},
                          {u"00006"_s, u"A\"B"_s}});
    }

    // The caller's protocol: titles, Prepare, modal show.
    void openLookup()
    {
        frame->ColTitles = {u"Código"_s, u"Descrição"_s};
        frame->Prepare(kStatement);
        dialog.open();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        finished.clear();
        executed.clear();
    }

    QStringList listedCodes()
    {
        db::QueryModel *model = frame->DSFrame;
        model->query()->recordCount(); // every row read
        while (model->canFetchMore({}))
            model->fetchMore({});
        QStringList codes;
        for (int row = 0; row < model->rowCount(); ++row)
            codes << model->data(model->index(row, 0)).toString();
        return codes;
    }

    // Typed one key at a time; accented letters arrive as the key's text, as from a keyboard.
    void type(const QString &text)
    {
        for (const QChar c : text) {
            if (c.unicode() < 128)
                QTest::keyClicks(frame->EdtValor, QString(c));
            else
                QTest::sendKeyEvent(QTest::Click, frame->EdtValor, Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
        }
    }

    QRect rowRect(int row)
    {
        return frame->GrdFrame->visualRect(frame->DSFrame->index(row, 0));
    }
};

int modalResult(const QSignalSpy &finished)
{
    return finished.size() == 1 ? finished.first().first().toInt() : -1;
}

} // namespace

class TestLookup : public QObject {
    Q_OBJECT
private slots:
    void dialogLayout();
    void gridLook();
    void tabOrder();
    void opensOnLastRow();
    void prefixFilterNarrows_data();
    void prefixFilterNarrows();
    void filterStatementText();
    void typedQuoteStaysInsideTheLiteral();
    void emptyResultDisablesOkButDoubleClickChoosesEmpty();
    void okByButtonTakesTheCurrentRow();
    void okByEnter();
    void cancelKeepsPreviousChosenValue_data();
    void cancelKeepsPreviousChosenValue();
    void secondOpeningListsEveryRowAgain();
    void failingStatementLeavesListEmpty();
    void filterOnALargeTableReadsOnlyWhatIsShown();
};

void TestLookup::dialogLayout()
{
    Fixture f;
    QCOMPARE(f.dialog.windowTitle(), u"FrmFramePesq"_s);
    QCOMPARE(f.dialog.size(), QSize(340, 360));
    QCOMPARE(f.dialog.pos(), QPoint(420, 163));
    QCOMPARE(f.frame->objectName(), u"FPesq"_s);
    f.openLookup();
    QCOMPARE(f.frame->geometry(), f.dialog.rect());

    TLabeledEdit *edt = f.frame->EdtValor;
    QCOMPARE(edt->objectName(), u"EdtValor"_s);
    // Designed at 49,8, 264 wide; a caption font too wide for the 44 pixels moves the edit's
    // left edge rather than clipping the caption.
    QVERIFY(edt->x() >= 49);
    QCOMPARE(edt->x() == 49, edt->label()->sizeHint().width() <= 42);
    QCOMPARE(edt->y(), 8);
    QCOMPARE(edt->geometry().right() + 1, 49 + 264);
    QCOMPARE(edt->label()->text(), u"Valor....:"_s);
    QVERIFY(edt->label()->x() >= 0);
    QCOMPARE(edt->label()->width(), edt->label()->sizeHint().width());
    QCOMPARE(edt->label()->geometry().right() + 1 + 5, edt->x());
    QCOMPARE(edt->label()->geometry().bottom(), edt->geometry().bottom());
    QCOMPARE(edt->label()->buddy(), edt);

    QCOMPARE(f.frame->BtnCancel->text(), u"Cancelar"_s);
    QCOMPARE(f.frame->BtnCancel->geometry(), QRect(163, 5, 75, 25));
    QCOMPARE(f.frame->BtnOk->text(), u"OK"_s);
    QCOMPARE(f.frame->BtnOk->geometry(), QRect(241, 5, 75, 25));
    QVERIFY(f.frame->BtnOk->isDefault());
    QCOMPARE(f.frame->GrdFrame->objectName(), u"GrdFrame"_s);
    QVERIFY(!f.frame->GrdFrame->accessibleName().isEmpty());
    // The grid fills the middle between the 33-pixel filter strip and the 32-pixel buttons.
    QCOMPARE(f.frame->GrdFrame->y(), 33);
    QCOMPARE(f.frame->GrdFrame->geometry().bottom() + 1, 360 - 32);
}

void TestLookup::gridLook()
{
    Fixture f;
    f.openLookup();
    QTableView *grid = f.frame->GrdFrame;
    QCOMPARE(grid->horizontalHeader()->font().family(), u"Times New Roman"_s);
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(grid->frameShape(), QFrame::NoFrame);
    QVERIFY(grid->showGrid());
    QVERIFY(grid->horizontalHeader()->isVisible());
    QCOMPARE(grid->verticalHeader(), f.frame->rowIndicator());
    QVERIFY(grid->verticalHeader()->isVisible());
    QCOMPARE(f.frame->DSFrame->headerData(0, Qt::Horizontal).toString(), u"Código"_s);
    QCOMPARE(f.frame->DSFrame->headerData(1, Qt::Horizontal).toString(), u"Descrição"_s);

    // Fixed cells are money green: most of the title strip shows that colour.
    QHeaderView *header = grid->horizontalHeader();
    const int sectionsWidth = header->sectionViewportPosition(1) + header->sectionSize(1);
    const QImage titles = header->grab(QRect(0, 0, sectionsWidth, header->height())).toImage();
    QVERIFY(!titles.isNull());
    int green = 0;
    for (int y = 0; y < titles.height(); ++y)
        for (int x = 0; x < titles.width(); ++x)
            green += titles.pixelColor(x, y) == QColor(0xC0, 0xDC, 0xC0);
    QVERIFY2(green > titles.width() * titles.height() / 2,
             qPrintable(u"%1 of %2x%3"_s.arg(green).arg(titles.width()).arg(titles.height())));
}

void TestLookup::tabOrder()
{
    Fixture f;
    f.openLookup();
    QVERIFY(QTest::qWaitForWindowActive(&f.dialog));
    f.frame->GrdFrame->setFocus();
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(order, (QStringList{u"GrdFrame"_s, u"BtnOk"_s, u"BtnCancel"_s, u"EdtValor"_s}));
}

void TestLookup::opensOnLastRow()
{
    Fixture f;
    f.openLookup();
    QCOMPARE(f.frame->BaseSql, kStatement);
    QCOMPARE(f.frame->QryFrame->recNo(), 5);
    QCOMPARE(f.frame->QryFrame->asText(0), u"00006"_s);
    QCOMPARE(f.frame->GrdFrame->currentIndex().row(), 5);
    QCOMPARE(f.frame->rowIndicator()->indicatedRow(), 5);
    QVERIFY(f.frame->BtnOk->isEnabled());
    QCOMPARE(f.listedCodes().size(), 6);
}

void TestLookup::prefixFilterNarrows_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("codes");
    QTest::newRow("O") << u"O"_s << QStringList{u"00002"_s, u"00003"_s, u"00004"_s};
    QTest::newRow("OF") << u"OF"_s << QStringList{u"00002"_s, u"00003"_s};
    QTest::newRow("of, any letter case") << u"of"_s << QStringList{u"00002"_s, u"00003"_s};
    QTest::newRow("OFÍ, accented") << u"OFÍ"_s << QStringList{u"00003"_s};
    QTest::newRow("ofí, accented lower case") << u"ofí"_s << QStringList{u"00003"_s};
    QTest::newRow("é") << u"é"_s << QStringList{u"00005"_s};
    QTest::newRow("ordem de serviço") << u"ordem de serviço"_s << QStringList{u"00004"_s};
    QTest::newRow("prefix only, not inside") << u"CIRCULAR"_s << QStringList{};
    QTest::newRow("nothing") << u"XYZ"_s << QStringList{};
}

void TestLookup::prefixFilterNarrows()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, codes);
    Fixture f;
    f.openLookup();
    f.type(typed);
    QCOMPARE(f.listedCodes(), codes);
    QVERIFY(f.errors.isEmpty());
    // After the filter the current row is the first one.
    QCOMPARE(f.frame->QryFrame->recNo(), codes.isEmpty() ? -1 : 0);
    QCOMPARE(f.frame->BtnOk->isEnabled(), !codes.isEmpty());
    QCOMPARE(f.frame->rowIndicator()->indicatedRow(), codes.isEmpty() ? -1 : 0);
    QCOMPARE(f.frame->DSFrame->headerData(1, Qt::Horizontal).toString(), u"Descrição"_s);

    // Emptying the field lists every row again.
    f.frame->EdtValor->clear();
    QCOMPARE(f.listedCodes().size(), 6);
}

void TestLookup::filterStatementText()
{
    Fixture f;
    f.openLookup();
    f.type(u"OF"_s);
    QCOMPARE(f.executed.size(), 2); // one statement per keystroke
    const QStringList lines = f.executed.last().first().toString().split(QRegularExpression(u"\r?\n"_s));
    QCOMPARE(lines.mid(0, 2), (QStringList{kStatement, u" Where descricao like \"OF%\""_s}));
    QVERIFY(lines.size() == 2 || (lines.size() == 3 && lines[2].isEmpty()));
}

void TestLookup::typedQuoteStaysInsideTheLiteral()
{
    Fixture f;
    f.openLookup();
    f.type(u"a\""_s);
    QVERIFY2(f.errors.isEmpty(), qPrintable(f.errors.join(u'\n')));
    QVERIFY(f.executed.last().first().toString().contains(u" Where descricao like \"a\"\"%\""_s));
    QCOMPARE(f.listedCodes(), QStringList{u"00006"_s});
}

void TestLookup::emptyResultDisablesOkButDoubleClickChoosesEmpty()
{
    Fixture f;
    f.frame->ChosenValue = u"00001"_s;
    f.openLookup();
    f.type(u"XYZ"_s);
    QVERIFY(!f.frame->BtnOk->isEnabled());

    QTest::keyClick(f.frame->EdtValor, Qt::Key_Return); // Enter does nothing
    QVERIFY(f.dialog.isVisible());
    QCOMPARE(f.finished.size(), 0);

    QTest::mouseDClick(f.frame->GrdFrame->viewport(), Qt::LeftButton);
    QCOMPARE(modalResult(f.finished), int(TFrmFramePesq::mrOk));
    QCOMPARE(f.frame->ChosenValue, QString());
    QVERIFY(!f.dialog.isVisible());
}

void TestLookup::okByButtonTakesTheCurrentRow()
{
    Fixture f;
    f.openLookup();
    QTest::mouseClick(f.frame->GrdFrame->viewport(), Qt::LeftButton, {}, f.rowRect(1).center());
    QCOMPARE(f.frame->QryFrame->recNo(), 1);
    QCOMPARE(f.frame->rowIndicator()->indicatedRow(), 1);
    QTest::mouseClick(f.frame->BtnOk, Qt::LeftButton);
    QCOMPARE(modalResult(f.finished), int(TFrmFramePesq::mrOk));
    QCOMPARE(f.frame->ChosenValue, u"00002"_s);
}

void TestLookup::okByEnter()
{
    Fixture f;
    f.openLookup();
    QVERIFY(QTest::qWaitForWindowActive(&f.dialog));
    f.type(u"OF"_s);
    QTest::keyClick(f.frame->EdtValor, Qt::Key_Return);
    QCOMPARE(modalResult(f.finished), int(TFrmFramePesq::mrOk));
    QCOMPARE(f.frame->ChosenValue, u"00002"_s);

    // Enter in the list chooses its current row too.
    f.openLookup();
    f.frame->GrdFrame->setFocus();
    QTest::keyClick(f.frame->GrdFrame, Qt::Key_Up);
    QCOMPARE(f.frame->QryFrame->recNo(), 4);
    QTest::keyClick(f.frame->GrdFrame, Qt::Key_Return);
    QCOMPARE(modalResult(f.finished), int(TFrmFramePesq::mrOk));
    QCOMPARE(f.frame->ChosenValue, u"00005"_s);
}

void TestLookup::cancelKeepsPreviousChosenValue_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancelar") << u"button"_s;
    QTest::newRow("Esc") << u"escape"_s;
    QTest::newRow("window closed") << u"close"_s;
}

void TestLookup::cancelKeepsPreviousChosenValue()
{
    QFETCH(QString, how);
    Fixture f;
    f.openLookup();
    QVERIFY(QTest::qWaitForWindowActive(&f.dialog));
    f.frame->BtnOk->click();
    QCOMPARE(f.frame->ChosenValue, u"00006"_s);

    f.openLookup();
    QVERIFY(QTest::qWaitForWindowActive(&f.dialog));
    QTest::mouseClick(f.frame->GrdFrame->viewport(), Qt::LeftButton, {}, f.rowRect(0).center());
    if (how == u"button")
        QTest::mouseClick(f.frame->BtnCancel, Qt::LeftButton);
    else if (how == u"escape")
        QTest::keyClick(f.frame->GrdFrame, Qt::Key_Escape);
    else
        f.dialog.close();
    QCOMPARE(modalResult(f.finished), int(TFrmFramePesq::mrCancel));
    QCOMPARE(f.frame->ChosenValue, u"00006"_s);
    QVERIFY(!f.dialog.isVisible());
}

void TestLookup::secondOpeningListsEveryRowAgain()
{
    Fixture f;
    f.openLookup();
    f.type(u"OF"_s);
    QCOMPARE(f.listedCodes().size(), 2);
    f.frame->BtnOk->click();

    f.openLookup();
    QCOMPARE(f.frame->EdtValor->text(), u"OF"_s); // the field keeps its text
    QCOMPARE(f.listedCodes().size(), 6);
    QCOMPARE(f.frame->QryFrame->recNo(), 5);
}

void TestLookup::failingStatementLeavesListEmpty()
{
    Fixture f;
    f.openLookup();
    f.frame->BtnOk->click();
    QVERIFY_THROWS_EXCEPTION(db::DbError, f.frame->Prepare(u"select cod,descricao from tabela_nenhuma"_s));
    QCOMPARE(f.frame->DSFrame->rowCount(), 0);
    QVERIFY(!f.frame->BtnOk->isEnabled());
    QCOMPARE(f.frame->rowIndicator()->indicatedRow(), -1);
    // A filter on the failed statement fails too and reaches the hook; the list stays empty.
    f.type(u"A"_s);
    QCOMPARE(f.errors.size(), 1);
    QCOMPARE(f.frame->DSFrame->rowCount(), 0);
    // The next lookup works again.
    f.frame->Prepare(kStatement);
    QCOMPARE(f.frame->DSFrame->rowCount(), 6);
}

void TestLookup::filterOnALargeTableReadsOnlyWhatIsShown()
{
    Fixture f;
    char *message = nullptr;
    const int rc = sqlite3_exec(
        f.archive.connection.handle(),
        "DELETE FROM tipo_arq;"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
        "INSERT INTO tipo_arq (cod, descricao) SELECT printf('%05d', i - 1), 'TIPO ' || i FROM n;",
        nullptr, nullptr, &message);
    QVERIFY2(rc == SQLITE_OK, message);
    f.openLookup();
    QCOMPARE(f.frame->QryFrame->recNo(), 99999);
    QCOMPARE(f.frame->GrdFrame->currentIndex().row(), 99999);

    f.type(u"TIPO 4999"_s);
    // Only the rows the grid needs were read, not the whole result.
    QVERIFY(!f.frame->QryFrame->isComplete() || f.frame->QryFrame->fetchedCount() < 1000);
    QVERIFY(f.frame->QryFrame->fetchedCount() < 1000);
    QCOMPARE(f.frame->QryFrame->asText(1), u"TIPO 4999"_s);
    QCOMPARE(f.listedCodes().size(), 11); // TIPO 4999 and TIPO 49990 to 49999
    QVERIFY(f.errors.isEmpty());
}

QTEST_MAIN(TestLookup)
#include "tst_lookup.moc"
