// The archive's tables: column order, keys, sizes and types enforced with the engine's
// message, nothing written by a failed statement, documents going with their process.
#include "ArchiveFixture.h"

#include "db/DbError.h"
#include "db/Schema.h"

#include <QFile>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(db::ErrorKind)

class TestSchema : public QObject {
    Q_OBJECT

private slots:
    void columnOrder_data();
    void columnOrder();
    void refusedStatements_data();
    void refusedStatements();
    void limitsCountCharactersNotBytes_data() { providers(); }
    void limitsCountCharactersNotBytes();
    void deletingAProcessKeepsOtherProcessesDocuments_data() { providers(); }
    void deletingAProcessKeepsOtherProcessesDocuments();
    void documentsOfTwoProcessesShareCodes_data() { providers(); }
    void documentsOfTwoProcessesShareCodes();
    // A file archive's key gives the order; a server gives none without ORDER BY, and the
    // document screen asks for it there.
    void documentsComeBackInCodeOrder_data()
    {
        fixture::addProviderColumn();
        QTest::newRow(testsupport::providerName(db::Provider::SQLite)) << db::Provider::SQLite;
    }
    void documentsComeBackInCodeOrder();
    void formatVersionAndJournal();
    void createArchiveNeverReplacesAFile();

private:
    static void providers()
    {
        fixture::addProviderColumn();
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }
    static QStringList dump(fixture::Archive &archive);
};

QStringList TestSchema::dump(fixture::Archive &archive)
{
    QStringList all;
    for (const QString &table : db::schema::tableNames())
        all += archive.rows(u"select * from %1 order by 1, 2"_s.arg(table));
    return all;
}

void TestSchema::columnOrder_data()
{
    fixture::addProviderColumn();
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("columns");
    for (const db::Provider provider : testsupport::allProviders()) {
    QTest::newRow(fixture::caseName("orgao", provider)) << provider << u"orgao"_s
                           << QStringList{u"nome"_s, u"cnpj"_s, u"endereco"_s, u"bairro"_s, u"cidade"_s,
                                          u"uf"_s, u"tel"_s, u"tel1"_s, u"email"_s, u"url"_s, u"resp1"_s,
                                          u"cargo1"_s, u"resp2"_s, u"cargo2"_s, u"logomarca"_s};
    QTest::newRow(fixture::caseName("processo", provider)) << provider << u"processo"_s
                              << QStringList{u"cod"_s, u"descricao"_s, u"numero"_s, u"data"_s, u"num_doc"_s};
    QTest::newRow(fixture::caseName("tipo_arq", provider)) << provider << u"tipo_arq"_s << QStringList{u"cod"_s, u"descricao"_s};
    }
}

void TestSchema::columnOrder()
{
    QFETCH(QString, table);
    QFETCH(QStringList, columns);
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    QCOMPARE(archive.rows(u"select * from "_s + table).value(0), columns.join(u'\t'));
}

void TestSchema::refusedStatements_data()
{
    fixture::addProviderColumn();
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("message"); // the file engine's words
    QTest::addColumn<db::ErrorKind>("kind"); // the same on both engines

    for (const db::Provider provider : testsupport::allProviders()) {
        const QString long51 = QString(51, u'x');
        QTest::newRow(fixture::caseName("51-character process description", provider)) << provider
            << u"UPDATE processo SET descricao=\"%1\" Where cod=\"00001\""_s.arg(long51)
            << u"CHECK constraint failed: processo.descricao: no máximo 50 caracteres"_s
            << db::ErrorKind::TooLong;
        QTest::newRow(fixture::caseName("6-character code", provider)) << provider
            << u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"000001\",\"X\")"_s
            << u"CHECK constraint failed: tipo_arq.cod: no máximo 5 caracteres"_s
            << db::ErrorKind::TooLong;
        // Page files join the two codes: "1" + "00011" and "10001" + "1" would be one file.
        QTest::newRow(fixture::caseName("four-digit process code", provider)) << provider
            << u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"0003\",\"x\",\"1\",NULL,0)"_s
            << u"CHECK constraint failed: processo.cod: código de cinco algarismos"_s
            << db::ErrorKind::CheckViolation;
        QTest::newRow(fixture::caseName("process code renamed to one digit", provider)) << provider
            << u"UPDATE processo SET cod=\"1\" Where cod=\"00002\""_s
            << u"CHECK constraint failed: processo.cod: código de cinco algarismos"_s
            << db::ErrorKind::CheckViolation;
        QTest::newRow(fixture::caseName("process code with a letter", provider)) << provider
            << u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"0000A\",\"x\",\"1\",NULL,0)"_s
            << u"CHECK constraint failed: processo.cod: código de cinco algarismos"_s
            << db::ErrorKind::CheckViolation;
        QTest::newRow(fixture::caseName("one-digit document code", provider)) << provider
            << u"Insert Into documento (cod,processo,tp_doc) VALUES (\"1\",\"00001\",\"00001\")"_s
            << u"CHECK constraint failed: documento.cod: código de cinco algarismos"_s
            << db::ErrorKind::CheckViolation;
        QTest::newRow(fixture::caseName("document of a four-digit process", provider)) << provider
            << u"Insert Into documento (cod,processo,tp_doc) VALUES (\"00003\",\"0001\",\"00001\")"_s
            << u"CHECK constraint failed: documento.processo: código de cinco algarismos"_s
            << db::ErrorKind::CheckViolation;
        QTest::newRow(fixture::caseName("document code with spaces", provider)) << provider
            << u"UPDATE documento SET cod=\" 0001\" Where cod=\"00002\" and processo=\"00001\""_s
            << u"CHECK constraint failed: documento.cod: código de cinco algarismos"_s
            << db::ErrorKind::CheckViolation;
        QTest::newRow(fixture::caseName("non-number in num_doc", provider)) << provider
            << u"UPDATE processo SET num_doc=\"abc\" Where cod=\"00001\""_s
            << u"CHECK constraint failed: processo.num_doc: número inteiro de -32768 a 32767"_s
            << db::ErrorKind::NotANumber;
        QTest::newRow(fixture::caseName("num_doc beyond 16 bits", provider)) << provider
            << u"UPDATE processo SET num_doc=\"40000\" Where cod=\"00001\""_s
            << u"CHECK constraint failed: processo.num_doc: número inteiro de -32768 a 32767"_s
            << (provider == db::Provider::SQLite ? db::ErrorKind::NotANumber : db::ErrorKind::OutOfRange);
        QTest::newRow(fixture::caseName("page count with a comma splits the values", provider)) << provider
            << u"Insert Into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta) VALUES (\"00003\",\"00001\",\"00002\",\"X\",\"\",\"\",NULL,NULL,4,5,\"A\",\"A1\",\"2\",\"15\")"_s
            << u"14 values for 13 columns"_s
            << db::ErrorKind::Other;
        QTest::newRow(fixture::caseName("non-number in n_laudas", provider)) << provider
            << u"UPDATE documento SET n_laudas=\"quatro\" Where cod=\"00001\" and processo=\"00001\""_s
            << u"CHECK constraint failed: documento.n_laudas: número inteiro"_s
            << db::ErrorKind::NotANumber;
        QTest::newRow(fixture::caseName("text in a date column", provider)) << provider
            << u"UPDATE processo SET data=descricao Where cod=\"00001\""_s
            << u"CHECK constraint failed: processo.data: data inválida (use dd/mm/aa)"_s
            << db::ErrorKind::NotANumber;
        QTest::newRow(fixture::caseName("duplicate process", provider)) << provider
            << u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"00001\",\"x\",\"1\",NULL,0)"_s
            << u"UNIQUE constraint failed: processo.cod"_s
            << db::ErrorKind::DuplicateKey;
        QTest::newRow(fixture::caseName("duplicate type", provider)) << provider
            << u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00002\",\"OFICIO\")"_s
            << u"UNIQUE constraint failed: tipo_arq.cod"_s
            << db::ErrorKind::DuplicateKey;
        QTest::newRow(fixture::caseName("duplicate document of a process", provider)) << provider
            << u"Insert Into documento (cod,processo,tp_doc) VALUES (\"00001\",\"00001\",\"00001\")"_s
            << u"UNIQUE constraint failed: documento.processo, documento.cod"_s
            << db::ErrorKind::DuplicateKey;
        QTest::newRow(fixture::caseName("second row of an insert fails", provider)) << provider
            << u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00004\",\"A\"),(\"00001\",\"B\")"_s
            << u"UNIQUE constraint failed: tipo_arq.cod"_s
            << db::ErrorKind::DuplicateKey;
        QTest::newRow(fixture::caseName("unknown table", provider)) << provider << u"Delete From processos Where cod=\"00001\""_s << u"no such table: processos"_s
            << db::ErrorKind::Other;
        QTest::newRow(fixture::caseName("unterminated literal", provider)) << provider
            << u"UPDATE processo SET descricao=\"Obra Where cod=\"00001\""_s << u"near \"00001\": syntax error"_s
            << db::ErrorKind::Other;
        QTest::newRow(fixture::caseName("literal left open at the end", provider)) << provider
            << u"UPDATE processo SET descricao=\"Obra"_s << u"unrecognized token: \"\"Obra\""_s
            << db::ErrorKind::Other;
        QTest::newRow(fixture::caseName("update without assignments", provider)) << provider
            << u"UPDATE processo  Where cod=\"00001\""_s << u"near \"Where\": syntax error"_s
            << db::ErrorKind::Other;
        QTest::newRow(fixture::caseName("two statements in one", provider)) << provider
            << u"Delete From tipo_arq Where cod=\"00001\"; Delete From processo"_s
            << u"Só uma instrução SQL por vez: \"Delete From processo\""_s
            << db::ErrorKind::Other;
    }
}

void TestSchema::refusedStatements()
{
    QFETCH(QString, statement);
    QFETCH(QString, message);
    QFETCH(db::ErrorKind, kind);
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    const QStringList before = dump(archive);
    try {
        archive.connection.execute(statement);
        QFAIL("the statement was accepted");
    } catch (const db::DbError &error) {
        if (provider == db::Provider::SQLite)
            QCOMPARE(error.message(), message);
        QCOMPARE(error.kind(), kind);
    }
    QCOMPARE(dump(archive), before);
}

void TestSchema::limitsCountCharactersNotBytes()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    const QString fifty = QString(50, QChar(u'Ç'));
    archive.connection.execute(u"UPDATE processo SET descricao=\"%1\" Where cod=\"00001\""_s.arg(fifty));
    QCOMPARE(archive.value(u"select descricao from processo where cod='00001'"_s), fifty);
}

void TestSchema::deletingAProcessKeepsOtherProcessesDocuments()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.connection.execute(u"insert into processo (cod) values ('00001'), ('00002')"_s);
    archive.connection.execute(u"insert into documento (cod, processo) values ('00001', '00001'), ('00001', '00002'), ('00002', '00002')"_s);
    archive.connection.execute(u"Delete From processo Where cod=\"00002\""_s);
    QCOMPARE(archive.rows(u"select processo, cod from documento"_s),
             (QStringList{u"processo\tcod"_s, u"00001\t00001"_s}));
    QCOMPARE(archive.rows(u"select cod from processo"_s), (QStringList{u"cod"_s, u"00001"_s}));
}

void TestSchema::documentsOfTwoProcessesShareCodes()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.connection.execute(u"insert into processo (cod) values ('00001'), ('00002')"_s);
    archive.connection.execute(u"insert into documento (cod, processo, descricao) values ('00001', '00001', 'A'), ('00001', '00002', 'B')"_s);
    archive.connection.execute(u"UPDATE documento SET descricao=\"C\" Where cod=\"00001\" and processo=\"00002\" "_s);
    QCOMPARE(archive.connection.changes(), 1);
    QCOMPARE(archive.rows(u"select processo, descricao from documento order by processo"_s),
             (QStringList{u"processo\tdescricao"_s, u"00001\tA"_s, u"00002\tC"_s}));
}

void TestSchema::documentsComeBackInCodeOrder()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.connection.execute(u"insert into processo (cod) values ('00007'), ('00001')"_s);
    for (const QString &code : {u"00003"_s, u"00001"_s, u"00010"_s, u"00002"_s})
        archive.connection.execute(u"insert into documento (cod, processo, tp_doc, data) values ('%1', '00007', '0000%2', %3)"_s
                                       .arg(code, code.right(1), QString::number(40000 - code.toInt())));
    archive.connection.execute(u"insert into documento (cod, processo) values ('00005', '00001')"_s);
    QCOMPARE(archive.rows(u"Select cod\nFrom documento\nWhere processo=\"00007\""_s),
             (QStringList{u"cod"_s, u"00001"_s, u"00002"_s, u"00003"_s, u"00010"_s}));
}

void TestSchema::formatVersionAndJournal()
{
    fixture::Archive archive;
    QCOMPARE(archive.value(u"pragma user_version"_s), QString::number(db::schema::kFormatVersion));
    QCOMPARE(archive.value(u"pragma journal_mode"_s), u"wal"_s);
}

void TestSchema::createArchiveNeverReplacesAFile()
{
    fixture::Archive archive;
    archive.fill();
    archive.connection.close();
    QFile file(archive.path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    QVERIFY_THROWS_EXCEPTION(db::DbError, db::Connection::createArchive(archive.path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    archive.connection.openFile(archive.path);
    QCOMPARE(archive.value(u"select count(*) as n from documento"_s), u"3"_s);
}

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
