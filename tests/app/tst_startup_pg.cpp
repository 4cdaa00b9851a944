// Start-up on a description file that names a PostgreSQL archive: the real executable, run
// from a program folder of its own, fails cleanly with the server's own message when the
// server cannot be reached or refuses the role, the database or the archive.
#include "tests/support/TestPaths.h"
#include "db/pg/PgConnection.h"
#include "tests/support/PgTestDatabase.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using testsupport::PgTestDatabase;
using testsupport::PgTestRole;

class TestStartupPg : public QObject {
    Q_OBJECT

private slots:
    void refusedServerEndsTheStart_data();
    void refusedServerEndsTheStart();
};

void TestStartupPg::refusedServerEndsTheStart_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("server down") << u"down"_s << u"No such file or directory"_s;
    QTest::newRow("unknown role") << u"role"_s << u"role \"ninguem_aqui\" does not exist"_s;
    QTest::newRow("role may not log in") << u"nologin"_s << u"is not permitted to log in"_s;
    QTest::newRow("no right to connect") << u"connect"_s << u"permission denied for database"_s;
    QTest::newRow("unknown database") << u"database"_s << u"database \"nao_existe_aqui\" does not exist"_s;
    QTest::newRow("a database without the archive") << u"empty"_s << u"faltam as tabelas orgao, processo"_s;
}

void TestStartupPg::refusedServerEndsTheStart()
{
    QFETCH(QString, what);
    QFETCH(QString, messagePart);
    PgTestRole role(what == u"nologin"_s ? u"NOLOGIN"_s : u"LOGIN"_s);
    PgTestDatabase database;
    QTemporaryDir noServer; // a socket folder where nothing listens
    db::ServerAddress address = database.addressAs(role.name());
    if (what == u"down"_s)
        address.host = noServer.path();
    else if (what == u"role"_s)
        address.role = u"ninguem_aqui"_s;
    else if (what == u"database"_s)
        address.database = u"nao_existe_aqui"_s;
    else if (what == u"connect"_s)
        db::pg::PgConnection(database.address())
            .exec(u"REVOKE CONNECT ON DATABASE %1 FROM PUBLIC"_s.arg(database.name()));

    QTemporaryDir programDir;
    QTemporaryDir workingDir;
    const QString program = programDir.filePath(u"cartulo"_s);
    QVERIFY(QFile::copy(testsupport::binDir() + u"/cartulo"_s, program));
    const QByteArray description = "[oledb]\n; servidor da equipe\nProvider=PostgreSQL;Data Source="
        + address.host.toUtf8() + ";Initial Catalog=" + address.database.toUtf8() + ";User ID="
        + address.role.toUtf8() + "\n";
    QFile udl(programDir.filePath(u"cartulo.udl"_s));
    QVERIFY(udl.open(QIODevice::WriteOnly));
    udl.write(description);
    udl.close();

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_LOGGING_RULES"_s, u"cartulo.startup.debug=true"_s);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDir.path());
    process.start(program, {});
    QVERIFY(process.waitForStarted());
    if (!process.waitForFinished(60000)) {
        process.kill();
        QFAIL("the program kept running");
    }
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(err.contains(messagePart), qPrintable(err));
    if (what != u"empty"_s)
        QVERIFY2(err.contains(u"Não foi possível conectar a "_s + address.displayName()), qPrintable(err));
    QVERIFY(!err.contains(u"cartulo.startup: running"_s));
    // Nothing written: the description stays as it was and no archive file appears.
    QVERIFY(udl.open(QIODevice::ReadOnly));
    QCOMPARE(udl.readAll(), description);
    QCOMPARE(QDir(programDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{u"cartulo"_s, u"cartulo.udl"_s}));
}

QTEST_GUILESS_MAIN(TestStartupPg)
#include "tst_startup_pg.moc"
