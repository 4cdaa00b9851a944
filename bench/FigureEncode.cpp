#include "bench/Figures.h"

#include "db/Connection.h"
#include "pages/PageStore.h"

#include "editing/JpegImage.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

// The image as a binary PPM, cjpeg's input.
void writePpm(const QImage &rgb32, const QString &path)
{
    QByteArray bytes = "P6\n" + QByteArray::number(rgb32.width()) + ' ' + QByteArray::number(rgb32.height()) + "\n255\n";
    const qsizetype header = bytes.size();
    bytes.resize(header + qsizetype(rgb32.width()) * rgb32.height() * 3);
    char *out = bytes.data() + header;
    for (int y = 0; y < rgb32.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb32.constScanLine(y));
        for (int x = 0; x < rgb32.width(); ++x) {
            *out++ = char(qRed(line[x]));
            *out++ = char(qGreen(line[x]));
            *out++ = char(qBlue(line[x]));
        }
    }
    writeFile(path, bytes);
}

} // namespace

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw BenchError(u"cannot write "_s + path);
}

QString libjpegTool(const QString &name)
{
    const QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        throw BenchError(name + u" is not installed (Debian package libjpeg-turbo-progs)"_s);
    return path;
}

void runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        throw BenchError(QFileInfo(program).fileName() + u" failed: "_s + QString::fromLocal8Bit(process.readAllStandardError()));
}

QString a4PagePath(const Context &context)
{
    if (context.provider == db::Provider::PostgreSQL) {
        // A page on the server is a row: the baselines' tools read it from a file.
        db::Connection connection;
        connection.openDescription(QDir(context.archiveDir).filePath(u"cartulo.udl"_s));
        const auto store = pages::openPageStore(context.archiveDir, &connection);
        const pages::DocumentKey key{context.plan.a4Document.process, context.plan.a4Document.document};
        const std::optional<QByteArray> bytes = store->pageBytes(pages::PageStore::pageName(key, 1));
        if (!bytes)
            throw BenchError(u"page 1 of %1 is not on the server"_s.arg(context.plan.a4Document.stem()));
        const QString path = QDir(context.scratchDir).filePath(context.plan.a4Document.stem() + u"001.jpg"_s);
        if (!QFileInfo::exists(path))
            writeFile(path, *bytes);
        return path;
    }
    const QString path = QDir(context.archiveDir).filePath(u"dados/laudas/"_s + context.plan.a4Document.stem() + u"001.jpg"_s);
    if (!QFileInfo::exists(path))
        throw BenchError(path + u" is missing"_s);
    return path;
}

Row encodeFigure(const Context &context)
{
    Row row;
    row.figure = u"encoding a 300-dpi A4 scan at quality 90"_s;
    row.target = u"<= 1.2x the time of cjpeg -quality 90"_s;
    const QString cjpeg = libjpegTool(u"cjpeg"_s);

    // A scan as the scanner hands it over: a 32-bit image of a whole A4 page.
    const QImage scan = editing::jpeg::decodeFile(a4PagePath(context));
    const QString ours = QDir(context.scratchDir).filePath(u"ours.jpg"_s);
    const QString ppm = QDir(context.scratchDir).filePath(u"scan.ppm"_s);
    const QString theirs = QDir(context.scratchDir).filePath(u"cjpeg.jpg"_s);
    writePpm(scan, ppm);

    resetPeakMemory();
    qsizetype size = 0;
    // Encoded and written to a file, as cjpeg does.
    row.samples = measure(context.runs, {}, [&] {
        const QByteArray bytes = editing::jpeg::encode(scan, editing::jpeg::kPageQuality);
        writeFile(ours, bytes);
        size = bytes.size();
    });
    row.peakMb = peakMemoryMb();

    Ratio ratio;
    ratio.baseline = u"cjpeg -quality 90"_s;
    ratio.baselineSamples = measure(context.runs, {}, [&] {
        runTool(cjpeg, {u"-quality"_s, u"90"_s, u"-outfile"_s, theirs, ppm});
    });
    ratio.value = row.samples.median() / ratio.baselineSamples.median();
    ratio.text = QString::number(ratio.value, 'f', 2) + u"x cjpeg's time"_s;
    row.ratio = ratio;
    row.met = ratio.value <= 1.2;
    row.note = u"%1 x %2 pixels; %3 KB here, %4 KB by cjpeg (cjpeg's time includes its start and reading the PPM)"_s
                   .arg(scan.width()).arg(scan.height()).arg(size / 1024).arg(QFileInfo(theirs).size() / 1024);
    return row;
}

} // namespace bench
