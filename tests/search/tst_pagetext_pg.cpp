// The search in the page texts and without accents, through the real screen on both
// engines: both boxes off search as before; with them, every term may be in any field or
// any page; the hits are always those of a plain reading of every document and page in C++
// with the same rules, whatever index narrows them; a hit is first shown at its first page
// holding a term.
#include "db/AccentFold.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Dialect.h"
#include "db/Fold.h"
#include "db/PageTextSearchSchema.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgSchema.h"
#include "tests/support/PgTestDatabase.h"
#include "db/Query.h"
#include "db/QueryModel.h"
#include "documents/ImagePreview.h"
#include "editing/JpegImage.h"
#include "editing/lib.h"
#include "pages/PageStore.h"
#include "search/FastSearch.h"
#include "search/SearchStatement.h"
#include "search/UntPesquisaAvancada.h"
#include "tests/support/ProviderStores.h"
#include "tests/support/SqliteShell.h"

#include "db/QueuedIndex.h"
#include "db/PageTexts.h"
#include "db/ReadConnections.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <map>
#include <memory>
#include <sqlite3.h>
#include <tuple>

using namespace Qt::StringLiterals;
using search::Term;
using search::TermOptions;

Q_DECLARE_METATYPE(search::Term)

namespace {

struct Doc {
    QString key; // process + document code
    QString descricao, ementa, palavras;
};

struct PageText {
    QString key;
    int numero;
    QString texto; // null: a page that could not be read
};

// Each document shows one way a page-text search could go wrong.
QList<Doc> fixtureDocuments()
{
    return {
        {u"0000100001"_s, u"ATA"_s, u"Reunião do conselho"_s, u"ata"_s},    // terms only in its pages
        {u"0000100002"_s, u"PAPEL"_s, u"Licitação de papel"_s, QString()},  // in a field, no pages
        {u"0000100003"_s, u"CONTRATO"_s, QString(), QString()},              // a page without text
        {u"0000200001"_s, u"PAVIMENTAÇÃO"_s, u"rua"_s, u"obra"_s},
        {u"0000200002"_s, u"LÍNGUAS"_s, u"textos"_s, u"europa"_s},
        {u"0000200003"_s, u"SANEAMENTO"_s, u"duas páginas"_s, QString()},  // terms on different pages
        {u"0000300001"_s, u"FONTE"_s, u"campo e página"_s, u"Água"_s},     // one term in a field, one in a page
        {u"0000300002"_s, u"OUTRO"_s, u"nada aqui"_s, QString()},          // same document code as a text of 00004
        {u"0000300003"_s, u"GRÖSSE"_s, u"Ma\u0308dchen e\u0301dito"_s, u"Fußball"_s}, // fields: ß, marks apart (NFD)
    };
}

QList<PageText> pageTexts()
{
    return {
        {u"0000100001"_s, 1, u"Ata da reunião ordinária"_s},
        {u"0000100001"_s, 2, u"Aviso de LICITAÇÃO da obra nº 12/2004"_s},
        {u"0000100001"_s, 3, u"pavimentação da rua\r\ncom licitação"_s},
        {u"0000100003"_s, 1, QString()},
        {u"0000100003"_s, 2, u"contrato 100% pago em 10_12"_s},
        {u"0000100003"_s, 3, u"licitacao sem acento"_s},
        {u"0000200001"_s, 1, u"obra_nova na Praça"_s},
        {u"0000200002"_s, 1, u"Straße, Œuvre, Łódź, Ægir"_s},
        {u"0000200002"_s, 2, u"Việt Nam, ﬁnal, licitac\u0327a\u0303o decomposta"_s},
        {u"0000200003"_s, 1, u"água tratada"_s},
        {u"0000200003"_s, 2, u"ESGOTO sanitário"_s},
        {u"0000300001"_s, 1, u"rede de esgoto"_s},
        {u"0000400002"_s, 1, u"exclusivo de um documento que não existe"_s},
    };
}

// Words for random searches: accents, case, wildcards, pieces of words.
const QStringList kSearchWords = {
    u"licitação"_s, u"LICITACAO"_s, u"licitacao"_s, u"Licita"_s, u"ção"_s, u"cao"_s, u"água"_s, u"agua"_s,
    u"ESGOTO"_s, u"esgoto"_s, u"obra"_s, u"obra_n"_s, u"100%"_s, u"10_12"_s, u"ata"_s, u"rua"_s, u"ua"_s,
    u"strasse"_s, u"oeuvre"_s, u"lodz"_s, u"viet"_s, u"final"_s, u"pavimentação"_s, u"PAVIMENTACAO"_s,
    u"praça"_s, u"praca"_s, u"exclusivo"_s, u"reunião"_s, u"contrato"_s, u"sem+acento"_s, u"papel"_s,
    u"conselho"_s, u"nº 12"_s, u"inexistente"_s, u"r"_s, u"grosse"_s, u"FUSSBALL"_s, u"édito"_s, u"madchen"_s,
};

QString pageEntry(const QString &key, int numero)
{
    return key + QString::number(numero).rightJustified(3, u'0') + u".jpg"_s;
}

QByteArray jpeg(int shade)
{
    QImage image(40, 60, QImage::Format_RGB32);
    image.fill(QColor(shade, shade, shade));
    return editing::jpeg::encode(image);
}

bool likeMatches(const QString &pattern, const QString &text, bool ignoreAccents)
{
    if (text.isNull())
        return false;
    if (ignoreAccents)
        return db::likeMatchUtf8(db::foldAccentsUtf8(pattern.toUtf8()), db::foldAccentsUtf8(text.toUtf8()));
    return db::likeMatchUtf8(pattern.toUtf8(), text.toUtf8());
}

// The plain reading: every document, every page, the rules written out once more.
QStringList plainScan(const QList<Term> &terms, const TermOptions &options)
{
    auto termMatches = [&](const Doc &doc, const QString &term) {
        const QString pattern = search::likePattern(term);
        for (const QString &field : {doc.descricao, doc.ementa, doc.palavras}) {
            if (likeMatches(pattern, field, options.ignoreAccents))
                return true;
        }
        if (!options.pageText)
            return false;
        for (const PageText &page : pageTexts()) {
            if (page.key == doc.key && likeMatches(pattern, page.texto, options.ignoreAccents))
                return true;
        }
        return false;
    };
    QStringList hits;
    for (const Doc &doc : fixtureDocuments()) {
        // AND binds before OR: any group whose every term matches.
        bool any = terms.isEmpty();
        bool group = true;
        for (qsizetype i = 0; i < terms.size(); ++i) {
            if (i > 0 && terms[i].connector == u"OR"_s) {
                any = any || group;
                group = true;
            }
            group = group && termMatches(doc, terms[i].text);
        }
        if (!terms.isEmpty())
            any = any || group;
        if (any)
            hits << doc.key;
    }
    std::sort(hits.begin(), hits.end());
    return hits;
}

// The page texts' index as the earlier version made it: written by its own triggers, no queues.
QString earlierPageTextIndex()
{
    return u"CREATE VIRTUAL TABLE lauda_texto_busca USING fts5(texto, tokenize = 'trigram', content = '', "
           u"detail = none, columnsize = 0);"
           u"CREATE TRIGGER lauda_texto_busca_substitui BEFORE INSERT ON lauda_texto BEGIN "
           u"INSERT INTO lauda_texto_busca (lauda_texto_busca, rowid, texto) SELECT 'delete', rowid, texto "
           u"FROM lauda_texto WHERE processo = new.processo AND documento = new.documento AND numero = new.numero "
           u"AND texto IS NOT NULL; END;"
           u"CREATE TRIGGER lauda_texto_busca_insere AFTER INSERT ON lauda_texto WHEN new.texto IS NOT NULL BEGIN "
           u"INSERT INTO lauda_texto_busca (rowid, texto) VALUES (new.rowid, new.texto); END;"
           u"CREATE TRIGGER lauda_texto_busca_exclui AFTER DELETE ON lauda_texto WHEN old.texto IS NOT NULL BEGIN "
           u"INSERT INTO lauda_texto_busca (lauda_texto_busca, rowid, texto) VALUES ('delete', old.rowid, old.texto); "
           u"END;"
           u"CREATE TRIGGER lauda_texto_busca_altera AFTER UPDATE ON lauda_texto WHEN old.rowid IS NOT new.rowid OR "
           u"old.texto IS NOT new.texto BEGIN "
           u"INSERT INTO lauda_texto_busca (lauda_texto_busca, rowid, texto) SELECT 'delete', old.rowid, old.texto "
           u"WHERE old.texto IS NOT NULL; "
           u"INSERT INTO lauda_texto_busca (rowid, texto) SELECT new.rowid, new.texto WHERE new.texto IS NOT NULL; END;"
           u"INSERT INTO lauda_texto_busca (rowid, texto) SELECT rowid, texto FROM lauda_texto WHERE texto IS NOT NULL"_s;
}

// Another SQLite client on the file: a bare handle, without the program's functions.
db::HandlePtr otherClient(const QString &path)
{
    sqlite3 *raw = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        qFatal("%s", sqlite3_errmsg(raw));
    // The screen's index upkeep may be writing at that moment; a client waits its turn.
    sqlite3_busy_timeout(raw, 30000);
    return db::HandlePtr(raw);
}

// Runs statements on a bare handle; the engine's message when they fail.
QString writeAs(sqlite3 *handle, const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, &error) == SQLITE_OK)
        return {};
    const QString message = QString::fromUtf8(error);
    sqlite3_free(error);
    return message;
}

// The documents' keys a statement gives, sorted.
QStringList keysOf(db::Connection &connection, const QString &sql)
{
    QStringList keys;
    db::Query reading(&connection);
    reading.setSql(sql);
    for (reading.open(); !reading.eof(); reading.next())
        keys << reading.asText(3);
    std::sort(keys.begin(), keys.end());
    return keys;
}

// The hits of the plain statement, which reads every document and page.
QStringList plainHits(db::Connection &connection, const QList<Term> &terms, const TermOptions &options)
{
    return keysOf(connection, search::statement({}, {}, search::termsClause(terms, options)));
}

QByteArray caseName(const QString &name, db::Provider provider)
{
    return (name + u", "_s + QString::fromLatin1(testsupport::providerName(provider))).toUtf8();
}

} // namespace

class TestPageText : public QObject {
    Q_OBJECT

    testsupport::ProviderStores m_stores;
    std::unique_ptr<TFramePesquisaAvancada> f;
    db::Provider m_filled = db::Provider::SQLite;
    bool m_anyFilled = false;

    void run(db::Connection &connection, const QString &sql)
    {
        db::Command command(&connection);
        command.setText(sql);
        command.execute();
    }

    static QString literalOrNull(const QString &text) { return text.isNull() ? u"NULL"_s : lib::quoted(text); }

    // The archive of the provider with the fixture's rows and the pages of the first document.
    db::Connection &archive(db::Provider provider)
    {
        testsupport::ProviderArchive &a = m_stores.archive(provider);
        if (m_anyFilled && m_filled == provider)
            return a.connection();
        const std::shared_ptr<pages::PageStore> store = m_stores.freshStore(provider);
        db::Connection &c = a.connection();
        run(c, u"delete from lauda_texto"_s);
        run(c, u"Insert Into tipo_arq (cod,descricao) VALUES (\"00001\",\"CARTA\")"_s);
        for (const char16_t *process : {u"00001", u"00002", u"00003"})
            run(c, u"insert into processo (cod,descricao,numero,data,num_doc) values (\"%1\",\"P\",\"1\",NULL,0)"_s
                       .arg(QStringView(process)));
        for (const Doc &d : fixtureDocuments())
            run(c, u"insert into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,n_laudas) "
                   u"values (%1,%2,\"00001\",%3,%4,%5,38061,0)"_s.arg(
                       lib::quoted(d.key.mid(5)), lib::quoted(d.key.left(5)), literalOrNull(d.descricao),
                       literalOrNull(d.ementa), literalOrNull(d.palavras)));
        // Every text is of a page there is (the server's keys insist on it).
        for (const PageText &p : pageTexts())
            store->storeBytes({p.key.left(5), p.key.mid(5)}, p.numero, jpeg(60 * p.numero));
        for (const PageText &p : pageTexts())
            run(c, u"insert into lauda_texto (processo,documento,numero,impressao,texto) values (%1,%2,%3,%4,%5)"_s.arg(
                       lib::quoted(p.key.left(5)), lib::quoted(p.key.mid(5)), QString::number(p.numero),
                       lib::quoted(QString(64, u'0')), literalOrNull(p.texto)));
        m_filled = provider;
        m_anyFilled = true;
        return c;
    }

    void openScreen(db::Provider provider)
    {
        openScreenOn(archive(provider), m_stores.archive(provider).programDir());
    }

    void search(const QList<Term> &terms, const TermOptions &options)
    {
        if (f->BtnNovaPesquisa->isEnabled())
            f->BtnNovaPesquisa->click();
        QLineEdit *edits[] = {f->Edit1, f->Edit2, f->Edit3, f->Edit4};
        QRadioButton *ors[] = {f->RBtnOu1, f->RadioButton2, f->RadioButton4};
        QRadioButton *ands[] = {f->RBtnE1, f->RadioButton1, f->RadioButton3};
        for (qsizetype i = 0; i < terms.size(); ++i) {
            edits[i]->insert(terms[i].text); // as typed: the fields take any letter
            if (i > 0)
                (terms[i].connector == u"OR"_s ? ors[i - 1] : ands[i - 1])->click();
        }
        if (f->ChkTextoPaginas->isChecked() != options.pageText)
            QTest::mouseClick(f->ChkTextoPaginas, Qt::LeftButton, {}, QPoint(8, f->ChkTextoPaginas->height() / 2));
        if (f->ChkIgnorarAcentos->isChecked() != options.ignoreAccents)
            QTest::mouseClick(f->ChkIgnorarAcentos, Qt::LeftButton, {}, QPoint(8, f->ChkIgnorarAcentos->height() / 2));
        QCOMPARE(f->ChkTextoPaginas->isChecked(), options.pageText);
        QCOMPARE(f->ChkIgnorarAcentos->isChecked(), options.ignoreAccents);
        f->BtnPesquisarAgora->click();
        QCOMPARE(f->PageControl1->currentWidget(), f->TSResultados);
    }

    QStringList hits()
    {
        db::QueryModel *model = f->DSPesqAvanc;
        model->query()->recordCount();
        while (model->canFetchMore({}))
            model->fetchMore({});
        QStringList keys;
        for (int row = 0; row < model->rowCount(); ++row)
            keys << model->index(row, 3).data().toString();
        std::sort(keys.begin(), keys.end());
        return keys;
    }

    QString lastScriptLine() const { return f->Memo1->toPlainText().split(u'\n').last(); }

    // The screen on a connection. The file archive's substring indexes are checked on a
    // thread; the searches after it may use them.
    void openScreenOn(db::Connection &connection, const QString &programDir)
    {
        search::searchState() = {};
        f = std::make_unique<TFramePesquisaAvancada>();
        f->setProgramDir(programDir);
        f->setConnection(&connection);
        f->show();
        while (f->indexUpkeep->isRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    // A small file archive: three documents of one process and four page texts, stored by
    // the program (their entries written at once).
    std::unique_ptr<db::PageTexts> fillSmallFile(db::Connection &c)
    {
        run(c, u"insert into processo (cod,descricao,numero,data,num_doc) values (\"00001\",\"P\",\"1\",NULL,0)"_s);
        for (const auto &[code, descricao, ementa] :
             {std::tuple{u"00001"_s, u"ORÇAMENTO"_s, u"Previsão"_s}, std::tuple{u"00002"_s, u"OBRA"_s, u"Prédio"_s},
              std::tuple{u"00003"_s, u"VISTORIA"_s, u"Relatório"_s}})
            run(c, u"insert into documento (cod,processo,tp_doc,descricao,ementa,data,n_laudas) "
                   u"values (%1,\"00001\",\"00001\",%2,%3,38061,0)"_s.arg(lib::quoted(code), lib::quoted(descricao),
                                                                           lib::quoted(ementa)));
        std::unique_ptr<db::PageTexts> texts = db::PageTexts::on(c);
        for (const auto &[code, page, text] :
             {std::tuple{u"00001"_s, 1, u"Orçamento anual da educação"_s}, std::tuple{u"00002"_s, 1, u"Demolição"_s},
              std::tuple{u"00002"_s, 2, u"Vistoria técnica"_s}, std::tuple{u"00003"_s, 1, u"Relatório"_s}})
            texts->store({u"00001"_s, code, page}, {QString(64, u'0'), text, {}, std::nullopt});
        return texts;
    }

private slots:
    void cleanup() { f.reset(); }

    void boxesStartOffAndStayOnANewSearch()
    {
        openScreen(db::Provider::SQLite);
        QCOMPARE(f->ChkTextoPaginas->text(), u"Procurar também no texto das páginas"_s);
        QCOMPARE(f->ChkIgnorarAcentos->text(), u"Ignorar acentos"_s);
        QVERIFY(!f->ChkTextoPaginas->isChecked());
        QVERIFY(!f->ChkIgnorarAcentos->isChecked());
        search({{QString(), u"obra"_s}}, {true, true});
        f->BtnNovaPesquisa->click();
        QCOMPARE(f->Edit1->text(), QString());
        QVERIFY(f->ChkTextoPaginas->isChecked());
        QVERIFY(f->ChkIgnorarAcentos->isChecked());
        QVERIFY(f->ChkTextoPaginas->isEnabled());
    }

    // Both off: the statement of old (outer join aside) and only the fields searched.
    void bothOffSearchAsBefore_data()
    {
        QTest::addColumn<db::Provider>("provider");
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }
    void bothOffSearchAsBefore()
    {
        QFETCH(db::Provider, provider);
        openScreen(provider);
        search({{QString(), u"licitação"_s}, {u"OR"_s, u"água"_s}}, {});
        QCOMPARE(lastScriptLine(),
                 u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod "
                 u"from documento left join tipo_arq on tipo_arq.cod=documento.tp_doc where 1=1    And ( "
                 u"((documento.ementa like '%licitação%') or (documento.descricao like '%licitação%') or "
                 u"(documento.palavras_chave like '%licitação%')) OR ((documento.ementa like '%água%') or "
                 u"(documento.descricao like '%água%') or (documento.palavras_chave like '%água%')) ) "_s);
        QCOMPARE(hits(), (QStringList{u"0000100002"_s, u"0000300001"_s}));
    }

    void pagesAndAccents_data()
    {
        QTest::addColumn<db::Provider>("provider");
        QTest::addColumn<QString>("term");
        QTest::addColumn<bool>("pageText");
        QTest::addColumn<bool>("ignoreAccents");
        QTest::addColumn<QStringList>("expected");
        for (const db::Provider provider : testsupport::allProviders()) {
            QTest::newRow(caseName(u"accented, in pages"_s, provider))
                << provider << u"LICITAÇÃO"_s << true << false << QStringList{u"0000100001"_s, u"0000100002"_s};
            QTest::newRow(caseName(u"plain letters, accents ignored, pages"_s, provider))
                << provider << u"licitacao"_s << true << true
                << QStringList{u"0000100001"_s, u"0000100002"_s, u"0000100003"_s, u"0000200002"_s};
            QTest::newRow(caseName(u"plain letters, accents ignored, fields only"_s, provider))
                << provider << u"licitacao"_s << false << true << QStringList{u"0000100002"_s};
            QTest::newRow(caseName(u"plain letters, accents kept"_s, provider))
                << provider << u"licitacao"_s << true << false << QStringList{u"0000100003"_s};
            QTest::newRow(caseName(u"spelled-out letters"_s, provider))
                << provider << u"STRASSE"_s << true << true << QStringList{u"0000200002"_s};
            QTest::newRow(caseName(u"a text of no document"_s, provider))
                << provider << u"exclusivo"_s << true << true << QStringList{};
        }
    }
    void pagesAndAccents()
    {
        QFETCH(db::Provider, provider);
        QFETCH(QString, term);
        QFETCH(bool, pageText);
        QFETCH(bool, ignoreAccents);
        QFETCH(QStringList, expected);
        openScreen(provider);
        search({{QString(), term}}, {pageText, ignoreAccents});
        QCOMPARE(hits(), expected);
        // The "Script" page shows the statement of the search, with its page condition.
        const QString statement = search::statement({}, {}, search::termsClause({{QString(), term}}, {pageText, ignoreAccents}));
        QCOMPARE(lastScriptLine(), search::scriptLine(statement));
        QCOMPARE(lastScriptLine().contains(u"lauda_texto.texto"_s), pageText);
        QCOMPARE(lastScriptLine().contains(u"cartulo_sem_acento("_s), ignoreAccents);
    }

    void steppingStartsAtTheFirstPageWithATerm_data()
    {
        bothOffSearchAsBefore_data();
    }
    void steppingStartsAtTheFirstPageWithATerm()
    {
        QFETCH(db::Provider, provider);
        openScreen(provider);
        const QString first = u"0000100001"_s;
        auto selectFirst = [&] {
            QVERIFY(hits().contains(first));
            int row = 0; // the hits come in no set order
            while (f->DSPesqAvanc->index(row, 3).data().toString() != first)
                ++row;
            f->DBGrid1->selectRow(row);
            QCOMPARE(f->QryPesqAvanc->asText(3), first);
        };
        // "rua" is on page 3 only; "obra" on page 2: the lowest of the pages of any term.
        search({{QString(), u"rua"_s}, {u"OR"_s, u"obra"_s}}, {true, false});
        selectFirst();
        QCOMPARE(search::searchState().page, u"002"_s);
        QVERIFY2(f->ImgPrev->pagePath().endsWith(pageEntry(first, 2)), qPrintable(f->ImgPrev->pagePath()));
        f->BtnAnt->click();
        QCOMPARE(search::searchState().page, u"001"_s);
        f->BtnProx->click();
        f->BtnProx->click();
        QCOMPARE(search::searchState().page, u"003"_s);

        // Without accents, "pavimentacao" is first on page 3.
        search({{QString(), u"pavimentacao"_s}}, {true, true});
        selectFirst();
        QCOMPARE(search::searchState().page, u"003"_s);
        QVERIFY(f->ImgPrev->pagePath().endsWith(pageEntry(first, 3)));

        // Found by a field alone ("ata"), or with the page texts off: page 001, as before.
        search({{QString(), u"conselho"_s}}, {true, false});
        selectFirst();
        QCOMPARE(search::searchState().page, u"001"_s);
        search({{QString(), u"ata"_s}}, {false, false});
        selectFirst();
        QCOMPARE(search::searchState().page, u"001"_s);
    }

    // Random searches of one to four terms under every pair of boxes, against the plain
    // reading; on the file the substring indexes narrow the search, on the server the
    // trigram indexes.
    void againstPlainReading_data()
    {
        bothOffSearchAsBefore_data();
    }
    void againstPlainReading()
    {
        QFETCH(db::Provider, provider);
        openScreen(provider);
        QRandomGenerator random(20261211);
        int nonEmpty = 0;
        for (int round = 0; round < 40; ++round) {
            QList<Term> terms;
            const int count = 1 + random.bounded(round < 20 ? 2 : 4);
            for (int i = 0; i < count; ++i)
                terms.append({i == 0 ? QString() : (random.bounded(2) ? u"AND"_s : u"OR"_s),
                              kSearchWords[random.bounded(int(kSearchWords.size()))]});
            for (const TermOptions options : {TermOptions{false, false}, TermOptions{true, false},
                                              TermOptions{false, true}, TermOptions{true, true}}) {
                search(terms, options);
                const QStringList expected = plainScan(terms, options);
                if (hits() != expected) {
                    qWarning().noquote() << "statement:" << lastScriptLine();
                    qWarning().noquote() << "ran:" << f->QryPesqAvanc->text();
                }
                QCOMPARE(hits(), expected);
                nonEmpty += expected.isEmpty() ? 0 : 1;
            }
        }
        QVERIFY(nonEmpty > 40); // the fixture is found, not only missed
    }

    // The narrowed statements are really run where they can be: the comparison above is
    // one of index against plain reading.
    void indexesNarrowTheSearch_data()
    {
        bothOffSearchAsBefore_data();
    }
    void indexesNarrowTheSearch()
    {
        QFETCH(db::Provider, provider);
        openScreen(provider);
        search({{QString(), u"licitação"_s}, {u"AND"_s, u"obra"_s}}, {true, false});
        QCOMPARE(hits(), (QStringList{u"0000100001"_s}));
        const QString ran = f->QryPesqAvanc->text();
        QVERIFY2(ran.contains(provider == db::Provider::SQLite ? u"lauda_texto_busca match"_s : u" union all "_s),
                 qPrintable(ran));
        search({{QString(), u"licitacao"_s}, {u"AND"_s, u"obra"_s}}, {true, true});
        QCOMPARE(hits(), (QStringList{u"0000100001"_s}));
        QVERIFY2(f->QryPesqAvanc->text().contains(provider == db::Provider::SQLite
                                                      ? u"lauda_texto_busca_sem_acento match"_s
                                                      : u" union all "_s),
                 qPrintable(f->QryPesqAvanc->text()));
        if (provider == db::Provider::SQLite) { // the fields alone, through their folded copy
            search({{QString(), u"grosse"_s}}, {false, true});
            QCOMPARE(hits(), (QStringList{u"0000300003"_s}));
            QVERIFY2(f->QryPesqAvanc->text().contains(u"documento_busca_sem_acento match"_s),
                     qPrintable(f->QryPesqAvanc->text()));
        }
    }

    // Another SQLite client, without the program's functions, writes documents and page
    // texts: its writes succeed, and "Ignorar acentos" finds exactly what the plain statement
    // finds, the rows it wrote read plainly until the program folds them.
    void anotherClientOnAFile_data()
    {
        QTest::addColumn<QList<Term>>("terms");
        QTest::addColumn<bool>("pageText");
        QTest::newRow("a page text it changed") << QList<Term>{{QString(), u"HISTORICO"_s}} << true;
        QTest::newRow("its page, marks apart (NFD)") << QList<Term>{{QString(), u"licitacao"_s}} << true;
        QTest::newRow("its document, ß") << QList<Term>{{QString(), u"grosse"_s}} << false;
        QTest::newRow("its document, marks apart") << QList<Term>{{QString(), u"edito"_s}} << true;
        QTest::newRow("a page it removed") << QList<Term>{{QString(), u"demolicao"_s}} << true;
        QTest::newRow("a page it replaced") << QList<Term>{{QString(), u"vistoria"_s}, {u"OR"_s, u"laudo"_s}} << true;
        QTest::newRow("a field it changed") << QList<Term>{{QString(), u"revisao"_s}} << false;
        QTest::newRow("written by the program") << QList<Term>{{QString(), u"orcamento"_s}, {u"AND"_s, u"educacao"_s}}
                                                << true;
    }
    void anotherClientOnAFile()
    {
        QFETCH(QList<Term>, terms);
        QFETCH(bool, pageText);
        testsupport::ProviderArchive file(db::Provider::SQLite);
        db::Connection &c = file.connection();
        const std::unique_ptr<db::PageTexts> texts = fillSmallFile(c);
        QCOMPARE(db::queuedindex::pendingRows(c.handle(), db::queuedindex::foldedPageTexts(), 10), 0);

        const db::HandlePtr other = otherClient(c.databasePath());
        const char *writes =
            "INSERT INTO documento (cod, processo, tp_doc, descricao, ementa, palavras_chave, data, n_laudas) "
            "VALUES ('00004', '00001', '00001', 'Größe', 'e\xcc\x81" "dito', NULL, 38061, 0);"
            "UPDATE documento SET ementa = 'Revisão' WHERE cod = '00001';"
            "INSERT INTO lauda_texto (processo, documento, numero, impressao, texto) "
            "VALUES ('00001', '00004', 1, 'x', 'licitac\xcc\xa7" "a\xcc\x83o');"
            "UPDATE lauda_texto SET texto = 'Tombamento histórico' WHERE documento = '00003';"
            "DELETE FROM lauda_texto WHERE documento = '00002' AND numero = 1;"
            "INSERT OR REPLACE INTO lauda_texto (processo, documento, numero, impressao, texto) "
            "VALUES ('00001', '00002', 2, 'y', 'Laudo técnico');";
        char *error = nullptr;
        QVERIFY2(sqlite3_exec(other.get(), writes, nullptr, nullptr, &error) == SQLITE_OK, error);
        QVERIFY(db::queuedindex::pendingRows(c.handle(), db::queuedindex::foldedPageTexts(), 10) > 0);

        openScreenOn(c, file.programDir());
        QCOMPARE(db::queuedindex::pendingRows(c.handle(), db::queuedindex::foldedDocuments(), 10), 0);
        // Written again after the program's upkeep: read plainly.
        QVERIFY2(sqlite3_exec(other.get(),
                              "UPDATE lauda_texto SET texto = 'Tombamento HISTÓRICO' WHERE documento = '00003';"
                              "UPDATE documento SET descricao = 'GROẞE' WHERE cod = '00004'",
                              nullptr, nullptr, &error) == SQLITE_OK, error);
        const TermOptions options{pageText, true};
        const QStringList plain = plainHits(c, terms, options);
        search(terms, options);
        QCOMPARE(hits(), plain);
        QVERIFY2(f->QryPesqAvanc->text().contains(u"_sem_acento_pendente"_s), qPrintable(f->QryPesqAvanc->text()));
        QVERIFY(!plain.isEmpty() || QTest::currentDataTag() == QByteArray("a page it removed"));

        // The program folds what the other client wrote; the same hits without reading any plainly.
        texts->store({u"00001"_s, u"00001"_s, 2}, {QString(64, u'0'), u"mais uma página"_s, {}, std::nullopt});
        QCOMPARE(db::queuedindex::pendingRows(c.handle(), db::queuedindex::foldedPageTexts(), 10), 0);
        db::queuedindex::catchUp(c.handle(), db::queuedindex::foldedDocuments());
        search(terms, options);
        QCOMPARE(hits(), plain);
        f.reset();
    }

    // Another SQLite client writes page texts after the program's upkeep, each write one that
    // an index kept by its own triggers got wrong (INSERT OR IGNORE of a key there took the
    // row's entry away): with the accents kept or ignored, the search finds exactly the plain
    // statement's hits, the rows written read plainly until the program indexes them.
    void anotherClientWritesPageTexts_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QList<Term>>("terms");
        const QString insert = u"INSERT %1 INTO lauda_texto (processo, documento, numero, impressao, texto) "_s;
        QTest::newRow("insert or ignore of a key there")
            << insert.arg(u"OR IGNORE"_s) + u"VALUES ('00001', '00002', 2, 'y', 'Laudo pericial')"_s
            << QList<Term>{{QString(), u"técnica"_s}};
        QTest::newRow("insert or replace")
            << insert.arg(u"OR REPLACE"_s) + u"VALUES ('00001', '00002', 2, 'y', 'Laudo pericial')"_s
            << QList<Term>{{QString(), u"vistoria técnica"_s}, {u"OR"_s, u"pericial"_s}};
        QTest::newRow("insert or ignore of a new key")
            << insert.arg(u"OR IGNORE"_s) + u"VALUES ('00001', '00003', 2, 'z', 'Parecer jurídico')"_s
            << QList<Term>{{QString(), u"parecer"_s}};
        QTest::newRow("update of a text")
            << u"UPDATE lauda_texto SET texto = 'Tombamento histórico' WHERE documento = '00001'"_s
            << QList<Term>{{QString(), u"tombamento"_s}};
        QTest::newRow("update to no text") << u"UPDATE lauda_texto SET texto = NULL WHERE documento = '00001'"_s
                                           << QList<Term>{{QString(), u"educação"_s}, {u"OR"_s, u"técnica"_s}};
        QTest::newRow("delete") << u"DELETE FROM lauda_texto WHERE documento = '00002' AND numero = 1"_s
                                << QList<Term>{{QString(), u"demolição"_s}, {u"OR"_s, u"educação"_s}};
        QTest::newRow("rowid moved")
            << u"UPDATE lauda_texto SET rowid = rowid + 100 WHERE documento = '00002' AND numero = 2"_s
            << QList<Term>{{QString(), u"técnica"_s}};
        QTest::newRow("one transaction")
            << u"BEGIN; "_s + insert.arg(u"OR IGNORE"_s) + u"VALUES ('00001', '00002', 2, 'y', 'x'); "_s
                   + u"UPDATE lauda_texto SET texto = 'Demolição parcial' WHERE documento = '00002' AND numero = 1; "_s
                   + insert.arg(u"OR REPLACE"_s) + u"VALUES ('00001', '00001', 1, 'w', 'Orçamento revisto'); "_s
                   + u"DELETE FROM lauda_texto WHERE documento = '00003'; COMMIT"_s
            << QList<Term>{{QString(), u"técnica"_s}, {u"OR"_s, u"parcial"_s}, {u"OR"_s, u"revisto"_s},
                           {u"OR"_s, u"relatório"_s}};
    }
    void anotherClientWritesPageTexts()
    {
        QFETCH(QString, sql);
        QFETCH(QList<Term>, terms);
        testsupport::ProviderArchive file(db::Provider::SQLite);
        db::Connection &c = file.connection();
        const std::unique_ptr<db::PageTexts> texts = fillSmallFile(c);
        openScreenOn(c, file.programDir());
        const auto closeScreen = qScopeGuard([this] { f.reset(); });
        const db::HandlePtr other = otherClient(c.databasePath());
        QCOMPARE(writeAs(other.get(), sql), QString());

        auto searchBoth = [&](const char *when) {
            for (const bool ignoreAccents : {false, true}) {
                const TermOptions options{true, ignoreAccents};
                const QStringList plain = plainHits(c, terms, options);
                QVERIFY2(!plain.isEmpty(), when);
                search(terms, options);
                const QString ran = f->QryPesqAvanc->text();
                QVERIFY2(hits() == plain, qPrintable(u"%1: %2 instead of %3 by %4"_s.arg(
                                              QLatin1StringView(when), hits().join(u' '), plain.join(u' '), ran)));
                // The index was used, with the rows it still lacks.
                QVERIFY2(ran.contains(ignoreAccents ? u"lauda_texto_busca_sem_acento_pendente"_s
                                                    : u"lauda_texto_busca_pendente"_s),
                         qPrintable(ran));
            }
        };
        searchBoth("written by the other client");
        if (QTest::currentTestFailed())
            return;
        // The program indexes what the other client wrote; nothing is left to read plainly.
        texts->store({u"00001"_s, u"00003"_s, 9}, {QString(64, u'0'), u"mais uma página"_s, {}, std::nullopt});
        QCOMPARE(db::queuedindex::pendingRows(c.handle(), db::queuedindex::pageTexts(), 10), 0);
        searchBoth("indexed by the program");
    }

    // A copy restored from the sqlite3 shell's dump numbers the page texts anew (the first was
    // removed) and was written before its triggers were made: its index still names the old
    // rowids and, used as it stands, misses hits. The program notices it by the fingerprint,
    // fills it again, and finds the plain statement's hits.
    void restoredDumpIsRebuilt()
    {
        testsupport::ProviderArchive file(db::Provider::SQLite);
        fillSmallFile(file.connection())->forget({u"00001"_s, u"00001"_s, 1});
        QTemporaryDir copyDir;
        const QString copyPath = copyDir.filePath(u"cartulo.db"_s);
        QVERIFY(testsupport::dumpAndRestore(file.connection().databasePath(), copyPath));
        db::Connection copy;
        copy.openFile(copyPath);
        const auto closeScreen = qScopeGuard([this] { f.reset(); });
        QCOMPARE(db::queuedindex::condition(copy.handle(), db::queuedindex::pageTexts()),
                 db::searchindex::Condition::Stale);

        const QList<QList<Term>> searches{{{QString(), u"técnica"_s}},
                                          {{QString(), u"demolição"_s}},
                                          {{QString(), u"relatório"_s}, {u"AND"_s, u"vistoria"_s}},
                                          {{QString(), u"educação"_s}, {u"OR"_s, u"prédio"_s}}};
        const TermOptions accentsKept{true, false};
        int missed = 0;
        for (const QList<Term> &terms : searches) {
            const QString narrowed = search::statementToRun(copy, terms, {}, {}, true, accentsKept);
            QVERIFY2(narrowed.contains(u"lauda_texto_busca match"_s), qPrintable(narrowed));
            missed += keysOf(copy, narrowed) != plainHits(copy, terms, accentsKept);
        }
        QVERIFY(missed > 0);

        openScreenOn(copy, file.programDir());
        QCOMPARE(db::queuedindex::condition(copy.handle(), db::queuedindex::pageTexts()),
                 db::searchindex::Condition::Current);
        for (const QList<Term> &terms : searches) {
            for (const bool ignoreAccents : {false, true}) {
                const TermOptions options{true, ignoreAccents};
                search(terms, options);
                QCOMPARE(hits(), plainHits(copy, terms, options));
                QVERIFY2(f->QryPesqAvanc->text().contains(ignoreAccents ? u"lauda_texto_busca_sem_acento match"_s
                                                                        : u"lauda_texto_busca match"_s),
                         qPrintable(f->QryPesqAvanc->text()));
            }
        }
    }

    // An archive whose page-text index the earlier version made (written by its own triggers,
    // so another client's INSERT OR IGNORE took an entry away) gets the queued one on
    // opening, the former triggers gone; read plainly until the upkeep fills it, then used.
    void earlierPageTextIndexIsConverted()
    {
        testsupport::ProviderArchive file(db::Provider::SQLite);
        db::Connection &c = file.connection();
        fillSmallFile(c);
        const QString path = c.databasePath();
        db::queuedindex::drop(c.handle(), db::queuedindex::pageTexts());
        {
            const db::HandlePtr earlier = otherClient(path);
            QCOMPARE(writeAs(earlier.get(), earlierPageTextIndex()), QString());
            const QString entries = u"SELECT count(*) FROM lauda_texto_busca WHERE lauda_texto_busca MATCH '\"écn\"'"_s;
            QCOMPARE(testsupport::rowsOf(c, entries), QList<QStringList>{{u"1"_s}});
            QCOMPARE(writeAs(earlier.get(), u"INSERT OR IGNORE INTO lauda_texto (processo, documento, numero, "
                                            u"impressao, texto) VALUES ('00001', '00002', 2, 'y', 'x')"_s),
                     QString());
            QCOMPARE(testsupport::rowsOf(c, entries), QList<QStringList>{{u"0"_s}});
        }
        c.close();
        c.openFile(path);
        const auto closeScreen = qScopeGuard([this] { f.reset(); });
        QCOMPARE(testsupport::rowsOf(c, u"SELECT name FROM sqlite_schema WHERE type = 'trigger' AND name LIKE "
                                        u"'lauda\\_texto\\_busca\\_%' ESCAPE '\\' AND name NOT LIKE '%sem_acento%' "
                                        u"ORDER BY name"_s),
                 (QList<QStringList>{{u"lauda_texto_busca_v1_altera"_s},
                                     {u"lauda_texto_busca_v1_exclui"_s},
                                     {u"lauda_texto_busca_v1_insere"_s},
                                     {u"lauda_texto_busca_v1_substitui"_s}}));
        QCOMPARE(db::queuedindex::condition(c.handle(), db::queuedindex::pageTexts()),
                 db::searchindex::Condition::Filling);
        const QList<Term> terms{{QString(), u"técnica"_s}, {u"OR"_s, u"educação"_s}};
        const TermOptions options{true, false};
        QCOMPARE(search::statementToRun(c, terms, {}, {}, true, options),
                 search::statement({}, {}, search::termsClause(terms, options)));

        openScreenOn(c, file.programDir());
        QCOMPARE(db::queuedindex::condition(c.handle(), db::queuedindex::pageTexts()),
                 db::searchindex::Condition::Current);
        const db::HandlePtr other = otherClient(path);
        QCOMPARE(writeAs(other.get(), u"INSERT OR IGNORE INTO lauda_texto (processo, documento, numero, impressao, "
                                      u"texto) VALUES ('00001', '00002', 2, 'y', 'x')"_s),
                 QString());
        search(terms, options);
        QCOMPARE(hits(), (QStringList{u"0000100001"_s, u"0000100002"_s}));
        QCOMPARE(hits(), plainHits(c, terms, options));
        QVERIFY2(f->QryPesqAvanc->text().contains(u"lauda_texto_busca match"_s), qPrintable(f->QryPesqAvanc->text()));
    }

    // An archive that keeps no page texts offers no search in them; a server whose accent
    // fold could not be made by the role that opened it offers no "Ignorar acentos".
    void boxesOffWhereTheArchiveCannot()
    {
        testsupport::ProviderArchive file(db::Provider::SQLite);
        file.connection().execute(u"drop table if exists lauda_texto"_s);
        search::searchState() = {};
        f = std::make_unique<TFramePesquisaAvancada>();
        f->ChkTextoPaginas->setChecked(true);
        f->setConnection(&file.connection());
        QVERIFY(!f->ChkTextoPaginas->isEnabled());
        QVERIFY(!f->ChkTextoPaginas->isChecked());
        QVERIFY(f->ChkIgnorarAcentos->isEnabled());

        testsupport::PgTestDatabase database;
        {
            db::pg::PgConnection owner(database.address());
            db::pg::schema::create(owner);
        }
        db::Connection ownerConnection;
        ownerConnection.openServer(database.address());
        ownerConnection.server()->exec(u"DROP FUNCTION cartulo_sem_acento(text) CASCADE"_s);
        const testsupport::PgTestRole clerk;
        ownerConnection.server()->exec(u"GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1"_s.arg(clerk.name()));
        db::Connection clerkConnection;
        clerkConnection.openServer(database.addressAs(clerk.name()));
        f = std::make_unique<TFramePesquisaAvancada>();
        f->ChkIgnorarAcentos->setChecked(true);
        f->setConnection(&clerkConnection);
        QVERIFY(f->ChkTextoPaginas->isEnabled());
        QVERIFY(!f->ChkIgnorarAcentos->isEnabled());
        QVERIFY(!f->ChkIgnorarAcentos->isChecked());
        QVERIFY(f->ChkIgnorarAcentos->toolTip().contains(u"dono do banco"_s));
        f.reset();
        clerkConnection.close();
        ownerConnection.close();
    }

    // On the server each like of the narrowed statement is served by its trigram index, and
    // nothing in the plan gathers every candidate before the first hit (a common term's
    // candidates are most of the archive).
    void serverIndexesServeTheNarrowedSearch_data()
    {
        QTest::addColumn<bool>("ignoreAccents");
        QTest::addColumn<QStringList>("indexes");
        QTest::newRow("accents kept") << false << QStringList{u"documento_busca"_s, u"lauda_texto_busca"_s};
        QTest::newRow("accents ignored")
            << true << QStringList{u"documento_busca_sem_acento"_s, u"lauda_texto_busca_sem_acento"_s};
    }
    void serverIndexesServeTheNarrowedSearch()
    {
        QFETCH(bool, ignoreAccents);
        QFETCH(QStringList, indexes);
        db::Connection &connection = archive(db::Provider::PostgreSQL);
        const QList<Term> terms{{QString(), u"licitação"_s}, {u"OR"_s, u"esgoto"_s}};
        const TermOptions options{true, ignoreAccents};
        const QString statement = search::statementToRun(connection, terms, {}, {}, true, options);
        db::pg::PgConnection &server = *connection.server();
        server.exec(u"SET enable_seqscan = off"_s); // a few rows: the plan that cannot use them reads all
        const db::pg::PgResult plan =
            server.exec(u"EXPLAIN "_s + db::translate(statement, {}, db::Provider::PostgreSQL).sql);
        server.exec(u"RESET enable_seqscan"_s);
        QStringList lines;
        for (int row = 0; row < plan.rowCount(); ++row)
            lines << plan.text(row, 0);
        const QString shown = lines.join(u'\n');
        for (const QString &index : indexes)
            QVERIFY2(shown.contains(u"Bitmap Index Scan on "_s + index + u' '), qPrintable(shown));
        for (const QString &gathering : {u"hashed SubPlan"_s, u"HashAggregate"_s, u"Unique"_s, u"SetOp"_s, u"Sort"_s})
            QVERIFY2(!shown.contains(gathering), qPrintable(shown));
    }
};

QTEST_MAIN(TestPageText)
#include "tst_pagetext_pg.moc"
