// COPY FROM STDIN on the private server: every value arrives as sent (escapes, NULL,
// bytea), a copy left unfinished keeps nothing, a refused row brings the server's message.
#include "db/DbError.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgCopy.h"
#include "tests/support/PgTestDatabase.h"

#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;
using db::pg::PgConnection;
using db::pg::PgCopy;

class TestPgCopy : public QObject {
    Q_OBJECT

private:
    std::optional<testsupport::PgTestDatabase> m_database;
    std::optional<PgConnection> m_connection;

    PgConnection &server() { return *m_connection; }
    qint64 count()
    {
        return server().exec(u"SELECT count(*) FROM t"_s).text(0, 0).toLongLong();
    }

private slots:
    void init()
    {
        m_database.emplace();
        m_connection.emplace(m_database->address());
        server().exec(u"CREATE TABLE t (id integer PRIMARY KEY, nome text, valor double precision, imagem bytea)"_s);
    }
    void cleanup()
    {
        m_connection.reset();
        m_database.reset();
    }

    void valuesArriveAsSent_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << u"Processo de licitação"_s;
        QTest::newRow("tab and newline") << u"a\tb\nc\rd"_s;
        QTest::newRow("backslashes") << u"C:\\dados\\N \\x00 \\."_s;
        QTest::newRow("copy end marker alone") << u"\\."_s;
        QTest::newRow("empty") << QString();
    }
    void valuesArriveAsSent()
    {
        QFETCH(QString, text);
        QByteArray image;
        for (int b = 0; b < 256; ++b)
            image.append(char(b));
        {
            PgCopy copy(server(), u"t"_s, {u"id"_s, u"nome"_s, u"valor"_s, u"imagem"_s});
            copy.integer(1).text(text).real(46000.25).bytes(image);
            copy.endRow();
            copy.integer(2).null().null().null();
            copy.endRow();
            QCOMPARE(copy.finish(), 2);
        }
        const db::pg::PgResult rows = server().exec(u"SELECT nome, valor, imagem FROM t ORDER BY id"_s, {},
                                                    db::pg::ResultFormat::Binary);
        QCOMPARE(rows.rowCount(), 2);
        QCOMPARE(QString::fromUtf8(rows.bytes(0, 0)), text);
        QVERIFY(!rows.isNull(0, 0));
        QCOMPARE(rows.bytes(0, 2).toByteArray(), image);
        QVERIFY(rows.isNull(1, 0));
        QVERIFY(rows.isNull(1, 1));
        QVERIFY(rows.isNull(1, 2));
        QCOMPARE(server().exec(u"SELECT valor = 46000.25 FROM t WHERE id = 1"_s).text(0, 0), u"t"_s);
    }

    void manyRowsCrossTheBuffer()
    {
        const QByteArray page(300 * 1024, 'J');
        PgCopy copy(server(), u"t"_s, {u"id"_s, u"imagem"_s});
        for (int id = 1; id <= 12; ++id) {
            copy.integer(id).bytes(page);
            copy.endRow();
        }
        QCOMPARE(copy.finish(), 12);
        QCOMPARE(server().exec(u"SELECT count(*) FROM t WHERE length(imagem) = %1"_s.arg(page.size())).text(0, 0), u"12"_s);
    }

    void unfinishedCopyKeepsNothing()
    {
        {
            PgCopy copy(server(), u"t"_s, {u"id"_s, u"nome"_s});
            for (int id = 1; id <= 100; ++id) {
                copy.integer(id).text(u"linha"_s);
                copy.endRow();
            }
        }
        QCOMPARE(count(), 0);
        // The connection serves the next statement.
        server().exec(u"INSERT INTO t (id) VALUES (1)"_s);
        QCOMPARE(count(), 1);
    }

    void refusedRowCarriesTheServerMessage()
    {
        PgCopy copy(server(), u"t"_s, {u"id"_s, u"nome"_s});
        copy.integer(7).text(u"a"_s);
        copy.endRow();
        copy.integer(7).text(u"b"_s);
        copy.endRow();
        try {
            copy.finish();
            QFAIL("a duplicate key was accepted");
        } catch (const db::DbError &error) {
            QCOMPARE(error.kind(), db::ErrorKind::DuplicateKey);
            QVERIFY2(error.message().contains(u"(id)=(7)"_s), qPrintable(error.message()));
        }
        QCOMPARE(count(), 0);
        server().exec(u"INSERT INTO t (id) VALUES (1)"_s);
    }

    void unknownColumnIsRefusedAtTheStart()
    {
        QVERIFY_THROWS_EXCEPTION(db::DbError, PgCopy(server(), u"t"_s, {u"id"_s, u"sem_coluna"_s}));
        server().exec(u"INSERT INTO t (id) VALUES (1)"_s);
        QCOMPARE(count(), 1);
    }

    void rowOfTheWrongWidthIsRefused()
    {
        PgCopy copy(server(), u"t"_s, {u"id"_s, u"nome"_s});
        copy.integer(1);
        QVERIFY_THROWS_EXCEPTION(db::DbError, copy.endRow());
        copy.text(u"x"_s);
        QVERIFY_THROWS_EXCEPTION(db::DbError, copy.text(u"y"_s));
        copy.endRow();
        QCOMPARE(copy.finish(), 1);
    }

    void insideATransactionTheCopyIsUndoneWithIt()
    {
        {
            db::pg::PgTransaction transaction(server());
            PgCopy copy(server(), u"t"_s, {u"id"_s});
            copy.integer(1);
            copy.endRow();
            QCOMPARE(copy.finish(), 1);
        }
        QCOMPARE(count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPgCopy)
#include "tst_pgcopy_pg.moc"
