// cartulo-copy between a file archive and a server one, run as a person runs it: there and
// back with every row and page compared byte for byte, targets it must refuse, targets it
// must accept, and sources it cannot copy whole.
#include "tests/support/TestPaths.h"
#include "db/Description.h"
#include "db/History.h"
#include "db/pg/PgConnection.h"
#include "tests/support/PgTestDatabase.h"
#include "tests/support/ToolRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;
using testsupport::PgTestDatabase;
using testsupport::runTool;

namespace {

const QStringList kTables = {u"orgao"_s, u"tipo_arq"_s, u"processo"_s, u"documento"_s};

void writeUdl(const QString &udl, const QString &line)
{
    QFile file(udl);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        qFatal("cannot write %s", qPrintable(udl));
    file.write("[oledb]\n; Everything after this line is an OLE DB initstring\n" + line.toUtf8() + '\n');
}

/// One end of a copy: a program folder with its cartulo.udl naming a file (not made yet)
/// or a database of its own on the test server (without the archive's tables yet).
class End {
public:
    explicit End(bool server) : m_server(server)
    {
        if (server) {
            m_database = std::make_unique<PgTestDatabase>();
            writeUdl(udl(), m_database->descriptionLine());
        } else {
            QDir(m_dir.path()).mkpath(u"dados"_s);
            db::writeDescriptionFile(udl(), databasePath());
        }
    }
    bool isServer() const { return m_server; }
    QString udl() const { return m_dir.filePath(u"cartulo.udl"_s); }
    QString databasePath() const { return m_dir.filePath(u"dados/cartulo.db"_s); }
    QString pagesFolder() const { return m_dir.filePath(u"dados/laudas/"_s); }
    QString dadosFolder() const { return m_dir.filePath(u"dados"_s); }
    db::pg::PgConnection server() const { return db::pg::PgConnection(m_database->address()); }
    QString role() const { return m_database->address().role; }

    /// The empty archive as cartulo-mkdb makes it.
    void make() const
    {
        const testsupport::ToolRun made = runTool(u"cartulo-mkdb"_s, {udl()});
        if (made.exitCode != 0)
            qFatal("cartulo-mkdb failed: %s", qPrintable(made.err));
    }

private:
    bool m_server;
    QTemporaryDir m_dir;
    std::unique_ptr<PgTestDatabase> m_database;
};

struct Database {
    explicit Database(const QString &path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
        sqlite3_busy_timeout(handle, 5000);
    }
    ~Database() { sqlite3_close_v2(handle); }
    void exec(const QString &sql) const
    {
        char *error = nullptr;
        if (sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK)
            qFatal("%s: %s", qPrintable(sql), error);
    }
    sqlite3 *handle = nullptr;
};

/// Every row of every table, each value with the kind SQLite stores it as and its exact
/// bytes (a real to the last bit), sorted: two archives with the same rows give the same.
QMap<QString, QStringList> rowsOf(const QString &databasePath)
{
    const Database database(databasePath);
    QMap<QString, QStringList> tables;
    for (const QString &table : kTables) {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(database.handle, u"SELECT * FROM %1"_s.arg(table).toUtf8().constData(), -1, &statement,
                           nullptr);
        QStringList rows;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QStringList cells;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                switch (sqlite3_column_type(statement, i)) {
                case SQLITE_NULL: cells << u"null"_s; break;
                case SQLITE_INTEGER: cells << u"int:"_s + QString::number(sqlite3_column_int64(statement, i)); break;
                case SQLITE_FLOAT: cells << u"real:"_s + QString::number(sqlite3_column_double(statement, i), 'g', 17); break;
                case SQLITE_TEXT:
                case SQLITE_BLOB: {
                    const QByteArray bytes(static_cast<const char *>(sqlite3_column_blob(statement, i)),
                                           sqlite3_column_bytes(statement, i));
                    cells << (sqlite3_column_type(statement, i) == SQLITE_TEXT ? u"text:"_s : u"blob:"_s)
                            + QString::fromLatin1(bytes.toHex());
                    break;
                }
                }
            }
            rows << cells.join(u'|');
        }
        sqlite3_finalize(statement);
        rows.sort();
        tables.insert(table, rows);
    }
    return tables;
}

/// Every file under a page folder (relative name -> bytes).
QMap<QString, QByteArray> filesOf(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        files.insert(QDir(folder).relativeFilePath(path), file.open(QIODevice::ReadOnly) ? file.readAll() : "?");
    }
    return files;
}

/// The pages rows of a server archive in the names a page folder gives them.
QMap<QString, QByteArray> pagesOnServer(db::pg::PgConnection server)
{
    QMap<QString, QByteArray> pages;
    const auto read = [&](const QString &sql) {
        const db::pg::PgResult rows = server.exec(sql, {}, db::pg::ResultFormat::Binary);
        for (int row = 0; row < rows.rowCount(); ++row)
            pages.insert(QString::fromUtf8(rows.bytes(row, 0).toByteArray()), rows.bytes(row, 1).toByteArray());
    };
    read(u"SELECT processo || documento || lpad(numero::text, 3, '0') || '.jpg', imagem FROM lauda"_s);
    read(u"SELECT 'excluidas/' || processo || documento || lpad(numero::text, 3, '0') || CASE WHEN n > 1 THEN '_' "
         u"|| n ELSE '' END || '.jpg', imagem FROM (SELECT *, row_number() OVER (PARTITION BY processo, documento, "
         u"numero ORDER BY id) AS n FROM lauda_excluida) AS a"_s);
    return pages;
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

/// A file archive with rows that test every conversion (texts with tabs, new lines,
/// backslashes and accents, empty texts and blobs, NULLs, whole and fractional day
/// numbers, big numbers) and pages of every kind, one past the size COPY sends at once.
void fillSource(const End &source)
{
    source.make();
    const Database database(source.databasePath());
    database.exec(u"INSERT INTO orgao (nome, cnpj, uf, logomarca) VALUES "
                  u"('Câmara Municipal de São João', '12345678000190', 'SP', x'00FF5C090A0D'), "
                  u"('Segundo órgão', NULL, '', x'');"
                  u"INSERT INTO tipo_arq VALUES ('00001', 'Ofício'), ('00002', 'Lei \\ decreto');"
                  u"INSERT INTO processo VALUES ('00007', 'Licitação 01/2024', '123', 45292, 3), "
                  u"('00008', '', NULL, 45292.5, -32768), ('00009', NULL, NULL, NULL, NULL);"
                  u"INSERT INTO documento VALUES ('00001', '00007', '00001', 'Ata', "
                  u"'linha 1' || char(10) || 'linha 2' || char(9) || 'tab \\ barra', 'AÇÃO; ação', 45292, "
                  u"0.25, 2147483647, 'Sala 3', 'P1', 'G2', 'A'), "
                  u"('00002', '00007', NULL, '', '', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
                  u"('00001', '00008', '00002', 'Outro', 'ementa', 'x', -1.5, 1e-300, 0, '', '', '', '')"_s);
    const QString pages = source.pagesFolder();
    writeFile(pages + u"0000700001001.jpg"_s, randomBytes(20000));
    writeFile(pages + u"0000700001002.jpg"_s, randomBytes(700000));
    writeFile(pages + u"0000700001003.jpg"_s, randomBytes(1));
    writeFile(pages + u"0000800001001.jpg"_s, randomBytes(600000));
    writeFile(pages + u"0000900099999.jpg"_s, QByteArray("\\\t\n\r\\N"));
    writeFile(pages + u"excluidas/0000700003001.jpg"_s, randomBytes(3000));
    writeFile(pages + u"excluidas/0000700003001_2.jpg"_s, randomBytes(4000));
    writeFile(pages + u"excluidas/0000700003001_3.jpg"_s, randomBytes(5000));
    writeFile(pages + u"excluidas/0000700003002.jpg"_s, randomBytes(6000));
}

/// A small file archive: one process, one document, one page, one page moved aside.
void fillSmallSource(const End &source)
{
    source.make();
    const Database database(source.databasePath());
    database.exec(u"INSERT INTO processo (cod) VALUES ('00001');"
                  u"INSERT INTO documento (cod, processo) VALUES ('00001', '00001')"_s);
    writeFile(source.pagesFolder() + u"0000100001001.jpg"_s, randomBytes(1000));
    writeFile(source.pagesFolder() + u"excluidas/0000100002001.jpg"_s, randomBytes(1000));
}

/// The history rows of one table as "who | workstation | operation key".
QStringList historyOf(const End &end, const QString &table)
{
    const QString sql = u"SELECT quem, estacao, operacao, chave FROM historico WHERE tabela = '%1'"_s.arg(table);
    QStringList rows;
    const auto add = [&](const QString &who, const QString &station, const QString &operation, const QString &key) {
        rows << who + u" | "_s + station + u" | "_s + operation + u' ' + key;
    };
    if (end.isServer()) {
        const db::pg::PgResult result = end.server().exec(sql);
        for (int r = 0; r < result.rowCount(); ++r)
            add(result.text(r, 0), result.text(r, 1), result.text(r, 2), result.text(r, 3));
        return rows;
    }
    const Database database(end.databasePath());
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(database.handle, sql.toUtf8().constData(), -1, &statement, nullptr);
    const auto text = [&](int c) { return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, c))); };
    while (sqlite3_step(statement) == SQLITE_ROW)
        add(text(0), text(1), text(2), text(3));
    sqlite3_finalize(statement);
    return rows;
}

qint64 serverCount(const End &end, const QString &table)
{
    return end.server().exec(u"SELECT count(*) FROM %1"_s.arg(table)).text(0, 0).toLongLong();
}

bool hasServerTables(const End &end)
{
    return !end.server().exec(u"SELECT to_regclass('processo')"_s).isNull(0, 0);
}

/// What a target holds, to show it did not change: rows and pages of either kind, and
/// every file beside a file archive.
QString stateOf(const End &end)
{
    if (end.isServer()) {
        if (!hasServerTables(end))
            return u"no tables"_s;
        QStringList counts;
        for (const QString &table : kTables + QStringList{u"lauda"_s, u"lauda_excluida"_s})
            counts << table + u'=' + QString::number(serverCount(end, table));
        return counts.join(u' ');
    }
    QStringList state;
    QDirIterator it(end.dadosFolder(), QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        state << it.next();
    state.sort();
    const QMap<QString, QByteArray> pages = filesOf(end.pagesFolder());
    for (auto page = pages.begin(); page != pages.end(); ++page)
        state << page.key() + u':' + QString::fromLatin1(QCryptographicHash::hash(page.value(), QCryptographicHash::Sha256).toHex());
    if (QFile::exists(end.databasePath())) {
        QFile file(end.databasePath());
        file.open(QIODevice::ReadOnly);
        state << QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
        const auto rows = rowsOf(end.databasePath());
        for (auto table = rows.begin(); table != rows.end(); ++table)
            state << table.key() + u'=' + table.value().join(u';');
    }
    return state.join(u'\n');
}

} // namespace

class TestCopyPg : public QObject {
    Q_OBJECT

private slots:
    void thereAndBack();
    void acceptsNewOrEmptyTarget_data();
    void acceptsNewOrEmptyTarget();
    void refusesTargetHoldingAnything_data();
    void refusesTargetHoldingAnything();
    void refusesTargetFileThatIsNoArchive();
    void unreadableSourcePageFailsTheCopy_data();
    void unreadableSourcePageFailsTheCopy();
    void sourcePageChangingDuringTheCopyFailsVerification_data();
    void sourcePageChangingDuringTheCopyFailsVerification();
    void interruptedCopyLeavesTargetAsItWas_data();
    void interruptedCopyLeavesTargetAsItWas();
    void refusesCopyOntoItself();
    void documentsWithoutProcess_data();
    void documentsWithoutProcess();
};

void TestCopyPg::thereAndBack()
{
    const End original(false);
    fillSource(original);
    writeFile(original.pagesFolder() + u"leia-me.txt"_s, "not a page");

    const End server(true);
    const testsupport::ToolRun out = runTool(u"cartulo-copy"_s, {original.udl(), server.udl()});
    QVERIFY2(out.exitCode == 0, qPrintable(out.err));
    QVERIFY2(out.out.startsWith(u"Cópia verificada: orgao: 2, processo: 3, tipo_arq: 2, documento: 3, laudas: 5, "
                                u"laudas excluídas: 4"_s),
             qPrintable(out.out));
    QVERIFY2(out.err.contains(u"Copiando documento (registros): 100% (3 de 3)"_s), qPrintable(out.err));
    QVERIFY2(out.err.contains(u"Verificando laudas: 100% (5 de 5)"_s), qPrintable(out.err));
    // What stays behind is told, not silently dropped.
    QVERIFY2(out.err.contains(u"Aviso: 1 arquivo(s) em"_s) && out.err.contains(u"leia-me.txt"_s), qPrintable(out.err));
    QFile::remove(original.pagesFolder() + u"leia-me.txt"_s);

    QMap<QString, QByteArray> expectedPages = filesOf(original.pagesFolder());
    QCOMPARE(pagesOnServer(server.server()), expectedPages);
    // The copies of one page moved aside keep their order.
    const db::pg::PgResult aside = server.server().exec(
        u"SELECT count(*) FROM lauda_excluida WHERE numero = 1 AND documento = '00003'"_s);
    QCOMPARE(aside.text(0, 0), u"3"_s);

    // Server to server, then home to a new file.
    const End otherServer(true);
    const testsupport::ToolRun across = runTool(u"cartulo-copy"_s, {server.udl(), otherServer.udl()});
    QVERIFY2(across.exitCode == 0, qPrintable(across.err));
    QCOMPARE(pagesOnServer(otherServer.server()), expectedPages);
    const End back(false);
    const testsupport::ToolRun home = runTool(u"cartulo-copy"_s, {otherServer.udl(), back.udl()});
    QVERIFY2(home.exitCode == 0, qPrintable(home.err));
    QCOMPARE(rowsOf(back.databasePath()), rowsOf(original.databasePath()));
    QCOMPARE(filesOf(back.pagesFolder()), expectedPages);
    // Nothing but the archive is left in its folder, and it opens as one.
    QCOMPARE(QDir(back.dadosFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{u"cartulo.db"_s});
    const testsupport::ToolRun search = runTool(
        u"cartulo-sql"_s, {back.udl(), u"select cod from documento where palavras_chave like \"%AÇÃO%\""_s});
    QVERIFY2(search.exitCode == 0 && search.out.contains(u"00001"_s), qPrintable(search.out + search.err));
}

void TestCopyPg::acceptsNewOrEmptyTarget_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<bool>("made");
    QTest::newRow("new file") << false << false;
    QTest::newRow("file made by cartulo-mkdb") << false << true;
    QTest::newRow("database without tables") << true << false;
    QTest::newRow("database made by cartulo-mkdb") << true << true;
}

void TestCopyPg::acceptsNewOrEmptyTarget()
{
    QFETCH(bool, server);
    QFETCH(bool, made);
    const End source(false);
    fillSmallSource(source);
    const End target(server);
    if (made)
        target.make();

    const testsupport::ToolRun out = runTool(u"cartulo-copy"_s, {source.udl(), target.udl()});
    QVERIFY2(out.exitCode == 0, qPrintable(out.err));
    QVERIFY2(out.out.contains(u"documento: 1, laudas: 1, laudas excluídas: 1"_s), qPrintable(out.out));
    if (server) {
        QCOMPARE(serverCount(target, u"documento"_s), 1);
        QCOMPARE(pagesOnServer(target.server()), filesOf(source.pagesFolder()));
    } else {
        QCOMPARE(rowsOf(target.databasePath()), rowsOf(source.databasePath()));
        QCOMPARE(filesOf(target.pagesFolder()), filesOf(source.pagesFolder()));
    }
    // The copy's rows are in the target's history under who copied them, from where, as the
    // program's own changes are (a server hears of the workstation from the connection).
    const QString who = server ? target.role() : db::history::osUser();
    const QString station = (server ? u"Cartulo "_s : QString()) + QSysInfo::machineHostName();
    QCOMPARE(historyOf(target, u"documento"_s),
             QStringList{who + u" | "_s + station + u" | inclusão 0000100001"_s});
}

void TestCopyPg::refusesTargetHoldingAnything_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("holding");
    for (const bool server : {false, true}) {
        const char *kind = server ? "server" : "file";
        QTest::addRow("%s: a process", kind) << server << u"processo"_s;
        QTest::addRow("%s: an organ", kind) << server << u"orgao"_s;
        QTest::addRow("%s: a page", kind) << server << u"lauda"_s;
        QTest::addRow("%s: a page moved aside", kind) << server << u"lauda_excluida"_s;
    }
}

void TestCopyPg::refusesTargetHoldingAnything()
{
    QFETCH(bool, server);
    QFETCH(QString, holding);
    const End source(false);
    fillSmallSource(source);
    const End target(server);
    target.make();
    const QByteArray page = randomBytes(100);
    if (server) {
        const QString row = holding == u"processo"_s ? u"INSERT INTO processo (cod) VALUES ('00005')"_s
            : holding == u"orgao"_s                 ? u"INSERT INTO orgao (nome) VALUES ('X')"_s
                                                     : u"INSERT INTO %1 (processo, documento, numero, imagem) "
                                                       u"VALUES ('00005', '00001', 1, $1)"_s.arg(holding);
        target.server().exec(row, row.contains(u"$1"_s) ? QList{db::pg::PgParam::bytes(page)} : QList<db::pg::PgParam>{});
    } else if (holding == u"processo"_s || holding == u"orgao"_s) {
        Database(target.databasePath()).exec(holding == u"processo"_s ? u"INSERT INTO processo (cod) VALUES ('00005')"_s
                                                                       : u"INSERT INTO orgao (nome) VALUES ('X')"_s);
    } else {
        writeFile(target.pagesFolder() + (holding == u"lauda"_s ? u""_s : u"excluidas/"_s) + u"0000500001001.jpg"_s,
                  page);
    }
    const QString before = stateOf(target);

    const testsupport::ToolRun out = runTool(u"cartulo-copy"_s, {source.udl(), target.udl()});
    QCOMPARE(out.exitCode, 1);
    QVERIFY2(out.err.contains(u"não está vazio"_s) && out.err.contains(u"nada foi copiado"_s), qPrintable(out.err));
    QVERIFY2(!out.out.contains(u"Cópia verificada"_s), qPrintable(out.out));
    QCOMPARE(stateOf(target), before);
}

void TestCopyPg::refusesTargetFileThatIsNoArchive()
{
    const End source(false);
    fillSmallSource(source);
    const End target(false);
    writeFile(target.databasePath(), "notas da reunião, não um arquivo do Cartulo");
    const QString before = stateOf(target);

    const testsupport::ToolRun out = runTool(u"cartulo-copy"_s, {source.udl(), target.udl()});
    QCOMPARE(out.exitCode, 1);
    QVERIFY2(out.err.contains(u"A cópia falhou"_s), qPrintable(out.err));
    QCOMPARE(stateOf(target), before);
}

void TestCopyPg::unreadableSourcePageFailsTheCopy_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("page");
    for (const bool server : {false, true}) {
        const char *kind = server ? "server" : "file";
        QTest::addRow("%s: a page whose file is gone", kind) << server << u"0000100001002.jpg"_s;
        QTest::addRow("%s: a page moved aside whose file is gone", kind) << server << u"excluidas/0000100002001_2.jpg"_s;
    }
}

// A page the source lists but cannot give (a link to a file that is gone) ends the copy as
// a failure, and the target is left as it was: no file, no rows, no page.
void TestCopyPg::unreadableSourcePageFailsTheCopy()
{
    QFETCH(bool, server);
    QFETCH(QString, page);
    const End source(false);
    fillSmallSource(source);
    QVERIFY(QFile::link(source.pagesFolder() + u"nao-existe.jpg"_s, source.pagesFolder() + page));
    const End target(server);
    if (server)
        target.make();
    const QString before = stateOf(target);

    const testsupport::ToolRun out = runTool(u"cartulo-copy"_s, {source.udl(), target.udl()});
    QCOMPARE(out.exitCode, 1);
    QVERIFY2(out.err.contains(QFileInfo(page).fileName()) && out.err.contains(u"A cópia falhou"_s), qPrintable(out.err));
    QVERIFY2(!out.out.contains(u"Cópia verificada"_s), qPrintable(out.out));
    QCOMPARE(stateOf(target), before);
}

void TestCopyPg::sourcePageChangingDuringTheCopyFailsVerification_data()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("file") << false;
    QTest::newRow("server") << true;
}

// The source's page is a pipe fed by this test: the copy reads one content, the
// verification another, as when a page changes on disk while the copy runs. The copy must
// not be reported good, and the target keeps nothing of it.
void TestCopyPg::sourcePageChangingDuringTheCopyFailsVerification()
{
    QFETCH(bool, server);
    const End source(false);
    fillSmallSource(source);
    const QString page = source.pagesFolder() + u"0000100001002.jpg"_s;
    QCOMPARE(::mkfifo(QFile::encodeName(page).constData(), 0600), 0);
    const End target(server);
    if (server)
        target.make();
    const QString before = stateOf(target);

    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        const QByteArray contents[] = {"first reading", "second reading"};
        int opened = 0;
        while (!stop) {
            // Opens only while the copy has the pipe open for reading.
            const int fd = ::open(QFile::encodeName(page).constData(), O_WRONLY | O_NONBLOCK);
            if (fd < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            const QByteArray &content = contents[std::min(opened++, 1)];
            [[maybe_unused]] const ssize_t written = ::write(fd, content.constData(), size_t(content.size()));
            ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the reader sees the end and closes
        }
    });
    const testsupport::ToolRun out = runTool(u"cartulo-copy"_s, {source.udl(), target.udl()});
    stop = true;
    feeder.join();

    QCOMPARE(out.exitCode, 1);
    QVERIFY2(out.err.contains(u"A verificação falhou: a lauda 0000100001002.jpg difere"_s), qPrintable(out.err));
    QVERIFY2(!out.out.contains(u"Cópia verificada"_s), qPrintable(out.out));
    QCOMPARE(stateOf(target), before);
}

void TestCopyPg::interruptedCopyLeavesTargetAsItWas_data()
{
    sourcePageChangingDuringTheCopyFailsVerification_data();
}

// Ctrl+C while a page is being read (the page is a pipe this test holds open): the copy
// stops there as a failure and takes back the rows and pages it wrote.
void TestCopyPg::interruptedCopyLeavesTargetAsItWas()
{
    QFETCH(bool, server);
    const End source(false);
    fillSmallSource(source);
    const QString page = source.pagesFolder() + u"0000100001002.jpg"_s;
    QCOMPARE(::mkfifo(QFile::encodeName(page).constData(), 0600), 0);
    const End target(server);
    if (server)
        target.make();
    const QString before = stateOf(target);

    QProcess copy;
    copy.start(testsupport::binDir() + QStringLiteral("/cartulo-copy"), {source.udl(), target.udl()});
    QVERIFY(copy.waitForStarted());
    const qint64 pid = copy.processId();
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        bool signalled = false;
        while (!stop) {
            const int fd = ::open(QFile::encodeName(page).constData(), O_WRONLY | O_NONBLOCK);
            if (fd < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            if (!signalled) { // the copy is reading this page now
                ::kill(pid_t(pid), SIGINT);
                signalled = true;
            }
            [[maybe_unused]] const ssize_t written = ::write(fd, "page", 4);
            ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    const bool finished = copy.waitForFinished(60000);
    stop = true;
    feeder.join();
    QVERIFY(finished);
    const QString err = QString::fromUtf8(copy.readAllStandardError());
    QCOMPARE(copy.exitStatus(), QProcess::NormalExit);
    QCOMPARE(copy.exitCode(), 1);
    QVERIFY2(err.contains(u"A cópia foi interrompida."_s), qPrintable(err));
    QCOMPARE(stateOf(target), before);
}

void TestCopyPg::refusesCopyOntoItself()
{
    const End source(false);
    fillSmallSource(source);
    const QString before = stateOf(source);
    const testsupport::ToolRun out = runTool(u"cartulo-copy"_s, {source.udl(), source.udl()});
    QCOMPARE(out.exitCode, 1);
    QVERIFY2(out.err.contains(u"mesmo arquivo"_s), qPrintable(out.err));
    QCOMPARE(stateOf(source), before);
}

void TestCopyPg::documentsWithoutProcess_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<bool>("made");
    QTest::newRow("database without tables") << true << false;
    QTest::newRow("database made by cartulo-mkdb") << true << true;
    QTest::newRow("new file") << false << false;
}

// A file archive holds documents whose process is gone (the file enforces no reference).
// The server would refuse them halfway: the copy is refused before anything is written,
// naming how many and which. Another file keeps them as they are.
void TestCopyPg::documentsWithoutProcess()
{
    QFETCH(bool, server);
    QFETCH(bool, made);
    const End source(false);
    fillSmallSource(source);
    Database(source.databasePath())
        .exec(u"INSERT INTO documento (cod, processo) VALUES ('00001', '00005'), ('00002', '00005'), "
              u"('00001', '00006'), ('00003', '00005'), ('00001', '00007'), ('00001', '00009'), "
              u"('00002', '00009')"_s);
    const End target(server);
    if (made)
        target.make();
    const QString before = stateOf(target);

    const testsupport::ToolRun out = runTool(u"cartulo-copy"_s, {source.udl(), target.udl()});
    if (!server) {
        QVERIFY2(out.exitCode == 0, qPrintable(out.err));
        QCOMPARE(rowsOf(target.databasePath()), rowsOf(source.databasePath()));
        return;
    }
    QCOMPARE(out.exitCode, 1);
    QVERIFY2(out.err.contains(u"7 documento(s) cujo processo não existe (processo/documento: 00005/00001, "
                              u"00005/00002, 00005/00003, 00006/00001, 00007/00001, ...)"_s),
             qPrintable(out.err));
    QVERIFY2(out.err.contains(u"Nada foi copiado"_s) && !out.err.contains(u"Copiando"_s), qPrintable(out.err));
    QCOMPARE(stateOf(target), before);
}

QTEST_GUILESS_MAIN(TestCopyPg)
#include "tst_copy_pg.moc"
