// A feeder batch from SANE's test backend (its feeder runs empty after 10 pages) at
// 300 dpi, grey, A4: "Adquirir" to the tenth page stored, beside scanimage --batch writing
// JPEG from the same device with the same settings.

#include "bench/Figures.h"

#include "documents/FeederScan.h"
#include "documents/Scanner.h"
#include "editing/JpegImage.h"
#include "pages/PageStore.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

const QString kFeeder = u"Automatic Document Feeder"_s;

// The test backend with an A4 page (its scan area stops at 200 mm unless told otherwise);
// mode, source and resolution are set by each program as a user would.
QString sanePlace(const Context &context)
{
    const QString dir = QDir(context.scratchDir).filePath(u"sane"_s);
    QDir().mkpath(dir);
    writeFile(QDir(dir).filePath(u"dll.conf"_s), "test\n");
    writeFile(QDir(dir).filePath(u"test.conf"_s),
              "number_of_devices 1\nmode Color\ndepth 8\nhand-scanner false\nthree-pass false\n"
              "resolution_min 1.0\nresolution_max 1200.0\nresolution_quant 1.0\nresolution 75.0\n"
              "test-picture \"Color pattern\"\nread-limit false\nread-delay false\n"
              "read-status-code \"Default\"\nnon-blocking false\nselect-fd false\n"
              "geometry_min 0.0\ngeometry_max 300.0\ngeometry_quant 1.0\ntl_x 0.0\ntl_y 0.0\nbr_x 210.0\nbr_y 297.0\n");
    return dir;
}

// SANE reads its configuration folder at every sane_init; the environment goes back as it was.
class SaneConfig {
public:
    explicit SaneConfig(const QString &dir) : m_before(qgetenv("SANE_CONFIG_DIR")), m_had(qEnvironmentVariableIsSet("SANE_CONFIG_DIR"))
    {
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(dir));
    }
    ~SaneConfig()
    {
        if (m_had)
            qputenv("SANE_CONFIG_DIR", m_before);
        else
            qunsetenv("SANE_CONFIG_DIR");
    }

private:
    QByteArray m_before;
    bool m_had;
};

} // namespace

Row scanBatchFigure(const Context &context)
{
    Row row;
    row.figure = u"a 10-sheet feeder batch, 300-dpi grey A4"_s;
    row.target = u"<= 1.1x the time of scanimage --batch (JPEG)"_s;
    const QString scanimage = QStandardPaths::findExecutable(u"scanimage"_s);
    if (scanimage.isEmpty())
        throw BenchError(u"scanimage is not installed (package sane-utils)"_s);
    const SaneConfig config(sanePlace(context));
    const QString programDir = QDir(context.scratchDir).filePath(u"scan-batch"_s);
    const QString pageFolder = QDir(programDir).filePath(u"dados/laudas"_s);
    const QString theirs = QDir(context.scratchDir).filePath(u"scanimage"_s);
    const pages::DocumentKey key{u"00001"_s, u"00001"_s};
    const auto store = pages::openPageStore(programDir, nullptr);
    auto emptyFolders = [&] {
        for (const QString &dir : {pageFolder, theirs}) {
            QDir(dir).removeRecursively();
            QDir().mkpath(dir);
        }
    };

    resetPeakMemory();
    Ratio ratio;
    ratio.baseline = u"scanimage --batch --format=jpeg"_s;
    const int runs = std::max(3, context.baselineRuns);
    int stored = 0;
    for (int i = 0; i < runs; ++i) {
        emptyFolders();
        // From the click on "Adquirir" once the feeder is chosen: SANE loaded, the device
        // opened and set, every page read, encoded and stored as the next page.
        Stopwatch clock;
        documents::Scanner scanner;
        scanner.setSettings({u"test:0"_s, u"Gray"_s, 300, kFeeder});
        documents::FeederScan feeder(scanner, *store);
        stored = feeder.run(nullptr, {key, 0, 0}, [](const QString &, const QImage &) {});
        row.samples.add(clock.elapsedMs());
        clock.restart();
        runTool(scanimage, {u"-d"_s, u"test:0"_s, u"--source"_s, kFeeder, u"--mode"_s, u"Gray"_s, u"--resolution"_s,
                            u"300"_s, u"--format=jpeg"_s, u"--batch="_s + QDir(theirs).filePath(u"page%d.jpg"_s)});
        ratio.baselineSamples.add(clock.elapsedMs());
    }
    row.peakMb = peakMemoryMb();
    if (stored != 10 || store->pageCount(key) != 10)
        throw BenchError(u"the batch stored %1 pages, not 10"_s.arg(stored));
    const QSize ours = editing::jpeg::imageSize(editing::jpeg::readFile(QDir(pageFolder).filePath(pages::PageStore::pageName(key, 10))));
    const QSize scanned = editing::jpeg::imageSize(editing::jpeg::readFile(QDir(theirs).filePath(u"page10.jpg"_s)));
    if (ours != scanned)
        throw BenchError(u"pages of %1 x %2 beside scanimage's %3 x %4"_s.arg(ours.width()).arg(ours.height())
                             .arg(scanned.width()).arg(scanned.height()));
    ratio.value = row.samples.median() / ratio.baselineSamples.median();
    ratio.text = QString::number(ratio.value, 'f', 2) + u"x scanimage's time"_s;
    row.ratio = ratio;
    row.met = ratio.value <= 1.1;
    row.note = u"%1 x %2 pixels a page; scanimage median %3; ours written whole (temporary file, fdatasync, rename) "
               u"at quality 90, scanimage plainly at its default quality 75"_s
                   .arg(ours.width()).arg(ours.height()).arg(formatMs(ratio.baselineSamples.median()));
    emptyFolders();
    return row;
}

} // namespace bench
