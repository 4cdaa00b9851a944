// Start-up is timed on the real `cartulo` executable, started as a user starts it, with
// nothing added to the program: Qt itself loads a small probe (a "generic" plugin named by
// QT_QPA_GENERIC_PLUGINS) that reports the moment the main window's first show is done
// and the peak memory until then. Running the start-up code inside this process instead
// would leave out loading the executable and its libraries, and would measure a warm
// process from the second run on.

#include "bench/Figures.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

struct StartupRun {
    double ms = 0;
    double peakMb = 0;
};

StartupRun startOnce(const Context &context)
{
    QProcess program;
    program.setProgram(QDir(context.archiveDir).filePath(u"cartulo"_s));
    program.setWorkingDirectory(context.archiveDir); // where img/ctlo.rcc is found
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"QT_PLUGIN_PATH"_s, QDir(context.binDir).filePath(u"bench-plugins"_s));
    env.insert(u"QT_QPA_GENERIC_PLUGINS"_s, u"cartulostartupprobe"_s);
    program.setProcessEnvironment(env);

    const long long started = monotonicNs();
    program.start();
    if (!program.waitForStarted(10000))
        throw BenchError(u"cannot start cartulo: "_s + program.errorString());
    QByteArray output;
    Stopwatch wait;
    while (!output.contains('\n') && wait.elapsedMs() < 60000) {
        if (!program.waitForReadyRead(1000) && program.state() == QProcess::NotRunning)
            break;
        output += program.readAllStandardOutput();
    }
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished();
    }
    const QList<QByteArray> fields = output.trimmed().split(' ');
    if (fields.size() != 4 || fields[0] != "cartulo-probe")
        throw BenchError(u"cartulo never showed its main window (exit code %1): %2"_s.arg(program.exitCode())
                             .arg(QString::fromLocal8Bit(program.readAllStandardError()).trimmed().left(300)));
    if (program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0)
        throw BenchError(u"cartulo ended with exit code %1"_s.arg(program.exitCode()));
    return {double(fields[2].toLongLong() - started) / 1e6, fields[3].toDouble() / 1024.0};
}

} // namespace

Row startupFigure(const Context &context)
{
    Row row;
    row.figure = u"start-up until the main window's first show is done"_s;
    row.target = u"< 1 s, peak < 250 MB"_s;
    double peak = 0;
    for (int i = 0; i < context.startupRuns; ++i) {
        const StartupRun run = startOnce(context);
        row.samples.add(run.ms);
        peak = std::max(peak, run.peakMb);
    }
    row.peakMb = peak;
    row.met = row.samples.median() < 1000 && row.samples.p95() < 1000 && peak < 250;
    row.note = u"the real executable with its archive; peak memory is the program's own (VmHWM)"_s;
    return row;
}

} // namespace bench
