// cartulo-sql on either engine: the same statements give the same rows, names and refusals
// whether the description file names a file or a server database.
#include "db/Connection.h"
#include "db/History.h"
#include "db/Query.h"
#include "db/ResultText.h"
#include "db/pg/PgRoles.h"
#include "tests/support/ProviderArchive.h"
#include "tests/support/ToolRun.h"

#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
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
    void changesAreInTheHistory_data();
    void changesAreInTheHistory();
    void refusedChangesLeaveEverythingAsItWas_data();
    void refusedChangesLeaveEverythingAsItWas();
};

namespace {

/// A program folder whose description file logs into the archive's server database as
/// a login role of its own, member of a group; the archive's owner for an empty group.
class Login {
public:
    Login(const testsupport::ProviderArchive &archive, const QString &group)
    {
        if (group.isEmpty()) {
            m_udl = archive.udlPath();
            m_who = archive.provider() == Provider::PostgreSQL ? archive.serverDatabase()->address().role
                                                               : db::history::osUser();
            return;
        }
        m_role = std::make_unique<testsupport::PgTestRole>(u"LOGIN IN ROLE %1"_s.arg(group));
        m_udl = m_dir.filePath(u"cartulo.udl"_s);
        testsupport::ProviderArchive::writeServerDescription(m_udl,
                                                             archive.serverDatabase()->descriptionLine(m_role->name()));
        m_who = m_role->name();
    }
    QString udl() const { return m_udl; }
    QString who() const { return m_who; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::PgTestRole> m_role;
    QString m_udl;
    QString m_who;
};

/// Everything a refused change might have touched, as the owner reads it.
QStringList archiveState(db::Connection &connection)
{
    QStringList state;
    for (const QString &sql : {u"select quando, quem, estacao, operacao, tabela, chave, antes, depois from historico"_s,
                               u"select * from processo"_s}) {
        db::Query query(&connection);
        query.setSql(sql);
        query.open();
        state << db::resultLines(query);
    }
    return state;
}

} // namespace

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

void TestSqlOnBothEngines::changesAreInTheHistory_data()
{
    QTest::addColumn<Provider>("provider");
    QTest::addColumn<QString>("group"); // empty: the archive's owner
    QTest::newRow("sqlite") << Provider::SQLite << QString();
    QTest::newRow("postgresql: owner") << Provider::PostgreSQL << QString();
    QTest::newRow("postgresql: arquivista") << Provider::PostgreSQL << db::pg::roles::kArquivista.toString();
}

// Changes made with the tool are in the history under who made them, and the tool reads
// the history back under its own column names.
void TestSqlOnBothEngines::changesAreInTheHistory()
{
    QFETCH(Provider, provider);
    QFETCH(QString, group);
    testsupport::ProviderArchive archive(provider);
    const Login login(archive, group);
    const QByteArray input =
        "Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"00007\",\"LICITAÇÃO\",\"12\",38061,3)\n"
        "UPDATE processo SET descricao=\"PREGÃO\" Where cod=\"00007\"\n"
        "select quando, quem, estacao, operacao, tabela, chave, antes, depois from historico "
        "where tabela = \"processo\" order by operacao desc\n";
    const testsupport::ToolRun run = runTool(u"cartulo-sql"_s, {login.udl()}, input);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], u"quando\tquem\testacao\toperacao\ttabela\tchave\tantes\tdepois"_s);
    const QString station = (provider == Provider::PostgreSQL ? u"Cartulo "_s : QString()) + QSysInfo::machineHostName();
    struct Expected {
        QString operation;
        QString before;
        QString after;
    };
    const Expected expected[] = {{u"inclusão"_s, QString(), u"LICITAÇÃO"_s}, {u"alteração"_s, u"LICITAÇÃO"_s, u"PREGÃO"_s}};
    for (int i = 0; i < 2; ++i) {
        const QStringList row = lines[i + 1].split(u'\t');
        QCOMPARE(row.size(), 8);
        QVERIFY2(QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"_s).match(row[0]).hasMatch(),
                 qPrintable(row[0]));
        QCOMPARE(row[1], login.who());
        QCOMPARE(row[2], station);
        QCOMPARE(row[3], expected[i].operation);
        QCOMPARE(row[4], u"processo"_s);
        QCOMPARE(row[5], u"00007"_s);
        QCOMPARE(row[6].isEmpty(), expected[i].before.isEmpty());
        QVERIFY2(row[6].contains(expected[i].before) && !row[6].contains(expected[i].after), qPrintable(row[6]));
        QVERIFY2(row[7].contains(expected[i].after), qPrintable(row[7]));
    }
}

void TestSqlOnBothEngines::refusedChangesLeaveEverythingAsItWas_data()
{
    QTest::addColumn<Provider>("provider");
    QTest::addColumn<QString>("group"); // empty: the archive's owner
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("refusal");
    const QStringList rewrites{u"UPDATE historico_registro SET quem = \"ninguém\""_s,
                               u"DELETE FROM historico_registro"_s};
    const QStringList throughTheView = rewrites + QStringList{u"DELETE FROM historico"_s};
    const QString appendOnly = u"O histórico só recebe linhas novas"_s;
    const QString noRight = u"não tem permissão"_s;
    QTest::newRow("sqlite: owner") << Provider::SQLite << QString() << rewrites << appendOnly;
    QTest::newRow("postgresql: owner") << Provider::PostgreSQL << QString() << throughTheView << appendOnly;
    QTest::newRow("postgresql: consulta")
        << Provider::PostgreSQL << db::pg::roles::kConsulta.toString()
        << throughTheView + QStringList{u"UPDATE processo SET descricao=\"OUTRA\""_s, u"Delete From processo"_s,
                                        u"Insert Into processo (cod) VALUES (\"00002\")"_s}
        << noRight;
    QTest::newRow("postgresql: arquivista") << Provider::PostgreSQL << db::pg::roles::kArquivista.toString()
                                            << throughTheView + QStringList{u"Delete From processo"_s} << noRight;
    QTest::newRow("postgresql: admin") << Provider::PostgreSQL << db::pg::roles::kAdmin.toString() << throughTheView
                                       << noRight;
}

// Nobody rewrites the history through the tool, nor changes what the role may not: each
// statement fails with a message, the tool ends with an error, and nothing changed.
void TestSqlOnBothEngines::refusedChangesLeaveEverythingAsItWas()
{
    QFETCH(Provider, provider);
    QFETCH(QString, group);
    QFETCH(QStringList, statements);
    QFETCH(QString, refusal);
    testsupport::ProviderArchive archive(provider);
    archive.connection().execute(u"Insert Into processo (cod,descricao) VALUES (\"00001\",\"ANTES\")"_s);
    const QStringList before = archiveState(archive.connection());
    QCOMPARE(before.size(), 4); // a header and one row each
    const Login login(archive, group);
    const testsupport::ToolRun run = runTool(u"cartulo-sql"_s, {login.udl()}, statements.join(u'\n').toUtf8());
    QCOMPARE(run.exitCode, 1);
    const QStringList messages = run.err.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(messages.size(), statements.size());
    for (const QString &message : messages)
        QVERIFY2(message.contains(refusal), qPrintable(message));
    QCOMPARE(archiveState(archive.connection()), before);
}

QTEST_GUILESS_MAIN(TestSqlOnBothEngines)
#include "tst_sql_pg.moc"
