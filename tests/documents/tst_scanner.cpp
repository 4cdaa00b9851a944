#include "tests/support/TestPaths.h"
#include "documents/ImagePreview.h"
#include "documents/ScanImg.h"
#include "documents/Scanner.h"
#include "editing/JpegImage.h"
#include "editing/Prompt.h"
#include "scan/BlankPage.h"
#include "scan/ScanMemory.h"
#include "tests/support/WhenShown.h"

#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <dlfcn.h>
#include <functional>
#include <sane/sane.h>

using namespace Qt::StringLiterals;
using documents::ImagePreview;
using documents::Scanner;
using documents::ScanSettings;
using documents::TScanImage;

using Options = QList<QPair<QString, QString>>;
using Pixels = QList<QPair<QPoint, QRgb>>;
Q_DECLARE_METATYPE(Options)
Q_DECLARE_METATYPE(Pixels)

namespace {

// SANE's test backend, configured for one test through a private configuration folder.
// Its settings are read at sane_init, so every load() sees the last written test.conf.
class TestBackend {
public:
    TestBackend()
    {
        useBackend("test");
        configure({});
    }
    QString path() const { return m_dir.path(); }

    /// The one backend SANE loads from now on ("test", or "cartulofake" for frames as told).
    void useBackend(const QByteArray &name) { writeFile(u"dll.conf"_s, name + '\n'); }
    /// The frames the fake backend reports, one line each (see fakesane/).
    void fakeFrames(const QByteArray &lines) { writeFile(u"cartulofake.conf"_s, lines); }

    // The defaults are those of Debian's test.conf, at 25 dpi to keep pages small:
    // an 80 x 100 mm page is then 78 x 98 pixels.
    void configure(const Options &overrides)
    {
        QList<QPair<QString, QString>> settings = {
            {u"number_of_devices"_s, u"2"_s}, {u"mode"_s, u"Gray"_s}, {u"depth"_s, u"8"_s},
            {u"hand-scanner"_s, u"false"_s}, {u"three-pass"_s, u"false"_s}, {u"three-pass-order"_s, u"RGB"_s},
            {u"resolution_min"_s, u"1.0"_s}, {u"resolution_max"_s, u"1200.0"_s}, {u"resolution_quant"_s, u"1.0"_s},
            {u"resolution"_s, u"25.0"_s}, {u"test-picture"_s, u"\"Solid black\""_s},
            {u"read-limit"_s, u"false"_s}, {u"read-limit-size"_s, u"1"_s}, {u"read-delay"_s, u"false"_s},
            {u"read-delay-duration"_s, u"1000"_s}, {u"read-status-code"_s, u"\"Default\""_s},
            {u"ppl-loss"_s, u"0"_s}, {u"non-blocking"_s, u"false"_s}, {u"select-fd"_s, u"false"_s},
        };
        for (const auto &[key, value] : overrides) {
            bool replaced = false;
            for (auto &setting : settings)
                if (setting.first == key) {
                    setting.second = value;
                    replaced = true;
                }
            if (!replaced)
                settings.append({key, value});
        }
        QByteArray text;
        for (const auto &[key, value] : settings)
            text += key.toUtf8() + ' ' + value.toUtf8() + '\n';
        writeFile(u"test.conf"_s, text);
    }

private:
    void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QTemporaryDir m_dir;
};


bool near(QRgb a, QRgb b, int tolerance = 2)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

bool sameImage(const QImage &a, const QImage &b, int tolerance = 1)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (!near(a.pixel(x, y), b.pixel(x, y), tolerance))
                return false;
    return true;
}

} // namespace

class TestScanner : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void readsColourPattern_data();
    void readsColourPattern();
    void readsGreyPattern_data();
    void readsGreyPattern();
    void readsLineArt_data();
    void readsLineArt();
    void dropsLinePadding();
    void readsPageOfUnknownLength();
    void appliesChosenModeAndResolution();
    void cancelStoresNothing();
    void failedReadDeliversNothing_data();
    void failedReadDeliversNothing();
    void sourceDialogListsDevicesAndRemembersChoice();
    void scanImageFillsItsPreviewOnly();
    void scanImageForgetsDestroyedPreview();
    void malformedFramesDeliverNothing_data();
    void malformedFramesDeliverNothing();
    void soundFramesFromTheFakeBackend_data();
    void soundFramesFromTheFakeBackend();
    void sourceDialogOffersTheDeviceSources();
    void deviceWithoutFeederOffersNone_data();
    void deviceWithoutFeederOffersNone();
    void resolutionsFollowTheMode();
    void choiceKeptPerDeviceBetweenUses();
    void feederBatchReadsUntilEmpty();
    void feederBatchKeepsTheDeviceOrder_data();
    void feederBatchKeepsTheDeviceOrder();
    void blankPages_data();
    void blankPages();

private:
    /// Opens the source dialog, lets `act` work on it, then presses OK (or Cancel).
    int chooseInDialog(Scanner &scanner, const std::function<void(QDialog *)> &act, bool ok = true);
    QImage scan(const Options &options, const ScanSettings &settings = {u"test:0"_s, {}, 0});
    std::unique_ptr<TestBackend> m_backend;
    QImage m_colourReference;
};

void TestScanner::initTestCase()
{
    // SANE unloads the test backend at every sane_exit; pinned here, the leak checker can
    // still name it (the backend keeps a few buffers of its own).
    Dl_info sane{};
    if (dladdr(reinterpret_cast<void *>(&sane_init), &sane) && sane.dli_fname) {
        const QString backend = QFileInfo(QFile::decodeName(sane.dli_fname)).absolutePath() + u"/sane/libsane-test.so.1"_s;
        dlopen(QFile::encodeName(backend).constData(), RTLD_NOW | RTLD_NODELETE);
    }
    m_backend = std::make_unique<TestBackend>();
    qputenv("SANE_CONFIG_DIR", m_backend->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_backend->path().toLocal8Bit()); // the choices kept between uses
    // SANE's dll backend looks for backends in these folders before its own.
    qputenv("LD_LIBRARY_PATH", testsupport::fakeSaneDir() + ':' + qgetenv("LD_LIBRARY_PATH"));
    m_colourReference = scan({{u"mode"_s, u"Color"_s}, {u"test-picture"_s, u"\"Color pattern\""_s}});
    QCOMPARE(m_colourReference.size(), QSize(78, 98));
}

void TestScanner::init()
{
    m_backend->useBackend("test");
    m_backend->configure({});
    scan::ScanMemory().clear();
}

QImage TestScanner::scan(const Options &options, const ScanSettings &settings)
{
    m_backend->configure(options);
    Scanner scanner;
    scanner.setSettings(settings);
    if (scanner.load() <= 0)
        return {};
    const int result = scanner.acquire(nullptr);
    scanner.unload();
    if (result <= 0) {
        qWarning() << "scan failed:" << scanner.lastError();
        return {};
    }
    return scanner.takeImage();
}

void TestScanner::readsColourPattern_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<Pixels>("pixels");
    const Options colour = {{u"mode"_s, u"Color"_s}, {u"test-picture"_s, u"\"Color pattern\""_s}};
    // At 8 bits: a grey background, then bands of red, green and blue from the top.
    const Pixels bands = {{{0, 0}, qRgb(85, 85, 85)}, {{7, 9}, qRgb(254, 0, 0)},
                          {{7, 18}, qRgb(0, 254, 0)}, {{7, 27}, qRgb(0, 0, 254)}};
    // At 16 bits the backend draws a red ramp instead.
    const Pixels ramp = {{{0, 0}, qRgb(85, 85, 85)}, {{7, 9}, qRgb(3, 0, 0)}, {{14, 9}, qRgb(10, 0, 0)},
                         {{70, 54}, qRgb(66, 0, 0)}};
    QTest::newRow("8 bit") << colour << bands;
    QTest::newRow("three-pass RGB") << colour + Options{{u"three-pass"_s, u"true"_s}} << bands;
    QTest::newRow("three-pass BGR") << colour + Options{{u"three-pass"_s, u"true"_s}, {u"three-pass-order"_s, u"BGR"_s}} << bands;
    QTest::newRow("non-blocking, select fd") << colour + Options{{u"non-blocking"_s, u"true"_s}, {u"select-fd"_s, u"true"_s}} << bands;
    QTest::newRow("small reads") << colour + Options{{u"read-limit"_s, u"true"_s}, {u"read-limit-size"_s, u"100"_s}} << bands;
    QTest::newRow("16 bit") << colour + Options{{u"depth"_s, u"16"_s}} << ramp;
    QTest::newRow("three-pass 16 bit") << colour + Options{{u"three-pass"_s, u"true"_s}, {u"depth"_s, u"16"_s}} << ramp;
}

void TestScanner::readsColourPattern()
{
    QFETCH(Options, options);
    QFETCH(Pixels, pixels);
    const QImage image = scan(options);
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(image.size(), QSize(78, 98));
    for (const auto &[at, rgb] : pixels)
        QVERIFY2(near(image.pixel(at), rgb, 1),
                 qPrintable(u"at %1,%2: %3"_s.arg(at.x()).arg(at.y()).arg(image.pixel(at), 0, 16)));
    if (pixels.at(1).second == qRgb(254, 0, 0))
        QVERIFY(sameImage(image, m_colourReference, 0));
}

void TestScanner::readsGreyPattern_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<Pixels>("pixels");
    const Options grey = {{u"mode"_s, u"Gray"_s}, {u"test-picture"_s, u"\"Color pattern\""_s}};
    QTest::newRow("8 bit") << grey
                           << Pixels{{{0, 0}, qRgb(85, 85, 85)}, {{7, 9}, qRgb(254, 254, 254)}, {{7, 54}, qRgb(1, 1, 1)}};
    QTest::newRow("16 bit") << grey + Options{{u"depth"_s, u"16"_s}}
                            << Pixels{{{0, 0}, qRgb(85, 85, 85)}, {{7, 9}, qRgb(3, 3, 3)}, {{70, 90}, qRgb(66, 66, 66)}};
}

void TestScanner::readsGreyPattern()
{
    QFETCH(Options, options);
    QFETCH(Pixels, pixels);
    const QImage image = scan(options);
    QCOMPARE(image.size(), QSize(78, 98));
    for (const auto &[at, rgb] : pixels)
        QVERIFY2(near(image.pixel(at), rgb, 1),
                 qPrintable(u"at %1,%2: %3"_s.arg(at.x()).arg(at.y()).arg(image.pixel(at), 0, 16)));
}

void TestScanner::readsLineArt_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QRgb>("everywhere"); // 0: not one colour
    QTest::newRow("solid black") << u"\"Solid black\""_s << qRgb(0, 0, 0);
    QTest::newRow("solid white") << u"\"Solid white\""_s << qRgb(255, 255, 255);
    QTest::newRow("grid") << u"\"Grid\""_s << QRgb(0);
}

// One-bit pages: a set bit is black. The grid looks the same at every depth.
void TestScanner::readsLineArt()
{
    QFETCH(QString, picture);
    QFETCH(QRgb, everywhere);
    const QImage lineArt = scan({{u"mode"_s, u"Gray"_s}, {u"depth"_s, u"1"_s}, {u"test-picture"_s, picture}});
    QCOMPARE(lineArt.size(), QSize(78, 98));
    if (everywhere != 0) {
        for (int y = 0; y < lineArt.height(); ++y)
            for (int x = 0; x < lineArt.width(); ++x)
                QVERIFY2(lineArt.pixel(x, y) == everywhere, qPrintable(u"at %1,%2"_s.arg(x).arg(y)));
        return;
    }
    const QImage grey = scan({{u"mode"_s, u"Gray"_s}, {u"depth"_s, u"8"_s}, {u"test-picture"_s, picture}});
    QVERIFY(sameImage(lineArt, grey, 0));
    QVERIFY(lineArt.pixel(0, 0) != lineArt.pixel(15, 0)); // a real grid, not a flat page
}

// Lines longer than their pixels (bytes_per_line padding) keep only the pixels.
void TestScanner::dropsLinePadding()
{
    const Options grid = {{u"mode"_s, u"Color"_s}, {u"test-picture"_s, u"\"Grid\""_s}};
    const QImage whole = scan(grid);
    const QImage padded = scan(grid + Options{{u"ppl-loss"_s, u"5"_s}});
    QCOMPARE(padded.size(), QSize(73, 98));
    QVERIFY(sameImage(padded, whole.copy(0, 0, 73, 98), 0));
}

// A hand scanner does not know the height in advance (lines == -1).
void TestScanner::readsPageOfUnknownLength()
{
    const QImage image = scan({{u"mode"_s, u"Color"_s}, {u"hand-scanner"_s, u"true"_s}, {u"test-picture"_s, u"\"Grid\""_s}});
    QVERIFY(!image.isNull());
    QCOMPARE(image.width(), 108); // 11 cm at 25 dpi
    QVERIFY(image.height() > 50);
}

void TestScanner::appliesChosenModeAndResolution()
{
    // test.conf says grey at 25 dpi; the choice says colour at 50.
    const QImage image = scan({{u"test-picture"_s, u"\"Color pattern\""_s}}, {u"test:1"_s, u"Color"_s, 50});
    QCOMPARE(image.size(), QSize(157, 196));
    QVERIFY(near(image.pixel(7, 9), qRgb(254, 0, 0), 1));
    QVERIFY(near(image.pixel(7, 18), qRgb(0, 254, 0), 1));
    QVERIFY(near(image.pixel(7, 27), qRgb(0, 0, 254), 1));
}

void TestScanner::cancelStoresNothing()
{
    // Slow enough to be caught part-way: a 3 MB page arrives in 64 KB pieces, 0.1 s apart.
    m_backend->configure({{u"mode"_s, u"Color"_s}, {u"resolution"_s, u"300.0"_s},
                          {u"read-delay"_s, u"true"_s}, {u"read-delay-duration"_s, u"100000"_s}});
    Scanner scanner;
    scanner.setSettings({u"test:0"_s, {}, 0});
    QCOMPARE(scanner.load(), 1);
    bool sawDialog = false;
    whenShown(u"DlgScanProgress"_s, [&](QDialog *dialog) {
        sawDialog = dialog->isModal();
        auto *cancel = dialog->findChild<QPushButton *>(u"BtnCancelar"_s);
        auto *bar = dialog->findChild<QProgressBar *>(u"PrgScan"_s);
        QVERIFY(cancel && bar);
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000); // the page's progress shows
        QVERIFY(bar->value() < 100);
        QCOMPARE(cancel->text(), u"Cancelar"_s);
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    QCOMPARE(scanner.acquire(nullptr), 0);
    scanner.unload();
    QVERIFY(sawDialog);
    QVERIFY(scanner.lastWasCancelled());
    QVERIFY(scanner.takeImage().isNull());
    QVERIFY(scanner.lastError().isEmpty());
}

void TestScanner::failedReadDeliversNothing_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::newRow("jammed") << QByteArray("JAMMED");
    QTest::newRow("feeder empty") << QByteArray("NO_DOCS");
    QTest::newRow("device gone") << QByteArray("IO_ERROR");
}

// Failures come from the fake backend: the test backend, told to fail its first read,
// cancels its own reader thread asynchronously while that thread may still be inside
// malloc, which leaves the allocator's lock taken for good (the process then hangs).
void TestScanner::failedReadDeliversNothing()
{
    QFETCH(QByteArray, status);
    m_backend->useBackend("cartulofake");
    m_backend->fakeFrames("gray 8 10 10 4 1 " + status);
    Scanner scanner;
    scanner.setSettings({u"cartulofake:0"_s, {}, 0});
    QCOMPARE(scanner.load(), 1);
    QCOMPARE(scanner.acquire(nullptr), 0);
    scanner.unload();
    QVERIFY(!scanner.lastWasCancelled());
    QVERIFY2(scanner.lastError().startsWith(u"A leitura da página falhou: "_s), qPrintable(scanner.lastError()));
    QVERIFY(scanner.takeImage().isNull());
}

void TestScanner::sourceDialogListsDevicesAndRemembersChoice()
{
    Scanner scanner;
    QVERIFY(!scanner.settings());
    QStringList rows;
    QStringList modes;
    whenShown(u"DlgScanSource"_s, [&](QDialog *dialog) {
        auto *list = dialog->findChild<QTreeWidget *>(u"LstScanners"_s);
        auto *mode = dialog->findChild<QComboBox *>(u"CmbModo"_s);
        auto *resolution = dialog->findChild<QComboBox *>(u"CmbResolucao"_s);
        QVERIFY(list && mode && resolution);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = list->topLevelItem(i);
            rows << item->text(0) + u'|' + item->text(1) + u'|' + item->text(2);
        }
        list->setCurrentItem(list->topLevelItem(1));
        for (int i = 0; i < mode->count(); ++i)
            modes << mode->itemData(i).toString();
        mode->setCurrentIndex(mode->findData(u"Color"_s));
        resolution->setCurrentIndex(resolution->findData(300));
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    QCOMPARE(scanner.selectSource(nullptr), 1);
    QCOMPARE(rows, (QStringList{u"Noname|frontend-tester|test:0"_s, u"Noname|frontend-tester|test:1"_s}));
    QCOMPARE(modes, (QStringList{u"Gray"_s, u"Color"_s}));
    QVERIFY(scanner.settings());
    QCOMPARE(*scanner.settings(), (ScanSettings{u"test:1"_s, u"Color"_s, 300, u"Flatbed"_s}));
    QVERIFY(!scanner.isLoaded()); // the dialog loaded SANE for itself and let it go

    // The next time the choice is preselected; cancelling keeps it.
    QString shownDevice;
    QVariant shownMode;
    QVariant shownResolution;
    whenShown(u"DlgScanSource"_s, [&](QDialog *dialog) {
        shownDevice = dialog->findChild<QTreeWidget *>(u"LstScanners"_s)->currentItem()->text(2);
        shownMode = dialog->findChild<QComboBox *>(u"CmbModo"_s)->currentData();
        shownResolution = dialog->findChild<QComboBox *>(u"CmbResolucao"_s)->currentData();
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    QCOMPARE(scanner.selectSource(nullptr), 0);
    QCOMPARE(shownDevice, u"test:1"_s);
    QCOMPARE(shownMode.toString(), u"Color"_s);
    QCOMPARE(shownResolution.toInt(), 300);
    QCOMPARE(*scanner.settings(), (ScanSettings{u"test:1"_s, u"Color"_s, 300, u"Flatbed"_s}));
}

void TestScanner::scanImageFillsItsPreviewOnly()
{
    m_backend->configure({{u"mode"_s, u"Color"_s}, {u"test-picture"_s, u"\"Color pattern\""_s}});
    QApplication::clipboard()->setText(u"texto do usuário"_s);
    TScanImage ex;
    ex.scanner().setSettings({u"test:0"_s, {}, 0});
    QCOMPARE(ex.Acquire(nullptr), 0); // no ScanedImage: nothing to fill

    ImagePreview preview;
    preview.resize(209, 243);
    preview.showIcon();
    ex.setScanedImage(&preview);
    QCOMPARE(ex.Acquire(nullptr), 1);
    QCOMPARE(preview.content(), ImagePreview::Content::Bitmap);
    QVERIFY(sameImage(preview.takeBitmapOrClear(), m_colourReference, 0));
    QVERIFY(!ex.scanner().isLoaded()); // unloaded after each acquisition
    QCOMPARE(QApplication::clipboard()->text(), u"texto do usuário"_s);
}

void TestScanner::scanImageForgetsDestroyedPreview()
{
    TScanImage ex;
    auto preview = std::make_unique<ImagePreview>();
    ex.setScanedImage(preview.get());
    QCOMPARE(ex.ScanedImage(), preview.get());
    QCOMPARE(ex.property("ScanedImage").value<ImagePreview *>(), preview.get());
    preview.reset();
    QCOMPARE(ex.ScanedImage(), nullptr);
    QCOMPARE(ex.Acquire(nullptr), 0);
}

void TestScanner::malformedFramesDeliverNothing_data()
{
    QTest::addColumn<QByteArray>("frames"); // format depth pixels bytes-per-line lines last
    QTest::addColumn<QString>("why");
    QTest::newRow("depth 7") << QByteArray("gray 7 10 10 4 1") << u"7 bits por amostra"_s;
    QTest::newRow("depth 0") << QByteArray("gray 0 10 10 4 1") << u"0 bits por amostra"_s;
    QTest::newRow("depth 12") << QByteArray("rgb 12 10 60 4 1") << u"12 bits por amostra"_s;
    QTest::newRow("grey line too short") << QByteArray("gray 8 10 9 4 1") << u"linhas de 9 bytes para 10 pixels"_s;
    QTest::newRow("colour line too short") << QByteArray("rgb 8 10 29 4 1") << u"linhas de 29 bytes"_s;
    QTest::newRow("16-bit line too short") << QByteArray("gray 16 10 19 4 1") << u"linhas de 19 bytes"_s;
    QTest::newRow("line-art line too short") << QByteArray("gray 1 17 2 4 1") << u"linhas de 2 bytes"_s;
    QTest::newRow("negative line length") << QByteArray("gray 8 10 -10 4 1") << u"linhas de -10 bytes"_s;
    QTest::newRow("unknown format") << QByteArray("7 8 10 10 4 1") << u"formato de quadro desconhecido (7)"_s;
    QTest::newRow("no pixels") << QByteArray("gray 8 0 10 4 1") << u"0 pixels por linha"_s;
    QTest::newRow("lines below -1") << QByteArray("gray 8 10 10 -5 1") << u"-5 linhas"_s;
    QTest::newRow("a colour missing") << QByteArray("red 8 10 10 4 0\ngreen 8 10 10 4 1")
                                      << u"faltam cores"_s;
    QTest::newRow("a colour twice") << QByteArray("red 8 10 10 4 0\nred 8 10 10 4 0\nblue 8 10 10 4 1")
                                    << u"a mesma cor enviada duas vezes"_s;
    QTest::newRow("colours of other widths") << QByteArray("red 8 10 10 4 0\ngreen 8 12 12 4 0\nblue 8 10 10 4 1")
                                             << u"quadros de tamanhos diferentes"_s;
    QTest::newRow("grey among colours") << QByteArray("red 8 10 10 4 0\ngray 8 10 10 4 1")
                                        << u"um quadro de outro tipo"_s;
}

// What no page can be made of ends the acquisition with a message, never with a page
// read past its lines or a black one.
void TestScanner::malformedFramesDeliverNothing()
{
    QFETCH(QByteArray, frames);
    QFETCH(QString, why);
    m_backend->useBackend("cartulofake");
    m_backend->fakeFrames(frames);
    Scanner scanner;
    scanner.setSettings({u"cartulofake:0"_s, {}, 0});
    QCOMPARE(scanner.load(), 1);
    QCOMPARE(scanner.acquire(nullptr), 0);
    scanner.unload();
    QVERIFY(!scanner.lastWasCancelled());
    QVERIFY(scanner.takeImage().isNull());
    QVERIFY2(scanner.lastError().startsWith(u"O scanner enviou dados de imagem inválidos: "_s),
             qPrintable(scanner.lastError()));
    QVERIFY2(scanner.lastError().contains(why), qPrintable(scanner.lastError()));
}

void TestScanner::soundFramesFromTheFakeBackend_data()
{
    QTest::addColumn<QByteArray>("frames");
    QTest::addColumn<QSize>("size");
    QTest::newRow("grey, padded lines") << QByteArray("gray 8 10 12 4 1") << QSize(10, 4);
    QTest::newRow("three colours") << QByteArray("blue 8 10 10 4 0\nred 8 10 10 4 0\ngreen 8 10 10 4 1")
                                   << QSize(10, 4);
    // A grey frame, or the third colour, ends the page whatever it says: starting again
    // would feed the next sheet.
    QTest::newRow("grey not marked last") << QByteArray("gray 8 10 10 4 0\ngray 8 10 10 6 1") << QSize(10, 4);
    QTest::newRow("third colour not marked last")
        << QByteArray("red 8 10 10 4 0\ngreen 8 10 10 4 0\nblue 8 10 10 4 0\nred 8 10 10 6 1") << QSize(10, 4);
}

// The fake backend itself delivers pages when what it reports is sound.
void TestScanner::soundFramesFromTheFakeBackend()
{
    QFETCH(QByteArray, frames);
    QFETCH(QSize, size);
    m_backend->useBackend("cartulofake");
    m_backend->fakeFrames(frames);
    Scanner scanner;
    scanner.setSettings({u"cartulofake:0"_s, {}, 0});
    QCOMPARE(scanner.load(), 1);
    QCOMPARE(scanner.acquire(nullptr), 1);
    scanner.unload();
    const QImage image = scanner.takeImage();
    QCOMPARE(image.size(), size);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, y), qRgb(0x80, 0x80, 0x80));
}

namespace {

QStringList itemData(const QComboBox *box)
{
    QStringList values;
    for (int i = 0; i < box->count(); ++i)
        values << box->itemData(i).toString();
    return values;
}

QComboBox *combo(QDialog *dialog, const QString &name)
{
    auto *box = dialog->findChild<QComboBox *>(name);
    if (!box)
        qFatal("no %s in the source dialog", qPrintable(name));
    return box;
}

void choose(QComboBox *box, const QVariant &value)
{
    const int index = box->findData(value);
    QVERIFY2(index >= 0, qPrintable(value.toString()));
    box->setCurrentIndex(index);
}

QTreeWidgetItem *deviceRow(QDialog *dialog, const QString &device)
{
    auto *list = dialog->findChild<QTreeWidget *>(u"LstScanners"_s);
    for (int i = 0; list && i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(2) == device)
            return list->topLevelItem(i);
    return nullptr;
}

// A grey page of `fill` with `ink` black points spread over its middle.
QImage pageWithInk(QSize size, int ink, int fill = 255)
{
    QImage page(size, QImage::Format_RGB32);
    page.fill(qRgb(fill, fill, fill));
    for (int i = 0; i < ink; ++i)
        page.setPixel(size.width() / 4 + (i * 7) % (size.width() / 2), size.height() / 4 + (i * 13) % (size.height() / 2),
                      qRgb(0, 0, 0));
    return page;
}

} // namespace

int TestScanner::chooseInDialog(Scanner &scanner, const std::function<void(QDialog *)> &act, bool ok)
{
    bool shown = false;
    whenShown(u"DlgScanSource"_s, [&](QDialog *dialog) {
        shown = true;
        act(dialog);
        const auto which = ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel;
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(which), Qt::LeftButton);
    });
    const int result = scanner.selectSource(nullptr);
    [&] { QVERIFY(shown); }();
    return result;
}

// "Fonte" lists the backend's own names; the feeder alone offers to skip blank pages.
void TestScanner::sourceDialogOffersTheDeviceSources()
{
    Scanner scanner;
    QStringList offered;
    QString shownFirst;
    QString label;
    QString accessible;
    bool skipOnFlatbed = true;
    bool skipOnFeeder = false;
    QCOMPARE(chooseInDialog(scanner, [&](QDialog *dialog) {
                 QComboBox *source = combo(dialog, u"CmbFonte"_s);
                 offered = itemData(source);
                 shownFirst = source->currentData().toString();
                 auto *form = dialog->findChild<QFormLayout *>();
                 if (auto *text = qobject_cast<QLabel *>(form->labelForField(source)))
                     label = text->text().remove(u'&');
                 accessible = source->accessibleName();
                 auto *skip = dialog->findChild<QCheckBox *>(u"ChkPularBrancas"_s);
                 skipOnFlatbed = skip->isEnabled();
                 choose(source, u"Automatic Document Feeder"_s);
                 skipOnFeeder = skip->isEnabled();
             }),
             1);
    QCOMPARE(offered, (QStringList{u"Flatbed"_s, u"Automatic Document Feeder"_s}));
    QCOMPARE(shownFirst, u"Flatbed"_s);
    QCOMPARE(label, u"Fonte"_s);
    QCOMPARE(accessible, u"Fonte"_s);
    QVERIFY(!skipOnFlatbed);
    QVERIFY(skipOnFeeder);
    QCOMPARE(scanner.settings()->source, u"Automatic Document Feeder"_s);
    QVERIFY(scanner.feederChosen());
}

void TestScanner::deviceWithoutFeederOffersNone_data()
{
    QTest::addColumn<QByteArray>("configuration");
    QTest::addColumn<QStringList>("sources");
    QTest::newRow("flatbed only") << QByteArray("source Flatbed\ngray 8 10 10 4 1\n") << QStringList{u"Flatbed"_s};
    QTest::newRow("no source option") << QByteArray("gray 8 10 10 4 1\n") << QStringList{};
}

void TestScanner::deviceWithoutFeederOffersNone()
{
    QFETCH(QByteArray, configuration);
    QFETCH(QStringList, sources);
    m_backend->useBackend("cartulofake");
    m_backend->fakeFrames(configuration);
    Scanner scanner;
    QStringList offered;
    bool enabled = true;
    bool skipEnabled = true;
    QCOMPARE(chooseInDialog(scanner, [&](QDialog *dialog) {
                 offered = itemData(combo(dialog, u"CmbFonte"_s));
                 enabled = combo(dialog, u"CmbFonte"_s)->isEnabled();
                 skipEnabled = dialog->findChild<QCheckBox *>(u"ChkPularBrancas"_s)->isEnabled();
             }),
             1);
    QCOMPARE(offered, sources);
    QCOMPARE(enabled, !sources.isEmpty());
    QVERIFY(!skipEnabled);
    QVERIFY(!scanner.feederChosen());
    // "Adquirir" then reads one page, as from any flatbed.
    QCOMPARE(scanner.load(), 1);
    QCOMPARE(scanner.acquire(nullptr), 1);
    scanner.unload();
    QCOMPARE(scanner.takeImage().size(), QSize(10, 4));
}

void TestScanner::resolutionsFollowTheMode()
{
    m_backend->useBackend("cartulofake");
    m_backend->fakeFrames("mode Gray:75,150,300|Color:100,200\ngray 8 10 10 4 1\n");
    Scanner scanner;
    QList<QStringList> resolutions;
    QCOMPARE(chooseInDialog(scanner, [&](QDialog *dialog) {
                 QComboBox *mode = combo(dialog, u"CmbModo"_s);
                 QComboBox *resolution = combo(dialog, u"CmbResolucao"_s);
                 QCOMPARE(mode->currentData().toString(), u"Gray"_s);
                 resolutions << itemData(resolution);
                 choose(resolution, 150);
                 choose(mode, u"Color"_s);
                 resolutions << itemData(resolution);
                 resolutions << QStringList{resolution->currentData().toString()}; // the nearest to 150
                 choose(resolution, 200);
                 choose(mode, u"Gray"_s);
                 resolutions << itemData(resolution);
                 choose(mode, u"Color"_s);
                 choose(resolution, 200);
             }),
             1);
    QCOMPARE(resolutions, (QList<QStringList>{{u"75"_s, u"150"_s, u"300"_s},
                                              {u"100"_s, u"200"_s},
                                              {u"100"_s},
                                              {u"75"_s, u"150"_s, u"300"_s}}));
    QCOMPARE(scanner.settings()->mode, u"Color"_s);
    QCOMPARE(scanner.settings()->resolution, 200);
}

// Each device keeps its own choice, and the device used last comes first, in a later run.
void TestScanner::choiceKeptPerDeviceBetweenUses()
{
    {
        Scanner firstRun;
        QCOMPARE(chooseInDialog(firstRun, [&](QDialog *dialog) {
                     dialog->findChild<QTreeWidget *>(u"LstScanners"_s)->setCurrentItem(deviceRow(dialog, u"test:0"_s));
                     choose(combo(dialog, u"CmbModo"_s), u"Gray"_s);
                     choose(combo(dialog, u"CmbResolucao"_s), 150);
                 }),
                 1);
        QCOMPARE(chooseInDialog(firstRun, [&](QDialog *dialog) {
                     dialog->findChild<QTreeWidget *>(u"LstScanners"_s)->setCurrentItem(deviceRow(dialog, u"test:1"_s));
                     choose(combo(dialog, u"CmbFonte"_s), u"Automatic Document Feeder"_s);
                     choose(combo(dialog, u"CmbModo"_s), u"Color"_s);
                     choose(combo(dialog, u"CmbResolucao"_s), 300);
                     dialog->findChild<QCheckBox *>(u"ChkPularBrancas"_s)->setChecked(true);
                 }),
                 1);
    }
    Scanner laterRun;
    QVERIFY(!laterRun.settings());
    QStringList shown;
    auto describe = [](QDialog *dialog) -> QString {
        return dialog->findChild<QTreeWidget *>(u"LstScanners"_s)->currentItem()->text(2) + u'|'
            + combo(dialog, u"CmbFonte"_s)->currentData().toString() + u'|'
            + combo(dialog, u"CmbModo"_s)->currentData().toString() + u'|'
            + combo(dialog, u"CmbResolucao"_s)->currentData().toString() + u'|'
            + (dialog->findChild<QCheckBox *>(u"ChkPularBrancas"_s)->isChecked() ? u"pular"_s : u"todas"_s);
    };
    QCOMPARE(chooseInDialog(laterRun, [&](QDialog *dialog) {
                 shown << describe(dialog);
                 dialog->findChild<QTreeWidget *>(u"LstScanners"_s)->setCurrentItem(deviceRow(dialog, u"test:0"_s));
                 shown << describe(dialog);
             }, false),
             0);
    QCOMPARE(shown, (QStringList{u"test:1|Automatic Document Feeder|Color|300|pular"_s,
                                 u"test:0|Flatbed|Gray|150|todas"_s}));
    QVERIFY(!laterRun.settings()); // cancelled: nothing chosen in this run
}

// The test backend's feeder runs empty after 10 pages and is full again once the scan
// ends; a batch ends it once, at its end, so it reads all 10 every time.
void TestScanner::feederBatchReadsUntilEmpty()
{
    m_backend->configure({{u"mode"_s, u"Color"_s}, {u"test-picture"_s, u"\"Color pattern\""_s}});
    Scanner scanner;
    scanner.setSettings({u"test:0"_s, {}, 0, u"Automatic Document Feeder"_s});
    QVERIFY(scanner.feederChosen());
    for (int batch = 0; batch < 2; ++batch) {
        QList<QImage> pages;
        const documents::FeederBatch result = scanner.acquireBatch(nullptr, 999, [&](const documents::ScannedPage &page) {
            QCOMPARE(editing::jpeg::decode(page.jpeg).size(), page.image.size());
            pages << page.image;
        });
        QCOMPARE(int(result.end), int(documents::FeederBatch::End::FeederEmpty));
        QCOMPARE(result.stored, 10);
        QCOMPARE(pages.size(), 10);
        for (const QImage &page : pages)
            QVERIFY(sameImage(page, m_colourReference, 0));
        QVERIFY(result.error.isEmpty());
    }
    QVERIFY(!scanner.isLoaded());

    // No more pages than the document has room for.
    int stored = 0;
    const documents::FeederBatch full = scanner.acquireBatch(nullptr, 4, [&](const documents::ScannedPage &) { ++stored; });
    QCOMPARE(int(full.end), int(documents::FeederBatch::End::Full));
    QCOMPARE(full.stored, 4);
    QCOMPARE(stored, 4);
}

void TestScanner::feederBatchKeepsTheDeviceOrder_data()
{
    QTest::addColumn<bool>("skipBlank");
    QTest::addColumn<QList<int>>("stored");
    QTest::newRow("every side") << false << QList<int>{10, 255, 30, 40, 50, 255};
    QTest::newRow("blank backs skipped") << true << QList<int>{10, 30, 40, 50};
}

// A duplex feeder gives front and back of every sheet in turn (fake backend: the sides are
// frames of their own grey, white for the blank backs).
void TestScanner::feederBatchKeepsTheDeviceOrder()
{
    QFETCH(bool, skipBlank);
    QFETCH(QList<int>, stored);
    m_backend->useBackend("cartulofake");
    QByteArray frames = "source Flatbed|ADF Front|ADF Duplex\n";
    for (int fill : {10, 255, 30, 40, 50, 255})
        frames += "gray 8 40 40 60 1 fill=" + QByteArray::number(fill) + '\n';
    m_backend->fakeFrames(frames);
    Scanner scanner;
    QCOMPARE(chooseInDialog(scanner, [&](QDialog *dialog) {
                 choose(combo(dialog, u"CmbFonte"_s), u"ADF Duplex"_s);
                 dialog->findChild<QCheckBox *>(u"ChkPularBrancas"_s)->setChecked(skipBlank);
             }),
             1);
    QList<int> fills;
    const documents::FeederBatch result = scanner.acquireBatch(nullptr, 999, [&](const documents::ScannedPage &page) {
        QCOMPARE(page.image.size(), QSize(40, 60));
        fills << qRed(page.image.pixel(20, 30));
    });
    QCOMPARE(int(result.end), int(documents::FeederBatch::End::FeederEmpty));
    QCOMPARE(fills, stored);
    QCOMPARE(result.stored, stored.size());
    QCOMPARE(result.skippedBlank, 6 - int(stored.size()));
}

void TestScanner::blankPages_data()
{
    QTest::addColumn<QImage>("page");
    QTest::addColumn<bool>("blank");
    const QSize a4(2480, 3508); // 300 dpi
    QTest::newRow("white") << pageWithInk(a4, 0) << true;
    QTest::newRow("show-through, light grey") << pageWithInk(a4, 0, 200) << true;
    QTest::newRow("dust: 100 dark points") << pageWithInk(a4, 100) << true;
    QTest::newRow("a short word: 700 dark points") << pageWithInk(a4, 700) << false;
    QTest::newRow("dark all over") << pageWithInk(a4, 0, 40) << false;
    QImage edges = pageWithInk(a4, 0);
    for (int y = 0; y < a4.height(); ++y) // a feeder's shadow along both edges
        for (int x : {0, 1, 2, a4.width() - 3, a4.width() - 2, a4.width() - 1})
            edges.setPixel(x, y, qRgb(0, 0, 0));
    QTest::newRow("dark edges only") << edges << true;
}

// The default threshold: dust and show-through are blank, a word is not.
void TestScanner::blankPages()
{
    QFETCH(QImage, page);
    QFETCH(bool, blank);
    QCOMPARE(scan::isBlankPage(page, scan::kDefaultBlankInkPercent), blank);
}

QTEST_MAIN(TestScanner)
#include "tst_scanner.moc"
