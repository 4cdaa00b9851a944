// cartulo-gen on a server: the same options and seed give the same rows and page bytes as
// on a file archive; it makes the archive's tables or fills an empty archive, refuses one
// that holds rows, and a failure part way leaves the archive as empty as it was.

#include "db/Connection.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgSchema.h"
#include "tests/support/PgTestDatabase.h"
#include "tests/support/ProviderArchive.h"

#include "tests/support/ToolRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <map>

using namespace Qt::StringLiterals;

namespace {

// Generation of the small archives takes seconds; the limit only stops a hang.
testsupport::ToolRun runGen(const QStringList &args)
{
    return testsupport::runTool(u"cartulo-gen"_s, args, {}, 240000);
}

// Small, with every kind of page: fixed sizes, a long document, 300 dpi, random ones.
QStringList planArgs()
{
    return {u"--processes"_s, u"9"_s,      u"--documents"_s, u"250"_s,        u"--types"_s,
            u"20"_s,          u"--missing-types"_s, u"2"_s,  u"--pages-docs"_s, u"3"_s,
            u"--page-dpi"_s,  u"25"_s,     u"--process-docs"_s, u"2:30"_s,    u"--pages-for"_s,
            u"2:1:12@20"_s,   u"--pages-for"_s, u"3:2:1@300"_s, u"--seed"_s,     u"11"_s,
            u"--until"_s,     u"2024-06-30"_s, u"--jobs"_s,  u"2"_s};
}

// The same statements on both engines: dates as whole day numbers, NULL shown as such.
const QStringList kTableQueries = {
    u"SELECT cod, descricao, numero, CAST(data AS bigint), num_doc FROM processo ORDER BY cod"_s,
    u"SELECT cod, descricao FROM tipo_arq ORDER BY cod"_s,
    u"SELECT processo, cod, tp_doc, descricao, ementa, palavras_chave, CAST(data AS bigint), "
    u"CAST(data_arquivamento AS bigint), n_laudas, localidade, parteleira, gaveta, pasta "
    u"FROM documento ORDER BY processo, cod"_s,
    u"SELECT nome, cnpj, endereco, bairro, cidade, uf, tel, tel1, email, url, resp1, cargo1, resp2, cargo2 "
    u"FROM orgao"_s,
};

using Rows = QList<QStringList>;
using Pages = std::map<QString, QByteArray>; // page name -> SHA-256 of its bytes

QByteArray hashOf(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

Rows fileRows(const QString &dbPath, const QString &sql)
{
    db::Connection connection;
    connection.openFile(dbPath);
    sqlite3_stmt *stmt = nullptr;
    Rows rows;
    if (sqlite3_prepare_v2(connection.handle(), sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        qFatal("%s: %s", qPrintable(sql), sqlite3_errmsg(connection.handle()));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            row << (sqlite3_column_type(stmt, c) == SQLITE_NULL
                        ? u"<null>"_s
                        : QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c))));
        rows << row;
    }
    sqlite3_finalize(stmt);
    return rows;
}

Rows serverRows(db::pg::PgConnection &server, const QString &sql)
{
    const db::pg::PgResult result = server.exec(sql);
    Rows rows;
    for (int r = 0; r < result.rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < result.columnCount(); ++c)
            row << (result.isNull(r, c) ? u"<null>"_s : result.text(r, c));
        rows << row;
    }
    return rows;
}

Pages filePages(const QString &folder)
{
    Pages pages;
    for (const QString &name : QDir(folder).entryList({u"*.jpg"_s}, QDir::Files)) {
        QFile file(folder + u'/' + name);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(file.fileName()));
        pages[name] = hashOf(file.readAll());
    }
    return pages;
}

Pages serverPages(db::pg::PgConnection &server)
{
    const db::pg::PgResult names = server.exec(u"SELECT processo, documento, numero FROM lauda"_s);
    const db::pg::PgResult images = server.exec(u"SELECT imagem FROM lauda"_s, {}, db::pg::ResultFormat::Binary);
    Pages pages;
    for (int r = 0; r < names.rowCount(); ++r)
        pages[names.text(r, 0) + names.text(r, 1) + names.text(r, 2).rightJustified(3, u'0') + u".jpg"_s] =
            hashOf(images.bytes(r, 0));
    return pages;
}

qint64 serverCount(db::pg::PgConnection &server, const QString &table)
{
    return server.exec(u"SELECT count(*) FROM %1"_s.arg(table)).text(0, 0).toLongLong();
}

} // namespace

class TestGenServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_fileDir = m_tmp.filePath(u"file"_s);
        const testsupport::ToolRun run = runGen(QStringList{m_fileDir} + planArgs());
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    }

    void sameRowsAndPagesOnTheServer()
    {
        // A database without the archive: cartulo-gen makes its tables.
        testsupport::PgTestDatabase database;
        QTemporaryDir program;
        const QString udl = program.filePath(u"cartulo.udl"_s);
        testsupport::ProviderArchive::writeServerDescription(udl, database.descriptionLine());
        const testsupport::ToolRun run = runGen(QStringList{u"--target"_s, udl} + planArgs());
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));

        db::pg::PgConnection server(database.address());
        db::pg::schema::checkIsArchive(server);
        const QString dbPath = m_fileDir + u"/dados/cartulo.db"_s;
        for (const QString &sql : kTableQueries) {
            const Rows onFile = fileRows(dbPath, sql);
            QVERIFY(!onFile.isEmpty());
            QCOMPARE(serverRows(server, sql), onFile);
        }
        const Pages onFile = filePages(m_fileDir + u"/dados/laudas"_s);
        QCOMPARE(onFile.size(), serverPages(server).size());
        QVERIFY(onFile.size() > 13);
        QVERIFY(serverPages(server) == onFile);
        // The agency's logo lies beside the description file, its path kept as text.
        const QString logo = QDir(program.path()).absoluteFilePath(u"dados/logo.jpg"_s);
        QVERIFY(QFileInfo::exists(logo));
        QCOMPARE(QString::fromUtf8(server.exec(u"SELECT logomarca FROM orgao"_s, {}, db::pg::ResultFormat::Binary)
                                       .bytes(0, 0)),
                 logo);
        // The search index was built again after the rows.
        QCOMPARE(server.exec(u"SELECT count(*) FROM pg_indexes WHERE indexname = 'documento_busca'"_s).text(0, 0),
                 u"1"_s);
    }

    void fillsAnEmptyArchiveAndRefusesAFullOne_data()
    {
        QTest::addColumn<db::Provider>("provider");
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }
    void fillsAnEmptyArchiveAndRefusesAFullOne()
    {
        QFETCH(db::Provider, provider);
        testsupport::ProviderArchive archive(provider);
        if (provider == db::Provider::SQLite)
            archive.connection().close(); // the generator relaxes the file's journal alone
        const testsupport::ToolRun first = runGen(QStringList{u"--target"_s, archive.udlPath()} + planArgs());
        QVERIFY2(first.exitCode == 0, qPrintable(first.err));
        const QString sql = kTableQueries[2];
        const Rows expected = fileRows(m_fileDir + u"/dados/cartulo.db"_s, sql);
        const Rows filled = provider == db::Provider::PostgreSQL
                                ? serverRows(*archive.connection().server(), sql)
                                : fileRows(archive.programDir() + u"/dados/cartulo.db"_s, sql);
        QCOMPARE(filled, expected);
        if (provider == db::Provider::SQLite)
            QVERIFY(filePages(archive.programDir() + u"/dados/laudas"_s) == filePages(m_fileDir + u"/dados/laudas"_s));

        const testsupport::ToolRun second = runGen(QStringList{u"--target"_s, archive.udlPath()} + planArgs()
                                  << u"--seed"_s << u"12"_s);
        QCOMPARE(second.exitCode, 1);
        QVERIFY2(second.err.contains(u"already holds rows"_s), qPrintable(second.err));
        const Rows after = provider == db::Provider::PostgreSQL
                               ? serverRows(*archive.connection().server(), sql)
                               : fileRows(archive.programDir() + u"/dados/cartulo.db"_s, sql);
        QCOMPARE(after, expected);
    }

    void failureLeavesTheServerArchiveEmpty()
    {
        testsupport::ProviderArchive archive(db::Provider::PostgreSQL);
        db::pg::PgConnection &server = *archive.connection().server();
        // This page table takes numbers up to 3 only: the fourth page is refused, at the end.
        server.exec(u"ALTER TABLE lauda ADD CONSTRAINT \"lauda.numero: até 3 neste teste\" CHECK (numero <= 3)"_s);
        const testsupport::ToolRun run = runGen({u"--target"_s, archive.udlPath(), u"--processes"_s, u"2"_s, u"--documents"_s,
                                u"5"_s, u"--types"_s, u"3"_s, u"--pages-docs"_s, u"0"_s, u"--pages-for"_s,
                                u"1:1:4@20"_s, u"--jobs"_s, u"2"_s});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(u"numero"_s), qPrintable(run.err));
        for (const QString &table : {u"orgao"_s, u"tipo_arq"_s, u"processo"_s, u"documento"_s, u"lauda"_s})
            QCOMPARE(serverCount(server, table), 0);
        // The indexes set aside while loading are back.
        QCOMPARE(server.exec(u"SELECT count(*) FROM pg_indexes WHERE indexname = 'documento_busca'"_s).text(0, 0),
                 u"1"_s);
    }

private:
    QTemporaryDir m_tmp;
    QString m_fileDir;
};

QTEST_GUILESS_MAIN(TestGenServer)
#include "tst_gen_pg.moc"
