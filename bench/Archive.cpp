#include "bench/Archive.h"

#include "bench/Harness.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Description.h"
#include "db/SearchIndex.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

// Written by the benchmark into a folder it generated: the options used, or a marker while
// generation runs. Only a folder holding it is ever cleared.
const QString kStamp = u"cartulo-bench.stamp"_s;
const QString kGenerating = u"generating"_s;

QString stampText(const ArchivePlan &plan)
{
    QStringList args = plan.generatorArgs(QString());
    args.removeFirst();
    return args.join(u' ');
}

QString readStamp(const QString &dir)
{
    QFile file(QDir(dir).filePath(kStamp));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

void writeStamp(const QString &dir, const QString &text)
{
    QFile file(QDir(dir).filePath(kStamp));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)
        || file.write(text.toUtf8() + '\n') < 0)
        throw BenchError(u"cannot write "_s + file.fileName());
}

// Replaces `to` by a copy of `from` when they differ in size or age.
void placeCopy(const QString &from, const QString &to)
{
    const QFileInfo source(from), target(to);
    if (!source.exists())
        throw BenchError(from + u" is missing: build the program first"_s);
    if (target.exists() && target.size() == source.size() && target.lastModified() >= source.lastModified())
        return;
    QDir().mkpath(target.absolutePath());
    QFile::remove(to);
    if (!QFile::copy(from, to))
        throw BenchError(u"cannot copy %1 to %2"_s.arg(from, to));
    QFile::setPermissions(to, source.permissions());
}

void generate(const ArchivePlan &plan, const QString &dir, const QString &binDir, const QString &serverUdl = {})
{
    QDir().mkpath(dir);
    writeStamp(dir, kGenerating);
    QStringList args = plan.generatorArgs(dir);
    if (!serverUdl.isEmpty()) {
        args.replace(0, u"--target"_s);
        args.insert(1, serverUdl);
    }
    std::fprintf(stderr, "Generating the %s archive in %s (cartulo-gen)...\n", qPrintable(plan.name),
                 qPrintable(serverUdl.isEmpty() ? dir : serverUdl));
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedChannels);
    gen.start(QDir(binDir).filePath(u"cartulo-gen"_s), args);
    if (!gen.waitForStarted())
        throw BenchError(u"cannot start cartulo-gen: "_s + gen.errorString());
    gen.waitForFinished(-1);
    if (gen.exitStatus() != QProcess::NormalExit || gen.exitCode() != 0)
        throw BenchError(u"cartulo-gen failed (exit code %1)"_s.arg(gen.exitCode()));
    writeStamp(dir, stampText(plan));
}

// An archive made by an earlier version keeps its rows but gets this version's index, as
// the program would give it in the background; the figures measure searches through it.
void bringSearchIndexUpToDate(const QString &databasePath)
{
    try {
        db::Connection connection;
        connection.openFile(databasePath);
        if (db::searchindex::condition(connection.handle()) == db::searchindex::Condition::Current)
            return;
        std::fprintf(stderr, "Bringing the search index of %s up to date...\n", qPrintable(databasePath));
        db::searchindex::UpdateOptions atOnce;
        atOnce.documentsPerTransaction = 0;
        db::searchindex::update(connection.handle(), atOnce);
    } catch (const db::DbError &error) {
        throw BenchError(u"search index of %1: %2"_s.arg(databasePath, error.message()));
    }
}

// The program looks for cartulo.udl next to its own file, and for its pictures in the
// working directory: a copy of it lives in the archive's folder.
void placeProgram(const QString &dir, const QString &binDir)
{
    const QDir archive(dir);
    placeCopy(QDir(binDir).filePath(u"cartulo"_s), archive.filePath(u"cartulo"_s));
    const QString pictures = QDir(binDir).filePath(u"img/ctlo.rcc"_s);
    if (QFileInfo::exists(pictures))
        placeCopy(pictures, archive.filePath(u"img/ctlo.rcc"_s));
}

void runScript(const QString &action, const QString &socketDir)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(u"bash"_s, {QStringLiteral(CARTULO_SOURCE_DIR) + u"/scripts/pg-test-server.sh"_s, action, socketDir});
    if (!script.waitForFinished(180000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0)
        throw BenchError(u"pg-test-server.sh %1 %2: %3"_s.arg(action, socketDir,
                                                             QString::fromLocal8Bit(script.readAll()).trimmed()));
}

// Rows in the archive's tables: 0 for an empty archive, nullopt for a database without one.
std::optional<qint64> archiveRows(const db::ServerAddress &address)
{
    db::pg::PgConnection server(address);
    if (server.exec(u"SELECT to_regclass('%1') IS NULL"_s.arg(db::pg::schema::kFormatTable)).text(0, 0) == u"t"_s)
        return std::nullopt;
    return server.exec(u"SELECT (SELECT count(*) FROM documento) + (SELECT count(*) FROM processo)"_s)
        .text(0, 0)
        .toLongLong();
}

} // namespace

PrivateServer::PrivateServer(const QString &socketDir, bool folderOfThisRun)
    : m_socketDir(socketDir), m_folderOfThisRun(folderOfThisRun)
{
    std::fprintf(stderr, "Starting a private PostgreSQL server in %s...\n", qPrintable(socketDir));
    runScript(u"start"_s, socketDir);
}

PrivateServer::~PrivateServer()
{
    try {
        runScript(u"stop"_s, m_socketDir);
        if (m_folderOfThisRun)
            QDir(m_socketDir).removeRecursively();
    } catch (const BenchError &e) {
        std::fprintf(stderr, "cartulo-bench: %s\n", qPrintable(e.message()));
    }
}

QString PrivateServer::descriptionLine(const QString &database) const
{
    return u"Provider=PostgreSQL;Data Source=%1;Initial Catalog=%2;User ID=postgres"_s.arg(m_socketDir, database);
}

void prepareServerArchive(const ArchivePlan &plan, const QString &dir, const QString &binDir,
                          const QString &serverUdl, const QString &descriptionLine)
{
    QDir().mkpath(dir);
    const QString udl = QDir(dir).filePath(u"cartulo.udl"_s);
    QByteArray description;
    if (!serverUdl.isEmpty()) {
        QFile given(serverUdl);
        if (!given.open(QIODevice::ReadOnly))
            throw BenchError(u"cannot read "_s + serverUdl);
        description = given.readAll();
    } else {
        description = "[oledb]\n; Everything after this line is an OLE DB initstring\n" + descriptionLine.toUtf8() + '\n';
    }
    QFile file(udl);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(description) != description.size())
        throw BenchError(u"cannot write "_s + udl);
    file.close();
    try {
        const db::ArchiveDescription named = db::readDescription(udl);
        if (named.provider != db::Provider::PostgreSQL)
            throw BenchError(udl + u" names no PostgreSQL archive"_s);
        if (serverUdl.isEmpty()) { // the private server: a database of the locale the archive needs
            db::ServerAddress admin = named.server;
            admin.database = u"postgres"_s;
            db::pg::PgConnection(admin).exec(u"CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' LOCALE 'C.UTF-8'"_s
                                                 .arg(named.server.database));
        }
        const std::optional<qint64> rows = archiveRows(named.server);
        const QString stamp = readStamp(dir);
        if (rows.value_or(0) > 0 && stamp != stampText(plan))
            throw BenchError(u"%1 holds an archive this benchmark did not make with these options; give an empty one"_s
                                 .arg(named.server.displayName()));
        if (rows.value_or(0) == 0)
            generate(plan, dir, binDir, udl);
    } catch (const db::DbError &error) {
        throw BenchError(error.message());
    }
    placeProgram(dir, binDir);
}

ArchivePlan ArchivePlan::full()
{
    ArchivePlan s;
    s.name = u"full"_s;
    s.processes = 20000;
    s.documents = 1000000;
    s.types = 10000;
    s.pagesDocs = 300;
    s.pageTexts = 300000;
    s.seed = u"2024"_s;
    s.until = u"2026-06-30"_s;
    s.bigProcess = u"12345"_s;
    s.a4Document = {u"12345"_s, u"00001"_s};
    s.a4Pages = 12;
    s.manyPagesDocument = {u"12346"_s, u"00001"_s};
    s.manyPagesDpi = 100;
    return s;
}

ArchivePlan ArchivePlan::small()
{
    ArchivePlan s;
    s.name = u"small"_s;
    s.processes = 60;
    s.documents = 3000;
    s.types = 300;
    s.pagesDocs = 20;
    s.pageTexts = 900;
    s.pageDpi = 50;
    s.seed = u"2024"_s;
    s.until = u"2026-06-30"_s;
    s.bigProcess = u"00040"_s;
    s.a4Document = {u"00040"_s, u"00001"_s};
    s.a4Pages = 3;
    s.manyPagesDocument = {u"00041"_s, u"00001"_s};
    s.manyPagesDpi = 25;
    return s;
}

QStringList ArchivePlan::generatorArgs(const QString &dir) const
{
    QStringList args{dir,
                     u"--processes"_s, QString::number(processes),
                     u"--documents"_s, QString::number(documents),
                     u"--types"_s, QString::number(types),
                     u"--pages-docs"_s, QString::number(pagesDocs),
                     u"--process-docs"_s, bigProcess + u':' + QString::number(bigProcessDocs),
                     u"--pages-for"_s, u"%1:%2:%3@300"_s.arg(a4Document.process, a4Document.document).arg(a4Pages),
                     u"--pages-for"_s, u"%1:%2:%3@%4"_s.arg(manyPagesDocument.process, manyPagesDocument.document)
                                            .arg(manyPages).arg(manyPagesDpi),
                     u"--seed"_s, seed,
                     u"--until"_s, until};
    if (pageDpi > 0)
        args << u"--page-dpi"_s << QString::number(pageDpi);
    if (pageTexts > 0)
        args << u"--page-texts"_s << QString::number(pageTexts);
    return args;
}

void prepareArchive(const ArchivePlan &plan, const QString &dir, const QString &binDir, bool regenerate)
{
    const QDir archive(dir);
    const bool hasDatabase = QFileInfo::exists(archive.filePath(u"dados/cartulo.db"_s));
    const QString stamp = readStamp(dir);
    const bool ours = !stamp.isEmpty();
    const bool current = stamp == stampText(plan);

    if (hasDatabase && !ours)
        throw BenchError(u"%1 holds an archive this benchmark did not make; give another --archive folder"_s.arg(dir));
    if (!hasDatabase || !current || regenerate) {
        if (ours) { // a folder this benchmark made: clear what the generator writes
            QDir(archive.filePath(u"dados"_s)).removeRecursively();
            QFile::remove(archive.filePath(u"cartulo.udl"_s));
        }
        generate(plan, dir, binDir);
    }
    bringSearchIndexUpToDate(archive.filePath(u"dados/cartulo.db"_s));
    placeProgram(dir, binDir);
}

} // namespace bench
