// The document type screen inside the main window: inclusion after inclusion, search,
// deletion, cancel, and the exit button that is always the way back.
#include "ArchiveWindow.h"

#include "app/UntFrameCartulo.h"
#include "db/Query.h"
#include "editing/FramePesquisa.h"
#include "editing/UntFramePesq.h"
#include "editing/painel.h"
#include "registers/UntFrameTpdoc.h"

#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <functional>

using namespace Qt::StringLiterals;
using Kind = editing::ScriptedPrompt::Kind;

namespace {

QStringList types(int count)
{
    QStringList seed;
    for (int i = 1; i <= count; ++i)
        seed << u"Insert Into tipo_arq (cod,descricao) VALUES (\"%1\",\"TIPO %2\")"_s
                    .arg(QString::number(i).rightJustified(5, u'0'))
                    .arg(i);
    return seed;
}

} // namespace

class TestTypes : public QObject {
    Q_OBJECT

    std::unique_ptr<ArchiveWindow> fx;
    TFrameTpDoc *screen = nullptr;

    void start(const QStringList &seed)
    {
        fx = std::make_unique<ArchiveWindow>(seed);
        screen = fx->find<TFrameTpDoc>(u"FrameTpDoc1"_s);
        QVERIFY(screen);
        ArchiveWindow::click(fx->window->FMain->spbNatureza);
        QVERIFY(fx->window->Panel4->isVisible());
    }
    QPushButton *button(const char *name) const
    {
        return screen->PnlTpDoc->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    void verifyIncluding(const QString &code)
    {
        QCOMPARE(screen->EdtCod->text(), code);
        QVERIFY(screen->EdtDesc->text().isEmpty());
        QVERIFY(screen->EdtDesc->isEnabled());
        QCOMPARE(button("BtnInc")->text(), u"Confirmar"_s);
        QVERIFY(button("BtnSair")->isVisible());
        QCOMPARE(button("BtnSair")->text(), u"Cancelar"_s);
        QVERIFY(!button("BtnPesq")->isEnabled());
        QVERIFY(!button("BtnDel")->isEnabled());
    }
    void verifyBrowsing()
    {
        QCOMPARE(button("BtnInc")->text(), u"Incluir"_s);
        QVERIFY(!button("BtnSair")->isVisible());
        QCOMPARE(button("BtnSair")->text(), u"Cancelar"_s);
        QVERIFY(!screen->EdtDesc->isEnabled());
        QVERIFY(button("BtnPesq")->isEnabled());
    }
    /// Runs the search button with the lookup dialog driven by `choose` while it is modal;
    /// the dialog is closed in any case, so no test can hang on it.
    void search(const std::function<void(TFrmFramePesq *)> &choose)
    {
        TFrmFramePesq *dialog = fx->window->lookupDialog();
        QVERIFY(dialog);
        bool ran = false;
        QTimer driver; // local: it can never fire after this function
        driver.setSingleShot(true);
        QObject::connect(&driver, &QTimer::timeout, dialog, [&] {
            if (!dialog->isVisible())
                return;
            ran = true;
            choose(dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        driver.start(0);
        ArchiveWindow::click(button("BtnPesq"));
        QVERIFY(ran);
        QVERIFY(!dialog->isVisible());
    }

private slots:
    void cleanup()
    {
        if (fx) {
            QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
            QVERIFY(fx->ui->allAnswersUsed());
        }
        fx.reset();
    }

    void opensOnTheFirstTypeLocked()
    {
        start(types(3));
        QCOMPARE(screen->EdtCod->text(), u"00001"_s);
        QCOMPARE(screen->EdtDesc->text(), u"TIPO 1"_s);
        verifyBrowsing();
        QVERIFY(!button("BtnAlt")->isVisible());
    }

    void proposesNextCode_data()
    {
        QTest::addColumn<int>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty table") << 0 << u"00001"_s;
        QTest::newRow("after three") << 3 << u"00004"_s;
    }
    void proposesNextCode()
    {
        QFETCH(int, existing);
        QFETCH(QString, expected);
        start(types(existing));
        ArchiveWindow::click(button("BtnInc"));
        verifyIncluding(expected);
        QCOMPARE(QApplication::focusWidget(), screen->EdtDesc);
    }

    void typedLettersAreStoredInCapitals()
    {
        start({});
        ArchiveWindow::click(button("BtnInc"));
        ArchiveWindow::type(screen->EdtDesc, u"ata"_s);
        QCOMPARE(screen->EdtDesc->text(), u"ATA"_s);
        fx->takeStatements();
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnInc"));
        QVERIFY(fx->takeStatements().contains(u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00001\",\"ATA\")"_s));
        QCOMPARE(fx->rows(u"select cod,descricao from tipo_arq"_s), QStringList{u"00001|ATA"_s});
    }

    void yesStartsTheNextInclusion()
    {
        start(types(3));
        ArchiveWindow::click(button("BtnInc"));
        ArchiveWindow::type(screen->EdtDesc, u"oficio"_s);
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnInc"));
        verifyIncluding(u"00005"_s);
        QCOMPARE(fx->rows(u"select descricao from tipo_arq where cod=\"00004\""_s), QStringList{u"OFICIO"_s});
        // And the way back still works.
        ArchiveWindow::click(button("BtnSair"));
        verifyBrowsing();
        QCOMPARE(screen->EdtCod->text(), u"00004"_s);
    }

    void noKeepsTheInclusionWithItsWayBack()
    {
        start(types(1));
        ArchiveWindow::click(button("BtnInc"));
        ArchiveWindow::type(screen->EdtDesc, u"ata"_s);
        fx->ui->answerQuestion(false);
        ArchiveWindow::click(button("BtnInc"));
        QCOMPARE(screen->EdtCod->text(), u"00002"_s);
        QCOMPARE(screen->EdtDesc->text(), u"ATA"_s);
        QCOMPARE(button("BtnInc")->text(), u"Confirmar"_s);
        QVERIFY(button("BtnSair")->isVisible());
        QCOMPARE(fx->rows(u"select count(*) from tipo_arq"_s), QStringList{u"1"_s});
    }

    void cancelShowsTheLastType()
    {
        start(types(3));
        QCOMPARE(screen->EdtCod->text(), u"00001"_s);
        ArchiveWindow::click(button("BtnInc"));
        ArchiveWindow::click(button("BtnSair"));
        QCOMPARE(screen->EdtCod->text(), u"00003"_s);
        QCOMPARE(screen->EdtDesc->text(), u"TIPO 3"_s);
        verifyBrowsing();
    }

    void stepsStopAtTheEnds_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("prior on the first") << QStringList{u"BtnAnt"_s} << QStringList{u"00001"_s};
        QTest::newRow("next on the last") << QStringList{u"BtnProx"_s, u"BtnProx"_s}
                                          << QStringList{u"00002"_s, u"00002"_s};
    }
    void stepsStopAtTheEnds()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);
        start(types(2));
        for (qsizetype i = 0; i < steps.size(); ++i) {
            ArchiveWindow::click(button(steps[i].toLatin1().constData()));
            QCOMPARE(screen->EdtCod->text(), shown[i]);
        }
    }

    void searchMovesToTheChosenType()
    {
        start(types(3));
        search([](TFrmFramePesq *dialog) {
            QCOMPARE(dialog->FPesq->BaseSql, u"Select cod,descricao from tipo_arq"_s);
            QCOMPARE(dialog->FPesq->GrdFrame->model()->headerData(0, Qt::Horizontal).toString(), u"Codigo"_s);
            QVERIFY(dialog->FPesq->QryFrame->locate(u"cod"_s, u"00002"_s));
            QTest::mouseClick(dialog->FPesq->BtnOk, Qt::LeftButton);
        });
        QCOMPARE(screen->EdtCod->text(), u"00002"_s);
        QCOMPARE(screen->EdtDesc->text(), u"TIPO 2"_s);
    }

    void searchChoosingAMissingCodeChangesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("type added after the screen read its list") << u"stale"_s;
        QTest::newRow("double click on an empty list") << u"empty"_s;
        QTest::newRow("cancelled") << u"cancel"_s;
    }
    void searchChoosingAMissingCodeChangesNothing()
    {
        QFETCH(QString, how);
        start(types(3));
        ArchiveWindow::click(button("BtnProx"));
        QCOMPARE(screen->EdtCod->text(), u"00002"_s);
        if (how == u"stale")
            fx->run(u"Insert Into tipo_arq (cod,descricao) VALUES (\"00009\",\"NOVO\")"_s);
        search([&how](TFrmFramePesq *dialog) {
            TFramePesquisa *lookup = dialog->FPesq;
            if (how == u"stale") {
                QVERIFY(lookup->QryFrame->locate(u"cod"_s, u"00009"_s));
                QTest::mouseClick(lookup->BtnOk, Qt::LeftButton);
            } else if (how == u"empty") {
                ArchiveWindow::type(lookup->EdtValor, u"ZZZ"_s);
                QCOMPARE(lookup->GrdFrame->model()->rowCount(), 0);
                QTest::mouseDClick(lookup->GrdFrame->viewport(), Qt::LeftButton);
            } else {
                QTest::mouseClick(lookup->BtnCancel, Qt::LeftButton);
            }
        });
        QCOMPARE(screen->EdtCod->text(), u"00002"_s);
        QCOMPARE(screen->EdtDesc->text(), u"TIPO 2"_s);
        QCOMPARE(screen->QryTpDoc->asText(0), u"00002"_s);
        // The dialog keeps its filter text for the next lookup; leave it clean for no one.
        fx->window->lookupDialog()->FPesq->EdtValor->clear();
    }

    void deletingTheOnlyTypeEmptiesTheFields()
    {
        start(types(1));
        QCOMPARE(screen->EdtCod->text(), u"00001"_s);
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnDel"));
        QVERIFY(fx->statements.contains(u"Delete From tipo_arq Where cod=\"00001\""_s));
        QVERIFY(screen->EdtCod->text().isEmpty());
        QVERIFY(screen->EdtDesc->text().isEmpty());
        QVERIFY(fx->rows(u"select cod from tipo_arq"_s).isEmpty());
    }

    void deleteAnsweredNoShowsTheSameType()
    {
        start(types(2));
        ArchiveWindow::click(button("BtnProx"));
        fx->ui->answerQuestion(false);
        ArchiveWindow::click(button("BtnDel"));
        QCOMPARE(screen->EdtCod->text(), u"00002"_s);
        QCOMPARE(fx->rows(u"select count(*) from tipo_arq"_s), QStringList{u"2"_s});
        QCOMPARE(fx->ui->callsOf(Kind::Question).first().text, u"Deseja Excluir o  ?"_s);
    }

    void quotesInADescriptionAreStoredAsTyped()
    {
        start({});
        ArchiveWindow::click(button("BtnInc"));
        ArchiveWindow::type(screen->EdtDesc, u"termo \"a\""_s);
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnInc"));
        QCOMPARE(fx->rows(u"select descricao from tipo_arq"_s), QStringList{u"TERMO \"A\""_s});
        ArchiveWindow::click(button("BtnSair"));
        QCOMPARE(screen->EdtDesc->text(), u"TERMO \"A\""_s);
    }
};

QTEST_MAIN(TestTypes)
#include "tst_types.moc"
