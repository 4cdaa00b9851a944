// The process screen inside the main window: inclusion, edit, deletion, stepping.
#include "ArchiveWindow.h"

#include "app/UntFrameCartulo.h"
#include "editing/Edits.h"
#include "editing/painel.h"
#include "registers/UntFrameDoc.h"
#include "registers/UntFrameProcesso.h"

#include <QFile>
#include <sqlite3.h>
#include <QPushButton>

using namespace Qt::StringLiterals;
using Kind = editing::ScriptedPrompt::Kind;

namespace {

QString documentRow(const QString &process, const QString &code)
{
    return u"Insert Into documento (cod,processo,descricao) VALUES (\"%1\",\"%2\",\"D\")"_s.arg(code, process);
}

const QString kWarning = u"ATENÇÃO!!!\n\rSe este processo for excluido, todos os documentos relaciondos a "
                         u"ele serão excluidos tambem.\n\rDeseja continur???"_s;

} // namespace

class TestProcesses : public QObject {
    Q_OBJECT

    std::unique_ptr<ArchiveWindow> fx;
    TFrameProcesso *screen = nullptr;
    TFrameDoc *browser = nullptr;

    void start(const QStringList &seed = {})
    {
        fx = std::make_unique<ArchiveWindow>(seed);
        screen = fx->find<TFrameProcesso>(u"FrameProcesso1"_s);
        browser = fx->find<TFrameDoc>(u"FrameDoc1"_s);
        QVERIFY(screen);
        QVERIFY(browser);
        ArchiveWindow::click(fx->window->FMain->spbDocumentos);
    }
    QPushButton *button(const char *name) const
    {
        return screen->PnlProcesso->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    void browse() { ArchiveWindow::click(browser->BtnPesq); }
    void includeNew() { ArchiveWindow::click(browser->BtnNovo); }
    void typeDate(const QString &digits)
    {
        QTest::mouseClick(screen->EdtDta, Qt::LeftButton, {}, QPoint(2, screen->EdtDta->height() / 2));
        screen->EdtDta->setCursorPosition(0);
        ArchiveWindow::type(screen->EdtDta, digits);
    }
    void retype(QLineEdit *edit, const QString &text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        ArchiveWindow::type(edit, text);
    }

private slots:
    void cleanup()
    {
        if (fx)
            QVERIFY2(fx->ui->allAnswersUsed(), "a scripted answer was left over");
        fx.reset();
    }

    void proposesNextCode_data()
    {
        QTest::addColumn<QStringList>("seed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty table") << QStringList{} << u"00001"_s;
        QTest::newRow("after 00041") << QStringList{processRow(u"00007"_s, u"A"_s), processRow(u"00041"_s, u"B"_s)}
                                     << u"00042"_s;
    }
    void proposesNextCode()
    {
        QFETCH(QStringList, seed);
        QFETCH(QString, expected);
        start(seed);
        includeNew();
        QCOMPARE(fx->window->documentsView(), fx->window->Panel11);
        QCOMPARE(screen->EdtCod->text(), expected);
        QCOMPARE(button("BtnInc")->text(), u"Confirmar"_s);
        QCOMPARE(button("BtnSair")->text(), u"Cancelar"_s);
        QVERIFY(screen->EdtDesc->isEnabled());
        QVERIFY(!screen->EdtCod->isEnabled());
        QVERIFY(screen->EdtDesc->text().isEmpty());
        QVERIFY(fx->errors.isEmpty());
    }

    void emptyCountAndDateInsertZeroAndNull()
    {
        start();
        includeNew();
        ArchiveWindow::type(screen->EdtDesc, u"Obra"_s);
        QVERIFY(screen->EdtNumOfDoc->text().isEmpty());
        QCOMPARE(screen->EdtDta->text(), TMaskEdit::emptyText());
        fx->takeStatements();
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnInc"));
        QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
        QVERIFY(fx->takeStatements().contains(
            u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"00001\",\"Obra\",\"\",NULL,0)"_s));
        QCOMPARE(fx->rows(u"select cod,descricao,data,num_doc from processo"_s),
                 QStringList{u"00001|Obra|<null>|0"_s});
        QCOMPARE(fx->ui->callsOf(Kind::Question).size(), 1);
        QCOMPARE(fx->ui->callsOf(Kind::Question).first().title, u"Confirm"_s);
        QCOMPARE(fx->ui->callsOf(Kind::Question).first().text, u"Deseja Incluir o  ?"_s);
        QCOMPARE(button("BtnInc")->text(), u"Incluir"_s);
        QCOMPARE(button("BtnSair")->text(), u"Sair"_s);
        QVERIFY(!screen->EdtDesc->isEnabled());
    }

    void numberFieldsTakeDigitsCommaAndStop_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("number: letters refused") << u"EdtNum"_s << u"1a2b"_s << u"12"_s;
        QTest::newRow("number: comma and full stop") << u"EdtNum"_s << u"1,5.2"_s << u"1,5.2"_s;
        QTest::newRow("number: minus and blank refused") << u"EdtNum"_s << u"-3 4"_s << u"34"_s;
        QTest::newRow("documents: letters refused") << u"EdtNumOfDoc"_s << u"x7y"_s << u"7"_s;
        QTest::newRow("documents: comma") << u"EdtNumOfDoc"_s << u"2,5"_s << u"2,5"_s;
        QTest::newRow("documents: full stop") << u"EdtNumOfDoc"_s << u"2.Q5"_s << u"2.5"_s;
    }
    void numberFieldsTakeDigitsCommaAndStop()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        start();
        includeNew();
        auto *edit = screen->findChild<QLineEdit *>(field);
        QVERIFY(edit);
        ArchiveWindow::type(edit, typed);
        QCOMPARE(edit->text(), expected);
        QTest::keyClick(edit, Qt::Key_Backspace); // backspace passes the filter
        QCOMPARE(edit->text(), expected.chopped(1));
    }

    void pastedLettersNeverReachNumberFields()
    {
        start();
        includeNew();
        screen->EdtNumOfDoc->setFocus();
        screen->EdtNumOfDoc->insert(u"1);"_s);
        QVERIFY(screen->EdtNumOfDoc->text().isEmpty());
    }

    void deletionAnswers_data()
    {
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QStringList>("remaining");
        QTest::addColumn<QString>("shown");
        const QStringList all{u"00001"_s, u"00002"_s, u"00003"_s};
        QTest::newRow("No to the warning") << QList<bool>{false} << all << u"00002"_s;
        QTest::newRow("Yes, then No") << QList<bool>{true, false} << all << u"00002"_s;
        // Re-query puts the query on the first row left, then the step moves on.
        QTest::newRow("Yes, Yes") << QList<bool>{true, true} << QStringList{u"00002"_s, u"00003"_s} << u"00003"_s;
    }
    void deletionAnswers()
    {
        QFETCH(QList<bool>, answers);
        QFETCH(QStringList, remaining);
        QFETCH(QString, shown);
        start({processRow(u"00001"_s, u"A"_s), processRow(u"00002"_s, u"B"_s), processRow(u"00003"_s, u"C"_s)});
        browse();
        QCOMPARE(screen->EdtCod->text(), u"00001"_s);
        for (bool answer : answers)
            fx->ui->answerQuestion(answer);
        ArchiveWindow::click(button("BtnDel"));
        QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
        QCOMPARE(fx->rows(u"select cod from processo order by cod"_s), remaining);
        QCOMPARE(screen->EdtCod->text(), shown);
        const auto questions = fx->ui->callsOf(Kind::Question);
        QCOMPARE(questions.size(), answers.size());
        QCOMPARE(questions[0].title, u"Error"_s);
        QCOMPARE(questions[0].text, kWarning);
        if (questions.size() > 1) {
            QCOMPARE(questions[1].title, u"Confirm"_s);
            QCOMPARE(questions[1].text, u"Deseja Excluir o  ?"_s);
        }
        QCOMPARE(fx->ui->callsOf(Kind::Beep).size(), 1);
    }

    void deletingProcessTakesItsDocumentsAndMovesTheirPages()
    {
        start({processRow(u"00001"_s, u"A"_s), processRow(u"00002"_s, u"B"_s), documentRow(u"00001"_s, u"00001"_s),
               documentRow(u"00001"_s, u"00002"_s), documentRow(u"00002"_s, u"00001"_s)});
        const QString pages = fx->programDir() + u"/dados/laudas/"_s;
        const QStringList ownPages{u"0000100001001.jpg"_s, u"0000100001002.jpg"_s, u"0000100002001.jpg"_s};
        const QString otherPage = u"0000200001001.jpg"_s;
        for (const QString &name : ownPages + QStringList{otherPage}) {
            QFile page(pages + name);
            QVERIFY(page.open(QIODevice::WriteOnly));
            page.write(name.toLatin1());
        }
        browse();
        QCOMPARE(screen->EdtCod->text(), u"00001"_s);
        fx->ui->answerQuestion(true);
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnDel"));
        QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
        QVERIFY(fx->statements.contains(u"Delete From processo Where cod=\"00001\""_s));
        QCOMPARE(fx->rows(u"select processo,cod from documento"_s), QStringList{u"00002|00001"_s});
        for (const QString &name : ownPages) {
            QVERIFY2(!QFile::exists(pages + name), qPrintable(name));
            QFile moved(pages + u"excluidas/"_s + name);
            QVERIFY2(moved.open(QIODevice::ReadOnly), qPrintable(name));
            QCOMPARE(moved.readAll(), name.toLatin1());
        }
        QVERIFY(QFile::exists(pages + otherPage));
    }

    // The process row (with its documents) and their page files go together or not at all.
    void processDeletionAndItsPagesSucceedOrFailTogether_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("pages cannot move") << u"move"_s;
        QTest::newRow("row cannot be deleted") << u"delete"_s;
    }
    void processDeletionAndItsPagesSucceedOrFailTogether()
    {
        QFETCH(QString, failing);
        start({processRow(u"00001"_s, u"A"_s), documentRow(u"00001"_s, u"00001"_s), documentRow(u"00001"_s, u"00002"_s)});
        const QString pages = fx->programDir() + u"/dados/laudas/"_s;
        const QStringList own{u"0000100001001.jpg"_s, u"0000100001002.jpg"_s, u"0000100002001.jpg"_s};
        for (const QString &name : own) {
            QFile page(pages + name);
            QVERIFY(page.open(QIODevice::WriteOnly));
            page.write(name.toLatin1());
        }
        if (failing == u"move") {
            QFile blocker(pages + u"excluidas"_s); // a file where the folder goes
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else {
            char *error = nullptr;
            const int rc = sqlite3_exec(fx->window->ConnArq->handle(),
                                        "CREATE TRIGGER recusa BEFORE DELETE ON processo "
                                        "BEGIN SELECT RAISE(ABORT, 'exclusão recusada'); END",
                                        nullptr, nullptr, &error);
            sqlite3_free(error);
            QCOMPARE(rc, SQLITE_OK);
        }
        browse();
        fx->ui->answerQuestion(true);
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnDel"));

        QCOMPARE(fx->rows(u"select cod from processo"_s), QStringList{u"00001"_s});
        QCOMPARE(fx->rows(u"select processo,cod from documento"_s), (QStringList{u"00001|00001"_s, u"00001|00002"_s}));
        QCOMPARE(QDir(pages).entryList(QDir::Files, QDir::Name), own + (failing == u"move" ? QStringList{u"excluidas"_s} : QStringList()));
        for (const QString &name : own) {
            QFile page(pages + name);
            QVERIFY(page.open(QIODevice::ReadOnly));
            QCOMPARE(page.readAll(), name.toLatin1());
        }
        const auto messages = fx->ui->callsOf(Kind::Message);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().text.startsWith(u"O processo não foi excluído"_s), qPrintable(messages.first().text));
    }

    void deletingOnAnEmptyTableMovesNothing()
    {
        start();
        const QString pages = fx->programDir() + u"/dados/laudas/"_s;
        QFile orphan(pages + u"0000100001001.jpg"_s); // left by nobody the table knows
        QVERIFY(orphan.open(QIODevice::WriteOnly));
        orphan.close();
        browse();
        fx->ui->answerQuestion(true);
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnDel"));
        QVERIFY(screen->EdtCod->text().isEmpty());
        QVERIFY(QFile::exists(orphan.fileName()));
        QVERIFY(!QDir(pages + u"excluidas"_s).exists());
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
    }

    void cancellingAnInclusionShowsTheLastProcess()
    {
        start({processRow(u"00001"_s, u"A"_s), processRow(u"00002"_s, u"B"_s), processRow(u"00003"_s, u"C"_s)});
        browse();
        QCOMPARE(screen->EdtDesc->text(), u"A"_s);
        ArchiveWindow::click(button("BtnInc"));
        QCOMPARE(screen->EdtCod->text(), u"00004"_s);
        ArchiveWindow::type(screen->EdtDesc, u"typed"_s);
        ArchiveWindow::click(button("BtnSair"));
        QCOMPARE(screen->EdtCod->text(), u"00003"_s);
        QCOMPARE(screen->EdtDesc->text(), u"C"_s);
        QCOMPARE(button("BtnInc")->text(), u"Incluir"_s);
        QCOMPARE(button("BtnSair")->text(), u"Sair"_s);
        QVERIFY(!screen->EdtDesc->isEnabled());
        QCOMPARE(fx->window->documentsView(), fx->window->Panel11); // cancelling stays here
        QCOMPARE(fx->rows(u"select count(*) from processo"_s), QStringList{u"3"_s});
    }

    void endsOfTheTable_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("prior on the first") << QStringList{u"BtnAnt"_s} << QStringList{u"00001"_s};
        QTest::newRow("next to the last and beyond") << QStringList{u"BtnProx"_s, u"BtnProx"_s, u"BtnProx"_s}
                                                     << QStringList{u"00002"_s, u"00003"_s, u"00003"_s};
        QTest::newRow("back from the last end") << QStringList{u"BtnProx"_s, u"BtnProx"_s, u"BtnProx"_s, u"BtnAnt"_s}
                                                << QStringList{u"00002"_s, u"00003"_s, u"00003"_s, u"00002"_s};
    }
    void endsOfTheTable()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);
        start({processRow(u"00001"_s, u"A"_s), processRow(u"00002"_s, u"B"_s), processRow(u"00003"_s, u"C"_s)});
        browse();
        for (qsizetype i = 0; i < steps.size(); ++i) {
            ArchiveWindow::click(button(steps[i].toLatin1().constData()));
            QCOMPARE(screen->EdtCod->text(), shown[i]);
        }
    }

    void failedUpdateStaysInEditMode()
    {
        start({processRow(u"00001"_s, u"A"_s, u"38061"_s, u"2"_s)});
        browse();
        ArchiveWindow::click(button("BtnAlt"));
        QCOMPARE(button("BtnAlt")->text(), u"Gravar"_s);
        retype(screen->EdtDesc, u"B"_s);
        retype(screen->EdtNumOfDoc, u"1,5"_s); // no number: the engine refuses the row
        ArchiveWindow::click(button("BtnAlt"));
        QCOMPARE(fx->errors.size(), 1);
        QCOMPARE(button("BtnAlt")->text(), u"Gravar"_s);
        QCOMPARE(button("BtnSair")->text(), u"Cancelar"_s);
        QVERIFY(screen->PnlProcesso->Editing);
        QVERIFY(screen->EdtDesc->isEnabled());
        QCOMPARE(screen->EdtDesc->text(), u"B"_s);
        QCOMPARE(screen->EdtNumOfDoc->text(), u"1,5"_s);
        QCOMPARE(fx->rows(u"select descricao,num_doc from processo"_s), QStringList{u"A|2"_s});
    }

    void exactInsertAndUpdateTexts()
    {
        start({processRow(u"00006"_s, u"Anterior"_s)});
        includeNew();
        QCOMPARE(screen->EdtCod->text(), u"00007"_s);
        ArchiveWindow::type(screen->EdtDesc, u"Licitação 12"_s);
        ArchiveWindow::type(screen->EdtNum, u"12"_s);
        typeDate(u"150304"_s);
        QCOMPARE(screen->EdtDta->text(), u"15/03/04"_s);
        ArchiveWindow::type(screen->EdtNumOfDoc, u"3"_s);
        fx->takeStatements();
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnInc"));
        QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
        QVERIFY(fx->takeStatements().contains(
            u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"00007\",\"Licitação 12\",\"12\",38061,3)"_s));

        ArchiveWindow::click(button("BtnAlt"));
        ArchiveWindow::click(button("BtnAlt"));
        QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
        QVERIFY(fx->takeStatements().contains(
            u"UPDATE processo SET descricao=\"Licitação 12\",numero=\"12\",data=\"15/03/04\",num_doc=\"3\" Where cod=\"00007\""_s));
        QCOMPARE(button("BtnAlt")->text(), u"Editar"_s);
        QCOMPARE(fx->rows(u"select cod,descricao,numero,data,num_doc from processo where cod=\"00007\""_s),
                 QStringList{u"00007|Licitação 12|12|15/03/04|3"_s});
        QCOMPARE(fx->ui->callsOf(Kind::Question).size(), 1); // updates are not confirmed
    }

    void blankDateInAnUpdateStoresNull()
    {
        start({processRow(u"00001"_s, u"A"_s, u"38061"_s, u"2"_s)});
        browse();
        QCOMPARE(screen->EdtDta->text(), u"15/03/04"_s);
        ArchiveWindow::click(button("BtnAlt"));
        screen->EdtDta->setFocus();
        screen->EdtDta->selectAll();
        QTest::keyClick(screen->EdtDta, Qt::Key_Backspace);
        QCOMPARE(screen->EdtDta->text(), TMaskEdit::emptyText());
        ArchiveWindow::click(button("BtnAlt"));
        QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
        QCOMPARE(fx->rows(u"select descricao,data,num_doc from processo"_s), QStringList{u"A|<null>|2"_s});
        QCOMPARE(button("BtnAlt")->text(), u"Editar"_s);
    }

    void quotesAreStoredAsTyped_data()
    {
        QTest::addColumn<QString>("included");
        QTest::addColumn<QString>("edited");
        QTest::newRow("quoted word") << u"Obra \"Norte\""_s << u"Obra \"Sul\""_s;
        QTest::newRow("lone quote") << u"\""_s << u"\"\""_s;
        QTest::newRow("would close the literal") << u"x\",\"1\",NULL,0)--"_s << u"y\",numero=\"9"_s;
    }
    void quotesAreStoredAsTyped()
    {
        QFETCH(QString, included);
        QFETCH(QString, edited);
        start();
        includeNew();
        ArchiveWindow::type(screen->EdtDesc, included);
        ArchiveWindow::type(screen->EdtNum, u"5"_s);
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnInc"));
        QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
        QCOMPARE(fx->rows(u"select descricao,numero from processo"_s), QStringList{included + u"|5"_s});

        ArchiveWindow::click(button("BtnAlt"));
        retype(screen->EdtDesc, edited);
        ArchiveWindow::click(button("BtnAlt"));
        QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
        QCOMPARE(fx->rows(u"select descricao,numero from processo"_s), QStringList{edited + u"|5"_s});
    }

    void leavingWithSairRefiltersTheBrowser()
    {
        start({processRow(u"00001"_s, u"Obra velha"_s), processRow(u"00002"_s, u"Compra"_s)});
        ArchiveWindow::type(browser->EdtPesq, u"obra"_s);
        ArchiveWindow::click(browser->SBtnPesq);
        QCOMPARE(browser->DSProcesso->rowCount(), 1);
        includeNew();
        ArchiveWindow::type(screen->EdtDesc, u"Obra nova"_s);
        fx->ui->answerQuestion(true);
        ArchiveWindow::click(button("BtnInc"));
        ArchiveWindow::click(button("BtnSair"));
        QVERIFY2(fx->errors.isEmpty(), qPrintable(fx->errors.join(u'\n')));
        QCOMPARE(fx->window->documentsView(), fx->window->Panel8);
        QCOMPARE(browser->DSProcesso->rowCount(), 2);
        QCOMPARE(browser->DSProcesso->index(0, 0).data().toString(), u"00003"_s);
        QCOMPARE(browser->DSProcesso->index(1, 0).data().toString(), u"00001"_s);
    }

    void processesButtonOpensOnTheScreensOwnRow()
    {
        start({processRow(u"00001"_s, u"A"_s), processRow(u"00002"_s, u"B"_s)});
        QCOMPARE(browser->selectedCode(), u"00002"_s); // newest first
        browse();
        QCOMPARE(fx->window->documentsView(), fx->window->Panel11);
        QCOMPARE(screen->EdtCod->text(), u"00001"_s);
        QCOMPARE(button("BtnSair")->text(), u"Sair"_s);
        QVERIFY(!screen->EdtDesc->isEnabled());
    }
};

QTEST_MAIN(TestProcesses)
#include "tst_processes.moc"
