// Who did what: the history the archive keeps of every change (both engines), the group
// roles on the server and what each may change, and that nobody may rewrite the history.
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/History.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgRoles.h"
#include "tests/support/PgTestDatabase.h"
#include "tests/support/ProviderArchive.h"

#include <QCryptographicHash>
#include <QSysInfo>
#include <QTest>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using db::ErrorKind;
using db::Provider;
using testsupport::PgTestRole;
using testsupport::ProviderArchive;

Q_DECLARE_METATYPE(db::ErrorKind)

namespace {

using Rows = QList<QStringList>;
using testsupport::rowsOf;

std::optional<ErrorKind> failureOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const db::DbError &error) {
        return error.kind();
    }
    return std::nullopt;
}

// Newest first; the view reports the same rows (its quem names an unnamed client).
const QString kLast = u"SELECT coalesce(quem, 'cliente sem identificação'), estacao, operacao, tabela, chave, "
                      u"antes, depois FROM historico_registro ORDER BY id DESC"_s;

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void everyChangeIsRecorded_data();
    void everyChangeIsRecorded();
    void anotherClientsChangeStillRecorded();
    void historyCannotBeRewritten_data();
    void historyCannotBeRewritten();
    void groupsMayDoWhatTheirRoleAllows_data();
    void groupsMayDoWhatTheirRoleAllows();
    void pageChangesNameThePageAndNotItsBytes();
};

void TestHistory::everyChangeIsRecorded_data()
{
    QTest::addColumn<Provider>("provider");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("oldHas");
    QTest::addColumn<QString>("newHas");
    const QString process = u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"00007\",\"LICITAÇÃO\",\"12\",38061,3)"_s;
    const QString document = u"Insert Into documento (cod,processo,tp_doc,descricao,n_laudas) VALUES (\"00003\",\"00007\",\"00001\",\"OFÍCIO\",1)"_s;
    for (Provider p : testsupport::allProviders()) {
        const char *name = testsupport::providerName(p);
        QTest::addRow("%s: process included", name) << p << QStringList{} << process << u"inclusão"_s
                                                    << u"processo"_s << u"00007"_s << QString() << u"LICITAÇÃO"_s;
        QTest::addRow("%s: process changed", name)
            << p << QStringList{process} << u"UPDATE processo SET descricao=\"PREGÃO\" Where cod=\"00007\""_s
            << u"alteração"_s << u"processo"_s << u"00007"_s << u"LICITAÇÃO"_s << u"PREGÃO"_s;
        QTest::addRow("%s: process deleted", name) << p << QStringList{process}
                                                   << u"Delete From processo Where cod=\"00007\""_s << u"exclusão"_s
                                                   << u"processo"_s << u"00007"_s << u"LICITAÇÃO"_s << QString();
        QTest::addRow("%s: document included", name) << p << QStringList{process} << document << u"inclusão"_s
                                                     << u"documento"_s << u"0000700003"_s << QString() << u"OFÍCIO"_s;
        QTest::addRow("%s: document changed", name)
            << p << QStringList{process, document}
            << u"UPDATE documento SET descricao=\"ATA\" Where processo=\"00007\" and cod=\"00003\""_s << u"alteração"_s
            << u"documento"_s << u"0000700003"_s << u"OFÍCIO"_s << u"ATA"_s;
        QTest::addRow("%s: document deleted", name)
            << p << QStringList{process, document}
            << u"Delete From documento Where processo=\"00007\" and cod=\"00003\""_s << u"exclusão"_s << u"documento"_s
            << u"0000700003"_s << u"OFÍCIO"_s << QString();
        QTest::addRow("%s: type included", name) << p << QStringList{}
                                                 << u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00004\",\"ATA\")"_s
                                                 << u"inclusão"_s << u"tipo_arq"_s << u"00004"_s << QString() << u"ATA"_s;
        QTest::addRow("%s: agency changed", name)
            << p << QStringList{u"Insert Into orgao (nome) VALUES (\"PREFEITURA\")"_s}
            << u"UPDATE orgao SET nome=\"CÂMARA\""_s << u"alteração"_s << u"orgao"_s << QString() << u"PREFEITURA"_s
            << u"CÂMARA"_s;
    }
}

void TestHistory::everyChangeIsRecorded()
{
    QFETCH(Provider, provider);
    QFETCH(QStringList, before);
    QFETCH(QString, change);
    QFETCH(QString, operation);
    QFETCH(QString, table);
    QFETCH(QString, key);
    QFETCH(QString, oldHas);
    QFETCH(QString, newHas);
    ProviderArchive archive(provider);
    db::Connection &connection = archive.connection();
    for (const QString &statement : before)
        connection.execute(statement);
    const qsizetype earlier = rowsOf(connection, u"SELECT * FROM historico"_s).size();
    connection.execute(change);
    const Rows rows = rowsOf(connection, kLast);
    QVERIFY(rows.size() > earlier);
    const QStringList last = rows.first();
    const QString who = provider == Provider::PostgreSQL ? archive.serverDatabase()->address().role
                                                         : db::history::osUser();
    QCOMPARE(last[0], who);
    QCOMPARE(last[1].contains(QSysInfo::machineHostName()), true);
    QCOMPARE(last[2], operation);
    QCOMPARE(last[3], table);
    QCOMPARE(last[4], key);
    QCOMPARE(last[5].isEmpty(), oldHas.isEmpty());
    QVERIFY2(last[5].contains(oldHas), qPrintable(last[5]));
    QCOMPARE(last[6].isEmpty(), newHas.isEmpty());
    QVERIFY2(last[6].contains(newHas), qPrintable(last[6]));
}

void TestHistory::anotherClientsChangeStillRecorded()
{
    ProviderArchive archive(Provider::SQLite);
    // Another SQLite client, without any function or trigger of the program.
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(archive.connection().databasePath().toUtf8().constData(), &other), SQLITE_OK);
    const int rc = sqlite3_exec(other, "INSERT INTO tipo_arq (cod, descricao) VALUES ('00009', 'LAUDO')", nullptr,
                                nullptr, nullptr);
    sqlite3_close(other);
    QCOMPARE(rc, SQLITE_OK);
    const Rows rows = rowsOf(archive.connection(), kLast);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0], db::history::kUnknownClient.toString());
    QCOMPARE(rows[0][2], u"inclusão"_s);
    QCOMPARE(rows[0][4], u"00009"_s);
}

void TestHistory::historyCannotBeRewritten_data()
{
    QTest::addColumn<Provider>("provider");
    for (Provider p : testsupport::allProviders())
        QTest::addRow("%s", testsupport::providerName(p)) << p;
}

void TestHistory::historyCannotBeRewritten()
{
    QFETCH(Provider, provider);
    ProviderArchive archive(provider);
    archive.connection().execute(u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00001\",\"ATA\")"_s);
    const Rows before = rowsOf(archive.connection(), kLast);
    QCOMPARE(before.size(), 1);
    const QStringList statements{u"UPDATE historico_registro SET quem = 'ninguém'"_s,
                                 u"DELETE FROM historico_registro"_s};
    for (const QString &statement : statements) {
        // The archive's owner too: only its triggers write the history.
        QVERIFY2(failureOf([&] { archive.connection().execute(statement); }).has_value(), qPrintable(statement));
        if (provider != Provider::PostgreSQL)
            continue;
        for (QStringView group : {db::pg::roles::kConsulta, db::pg::roles::kArquivista, db::pg::roles::kAdmin}) {
            PgTestRole user(u"LOGIN IN ROLE %1"_s.arg(group));
            db::pg::PgConnection member(archive.serverDatabase()->addressAs(user.name()));
            QCOMPARE(failureOf([&] { member.exec(statement); }), std::optional(ErrorKind::NoPrivilege));
        }
    }
    QCOMPARE(rowsOf(archive.connection(), kLast), before);
}

void TestHistory::groupsMayDoWhatTheirRoleAllows_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QList<bool>>("allowed"); // per statement of groupsMayDoWhatTheirRoleAllows
    QTest::addRow("consulta") << db::pg::roles::kConsulta.toString()
                              << QList<bool>{false, false, false, false, false, false, false, false};
    QTest::addRow("arquivista") << db::pg::roles::kArquivista.toString()
                                << QList<bool>{true, true, true, true, false, false, false, false};
    QTest::addRow("admin") << db::pg::roles::kAdmin.toString()
                           << QList<bool>{true, true, true, true, true, true, true, true};
}

void TestHistory::groupsMayDoWhatTheirRoleAllows()
{
    QFETCH(QString, group);
    QFETCH(QList<bool>, allowed);
    const QStringList statements{
        u"INSERT INTO processo (cod, descricao) VALUES ('00002', 'NOVO')"_s,
        u"INSERT INTO documento (cod, processo, descricao) VALUES ('00002', '00001', 'D')"_s,
        u"UPDATE documento SET descricao = 'X' WHERE processo = '00001'"_s,
        u"INSERT INTO lauda (processo, documento, numero, imagem) VALUES ('00001', '00001', 1, '\\xffd8')"_s,
        u"DELETE FROM documento WHERE processo = '00001'"_s,
        u"DELETE FROM processo WHERE cod = '00001'"_s,
        u"INSERT INTO tipo_arq (cod, descricao) VALUES ('00002', 'ATA')"_s,
        u"UPDATE orgao SET nome = 'CÂMARA'"_s,
    };
    ProviderArchive archive(Provider::PostgreSQL);
    db::pg::PgConnection &owner = *archive.connection().server();
    owner.exec(u"INSERT INTO processo (cod, descricao) VALUES ('00001', 'P')"_s);
    owner.exec(u"INSERT INTO documento (cod, processo, descricao) VALUES ('00001', '00001', 'D')"_s);
    owner.exec(u"INSERT INTO orgao (nome) VALUES ('PREFEITURA')"_s);
    PgTestRole user(u"LOGIN IN ROLE %1"_s.arg(group));
    db::pg::PgConnection member(archive.serverDatabase()->addressAs(user.name()));
    const QString newest = u"SELECT quem FROM historico_registro ORDER BY id DESC LIMIT 1"_s;
    for (int i = 0; i < statements.size(); ++i) {
        // Each statement on the archive as it was made: tried inside a transaction undone.
        const qsizetype before = rowsOf(archive.connection(), u"SELECT * FROM historico"_s).size();
        db::pg::PgTransaction transaction(member);
        const std::optional<ErrorKind> failure = failureOf([&] { member.exec(statements[i]); });
        if (allowed[i]) {
            QVERIFY2(!failure, qPrintable(statements[i]));
            QCOMPARE(member.exec(newest).text(0, 0), user.name());
        } else {
            QVERIFY2(failure == ErrorKind::NoPrivilege, qPrintable(statements[i]));
            QCOMPARE(rowsOf(archive.connection(), u"SELECT * FROM historico"_s).size(), before);
        }
    }
}

void TestHistory::pageChangesNameThePageAndNotItsBytes()
{
    ProviderArchive archive(Provider::PostgreSQL);
    db::pg::PgConnection &server = *archive.connection().server();
    server.exec(u"INSERT INTO processo (cod) VALUES ('00007')"_s);
    server.exec(u"INSERT INTO documento (cod, processo) VALUES ('00003', '00007')"_s);
    const QByteArray jpeg(5000, 'j');
    for (int page : {1, 2})
        server.exec(u"INSERT INTO lauda (processo, documento, numero, imagem) VALUES ('00007', '00003', $1, $2)"_s,
                    {db::pg::PgParam::integer(page), db::pg::PgParam::bytes(jpeg)});
    server.exec(u"DELETE FROM lauda WHERE numero = 1"_s);
    server.exec(u"UPDATE lauda SET numero = 1 WHERE numero = 2"_s);
    server.exec(u"UPDATE lauda SET imagem = $1"_s, {db::pg::PgParam::bytes(QByteArray(10, 'k'))});
    const Rows rows = rowsOf(archive.connection(),
                             u"SELECT operacao, chave, antes, depois FROM historico_registro WHERE tabela = 'lauda' "
                             u"ORDER BY id"_s);
    QStringList operations;
    for (const QStringList &row : rows)
        operations << row[0] + u' ' + row[1];
    QCOMPARE(operations, (QStringList{u"página incluída 0000700003001"_s, u"página incluída 0000700003002"_s,
                                      u"página removida 0000700003001"_s, u"página renumerada 0000700003001"_s,
                                      u"imagem da página alterada 0000700003001"_s}));
    const QString sha = QString::fromLatin1(QCryptographicHash::hash(jpeg, QCryptographicHash::Sha256).toHex());
    QVERIFY2(rows[0][3].contains(sha) && rows[0][3].contains(u"5000"_s), qPrintable(rows[0][3]));
    QVERIFY(!rows[3][3].contains(u"sha256"_s)); // a renumbering reads no image
    for (const QStringList &row : rows)
        QVERIFY(!row[2].contains(u"jjjjjj"_s) && !row[3].contains(u"6a6a6a6a"_s));
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history_pg.moc"
