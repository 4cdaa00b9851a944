// Turning pages: a perfect quarter turn of a block-aligned 300-dpi page beside jpegtran,
// and a turn recorded in EXIF on an A4 scan, each from page file to page file as the
// page store does it (read, turn, write whole: temporary file, flush to disk, rename).

#include "bench/Figures.h"

#include "editing/JpegImage.h"
#include "pages/PageTurn.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

void copyOver(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        throw BenchError(u"cannot copy "_s + from + u" to "_s + to);
}

// The A4 scan without its last 4 rows: 2480 x 3504, whole 16-pixel blocks both ways.
QString blockAlignedPage(const Context &context)
{
    const QImage scan = editing::jpeg::decodeFile(a4PagePath(context));
    const QImage aligned = scan.copy(0, 0, scan.width() - scan.width() % 16, scan.height() - scan.height() % 16);
    const QString path = QDir(context.scratchDir).filePath(u"aligned.jpg"_s);
    editing::jpeg::writeFile(aligned, path);
    return path;
}

} // namespace

Row turnFigure(const Context &context)
{
    Row row;
    row.figure = u"turning a block-aligned 300-dpi page clockwise"_s;
    row.target = u"<= 1.2x the time of jpegtran -rotate 90 -perfect"_s;
    const QString jpegtran = QStandardPaths::findExecutable(u"jpegtran"_s);
    if (jpegtran.isEmpty())
        throw BenchError(u"jpegtran is not installed (Debian package libjpeg-turbo-progs)"_s);

    const QString original = blockAlignedPage(context);
    const QString page = QDir(context.scratchDir).filePath(u"0000100001001.jpg"_s);
    const QString theirs = QDir(context.scratchDir).filePath(u"jpegtran.jpg"_s);

    resetPeakMemory();
    pages::TurnMethod method = pages::TurnMethod::Recorded;
    row.samples = measure(context.runs, [&] { copyOver(original, page); },
                          [&] { method = pages::turnPageFile(page, pages::Turn::Clockwise); });
    row.peakMb = peakMemoryMb();
    if (method != pages::TurnMethod::Transformed)
        throw BenchError(u"the block-aligned page was not turned by its coefficients"_s);

    Ratio ratio;
    ratio.baseline = u"jpegtran -rotate 90 -perfect"_s;
    ratio.baselineSamples = measure(context.runs, {}, [&] {
        QProcess process;
        process.start(jpegtran, {u"-rotate"_s, u"90"_s, u"-perfect"_s, u"-outfile"_s, theirs, original});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            throw BenchError(u"jpegtran failed: "_s + QString::fromLocal8Bit(process.readAllStandardError()));
    });
    if (editing::jpeg::readFile(page) != editing::jpeg::readFile(theirs))
        throw BenchError(u"the turned page differs from jpegtran's"_s);
    ratio.value = row.samples.median() / ratio.baselineSamples.median();
    ratio.text = QString::number(ratio.value, 'f', 2) + u"x jpegtran's time"_s;
    row.ratio = ratio;
    row.met = ratio.value <= 1.2;
    const QSize size = editing::jpeg::imageSize(editing::jpeg::readFile(original));
    row.note = u"%1 x %2 pixels, %3 KB; identical to jpegtran's file; ours includes flushing it to disk, "
               u"jpegtran's includes its start"_s
                   .arg(size.width()).arg(size.height()).arg(QFileInfo(original).size() / 1024);
    return row;
}

Row recordedTurnFigure(const Context &context)
{
    Row row;
    row.figure = u"recording a clockwise turn on a 300-dpi A4 scan"_s;
    row.target = u"< 10 ms"_s;
    const QString original = a4PagePath(context);
    const QString page = QDir(context.scratchDir).filePath(u"0000100001002.jpg"_s);
    const QByteArray before = editing::jpeg::readFile(original);

    // The turn itself: the page read and its new bytes made, the same for a page kept as
    // a file or as a database row.
    resetPeakMemory();
    pages::TurnedPage turned;
    row.samples = measure(context.runs, {}, [&] {
        turned = pages::turnPage(editing::jpeg::readFile(original), pages::Turn::Clockwise);
    });
    row.peakMb = peakMemoryMb();
    if (turned.method != pages::TurnMethod::Recorded)
        throw BenchError(u"the A4 scan was not turned by its EXIF orientation"_s);
    row.met = row.samples.p95() < 10;

    // And written back as a page file is: whole, flushed to disk, renamed over the page.
    const Samples written = measure(context.runs, [&] { copyOver(original, page); },
                                    [&] { pages::turnPageFile(page, pages::Turn::Clockwise); });
    const QSize size = editing::jpeg::imageSize(before);
    row.note = u"%1 x %2 pixels, %3 KB; compressed picture untouched, the file grew by %4 bytes; with the page "
               u"file written back (temporary file, fdatasync, rename): median %5, p95 %6"_s
                   .arg(size.width()).arg(size.height()).arg(before.size() / 1024).arg(turned.bytes.size() - before.size())
                   .arg(formatMs(written.median()), formatMs(written.p95()));
    return row;
}

} // namespace bench
