// The static cursor: moves, notifications, reading in the background, names, locate, and
// what a half-read query shows when the archive is written meanwhile.
#include "ArchiveFixture.h"

#include "db/DbError.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

class TestQuery : public QObject {
    Q_OBJECT

private slots:
    void movesAndEnds_data() { providers(); }
    void movesAndEnds();
    void emptyResultHasNoCurrentRow_data() { providers(); }
    void emptyResultHasNoCurrentRow();
    void notifications_data() { providers(); }
    void notifications();
    void openTwiceHasNoEffect_data() { providers(); }
    void openTwiceHasNoEffect();
    void textIsTheLinesJoined_data() { providers(); }
    void textIsTheLinesJoined();
    void valuesAsText_data();
    void valuesAsText();
    void resultNames_data();
    void resultNames();
    void fieldsByNameIgnoreCase_data() { providers(); }
    void fieldsByNameIgnoreCase();
    void locateIgnoresCaseOfAccentedLetters_data() { providers(); }
    void locateIgnoresCaseOfAccentedLetters();
    void locateMissStaysPut_data() { providers(); }
    void locateMissStaysPut();
    void bigResultOpensAtOnceAndCountsEveryRow_data() { providers(); }
    void bigResultOpensAtOnceAndCountsEveryRow();
    void openReturnsBeforeTheRestIsRead_data() { providers(); }
    void openReturnsBeforeTheRestIsRead();
    void rowsStayAsAtOpen_data();
    void rowsStayAsAtOpen();
    void writingWhileAQueryIsHalfRead_data() { providers(); }
    void writingWhileAQueryIsHalfRead();
    void otherWriterWhileAQueryIsHalfRead_data() { providers(); }
    void otherWriterWhileAQueryIsHalfRead();
    void queryInsideATransactionSeesItsRows_data() { providers(); }
    void queryInsideATransactionSeesItsRows();
    void statementThatWritesRunsOnTheArchiveConnection_data() { providers(); }
    void statementThatWritesRunsOnTheArchiveConnection();
    void failureWhileReadingReachesTheMove_data() { providers(); }
    void failureWhileReadingReachesTheMove();
    void closingTheConnectionUnderAHalfReadQuery_data() { providers(); }
    void closingTheConnectionUnderAHalfReadQuery();
    void failedOpenLeavesTheQueryClosed_data() { providers(); }
    void failedOpenLeavesTheQueryClosed();

private:
    static void providers()
    {
        fixture::addProviderColumn();
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }
    static void fillDocuments(db::Connection &connection, int count);
    static QStringList allRows(db::Query &query);
};

namespace {

// Far more rows than could ever be read before the next line of a test runs.
const QString kEndless = u"with recursive n(x) as (select 1 union all select x + 1 from n where x < 1000000000) "
                         u"select x from n"_s;

} // namespace

QStringList TestQuery::allRows(db::Query &query)
{
    QStringList rows;
    for (int row = 0; query.moveTo(row); ++row) {
        QStringList fields;
        for (int c = 0; c < query.fieldCount(); ++c)
            fields << query.asText(c);
        rows << fields.join(u'|');
    }
    return rows;
}

void TestQuery::fillDocuments(db::Connection &connection, int count)
{
    QStringList processes;
    for (int p = 0; p <= count / 10000; ++p)
        processes << u"('%1', 'x', 0)"_s.arg(100 + p, 5, 10, QChar(u'0'));
    connection.execute(u"insert into processo (cod, descricao, num_doc) values "_s + processes.join(u','));
    if (connection.server()) {
        connection.server()->exec(u"INSERT INTO documento (cod, processo, tp_doc, descricao) "
                                  u"SELECT lpad((x %% 10000 + 1)::text, 5, '0'), lpad((x / 10000 + 100)::text, 5, '0'), "
                                  u"'00001', 'DOC ' || x FROM generate_series(0, %1 - 1) AS x"_s.arg(count).replace(u"%%"_s, u"%"_s));
        return;
    }
    connection.execute(u"WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n WHERE x + 1 < %1) "
                       u"INSERT INTO documento (cod, processo, tp_doc, descricao) "
                       u"SELECT printf('%05d', x % 10000 + 1), printf('%05d', x / 10000 + 100), '00001', 'DOC ' || x FROM n"_s
                           .arg(count));
}

void TestQuery::movesAndEnds()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    db::Query query(&archive.connection);
    query.addSql(u"select * from tipo_arq"_s);
    query.open();
    QCOMPARE(query.recNo(), 0);
    QVERIFY(query.bof());
    QVERIFY(!query.eof());
    QCOMPARE(query.asText(0), u"00001"_s);
    query.next();
    QCOMPARE(query.recNo(), 1);
    QVERIFY(!query.bof());
    query.next();
    QCOMPARE(query.asText(1), u"LICITAÇÃO"_s);
    QVERIFY(!query.eof());
    query.next(); // past the end: stays on the last row
    QVERIFY(query.eof());
    QCOMPARE(query.recNo(), 2);
    query.prior();
    QCOMPARE(query.recNo(), 1);
    QVERIFY(!query.eof());
    query.first();
    query.prior();
    QVERIFY(query.bof());
    QCOMPARE(query.recNo(), 0);
    query.last();
    QVERIFY(query.eof());
    QCOMPARE(query.recNo(), 2);
    QCOMPARE(query.recordCount(), 3);
    query.close();
    QVERIFY(!query.isOpen());
    QCOMPARE(query.recNo(), -1);
}

void TestQuery::emptyResultHasNoCurrentRow()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    db::Query query(&archive.connection);
    query.setSql(u"select * from processo"_s);
    query.open();
    QVERIFY(query.isEmpty());
    QCOMPARE(query.recNo(), -1);
    QCOMPARE(query.recordCount(), 0);
    QVERIFY(query.bof() && query.eof());
    query.last();
    query.next();
    QCOMPARE(query.recNo(), -1);
    QCOMPARE(query.asText(1), QString());
    QCOMPARE(query.fieldCount(), 5);
}

void TestQuery::notifications()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    db::Query query(&archive.connection);
    query.setSql(u"select cod from tipo_arq"_s);
    QSignalSpy opened(&query, &db::Query::afterOpen);
    QSignalSpy scrolled(&query, &db::Query::afterScroll);
    QList<int> rowsSeen;
    connect(&query, &db::Query::afterScroll, this, [&] { rowsSeen << query.recNo(); });

    query.open();
    QCOMPARE(opened.count(), 1);
    query.next();
    query.next();
    query.next(); // at the end: no move, no notification
    query.prior();
    query.last();
    query.first();
    query.moveTo(0); // already there
    QCOMPARE(rowsSeen, (QList<int>{0, 1, 2, 1, 2, 0}));
    QCOMPARE(scrolled.count(), 6);
}

void TestQuery::openTwiceHasNoEffect()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    db::Query query(&archive.connection);
    query.setSql(u"select cod from tipo_arq"_s);
    query.open();
    query.next();
    QSignalSpy opened(&query, &db::Query::afterOpen);
    query.open();
    QCOMPARE(opened.count(), 0);
    QCOMPARE(query.recNo(), 1);
}

void TestQuery::textIsTheLinesJoined()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    db::Query query(&archive.connection);
    query.addSql(u"select cod,descricao"_s);
    query.addSql(u"From tipo_arq"_s);
    query.sql() << u"Where cod=\"00003\""_s;
    QCOMPARE(query.text(), u"select cod,descricao\nFrom tipo_arq\nWhere cod=\"00003\""_s);
    QSignalSpy sent(&archive.connection, &db::Connection::statementExecuted);
    query.open();
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).toString(), query.text());
    query.clearSql();
    QCOMPARE(query.text(), QString());
}

void TestQuery::valuesAsText_data()
{
    fixture::addProviderColumn();
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNull");

    for (const db::Provider provider : testsupport::allProviders()) {
    QTest::newRow(fixture::caseName("NULL", provider)) << provider << u"NULL"_s << QString() << true;
    QTest::newRow(fixture::caseName("integer", provider)) << provider << u"num_doc"_s << u"2"_s << false;
    QTest::newRow(fixture::caseName("real", provider)) << provider << u"2.5"_s << u"2.5"_s << false;
    QTest::newRow(fixture::caseName("date at midnight", provider)) << provider << u"data"_s << u"14/01/04"_s << false;
    QTest::newRow(fixture::caseName("text", provider)) << provider << u"descricao"_s << u"Obra da escola"_s << false;
    QTest::newRow(fixture::caseName("blob holding text", provider)) << provider << u"CAST('c:/x/logo.jpg' AS %1)"_s.arg(provider == db::Provider::SQLite ? u"BLOB"_s : u"bytea"_s) << u"c:/x/logo.jpg"_s << false;
    }
}

void TestQuery::valuesAsText()
{
    QFETCH(QString, expression);
    QFETCH(QString, text);
    QFETCH(bool, isNull);
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    db::Query query(&archive.connection);
    query.setSql(u"select %1 from processo where cod = '00001'"_s.arg(expression));
    query.open();
    QCOMPARE(query.asText(0), text);
    QCOMPARE(query.isNull(0), isNull);
}

void TestQuery::resultNames_data()
{
    fixture::addProviderColumn();
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("names");

    for (const db::Provider provider : testsupport::allProviders()) {
    QTest::newRow(fixture::caseName("column in two tables", provider)) << provider << u"select documento.descricao, documento.data, tipo_arq.descricao, "
                                             u"documento.processo&documento.cod from documento, tipo_arq"_s
                                          << QStringList{u"documento.descricao"_s, u"data"_s, u"tipo_arq.descricao"_s, u"Expr1003"_s};
    if (provider == db::Provider::SQLite) // a bare column beside an aggregate: the server refuses it
        QTest::newRow(fixture::caseName("alias kept", provider)) << provider << u"select cod as codigo, count(*) as n, max(cod) from tipo_arq"_s
                                    << QStringList{u"codigo"_s, u"n"_s, u"Expr1002"_s};
    QTest::newRow(fixture::caseName("aliases kept", provider)) << provider << u"select cod as codigo, descricao, cod || 'x' as c, upper(descricao) from tipo_arq"_s
                                  << QStringList{u"codigo"_s, u"descricao"_s, u"c"_s, u"Expr1003"_s};
    QTest::newRow(fixture::caseName("star then expression", provider)) << provider << u"select *, cod || 'x' from tipo_arq"_s
                                          << QStringList{u"cod"_s, u"descricao"_s, u"Expr1001"_s};
    QTest::newRow(fixture::caseName("star over a view's computed column", provider)) << provider << u"select * from historico"_s
                                          << QStringList{u"quando"_s, u"quem"_s, u"estacao"_s, u"operacao"_s,
                                                         u"tabela"_s, u"chave"_s, u"antes"_s, u"depois"_s};
    // A view's computed column (quem) is named after itself whenever the item only names it.
    QTest::newRow(fixture::caseName("view's columns by name", provider))
        << provider << u"select quando, quem, estacao, operacao, tabela, chave, antes, depois from historico"_s
        << QStringList{u"quando"_s, u"quem"_s, u"estacao"_s, u"operacao"_s,
                       u"tabela"_s, u"chave"_s, u"antes"_s, u"depois"_s};
    QTest::newRow(fixture::caseName("view's columns qualified and aliased", provider))
        << provider << u"select h.quem, [quem], quem as autor, h.quem || '', upper(quem) from historico h"_s
        << QStringList{u"quem"_s, u"quem"_s, u"autor"_s, u"Expr1003"_s, u"Expr1004"_s};
    QTest::newRow(fixture::caseName("subquery's computed column", provider))
        << provider << u"select q.codigo, codigo from (select cod || 'x' as codigo from tipo_arq) q"_s
        << QStringList{u"codigo"_s, u"codigo"_s};
    QTest::newRow(fixture::caseName("words that are values stay expressions", provider))
        << provider << u"select null, current_date, cod from tipo_arq"_s
        << QStringList{u"Expr1000"_s, u"Expr1001"_s, u"cod"_s};
    // A union's columns are named after its first select's, as are their dates.
    QTest::newRow(fixture::caseName("union named after its first select", provider))
        << provider << u"select documento.descricao, documento.data, tipo_arq.descricao from documento, tipo_arq "
                       u"union all select processo.descricao, processo.data, tipo_arq.cod from processo, tipo_arq"_s
        << QStringList{u"documento.descricao"_s, u"data"_s, u"tipo_arq.descricao"_s};
    QTest::newRow(fixture::caseName("same column twice from one table", provider)) << provider << u"select cod, cod from tipo_arq"_s
                                                      << QStringList{u"cod"_s, u"cod"_s};
    QTest::newRow(fixture::caseName("join with star", provider)) << provider << u"select * from processo p, documento d where d.processo = p.cod"_s
                                    << QStringList{u"processo.cod"_s, u"processo.descricao"_s, u"numero"_s,
                                                   u"processo.data"_s, u"num_doc"_s, u"documento.cod"_s,
                                                   u"processo"_s, u"tp_doc"_s, u"documento.descricao"_s,
                                                   u"ementa"_s, u"palavras_chave"_s, u"documento.data"_s,
                                                   u"data_arquivamento"_s, u"n_laudas"_s, u"localidade"_s,
                                                   u"parteleira"_s, u"gaveta"_s, u"pasta"_s};
    }
}

void TestQuery::resultNames()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, names);
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    db::Query query(&archive.connection);
    query.setSql(sql);
    query.open();
    QStringList actual;
    for (int c = 0; c < query.fieldCount(); ++c)
        actual << query.fieldName(c);
    QCOMPARE(actual, names);
}

void TestQuery::fieldsByNameIgnoreCase()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    db::Query query(&archive.connection);
    query.setSql(u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod "
                 u"from documento,tipo_arq where tipo_arq.cod=documento.tp_doc and documento.cod = \"00001\""_s);
    query.open();
    QCOMPARE(query.fieldIndex(u"TIPO_ARQ.DESCRICAO"_s), 2);
    QCOMPARE(query.fieldIndex(u"expr1003"_s), 3);
    QCOMPARE(query.fieldIndex(u"descricao"_s), -1);
    QCOMPARE(query.asText(u"Tipo_Arq.Descricao"_s), u"LICITAÇÃO"_s);
    QCOMPARE(query.asText(u"Expr1003"_s), u"0000100001"_s);
    QVERIFY(query.isDateField(1));
    QVERIFY(!query.isDateField(3));
    QVERIFY_THROWS_EXCEPTION(db::DbError, query.asText(u"nada"_s));

    query.close();
    query.setSql(u"select documento.descricao, documento.data, tipo_arq.descricao from documento, tipo_arq "
                 u"where tipo_arq.cod=documento.tp_doc and documento.cod = \"00001\" union all "
                 u"select documento.ementa, documento.data_arquivamento, tipo_arq.cod from documento, tipo_arq "
                 u"where 1=0"_s);
    query.open();
    QCOMPARE(query.asText(u"tipo_arq.descricao"_s), u"LICITAÇÃO"_s);
    QVERIFY(query.isDateField(1));
    QVERIFY(!query.isDateField(0));
}

void TestQuery::locateIgnoresCaseOfAccentedLetters()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    db::Query query(&archive.connection);
    query.setSql(u"select * from tipo_arq"_s);
    query.open();
    QSignalSpy scrolled(&query, &db::Query::afterScroll);
    QVERIFY(query.locate(u"DESCRICAO"_s, u"licitação"_s));
    QCOMPARE(query.recNo(), 2);
    QCOMPARE(scrolled.count(), 1);
    QVERIFY(query.locate(u"cod"_s, u"00002"_s));
    QCOMPARE(query.asText(1), u"OFÍCIO"_s);
}

void TestQuery::locateMissStaysPut()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    db::Query query(&archive.connection);
    query.setSql(u"select * from tipo_arq"_s);
    query.open();
    query.next();
    QVERIFY(!query.locate(u"descricao"_s, u"licitacao"_s)); // accents count
    QCOMPARE(query.recNo(), 1);
}

void TestQuery::bigResultOpensAtOnceAndCountsEveryRow()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    fillDocuments(archive.connection, 50000);
    db::Query query(&archive.connection);
    query.setSql(u"Select cod,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta\nFrom documento"_s);
    query.open();
    QVERIFY(!query.isEmpty());
    QCOMPARE(query.asText(u"descricao"_s), u"DOC 0"_s);
    QCOMPARE(query.recordCount(), 50000);
    QVERIFY(query.isComplete());
    for (int i = 0; i < 200; ++i)
        query.next();
    QCOMPARE(query.recNo(), 200);
    QCOMPARE(query.asText(u"descricao"_s), u"DOC 200"_s);
    query.last();
    QCOMPARE(query.recNo(), 49999);
    QCOMPARE(query.fetchedCount(), 50000);
    QCOMPARE(query.asText(u"descricao"_s), u"DOC 49999"_s);
}

// A result that would take ages to read whole: opening gives its first rows, a move waits
// only for the rows it needs, and closing stops the reading.
void TestQuery::openReturnsBeforeTheRestIsRead()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    db::Query query(&archive.connection);
    QSignalSpy read(&query, &db::Query::rowsRead);
    query.setSql(kEndless);
    query.open();
    QVERIFY(!query.isComplete());
    QCOMPARE(query.asText(0), u"1"_s);
    QVERIFY(query.moveTo(100000));
    QCOMPARE(query.asText(0), u"100001"_s);
    QVERIFY(read.wait());
    QVERIFY(query.fetchedCount() > 100000);
    query.close();
    QVERIFY(!query.isOpen());
    // The archive connection writes as it did; nothing was left reading.
    archive.connection.execute(u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00004\",\"OFICIO\")"_s);
}

void TestQuery::rowsStayAsAtOpen_data()
{
    fixture::addProviderColumn();
    QTest::addColumn<bool>("network");
    QTest::addColumn<QString>("statement");
    const QString search = u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod "
                           u"from documento left join tipo_arq on tipo_arq.cod=documento.tp_doc where 1=1    "_s;
    for (const db::Provider provider : testsupport::allProviders()) {
        QTest::newRow(fixture::caseName("search hits, local disk", provider)) << provider << false << search;
        if (provider == db::Provider::SQLite) // the journal a file on a share takes
            QTest::newRow("search hits, network share") << provider << true << search;
        QTest::newRow(fixture::caseName("ordered by description", provider))
            << provider << false << search + u"order by documento.descricao"_s;
    }
}

// A hit list read while documents before and after the reading point are deleted, changed
// and added gives exactly the rows it had when it opened; the writes never fail.
void TestQuery::rowsStayAsAtOpen()
{
    QFETCH(bool, network);
    QFETCH(QString, statement);
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    fillDocuments(archive.connection, 20000);
    if (provider == db::Provider::SQLite) {
        archive.connection.close();
        archive.connection.openFile(archive.path, {network ? db::FileSystemKind::Network : db::FileSystemKind::Local});
    }

    db::Query before(&archive.connection);
    before.setSql(statement);
    before.open();
    const QStringList atOpen = allRows(before);
    before.close();
    QCOMPARE(atOpen.size(), 20003);

    db::Query hits(&archive.connection);
    hits.setSql(statement);
    hits.open();
    for (int i = 0; i < 20; ++i)
        hits.next();
    QCOMPARE(hits.asText(3), atOpen[20].section(u'|', 3));
    const QStringList writes = {
        // before the reading point
        u"DELETE FROM documento Where processo=\"00100\" and cod=\"00003\""_s,
        u"UPDATE documento SET descricao=\"MUDADO\" Where processo=\"00100\" and cod=\"00005\""_s,
        u"Insert Into documento (cod,processo,tp_doc,descricao) VALUES (\"09999\",\"00001\",\"00001\",\"AAA PRIMEIRO\")"_s,
        // after it
        u"DELETE FROM documento Where processo=\"00101\" and cod=\"05000\""_s,
        u"DELETE FROM processo Where cod=\"00002\""_s,
        u"Insert Into documento (cod,processo,tp_doc,descricao) VALUES (\"09998\",\"00001\",\"00001\",\"ZZZ ULTIMO\")"_s,
    };
    for (const QString &write : writes) {
        archive.connection.execute(write);
        QCOMPARE(archive.connection.changes(), 1);
    }
    QCOMPARE(hits.asText(3), atOpen[20].section(u'|', 3));
    QCOMPARE(allRows(hits), atOpen);
    QCOMPARE(hits.recordCount(), atOpen.size());
    // The next opening sees the writes.
    hits.close();
    hits.open();
    QCOMPARE(hits.recordCount(), atOpen.size() - 3 + 2);
}

void TestQuery::writingWhileAQueryIsHalfRead()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    fillDocuments(archive.connection, 1000);
    db::Query query(&archive.connection);
    query.setSql(u"select descricao from documento where processo = '00100' order by cod"_s);
    query.open();
    for (int i = 0; i < 40; ++i)
        query.next();
    QCOMPARE(query.asText(0), u"DOC 40"_s);
    archive.connection.execute(u"UPDATE processo SET descricao=\"Obra\" Where cod=\"00001\""_s);
    QCOMPARE(archive.connection.changes(), 1);
    query.next(); // reading goes on after the write
    QCOMPARE(query.recNo(), 41);
    QCOMPARE(query.asText(0), u"DOC 41"_s);
    query.last();
    QCOMPARE(query.recordCount(), 1000);
}

void TestQuery::otherWriterWhileAQueryIsHalfRead()
{
    // Another copy of the program writes while this one still reads a big result; this
    // copy's own write must not fail on its stale read snapshot.
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    fillDocuments(archive.connection, 1000);
    db::Query query(&archive.connection);
    // The documents, then an endless tail: the read is still under way whatever the speed.
    query.setSql(u"with recursive n(x) as (select 1 union all select x + 1 from n where x < 1000000000) "
                 u"select cod from documento union all select \"\" & x from n"_s);
    query.open();
    QVERIFY(!query.isComplete());

    db::Connection other;
    archive.openAnother(other);
    other.execute(u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00004\",\"OFICIO\")"_s);

    archive.connection.execute(u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00005\",\"ATA\")"_s);
    QCOMPARE(archive.value(u"select count(*) as n from tipo_arq"_s), u"5"_s);
    QVERIFY(query.moveTo(1002)); // the 1003 documents there were at open, then the tail
    QVERIFY(query.asText(0) != u"1"_s);
    QVERIFY(query.moveTo(1003));
    QCOMPARE(query.asText(0), u"1"_s);
}

// Rows written in this connection's own transaction are seen by a query opened inside it.
void TestQuery::queryInsideATransactionSeesItsRows()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    archive.connection.execute(u"begin"_s);
    archive.connection.execute(u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00004\",\"OFICIO\")"_s);
    QCOMPARE(archive.value(u"select count(*) as n from tipo_arq"_s), u"4"_s);
    archive.connection.execute(u"rollback"_s);
    QCOMPARE(archive.value(u"select count(*) as n from tipo_arq"_s), u"3"_s);
}

void TestQuery::statementThatWritesRunsOnTheArchiveConnection()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    QCOMPARE(archive.rows(u"insert into tipo_arq (cod, descricao) values ('00004', 'ATA') returning cod"_s),
             (QStringList{u"cod"_s, u"00004"_s}));
    QCOMPARE(archive.value(u"select descricao from tipo_arq where cod=\"00004\""_s), u"ATA"_s);
    // What only the archive connection sees, as a temporary table, is read there too.
    archive.connection.execute(provider == db::Provider::SQLite ? u"create temp table rascunho (x)"_s
                                                                : u"create temp table rascunho (x integer)"_s);
    archive.connection.execute(u"insert into rascunho values (7)"_s);
    QCOMPARE(archive.value(u"select x from rascunho"_s), u"7"_s);
}

// An error of the engine past the first rows stops the reading there; the move that
// needs the row gets the engine's message. (The failing value depends on the row, so no
// engine can fold it at open.)
void TestQuery::failureWhileReadingReachesTheMove()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    db::Query query(&archive.connection);
    query.setSql(u"with recursive n(x) as (select 1 union all select x + 1 from n where x < 5000) "
                 u"select case when x = 3000 then abs(-9223372036854775807 - (x - 2999)) else x end from n"_s);
    const QString overflow = provider == db::Provider::SQLite ? u"integer overflow"_s : u"bigint out of range"_s;
    query.open();
    QVERIFY(query.moveTo(2998));
    QCOMPARE(query.asText(0), u"2999"_s);
    try {
        query.moveTo(2999);
        QFAIL("a row past the failure was reached");
    } catch (const db::DbError &error) {
        QCOMPARE(error.message(), overflow);
    }
    QCOMPARE(query.recNo(), 2998);
    QVERIFY_THROWS_EXCEPTION(db::DbError, query.recordCount());
}

void TestQuery::closingTheConnectionUnderAHalfReadQuery()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    db::Query query(&archive.connection);
    query.setSql(kEndless);
    query.open();
    archive.connection.close();
    QCOMPARE(query.asText(0), u"1"_s); // rows read so far stay readable
    try {
        query.last();
        QFAIL("the end of an unread result was reached");
    } catch (const db::DbError &error) {
        QCOMPARE(error.message(), u"A conexão da consulta foi fechada."_s);
    }
}

void TestQuery::failedOpenLeavesTheQueryClosed()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    db::Query query(&archive.connection);
    query.setSql(u"select * from nada"_s);
    QSignalSpy sent(&archive.connection, &db::Connection::statementExecuted);
    try {
        query.open();
        QFAIL("a missing table was accepted");
    } catch (const db::DbError &error) {
        QCOMPARE(error.message(), provider == db::Provider::SQLite ? u"no such table: nada"_s
                                                                   : u"relation \"nada\" does not exist"_s);
    }
    QVERIFY(!query.isOpen());
    QCOMPARE(sent.count(), 1);
    QCOMPARE(query.recNo(), -1);
}

QTEST_GUILESS_MAIN(TestQuery)
#include "tst_query.moc"
