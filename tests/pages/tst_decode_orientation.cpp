// The project's decoder shows every picture as it is seen: all eight EXIF orientations,
// in full and in the reduced preview decode.
#include "editing/JpegImage.h"

#include "JpegFixtures.h"

#include <QBuffer>
#include <QImageReader>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;
namespace jpeg = editing::jpeg;
using namespace fixtures;

namespace {

// The picture as seen: 3 x 2 cells of distinct colours, wider than high.
QImage seenPicture()
{
    return asymmetricPicture(3, 2);
}

// The stored picture for EXIF orientation `value`, from the tag's definition: where the
// stored 0th row and 0th column lie in the picture as seen (W x H).
QImage storedFor(const QImage &seen, int value)
{
    const int w = seen.width();
    const int h = seen.height();
    const bool sideways = value >= 5;
    QImage stored(sideways ? h : w, sideways ? w : h, QImage::Format_RGB32);
    const std::function<QPoint(int, int)> seenPoint[9] = {
        {},
        [&](int x, int y) { return QPoint(x, y); },                 // 1: row 0 top, column 0 left
        [&](int x, int y) { return QPoint(w - 1 - x, y); },         // 2: row 0 top, column 0 right
        [&](int x, int y) { return QPoint(w - 1 - x, h - 1 - y); }, // 3: row 0 bottom, column 0 right
        [&](int x, int y) { return QPoint(x, h - 1 - y); },         // 4: row 0 bottom, column 0 left
        [&](int x, int y) { return QPoint(y, x); },                 // 5: row 0 left, column 0 top
        [&](int x, int y) { return QPoint(w - 1 - y, x); },         // 6: row 0 right, column 0 top
        [&](int x, int y) { return QPoint(w - 1 - y, h - 1 - x); }, // 7: row 0 right, column 0 bottom
        [&](int x, int y) { return QPoint(y, h - 1 - x); },         // 8: row 0 left, column 0 bottom
    };
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x)
            stored.setPixel(x, y, seen.pixel(seenPoint[value](x, y)));
    return stored;
}

// A JPEG of the stored picture carrying orientation `value`, after its JFIF header.
QByteArray pageWithOrientation(int value, bool bigEndian)
{
    const QByteArray plain = compressed(storedFor(seenPicture(), value), Sampling::S444, 95);
    return withSegmentAfter(plain, 1, exifSegment(bigEndian, quint16(value)));
}

// Each cell's centre has its colour.
void compareCells(const QImage &decoded, const QImage &expected, int cell)
{
    QCOMPARE(decoded.size(), expected.size());
    for (int y = cell / 2; y < expected.height(); y += cell)
        for (int x = cell / 2; x < expected.width(); x += cell) {
            const QRgb a = decoded.pixel(x, y);
            const QRgb b = expected.pixel(x, y);
            const int difference = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                             std::abs(qBlue(a) - qBlue(b))});
            QVERIFY2(difference <= 12, qPrintable(u"cell at %1,%2 differs by %3"_s.arg(x).arg(y).arg(difference)));
        }
}

} // namespace

class TestDecodeOrientation : public QObject {
    Q_OBJECT

private slots:
    void everyOrientationDecodesUpright_data();
    void everyOrientationDecodesUpright();
    void previewDecodeCoversTheBoxAsSeen_data();
    void previewDecodeCoversTheBoxAsSeen();
    void unreadableOrientationsShowTheStoredPicture_data();
    void unreadableOrientationsShowTheStoredPicture();
};

void TestDecodeOrientation::everyOrientationDecodesUpright_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("bigEndian");
    for (int value = 1; value <= 8; ++value) {
        QTest::addRow("%d little-endian", value) << value << false;
        QTest::addRow("%d big-endian", value) << value << true;
    }
}

void TestDecodeOrientation::everyOrientationDecodesUpright()
{
    QFETCH(int, value);
    QFETCH(bool, bigEndian);
    const QByteArray bytes = pageWithOrientation(value, bigEndian);
    const QImage seen = seenPicture();

    const QImage decoded = jpeg::decode(bytes);
    QCOMPARE(decoded.format(), QImage::Format_RGB32);
    compareCells(decoded, seen, 16);
    QCOMPARE(jpeg::imageSize(bytes), seen.size());

    // Qt's own reader, turned by its own reading of the tag, sees the same picture.
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(true);
    const QImage byQt = reader.read().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(byQt.size(), decoded.size());
    QVERIFY(largestDifference(byQt, decoded) <= 4);
}

void TestDecodeOrientation::previewDecodeCoversTheBoxAsSeen_data()
{
    QTest::addColumn<int>("value");
    for (int value = 1; value <= 8; ++value)
        QTest::addRow("%d", value) << value;
}

void TestDecodeOrientation::previewDecodeCoversTheBoxAsSeen()
{
    QFETCH(int, value);
    // Cells of 64 pixels: still 16 after a decode at a quarter of the size.
    const QImage seen = seenPicture().scaled(3 * 64, 2 * 64);
    const QByteArray bytes = withSegmentAfter(compressed(storedFor(seen, value), Sampling::S420, 95), 1,
                                              exifSegment(false, quint16(value)));
    const QSize box(40, 30); // as seen: wide
    const QImage preview = jpeg::decodeToCover(bytes, box);
    // The smallest scale covering 40 x 30 as seen is 2/8 of 192 x 128: 48 x 32.
    QCOMPARE(preview.size(), QSize(48, 32));
    compareCells(preview, seen.scaled(48, 32), 16);
}

void TestDecodeOrientation::unreadableOrientationsShowTheStoredPicture_data()
{
    QTest::addColumn<QByteArray>("exif");
    QByteArray outOfRange = exifPayload(false, 9);
    QByteArray badOffset = exifPayload(true, 6);
    badOffset[6 + 7] = char(0xF0); // IFD0 offset far past the segment
    QByteArray truncated = exifPayload(false, 6).left(6 + 20);
    QTest::newRow("value 9") << segment(0xE1, outOfRange);
    QTest::newRow("IFD0 beyond the data") << segment(0xE1, badOffset);
    QTest::newRow("truncated IFD0") << segment(0xE1, truncated);
    const QByteArray xmp = QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + "<x:xmpmeta tiff:Orientation=\"6\"/>";
    QTest::newRow("XMP, not EXIF") << segment(0xE1, xmp);
}

void TestDecodeOrientation::unreadableOrientationsShowTheStoredPicture()
{
    QFETCH(QByteArray, exif);
    const QImage seen = seenPicture();
    const QByteArray bytes = withSegmentAfter(compressed(seen, Sampling::S444, 95), 1, exif);
    compareCells(jpeg::decode(bytes), seen, 16);
    QCOMPARE(jpeg::imageSize(bytes), seen.size());
}

QTEST_MAIN(TestDecodeOrientation)
#include "tst_decode_orientation.moc"
