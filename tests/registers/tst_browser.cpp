// The process browser inside the main window: order, filter, restore, Enter.
#include "ArchiveWindow.h"

#include "app/UntFrameCartulo.h"
#include "db/QueryModel.h"
#include "registers/UntFrameDoc.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

using namespace Qt::StringLiterals;

class TestBrowser : public QObject {
    Q_OBJECT

    std::unique_ptr<ArchiveWindow> fx;
    TFrameDoc *browser = nullptr;

    void start(const QStringList &seed)
    {
        fx = std::make_unique<ArchiveWindow>(seed);
        browser = fx->find<TFrameDoc>(u"FrameDoc1"_s);
        QVERIFY(browser);
        ArchiveWindow::click(fx->window->FMain->spbDocumentos);
        QCOMPARE(fx->window->documentsView(), fx->window->Panel8);
    }
    void startWithFour()
    {
        start({processRow(u"00001"_s, u"Obra da ponte"_s), processRow(u"00004"_s, u"Compra de papel"_s),
               processRow(u"00002"_s, u"Obra \"Norte\""_s), processRow(u"00003"_s, u"Licitação"_s)});
    }
    QStringList listedCodes() const
    {
        QStringList codes;
        for (int row = 0; row < browser->DSProcesso->rowCount(); ++row)
            codes << browser->DSProcesso->index(row, 0).data().toString();
        return codes;
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

    void listsHighestCodeFirst()
    {
        startWithFour();
        QCOMPARE(listedCodes(), (QStringList{u"00004"_s, u"00003"_s, u"00002"_s, u"00001"_s}));
        QCOMPARE(browser->selectedCode(), u"00004"_s);
        QTableView *grid = browser->GrdProcesso;
        QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), u"descricao"_s);
        QCOMPARE(grid->horizontalHeader()->sectionSize(1), 370);
        QCOMPARE(grid->horizontalHeader()->sectionSize(3), 77);
        QVERIFY(grid->isColumnHidden(4));
        QVERIFY(!grid->isColumnHidden(0));
    }

    void columnsSurviveAFilter()
    {
        startWithFour();
        ArchiveWindow::type(browser->EdtPesq, u"obra"_s);
        ArchiveWindow::click(browser->SBtnPesq);
        QCOMPARE(browser->GrdProcesso->horizontalHeader()->sectionSize(1), 370);
        QVERIFY(browser->GrdProcesso->isColumnHidden(4));
    }

    void searchButtonWithEmptyField()
    {
        startWithFour();
        fx->run(u"Insert Into processo (cod,numero,num_doc) VALUES (\"00005\",\"1\",0)"_s); // no description
        fx->takeStatements();
        ArchiveWindow::click(browser->SBtnPesq);
        const QStringList sent = fx->takeStatements();
        QVERIFY2(std::any_of(sent.begin(), sent.end(),
                             [](const QString &s) { return s.contains(u"Where descricao like \"%%\""_s); }),
                 qPrintable(sent.join(u'\n')));
        // "%%" passes every description but a missing one.
        QCOMPARE(listedCodes(), (QStringList{u"00004"_s, u"00003"_s, u"00002"_s, u"00001"_s}));
    }

    void filterThatMatchesNothing()
    {
        startWithFour();
        ArchiveWindow::type(browser->EdtPesq, u"inexistente"_s);
        QCOMPARE(listedCodes().size(), 4); // typing alone does not filter
        ArchiveWindow::click(browser->SBtnPesq);
        QVERIFY(listedCodes().isEmpty());
        QVERIFY(browser->selectedCode().isEmpty());
    }

    void filterFindsEveryCaseAndAccent_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("lower case") << u"obra"_s << QStringList{u"00002"_s, u"00001"_s};
        QTest::newRow("inside the text") << u"PAPEL"_s << QStringList{u"00004"_s};
        QTest::newRow("accented") << u"LICITAÇÃO"_s << QStringList{u"00003"_s};
        QTest::newRow("with a double quote") << u"\"Norte"_s << QStringList{u"00002"_s};
        QTest::newRow("quoted word") << u"\"Norte\""_s << QStringList{u"00002"_s};
        QTest::newRow("a lone quote") << u"\""_s << QStringList{u"00002"_s};
    }
    void filterFindsEveryCaseAndAccent()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, found);
        startWithFour();
        browser->EdtPesq->setFocus();
        ArchiveWindow::type(browser->EdtPesq, typed);
        ArchiveWindow::click(browser->SBtnPesq);
        QCOMPARE(listedCodes(), found);
        QCOMPARE(browser->selectedCode(), found.first());
    }

    void deletingTheLastCharacterRestoresAtOnce()
    {
        startWithFour();
        ArchiveWindow::type(browser->EdtPesq, u"pa"_s);
        ArchiveWindow::click(browser->SBtnPesq);
        QCOMPARE(listedCodes(), QStringList{u"00004"_s});
        QTest::keyClick(browser->EdtPesq, Qt::Key_Backspace);
        QCOMPARE(listedCodes(), QStringList{u"00004"_s}); // "p" left: still the old filter
        fx->takeStatements();
        QTest::keyClick(browser->EdtPesq, Qt::Key_Backspace);
        QCOMPARE(listedCodes(), (QStringList{u"00004"_s, u"00003"_s, u"00002"_s, u"00001"_s}));
        const QStringList sent = fx->takeStatements();
        QVERIFY2(std::any_of(sent.begin(), sent.end(),
                             [](const QString &s) {
                                 return s.contains(u"from processo"_s) && !s.contains(u"Where"_s);
                             }),
                 qPrintable(sent.join(u'\n')));
    }

    void enterOpensTheSelectedProcess()
    {
        startWithFour();
        browser->GrdProcesso->setFocus();
        QTest::keyClick(browser->GrdProcesso, Qt::Key_Return);
        QCOMPARE(fx->window->documentsView(), fx->window->Panel10);
    }

    void buttonsCarryTheirCaptions()
    {
        startWithFour();
        QCOMPARE(browser->BtnSel->text(), u"&Documentos do Processo"_s);
        QCOMPARE(browser->BtnNovo->text(), u"&Novo Processo"_s);
        QCOMPARE(browser->BtnPesq->text(), u"&Processos"_s);
        QVERIFY(browser->BtnSel->isDefault());
    }
};

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
