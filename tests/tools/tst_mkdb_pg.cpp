// cartulo-mkdb given a description file: it creates the archive the file names, a file or a
// database on the private PostgreSQL server, and refuses what it must not touch.
#include "db/Connection.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgSchema.h"
#include "tests/support/PgTestDatabase.h"
#include "tests/support/ToolRun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using testsupport::PgTestDatabase;
using testsupport::PgTestRole;
using testsupport::runTool;

namespace {

QString writeDescription(const QTemporaryDir &dir, const QString &line)
{
    const QString udl = dir.filePath(u"arquivo.udl"_s);
    QFile file(udl);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(udl));
    file.write("[oledb]\n; Everything after this line is an OLE DB initstring\n" + line.toUtf8() + '\n');
    return udl;
}

} // namespace

class TestMkdbPg : public QObject {
    Q_OBJECT

private slots:
    void createsWhatTheDescriptionNames_data();
    void createsWhatTheDescriptionNames();
    void refusals_data();
    void refusals();
};

void TestMkdbPg::createsWhatTheDescriptionNames_data()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("SQLite") << false;
    QTest::newRow("PostgreSQL") << true;
}

void TestMkdbPg::createsWhatTheDescriptionNames()
{
    QFETCH(bool, server);
    QTemporaryDir dir;
    PgTestDatabase database;
    const QString file = dir.filePath(u"dados/novo.db"_s);
    QVERIFY(QDir(dir.path()).mkpath(u"dados"_s));
    // A relative file name is taken from the description's folder.
    const QString udl = writeDescription(
        dir, server ? database.descriptionLine() : u"Provider=SQLite;Data Source=dados/novo.db"_s);

    const testsupport::ToolRun first = runTool(u"cartulo-mkdb"_s, {udl});
    QCOMPARE(first.err, QString());
    QCOMPARE(first.exitCode, 0);
    if (server) {
        db::pg::PgConnection connection(database.address());
        db::pg::schema::checkIsArchive(connection);
        connection.exec(u"INSERT INTO processo (cod) VALUES ('00001')"_s);
    } else {
        db::Connection connection;
        connection.openFile(file);
        connection.execute(u"insert into processo (cod) values (\"00001\")"_s);
    }

    const testsupport::ToolRun again = runTool(u"cartulo-mkdb"_s, {udl});
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(again.err.startsWith(u"cartulo-mkdb: "_s), qPrintable(again.err));
    QVERIFY2(again.err.contains(server ? u"já contém orgao, processo"_s : u"já existe; nada foi alterado"_s),
             qPrintable(again.err));
    if (server) {
        db::pg::PgConnection connection(database.address());
        QCOMPARE(connection.exec(u"SELECT cod FROM processo"_s).text(0, 0), u"00001"_s);
    } else {
        db::Connection connection;
        connection.openFile(file);
        QVERIFY(connection.execute(u"select cod from processo where cod = \"00001\""_s));
    }
}

void TestMkdbPg::refusals_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("C locale") << u"locale"_s << u"localidade \"C\" (LC_CTYPE)"_s;
    QTest::newRow("server down") << u"down"_s << u"Não foi possível conectar a "_s;
    QTest::newRow("role refused") << u"role"_s << u"role \"ninguem_aqui\" does not exist"_s;
    QTest::newRow("role without the right to create") << u"rights"_s << u"permission denied"_s;
    QTest::newRow("no database named") << u"malformed"_s << u"\"Initial Catalog=\""_s;
    QTest::newRow("no description file") << u"missing"_s << u"Não foi possível ler o arquivo de descrição"_s;
}

void TestMkdbPg::refusals()
{
    QFETCH(QString, what);
    QFETCH(QString, messagePart);
    PgTestRole stranger;
    PgTestDatabase database(what == u"locale"_s ? u"ENCODING 'UTF8' LOCALE 'C'"_s
                                                : u"ENCODING 'UTF8' LOCALE 'C.UTF-8'"_s);
    QTemporaryDir dir;
    QTemporaryDir noServer;
    QString line = database.descriptionLine();
    if (what == u"down"_s)
        line = line.replace(database.address().host, noServer.path());
    else if (what == u"role"_s)
        line = database.descriptionLine(u"ninguem_aqui"_s);
    else if (what == u"rights"_s)
        line = database.descriptionLine(stranger.name());
    else if (what == u"malformed"_s)
        line = u"Provider=PostgreSQL;Data Source=%1;User ID=postgres"_s.arg(database.address().host);
    QString udl = writeDescription(dir, line);
    if (what == u"missing"_s)
        udl = dir.filePath(u"nenhum.udl"_s);

    const testsupport::ToolRun run = runTool(u"cartulo-mkdb"_s, {udl});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(messagePart), qPrintable(run.err));
    QCOMPARE(run.err.count(u'\n'), 1);
    db::pg::PgConnection connection(database.address());
    QCOMPARE(connection.exec(u"SELECT count(*) FROM pg_class WHERE relname IN ('processo', 'lauda')"_s).text(0, 0),
             u"0"_s);
}

QTEST_GUILESS_MAIN(TestMkdbPg)
#include "tst_mkdb_pg.moc"
