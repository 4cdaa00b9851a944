// The advanced search screen driven as a user would: criteria typed into its fields,
// "Pesquisar Agora" pressed, hits read from its grid, pages stepped and printed.
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "db/QueryModel.h"
#include "documents/ImagePreview.h"
#include "documents/UntPrevImg.h"
#include "editing/JpegImage.h"
#include "editing/lib.h"
#include "search/SearchStatement.h"
#include "search/UntPesquisaAvancada.h"
#include "tests/support/WhenShown.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Six documents: A and B of type 00003, C and E of type 00007, D of a type with no row in
// tipo_arq, F without a date. Keys are process + document code.
const QString A = u"0000100001"_s, B = u"0000100002"_s, C = u"0000100003"_s, D = u"0000200001"_s,
              E = u"0000200002"_s, F = u"0000200003"_s;

const QString kExample =
    u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod from documento,tipo_arq where tipo_arq.cod=documento.tp_doc And documento.tp_doc=\"00003\"  And documento.data between 38061 and 38090   And ( ((documento.ementa like \"%abc%\") or (documento.descricao like \"%abc%\") or (documento.palavras_chave like \"%abc%\")) AND ((documento.ementa like \"%def%\") or (documento.descricao like \"%def%\") or (documento.palavras_chave like \"%def%\")) OR ((documento.ementa like \"%ghi%\") or (documento.descricao like \"%ghi%\") or (documento.palavras_chave like \"%ghi%\")) ) "_s;
const QString kNoCriteria =
    u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod from documento,tipo_arq where tipo_arq.cod=documento.tp_doc    "_s;

// The one deliberate change to the old text: an outer join, so that documents whose
// type has no row in tipo_arq are found.
QString asLogged(QString oldText)
{
    oldText.replace(u"from documento,tipo_arq where tipo_arq.cod=documento.tp_doc"_s,
                      u"from documento left join tipo_arq on tipo_arq.cod=documento.tp_doc where 1=1"_s);
    oldText.replace(u'"', u'\'');
    return oldText;
}

} // namespace

class TestPesquisa : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    db::Connection m_connection;
    std::unique_ptr<TFramePesquisaAvancada> f;

    void run(const QString &sql)
    {
        db::Command command(&m_connection);
        command.setText(sql);
        command.execute();
    }

    QString laudas() const { return m_dir.filePath(u"dados/laudas/"_s); }

    void writePage(const QString &key, const QString &page, QSize size = {60, 80})
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::gray);
        editing::jpeg::writeFile(image, laudas() + key + page + u".jpg"_s);
    }

    void typeInto(QWidget *field, const QString &text)
    {
        QTest::mouseClick(field, Qt::LeftButton);
        QTest::keyClick(field, Qt::Key_Home); // a masked date fills from its first place
        QTest::keyClicks(field, text);
    }

    void leave(QWidget *field)
    {
        QVERIFY(field->hasFocus());
        QTest::keyClick(field, Qt::Key_Tab);
        QVERIFY(!field->hasFocus());
    }

    // Type 3, 15/03/04 to 13/04/04, abc "e" def "ou" ghi: the criteria of the worked example.
    void typeExampleCriteria()
    {
        typeInto(f->EdtTpDoc, u"3"_s);
        leave(f->EdtTpDoc);
        typeInto(f->EdtDtaIni, u"150304"_s);
        leave(f->EdtDtaIni);
        typeInto(f->EdtDtaFin, u"130404"_s);
        leave(f->EdtDtaFin);
        typeInto(f->Edit1, u"abc"_s);
        typeInto(f->Edit2, u"def"_s);
        QTest::mouseClick(f->RadioButton2, Qt::LeftButton);
        typeInto(f->Edit3, u"ghi"_s);
    }

    void searchNow() { QTest::mouseClick(f->BtnPesquisarAgora, Qt::LeftButton); }

    // The document keys in the grid, in grid order.
    QStringList hits()
    {
        db::QueryModel *model = f->DSPesqAvanc;
        model->query()->recordCount(); // every hit read
        while (model->canFetchMore({}))
            model->fetchMore({});
        QStringList keys;
        for (int row = 0; row < model->rowCount(); ++row)
            keys << model->index(row, 3).data().toString();
        return keys;
    }

    QStringList sortedHits()
    {
        QStringList keys = hits();
        keys.sort();
        return keys;
    }

    QString lastScriptLine() const { return f->Memo1->toPlainText().split(u'\n').last(); }

    QString shownPage() const { return QFileInfo(f->ImgPrev->pagePath()).fileName(); }

    void selectHit(const QString &key)
    {
        const QStringList keys = hits();
        const int row = int(keys.indexOf(key));
        QVERIFY2(row >= 0, qPrintable(key));
        f->DBGrid1->selectRow(row);
        QCOMPARE(f->QryPesqAvanc->asText(3), key);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(u"dados/laudas"_s));
        const QString path = m_dir.filePath(u"dados/cartulo.db"_s);
        db::Connection::createArchive(path);
        m_connection.openFile(path);
        run(u"Insert Into tipo_arq (cod,descricao) VALUES (\"00003\",\"LICITAÇÃO\")"_s);
        run(u"Insert Into tipo_arq (cod,descricao) VALUES (\"00007\",\"CARTA\")"_s);
        run(u"insert into processo (cod,descricao,numero,data,num_doc) values (\"00001\",\"Obra\",\"1\",NULL,0)"_s);
        run(u"insert into processo (cod,descricao,numero,data,num_doc) values (\"00002\",\"Papel\",\"2\",NULL,0)"_s);
        const QString insert = u"insert into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,n_laudas) "
                               u"values (\"%1\",\"%2\",\"%3\",%4,%5,%6,%7,0)"_s;
        auto add = [&](const QString &key, const QString &type, const QString &desc, const QString &ementa,
                       const QString &keywords, const QString &day) {
            run(insert.arg(key.mid(5), key.left(5), type, lib::quoted(desc), lib::quoted(ementa),
                           lib::quoted(keywords), day));
        };
        add(A, u"00003"_s, u"EDITAL ABC"_s, u"abc e def juntos"_s, QString(), u"38061"_s);
        add(B, u"00003"_s, u"SO ABC"_s, u"apenas abc"_s, QString(), u"38070"_s);
        add(C, u"00007"_s, u"GHI"_s, u"só ghi aqui"_s, QString(), u"38090"_s);
        add(D, u"00009"_s, u"SEM TIPO"_s, u"Licitação na prefeitura"_s, u"DEF"_s, u"38100"_s);
        add(E, u"00007"_s, u"ASPAS"_s, u"o \"Projeto\" novo"_s, QString(), u"30000"_s);
        add(F, u"00003"_s, u"DEF SO"_s, u"def"_s, QString(), u"NULL"_s);

        // Pages: A has 001 to 003 (a large 003), B has 001, C only 002.
        writePage(A, u"001"_s);
        writePage(A, u"002"_s);
        writePage(A, u"003"_s, {1240, 1754});
        writePage(B, u"001"_s);
        writePage(C, u"002"_s);
    }

    void init()
    {
        search::searchState() = {};
        f = std::make_unique<TFramePesquisaAvancada>();
        f->setConnection(&m_connection);
        f->setProgramDir(m_dir.path());
        f->show();
        QApplication::setActiveWindow(f.get());
        QVERIFY(QTest::qWaitForWindowActive(f.get()));
    }

    void cleanup() { f.reset(); }

    void startsOnCriteria()
    {
        QCOMPARE(f->PageControl1->currentWidget(), f->TSPesquisa);
        QVERIFY(!f->BtnNovaPesquisa->isEnabled());
        QVERIFY(f->BtnPesquisarAgora->isEnabled());
        QVERIFY(f->BtnFechar->isHidden());
        QVERIFY(f->TabsScript->isHidden());
        for (QRadioButton *e : {f->RBtnE1, f->RadioButton1, f->RadioButton3})
            QVERIFY(e->isChecked());
        QCOMPARE(f->EdtDtaIni->text(), u"  /  /  "_s);
        QCOMPARE(f->ImgPrev->content(), documents::ImagePreview::Content::Icon);
    }

    void exampleStatement()
    {
        typeExampleCriteria();
        searchNow();
        QCOMPARE(f->Memo1->toPlainText(), asLogged(kExample));
        QCOMPARE(f->PageControl1->currentWidget(), f->TSResultados);
        QVERIFY(f->BtnNovaPesquisa->isEnabled());
        QVERIFY(!f->BtnPesquisarAgora->isEnabled());
        // (abc and def) or ghi, of type 00003, 15/03/04 to 13/04/04.
        QCOMPARE(sortedHits(), (QStringList{A}));
    }

    void noCriteriaFindsEveryDocument()
    {
        searchNow();
        QCOMPARE(f->Memo1->toPlainText(), asLogged(kNoCriteria));
        QCOMPARE(sortedHits(), (QStringList{A, B, C, D, E, F}));
        const db::Query &query = *f->QryPesqAvanc;
        for (const QString &name : {u"documento.descricao"_s, u"data"_s, u"tipo_arq.descricao"_s, u"Expr1003"_s})
            QVERIFY2(query.fieldIndex(name) >= 0, qPrintable(name));
        QVERIFY(!f->DBGrid1->isColumnHidden(0));
        QVERIFY(!f->DBGrid1->isColumnHidden(1));
        QVERIFY(f->DBGrid1->isColumnHidden(2));
        QVERIFY(f->DBGrid1->isColumnHidden(3));
        QCOMPARE(f->DSPesqAvanc->headerData(1, Qt::Horizontal).toString(), u"data"_s);
    }

    void scriptPageKeepsEverySearch()
    {
        typeInto(f->Edit1, u"abc"_s);
        searchNow();
        QTest::mouseClick(f->BtnNovaPesquisa, Qt::LeftButton);
        typeInto(f->Edit1, u"ghi"_s);
        searchNow();
        const QStringList lines = f->Memo1->toPlainText().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].contains(u"like '%abc%'"_s));
        QVERIFY(lines[1].contains(u"like '%ghi%'"_s));
        // The log's tab shows and hides through Action1; its tab leads to the page.
        f->Action1->trigger();
        QVERIFY(f->TabsScript->isVisible());
        QTest::mouseClick(f->TabsScript, Qt::LeftButton, {}, f->TabsScript->tabRect(0).center());
        QCOMPARE(f->PageControl1->currentWidget(), f->TabSheet1);
        f->Action1->trigger();
        QVERIFY(f->TabsScript->isHidden());
    }

    void typeCodePaddedAndFiltering()
    {
        typeInto(f->EdtTpDoc, u"7"_s);
        QCOMPARE(f->LblTpDoc->text(), QString()); // "7" is no code
        QCOMPARE(f->LblTpDoc->accessibleName(), u"Descrição do tipo"_s);
        leave(f->EdtTpDoc);
        QCOMPARE(f->EdtTpDoc->text(), u"00007"_s);
        QCOMPARE(f->LblTpDoc->text(), u"CARTA"_s);
        QCOMPARE(f->LblTpDoc->accessibleName(), u"Descrição do tipo: CARTA"_s); // what a screen reader reads
        searchNow();
        QVERIFY(lastScriptLine().contains(u"And documento.tp_doc='00007' "_s));
        QCOMPARE(sortedHits(), (QStringList{C, E}));
    }

    void typeCodeNotAnInteger()
    {
        typeInto(f->EdtTpDoc, u"7x"_s);
        leave(f->EdtTpDoc);
        QCOMPARE(f->EdtTpDoc->text(), u"7x"_s);
        searchNow();
        QVERIFY(!lastScriptLine().contains(u"tp_doc="_s));
        QCOMPARE(sortedHits().size(), 6);
    }

    void terms_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("orButtons"); // objectNames of "ou" buttons to choose
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("t1 e t2 ou t3") << QStringList{u"abc"_s, u"def"_s, u"ghi"_s} << QStringList{u"RadioButton2"_s}
                                       << QStringList{A, C};
        QTest::newRow("t1 ou t2 e t3") << QStringList{u"ghi"_s, u"abc"_s, u"def"_s} << QStringList{u"RBtnOu1"_s}
                                       << QStringList{A, C};
        QTest::newRow("empty second ignores the third")
            << QStringList{u"abc"_s, QString(), u"ghi"_s} << QStringList{u"RadioButton2"_s} << QStringList{A, B};
        QTest::newRow("accented, upper case") << QStringList{u"LICITAÇÃO"_s} << QStringList{} << QStringList{D};
        QTest::newRow("mixed case, inside a word") << QStringList{u"iCiTaÇ"_s} << QStringList{} << QStringList{D};
        QTest::newRow("accent is not ignored") << QStringList{u"licitacao"_s} << QStringList{} << QStringList{};
        QTest::newRow("keywords") << QStringList{u"def"_s} << QStringList{} << QStringList{A, D, F};
        QTest::newRow("double quote") << QStringList{u"\"Projeto\""_s} << QStringList{} << QStringList{E};
        QTest::newRow("short term") << QStringList{u"gh"_s} << QStringList{} << QStringList{C};
    }
    void terms()
    {
        QFETCH(QStringList, fields);
        QFETCH(QStringList, orButtons);
        QFETCH(QStringList, expected);
        QLineEdit *edits[] = {f->Edit1, f->Edit2, f->Edit3, f->Edit4};
        for (int i = 0; i < fields.size(); ++i) {
            if (!fields[i].isEmpty())
                typeInto(edits[i], fields[i]);
        }
        for (const QString &name : orButtons)
            QTest::mouseClick(f->findChild<QRadioButton *>(name), Qt::LeftButton);
        searchNow();
        expected.sort();
        QCOMPARE(sortedHits(), expected);
    }

    void quoteInTermLogged()
    {
        typeInto(f->Edit1, u"\"Projeto\""_s);
        searchNow();
        QVERIFY(lastScriptLine().contains(u"(documento.ementa like '%''Projeto''%')"_s));
        QCOMPARE(f->PageControl1->currentWidget(), f->TSResultados);
    }

    void dates_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("only start") << u"150304"_s << QString() << u"And documento.data >= 38061 "_s
                                    << QStringList{A, B, C, D};
        QTest::newRow("only end") << QString() << u"130404"_s << u"And documento.data <= 38090 "_s
                                  << QStringList{A, B, C, E};
        QTest::newRow("both") << u"150304"_s << u"010404"_s << u"And documento.data between 38061 and 38078 "_s
                              << QStringList{A, B};
        QTest::newRow("none") << QString() << QString() << QString() << QStringList{A, B, C, D, E, F};
        QTest::newRow("no such day") << u"320304"_s << QString() << QString() << QStringList{A, B, C, D, E, F};
    }
    void dates()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, condition);
        QFETCH(QStringList, expected);
        if (!start.isEmpty()) {
            typeInto(f->EdtDtaIni, start);
            leave(f->EdtDtaIni);
        }
        if (!end.isEmpty()) {
            typeInto(f->EdtDtaFin, end);
            leave(f->EdtDtaFin);
        }
        searchNow();
        if (condition.isEmpty())
            QVERIFY(!lastScriptLine().contains(u"documento.data "_s));
        else
            QVERIFY2(lastScriptLine().contains(condition), qPrintable(lastScriptLine()));
        QCOMPARE(sortedHits(), expected);
    }

    // The search reads both dates when it runs, whichever field still has the focus.
    void dateNotLeftStillApplied()
    {
        typeInto(f->EdtDtaIni, u"010404"_s);
        QVERIFY(f->EdtDtaIni->hasFocus());
        f->BtnPesquisarAgora->click(); // a click that takes no focus
        QVERIFY(lastScriptLine().contains(u"And documento.data >= 38078 "_s));
        QCOMPARE(sortedHits(), (QStringList{C, D}));
    }

    void missingTypeFound()
    {
        typeInto(f->Edit1, u"prefeitura"_s);
        searchNow();
        QCOMPARE(hits(), (QStringList{D}));
        QCOMPARE(f->DBEdit1->text(), QString());
        f->BtnNovaPesquisa->click();
        typeInto(f->Edit1, u"apenas"_s);
        searchNow();
        QCOMPARE(f->DBEdit1->text(), u"LICITAÇÃO"_s);
    }

    void pagesStepOnlyToExistingFiles()
    {
        searchNow();
        selectHit(A);
        QCOMPARE(shownPage(), A + u"001.jpg"_s);
        QCOMPARE(search::searchState().page, u"001"_s);
        QTest::mouseClick(f->BtnAnt, Qt::LeftButton); // no page 000
        QCOMPARE(search::searchState().page, u"001"_s);
        QCOMPARE(shownPage(), A + u"001.jpg"_s);
        for (const char16_t *page : {u"002", u"003", u"003"}) {
            QTest::mouseClick(f->BtnProx, Qt::LeftButton);
            QCOMPARE(search::searchState().page, QString::fromUtf16(page));
            QCOMPARE(shownPage(), A + QString::fromUtf16(page) + u".jpg"_s);
        }
        QTest::mouseClick(f->BtnAnt, Qt::LeftButton);
        QCOMPARE(shownPage(), A + u"002.jpg"_s);

        // C has no page 001: the preview keeps the picture it had; C's page 002 is next.
        selectHit(C);
        QCOMPARE(search::searchState().documentKey, C);
        QCOMPARE(search::searchState().page, u"001"_s);
        QCOMPARE(shownPage(), A + u"002.jpg"_s);
        QTest::mouseClick(f->BtnProx, Qt::LeftButton);
        QCOMPARE(shownPage(), C + u"002.jpg"_s);
        selectHit(B);
        QCOMPARE(shownPage(), B + u"001.jpg"_s);
    }

    void newSearchClearsEverything()
    {
        typeExampleCriteria();
        typeInto(f->Edit4, u"z"_s);
        searchNow();
        QTest::mouseClick(f->BtnNovaPesquisa, Qt::LeftButton);

        QCOMPARE(f->PageControl1->currentWidget(), f->TSPesquisa);
        QVERIFY(!f->BtnNovaPesquisa->isEnabled());
        QVERIFY(f->BtnPesquisarAgora->isEnabled());
        QVERIFY(f->EdtTpDoc->hasFocus());
        QCOMPARE(f->EdtTpDoc->text(), QString());
        QCOMPARE(f->LblTpDoc->text(), QString());
        QCOMPARE(f->EdtDtaIni->text(), u"  /  /  "_s);
        QCOMPARE(f->EdtDtaFin->text(), u"  /  /  "_s);
        for (QLineEdit *term : {static_cast<QLineEdit *>(f->Edit1), static_cast<QLineEdit *>(f->Edit2),
                                static_cast<QLineEdit *>(f->Edit3), static_cast<QLineEdit *>(f->Edit4)})
            QCOMPARE(term->text(), QString());
        const search::SearchState &state = search::searchState();
        QCOMPARE(state.typeClause, QString());
        QCOMPARE(state.dateClause, QString());
        QCOMPARE(state.termsClause, QString());
        QCOMPARE(state.startDay, QString());
        QCOMPARE(state.endDay, QString());
        QCOMPARE(state.page, QString());
        QCOMPARE(state.connector, u"AND"_s);
        QCOMPARE(f->ImgPrev->content(), documents::ImagePreview::Content::Icon);

        // Stepping without a previewed hit does nothing.
        f->BtnProx->click();
        QCOMPARE(state.page, QString());
        // The next search starts from nothing.
        searchNow();
        QCOMPARE(lastScriptLine(), asLogged(kNoCriteria));
    }

    void clickOnPreviewPrintsThePageWhole()
    {
        searchNow();
        selectHit(A);
        f->BtnProx->click();
        f->BtnProx->click();
        QCOMPARE(shownPage(), A + u"003.jpg"_s);
        QSize printed;
        QString title;
        whenShown(u"DlgPrintPreview"_s, [&](QDialog *window) {
            title = window->windowTitle();
            printed = f->printForm().picture().size();
            window->close();
        });
        QTest::mouseClick(f->ImgPrev, Qt::LeftButton);
        QCOMPARE(title, u"Print Preview"_s);
        QCOMPARE(printed, QSize(1240, 1754)); // the page file itself, not the reduced preview
    }
};

QTEST_MAIN(TestPesquisa)
#include "tst_pesquisa.moc"
