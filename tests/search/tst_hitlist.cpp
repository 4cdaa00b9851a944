// The hit list of the advanced search over more hits than a screen holds: it keeps the
// hits it had when the search ran while documents are changed, deleted and added, its
// scroll bar covers every hit, and Ctrl+End reaches the last one. And the screen's care of
// the search index: an index that does not match its table is filled again in the
// background, with its progress shown, while searches read every document.
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "db/QueryModel.h"
#include "db/SearchIndex.h"
#include "search/SearchStatement.h"
#include "search/UntPesquisaAvancada.h"
#include "tests/support/SqliteShell.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDocuments = 3000;

} // namespace

class TestHitList : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<db::Connection> m_connection;
    std::unique_ptr<TFramePesquisaAvancada> f;

    void run(const QString &sql)
    {
        db::Command command(m_connection.get());
        command.setText(sql);
        command.execute();
    }

    void search(const QString &term)
    {
        if (f->BtnNovaPesquisa->isEnabled())
            QTest::mouseClick(f->BtnNovaPesquisa, Qt::LeftButton);
        f->Edit1->setText(term);
        QTest::mouseClick(f->BtnPesquisarAgora, Qt::LeftButton);
        QCOMPARE(f->PageControl1->currentWidget(), f->TSResultados);
    }

    // What the grid shows, row by row, once every hit has come in.
    QStringList gridRows()
    {
        db::QueryModel *model = f->DSPesqAvanc;
        const int count = f->QryPesqAvanc->recordCount();
        [&] { QTRY_COMPARE(model->rowCount(), count); }();
        QStringList rows;
        for (int row = 0; row < model->rowCount(); ++row)
            rows << model->index(row, 0).data().toString() + u'|' + model->index(row, 3).data().toString();
        return rows;
    }

    // The same archive's documents in a copy restored by the sqlite3 shell after some
    // were deleted: its index names the old rowids.
    void replaceByRestoredDump()
    {
        f.reset();
        for (const char16_t *cod : {u"00002", u"00500", u"01000"})
            run(u"DELETE FROM documento Where processo=\"00001\" and cod=\"%1\""_s.arg(QStringView(cod)));
        auto restoredDir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(restoredDir->path()).mkpath(u"dados/laudas"_s));
        const QString restored = restoredDir->filePath(u"dados/cartulo.db"_s);
        QVERIFY(testsupport::dumpAndRestore(m_connection->databasePath(), restored));
        m_connection = std::make_unique<db::Connection>();
        m_dir = std::move(restoredDir);
        m_connection->openFile(restored);
        QCOMPARE(db::searchindex::condition(m_connection->handle()), db::searchindex::Condition::Stale);
    }

    // The screen, not yet on its connection (its index upkeep starts with it).
    void createScreen()
    {
        search::searchState() = {};
        f = std::make_unique<TFramePesquisaAvancada>();
        f->setProgramDir(m_dir->path());
    }

    void connectAndShowScreen()
    {
        f->setConnection(m_connection.get());
        f->show();
        QApplication::setActiveWindow(f.get());
        QVERIFY(QTest::qWaitForWindowActive(f.get()));
    }

    // The keys the plain statement finds for one term, in its order.
    QStringList plainKeys(const QString &term)
    {
        db::Query plain(m_connection.get());
        plain.setSql(search::statement({}, {}, search::termsClause({{QString(), term}})));
        plain.open();
        QStringList keys;
        for (int row = 0; plain.moveTo(row); ++row)
            keys << plain.asText(3);
        keys.sort();
        return keys;
    }

    QStringList gridKeys()
    {
        QStringList keys;
        for (const QString &row : gridRows())
            keys << row.section(u'|', 1);
        keys.sort();
        return keys;
    }

    // A fresh archive for each case: they change it.
    void makeArchive()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir(m_dir->path()).mkpath(u"dados/laudas"_s));
        const QString path = m_dir->filePath(u"dados/cartulo.db"_s);
        db::Connection::createArchive(path);
        m_connection = std::make_unique<db::Connection>();
        m_connection->openFile(path);
        run(u"Insert Into tipo_arq (cod,descricao) VALUES (\"00001\",\"CONTRATO\")"_s);
        run(u"insert into processo (cod,descricao,numero,data,num_doc) values (\"00001\",\"Obra\",\"1\",NULL,0)"_s);
        run(u"insert into processo (cod,descricao,numero,data,num_doc) values (\"00002\",\"Papel\",\"2\",NULL,0)"_s);
        // Every other document holds the term.
        run(u"WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < %1) "
            u"INSERT INTO documento (cod, processo, tp_doc, descricao, ementa, data, n_laudas) "
            u"SELECT printf('%05d', x), '00001', '00001', 'DOC ' || x, "
            u"CASE x % 2 WHEN 0 THEN 'Contrato de obra ' || x ELSE 'Ofício ' || x END, 38061 + x, 0 FROM n"_s
                .arg(kDocuments));
        db::searchindex::ensure(*m_connection);
    }

private slots:
    void init()
    {
        makeArchive();
        createScreen();
        QSignalSpy checked(f->indexUpkeep, &db::searchindex::Upkeep::finished);
        connectAndShowScreen();
        QVERIFY(!checked.isEmpty() || checked.wait());
    }

    void cleanup()
    {
        f.reset();
        m_connection.reset();
        m_dir.reset();
    }

    void keepsItsHitsWhileDocumentsChange_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("added"); // ementa of the added documents
        QTest::newRow("no criteria") << QString() << u"nada"_s;
        QTest::newRow("a term, through the index") << u"contrato"_s << u"contrato novo"_s;
    }

    // Documents of the first screenful and further down are deleted and changed, and
    // matching ones added, while the hit list is open: scrolling on shows the hits of the
    // search, no more, no fewer; the next search shows the changes.
    void keepsItsHitsWhileDocumentsChange()
    {
        QFETCH(QString, term);
        QFETCH(QString, added);
        search(term);
        const QStringList atSearch = gridRows();
        QVERIFY(atSearch.size() > 1000);

        search(term);
        f->DBGrid1->selectRow(3);
        const QString key3 = atSearch[3].section(u'|', 1);
        QCOMPARE(f->QryPesqAvanc->asText(3), key3);
        // What the document screen sends for an update and a deletion, and inclusions.
        run(u"DELETE FROM documento Where processo=\"00001\" and cod=\"%1\""_s.arg(atSearch[1].section(u'|', 1).mid(5)));
        run(u"UPDATE documento SET descricao=\"MUDADO\",ementa=\"sem termo\" Where processo=\"00001\" and cod=\"%1\""_s
                .arg(atSearch[2].section(u'|', 1).mid(5)));
        run(u"DELETE FROM documento Where processo=\"00001\" and cod=\"%1\""_s.arg(atSearch[900].section(u'|', 1).mid(5)));
        for (const char16_t *cod : {u"00001", u"00002"})
            run(u"insert into documento (cod,processo,tp_doc,descricao,ementa,data,n_laudas) "
                u"values (\"%1\",\"00002\",\"00001\",\"NOVO\",\"%2\",38061,0)"_s.arg(QStringView(cod), added));
        QCOMPARE(f->QryPesqAvanc->asText(3), key3);
        QCOMPARE(gridRows(), atSearch);
        QVERIFY(f->QryPesqAvanc->moveTo(atSearch.size() - 1));
        QCOMPARE(f->QryPesqAvanc->asText(3), atSearch.last().section(u'|', 1));

        search(term);
        const QStringList after = gridRows();
        // Two deleted, two added; with the term, the changed one is no hit any more.
        QCOMPARE(after.size(), atSearch.size() - (term.isEmpty() ? 0 : 1));
        QVERIFY(!after.contains(atSearch[1]));
        QVERIFY(!after.contains(atSearch[900]));
    }

    // The scroll bar covers every hit, and Ctrl+End makes the last one current.
    void ctrlEndReachesTheLastHit()
    {
        search(QString());
        const int count = f->QryPesqAvanc->recordCount();
        QVERIFY(count >= kDocuments);
        QTableView *grid = f->DBGrid1;
        QTRY_COMPARE(f->DSPesqAvanc->rowCount(), count);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(grid->currentIndex().row(), count - 1);
        QCOMPARE(f->QryPesqAvanc->recNo(), count - 1);
        db::Query last(m_connection.get());
        last.setSql(f->QryPesqAvanc->text());
        last.open();
        last.last();
        QCOMPARE(f->QryPesqAvanc->asText(3), last.asText(3));
        QCOMPARE(f->DBEdit1->text(), u"CONTRATO"_s);
        // At the scroll bar's end the last hit is in view: the bar spans every hit.
        QScrollBar *bar = grid->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(grid->viewport()->rect().contains(grid->visualRect(grid->model()->index(count - 1, 0))));
        QVERIFY(!grid->viewport()->rect().intersects(grid->visualRect(grid->model()->index(0, 0))));
    }

    // A restored dump: the screen finds its index stale, searches read every document while
    // it fills the index again with its progress shown, then searches go through it.
    void staleIndexFilledInTheBackground()
    {
        replaceByRestoredDump();
        createScreen();
        QSignalSpy started(f->indexUpkeep, &db::searchindex::Upkeep::buildStarted);
        QSignalSpy progressed(f->indexUpkeep, &db::searchindex::Upkeep::progressed);
        QSignalSpy finished(f->indexUpkeep, &db::searchindex::Upkeep::finished);
        // Shown on the criteria page while the index fills.
        bool progressShown = false;
        connect(f->indexUpkeep, &db::searchindex::Upkeep::progressed, f.get(), [&] {
            progressShown = f->PrbIndice->isVisibleTo(f->TSPesquisa) && f->BtnCancelarIndice->isVisibleTo(f->TSPesquisa)
                && f->LblIndice->text().contains(u"Preparando o índice de pesquisa"_s);
        });
        f->setConnection(m_connection.get());
        // At once, before the index is checked: every document is read, exactly.
        f->Edit1->setText(u"contrato"_s);
        f->BtnPesquisarAgoraClick();
        QVERIFY(!f->QryPesqAvanc->text().contains(u"documento_busca"_s));
        QCOMPARE(gridKeys(), plainKeys(u"contrato"_s));
        connectAndShowScreen();

        QVERIFY(!finished.isEmpty() || finished.wait(60000));
        QCOMPARE(started.count(), 1);
        QVERIFY(progressShown);
        QCOMPARE(finished.first(), (QVariantList{true, QString()}));
        QVERIFY(!progressed.isEmpty());
        QCOMPARE(progressed.last().at(0).toLongLong(), progressed.last().at(1).toLongLong());
        QVERIFY(!f->PrbIndice->isVisibleTo(f->TSPesquisa));
        QVERIFY(!f->LblIndice->isVisibleTo(f->TSPesquisa));
        QCOMPARE(db::searchindex::condition(m_connection->handle()), db::searchindex::Condition::Current);

        search(u"contrato"_s);
        QVERIFY(f->QryPesqAvanc->text().contains(u"documento_busca match"_s));
        QCOMPARE(gridKeys(), plainKeys(u"contrato"_s));
    }

    // "Cancelar" stops the filling: searches go on reading every document, and the next
    // opening of the screen on the archive goes on filling.
    void cancelledFillingGoesOnNextTime()
    {
        run(u"WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 30000) "
            u"INSERT INTO documento (cod, processo, tp_doc, descricao, ementa, data, n_laudas) "
            u"SELECT printf('%05d', x), '00002', '00001', 'OUTRO ' || x, 'Licitação ' || x, 38061, 0 FROM n"_s);
        f.reset();
        db::searchindex::drop(m_connection->handle()); // as an archive of an older version
        createScreen();
        QSignalSpy started(f->indexUpkeep, &db::searchindex::Upkeep::buildStarted);
        QSignalSpy finished(f->indexUpkeep, &db::searchindex::Upkeep::finished);
        connectAndShowScreen();
        QVERIFY(!started.isEmpty() || started.wait());
        QVERIFY(finished.isEmpty());
        QTest::mouseClick(f->BtnCancelarIndice, Qt::LeftButton);
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first(), (QVariantList{false, QString()}));
        QVERIFY(f->LblIndice->isVisibleTo(f->TSPesquisa));
        QVERIFY(f->LblIndice->text().contains(u"interrompido"_s));
        QVERIFY(!f->PrbIndice->isVisibleTo(f->TSPesquisa));
        QVERIFY(db::searchindex::condition(m_connection->handle()) != db::searchindex::Condition::Current);
        search(u"contrato"_s);
        QVERIFY(!f->QryPesqAvanc->text().contains(u"documento_busca"_s));
        QCOMPARE(gridKeys(), plainKeys(u"contrato"_s));

        f.reset();
        createScreen();
        QSignalSpy again(f->indexUpkeep, &db::searchindex::Upkeep::finished);
        connectAndShowScreen();
        QVERIFY(!again.isEmpty() || again.wait(60000));
        QCOMPARE(again.first(), (QVariantList{true, QString()}));
        QCOMPARE(db::searchindex::condition(m_connection->handle()), db::searchindex::Condition::Current);
    }
};

QTEST_MAIN(TestHitList)
#include "tst_hitlist.moc"
