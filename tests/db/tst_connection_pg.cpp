// The libpq layer on the private test server: connecting, errors with the server's message
// and SQLSTATE, transactions, bytes unchanged, notices through the logging category.
#include "db/DbError.h"
#include "db/pg/PgConnection.h"
#include "tests/support/PgTestDatabase.h"

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using db::ErrorKind;
using db::pg::PgConnection;
using db::pg::PgParam;
using db::pg::PgTransaction;
using testsupport::PgTestDatabase;
using testsupport::PgTestRole;

Q_DECLARE_METATYPE(db::ErrorKind)

namespace {

struct Failure {
    QString message;
    ErrorKind kind = ErrorKind::Other;
    QString sqlState;
};

template <typename Operation>
std::optional<Failure> failureOf(Operation &&operation)
{
    try {
        operation();
    } catch (const db::DbError &error) {
        return Failure{error.message(), error.kind(), error.sqlState()};
    }
    return std::nullopt;
}

// Messages of the logging categories, caught while a test runs.
struct LogCapture {
    static inline QStringList lines;
    QtMessageHandler previous;
    LogCapture()
    {
        lines.clear();
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context,
                                             const QString &message) {
            lines << u"%1 %2 %3"_s.arg(QString::fromLatin1(context.category),
                                       type == QtWarningMsg ? u"warning"_s : u"debug"_s, message);
        });
        QLoggingCategory::setFilterRules(u"cartulo.db.debug=true"_s);
    }
    ~LogCapture()
    {
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previous);
    }
};

} // namespace

class TestConnectionPg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { m_shared = std::make_unique<PgTestDatabase>(); }
    void cleanupTestCase() { m_shared.reset(); }
    void textTravelsAsUtf8();
    void errorsCarryStateAndKind_data();
    void errorsCarryStateAndKind();
    void oneStatementAtATime();
    void transactionRollsBackUnlessCommitted();
    void anErrorSpoilsTheTransaction();
    void bytesTravelUnchanged();
    void copyIsRefusedAndTheConnectionServesOn();
    void noticesGoToTheLoggingCategory();
    void connectionRefusals_data();
    void connectionRefusals();

private:
    // A database for the table of errors; each case runs in a transaction rolled back.
    std::unique_ptr<PgTestDatabase> m_shared;
};

void TestConnectionPg::textTravelsAsUtf8()
{
    PgTestDatabase database;
    PgConnection connection(database.address());
    const QString text = u"LICITAÇÃO — ação nº 5 ſ Ω 𝄞"_s;
    const db::pg::PgResult result = connection.exec(
        u"SELECT $1::text, 'açúcar', char_length($1), current_setting('client_encoding')"_s,
        {PgParam::text(text)});
    QCOMPARE(result.text(0, 0), text);
    QCOMPARE(result.text(0, 1), u"açúcar"_s);
    QCOMPARE(result.text(0, 2), QString::number(text.toUcs4().size()));
    QCOMPARE(result.text(0, 3), u"UTF8"_s);
    QCOMPARE(result.columnName(1), u"?column?"_s);
}

void TestConnectionPg::errorsCarryStateAndKind_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("sqlState");
    QTest::addColumn<ErrorKind>("kind");
    QTest::addColumn<QString>("messagePart");
    QTest::addColumn<bool>("withoutRights"); // run as a role without any right on t
    QTest::newRow("duplicate key names the key")
        << u"INSERT INTO t (k) VALUES ('a')"_s << u"23505"_s << ErrorKind::DuplicateKey
        << u"duplicate key value violates unique constraint \"t_pkey\": Key (k)=(a) already exists."_s << false;
    QTest::newRow("missing reference")
        << u"INSERT INTO filho (k) VALUES ('z')"_s << u"23503"_s << ErrorKind::MissingReference
        << u"Key (k)=(z) is not present in table \"t\"."_s << false;
    QTest::newRow("check")
        << u"INSERT INTO t (k, n) VALUES ('b', -1)"_s << u"23514"_s << ErrorKind::CheckViolation
        << u"violates check constraint \"t.n: positivo\""_s << false;
    QTest::newRow("not null")
        << u"INSERT INTO t (k) VALUES (NULL)"_s << u"23502"_s << ErrorKind::CheckViolation
        << u"null value in column \"k\""_s << false;
    QTest::newRow("too long")
        << u"INSERT INTO t (k, curto) VALUES ('c', 'abc')"_s << u"22001"_s << ErrorKind::TooLong
        << u"value too long"_s << false;
    QTest::newRow("not a number")
        << u"INSERT INTO t (k, n) VALUES ('d', 'abc')"_s << u"22P02"_s << ErrorKind::NotANumber
        << u"invalid input syntax for type smallint: \"abc\""_s << false;
    QTest::newRow("out of range")
        << u"INSERT INTO t (k, n) VALUES ('e', 40000)"_s << u"22003"_s << ErrorKind::OutOfRange
        << u"smallint out of range"_s << false;
    QTest::newRow("no privilege")
        << u"SELECT * FROM t"_s << u"42501"_s << ErrorKind::NoPrivilege
        << u"permission denied for table t"_s << true;
    QTest::newRow("unknown table")
        << u"SELECT * FROM processos"_s << u"42P01"_s << ErrorKind::Other
        << u"relation \"processos\" does not exist"_s << false;
}

void TestConnectionPg::errorsCarryStateAndKind()
{
    QFETCH(QString, statement);
    QFETCH(QString, sqlState);
    QFETCH(ErrorKind, kind);
    QFETCH(QString, messagePart);
    QFETCH(bool, withoutRights);
    PgTestRole noRights(u"NOLOGIN"_s);
    PgConnection connection(m_shared->address());
    PgTransaction undone(connection);
    for (const QString &setup :
         {u"CREATE TABLE t (k text PRIMARY KEY, n smallint CONSTRAINT \"t.n: positivo\" CHECK (n > 0), curto varchar(2))"_s,
          u"CREATE TABLE filho (k text REFERENCES t (k))"_s, u"INSERT INTO t (k) VALUES ('a')"_s})
        connection.exec(setup);
    if (withoutRights)
        connection.exec(u"SET ROLE "_s + noRights.name());
    const auto failure = failureOf([&] { connection.exec(statement); });
    QVERIFY(failure);
    QCOMPARE(failure->sqlState, sqlState);
    QCOMPARE(failure->kind, kind);
    QVERIFY2(failure->message.contains(messagePart), qPrintable(failure->message));
    QVERIFY2(!failure->message.contains(u'\n'), qPrintable(failure->message));
}

void TestConnectionPg::oneStatementAtATime()
{
    PgTestDatabase database;
    PgConnection connection(database.address());
    connection.exec(u"CREATE TABLE t (n int)"_s);
    const auto failure = failureOf([&] {
        connection.exec(u"INSERT INTO t VALUES (1); DROP TABLE t"_s);
    });
    QVERIFY(failure);
    QCOMPARE(failure->sqlState, u"42601"_s);
    QCOMPARE(connection.exec(u"SELECT count(*) FROM t"_s).text(0, 0), u"0"_s);
    QVERIFY(failureOf([&] { connection.exec(u"  "_s); }));
}

void TestConnectionPg::transactionRollsBackUnlessCommitted()
{
    PgTestDatabase database;
    PgConnection connection(database.address());
    connection.exec(u"CREATE TABLE t (n int)"_s);
    {
        PgTransaction transaction(connection);
        connection.exec(u"INSERT INTO t VALUES (1)"_s);
        QVERIFY(connection.inTransaction());
    }
    QVERIFY(!connection.inTransaction());
    QCOMPARE(connection.exec(u"SELECT count(*) FROM t"_s).text(0, 0), u"0"_s);
    {
        PgTransaction transaction(connection);
        QCOMPARE(connection.exec(u"INSERT INTO t VALUES (2), (3)"_s).affectedRows(), 2);
        transaction.commit();
    }
    QCOMPARE(connection.exec(u"SELECT sum(n) FROM t"_s).text(0, 0), u"5"_s);
}

void TestConnectionPg::anErrorSpoilsTheTransaction()
{
    PgTestDatabase database;
    PgConnection connection(database.address());
    connection.exec(u"CREATE TABLE t (n int PRIMARY KEY)"_s);
    {
        PgTransaction transaction(connection);
        connection.exec(u"INSERT INTO t VALUES (1)"_s);
        QVERIFY(failureOf([&] { connection.exec(u"INSERT INTO t VALUES (1)"_s); }));
        const auto aborted = failureOf([&] { connection.exec(u"INSERT INTO t VALUES (2)"_s); });
        QVERIFY(aborted);
        QCOMPARE(aborted->kind, ErrorKind::TransactionAborted);
        QCOMPARE(aborted->sqlState, u"25P02"_s);
    }
    QCOMPARE(connection.exec(u"SELECT count(*) FROM t"_s).text(0, 0), u"0"_s);
}

void TestConnectionPg::bytesTravelUnchanged()
{
    PgTestDatabase database;
    PgConnection connection(database.address());
    connection.exec(u"CREATE TABLE p (n bigint, imagem bytea)"_s);
    QByteArray bytes;
    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 256; ++b)
            bytes.append(char(b));
    }
    // A JPEG's first bytes, then a text that a bytea literal would read as an escape.
    bytes.prepend("\xFF\xD8\xFF\xE0\\x00", 8);
    connection.exec(u"INSERT INTO p VALUES ($1, $2)"_s, {PgParam::integer(7), PgParam::bytes(bytes)});
    const db::pg::PgResult binary = connection.exec(u"SELECT imagem FROM p WHERE n = $1"_s,
                                                    {PgParam::integer(7)}, db::pg::ResultFormat::Binary);
    QCOMPARE(binary.rowCount(), 1);
    QCOMPARE(binary.bytes(0, 0).toByteArray(), bytes);
    QCOMPARE(connection.exec(u"SELECT length(imagem) FROM p"_s).text(0, 0), QString::number(bytes.size()));
    QCOMPARE(connection.exec(u"SELECT n FROM p WHERE imagem IS NOT NULL"_s).text(0, 0), u"7"_s);
    connection.exec(u"INSERT INTO p VALUES ($1, $2)"_s, {PgParam::null(), PgParam::null()});
    QVERIFY(connection.exec(u"SELECT imagem FROM p WHERE n IS NULL"_s).isNull(0, 0));
}

void TestConnectionPg::copyIsRefusedAndTheConnectionServesOn()
{
    PgTestDatabase database;
    PgConnection connection(database.address());
    connection.exec(u"CREATE TABLE t (n int)"_s);
    connection.exec(u"INSERT INTO t SELECT generate_series(1, 1000)"_s);
    QVERIFY(failureOf([&] { connection.exec(u"COPY t FROM STDIN"_s); }));
    QCOMPARE(connection.exec(u"SELECT count(*) FROM t"_s).text(0, 0), u"1000"_s);
    QVERIFY(failureOf([&] { connection.exec(u"COPY t TO STDOUT"_s); }));
    QCOMPARE(connection.exec(u"SELECT max(n) FROM t"_s).text(0, 0), u"1000"_s);
}

void TestConnectionPg::noticesGoToTheLoggingCategory()
{
    PgTestDatabase database;
    PgConnection connection(database.address());
    LogCapture capture;
    connection.exec(u"DO $$ BEGIN RAISE NOTICE 'aviso número %', 1; RAISE WARNING 'cuidado'; END $$"_s);
    QCOMPARE(LogCapture::lines,
             (QStringList{u"cartulo.db debug server: aviso número 1"_s, u"cartulo.db warning server: cuidado"_s}));
}

void TestConnectionPg::connectionRefusals_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("no server at the socket") << u"server"_s << u"No such file or directory"_s;
    QTest::newRow("unknown role") << u"role"_s << u"role \"ninguem_aqui\" does not exist"_s;
    QTest::newRow("role may not log in") << u"nologin"_s << u"is not permitted to log in"_s;
    QTest::newRow("unknown database") << u"database"_s << u"database \"nao_existe_aqui\" does not exist"_s;
    QTest::newRow("no right to connect") << u"connect"_s << u"permission denied for database"_s;
}

void TestConnectionPg::connectionRefusals()
{
    QFETCH(QString, what);
    QFETCH(QString, messagePart);
    PgTestRole role(what == u"nologin"_s ? u"NOLOGIN"_s : u"LOGIN"_s);
    PgTestDatabase database;
    QTemporaryDir noServer; // a socket folder where nothing listens
    db::ServerAddress address = database.addressAs(role.name());
    if (what == u"server"_s)
        address.host = noServer.path();
    else if (what == u"role"_s)
        address.role = u"ninguem_aqui"_s;
    else if (what == u"database"_s)
        address.database = u"nao_existe_aqui"_s;
    else if (what == u"connect"_s)
        PgConnection(database.address()).exec(u"REVOKE CONNECT ON DATABASE %1 FROM PUBLIC"_s.arg(database.name()));
    const auto failure = failureOf([&] { PgConnection refused(address); });
    QVERIFY(failure);
    QCOMPARE(failure->kind, ErrorKind::ConnectionFailed);
    QVERIFY2(failure->message.startsWith(u"Não foi possível conectar a "_s + address.displayName() + u": "_s),
             qPrintable(failure->message));
    QVERIFY2(failure->message.contains(messagePart), qPrintable(failure->message));
    QVERIFY2(!failure->message.contains(u'\n'), qPrintable(failure->message));
}

QTEST_GUILESS_MAIN(TestConnectionPg)
#include "tst_connection_pg.moc"
