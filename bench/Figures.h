#pragma once
#include "bench/Archive.h"
#include "bench/Harness.h"
#include "db/Description.h"

#include <QList>
#include <QString>

// The figures, each measured through the program's own code.
namespace bench {

struct Context {
    ArchivePlan plan;
    QString archiveDir; ///< also the program folder of the copy that runs
    QString binDir;     ///< the build's bin/: cartulo-gen, cartulo, the start-up probe
    QString scratchDir; ///< temporary files of the baselines
    int runs = 20;
    int startupRuns = 10;
    int baselineRuns = 5;
    db::Provider provider = db::Provider::SQLite; ///< where the archive is: its cartulo.udl says
    QStringList childArguments; ///< what a workstation process is started with besides its own
};

/// The archive's server connection as the description file in archiveDir names it.
db::ServerAddress serverOf(const Context &context);

/// Start-up of the real executable until the main window's first show is done.
Row startupFigure(const Context &context);

/// Writes a file plainly, as the command-line tools do (no flush to disk).
void writeFile(const QString &path, const QByteArray &bytes);
/// The path of a libjpeg-turbo command (cjpeg, jpegtran). Throws BenchError when missing.
QString libjpegTool(const QString &name);
/// Runs a command to its end; throws BenchError with its error output when it fails.
void runTool(const QString &program, const QStringList &arguments);

/// The first page of the archive's A4 document (2480 x 3508 at 300 dpi).
QString a4PagePath(const Context &context);

/// Encoding a 300-dpi A4 scan against `cjpeg -quality 90`.
Row encodeFigure(const Context &context);

/// A perfect clockwise turn of a block-aligned 300-dpi page against
/// `jpegtran -rotate 90 -perfect`, whose result it must equal.
Row turnFigure(const Context &context);
/// A clockwise turn of an A4 scan, recorded in its EXIF orientation.
Row recordedTurnFigure(const Context &context);
/// A 10-sheet feeder batch of SANE's test backend, 300-dpi grey A4, against
/// `scanimage --batch` writing JPEG.
Row scanBatchFigure(const Context &context);
/// The substring index's size beside the documento table's.
Row indexSizeFigure(const Context &context);

/// Opening the history of a document with 1,000 changes (made once, kept by the
/// append-only history), and what its history row adds to a change.
QList<Row> historyFigures(const Context &context);

/// The figures of the screens, on one main window over the archive.
QList<Row> screenFigures(const Context &context, const QStringList &only);

/// Eight workstation processes at once for `seconds`: the p95 of each step, the throughput
/// and the check that no row or page was lost or doubled. Leaves the archive as it was.
QList<Row> workstationFigures(const Context &context, int seconds);
/// The loop of workstation `id` (a process of its own); 0 when it ran to the end.
int runWorkstation(const Context &context, int id, int seconds);

/// Names accepted by --only.
QStringList figureNames();

} // namespace bench
