// cartulo-bench-pdf: the speed and memory of PDF in and out, each beside the Debian tool
// that does the same work on the same files.
//
//   cartulo-bench-pdf [--small] [--runs N]
//
// Makes its files in a temporary folder: 300-dpi A4 scans as JPEG files, a PDF of 50 of
// them, a PDF of 20 pages of text and drawings. Then it measures
//   - exporting a 200-page document beside img2pdf (and the file size against the pages'),
//   - adding the 50 scanned pages beside pdfimages -j,
//   - adding the 20 text pages beside pdftoppm -r 300 -jpeg.
// Adding a page ends with its JPEG written to a file, as pdfimages and pdftoppm do.

#include "bench/Harness.h"
#include "pdf/PdfError.h"
#include "pdf/PdfExport.h"
#include "pdf/PdfImport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace Qt::StringLiterals;
using bench::BenchError;
using bench::Row;

namespace {

struct Plan {
    int exportPages = 200;
    int scannedPages = 50;
    int textPages = 20;
    int distinctScans = 8; // the export's pages repeat these, each in its own file
    int runs = 5;
    int baselineRuns = 5;

    static Plan small() { return {20, 5, 2, 2, 1, 1}; }
};

struct Fixtures {
    QString dir;
    QStringList scans; // plan.exportPages files
    QString scannedPdf;
    QString textPdf;
};

// A grey paper with noise and lines of dark "words", as a 300-dpi scanner gives a page.
QImage scanLikePage(int seed)
{
    QImage page(2480, 3508, QImage::Format_RGB32);
    QRandomGenerator random(quint32(seed) * 7919u + 17u);
    for (int y = 0; y < page.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            const int paper = 236 + int(random.bounded(12));
            line[x] = qRgb(paper, paper - 2, paper - 6);
        }
    }
    QPainter painter(&page);
    for (int row = 0; row < 60; ++row) {
        int x = 250;
        const int y = 300 + row * 48;
        while (x < 2200) {
            const int word = 40 + int(random.bounded(160));
            painter.fillRect(x, y, std::min(word, 2230 - x), 26, QColor(30, 30, 40));
            x += word + 24;
        }
    }
    painter.end();
    page.setDotsPerMeterX(11811); // 300 dpi, stated in the JFIF header
    page.setDotsPerMeterY(11811);
    return page;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw BenchError(u"cannot write "_s + path);
}

QString tool(const QString &name, const QString &package)
{
    const QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        throw BenchError(name + u" is not installed (Debian package "_s + package + u")"_s);
    return path;
}

void run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw BenchError(QFileInfo(program).fileName() + u" failed: "_s + QString::fromLocal8Bit(process.readAllStandardError()));
}

void writeTextPdf(const QString &path, int pages)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(300);
    QPainter painter(&writer);
    QFont font(u"DejaVu Serif"_s);
    font.setPointSize(11);
    painter.setFont(font);
    const QString sentence = u"Considerando o que consta do processo, a licitação de material de expediente segue "
                             u"para parecer da assessoria jurídica, nos termos do ofício nº %1. "_s;
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.setPen(QPen(Qt::black, 2));
        for (int line = 0; line < 55; ++line)
            painter.drawText(QPointF(80, 120 + line * 55), sentence.arg(page * 100 + line).left(95));
        painter.setPen(QPen(QColor(20, 60, 160), 6));
        painter.setBrush(QColor(220, 230, 250));
        painter.drawEllipse(QRectF(1500, 3150, 500, 250));
        painter.drawRect(QRectF(80, 3150, 1300, 250));
        for (int i = 0; i < 40; ++i)
            painter.drawLine(QPointF(100 + i * 30, 3380), QPointF(120 + i * 30, 3170 + (i * 37) % 200));
    }
}

Fixtures makeFixtures(const Plan &plan, const QString &dir)
{
    Fixtures f;
    f.dir = dir;
    QDir(dir).mkpath(u"scans"_s);
    QList<QByteArray> distinct;
    for (int i = 0; i < plan.distinctScans; ++i) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!scanLikePage(i).save(&buffer, "JPEG", 90))
            throw BenchError(u"cannot encode a scan"_s);
        distinct << bytes;
    }
    for (int i = 0; i < plan.exportPages; ++i) {
        f.scans << QDir(dir).filePath(u"scans/%1.jpg"_s.arg(i + 1, 3, 10, QChar(u'0')));
        writeBytes(f.scans.last(), distinct[i % distinct.size()]);
    }
    f.scannedPdf = QDir(dir).filePath(u"scanned.pdf"_s);
    run(tool(u"img2pdf"_s, u"img2pdf"_s), QStringList(f.scans.mid(0, plan.scannedPages)) << u"-o"_s << f.scannedPdf);
    f.textPdf = QDir(dir).filePath(u"text.pdf"_s);
    writeTextPdf(f.textPdf, plan.textPages);
    return f;
}

// A clean folder for each run's output.
QString freshFolder(const QString &parent, const QString &name)
{
    QDir folder(QDir(parent).filePath(name));
    folder.removeRecursively();
    QDir(parent).mkpath(name);
    return folder.path();
}

Row exportFigure(const Plan &plan, const Fixtures &f)
{
    Row row;
    row.figure = u"exporting %1 scanned A4 pages as PDF/A"_s.arg(plan.exportPages);
    row.target = u"<= 1x img2pdf's time; size within 1% of the pages'"_s;
    const QString img2pdf = tool(u"img2pdf"_s, u"img2pdf"_s);
    pdf::ExportDocument document;
    document.bookmark = u"00001 - OFÍCIO 1"_s;
    qint64 pagesBytes = 0;
    for (const QString &scan : f.scans) {
        document.pages << pdf::ExportPage{pdf::PageSource::file(scan)};
        pagesBytes += QFileInfo(scan).size();
    }
    pdf::ExportMetadata metadata{u"Processo 00001"_s, u"Compras"_s, u"licitação"_s};
    const QString ours = QDir(f.dir).filePath(u"ours.pdf"_s);
    const QString theirs = QDir(f.dir).filePath(u"img2pdf.pdf"_s);

    bench::resetPeakMemory();
    row.samples = bench::measure(plan.runs, {}, [&] {
        if (pdf::exportPdf(ours, metadata, {document}) != pdf::ExportOutcome::Written)
            throw BenchError(u"the export was cancelled"_s);
    });
    row.peakMb = bench::peakMemoryMb();

    bench::Ratio ratio;
    ratio.baseline = u"img2pdf"_s;
    ratio.baselineSamples = bench::measure(plan.baselineRuns, {}, [&] { run(img2pdf, QStringList(f.scans) << u"-o"_s << theirs); });
    ratio.value = row.samples.median() / ratio.baselineSamples.median();
    ratio.text = QString::number(ratio.value, 'f', 2) + u"x img2pdf's time"_s;
    row.ratio = ratio;
    const qint64 size = QFileInfo(ours).size();
    const double overhead = double(size - pagesBytes) / double(pagesBytes);
    row.met = ratio.value <= 1.0 && overhead >= 0 && overhead <= 0.01;
    row.note = u"%1 MB of pages; our file %2 MB (+%3%), img2pdf's %4 MB; img2pdf's time includes starting Python"_s
                   .arg(double(pagesBytes) / 1e6, 0, 'f', 1)
                   .arg(double(size) / 1e6, 0, 'f', 1)
                   .arg(overhead * 100, 0, 'f', 3)
                   .arg(double(QFileInfo(theirs).size()) / 1e6, 0, 'f', 1);
    return row;
}

// Every page of a PDF taken in and written to a file of its own, as a page store would.
int importToFiles(const QString &pdfPath, const QString &folder, pdf::PageOrigin expected)
{
    pdf::PdfImport import(pdfPath);
    for (int i = 0; i < import.pageCount(); ++i) {
        const pdf::ImportedPage page = import.readPage(i);
        if (page.origin != expected)
            throw BenchError(u"page %1 was not taken as expected"_s.arg(i + 1));
        writeBytes(QDir(folder).filePath(u"%1.jpg"_s.arg(i + 1, 3, 10, QChar(u'0'))), page.jpeg);
    }
    return import.pageCount();
}

Row importFigure(const Plan &plan, const QString &figure, const QString &pdfPath, pdf::PageOrigin origin,
                 const QString &baseline, const QString &program, const QStringList &arguments, double target)
{
    Row row;
    row.figure = figure;
    row.target = u"<= %1x %2's time"_s.arg(target).arg(baseline.section(u' ', 0, 0));
    const QString scratch = QFileInfo(pdfPath).absolutePath();
    QString ours, theirs;
    int pages = 0;
    bench::resetPeakMemory();
    row.samples = bench::measure(plan.runs, [&] { ours = freshFolder(scratch, u"ours"_s); },
                                 [&] { pages = importToFiles(pdfPath, ours, origin); });
    row.peakMb = bench::peakMemoryMb();

    bench::Ratio ratio;
    ratio.baseline = baseline;
    ratio.baselineSamples = bench::measure(plan.baselineRuns, [&] { theirs = freshFolder(scratch, u"theirs"_s); },
                                           [&] { run(program, QStringList(arguments) << pdfPath << QDir(theirs).filePath(u"p"_s)); });
    ratio.value = row.samples.median() / ratio.baselineSamples.median();
    ratio.text = QString::number(ratio.value, 'f', 2) + u"x "_s + baseline.section(u' ', 0, 0) + u"'s time"_s;
    row.ratio = ratio;
    row.met = ratio.value <= target;
    qint64 ourBytes = 0, theirBytes = 0;
    for (const QFileInfo &file : QDir(ours).entryInfoList(QDir::Files))
        ourBytes += file.size();
    for (const QFileInfo &file : QDir(theirs).entryInfoList(QDir::Files))
        theirBytes += file.size();
    row.note = u"%1 pages; ours %2 MB, theirs %3 MB"_s.arg(pages)
                   .arg(double(ourBytes) / 1e6, 0, 'f', 1)
                   .arg(double(theirBytes) / 1e6, 0, 'f', 1);
    return row;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv); // QPdfWriter and fonts need a GUI application

    Plan plan;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--small"_s) {
            plan = Plan::small();
        } else if (args[i] == u"--runs"_s && i + 1 < args.size() && args[i + 1].toInt() > 0) {
            plan.runs = plan.baselineRuns = args[++i].toInt();
        } else {
            std::fprintf(stderr, "usage: cartulo-bench-pdf [--small] [--runs N]\n");
            return 2;
        }
    }

    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::fprintf(stderr, "cartulo-bench-pdf: no temporary folder\n");
        return 1;
    }
    Fixtures fixtures;
    try {
        std::fprintf(stderr, "making the files in %s\n", qPrintable(scratch.path()));
        fixtures = makeFixtures(plan, scratch.path());
    } catch (const BenchError &e) {
        std::fprintf(stderr, "cartulo-bench-pdf: %s\n", qPrintable(e.message()));
        return 1;
    }

    const QString loadBefore = bench::loadAverage();
    QList<Row> rows;
    auto measure = [&](const QString &figure, const std::function<Row()> &figureRun) {
        std::fprintf(stderr, "measuring: %s\n", qPrintable(figure));
        try {
            rows << figureRun();
        } catch (const BenchError &e) {
            Row failed;
            failed.figure = figure;
            failed.note = u"FAILED: "_s + e.message();
            rows << failed;
        } catch (const pdf::PdfError &e) {
            Row failed;
            failed.figure = figure;
            failed.note = u"FAILED: "_s + e.message();
            rows << failed;
        }
    };
    measure(u"export"_s, [&] { return exportFigure(plan, fixtures); });
    measure(u"scanned import"_s, [&] {
        return importFigure(plan, u"adding a %1-page scanned PDF"_s.arg(plan.scannedPages), fixtures.scannedPdf,
                            pdf::PageOrigin::Copied, u"pdfimages -j"_s, tool(u"pdfimages"_s, u"poppler-utils"_s), {u"-j"_s}, 1.5);
    });
    measure(u"text import"_s, [&] {
        return importFigure(plan, u"adding a %1-page text and vector PDF"_s.arg(plan.textPages), fixtures.textPdf,
                            pdf::PageOrigin::Rendered, u"pdftoppm -r 300 -jpeg"_s, tool(u"pdftoppm"_s, u"poppler-utils"_s),
                            {u"-r"_s, u"300"_s, u"-jpeg"_s}, 1.2);
    });

    bench::printTable(rows, u"Cartulo PDF benchmark%1: %2 cores, load average %3 before and %4 after. \"met\": the ratio "
                            u"of the medians within the target."_s
                                .arg(plan.runs == 1 ? u" (small: the times mean nothing)"_s : QString())
                                .arg(QThread::idealThreadCount())
                                .arg(loadBefore, bench::loadAverage()));
    bool allMeasured = true;
    for (const Row &row : rows)
        allMeasured = allMeasured && row.met.has_value();
    return allMeasured ? 0 : 1;
}
