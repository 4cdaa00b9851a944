#include "bench/Archive.h"

#include "bench/Harness.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/SearchIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

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

void generate(const ArchivePlan &plan, const QString &dir, const QString &binDir)
{
    QDir().mkpath(dir);
    writeStamp(dir, kGenerating);
    std::fprintf(stderr, "Generating the %s archive in %s (cartulo-gen)...\n", qPrintable(plan.name), qPrintable(dir));
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedChannels);
    gen.start(QDir(binDir).filePath(u"cartulo-gen"_s), plan.generatorArgs(dir));
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

} // namespace

ArchivePlan ArchivePlan::full()
{
    ArchivePlan s;
    s.name = u"full"_s;
    s.processes = 20000;
    s.documents = 1000000;
    s.types = 10000;
    s.pagesDocs = 300;
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
    // The program looks for cartulo.udl next to its own file, and for its pictures in the
    // working directory: a copy of it lives in the archive's folder.
    placeCopy(QDir(binDir).filePath(u"cartulo"_s), archive.filePath(u"cartulo"_s));
    const QString pictures = QDir(binDir).filePath(u"img/ctlo.rcc"_s);
    if (QFileInfo::exists(pictures))
        placeCopy(pictures, archive.filePath(u"img/ctlo.rcc"_s));
}

} // namespace bench
