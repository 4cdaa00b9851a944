#include "PdfFixtures.h"

#include "pdf/JpegHeader.h"
#include "pdf/PagePlacement.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace pdftest;

using OptionalDpi = std::optional<QPointF>;
Q_DECLARE_METATYPE(OptionalDpi)

class TestJpegHeader : public QObject {
    Q_OBJECT

private slots:
    void readsWhatPdfNeeds_data();
    void readsWhatPdfNeeds();
    void refusesWhatIsNoPicture_data();
    void refusesWhatIsNoPicture();
    void damagedExifIsIgnored();
    void tellsAPictureCutShort();
    void pageSizeFromResolution_data();
    void pageSizeFromResolution();
};

void TestJpegHeader::readsWhatPdfNeeds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<int>("components");
    QTest::addColumn<int>("frame");
    QTest::addColumn<OptionalDpi>("dpi");
    QTest::addColumn<int>("orientation");

    const QByteArray colour = colourJpeg(1, QSize(120, 90));
    const QSize size(120, 90);
    QTest::newRow("project encoder, no density") << colour << size << 3 << 0xC0 << OptionalDpi() << 1;
    QTest::newRow("JFIF dots per inch") << withJfifDensity(colour, 1, 300, 300) << size << 3 << 0xC0 << OptionalDpi(QPointF(300, 300)) << 1;
    QTest::newRow("JFIF dots per centimetre") << withJfifDensity(colour, 2, 118, 59) << size << 3 << 0xC0
                                              << OptionalDpi(QPointF(299.72, 149.86)) << 1;
    QTest::newRow("JFIF aspect ratio only") << withJfifDensity(colour, 0, 2, 1) << size << 3 << 0xC0 << OptionalDpi() << 1;
    QTest::newRow("Qt grey, 200 dpi") << greyJpeg(QSize(50, 40), 200) << QSize(50, 40) << 1 << 0xC0 << OptionalDpi(QPointF(200, 200)) << 1;
    QTest::newRow("EXIF big-endian inches") << withExif(colour, {std::nullopt, 300.0, 2, true}) << size << 3 << 0xC0
                                            << OptionalDpi(QPointF(300, 300)) << 1;
    QTest::newRow("EXIF little-endian centimetres") << withExif(colour, {std::nullopt, 100.0, 3, false}) << size << 3 << 0xC0
                                                    << OptionalDpi(QPointF(254, 254)) << 1;
    QTest::newRow("EXIF without an absolute unit") << withExif(colour, {std::nullopt, 300.0, 1, true}) << size << 3 << 0xC0
                                                   << OptionalDpi() << 1;
    QTest::newRow("JFIF before EXIF") << withExif(withJfifDensity(colour, 1, 150, 150), {std::nullopt, 300.0, 2, true}) << size << 3
                                      << 0xC0 << OptionalDpi(QPointF(150, 150)) << 1;
    QTest::newRow("EXIF orientation") << withExif(colour, {6, std::nullopt, 2, false}) << size << 3 << 0xC0 << OptionalDpi() << 6;
    QTest::newRow("EXIF orientation out of range") << withExif(colour, {9, std::nullopt, 2, true}) << size << 3 << 0xC0
                                                   << OptionalDpi() << 1;
    QTest::newRow("CMYK") << libjpegPicture(QSize(16, 8), JCS_CMYK, false) << QSize(16, 8) << 4 << 0xC0 << OptionalDpi() << 1;
    QTest::newRow("arithmetic coding") << libjpegPicture(QSize(16, 8), JCS_RGB, true) << QSize(16, 8) << 3 << 0xC9 << OptionalDpi() << 1;
}

void TestJpegHeader::readsWhatPdfNeeds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, pixels);
    QFETCH(int, components);
    QFETCH(int, frame);
    QFETCH(OptionalDpi, dpi);
    QFETCH(int, orientation);

    const auto header = pdf::readJpegHeader(bytes);
    QVERIFY(header);
    QCOMPARE(header->pixels, pixels);
    QCOMPARE(header->components, components);
    QCOMPARE(header->precision, 8);
    QCOMPARE(header->frameMarker, frame);
    QCOMPARE(header->isDctDecodable(), frame <= 0xC2);
    QCOMPARE(header->dotsPerInch.has_value(), dpi.has_value());
    if (dpi) {
        QVERIFY(qAbs(header->dotsPerInch->x() - dpi->x()) < 0.01);
        QVERIFY(qAbs(header->dotsPerInch->y() - dpi->y()) < 0.01);
    }
    QCOMPARE(header->exifOrientation, orientation);
}

void TestJpegHeader::refusesWhatIsNoPicture_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray colour = colourJpeg(2, QSize(64, 64));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("start marker only") << QByteArray("\xFF\xD8", 2);
    QTest::newRow("cut inside the first segment") << colour.left(12);
    QTest::newRow("a PDF") << QByteArray("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
    QTest::newRow("scan before any frame") << QByteArray("\xFF\xD8\xFF\xDA\x00\x02", 6);
    QTest::newRow("segment longer than the data") << QByteArray("\xFF\xD8\xFF\xE0\x7F\xFF" "JFIF", 10);
    QTest::newRow("frame of height zero") << QByteArray("\xFF\xD8\xFF\xC0\x00\x0B\x08\x00\x00\x00\x10\x01\x01\x11\x00", 15);
}

void TestJpegHeader::refusesWhatIsNoPicture()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!pdf::readJpegHeader(bytes));
}

void TestJpegHeader::damagedExifIsIgnored()
{
    // A directory offset and a rational offset far outside the segment.
    QByteArray exif = withExif(colourJpeg(3, QSize(40, 30)), {6, 300.0, 2, true});
    const qsizetype tiff = exif.indexOf(QByteArrayView("Exif\0\0MM", 8)) + 6;
    QVERIFY(tiff > 6);
    QByteArray badRationals = exif;
    for (qsizetype entry = tiff + 10; entry < tiff + 10 + 4 * 12; entry += 12) {
        if (uchar(badRationals[entry + 3]) == 5) // type RATIONAL: its value is an offset
            badRationals.replace(entry + 8, 4, QByteArray("\x7F\xFF\xFF\xF0", 4));
    }
    QByteArray badDirectory = exif;
    badDirectory.replace(tiff + 4, 4, QByteArray("\xFF\xFF\xFF\x00", 4));

    for (const QByteArray &bytes : {badRationals, badDirectory}) {
        const auto header = pdf::readJpegHeader(bytes);
        QVERIFY(header);
        QCOMPARE(header->pixels, QSize(40, 30));
        QVERIFY(!header->dotsPerInch);
    }
    QCOMPARE(pdf::readJpegHeader(badRationals)->exifOrientation, 6);
}

void TestJpegHeader::tellsAPictureCutShort()
{
    const QByteArray colour = colourJpeg(4);
    QVERIFY(pdf::endsWithEndOfImage(colour));
    QVERIFY(!pdf::endsWithEndOfImage(colour.left(colour.size() - 1)));
    QVERIFY(!pdf::endsWithEndOfImage(colour.left(colour.size() / 2)));
}

void TestJpegHeader::pageSizeFromResolution_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<OptionalDpi>("dpi");
    QTest::addColumn<QSizeF>("points");
    QTest::newRow("A4 scan at 300 dpi") << QSize(2480, 3508) << OptionalDpi(QPointF(300, 300)) << QSizeF(595.2, 841.92);
    QTest::newRow("A4 scan stating nothing") << QSize(2480, 3508) << OptionalDpi() << QSizeF(595.2, 841.92);
    QTest::newRow("letter at 72 dpi") << QSize(612, 792) << OptionalDpi(QPointF(72, 72)) << QSizeF(612, 792);
    QTest::newRow("different across and down") << QSize(600, 600) << OptionalDpi(QPointF(300, 150)) << QSizeF(144, 288);
    QTest::newRow("1 dpi would be 34 metres: 300 dpi") << QSize(2480, 3508) << OptionalDpi(QPointF(1, 1)) << QSizeF(595.2, 841.92);
    QTest::newRow("too long even at 300 dpi") << QSize(65000, 1000) << OptionalDpi() << QSizeF(14400, 14400 * 1000 / 65000.0);
    QTest::newRow("a few pixels") << QSize(4, 8) << OptionalDpi() << QSizeF(3, 6);
}

void TestJpegHeader::pageSizeFromResolution()
{
    QFETCH(QSize, pixels);
    QFETCH(OptionalDpi, dpi);
    QFETCH(QSizeF, points);
    const QSizeF size = pdf::pageSizeInPoints(pixels, dpi);
    QVERIFY2(qAbs(size.width() - points.width()) < 0.001 && qAbs(size.height() - points.height()) < 0.001,
             qPrintable(u"%1 x %2"_s.arg(size.width()).arg(size.height())));
}

QTEST_MAIN(TestJpegHeader)
#include "tst_jpegheader.moc"
