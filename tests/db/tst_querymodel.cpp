// The grid model: shows every row of a query as the rows come in, and keeps the grid's
// current row and the query's current row together.
#include "ArchiveFixture.h"

#include "db/QueryModel.h"

#include <QItemSelectionModel>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

class TestQueryModel : public QObject {
    Q_OBJECT

private slots:
    void showsRowsAsTheyAreRead_data() { providers(); }
    void showsRowsAsTheyAreRead();
    void namedColumnsAndTitles_data() { providers(); }
    void namedColumnsAndTitles();
    void selectionAndQueryMoveTogether_data() { providers(); }
    void selectionAndQueryMoveTogether();
    void closingEmptiesTheGrid_data() { providers(); }
    void closingEmptiesTheGrid();

private:
    static void providers()
    {
        fixture::addProviderColumn();
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }
};

namespace {

void fillDocuments(db::Connection &connection, int count)
{
    connection.execute(u"insert into processo (cod, descricao, num_doc) values ('00001', 'x', 0)"_s);
    if (connection.server()) {
        connection.server()->exec(u"INSERT INTO documento (cod, processo, tp_doc, descricao, data) "
                                  u"SELECT lpad((x + 1)::text, 5, '0'), '00001', '00001', 'DOC ' || x, 38061 + x "
                                  u"FROM generate_series(0, %1 - 1) AS x ORDER BY x"_s.arg(count));
        return;
    }
    connection.execute(u"WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n WHERE x + 1 < %1) "
                       u"INSERT INTO documento (cod, processo, tp_doc, descricao, data) "
                       u"SELECT printf('%05d', x + 1), '00001', '00001', 'DOC ' || x, 38061 + x FROM n"_s
                           .arg(count));
}

} // namespace

void TestQueryModel::showsRowsAsTheyAreRead()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    fillDocuments(archive.connection, 20000);
    db::Query query(&archive.connection);
    query.setSql(u"select descricao, data from documento"_s);
    db::QueryModel model(&query);
    QCOMPARE(model.rowCount(), 0);
    query.open();
    QVERIFY(model.rowCount() > 0);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), u"data"_s);
    QCOMPARE(model.data(model.index(1, 0)).toString(), u"DOC 1"_s);
    QCOMPARE(model.data(model.index(1, 1)).toString(), u"16/03/04"_s);
    // Every row comes in without the grid asking; the scroll bar then covers them all.
    QTRY_COMPARE(model.rowCount(), 20000);
    QVERIFY(!model.canFetchMore({}));
    QCOMPARE(model.data(model.index(19999, 0)).toString(), u"DOC 19999"_s);
}

void TestQueryModel::namedColumnsAndTitles()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    db::Query query(&archive.connection);
    query.setSql(u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod "
                 u"from documento,tipo_arq where tipo_arq.cod=documento.tp_doc order by documento.data"_s);
    db::QueryModel model(&query);
    model.setColumns({u"documento.descricao"_s, u"data"_s});
    query.open();
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), u"documento.descricao"_s);
    model.setTitles({u"Descrição"_s, u"Data"_s});
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), u"Descrição"_s);
    QCOMPARE(model.data(model.index(0, 0)).toString(), u"EDITAL"_s);
    QCOMPARE(model.data(model.index(0, 1)).toString(), u"15/03/04"_s);
    QCOMPARE(model.resultColumn(1), 1);
}

void TestQueryModel::selectionAndQueryMoveTogether()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    fillDocuments(archive.connection, 500);
    db::Query query(&archive.connection);
    query.setSql(u"select cod, descricao from documento"_s);
    db::QueryModel model(&query);
    QItemSelectionModel selection(&model);
    model.attach(&selection);
    query.open();
    QCOMPARE(selection.currentIndex().row(), 0);
    query.next();
    QCOMPARE(selection.currentIndex().row(), 1);
    QVERIFY(selection.isRowSelected(1, {}));

    QSignalSpy scrolled(&query, &db::Query::afterScroll);
    selection.setCurrentIndex(model.index(5, 1), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(query.recNo(), 5);
    QCOMPARE(query.asText(1), u"DOC 5"_s);
    QCOMPARE(scrolled.count(), 1);

    query.last(); // reads rows the grid had not shown yet
    QCOMPARE(model.rowCount(), 500);
    QCOMPARE(selection.currentIndex().row(), 499);
}

void TestQueryModel::closingEmptiesTheGrid()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    db::Query query(&archive.connection);
    query.setSql(u"select * from tipo_arq"_s);
    db::QueryModel model(&query);
    query.open();
    QCOMPARE(model.rowCount(), 3);
    query.close();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
}

QTEST_GUILESS_MAIN(TestQueryModel)
#include "tst_querymodel.moc"
