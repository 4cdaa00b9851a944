// The document screen inside the main window: opening a process, inclusion, edit,
// deletion, stepping, and the statements that reach the engine.
#include "DocumentWindow.h"

#include <QAccessible>
#include <QLabel>

using namespace Qt::StringLiterals;
using Kind = editing::ScriptedPrompt::Kind;

namespace {

const QString kExampleInsert =
    u"Insert Into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas,"
    u"localidade,parteleira,gaveta,pasta) VALUES (\"00003\",\"00007\",\"00002\",\"OFÍCIO 15\",\"Pedido de vista\","
    u"\"\",38061,NULL,4,\"ARQUIVO\",\"A1\",\"2\",\"15\")"_s;

const QString kExampleUpdate =
    u"UPDATE documento SET processo=\"00007\",cod=\"00003\",descricao=\"OFÍCIO 15\",tp_doc=\"00002\","
    u"ementa=\"Pedido de vista\",data=\"15/03/04\",data_arquivamento=\"  /  /  \",n_laudas=\"4\","
    u"localidade=\"ARQUIVO\",parteleira=\"A1\",gaveta=\"2\",pasta=\"15\" Where cod=\"00003\" and processo=\"00007\" "_s;

const QString kAllColumns =
    u"select cod,processo,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas,localidade,"
    u"parteleira,gaveta,pasta from documento"_s;

QStringList typesSeed()
{
    return {u"Insert Into tipo_arq (cod,descricao) VALUES (\"00001\",\"ATA\")"_s,
            u"Insert Into tipo_arq (cod,descricao) VALUES (\"00002\",\"OFICIO\")"_s,
            u"Insert Into tipo_arq (cod,descricao) VALUES (\"00007\",\"PORTARIA\")"_s};
}

} // namespace

class TestDocumentRecord : public QObject {
    Q_OBJECT

    std::unique_ptr<DocumentWindow> fx;
    TFrameDocumento *screen = nullptr;

    void start(const QStringList &seed)
    {
        fx = std::make_unique<DocumentWindow>(typesSeed() + seed);
        screen = fx->screen;
    }
    QPushButton *button(const char *name) const { return fx->panelButton(name); }
    QStringList shownFields() const
    {
        return {screen->EdtCod->text(),        screen->EdtTpDoc->text(),          screen->EdtDesc->text(),
                screen->MMEmenta->text(),      screen->MMPC->text(),              screen->EdtDtaDoc->text(),
                screen->EdtDtaAquivamento->text(), screen->EdtNLaudas->text(),     screen->EdtLocalidade->text(),
                screen->EdtPrateleira->text(), screen->EdtGaveta->text(),         screen->EdtPasta->text()};
    }
    void typeDate(TMaskEdit *field, const QString &digits)
    {
        field->setFocus();
        field->setCursorPosition(0);
        QTest::keyClicks(field, digits);
    }
    // Types the document of the example into the fields of a started inclusion.
    void typeExample(const QString &laudas, const QString &dateDigits)
    {
        DocumentWindow::type(screen->EdtDesc, u"ofício 15"_s);
        screen->EdtTpDoc->setFocus();
        QTest::keyClicks(screen->EdtTpDoc, u"2"_s);
        screen->MMEmenta->setFocus(); // leaving "Tipo" pads it
        QTest::keyClicks(screen->MMEmenta, u"Pedido de vista"_s);
        if (!dateDigits.isEmpty())
            typeDate(screen->EdtDtaDoc, dateDigits);
        screen->EdtNLaudas->setFocus();
        QTest::keyClicks(screen->EdtNLaudas, laudas);
        QTest::keyClicks(screen->EdtLocalidade, u"arquivo"_s);
        QTest::keyClicks(screen->EdtPrateleira, u"a1"_s);
        QTest::keyClicks(screen->EdtGaveta, u"2"_s);
        QTest::keyClicks(screen->EdtPasta, u"15"_s);
    }
    void confirmInclusion()
    {
        fx->ui->answerQuestion(true);
        DocumentWindow::click(button("BtnInc"));
        QCOMPARE(button("BtnInc")->text(), u"Incluir"_s);
    }
    bool pageCommandsEnabled() const
    {
        return screen->BtnScan->isEnabled() && screen->BtnAddArq->isEnabled() && screen->BtnDelArq->isEnabled()
            && screen->ActAbrirArq->isEnabled() && screen->ActScan->isEnabled();
    }
    bool pageCommandsDisabled() const
    {
        return !screen->BtnScan->isEnabled() && !screen->BtnAddArq->isEnabled() && !screen->BtnDelArq->isEnabled()
            && !screen->ActAbrirArq->isEnabled() && !screen->ActScan->isEnabled();
    }

private slots:
    void cleanup()
    {
        if (fx) {
            const bool allUsed = fx->ui->allAnswersUsed();
            fx.reset(); // even after a failure: the next window must not outlive this prompt
            QVERIFY2(allUsed, "a scripted answer was left over");
        }
    }

    void opensProcessAndProposesNextCode_data()
    {
        QTest::addColumn<QStringList>("seed");
        QTest::addColumn<QString>("firstShown");
        QTest::addColumn<QString>("nextCode");
        QStringList nine{processRow(u"00007"_s), processRow(u"00008"_s), documentRow(u"00008"_s, u"00042"_s)};
        for (int code = 1; code <= 9; ++code)
            nine << documentRow(u"00007"_s, u"0000%1"_s.arg(code));
        QTest::newRow("without documents")
            << QStringList{processRow(u"00007"_s), processRow(u"00008"_s), documentRow(u"00008"_s, u"00042"_s)}
            << QString() << u"00001"_s;
        QTest::newRow("last at 00009") << nine << u"00001"_s << u"00010"_s;
    }
    void opensProcessAndProposesNextCode()
    {
        QFETCH(QStringList, seed);
        QFETCH(QString, firstShown);
        QFETCH(QString, nextCode);
        start(seed);
        fx->openProcess(u"00007"_s);

        QVERIFY(fx->window->Panel10->isVisible());
        QCOMPARE(screen->EdtProcesso->text(), u"00007"_s);
        QCOMPARE(screen->LblProcesso->text(), u"OBRAS"_s);
        QCOMPARE(screen->EdtCod->text(), firstShown);
        if (firstShown.isEmpty()) {
            for (const QString &text : shownFields())
                QVERIFY(text.isEmpty() || text == TMaskEdit::emptyText());
        }
        QCOMPARE(screen->LBoxLaudas->count(), 0);
        QCOMPARE(screen->ImgPrev->content(), documents::ImagePreview::Content::Icon);
        QVERIFY(pageCommandsDisabled());
        QVERIFY(fx->statements.contains(u"select cod from processo where cod=\"00007\""_s));
        QVERIFY(fx->ui->calls().isEmpty());

        DocumentWindow::click(button("BtnInc"));
        QCOMPARE(screen->EdtCod->text(), nextCode);
        QCOMPARE(screen->EdtProcesso->text(), u"00007"_s); // cleared by the panel, put back
        QCOMPARE(button("BtnSair")->text(), u"Cancelar"_s);
        QVERIFY(pageCommandsEnabled());
        QVERIFY(screen->EdtDesc->hasFocus());
        QVERIFY(fx->errors.isEmpty());
    }

    void unknownOrEmptyProcess_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("unknown") << u"00009"_s;
        QTest::newRow("empty") << QString();
    }
    void unknownOrEmptyProcess()
    {
        QFETCH(QString, code);
        // Documents of other processes exist: none of them may show up.
        QStringList seed{processRow(u"00001"_s), documentRow(u"00001"_s, u"00001"_s)};
        if (!code.isEmpty())
            seed << processRow(code) << documentRow(code, u"00001"_s);
        start(seed);
        if (!code.isEmpty()) // still listed in the browser, gone since
            fx->run(u"Delete From processo Where cod=\"%1\""_s.arg(code));
        fx->openProcess(code);

        const QList<editing::ScriptedPrompt::Call> messages = fx->ui->callsOf(Kind::Message);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().text, u"Processo não cadastrado."_s);
        QVERIFY(fx->statements.contains(u"select cod from processo where cod=\"%1\""_s.arg(code)));
        QVERIFY(fx->window->Panel10->isVisible()); // shown all the same
        QCOMPARE(screen->EdtCod->text(), QString());
        QCOMPARE(screen->EdtDesc->text(), QString());
        QCOMPARE(screen->LBoxLaudas->count(), 0);
    }

    void insertsExampleStatement()
    {
        start({processRow(u"00007"_s), documentRow(u"00007"_s, u"00001"_s), documentRow(u"00007"_s, u"00002"_s)});
        fx->openProcess(u"00007"_s);
        DocumentWindow::click(button("BtnInc"));
        QCOMPARE(screen->EdtCod->text(), u"00003"_s);
        typeExample(u"4"_s, u"150304"_s);
        QCOMPARE(screen->EdtTpDoc->text(), u"00002"_s);
        QCOMPARE(screen->LblTpDoc->text(), u"OFICIO"_s);

        fx->statements.clear();
        confirmInclusion();
        QVERIFY2(fx->statements.contains(kExampleInsert), qPrintable(fx->statements.join(u'\n')));
        QCOMPARE(fx->ui->callsOf(Kind::Question).first().text, u"Deseja Incluir o  ?"_s);
        QCOMPARE(fx->rows(kAllColumns + u" where processo=\"00007\" and cod=\"00003\""_s),
                 QStringList{u"00003|00007|00002|OFÍCIO 15|Pedido de vista||15/03/04|<null>|4|ARQUIVO|A1|2|15"_s});
        // Browse again, the values just written still shown, pages can be added at once.
        QCOMPARE(screen->EdtCod->text(), u"00003"_s);
        QCOMPARE(screen->EdtProcesso->text(), u"00007"_s);
        QVERIFY(!screen->EdtDesc->isEnabled());
        QVERIFY(pageCommandsEnabled());
        QVERIFY(fx->errors.isEmpty());
    }

    void insertsZeroAndNullForEmptyFields()
    {
        start({processRow(u"00007"_s)});
        fx->openProcess(u"00007"_s);
        DocumentWindow::click(button("BtnInc"));
        typeExample(QString(), QString());
        QCOMPARE(screen->EdtDtaDoc->text(), TMaskEdit::emptyText());
        fx->statements.clear();
        confirmInclusion();
        QVERIFY2(fx->statements.contains(
                     u"Insert Into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,"
                     u"data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta) VALUES (\"00001\",\"00007\","
                     u"\"00002\",\"OFÍCIO 15\",\"Pedido de vista\",\"\",NULL,NULL,0,\"ARQUIVO\",\"A1\",\"2\",\"15\")"_s),
                 qPrintable(fx->statements.join(u'\n')));
        QCOMPARE(fx->rows(u"select data,data_arquivamento,n_laudas from documento"_s),
                 QStringList{u"<null>|<null>|0"_s});
    }

    void answeringNoKeepsTheInclusion()
    {
        start({processRow(u"00007"_s)});
        fx->openProcess(u"00007"_s);
        DocumentWindow::click(button("BtnInc"));
        QTest::keyClicks(screen->EdtDesc, u"ata"_s);
        fx->ui->answerQuestion(false);
        DocumentWindow::click(button("BtnInc"));
        QCOMPARE(button("BtnInc")->text(), u"Confirmar"_s);
        QCOMPARE(screen->EdtDesc->text(), u"ATA"_s);
        QVERIFY(fx->rows(u"select cod from documento"_s).isEmpty());
        QVERIFY(pageCommandsEnabled());
    }

    void doubleQuoteStoredAsTyped()
    {
        start({processRow(u"00007"_s)});
        fx->openProcess(u"00007"_s);
        DocumentWindow::click(button("BtnInc"));
        QTest::keyClicks(screen->EdtDesc, u"obra \"a\""_s);
        QTest::keyClicks(screen->MMEmenta, u"diz \"sim\"\", x"_s);
        QTest::keyClicks(screen->EdtPasta, u"\"p"_s);
        confirmInclusion();
        QCOMPARE(fx->rows(u"select descricao,ementa,pasta from documento"_s),
                 QStringList{u"OBRA \"A\"|diz \"sim\"\", x|\"P"_s});

        DocumentWindow::click(button("BtnAlt"));
        DocumentWindow::retype(screen->EdtLocalidade, u"sala \"2\""_s);
        DocumentWindow::click(button("BtnAlt"));
        QCOMPARE(fx->rows(u"select descricao,localidade from documento"_s), QStringList{u"OBRA \"A\"|SALA \"2\""_s});
        QCOMPARE(fx->rows(u"select count(*) from documento"_s), QStringList{u"1"_s});
        QVERIFY(fx->errors.isEmpty());
    }

    void updatesExampleStatement()
    {
        start({processRow(u"00007"_s), processRow(u"00003"_s), kExampleInsert,
               // Same codes, other process: the key condition names both columns.
               u"Insert Into documento (cod,processo,descricao) VALUES (\"00003\",\"00003\",\"OUTRO\")"_s});
        fx->openProcess(u"00007"_s);
        QCOMPARE(screen->EdtCod->text(), u"00003"_s);
        QCOMPARE(screen->EdtDtaDoc->text(), u"15/03/04"_s);
        DocumentWindow::click(button("BtnAlt"));
        QCOMPARE(button("BtnAlt")->text(), u"Gravar"_s);
        QVERIFY(pageCommandsEnabled());
        fx->statements.clear();
        DocumentWindow::click(button("BtnAlt"));
        QVERIFY2(fx->statements.contains(kExampleUpdate), qPrintable(fx->statements.join(u'\n')));
        QCOMPARE(fx->ui->callsOf(Kind::Question).size(), 0); // updates are not confirmed
        QCOMPARE(button("BtnAlt")->text(), u"Editar"_s);
        QVERIFY(pageCommandsDisabled());
        QCOMPARE(fx->rows(kAllColumns + u" order by processo"_s),
                 (QStringList{u"00003|00003|<null>|OUTRO|<null>|<null>|<null>|<null>|<null>|<null>|<null>|<null>|<null>"_s,
                              u"00003|00007|00002|OFÍCIO 15|Pedido de vista||15/03/04|<null>|4|ARQUIVO|A1|2|15"_s}));
    }

    void blankDateUpdatesToNull()
    {
        start({processRow(u"00007"_s), kExampleInsert});
        fx->openProcess(u"00007"_s);
        DocumentWindow::click(button("BtnAlt"));
        screen->EdtDtaDoc->setFocus();
        screen->EdtDtaDoc->selectAll();
        QTest::keyClick(screen->EdtDtaDoc, Qt::Key_Backspace);
        QCOMPARE(screen->EdtDtaDoc->text(), TMaskEdit::emptyText());
        DocumentWindow::click(button("BtnAlt"));
        QCOMPARE(fx->rows(u"select data,data_arquivamento,descricao from documento"_s),
                 QStringList{u"<null>|<null>|OFÍCIO 15"_s});
        QVERIFY(fx->errors.isEmpty());
    }

    void emptiedFieldKeepsStoredValue()
    {
        start({processRow(u"00007"_s), kExampleInsert});
        fx->openProcess(u"00007"_s);
        DocumentWindow::click(button("BtnAlt"));
        DocumentWindow::retype(screen->EdtLocalidade, QString());
        DocumentWindow::retype(screen->MMEmenta, QString());
        DocumentWindow::retype(screen->EdtDesc, u"novo"_s);
        fx->statements.clear();
        DocumentWindow::click(button("BtnAlt"));
        QCOMPARE(fx->rows(u"select descricao,ementa,localidade from documento"_s),
                 QStringList{u"NOVO|Pedido de vista|ARQUIVO"_s});
        QVERIFY(fx->statements.filter(u"UPDATE documento"_s).first().contains(u"descricao=\"NOVO\""_s));
        QVERIFY(!fx->statements.filter(u"UPDATE documento"_s).first().contains(u"localidade"_s));
    }

    void savingShowsFirstDocument()
    {
        start({processRow(u"00007"_s), documentRow(u"00007"_s, u"00001"_s, u"0"_s, u"UM"_s),
               documentRow(u"00007"_s, u"00002"_s, u"0"_s, u"DOIS"_s),
               documentRow(u"00007"_s, u"00003"_s, u"0"_s, u"TRES"_s)});
        fx->openProcess(u"00007"_s);
        QCOMPARE(screen->EdtCod->text(), u"00001"_s);
        DocumentWindow::click(button("BtnProx"));
        DocumentWindow::click(button("BtnProx"));
        DocumentWindow::click(button("BtnProx")); // stays on the last one
        QCOMPARE(screen->EdtCod->text(), u"00003"_s);
        DocumentWindow::click(button("BtnAlt"));
        DocumentWindow::retype(screen->EdtDesc, u"terceiro"_s);
        DocumentWindow::click(button("BtnAlt"));
        QCOMPARE(screen->EdtCod->text(), u"00001"_s);
        QCOMPARE(screen->EdtDesc->text(), u"UM"_s);
        QCOMPARE(fx->rows(u"select descricao from documento where cod=\"00003\""_s), QStringList{u"TERCEIRO"_s});
        DocumentWindow::click(button("BtnAnt")); // stays on the first one
        QCOMPARE(screen->EdtCod->text(), u"00001"_s);
    }

    void cancellingShowsTheRowAgain()
    {
        start({processRow(u"00007"_s), documentRow(u"00007"_s, u"00001"_s, u"0"_s, u"UM"_s),
               documentRow(u"00007"_s, u"00002"_s, u"0"_s, u"DOIS"_s)});
        fx->openProcess(u"00007"_s);
        DocumentWindow::click(button("BtnInc"));
        QTest::keyClicks(screen->EdtDesc, u"x"_s);
        DocumentWindow::click(button("BtnSair"));
        // The next code left QryDoc on its last row.
        QCOMPARE(screen->EdtCod->text(), u"00002"_s);
        QCOMPARE(screen->EdtDesc->text(), u"DOIS"_s);
        QCOMPARE(screen->EdtProcesso->text(), u"00007"_s);
        QCOMPARE(button("BtnSair")->text(), u"Sair"_s);
        QVERIFY(pageCommandsDisabled());
        QVERIFY(fx->rows(u"select cod from documento where descricao=\"X\""_s).isEmpty());

        // "Sair" goes back to the browser.
        DocumentWindow::click(button("BtnSair"));
        QVERIFY(fx->window->Panel8->isVisible());
        QVERIFY(!fx->window->Panel10->isVisible());
    }

    void deletesOnlyThatProcessesDocument()
    {
        start({processRow(u"00001"_s), processRow(u"00002"_s), documentRow(u"00001"_s, u"00001"_s),
               documentRow(u"00001"_s, u"00002"_s), documentRow(u"00002"_s, u"00001"_s)});
        fx->openProcess(u"00001"_s);
        QCOMPARE(screen->EdtCod->text(), u"00001"_s);
        fx->statements.clear();
        fx->ui->answerQuestion(true);
        DocumentWindow::click(button("BtnDel"));
        QCOMPARE(fx->ui->callsOf(Kind::Question).first().text, u"Deseja Excluir o  ?"_s);
        QVERIFY(fx->statements.contains(u"Delete From documento Where cod=\"00001\" and processo=\"00001\""_s));
        QCOMPARE(fx->rows(u"select processo,cod from documento order by processo,cod"_s),
                 (QStringList{u"00001|00002"_s, u"00002|00001"_s}));
        // The screen moves on to the document now current: nothing keeps showing the
        // deleted one, where a page could still be added.
        QCOMPARE(screen->EdtCod->text(), u"00002"_s);
    }

    void typeCodeIsPaddedAndFiltered_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("label");
        QTest::newRow("7") << u"7"_s << u"00007"_s << u"PORTARIA"_s;
        QTest::newRow("0012") << u"0012"_s << u"00012"_s << QString();
        QTest::newRow("letters refused") << u"a7b"_s << u"00007"_s << u"PORTARIA"_s;
        QTest::newRow("comma kept") << u"1,5"_s << u"1,5"_s << QString();
    }
    void typeCodeIsPaddedAndFiltered()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, label);
        start({processRow(u"00007"_s)});
        fx->openProcess(u"00007"_s);
        DocumentWindow::click(button("BtnInc"));
        screen->EdtTpDoc->setFocus();
        QTest::keyClicks(screen->EdtTpDoc, typed);
        QTest::keyClick(screen->EdtTpDoc, Qt::Key_Tab);
        QCOMPARE(screen->EdtTpDoc->text(), shown);
        QCOMPARE(screen->LblTpDoc->text(), label);
        QVERIFY(!screen->EdtTpDoc->hasFocus());
        QCOMPARE(fx->errors.size(), shown == typed ? 1 : 0); // a non-integer fails quietly

        QTest::keyClicks(screen->EdtNLaudas, u"x4.y"_s);
        QCOMPARE(screen->EdtNLaudas->text(), u"4."_s);
    }

    // Cut to five characters, "100000" would be "10000", a code in use: the inclusion is
    // refused instead.
    void noInclusionAfterCode99999()
    {
        start({processRow(u"00007"_s), documentRow(u"00007"_s, u"00001"_s), documentRow(u"00007"_s, u"99999"_s)});
        fx->openProcess(u"00007"_s);
        const QStringList rowsBefore = fx->rows(kAllColumns);
        DocumentWindow::click(button("BtnInc"));
        QCOMPARE(fx->ui->callsOf(Kind::Message).size(), 1);
        QCOMPARE(fx->ui->callsOf(Kind::Message).first().text,
                 u"O código 99999 é o último de cinco algarismos: não há código para um novo registro."_s);
        QCOMPARE(button("BtnInc")->text(), u"Incluir"_s);
        QCOMPARE(button("BtnSair")->text(), u"Sair"_s);
        QCOMPARE(screen->EdtCod->text(), u"00001"_s); // the document shown before
        QCOMPARE(screen->EdtProcesso->text(), u"00007"_s);
        QVERIFY(pageCommandsDisabled());
        QCOMPARE(fx->rows(kAllColumns), rowsBefore);
    }

    // A screen reader reads what the sky-blue labels show, not only what they are for.
    void descriptionLabelsReadWhatTheyShow()
    {
        start({processRow(u"00007"_s, u"OBRAS DA ESCOLA"_s)});
        fx->openProcess(u"00007"_s);
        const auto nameOf = [](QWidget *label) {
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(label);
            return accessible ? accessible->text(QAccessible::Name) : QString();
        };
        QCOMPARE(nameOf(screen->LblProcesso), u"Descrição do processo: OBRAS DA ESCOLA"_s);
        QCOMPARE(nameOf(screen->LblTpDoc), u"Descrição do tipo"_s); // nothing shown yet
        DocumentWindow::click(button("BtnInc"));
        screen->EdtTpDoc->setFocus();
        QTest::keyClicks(screen->EdtTpDoc, u"00002"_s);
        QCOMPARE(screen->LblTpDoc->text(), u"OFICIO"_s);
        QCOMPARE(nameOf(screen->LblTpDoc), u"Descrição do tipo: OFICIO"_s);
        QTest::keyClick(screen->EdtTpDoc, Qt::Key_Backspace);
        QCOMPARE(nameOf(screen->LblTpDoc), u"Descrição do tipo"_s); // "0000" names no type
    }

    void pastedTextCannotBreakThePageCount()
    {
        start({processRow(u"00007"_s)});
        fx->openProcess(u"00007"_s);
        DocumentWindow::click(button("BtnInc"));
        screen->EdtNLaudas->setFocus();
        screen->EdtNLaudas->insert(u"1),(\"x"_s); // what a paste brings in
        QVERIFY(screen->EdtNLaudas->text().isEmpty());
    }
};

QTEST_MAIN(TestDocumentRecord)
#include "tst_screen_record.moc"
