// cartulo-sql on either engine: the same statements give the same rows, names and refusals
// whether the description file names a file or a server database.
#include "db/Connection.h"
#include "tests/support/ProviderArchive.h"
#include "tests/support/ToolRun.h"

#include <QTest>

using namespace Qt::StringLiterals;
using db::Provider;
using testsupport::runTool;

class TestSqlOnBothEngines : public QObject {
    Q_OBJECT

private slots:
    void sameRowsAndRefusals_data();
    void sameRowsAndRefusals();
    void unreachableServer();
};

void TestSqlOnBothEngines::sameRowsAndRefusals_data()
{
    QTest::addColumn<Provider>("provider");
    for (Provider provider : testsupport::allProviders())
        QTest::newRow(testsupport::providerName(provider)) << provider;
}

void TestSqlOnBothEngines::sameRowsAndRefusals()
{
    QFETCH(Provider, provider);
    testsupport::ProviderArchive archive(provider);
    const QString udl = archive.udlPath();
    const QByteArray input =
        "Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00003\",\"LICITAÇÃO\")\n"
        "Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00003\",\"OUTRA\")\n"
        "Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"00007\",\"Licitação 12\",\"12\",\"15/03/04\",3)\n"
        "Insert Into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas) "
        "VALUES (\"00003\",\"00007\",\"00003\",\"OFÍCIO 15\",\"Pedido de vista\",\"\",38061.5,\"  /  /  \",4)\n"
        "select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod, "
        "palavras_chave & \"|\" & data_arquivamento from documento,tipo_arq "
        "where tipo_arq.cod=documento.tp_doc and documento.ementa like \"%VISTA%\"\n";
    const testsupport::ToolRun run = runTool(u"cartulo-sql"_s, {udl}, input);
    QCOMPARE(run.exitCode, 1); // the duplicate type
    QCOMPARE(run.err.count(u'\n'), 1);
    QCOMPARE(run.out, u"documento.descricao\tdata\ttipo_arq.descricao\tExpr1003\tExpr1004\n"
                      u"OFÍCIO 15\t15/03/04 12:00:00\tLICITAÇÃO\t0000700003\t|\n"_s);
}

void TestSqlOnBothEngines::unreachableServer()
{
    QTemporaryDir programDir;
    QTemporaryDir noServer;
    const QString udl = programDir.filePath(u"cartulo.udl"_s);
    testsupport::ProviderArchive::writeServerDescription(
        udl, u"Provider=PostgreSQL;Data Source=%1;Initial Catalog=cartulo;User ID=cartulo"_s.arg(noServer.path()));
    const testsupport::ToolRun run = runTool(u"cartulo-sql"_s, {udl, u"select 1"_s});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(u"No such file or directory"_s), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestSqlOnBothEngines)
#include "tst_sql_pg.moc"
