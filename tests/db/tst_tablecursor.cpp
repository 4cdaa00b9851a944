// The table cursor on orgao: the first save starts the one row, later saves rewrite it.
#include "ArchiveFixture.h"

#include "db/DbError.h"
#include "db/TableCursor.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

class TestTableCursor : public QObject {
    Q_OBJECT

private slots:
    void firstSaveCreatesTheRowLaterSavesRewriteIt_data() { providers(); }
    void firstSaveCreatesTheRowLaterSavesRewriteIt();
    void refusedValueWritesNothing_data() { providers(); }
    void refusedValueWritesNothing();
    void cancelKeepsTheRow_data() { providers(); }
    void cancelKeepsTheRow();
    void unknownTable_data() { providers(); }
    void unknownTable();

private:
    static void providers()
    {
        fixture::addProviderColumn();
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }
};

void TestTableCursor::firstSaveCreatesTheRowLaterSavesRewriteIt()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    db::TableCursor cursor(&archive.connection);
    cursor.open(u"orgao"_s);
    QVERIFY(cursor.isEmpty());
    QCOMPARE(cursor.fieldCount(), 15);
    QCOMPARE(cursor.columns().value(14), u"logomarca"_s);
    QCOMPARE(cursor.asText(0), QString());
    cursor.edit();
    cursor.setField(0, u"PREFEITURA DE \"SÃO\" JOSÉ"_s);
    cursor.setField(8, u"contato@sj.gov.br"_s);
    cursor.setField(14, u"C:\\Cartulo\\dados\\logo.jpg"_s);
    QSignalSpy sent(&archive.connection, &db::Connection::statementExecuted);
    cursor.post();
    QCOMPARE(sent.count(), 1);
    cursor.close();

    QCOMPARE(archive.rows(u"select * \nfrom orgao"_s).value(1),
             u"PREFEITURA DE \"SÃO\" JOSÉ\t\t\t\t\t\t\t\tcontato@sj.gov.br\t\t\t\t\t\tC:\\\\Cartulo\\\\dados\\\\logo.jpg"_s);

    cursor.open(u"orgao"_s);
    QVERIFY(!cursor.isEmpty());
    QCOMPARE(cursor.asText(8), u"contato@sj.gov.br"_s);
    cursor.edit();
    cursor.setField(0, u"CÂMARA"_s);
    cursor.post();
    QCOMPARE(archive.value(u"select count(*) as n from orgao"_s), u"1"_s);
    QCOMPARE(archive.value(u"select nome, email from orgao"_s), u"CÂMARA\tcontato@sj.gov.br"_s);
}

void TestTableCursor::refusedValueWritesNothing()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    db::TableCursor cursor(&archive.connection);
    cursor.open(u"orgao"_s);
    cursor.edit();
    cursor.setField(5, u"SPX"_s); // uf holds two letters
    try {
        cursor.post();
        QFAIL("a three-letter uf was stored");
    } catch (const db::DbError &error) {
        QVERIFY2(error.message().contains(u"orgao.uf: no máximo 2 caracteres"_s), qPrintable(error.message()));
        QCOMPARE(error.kind(), db::ErrorKind::TooLong);
    }
    QCOMPARE(archive.value(u"select count(*) as n from orgao"_s), u"0"_s);
}

void TestTableCursor::cancelKeepsTheRow()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.connection.execute(u"insert into orgao (nome) values ('A')"_s);
    db::TableCursor cursor(&archive.connection);
    cursor.open(u"orgao"_s);
    cursor.edit();
    cursor.setField(0, u"B"_s);
    QCOMPARE(cursor.asText(0), u"B"_s);
    cursor.cancel();
    QCOMPARE(cursor.asText(0), u"A"_s);
    QVERIFY_THROWS_EXCEPTION(db::DbError, cursor.post());
    QCOMPARE(archive.value(u"select nome from orgao"_s), u"A"_s);
}

void TestTableCursor::unknownTable()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    db::TableCursor cursor(&archive.connection);
    QVERIFY_THROWS_EXCEPTION(db::DbError, cursor.open(u"orgaos"_s));
    QVERIFY(!cursor.isOpen());
}

QTEST_GUILESS_MAIN(TestTableCursor)
#include "tst_tablecursor.moc"
