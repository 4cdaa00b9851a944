// Description files that name an archive on a PostgreSQL server, with OLE DB's key names.
#include "db/DbError.h"
#include "db/Description.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString writeDescription(const QTemporaryDir &dir, const QByteArray &line)
{
    const QString udl = dir.filePath(u"cartulo.udl"_s);
    QFile file(udl);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(udl));
    file.write("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n" + line + "\r\n");
    return udl;
}

} // namespace

class TestServerDescription : public QObject {
    Q_OBJECT

private slots:
    void readsServerDescriptions_data();
    void readsServerDescriptions();
    void refusedServerDescriptions_data();
    void refusedServerDescriptions();
    void fileDescriptionsStillRead();
    void aServerIsNoFile();
};

void TestServerDescription::readsServerDescriptions_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port"); // 0: none given
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("password"); // empty: none

    QTest::newRow("host name")
        << QByteArray("Provider=PostgreSQL;Data Source=arquivo.prefeitura.local;Initial Catalog=cartulo;User ID=equipe")
        << u"arquivo.prefeitura.local"_s << 0 << u"cartulo"_s << u"equipe"_s << QString();
    QTest::newRow("host and port, keys in any case and order, spaces")
        << QByteArray("user id = equipe ; provider = postgresql ; initial catalog = acervo ; DATA SOURCE = 10.0.0.5:5433")
        << u"10.0.0.5"_s << 5433 << u"acervo"_s << u"equipe"_s << QString();
    QTest::newRow("IPv6 with port")
        << QByteArray("Provider=PostgreSQL;Data Source=[fd00::5]:5432;Initial Catalog=c;User ID=r")
        << u"fd00::5"_s << 5432 << u"c"_s << u"r"_s << QString();
    QTest::newRow("bare IPv6")
        << QByteArray("Provider=PostgreSQL;Data Source=::1;Initial Catalog=c;User ID=r")
        << u"::1"_s << 0 << u"c"_s << u"r"_s << QString();
    QTest::newRow("socket folder")
        << QByteArray("Provider=PostgreSQL;Data Source=/var/run/postgresql;Initial Catalog=c;User ID=r")
        << u"/var/run/postgresql"_s << 0 << u"c"_s << u"r"_s << QString();
    QTest::newRow("socket folder and port")
        << QByteArray("Provider=PostgreSQL;Data Source=/tmp/pg:5433;Initial Catalog=c;User ID=r")
        << u"/tmp/pg"_s << 5433 << u"c"_s << u"r"_s << QString();
    QTest::newRow("password, other OLE DB keys ignored")
        << QByteArray("Provider=PostgreSQL;Persist Security Info=False;Data Source=srv;Initial Catalog=c;User ID=r;Password=s3nha")
        << u"srv"_s << 0 << u"c"_s << u"r"_s << u"s3nha"_s;
    QTest::newRow("quoted password with a semicolon and spaces")
        << QByteArray("Provider=PostgreSQL;Data Source=srv;Initial Catalog=c;User ID=r;Password=\" a;b \"")
        << u"srv"_s << 0 << u"c"_s << u"r"_s << u" a;b "_s;
    QTest::newRow("empty password is none")
        << QByteArray("Provider=PostgreSQL;Data Source=srv;Initial Catalog=c;User ID=r;Password=")
        << u"srv"_s << 0 << u"c"_s << u"r"_s << QString();
    QTest::newRow("accented database name")
        << QByteArray("Provider=PostgreSQL;Data Source=srv;Initial Catalog=acervo_licitação;User ID=r")
        << u"srv"_s << 0 << u"acervo_licitação"_s << u"r"_s << QString();
}

void TestServerDescription::readsServerDescriptions()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, database);
    QFETCH(QString, role);
    QFETCH(QString, password);
    QTemporaryDir dir;
    const db::ArchiveDescription description = db::readDescription(writeDescription(dir, line));
    QCOMPARE(description.provider, db::Provider::PostgreSQL);
    QCOMPARE(description.server.host, host);
    QCOMPARE(description.server.port, port ? std::optional<int>(port) : std::nullopt);
    QCOMPARE(description.server.database, database);
    QCOMPARE(description.server.role, role);
    QCOMPARE(description.server.password,
             password.isEmpty() ? std::nullopt : std::optional<QString>(password));
    QVERIFY(description.databasePath.isEmpty());
    QVERIFY(!description.server.displayName().contains(u"s3nha"_s));
}

void TestServerDescription::refusedServerDescriptions_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("no server") << QByteArray("Provider=PostgreSQL;Initial Catalog=c;User ID=r")
                               << u"\"Data Source=\" (o servidor)"_s;
    QTest::newRow("empty server") << QByteArray("Provider=PostgreSQL;Data Source= ;Initial Catalog=c;User ID=r")
                                  << u"\"Data Source=\""_s;
    QTest::newRow("port only") << QByteArray("Provider=PostgreSQL;Data Source=:5432;Initial Catalog=c;User ID=r")
                               << u"não diz o servidor"_s;
    QTest::newRow("no database") << QByteArray("Provider=PostgreSQL;Data Source=srv;User ID=r")
                                 << u"\"Initial Catalog=\" (o banco de dados)"_s;
    QTest::newRow("no role") << QByteArray("Provider=PostgreSQL;Data Source=srv;Initial Catalog=c")
                             << u"\"User ID=\" (o usuário do banco)"_s;
    QTest::newRow("port not a number") << QByteArray("Provider=PostgreSQL;Data Source=srv:abc;Initial Catalog=c;User ID=r")
                                       << u"porta \"abc\""_s;
    QTest::newRow("port with a sign") << QByteArray("Provider=PostgreSQL;Data Source=srv:+5432;Initial Catalog=c;User ID=r")
                                      << u"porta \"+5432\""_s;
    QTest::newRow("port zero") << QByteArray("Provider=PostgreSQL;Data Source=srv:0;Initial Catalog=c;User ID=r")
                               << u"porta \"0\""_s;
    QTest::newRow("port too large") << QByteArray("Provider=PostgreSQL;Data Source=srv:65536;Initial Catalog=c;User ID=r")
                                    << u"porta \"65536\""_s;
    QTest::newRow("unknown provider names both") << QByteArray("Provider=MSDASQL;Data Source=srv")
                                                 << u"Provedor desconhecido \"MSDASQL\""_s;
}

void TestServerDescription::refusedServerDescriptions()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, messagePart);
    QTemporaryDir dir;
    const QString udl = writeDescription(dir, line);
    try {
        db::readDescription(udl);
        QFAIL("the description was accepted");
    } catch (const db::DbError &error) {
        QVERIFY2(error.message().contains(messagePart), qPrintable(error.message()));
        QVERIFY2(error.message().contains(udl), qPrintable(error.message()));
    }
}

void TestServerDescription::fileDescriptionsStillRead()
{
    QTemporaryDir dir;
    const db::ArchiveDescription description =
        db::readDescription(writeDescription(dir, "Provider=SQLite;Data Source=dados/cartulo.db"));
    QCOMPARE(description.provider, db::Provider::SQLite);
    QCOMPARE(description.databasePath, dir.filePath(u"dados/cartulo.db"_s));
}

void TestServerDescription::aServerIsNoFile()
{
    QTemporaryDir dir;
    const QString udl = writeDescription(
        dir, "Provider=PostgreSQL;Data Source=srv:5433;Initial Catalog=acervo;User ID=equipe;Password=x");
    try {
        db::databaseFromDescription(udl);
        QFAIL("a server description gave a file");
    } catch (const db::DbError &error) {
        QVERIFY2(error.message().contains(u"equipe@srv:5433/acervo"_s), qPrintable(error.message()));
    }
}

QTEST_GUILESS_MAIN(TestServerDescription)
#include "tst_serverdescription.moc"
