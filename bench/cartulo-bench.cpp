// cartulo-bench: the speed and memory figures of Cartulo on an archive of a million
// documents, measured through the program's own code and screens.
//
//   cartulo-bench [--small] [--provider sqlite|postgresql [--server FILE.udl]] [--archive DIR]
//                 [--runs N] [--only NAME,...] [--regenerate] [--seconds N]
//
// Builds the archive with cartulo-gen when it is missing (on a file, or on a PostgreSQL
// server), then prints for each figure the median and 95th percentile of repeated runs,
// the peak memory, and, where a natural baseline exists, the baseline measured side by
// side and the ratio.

#include "bench/Archive.h"
#include "bench/Figures.h"
#include "bench/Harness.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Options {
    bool small = false;
    QString archive;
    int runs = 0;
    QStringList only;
    bool regenerate = false;
    db::Provider provider = db::Provider::SQLite;
    QString server;      ///< a description file naming the server archive to use
    int seconds = 0;     ///< of the workstations figure
    int workstation = 0; ///< >0: run as that workstation (a process the figure starts)
};

void printUsage(FILE *to)
{
    std::fprintf(to,
                 "usage: cartulo-bench [--small] [--provider sqlite|postgresql] [--server FILE.udl]\n"
                 "                     [--archive DIR] [--runs N] [--only NAMES] [--regenerate] [--seconds N]\n"
                 "\n"
                 "  --small        a few thousand documents, two runs per figure (checks that the\n"
                 "                 benchmark works; its times mean nothing)\n"
                 "  --provider P   sqlite (default): the archive in a file; postgresql: on a server,\n"
                 "                 a private one this benchmark starts and stops (its data in\n"
                 "                 /tmp/cartulo-bench-pg) unless --server names one\n"
                 "  --server FILE  a description file naming an empty server database (or one this\n"
                 "                 benchmark filled before) to use instead of the private server\n"
                 "  --archive DIR  where the archive (or, on a server, the program folder) is kept\n"
                 "                 (default /tmp/cartulo-bench or /tmp/cartulo-bench-server for the\n"
                 "                 full archive, a temporary folder for --small); made when missing\n"
                 "  --seconds N    how long the eight workstations work (default 60; --small 5)\n"
                 "  --runs N       runs per figure (default 20; start-up 10)\n"
                 "  --only NAMES   comma-separated figures: %s\n"
                 "  --regenerate   make the archive again even when it is there\n",
                 qPrintable(bench::figureNames().join(u", "_s)));
}

std::optional<Options> parse(const QStringList &args)
{
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == u"--small"_s) {
            o.small = true;
        } else if (arg == u"--regenerate"_s) {
            o.regenerate = true;
        } else if (arg == u"--provider"_s && hasValue) {
            const QString name = args[++i].toLower();
            if (name != u"sqlite"_s && name != u"postgresql"_s)
                return std::nullopt;
            o.provider = name == u"postgresql"_s ? db::Provider::PostgreSQL : db::Provider::SQLite;
        } else if (arg == u"--server"_s && hasValue) {
            o.server = QFileInfo(args[++i]).absoluteFilePath();
        } else if ((arg == u"--seconds"_s || arg == u"--workstation"_s) && hasValue) {
            bool ok = false;
            const int value = args[++i].toInt(&ok);
            if (!ok || value < 1)
                return std::nullopt;
            (arg == u"--seconds"_s ? o.seconds : o.workstation) = value;
        } else if (arg == u"--archive"_s && hasValue) {
            o.archive = QDir(args[++i]).absolutePath();
        } else if (arg == u"--runs"_s && hasValue) {
            bool ok = false;
            o.runs = args[++i].toInt(&ok);
            if (!ok || o.runs < 1)
                return std::nullopt;
        } else if (arg == u"--only"_s && hasValue) {
            o.only = args[++i].split(u',', Qt::SkipEmptyParts);
            for (const QString &name : o.only) {
                if (!bench::figureNames().contains(name))
                    return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!o.server.isEmpty() && o.provider != db::Provider::PostgreSQL)
        return std::nullopt;
    return o;
}

/// What a workstation process needs to find the same archive.
QStringList childArguments(const Options &o, const QString &archiveDir)
{
    QStringList args{u"--archive"_s, archiveDir, u"--provider"_s,
                     o.provider == db::Provider::PostgreSQL ? u"postgresql"_s : u"sqlite"_s};
    if (o.small)
        args << u"--small"_s;
    return args;
}

bool wanted(const Options &o, const QString &name)
{
    return o.only.isEmpty() || o.only.contains(name);
}

} // namespace

int main(int argc, char **argv)
{
    // The screens run headless unless a platform was chosen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(u"Cartulo"_s);

    const auto options = parse(QCoreApplication::arguments());
    if (!options) {
        printUsage(stderr);
        return 2;
    }

    bench::Context context;
    context.plan = options->small ? bench::ArchivePlan::small() : bench::ArchivePlan::full();
    context.binDir = QCoreApplication::applicationDirPath();
    context.runs = options->runs ? options->runs : options->small ? 2 : 20;
    context.startupRuns = options->runs ? options->runs : options->small ? 2 : 10;
    context.baselineRuns = options->small ? 1 : 5;

    context.provider = options->provider;
    const bool onServer = options->provider == db::Provider::PostgreSQL;
    if (options->workstation > 0) { // one of the workstations figure's processes
        context.archiveDir = options->archive;
        return bench::runWorkstation(context, options->workstation, options->seconds ? options->seconds : 60);
    }

    QTemporaryDir scratch;
    QTemporaryDir smallArchive;
    if (!scratch.isValid() || !smallArchive.isValid()) {
        std::fprintf(stderr, "cartulo-bench: no temporary folder\n");
        return 1;
    }
    context.scratchDir = scratch.path();
    context.archiveDir = !options->archive.isEmpty() ? options->archive
                         : options->small           ? smallArchive.path()
                         : onServer                 ? u"/tmp/cartulo-bench-server"_s
                                                    : u"/tmp/cartulo-bench"_s;
    context.childArguments = childArguments(*options, context.archiveDir);
    const int seconds = options->seconds ? options->seconds : options->small ? 5 : 60;
    std::unique_ptr<bench::PrivateServer> privateServer;
    try {
        if (!onServer) {
            bench::prepareArchive(context.plan, context.archiveDir, context.binDir, options->regenerate);
        } else {
            QString line;
            if (options->server.isEmpty()) {
                // A short socket path of this run's own (a socket path is limited in length).
                privateServer = options->small ? std::make_unique<bench::PrivateServer>(
                                                     u"/tmp/cbpg-%1"_s.arg(QCoreApplication::applicationPid()), true)
                                               : std::make_unique<bench::PrivateServer>(u"/tmp/cartulo-bench-pg"_s, false);
                line = privateServer->descriptionLine(u"cartulo_bench"_s);
                // The private server starts empty: the folder's stamp speaks of an earlier one.
                QFile::remove(QDir(context.archiveDir).filePath(u"cartulo-bench.stamp"_s));
            }
            bench::prepareServerArchive(context.plan, context.archiveDir, context.binDir, options->server, line);
        }
    } catch (const bench::BenchError &e) {
        std::fprintf(stderr, "cartulo-bench: %s\n", qPrintable(e.message()));
        return 1;
    }

    const QString loadBefore = bench::loadAverage();
    QList<bench::Row> rows;
    auto run = [&](const QString &name, const QString &figure, const std::function<bench::Row()> &measure) {
        if (!wanted(*options, name))
            return;
        std::fprintf(stderr, "measuring: %s\n", qPrintable(figure));
        try {
            rows << measure();
        } catch (const std::exception &e) {
            bench::Row failed;
            failed.figure = figure;
            const auto *benchError = dynamic_cast<const bench::BenchError *>(&e);
            failed.note = u"FAILED: "_s + (benchError ? benchError->message() : QString::fromLocal8Bit(e.what()));
            rows << failed;
        }
    };
    run(u"startup"_s, u"start-up"_s, [&] { return bench::startupFigure(context); });
    if (options->only.isEmpty() || !QSet<QString>(options->only.begin(), options->only.end())
                                          .subtract({u"startup"_s, u"encode"_s, u"turn"_s, u"turn-recorded"_s, u"scan-batch"_s, u"index-size"_s,
                                                     u"workstations"_s, u"history"_s})
                                          .isEmpty()) {
        try {
            rows << bench::screenFigures(context, options->only);
        } catch (const std::exception &e) {
            bench::Row failed;
            failed.figure = u"screens"_s;
            const auto *benchError = dynamic_cast<const bench::BenchError *>(&e);
            failed.note = u"FAILED: "_s + (benchError ? benchError->message() : QString::fromLocal8Bit(e.what()));
            rows << failed;
        }
    }
    run(u"encode"_s, u"encode"_s, [&] { return bench::encodeFigure(context); });
    run(u"turn"_s, u"turn"_s, [&] { return bench::turnFigure(context); });
    run(u"turn-recorded"_s, u"turn-recorded"_s, [&] { return bench::recordedTurnFigure(context); });
    run(u"scan-batch"_s, u"feeder batch"_s, [&] { return bench::scanBatchFigure(context); });
    run(u"index-size"_s, u"substring index size"_s, [&] { return bench::indexSizeFigure(context); });
    if (wanted(*options, u"history"_s)) {
        std::fprintf(stderr, "measuring: history\n");
        try {
            rows << bench::historyFigures(context);
        } catch (const std::exception &e) {
            bench::Row failed;
            failed.figure = u"history"_s;
            const auto *benchError = dynamic_cast<const bench::BenchError *>(&e);
            failed.note = u"FAILED: "_s + (benchError ? benchError->message() : QString::fromLocal8Bit(e.what()));
            rows << failed;
        }
    }
    if (wanted(*options, u"workstations"_s)) {
        std::fprintf(stderr, "measuring: eight workstations for %d s\n", seconds);
        try {
            rows << bench::workstationFigures(context, seconds);
        } catch (const std::exception &e) {
            bench::Row failed;
            failed.figure = u"eight workstations"_s;
            const auto *benchError = dynamic_cast<const bench::BenchError *>(&e);
            failed.note = u"FAILED: "_s + (benchError ? benchError->message() : QString::fromLocal8Bit(e.what()));
            rows << failed;
        }
    }

    const QString where = onServer ? u"on PostgreSQL (program folder %1)"_s.arg(context.archiveDir) : u"in "_s + context.archiveDir;
    const QString heading = u"Cartulo benchmark, %1 archive %2: %3 documents in %4 processes, %5 types.\n"
                            u"%6 cores, load average %7 before and %8 after. \"met\": the 95th percentile within "
                            u"the target (ratios: of the medians)."_s
                                .arg(context.plan.name, where)
                                .arg(context.plan.documents)
                                .arg(context.plan.processes)
                                .arg(context.plan.types)
                                .arg(QThread::idealThreadCount())
                                .arg(loadBefore, bench::loadAverage());
    bench::printTable(rows, heading);

    bool allMeasured = true;
    for (const bench::Row &row : rows)
        allMeasured = allMeasured && row.met.has_value();
    return allMeasured ? 0 : 1;
}
