// cartulo-bench: the speed and memory figures of Cartulo on an archive of a million
// documents, measured through the program's own code and screens.
//
//   cartulo-bench [--small] [--archive DIR] [--runs N] [--only NAME,...] [--regenerate]
//
// Builds the archive with cartulo-gen when it is missing, then prints for each figure the
// median and 95th percentile of repeated runs, the peak memory, and, where a natural
// baseline exists, the baseline measured side by side and the ratio.

#include "bench/Archive.h"
#include "bench/Figures.h"
#include "bench/Harness.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

struct Options {
    bool small = false;
    QString archive;
    int runs = 0;
    QStringList only;
    bool regenerate = false;
};

void printUsage(FILE *to)
{
    std::fprintf(to,
                 "usage: cartulo-bench [--small] [--archive DIR] [--runs N] [--only NAMES] [--regenerate]\n"
                 "\n"
                 "  --small        a few thousand documents, two runs per figure (checks that the\n"
                 "                 benchmark works; its times mean nothing)\n"
                 "  --archive DIR  where the archive is kept (default /tmp/cartulo-bench for the\n"
                 "                 full archive, a temporary folder for --small); made when missing\n"
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
    return o;
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

    QTemporaryDir scratch;
    QTemporaryDir smallArchive;
    if (!scratch.isValid() || !smallArchive.isValid()) {
        std::fprintf(stderr, "cartulo-bench: no temporary folder\n");
        return 1;
    }
    context.scratchDir = scratch.path();
    context.archiveDir = !options->archive.isEmpty() ? options->archive
                         : options->small           ? smallArchive.path()
                                                    : u"/tmp/cartulo-bench"_s;
    try {
        bench::prepareArchive(context.plan, context.archiveDir, context.binDir, options->regenerate);
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
                                          .subtract({u"startup"_s, u"encode"_s, u"turn"_s, u"turn-recorded"_s, u"index-size"_s})
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
    run(u"index-size"_s, u"substring index size"_s, [&] { return bench::indexSizeFigure(context); });

    const QString heading = u"Cartulo benchmark, %1 archive in %2: %3 documents in %4 processes, %5 types.\n"
                            u"%6 cores, load average %7 before and %8 after. \"met\": the 95th percentile within "
                            u"the target (ratios: of the medians)."_s
                                .arg(context.plan.name, context.archiveDir)
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
