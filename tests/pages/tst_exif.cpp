// Recording the orientation in EXIF: on files with a JFIF header, without any APPn
// segment, with EXIF in either byte order, with and without the tag. Only the EXIF
// segment may change; the compressed picture and every other segment stay byte for byte.
#include "editing/JpegImage.h"
#include "pages/Exif.h"

#include "JpegFixtures.h"

#include <QBuffer>
#include <QImageReader>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace fixtures;
using editing::jpeg::JpegError;
using pages::Orientation;

namespace {

QByteArray plainPage()
{
    return compressed(detailedPicture(48, 32), Sampling::S420);
}

// The orientation as Qt's own JPEG reader finds it.
int orientationReadByQt(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "jpeg");
    static const QHash<int, int> values = {
        {QImageIOHandler::TransformationNone, 1},     {QImageIOHandler::TransformationMirror, 2},
        {QImageIOHandler::TransformationRotate180, 3}, {QImageIOHandler::TransformationFlip, 4},
        {QImageIOHandler::TransformationFlipAndRotate90, 5}, {QImageIOHandler::TransformationRotate90, 6},
        {QImageIOHandler::TransformationMirrorAndRotate90, 7}, {QImageIOHandler::TransformationRotate270, 8}};
    return values.value(int(reader.transformation()), -1);
}

// The TIFF data of the first EXIF segment.
QByteArray tiffOf(const QByteArray &jpeg)
{
    for (const Segment &s : segmentsOf(jpeg)) {
        const QByteArray p = s.payload(jpeg);
        if (s.marker == 0xE1 && p.startsWith(QByteArray("Exif\0\0", 6)))
            return p.mid(6);
    }
    return {};
}

} // namespace

class TestExif : public QObject {
    Q_OBJECT

private slots:
    void recordsOrientation_data();
    void recordsOrientation();
    void keepsEveryExistingTag_data();
    void keepsEveryExistingTag();
    void newSegmentFollowsJfifHeader();
    void normalOnPlainFileChangesNothing();
    void readsOnlyTheFirstExifSegment();
    void refusesDamagedOrFullExif_data();
    void refusesDamagedOrFullExif();
    void refusesWhatIsNoJpeg_data();
    void refusesWhatIsNoJpeg();
};

void TestExif::recordsOrientation_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("value");
    const QByteArray jfif = plainPage();
    const QList<std::pair<const char *, QByteArray>> files = {
        {"JFIF, no EXIF", jfif},
        {"no APPn at all", withoutAppSegments(jfif)},
        {"JFIF + little-endian EXIF without the tag", withSegmentAfter(jfif, 1, exifSegment(false, std::nullopt))},
        {"JFIF + big-endian EXIF without the tag", withSegmentAfter(jfif, 1, exifSegment(true, std::nullopt))},
        {"JFIF + little-endian EXIF at 3", withSegmentAfter(jfif, 1, exifSegment(false, 3))},
        {"EXIF only, big-endian at 8", withSegmentAfter(withoutAppSegments(jfif), 0, exifSegment(true, 8))},
        {"EXIF only, little-endian at 1", withSegmentAfter(withoutAppSegments(jfif), 0, exifSegment(false, 1))},
    };
    const QList<int> before = {1, 1, 1, 1, 3, 8, 1};
    for (qsizetype f = 0; f < files.size(); ++f)
        for (int value = 1; value <= 8; ++value)
            QTest::addRow("%s, to %d", files[f].first, value) << files[f].second << before[f] << value;
}

void TestExif::recordsOrientation()
{
    QFETCH(QByteArray, page);
    QFETCH(int, before);
    QFETCH(int, value);
    QCOMPARE(int(pages::pageOrientation(page)), before);

    const QByteArray recorded = pages::withOrientation(page, Orientation(value));

    QCOMPARE(int(pages::pageOrientation(recorded)), value);
    QCOMPARE(orientationReadByQt(recorded), value);
    QCOMPARE(compressedPicture(recorded), compressedPicture(page));
    QCOMPARE(segmentBytesExceptExif(recorded), segmentBytesExceptExif(page));
    QCOMPARE(jfifDensity(recorded), jfifDensity(page));
    QVERIFY(editing::jpeg::isJpegData(recorded));
    // Recording it again changes nothing more.
    QCOMPARE(pages::withOrientation(recorded, Orientation(value)), recorded);
}

void TestExif::keepsEveryExistingTag_data()
{
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("hadTag");
    QTest::newRow("little-endian, tag added") << false << false;
    QTest::newRow("big-endian, tag added") << true << false;
    QTest::newRow("little-endian, tag rewritten") << false << true;
    QTest::newRow("big-endian, tag rewritten") << true << true;
}

void TestExif::keepsEveryExistingTag()
{
    QFETCH(bool, bigEndian);
    QFETCH(bool, hadTag);
    const QByteArray page = withSegmentAfter(plainPage(), 1, exifSegment(bigEndian, hadTag ? std::optional<quint16>(1) : std::nullopt));
    const QByteArray tiff = tiffOf(pages::withOrientation(page, Orientation::Transverse));

    const quint32 ifd0 = ifd0Offset(tiff);
    QCOMPARE(ifd0 % 2, 0u);
    QCOMPARE(tiffValue(tiff, ifd0, kMake), QByteArray(kMakeText, 13));
    QCOMPARE(toU32(tiffValue(tiff, ifd0, kXResolution)->left(4), bigEndian), 300u);
    const quint32 exifIfd = toU32(*tiffValue(tiff, ifd0, kExifIfd), bigEndian);
    QCOMPARE(tiffValue(tiff, exifIfd, kDateTimeOriginal), QByteArray(kDateText, 20));
    const QByteArray orientation = *tiffValue(tiff, ifd0, 0x0112);
    QCOMPARE(orientation, bigEndian ? QByteArray("\0\7", 2) : QByteArray("\7\0", 2));
    // IFD1 is still linked from IFD0 and still reads.
    const quint32 ifd1 = nextIfdOffset(tiff, ifd0);
    QCOMPARE(ifd1, nextIfdOffset(tiffOf(page), ifd0Offset(tiffOf(page))));
    QCOMPARE(tiffValue(tiff, ifd1, 0x0103)->size(), 2);
    // IFD0's entries stay in ascending tag order.
    const QList<quint16> tags = tiffTags(tiff, ifd0);
    QCOMPARE(tags, (QList<quint16>{kMake, 0x0112, kXResolution, kExifIfd}));
}

void TestExif::newSegmentFollowsJfifHeader()
{
    const QByteArray page = plainPage();
    const QByteArray recorded = pages::withOrientation(page, Orientation::Rotate90);
    const QList<Segment> segments = segmentsOf(recorded);
    QCOMPARE(segments.at(0).bytes(recorded), segmentsOf(page).at(0).bytes(page)); // JFIF first, unchanged
    QCOMPARE(segments.at(1).marker, 0xE1);
    QVERIFY(segments.at(1).payload(recorded).startsWith(QByteArray("Exif\0\0", 6)));

    // Without any APPn segment the EXIF one comes right after the start of image.
    const QByteArray bare = pages::withOrientation(withoutAppSegments(page), Orientation::Rotate90);
    QCOMPARE(segmentsOf(bare).at(0).marker, 0xE1);
    QCOMPARE(segmentsOf(bare).at(0).offset, 2);
}

void TestExif::normalOnPlainFileChangesNothing()
{
    const QByteArray page = plainPage();
    QCOMPARE(pages::withOrientation(page, Orientation::Normal), page);
    const QByteArray withoutTag = withSegmentAfter(page, 1, exifSegment(true, std::nullopt));
    QCOMPARE(pages::withOrientation(withoutTag, Orientation::Normal), withoutTag);
}

void TestExif::readsOnlyTheFirstExifSegment()
{
    const QByteArray xmp = segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + "<x/>");
    QByteArray page = withSegmentAfter(plainPage(), 1, xmp);
    page = withSegmentAfter(page, 2, exifSegment(false, 6));
    page = withSegmentAfter(page, 3, exifSegment(true, 3));
    QCOMPARE(pages::pageOrientation(page), Orientation::Rotate90);

    const QByteArray recorded = pages::withOrientation(page, Orientation::Rotate270);
    QCOMPARE(pages::pageOrientation(recorded), Orientation::Rotate270);
    // The second EXIF segment and the XMP one are left as they were.
    const QList<Segment> segments = segmentsOf(recorded);
    QCOMPARE(segments.at(1).bytes(recorded), xmp);
    QCOMPARE(segments.at(3).bytes(recorded), exifSegment(true, 3));
}

void TestExif::refusesDamagedOrFullExif_data()
{
    QTest::addColumn<QByteArray>("exif");
    QByteArray badOffset = exifPayload(false, std::nullopt);
    badOffset[6 + 4] = char(0xF0); // IFD0 past the end
    QByteArray wrongOrder = exifPayload(true, 1);
    wrongOrder[6] = 'X';
    QByteArray full = exifPayload(false, std::nullopt);
    full += QByteArray(0xFFFF - 2 - full.size() - 4, '\0'); // no room for 12 more bytes
    QTest::newRow("IFD0 past the end") << segment(0xE1, badOffset);
    QTest::newRow("no byte order") << segment(0xE1, wrongOrder);
    QTest::newRow("segment full") << segment(0xE1, full);
}

void TestExif::refusesDamagedOrFullExif()
{
    QFETCH(QByteArray, exif);
    const QByteArray page = withSegmentAfter(plainPage(), 1, exif);
    QCOMPARE(pages::pageOrientation(page), Orientation::Normal);
    try {
        pages::withOrientation(page, Orientation::Rotate90);
        QFAIL("a damaged or full EXIF segment was edited");
    } catch (const JpegError &error) {
        QVERIFY(error.message().contains(u"EXIF"_s));
    }
}

void TestExif::refusesWhatIsNoJpeg_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray page = plainPage();
    qsizetype scan = 0;
    segmentsOf(page, &scan);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("GIF") << QByteArray("GIF89a\1\0\1\0\0\0\0;", 13);
    QTest::newRow("cut inside the header") << page.left(scan - 30);
    QTest::newRow("segment length past the end") << page.left(2) + QByteArray("\xFF\xE0\xFF\xF0JFIF", 8);
    QTest::newRow("no frame before the scan") << page.left(2) + page.mid(scan);
}

void TestExif::refusesWhatIsNoJpeg()
{
    QFETCH(QByteArray, bytes);
    QVERIFY_THROWS_EXCEPTION(JpegError, pages::withOrientation(bytes, Orientation::Rotate90));
    QVERIFY_THROWS_EXCEPTION(JpegError, pages::pageOrientation(bytes));
}

QTEST_MAIN(TestExif)
#include "tst_exif.moc"
