// scripts/pg-setup-server.sh on the private server, as an agency's administrator runs it:
// the role, the database with the archive's locale that only the role may enter, the
// tables made by the role, and a description line the program reads back.
#include "tests/support/TestPaths.h"
#include "db/Description.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgSchema.h"
#include "tests/support/PgTestDatabase.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using testsupport::PgTestRole;

namespace {

struct ScriptRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ScriptRun setUp(const QStringList &names, const QString &password = u"s3nha"_s)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"CARTULO_PG_PASSWORD"_s, password);
    process.setProcessEnvironment(environment);
    process.start(u"bash"_s, QStringList{testsupport::sourceDir() + u"/scripts/pg-setup-server.sh"_s,
                                         u"--server"_s, u"arquivo.prefeitura.local"_s, u"--mkdb"_s,
                                         testsupport::binDir() + u"/cartulo-mkdb"_s}
                                 + names);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

// What the script makes is dropped at the end, whatever happened.
struct MadeOnServer {
    QString role = testsupport::uniquePgName(u"equipe");
    QString database = testsupport::uniquePgName(u"acervo");
    ~MadeOnServer()
    {
        testsupport::dropOnServer(u"DATABASE"_s, database);
        testsupport::dropOnServer(u"ROLE"_s, role);
    }
};

} // namespace

class TestPgSetup : public QObject {
    Q_OBJECT

private slots:
    void makesTheArchiveForTheWorkstations();
    void refusesBadNames();
};

void TestPgSetup::makesTheArchiveForTheWorkstations()
{
    MadeOnServer made;
    const ScriptRun run = setUp({made.role, made.database});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QString line = u"Provider=PostgreSQL;Data Source=arquivo.prefeitura.local;Initial Catalog=%1;User ID=%2"_s
                             .arg(made.database, made.role);
    QVERIFY2(run.out.split(u'\n').contains(line), qPrintable(run.out));

    // The line as a workstation's description file, pointed at this test's server.
    QTemporaryDir dir;
    QFile udl(dir.filePath(u"cartulo.udl"_s));
    QVERIFY(udl.open(QIODevice::WriteOnly));
    udl.write("[oledb]\n; x\n" + line.toUtf8() + "\n");
    udl.close();
    db::ServerAddress address = db::readDescription(udl.fileName()).server;
    QCOMPARE(address.host, u"arquivo.prefeitura.local"_s);
    address.host = testsupport::pgServer().host;

    db::pg::PgConnection workstation(address);
    db::pg::schema::checkIsArchive(workstation);
    const db::pg::PgResult facts = workstation.exec(
        u"SELECT pg_get_userbyid(datdba), datctype, (SELECT tableowner FROM pg_tables WHERE tablename = 'lauda'), "
        u"has_database_privilege('public', current_database(), 'CONNECT') FROM pg_database "
        u"WHERE datname = current_database()"_s);
    QCOMPARE(facts.text(0, 0), made.role);
    QCOMPARE(facts.text(0, 1), u"C.UTF-8"_s);
    QCOMPARE(facts.text(0, 2), made.role);
    QCOMPARE(facts.text(0, 3), u"f"_s);
    workstation.exec(u"INSERT INTO processo (cod) VALUES ('00001')"_s);
    QCOMPARE(db::pg::PgConnection(testsupport::pgServer())
                 .exec(u"SELECT rolpassword IS NOT NULL FROM pg_authid WHERE rolname = $1"_s,
                       {db::pg::PgParam::text(made.role)})
                 .text(0, 0),
             u"t"_s);

    // Another role may not enter it.
    PgTestRole stranger;
    db::ServerAddress strangerAddress = address;
    strangerAddress.role = stranger.name();
    QVERIFY_THROWS_EXCEPTION(db::DbError, db::pg::PgConnection{strangerAddress});

    // Run again on the same names: refused, nothing changed.
    const ScriptRun again = setUp({made.role, made.database});
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(again.err.contains(u"already exists; nothing was changed"_s), qPrintable(again.err));
    QCOMPARE(workstation.exec(u"SELECT cod FROM processo"_s).text(0, 0), u"00001"_s);
}

void TestPgSetup::refusesBadNames()
{
    const ScriptRun run = setUp({u"Equipe; DROP"_s, u"acervo"_s});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(u"lower-case letters"_s), qPrintable(run.err));
    QCOMPARE(setUp({u"so_um_nome"_s}).exitCode, 2);
}

QTEST_GUILESS_MAIN(TestPgSetup)
#include "tst_pgsetup_pg.moc"
