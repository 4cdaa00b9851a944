// Turning pages: a perfect quarter turn of a block-aligned 300-dpi page beside jpegtran,
// and a turn recorded in EXIF on an A4 scan.

#include "bench/Figures.h"

#include "editing/JpegImage.h"
#include "pages/PageTurn.h"

#include <QDir>
#include <QFile>

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

// A page file turned as the page store does it: read, turned, written whole (temporary
// file, flushed to disk, renamed over the page), each run on a fresh copy.
Samples pageFileTurns(const Context &context, const QString &original, pages::TurnMethod expected)
{
    const QString page = QDir(context.scratchDir).filePath(u"0000100001001.jpg"_s);
    return measure(context.runs, [&] { copyOver(original, page); }, [&] {
        if (pages::turnPageFile(page, pages::Turn::Clockwise) != expected)
            throw BenchError(u"the page was turned another way than expected"_s);
    });
}

QString durableNote(const Samples &samples)
{
    return u"as a page file written back whole (temporary file, fdatasync, rename): median %1, p95 %2"_s
        .arg(formatMs(samples.median()), formatMs(samples.p95()));
}

} // namespace

Row turnFigure(const Context &context)
{
    Row row;
    row.figure = u"turning a block-aligned 300-dpi page clockwise"_s;
    row.target = u"<= 1.2x the time of jpegtran -rotate 90 -perfect"_s;
    const QString jpegtran = libjpegTool(u"jpegtran"_s);
    const QString original = blockAlignedPage(context);
    const QString ours = QDir(context.scratchDir).filePath(u"turned.jpg"_s);
    const QString theirs = QDir(context.scratchDir).filePath(u"jpegtran.jpg"_s);

    // The same work as jpegtran's: the file read, turned and written. The two alternate,
    // so that other work on the machine weighs on both alike.
    resetPeakMemory();
    Ratio ratio;
    ratio.baseline = u"jpegtran -rotate 90 -perfect"_s;
    pages::TurnMethod method = pages::TurnMethod::Recorded;
    for (int i = 0; i < context.runs; ++i) {
        Stopwatch clock;
        const pages::TurnedPage turned = pages::turnPage(editing::jpeg::readFile(original), pages::Turn::Clockwise);
        writeFile(ours, turned.bytes);
        row.samples.add(clock.elapsedMs());
        method = turned.method;
        clock.restart();
        runTool(jpegtran, {u"-rotate"_s, u"90"_s, u"-perfect"_s, u"-outfile"_s, theirs, original});
        ratio.baselineSamples.add(clock.elapsedMs());
    }
    row.peakMb = peakMemoryMb();
    if (method != pages::TurnMethod::Transformed)
        throw BenchError(u"the block-aligned page was not turned by its coefficients"_s);
    if (editing::jpeg::readFile(ours) != editing::jpeg::readFile(theirs))
        throw BenchError(u"the turned page differs from jpegtran's"_s);
    ratio.value = row.samples.median() / ratio.baselineSamples.median();
    ratio.text = QString::number(ratio.value, 'f', 2) + u"x jpegtran's time"_s;
    row.ratio = ratio;
    row.met = ratio.value <= 1.2;

    const QSize size = editing::jpeg::imageSize(editing::jpeg::readFile(original));
    row.note = u"%1 x %2 pixels, %3 KB; identical to jpegtran's file (jpegtran's time includes its start); %4"_s
                   .arg(size.width()).arg(size.height()).arg(QFileInfo(original).size() / 1024)
                   .arg(durableNote(pageFileTurns(context, original, pages::TurnMethod::Transformed)));
    return row;
}

Row recordedTurnFigure(const Context &context)
{
    Row row;
    row.figure = u"recording a clockwise turn on a 300-dpi A4 scan"_s;
    row.target = u"< 10 ms"_s;
    const QString original = a4PagePath(context);
    const QString ours = QDir(context.scratchDir).filePath(u"recorded.jpg"_s);
    const QByteArray before = editing::jpeg::readFile(original);

    resetPeakMemory();
    pages::TurnedPage turned;
    row.samples = measure(context.runs, {}, [&] {
        turned = pages::turnPage(editing::jpeg::readFile(original), pages::Turn::Clockwise);
        writeFile(ours, turned.bytes);
    });
    row.peakMb = peakMemoryMb();
    if (turned.method != pages::TurnMethod::Recorded)
        throw BenchError(u"the A4 scan was not turned by its EXIF orientation"_s);
    row.met = row.samples.p95() < 10;

    const QSize size = editing::jpeg::imageSize(before);
    row.note = u"%1 x %2 pixels, %3 KB, read, turned and written; compressed picture untouched, the file grew by "
               u"%4 bytes; %5"_s
                   .arg(size.width()).arg(size.height()).arg(before.size() / 1024).arg(turned.bytes.size() - before.size())
                   .arg(durableNote(pageFileTurns(context, original, pages::TurnMethod::Recorded)));
    return row;
}

} // namespace bench
