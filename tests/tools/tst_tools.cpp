// cartulo-mkdb and cartulo-sql, run as a person runs them.
#include "tests/support/TestPaths.h"
#include "db/Connection.h"
#include "db/Description.h"
#include "tests/support/ToolRun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Run = testsupport::ToolRun;
using testsupport::runTool;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestTools : public QObject {
    Q_OBJECT

private slots:
    void init();
    void mkdbCreatesAnEmptyArchive();
    void mkdbNeverReplacesAFile();
    void sqlPrintsRowsAsTheEngineNamesThem();
    void sqlFailureGoesToStandardError();
    void sqlReadsOneStatementPerLine();
    void sqlRefusesABadDescription();
    void buildPlacedTheArchive();
    void everyToolAnswersHelpAndVersion_data();
    void everyToolAnswersHelpAndVersion();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_database;
    QString m_description;
};

void TestTools::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_database = m_dir->filePath(u"cartulo.db"_s);
    m_description = m_dir->filePath(u"cartulo.udl"_s);
}

void TestTools::mkdbCreatesAnEmptyArchive()
{
    const Run run = runTool(u"cartulo-mkdb"_s, {m_database});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    db::Connection connection;
    connection.openFile(m_database); // checks the four tables
    QVERIFY(!connection.execute(u"select * from documento"_s));
}

void TestTools::mkdbNeverReplacesAFile()
{
    QFile file(m_database);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not mine to replace");
    file.close();
    const Run run = runTool(u"cartulo-mkdb"_s, {m_database});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(m_database), qPrintable(run.err));
    QCOMPARE(readFile(m_database), QByteArray("not mine to replace"));
    QCOMPARE(runTool(u"cartulo-mkdb"_s, {}).exitCode, 2);
}

void TestTools::sqlPrintsRowsAsTheEngineNamesThem()
{
    QCOMPARE(runTool(u"cartulo-mkdb"_s, {m_database}).exitCode, 0);
    db::writeDescriptionFile(m_description, m_database);
    const QStringList setup = {
        u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00003\",\"LICITAÇÃO\")"_s,
        u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"00007\",\"Licitação 12\",\"12\",38061,3)"_s,
        u"Insert Into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta) VALUES (\"00003\",\"00007\",\"00003\",\"OFÍCIO 15\",\"Pedido\tde\nvista\",\"\",38061.5,NULL,4,\"ARQUIVO\",\"A1\",\"2\",\"15\")"_s,
    };
    for (const QString &statement : setup) {
        const Run run = runTool(u"cartulo-sql"_s, {m_description, statement});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.out, QString()); // a write prints nothing
        QCOMPARE(run.exitCode, 0);
    }
    const Run run = runTool(u"cartulo-sql"_s, {m_description,
        u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod, ementa, data_arquivamento "
        u"from documento,tipo_arq where tipo_arq.cod=documento.tp_doc"_s});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, u"documento.descricao\tdata\ttipo_arq.descricao\tExpr1003\tementa\tdata_arquivamento\n"
                      u"OFÍCIO 15\t15/03/04 12:00:00\tLICITAÇÃO\t0000700003\tPedido\\tde\\nvista\t\n"_s);
}

void TestTools::sqlFailureGoesToStandardError()
{
    QCOMPARE(runTool(u"cartulo-mkdb"_s, {m_database}).exitCode, 0);
    db::writeDescriptionFile(m_description, m_database);
    QCOMPARE(runTool(u"cartulo-sql"_s, {m_description, u"insert into processo (cod, num_doc) values ('00001', 2)"_s}).exitCode, 0);
    const Run run = runTool(u"cartulo-sql"_s, {m_description, u"UPDATE processo SET num_doc=\"abc\""_s});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, u"CHECK constraint failed: processo.num_doc: número inteiro de -32768 a 32767\n"_s);
    QCOMPARE(runTool(u"cartulo-sql"_s, {m_description, u"select num_doc from processo"_s}).out, u"num_doc\n2\n"_s);
    const Run bad = runTool(u"cartulo-sql"_s, {m_description, u"select * from processos"_s});
    QCOMPARE(bad.exitCode, 1);
    QCOMPARE(bad.out, QString());
    QCOMPARE(bad.err, u"no such table: processos\n"_s);
}

void TestTools::sqlReadsOneStatementPerLine()
{
    QCOMPARE(runTool(u"cartulo-mkdb"_s, {m_database}).exitCode, 0);
    db::writeDescriptionFile(m_description, m_database);
    const QByteArray input =
        "Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00001\",\"CARTA\")\n"
        "Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00001\",\"OUTRA\")\r\n"
        "\n"
        "Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00002\",\"O \"\"Globo\"\"\")\n"
        "select * from tipo_arq\n";
    const Run run = runTool(u"cartulo-sql"_s, {m_description}, input);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, u"UNIQUE constraint failed: tipo_arq.cod\n"_s);
    QCOMPARE(run.out, u"cod\tdescricao\n00001\tCARTA\n00002\tO \"Globo\"\n"_s);

    const Run clean = runTool(u"cartulo-sql"_s, {m_description}, "select count(*) as n from tipo_arq\n");
    QCOMPARE(clean.exitCode, 0);
    QCOMPARE(clean.out, u"n\n2\n"_s);
}

void TestTools::sqlRefusesABadDescription()
{
    QFile file(m_description);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[oledb]\n; x\nProvider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\cartulo\\DADOS\\cartulo.mdb\n");
    file.close();
    const Run run = runTool(u"cartulo-sql"_s, {m_description, u"select 1"_s});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(u"Microsoft.Jet.OLEDB.4.0"_s), qPrintable(run.err));
    const Run missing = runTool(u"cartulo-sql"_s, {m_dir->filePath(u"nada.udl"_s), u"select 1"_s});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(missing.err.contains(u"nada.udl"_s), qPrintable(missing.err));
}

void TestTools::buildPlacedTheArchive()
{
    const QString dados = testsupport::binDir() + u"/dados"_s;
    QVERIFY(QFileInfo(dados + u"/laudas"_s).isDir());
    db::Connection connection;
    connection.openFile(dados + u"/cartulo.db"_s);
    QVERIFY(connection.isOpen());
}

void TestTools::everyToolAnswersHelpAndVersion_data()
{
    QTest::addColumn<QString>("tool");
    for (const char *tool : {"cartulo-mkdb", "cartulo-sql", "cartulo-copy", "cartulo-gen"})
        QTest::newRow(tool) << QString::fromLatin1(tool);
}

void TestTools::everyToolAnswersHelpAndVersion()
{
    QFETCH(QString, tool);
    const Run help = runTool(tool, {u"--help"_s});
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.startsWith(u"usage: "_s + tool), qPrintable(help.out));
    QVERIFY2(!help.err.contains(u"usage"_s), qPrintable(help.err)); // on standard output only
    const Run version = runTool(tool, {u"--version"_s});
    QCOMPARE(version.exitCode, 0);
    QVERIFY2(QRegularExpression(u"^"_s + tool + uR"( \(Cartulo\) \d+\.\d+(\.\d+)?\n$)"_s).match(version.out).hasMatch(),
             qPrintable(version.out));
    // Any other option is still a wrong command line.
    QCOMPARE(runTool(tool, {u"--versao"_s}).exitCode, 2);
}

QTEST_GUILESS_MAIN(TestTools)
#include "tst_tools.moc"
