#include "editing/JpegImage.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <jpeglib.h>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
namespace jpeg = editing::jpeg;

namespace {

// Four flat quadrants: easy to check after a lossy round trip and after scaling.
QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb colours[4] = {qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(30, 40, 210), qRgb(240, 230, 20)};
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = colours[(x >= width / 2 ? 1 : 0) + (y >= height / 2 ? 2 : 0)];
    }
    return image;
}

bool close(QRgb a, QRgb b, int tolerance = 12)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

struct FrameHeader {
    int marker = 0; // 0xC0 baseline, 0xC2 progressive, ...
    int precision = 0;
    int width = 0;
    int height = 0;
    int components = 0;
};

// The first start-of-frame segment of a JPEG stream.
FrameHeader frameHeader(const QByteArray &jpegBytes)
{
    const auto *b = reinterpret_cast<const uchar *>(jpegBytes.constData());
    qsizetype i = 2;
    while (i + 9 < jpegBytes.size()) {
        if (b[i] != 0xFF)
            return {};
        const int marker = b[i + 1];
        const int length = (b[i + 2] << 8) | b[i + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return {marker, b[i + 4], (b[i + 7] << 8) | b[i + 8], (b[i + 5] << 8) | b[i + 6], b[i + 9]};
        i += 2 + length;
    }
    return {};
}

QByteArray ppm(const QImage &image)
{
    QByteArray out = "P6\n" + QByteArray::number(image.width()) + ' ' + QByteArray::number(image.height()) + "\n255\n";
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            out.append(char(qRed(p))).append(char(qGreen(p))).append(char(qBlue(p)));
        }
    return out;
}

// A CMYK JPEG as Adobe applications write it (inverted samples, Adobe marker).
QByteArray adobeCmykJpeg(int width, int height, const uchar cmyk[4])
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_YCCK);
    cinfo.write_Adobe_marker = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uchar> row(size_t(width) * 4);
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 4; ++c)
            row[size_t(x) * 4 + c] = uchar(255 - cmyk[c]);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(size));
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class TestJpegImage : public QObject {
    Q_OBJECT

private slots:
    void encodesBaselineColour24Bit_data();
    void encodesBaselineColour24Bit();
    void encodingMatchesCjpegQuality90();
    void roundTripKeepsSizeAndColours();
    void alphaIsFlattenedOnWhite();
    void decodesGreyAndAdobeCmyk();
    void decodeToCoverPicksSmallestCoveringScale_data();
    void decodeToCoverPicksSmallestCoveringScale();
    void recognisesOnlyWholeJpegImages_data();
    void recognisesOnlyWholeJpegImages();
    void decodeFailuresThrowWithMessage();
    void atomicWriteReplacesWhole();
    void atomicWriteFailureKeepsPreviousFile();
    void encodeRefusesNullImage();
    void bandsEncodeAsTheWholePicture_data();
    void bandsEncodeAsTheWholePicture();
    void bandEncoderRefusesBandsThatDoNotFit();
};

void TestJpegImage::encodesBaselineColour24Bit_data()
{
    QTest::addColumn<QImage>("image");
    QTest::newRow("rgb32") << quadrants(64, 48);
    QTest::newRow("grey source") << quadrants(64, 48).convertToFormat(QImage::Format_Grayscale8);
    QTest::newRow("16-bit source") << quadrants(30, 20).convertToFormat(QImage::Format_RGBX64);
    QTest::newRow("line art") << quadrants(33, 17).convertToFormat(QImage::Format_Mono);
}

void TestJpegImage::encodesBaselineColour24Bit()
{
    QFETCH(QImage, image);
    const QByteArray bytes = jpeg::encode(image);
    const FrameHeader sof = frameHeader(bytes);
    QCOMPARE(sof.marker, 0xC0); // baseline sequential, Huffman
    QCOMPARE(sof.precision, 8);
    QCOMPARE(sof.components, 3);
    QCOMPARE(QSize(sof.width, sof.height), image.size());
}

void TestJpegImage::encodingMatchesCjpegQuality90()
{
    const QString cjpeg = QStandardPaths::findExecutable(u"cjpeg"_s);
    if (cjpeg.isEmpty())
        QSKIP("cjpeg (libjpeg-turbo-progs) is not installed");
    const QImage image = quadrants(120, 90);
    QProcess process;
    process.start(cjpeg, {u"-quality"_s, u"90"_s});
    process.write(ppm(image));
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(30000));
    const QByteArray reference = process.readAllStandardOutput();
    QVERIFY(!reference.isEmpty());
    // Same defaults, same quality: the same stream, so the same tables and settings.
    QCOMPARE(jpeg::encode(image, 90), reference);
}

void TestJpegImage::roundTripKeepsSizeAndColours()
{
    const QImage image = quadrants(200, 160);
    const QImage back = jpeg::decode(jpeg::encode(image));
    QCOMPARE(back.size(), image.size());
    QCOMPARE(back.format(), QImage::Format_RGB32);
    for (const QPoint p : {QPoint(20, 20), QPoint(180, 20), QPoint(20, 140), QPoint(180, 140)})
        QVERIFY2(close(back.pixel(p), image.pixel(p)), qPrintable(u"at %1,%2"_s.arg(p.x()).arg(p.y())));
    QCOMPARE(qAlpha(back.pixel(5, 5)), 255);
}

void TestJpegImage::alphaIsFlattenedOnWhite()
{
    QImage transparent(40, 40, QImage::Format_ARGB32);
    transparent.fill(Qt::transparent);
    const QImage back = jpeg::decode(jpeg::encode(transparent));
    QVERIFY(close(back.pixel(20, 20), qRgb(255, 255, 255), 3));
}

void TestJpegImage::decodesGreyAndAdobeCmyk()
{
    QImage grey(50, 30, QImage::Format_Grayscale8);
    grey.fill(100);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(grey.save(&buffer, "JPEG", 95)); // a one-component JPEG
    QCOMPARE(frameHeader(buffer.data()).components, 1);
    const QImage greyBack = jpeg::decode(buffer.data());
    QCOMPARE(greyBack.format(), QImage::Format_RGB32);
    QVERIFY(close(greyBack.pixel(10, 10), qRgb(100, 100, 100), 3));

    const uchar red[4] = {0, 255, 255, 0}; // no cyan, full magenta and yellow, no black
    const QImage cmykBack = jpeg::decode(adobeCmykJpeg(16, 16, red));
    QCOMPARE(cmykBack.size(), QSize(16, 16));
    QVERIFY2(close(cmykBack.pixel(8, 8), qRgb(255, 0, 0), 10), qPrintable(QString::number(cmykBack.pixel(8, 8), 16)));
}

void TestJpegImage::decodeToCoverPicksSmallestCoveringScale_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("expected");
    // A 300-dpi A4 page into the document screen's preview box: one eighth.
    QTest::newRow("A4 300 dpi into 209x243") << QSize(2480, 3508) << QSize(209, 243) << QSize(310, 439);
    QTest::newRow("A4 300 dpi into 209x250") << QSize(2480, 3508) << QSize(209, 250) << QSize(310, 439);
    QTest::newRow("height needs 2/8") << QSize(2480, 3508) << QSize(300, 500) << QSize(620, 877);
    QTest::newRow("width needs 3/8") << QSize(800, 600) << QSize(250, 10) << QSize(300, 225);
    QTest::newRow("exact eighth covers") << QSize(800, 800) << QSize(100, 100) << QSize(100, 100);
    QTest::newRow("box larger than picture") << QSize(120, 90) << QSize(209, 243) << QSize(120, 90);
    QTest::newRow("landscape page") << QSize(3508, 2480) << QSize(209, 243) << QSize(439, 310);
}

void TestJpegImage::decodeToCoverPicksSmallestCoveringScale()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, box);
    QFETCH(QSize, expected);
    const QByteArray bytes = jpeg::encode(quadrants(picture.width(), picture.height()));
    const QImage preview = jpeg::decodeToCover(bytes, box);
    QCOMPARE(preview.size(), expected);
    // Scaled, not cropped: each quadrant is where it was.
    QVERIFY(close(preview.pixel(2, 2), qRgb(220, 30, 30), 20));
    QVERIFY(close(preview.pixel(preview.width() - 3, preview.height() - 3), qRgb(240, 230, 20), 20));
}

void TestJpegImage::recognisesOnlyWholeJpegImages_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("isJpeg");
    const QByteArray good = jpeg::encode(quadrants(64, 64));
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    quadrants(8, 8).save(&png, "PNG");
    QTest::newRow("jpeg") << good << true;
    QTest::newRow("png") << png.data() << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("text named .jpg") << QByteArray("not a picture at all\n") << false;
    QTest::newRow("only the start marker") << good.left(2) << false;
    QTest::newRow("headers only") << good.left(good.size() / 2) << false;
    const QByteArray large = jpeg::encode(quadrants(400, 400));
    QTest::newRow("data cut short") << large.left(large.size() * 3 / 4) << false;
}

void TestJpegImage::recognisesOnlyWholeJpegImages()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, isJpeg);
    QCOMPARE(jpeg::isJpegData(bytes), isJpeg);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"page.jpg"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QCOMPARE(jpeg::isJpegFile(path), isJpeg);
}

void TestJpegImage::decodeFailuresThrowWithMessage()
{
    QTemporaryDir dir;
    try {
        jpeg::decodeFile(dir.filePath(u"missing.jpg"_s));
        QFAIL("a missing file decoded");
    } catch (const jpeg::JpegError &error) {
        QVERIFY(error.message().contains(u"missing.jpg"_s));
    }
    QVERIFY_THROWS_EXCEPTION(jpeg::JpegError, jpeg::decode(QByteArray("GIF89a....")));
    QVERIFY(!jpeg::isJpegFile(dir.filePath(u"missing.jpg"_s)));
}

void TestJpegImage::atomicWriteReplacesWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"0000100001001.jpg"_s);
    jpeg::writeFile(quadrants(30, 30), path);
    const QByteArray first = [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    QVERIFY(jpeg::isJpegData(first));
    jpeg::writeFile(quadrants(60, 40), path);
    QCOMPARE(jpeg::imageSize([&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }()), QSize(60, 40));
    QCOMPARE(entriesOf(dir.path()), QStringList{u"0000100001001.jpg"_s}); // no temporary left

    QVERIFY_THROWS_EXCEPTION(jpeg::JpegError, jpeg::writeFile(quadrants(4, 4), dir.filePath(u"no/such/folder/x.jpg"_s)));
}

// A write that runs out of room (here: the file size limit) fails the whole write: the
// previous file stays as it was and no partial file is left.
void TestJpegImage::atomicWriteFailureKeepsPreviousFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"page.jpg"_s);
    const QByteArray previous = jpeg::encode(quadrants(16, 16));
    jpeg::writeFileAtomically(path, previous);

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        jpeg::writeFileAtomically(path, QByteArray(64 * 1024, 'x'));
    } catch (const jpeg::JpegError &) {
        threw = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(threw);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), previous);
    QCOMPARE(entriesOf(dir.path()), QStringList{u"page.jpg"_s});
}

void TestJpegImage::encodeRefusesNullImage()
{
    QVERIFY_THROWS_EXCEPTION(jpeg::JpegError, jpeg::encode(QImage()));
}

void TestJpegImage::bandsEncodeAsTheWholePicture_data()
{
    QTest::addColumn<int>("bandRows");
    QTest::newRow("one band") << 301;
    QTest::newRow("bands of 16 rows") << 16;
    QTest::newRow("bands of 7 rows") << 7;
    QTest::newRow("one row at a time") << 1;
}

void TestJpegImage::bandsEncodeAsTheWholePicture()
{
    QFETCH(int, bandRows);
    const QImage image = quadrants(203, 301);
    jpeg::BandEncoder encoder(image.size(), 85);
    for (int top = 0; top < image.height(); top += bandRows)
        encoder.addBand(image.copy(0, top, image.width(), std::min(bandRows, image.height() - top)));
    QCOMPARE(encoder.finish(), jpeg::encode(image, 85));
}

void TestJpegImage::bandEncoderRefusesBandsThatDoNotFit()
{
    const QImage image = quadrants(40, 30);
    {
        jpeg::BandEncoder encoder(image.size());
        QVERIFY_THROWS_EXCEPTION(jpeg::JpegError, encoder.addBand(quadrants(39, 10)));
        encoder.addBand(image.copy(0, 0, 40, 20));
        QVERIFY_THROWS_EXCEPTION(jpeg::JpegError, encoder.addBand(image.copy(0, 0, 40, 11)));
        QVERIFY_THROWS_EXCEPTION(jpeg::JpegError, encoder.finish()); // ten rows missing
    }
    QVERIFY_THROWS_EXCEPTION(jpeg::JpegError, jpeg::BandEncoder(QSize(0, 10)));
}

QTEST_MAIN(TestJpegImage)
#include "tst_jpegimage.moc"
