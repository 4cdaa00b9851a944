// The archive on a PostgreSQL server: the rules the server itself enforces, the cascade,
// the pages, the creation in one transaction and its refusals, the fold and the search index.
#include "db/ArchiveTables.h"
#include "db/DbError.h"
#include "db/Fold.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgSchema.h"
#include "tests/support/PgTestDatabase.h"

#include <QTest>

using namespace Qt::StringLiterals;
using db::pg::PgConnection;
using db::pg::PgParam;
using testsupport::PgTestDatabase;
using testsupport::PgTestRole;
namespace pgschema = db::pg::schema;

namespace {

/// A new archive in a database of its own.
struct ServerArchive {
    PgTestDatabase database;
    PgConnection connection{database.address()};
    ServerArchive() { pgschema::create(connection); }

    QStringList column(const QString &sql, const QList<PgParam> &params = {})
    {
        const db::pg::PgResult result = connection.exec(sql, params);
        QStringList values;
        for (int row = 0; row < result.rowCount(); ++row)
            values << (result.isNull(row, 0) ? u"NULL"_s : result.text(row, 0));
        return values;
    }
};

QString messageOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const db::DbError &error) {
        return error.message();
    }
    return {};
}

QString code(int n)
{
    return QStringLiteral("%1").arg(n, 5, 10, QChar(u'0'));
}

QByteArray jpegLike(char fill)
{
    return QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(3000, fill) + QByteArray("\xFF\xD9", 2);
}

} // namespace

class TestSchemaPg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void createsTheTablesInTheirOrder();
    void serverEnforces_data();
    void serverEnforces();
    void deletingAProcessDeletesItsDocuments();
    void pagesKeepTheirBytesAndEveryMoveAside();
    void creationIsOneTransaction();
    void refusesADatabaseHoldingTheTables();
    void locales_data();
    void locales();
    void theDatabaseOwnerCreatesItWithoutSuperuser();
    void onlyAnArchiveOfAKnownFormatOpens();
    void foldIsTheProgramsFold();
    void foldOfTexts_data();
    void foldOfTexts();
    void searchIndexServesTheFoldedLike();

private:
    // One archive for the tables of cases; each case runs in a transaction rolled back.
    std::unique_ptr<ServerArchive> m_shared;
};

void TestSchemaPg::initTestCase()
{
    m_shared = std::make_unique<ServerArchive>();
    for (const QString &seed : {u"INSERT INTO tipo_arq VALUES ('00001', 'CARTA')"_s,
                                u"INSERT INTO processo (cod, num_doc) VALUES ('00001', 1)"_s,
                                u"INSERT INTO documento (cod, processo, tp_doc) VALUES ('00001', '00001', '00001')"_s})
        m_shared->connection.exec(seed);
}

void TestSchemaPg::cleanupTestCase()
{
    m_shared.reset();
}

void TestSchemaPg::createsTheTablesInTheirOrder()
{
    ServerArchive archive;
    for (const db::schema::TableSpec &table : db::schema::archiveTables()) {
        QStringList expected;
        for (const db::schema::ColumnSpec &c : table.columns)
            expected << c.name;
        QCOMPARE(archive.column(u"SELECT column_name FROM information_schema.columns WHERE table_name = $1 "
                                u"ORDER BY ordinal_position"_s,
                                {PgParam::text(table.name)}),
                 expected);
    }
    QCOMPARE(archive.column(u"SELECT column_name || ' ' || coalesce(domain_name, data_type) FROM "
                            u"information_schema.columns WHERE table_name = 'processo' ORDER BY ordinal_position"_s),
             (QStringList{u"cod text"_s, u"descricao text"_s, u"numero text"_s, u"data cartulo_data"_s,
                          u"num_doc smallint"_s}));
    QCOMPARE(archive.column(u"SELECT versao FROM cartulo_formato"_s), QStringList{u"1"_s});
    pgschema::checkIsArchive(archive.connection);
}

void TestSchemaPg::serverEnforces_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("sqlState"); // empty: the statement must succeed
    QTest::addColumn<QString>("messagePart");

    const QString newProcess = u"INSERT INTO processo (cod) VALUES ('%1')"_s;
    const QString newDocument = u"INSERT INTO documento (cod, processo, tp_doc) VALUES ('%1', '%2', '00001')"_s;
    const QString newPage = u"INSERT INTO lauda (processo, documento, numero, imagem) VALUES ('%1', '%2', %3, '\\xffd8ff')"_s;
    const QString pageAside = u"INSERT INTO lauda_excluida (processo, documento, numero, imagem) VALUES ('%1', '%2', %3, '\\xffd8ff')"_s;

    QTest::newRow("duplicate process") << QStringList() << newProcess.arg(u"00001")
                                       << u"23505"_s << u"processo_pkey"_s;
    QTest::newRow("duplicate type") << QStringList() << u"INSERT INTO tipo_arq VALUES ('00001', 'OUTRO')"_s
                                    << u"23505"_s << u"tipo_arq_pkey"_s;
    QTest::newRow("duplicate document of a process") << QStringList() << newDocument.arg(u"00001", u"00001")
                                                     << u"23505"_s << u"documento_pkey"_s;
    QTest::newRow("same document code in another process")
        << QStringList{newProcess.arg(u"00002")} << newDocument.arg(u"00001", u"00002") << QString() << QString();
    QTest::newRow("description too long") << QStringList()
                                          << u"UPDATE processo SET descricao = repeat('x', 51)"_s
                                          << u"23514"_s << u"processo.descricao: no máximo 50 caracteres"_s;
    QTest::newRow("fifty accented letters fit") << QStringList()
                                                << u"UPDATE processo SET descricao = repeat('Ç', 50)"_s
                                                << QString() << QString();
    QTest::newRow("trailing spaces are not cut away") << QStringList()
                                                      << u"UPDATE processo SET numero = '12345 '"_s
                                                      << u"23514"_s << u"processo.numero: no máximo 5 caracteres"_s;
    QTest::newRow("type description") << QStringList()
                                      << u"UPDATE tipo_arq SET descricao = repeat('A', 256)"_s
                                      << u"23514"_s << u"tipo_arq.descricao: no máximo 255 caracteres"_s;
    QTest::newRow("profile state") << QStringList() << u"INSERT INTO orgao (uf) VALUES ('SPX')"_s
                                   << u"23514"_s << u"orgao.uf: no máximo 2 caracteres"_s;
    QTest::newRow("number of documents not a number") << QStringList()
                                                      << u"UPDATE processo SET num_doc = 'abc'"_s
                                                      << u"22P02"_s << u"smallint"_s;
    QTest::newRow("number of pages not a number") << QStringList()
                                                  << u"UPDATE documento SET n_laudas = '1,5'"_s
                                                  << u"22P02"_s << u"integer"_s;
    QTest::newRow("number of documents too large") << QStringList()
                                                   << u"UPDATE processo SET num_doc = 40000"_s
                                                   << u"22003"_s << u"smallint out of range"_s;
    QTest::newRow("date not a day number") << QStringList() << u"UPDATE processo SET data = 'ontem'"_s
                                           << u"22P02"_s << u"double precision"_s;
    QTest::newRow("date with a time of day") << QStringList() << u"UPDATE processo SET data = 38061.5"_s
                                             << QString() << QString();
    QTest::newRow("process code of one digit") << QStringList() << newProcess.arg(u"1")
                                               << u"23514"_s << u"processo.cod: cinco algarismos"_s;
    QTest::newRow("process code of letters") << QStringList() << newProcess.arg(u"ABCDE")
                                             << u"23514"_s << u"processo.cod: cinco algarismos"_s;
    QTest::newRow("document code") << QStringList() << newDocument.arg(u"0001a", u"00001")
                                   << u"23514"_s << u"documento.cod: cinco algarismos"_s;
    QTest::newRow("document's process code") << QStringList() << newDocument.arg(u"00002", u"0001 ")
                                             << u"23514"_s << u"documento.processo: cinco algarismos"_s;
    QTest::newRow("document of no process") << QStringList() << newDocument.arg(u"00002", u"00009")
                                            << u"23503"_s << u"documento_processo_fkey"_s;
    QTest::newRow("document of an unknown type is kept")
        << QStringList() << u"INSERT INTO documento (cod, processo, tp_doc) VALUES ('00002', '00001', '00999')"_s
        << QString() << QString();
    QTest::newRow("a process code its documents use stays") << QStringList()
                                                            << u"UPDATE processo SET cod = '00005'"_s
                                                            << u"23503"_s << u"documento_processo_fkey"_s;
    QTest::newRow("process without a code") << QStringList() << u"INSERT INTO processo (descricao) VALUES ('x')"_s
                                            << u"23502"_s << u"\"cod\""_s;
    QTest::newRow("page 0") << QStringList() << newPage.arg(u"00001", u"00001", u"0")
                            << u"23514"_s << u"lauda.numero: de 1 a 999"_s;
    QTest::newRow("page 1000") << QStringList() << newPage.arg(u"00001", u"00001", u"1000")
                               << u"23514"_s << u"lauda.numero: de 1 a 999"_s;
    QTest::newRow("page 999") << QStringList() << newPage.arg(u"00001", u"00001", u"999") << QString() << QString();
    QTest::newRow("the same page twice") << QStringList{newPage.arg(u"00001", u"00001", u"1")}
                                         << newPage.arg(u"00001", u"00001", u"1") << u"23505"_s << u"lauda_pkey"_s;
    QTest::newRow("page of a bad process code") << QStringList() << newPage.arg(u"1", u"00001", u"1")
                                                << u"23514"_s << u"lauda.processo: cinco algarismos"_s;
    QTest::newRow("a page moved aside twice") << QStringList{pageAside.arg(u"00001", u"00001", u"1")}
                                              << pageAside.arg(u"00001", u"00001", u"1") << QString() << QString();
    QTest::newRow("moved aside with a bad document code") << QStringList()
                                                          << pageAside.arg(u"00001", u"123", u"1")
                                                          << u"23514"_s << u"lauda_excluida.documento: cinco algarismos"_s;
}

void TestSchemaPg::serverEnforces()
{
    QFETCH(QStringList, before);
    QFETCH(QString, statement);
    QFETCH(QString, sqlState);
    QFETCH(QString, messagePart);
    PgConnection &connection = m_shared->connection;
    db::pg::PgTransaction undone(connection);
    for (const QString &sql : before)
        connection.exec(sql);
    try {
        connection.exec(statement);
        QVERIFY2(sqlState.isEmpty(), "the server accepted what it should refuse");
    } catch (const db::DbError &error) {
        QVERIFY2(!sqlState.isEmpty(), qPrintable(error.message()));
        QCOMPARE(error.sqlState(), sqlState);
        QVERIFY2(error.message().contains(messagePart), qPrintable(error.message()));
    }
}

void TestSchemaPg::deletingAProcessDeletesItsDocuments()
{
    ServerArchive archive;
    for (const QString &sql :
         {u"INSERT INTO processo (cod) VALUES ('00001'), ('00002')"_s,
          u"INSERT INTO documento (cod, processo) VALUES ('00001', '00001'), ('00002', '00001'), ('00001', '00002')"_s})
        archive.connection.exec(sql);
    QCOMPARE(archive.connection.exec(u"DELETE FROM processo WHERE cod = '00001'"_s).affectedRows(), 1);
    QCOMPARE(archive.column(u"SELECT processo || '/' || cod FROM documento"_s), QStringList{u"00002/00001"_s});
}

void TestSchemaPg::pagesKeepTheirBytesAndEveryMoveAside()
{
    ServerArchive archive;
    const QByteArray first = jpegLike('\\');
    const QByteArray second = jpegLike('\0');
    const QString insert = u"INSERT INTO lauda (processo, documento, numero, imagem) VALUES ('00007', '00003', $1, $2)"_s;
    archive.connection.exec(insert, {PgParam::integer(1), PgParam::bytes(first)});
    archive.connection.exec(insert, {PgParam::integer(2), PgParam::bytes(second)});
    // Page 1 moved aside twice, as a document deleted twice under the same codes would;
    // a move rolled back in between leaves nothing.
    for (int round = 0; round < 2; ++round) {
        db::pg::PgTransaction transaction(archive.connection);
        archive.connection.exec(u"INSERT INTO lauda_excluida (processo, documento, numero, imagem) "
                                u"SELECT processo, documento, numero, imagem FROM lauda WHERE numero = 1"_s);
        if (round == 0)
            transaction.commit();
    }
    archive.connection.exec(u"INSERT INTO lauda_excluida (processo, documento, numero, imagem) "
                            u"SELECT processo, documento, numero, imagem FROM lauda WHERE numero = 1"_s);
    const db::pg::PgResult aside = archive.connection.exec(
        u"SELECT imagem FROM lauda_excluida ORDER BY id"_s, {}, db::pg::ResultFormat::Binary);
    QCOMPARE(aside.rowCount(), 2);
    QCOMPARE(aside.bytes(0, 0).toByteArray(), first);
    QCOMPARE(aside.bytes(1, 0).toByteArray(), first);
    const db::pg::PgResult kept = archive.connection.exec(
        u"SELECT imagem FROM lauda WHERE numero = 2"_s, {}, db::pg::ResultFormat::Binary);
    QCOMPARE(kept.bytes(0, 0).toByteArray(), second);
    QCOMPARE(archive.column(u"SELECT count(*) FROM lauda_excluida WHERE excluida_em <= now()"_s),
             QStringList{u"2"_s});
}

void TestSchemaPg::creationIsOneTransaction()
{
    PgTestDatabase database;
    PgConnection connection(database.address());
    // Something in the way of the last steps: everything before them must go as well.
    connection.exec(u"CREATE TABLE documento_busca (x int)"_s);
    const QString message = messageOf([&] { pgschema::create(connection); });
    QVERIFY2(message.contains(u"\"documento_busca\" already exists"_s), qPrintable(message));
    QVERIFY(!connection.inTransaction());
    const db::pg::PgResult left = connection.exec(
        u"SELECT count(*) FROM pg_class WHERE relname IN ('orgao', 'processo', 'documento', 'lauda') "
        u"UNION ALL SELECT count(*) FROM pg_proc WHERE proname = 'cartulo_fold'"_s);
    QCOMPARE(left.text(0, 0), u"0"_s);
    QCOMPARE(left.text(1, 0), u"0"_s);
}

void TestSchemaPg::refusesADatabaseHoldingTheTables()
{
    ServerArchive archive;
    archive.connection.exec(u"INSERT INTO processo (cod, descricao) VALUES ('00001', 'Obra')"_s);
    const QString again = messageOf([&] { pgschema::create(archive.connection); });
    QVERIFY2(again.contains(u"já contém orgao, processo, tipo_arq, documento, lauda, lauda_excluida, "
                            u"cartulo_formato, cartulo_fold, cartulo_data; nada foi alterado"_s),
             qPrintable(again));
    QCOMPARE(archive.column(u"SELECT descricao FROM processo"_s), QStringList{u"Obra"_s});

    PgTestDatabase other;
    PgConnection connection(other.address());
    connection.exec(u"CREATE TABLE processo (id serial)"_s);
    const QString foreign = messageOf([&] { pgschema::create(connection); });
    QVERIFY2(foreign.contains(u"já contém processo; nada foi alterado"_s), qPrintable(foreign));
}

void TestSchemaPg::locales_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("messagePart"); // empty: accepted
    QTest::newRow("C.UTF-8") << u"ENCODING 'UTF8' LOCALE 'C.UTF-8'"_s << QString();
    QTest::newRow("C order, UTF-8 letters") << u"ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C.UTF-8'"_s << QString();
    QTest::newRow("C") << u"ENCODING 'UTF8' LOCALE 'C'"_s << u"localidade \"C\" (LC_CTYPE)"_s;
    QTest::newRow("POSIX") << u"ENCODING 'UTF8' LOCALE 'POSIX'"_s << u"localidade \"C\" (LC_CTYPE)"_s;
    QTest::newRow("not UTF-8") << u"ENCODING 'SQL_ASCII' LOCALE 'C'"_s << u"codificação SQL_ASCII"_s;
    QTest::newRow("ICU order") << u"ENCODING 'UTF8' LOCALE 'C.UTF-8' LOCALE_PROVIDER icu ICU_LOCALE 'und'"_s
                               << u"localidade \"ICU\" (LC_COLLATE)"_s;
}

void TestSchemaPg::locales()
{
    QFETCH(QString, options);
    QFETCH(QString, messagePart);
    PgTestDatabase database(options);
    PgConnection connection(database.address());
    const QString message = messageOf([&] { pgschema::create(connection); });
    if (messagePart.isEmpty()) {
        QCOMPARE(message, QString());
        pgschema::checkIsArchive(connection);
        return;
    }
    QVERIFY2(message.contains(messagePart), qPrintable(message));
    QVERIFY2(message.contains(u"LOCALE 'C.UTF-8' TEMPLATE template0"_s), qPrintable(message));
    QCOMPARE(connection.exec(u"SELECT to_regclass('processo') IS NULL"_s).text(0, 0), u"t"_s);
}

void TestSchemaPg::theDatabaseOwnerCreatesItWithoutSuperuser()
{
    PgTestRole owner;
    PgTestDatabase database(u"ENCODING 'UTF8' LOCALE 'C.UTF-8' OWNER "_s + owner.name());
    PgConnection connection(database.addressAs(owner.name()));
    QCOMPARE(connection.exec(u"SELECT rolsuper FROM pg_roles WHERE rolname = current_user"_s).text(0, 0), u"f"_s);
    pgschema::create(connection);
    pgschema::checkIsArchive(connection);
    connection.exec(u"INSERT INTO processo (cod) VALUES ('00001')"_s);
    connection.exec(u"INSERT INTO lauda_excluida (processo, documento, numero, imagem) VALUES ('00001', '00001', 1, '')"_s);
}

void TestSchemaPg::onlyAnArchiveOfAKnownFormatOpens()
{
    PgTestDatabase empty;
    PgConnection connection(empty.address());
    const QString missing = messageOf([&] { pgschema::checkIsArchive(connection); });
    QVERIFY2(missing.contains(u"não é um arquivo do Cartulo: faltam as tabelas orgao, processo"_s), qPrintable(missing));

    ServerArchive archive;
    archive.connection.exec(u"UPDATE cartulo_formato SET versao = versao + 1"_s);
    const QString newer = messageOf([&] { pgschema::checkIsArchive(archive.connection); });
    QVERIFY2(newer.contains(u"versão mais nova do Cartulo (formato 2"_s), qPrintable(newer));
    archive.connection.exec(u"DELETE FROM cartulo_formato"_s);
    const QString unknown = messageOf([&] { pgschema::checkIsArchive(archive.connection); });
    QVERIFY2(unknown.contains(u"não diz o formato"_s), qPrintable(unknown));
}

void TestSchemaPg::foldIsTheProgramsFold()
{
    // Every code point that can have a case, one by one: each takes whichever path the
    // server's function chooses for it, and must come out as the program folds it.
    constexpr char32_t lastCased = 0x1FFFF;
    QStringList expected;
    for (char32_t c = 1; c <= lastCased; ++c)
        expected << QString::number(c >= 0xD800 && c <= 0xDFFF ? 0 : db::foldCodePoint(c));
    const QStringList wrong = m_shared->column(
        u"SELECT to_hex(c) || ' -> ' || to_hex(ascii(cartulo_fold(chr(c)))) FROM generate_series(1, $1::int) AS c "
        u"WHERE (c < 55296 OR c > 57343) AND cartulo_fold(chr(c)) <> chr(($2::int[])[c]) LIMIT 20"_s,
        {PgParam::text(QString::number(lastCased)), PgParam::text(u'{' + expected.join(u',') + u'}')});
    QCOMPARE(wrong, QStringList());
    QCOMPARE(m_shared->column(u"SELECT cartulo_fold(NULL)"_s), QStringList{u"NULL"_s});
}

void TestSchemaPg::foldOfTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("Portuguese") << u"LICITAÇÃO da Obra: ÁGUA, Pão e Ônibus"_s;
    QTest::newRow("ASCII") << u"Pedido de VISTA nº 15/2004"_s;
    QTest::newRow("long s and final sigma") << u"Maßſtab ΣΊΣΥΦΟΣ ὀδυσσεύς"_s;
    QTest::newRow("Cherokee both cases") << u"ᎠᎡᎢ ꭰꭱꭲ ᏸ"_s;
    QTest::newRow("beyond the BMP") << u"𐐀𐐨 Deseret, 𞤀 Adlam, 𠀀 ÇÃ"_s;
    QTest::newRow("micro and Kelvin") << u"µ K Å ǅ"_s;
}

void TestSchemaPg::foldOfTexts()
{
    QFETCH(QString, text);
    QCOMPARE(m_shared->column(u"SELECT cartulo_fold($1)"_s, {PgParam::text(text)}), QStringList{db::foldCase(text)});
}

void TestSchemaPg::searchIndexServesTheFoldedLike()
{
    ServerArchive archive;
    const QStringList summaries = {u"LICITAÇÃO da obra"_s, u"licitacao sem acento"_s, u"Água mineral"_s,
                                   u"AGUA da fonte"_s, u"ÁGUA e LICITAÇÃO"_s, u"Ofício 15"_s};
    archive.connection.exec(u"INSERT INTO processo (cod) VALUES ('00001')"_s);
    for (int i = 0; i < summaries.size(); ++i)
        archive.connection.exec(u"INSERT INTO documento (cod, processo, ementa) VALUES ($1, '00001', $2)"_s,
                                {PgParam::text(code(i + 1)), PgParam::text(summaries[i])});
    const QStringList patterns = {u"%licitação%"_s, u"%LICITAÇÃO%"_s, u"%água%"_s, u"%agua%"_s,
                                  u"lic%"_s, u"%á_ua%"_s, u"%OFÍCIO 1_"_s, u"%ção d%"_s};
    for (const QString &pattern : patterns) {
        QStringList expected;
        for (int i = 0; i < summaries.size(); ++i) {
            if (db::likeMatchUtf8(pattern.toUtf8(), summaries[i].toUtf8()))
                expected << code(i + 1);
        }
        QCOMPARE(archive.column(u"SELECT cod FROM documento WHERE cartulo_fold(ementa) LIKE cartulo_fold($1) "
                                u"ESCAPE '' ORDER BY cod"_s,
                                {PgParam::text(pattern)}),
                 expected);
    }
    archive.connection.exec(u"SET enable_seqscan = off"_s);
    const QString plan = archive.column(u"EXPLAIN SELECT cod FROM documento WHERE "
                                        u"cartulo_fold(descricao) LIKE cartulo_fold('%licitação%') ESCAPE ''"_s)
                             .join(u'\n');
    QVERIFY2(plan.contains(u"Bitmap Index Scan on documento_busca"_s), qPrintable(plan));
}

QTEST_GUILESS_MAIN(TestSchemaPg)
#include "tst_schema_pg.moc"
