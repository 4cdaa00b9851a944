// Opening an archive through its description file on either engine: the connection says
// which engine it holds, and a server that refuses gives its own message.
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/pg/PgConnection.h"
#include "tests/support/ProviderArchive.h"

#include <QTest>

using namespace Qt::StringLiterals;
using db::Provider;
using testsupport::ProviderArchive;

Q_DECLARE_METATYPE(db::ErrorKind)

class TestArchiveOpen : public QObject {
    Q_OBJECT

private slots:
    void opensThroughTheDescription_data();
    void opensThroughTheDescription();
    void serverRefusalsKeepTheServersWords_data();
    void serverRefusalsKeepTheServersWords();
};

void TestArchiveOpen::opensThroughTheDescription_data()
{
    QTest::addColumn<Provider>("provider");
    for (Provider provider : testsupport::allProviders())
        QTest::newRow(testsupport::providerName(provider)) << provider;
}

void TestArchiveOpen::opensThroughTheDescription()
{
    QFETCH(Provider, provider);
    ProviderArchive archive(provider);
    db::Connection &connection = archive.connection();
    QVERIFY(connection.isOpen());
    QCOMPARE(connection.provider(), provider);
    QCOMPARE(connection.server() != nullptr, provider == Provider::PostgreSQL);
    QCOMPARE(connection.handle() != nullptr, provider == Provider::SQLite);
    QCOMPARE(connection.databasePath().isEmpty(), provider == Provider::PostgreSQL);

    // Opened again through the same file, after a close.
    connection.close();
    QVERIFY(!connection.isOpen());
    QVERIFY(!connection.server());
    connection.openDescription(archive.udlPath());
    QCOMPARE(connection.provider(), provider);
}

void TestArchiveOpen::serverRefusalsKeepTheServersWords_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("messagePart");
    QTest::addColumn<db::ErrorKind>("kind");
    QTest::newRow("server down") << u"down"_s << u"No such file or directory"_s << db::ErrorKind::ConnectionFailed;
    QTest::newRow("unknown role") << u"role"_s << u"role \"ninguem_aqui\" does not exist"_s
                                  << db::ErrorKind::ConnectionFailed;
    QTest::newRow("no archive") << u"empty"_s << u"faltam as tabelas"_s << db::ErrorKind::Other;
}

void TestArchiveOpen::serverRefusalsKeepTheServersWords()
{
    QFETCH(QString, what);
    QFETCH(QString, messagePart);
    QFETCH(db::ErrorKind, kind);
    testsupport::PgTestDatabase database;
    QTemporaryDir noServer;
    db::ServerAddress address = database.address();
    if (what == u"down"_s)
        address.host = noServer.path();
    else if (what == u"role"_s)
        address.role = u"ninguem_aqui"_s;
    QTemporaryDir programDir;
    const QString udl = programDir.filePath(u"cartulo.udl"_s);
    ProviderArchive::writeServerDescription(
        udl, u"Provider=PostgreSQL;Data Source=%1;Initial Catalog=%2;User ID=%3"_s.arg(
                 address.host, address.database, address.role));
    db::Connection connection;
    try {
        connection.openDescription(udl);
        QFAIL("the archive opened");
    } catch (const db::DbError &error) {
        QVERIFY2(error.message().contains(messagePart), qPrintable(error.message()));
        QCOMPARE(error.kind(), kind);
    }
    QVERIFY(!connection.isOpen());
    QVERIFY(!connection.server());
}

QTEST_GUILESS_MAIN(TestArchiveOpen)
#include "tst_archiveopen.moc"
