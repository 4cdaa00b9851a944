// Turning pages without decoding them: the coefficients move when the picture's size
// allows a perfect transformation, the EXIF orientation records the turn otherwise.
#include "editing/JpegImage.h"
#include "pages/PageTurn.h"

#include "JpegFixtures.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTransform>

using namespace Qt::StringLiterals;
using namespace fixtures;
using editing::jpeg::JpegError;
using pages::Orientation;
using pages::Turn;
using pages::TurnMethod;

Q_DECLARE_METATYPE(fixtures::Sampling)
Q_DECLARE_METATYPE(pages::Turn)
Q_DECLARE_METATYPE(pages::TurnMethod)

namespace {

int degreesOf(Turn turn)
{
    switch (turn) {
    case Turn::Clockwise: return 90;
    case Turn::HalfTurn: return 180;
    case Turn::CounterClockwise: return 270;
    }
    return 0;
}

const char *turnName(Turn turn)
{
    switch (turn) {
    case Turn::Clockwise: return "clockwise";
    case Turn::HalfTurn: return "half turn";
    case Turn::CounterClockwise: return "counter-clockwise";
    }
    return "?";
}

TJXOP libraryOp(Turn turn)
{
    switch (turn) {
    case Turn::Clockwise: return TJXOP_ROT90;
    case Turn::HalfTurn: return TJXOP_ROT180;
    case Turn::CounterClockwise: return TJXOP_ROT270;
    }
    return TJXOP_NONE;
}

// Turning the coefficients and decoding differs from decoding and turning the pixels by
// the rounding of the inverse DCT and of chroma upsampling: a few levels at most.
constexpr int kRounding = 4;

const QList<Turn> kTurns = {Turn::Clockwise, Turn::CounterClockwise, Turn::HalfTurn};

QImage turnedImage(const QImage &image, Turn turn)
{
    return image.transformed(QTransform().rotate(degreesOf(turn)));
}

QByteArray a4Scan(Sampling sampling)
{
    return compressed(pageWithMark(2480, 3508), sampling, 85);
}

bool dark(QRgb pixel)
{
    return qGray(pixel) < 60;
}

} // namespace

class TestTurn : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void matchesJpegtranPerfect_data();
    void matchesJpegtranPerfect();
    void perfectWhereTheLibrarySaysSo_data();
    void perfectWhereTheLibrarySaysSo();
    void a4ScanTurnedClockwiseKeepsItsCompressedPicture_data();
    void a4ScanTurnedClockwiseKeepsItsCompressedPicture();
    void a4ScanTurnsCounterClockwiseByItsCoefficients();
    void fourQuarterTurnsGiveTheOriginalPixels_data();
    void fourQuarterTurnsGiveTheOriginalPixels();
    void turnsComposeWithTheRecordedOrientation_data();
    void turnsComposeWithTheRecordedOrientation();
    void densityFollowsTheTurn_data();
    void densityFollowsTheTurn();
    void transformationKeepsOtherSegmentsAndCoding();
    void damagedDataIsRecordedNotRewritten();
    void turnsPageFilesWhole();

private:
    QString m_jpegtran;
    QTemporaryDir m_dir;
};

void TestTurn::initTestCase()
{
    m_jpegtran = QStandardPaths::findExecutable(u"jpegtran"_s);
    QVERIFY2(!m_jpegtran.isEmpty(), "jpegtran is missing (Debian package libjpeg-turbo-progs)");
    QVERIFY(m_dir.isValid());
}

void TestTurn::matchesJpegtranPerfect_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<Turn>("turn");
    QTest::addColumn<QStringList>("copy");
    const QList<Sampling> samplings = {Sampling::Grey, Sampling::S420, Sampling::S444, Sampling::S422};
    for (Sampling sampling : samplings) {
        const QByteArray page = compressed(detailedPicture(64, 48), sampling);
        for (Turn turn : kTurns)
            QTest::addRow("%s %s", samplingName(sampling), turnName(turn)) << page << turn << QStringList();
    }
    // A camera file: EXIF first, no JFIF header; both copy every segment.
    const QByteArray camera = withSegmentAfter(withoutAppSegments(compressed(detailedPicture(64, 48), Sampling::S420)), 0,
                                               exifSegment(false, std::nullopt));
    QTest::newRow("EXIF file clockwise") << camera << Turn::Clockwise << QStringList{u"-copy"_s, u"all"_s};
}

void TestTurn::matchesJpegtranPerfect()
{
    QFETCH(QByteArray, page);
    QFETCH(Turn, turn);
    QFETCH(QStringList, copy);
    const QString in = m_dir.filePath(u"in.jpg"_s);
    const QString out = m_dir.filePath(u"jpegtran.jpg"_s);
    QFile file(in);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(page) == page.size());
    file.close();
    QProcess jpegtran;
    jpegtran.start(m_jpegtran, copy + QStringList{u"-rotate"_s, QString::number(degreesOf(turn)), u"-perfect"_s,
                                                  u"-outfile"_s, out, in});
    QVERIFY(jpegtran.waitForFinished(30000));
    QCOMPARE(jpegtran.exitCode(), 0);

    const pages::TurnedPage turned = pages::turnPage(page, turn);
    QCOMPARE(turned.method, TurnMethod::Transformed);
    QCOMPARE(turned.orientation, Orientation::Normal);
    QCOMPARE(turned.bytes, editing::jpeg::readFile(out));
}

void TestTurn::perfectWhereTheLibrarySaysSo_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<Turn>("turn");
    const QList<QSize> sizes = {{48, 32}, {40, 32}, {48, 24}, {40, 28}, {44, 36}};
    const QList<Sampling> samplings = {Sampling::Grey, Sampling::S420, Sampling::S444, Sampling::S422, Sampling::S440};
    for (const QSize &size : sizes)
        for (Sampling sampling : samplings) {
            const QByteArray page = compressed(detailedPicture(size.width(), size.height()), sampling);
            for (Turn turn : kTurns)
                QTest::addRow("%dx%d %s %s", size.width(), size.height(), samplingName(sampling), turnName(turn))
                    << page << turn;
        }
}

void TestTurn::perfectWhereTheLibrarySaysSo()
{
    QFETCH(QByteArray, page);
    QFETCH(Turn, turn);
    // A transformation tried and refused would be recorded all the same: it must not happen.
    QTest::failOnWarning(QRegularExpression(u"refused"_s));
    const bool perfect = libraryTransformsPerfectly(page, libraryOp(turn));
    const pages::TurnedPage turned = pages::turnPage(page, turn);
    QCOMPARE(turned.method, perfect ? TurnMethod::Transformed : TurnMethod::Recorded);
    if (!perfect) {
        QCOMPARE(compressedPicture(turned.bytes), compressedPicture(page));
        QCOMPARE(int(turned.orientation), int(turn == Turn::Clockwise ? 6 : turn == Turn::HalfTurn ? 3 : 8));
    }
    const QImage expected = turnedImage(editing::jpeg::decode(page), turn);
    const QImage seen = editing::jpeg::decode(turned.bytes);
    QCOMPARE(seen.size(), expected.size());
    QVERIFY(largestDifference(seen, expected) <= kRounding);
}

void TestTurn::a4ScanTurnedClockwiseKeepsItsCompressedPicture_data()
{
    QTest::addColumn<Sampling>("sampling");
    QTest::newRow("grey") << Sampling::Grey;
    QTest::newRow("colour 4:2:0") << Sampling::S420;
}

void TestTurn::a4ScanTurnedClockwiseKeepsItsCompressedPicture()
{
    QFETCH(Sampling, sampling);
    const QByteArray scan = a4Scan(sampling);
    const pages::TurnedPage turned = pages::turnPage(scan, Turn::Clockwise);

    QCOMPARE(turned.method, TurnMethod::Recorded);
    QCOMPARE(turned.orientation, Orientation::Rotate90);
    QCOMPARE(compressedPicture(turned.bytes), compressedPicture(scan));
    QCOMPARE(segmentBytesExceptExif(turned.bytes), segmentBytesExceptExif(scan));
    QCOMPARE(jfifDensity(turned.bytes), jfifDensity(scan));

    // Seen turned: the mark near the top left corner is now near the top right one.
    QCOMPARE(editing::jpeg::imageSize(turned.bytes), QSize(3508, 2480));
    const QImage page = editing::jpeg::decode(turned.bytes);
    QCOMPARE(page.size(), QSize(3508, 2480));
    QVERIFY(dark(page.pixel(3508 - 1 - 250, 250)));
    QVERIFY(!dark(page.pixel(250, 250)));
    QVERIFY(!dark(page.pixel(250, 2480 - 1 - 250)));
    // And so is the preview, decoded at a reduced scale.
    const QImage preview = editing::jpeg::decodeToCover(turned.bytes, QSize(243, 209));
    QVERIFY(preview.width() > preview.height());
    QVERIFY(dark(preview.pixel(preview.width() - 1 - preview.width() * 250 / 3508, preview.height() * 250 / 2480)));
    QVERIFY(!dark(preview.pixel(preview.width() * 250 / 3508, preview.height() * 250 / 2480)));

    // A half turn cannot be perfect either: recorded too.
    const pages::TurnedPage upsideDown = pages::turnPage(scan, Turn::HalfTurn);
    QCOMPARE(upsideDown.method, TurnMethod::Recorded);
    QCOMPARE(upsideDown.orientation, Orientation::Rotate180);
    QCOMPARE(compressedPicture(upsideDown.bytes), compressedPicture(scan));
}

void TestTurn::a4ScanTurnsCounterClockwiseByItsCoefficients()
{
    // 2480 is a multiple of the 16-pixel block: the partial blocks of the bottom edge go
    // to the right edge, where they may stay.
    const QByteArray scan = a4Scan(Sampling::S420);
    const pages::TurnedPage turned = pages::turnPage(scan, Turn::CounterClockwise);
    QCOMPARE(turned.method, TurnMethod::Transformed);
    QCOMPARE(pages::pageOrientation(turned.bytes), Orientation::Normal);
    const QImage page = editing::jpeg::decode(turned.bytes);
    QCOMPARE(page.size(), QSize(3508, 2480));
    QVERIFY(dark(page.pixel(250, 2480 - 1 - 250)));
    QVERIFY(!dark(page.pixel(250, 250)));
}

void TestTurn::fourQuarterTurnsGiveTheOriginalPixels_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<Turn>("turn");
    QTest::addColumn<QSet<TurnMethod>>("methods");
    struct Case {
        const char *name;
        QSize size;
        QSet<TurnMethod> methods;
    };
    // 64x48 turns perfectly; 64x44 needs the EXIF tag for some turns and not for others;
    // 60x44 never turns perfectly, with 8- or 16-pixel blocks.
    const QList<Case> cases = {{"block-aligned", {64, 48}, {TurnMethod::Transformed}},
                               {"mixed", {64, 44}, {TurnMethod::Transformed, TurnMethod::Recorded}},
                               {"unaligned", {60, 44}, {TurnMethod::Recorded}}};
    for (const Case &c : cases)
        for (Sampling sampling : {Sampling::Grey, Sampling::S420, Sampling::S444}) {
            const QByteArray page = compressed(detailedPicture(c.size.width(), c.size.height()), sampling);
            for (Turn turn : {Turn::Clockwise, Turn::CounterClockwise})
                QTest::addRow("%s %s %s", c.name, samplingName(sampling), turnName(turn)) << page << turn << c.methods;
        }
    QTest::newRow("A4 grey clockwise") << a4Scan(Sampling::Grey) << Turn::Clockwise
                                       << QSet<TurnMethod>{TurnMethod::Transformed, TurnMethod::Recorded};
}

void TestTurn::fourQuarterTurnsGiveTheOriginalPixels()
{
    QFETCH(QByteArray, page);
    QFETCH(Turn, turn);
    QFETCH(QSet<TurnMethod>, methods);
    QByteArray bytes = page;
    QSet<TurnMethod> used;
    for (int i = 0; i < 4; ++i) {
        const pages::TurnedPage turned = pages::turnPage(bytes, turn);
        used << turned.method;
        bytes = turned.bytes;
    }
    QCOMPARE(used, methods);
    QCOMPARE(pages::pageOrientation(bytes), Orientation::Normal);
    QCOMPARE(editing::jpeg::decode(bytes), editing::jpeg::decode(page));
    // Two half turns as well.
    const QByteArray halves = pages::turnPage(pages::turnPage(page, Turn::HalfTurn).bytes, Turn::HalfTurn).bytes;
    QCOMPARE(editing::jpeg::decode(halves), editing::jpeg::decode(page));
}

void TestTurn::turnsComposeWithTheRecordedOrientation_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<Turn>("turn");
    for (const QSize &size : {QSize(64, 48), QSize(60, 44)})
        for (int value = 1; value <= 8; ++value) {
            const QByteArray plain = compressed(detailedPicture(size.width(), size.height()), Sampling::S420);
            const QByteArray page = withSegmentAfter(plain, 1, exifSegment(value % 2 == 0, quint16(value)));
            for (Turn turn : kTurns)
                QTest::addRow("%dx%d at %d %s", size.width(), size.height(), value, turnName(turn)) << page << turn;
        }
}

void TestTurn::turnsComposeWithTheRecordedOrientation()
{
    QFETCH(QByteArray, page);
    QFETCH(Turn, turn);
    const pages::TurnedPage turned = pages::turnPage(page, turn);
    QCOMPARE(pages::pageOrientation(turned.bytes), turned.orientation);
    if (turned.method == TurnMethod::Transformed)
        QCOMPARE(turned.orientation, Orientation::Normal);
    else
        QCOMPARE(compressedPicture(turned.bytes), compressedPicture(page));

    // Whatever carried it out, the page is seen as it was seen, turned.
    const QImage expected = turnedImage(editing::jpeg::decode(page), turn);
    const QImage seen = editing::jpeg::decode(turned.bytes);
    QCOMPARE(seen.size(), expected.size());
    const int difference = largestDifference(seen, expected);
    QVERIFY2(difference <= kRounding, qPrintable(u"pixels differ by up to %1"_s.arg(difference)));
}

void TestTurn::densityFollowsTheTurn_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<Turn>("turn");
    QTest::addColumn<TurnMethod>("method");
    QTest::addColumn<bool>("swapped");
    QTest::newRow("quarter turn of the coefficients") << QSize(64, 48) << Turn::Clockwise << TurnMethod::Transformed << true;
    QTest::newRow("half turn of the coefficients") << QSize(64, 48) << Turn::HalfTurn << TurnMethod::Transformed << false;
    QTest::newRow("quarter turn recorded") << QSize(60, 44) << Turn::Clockwise << TurnMethod::Recorded << false;
}

void TestTurn::densityFollowsTheTurn()
{
    QFETCH(QSize, size);
    QFETCH(Turn, turn);
    QFETCH(TurnMethod, method);
    QFETCH(bool, swapped);
    const Density density{1, 200, 100}; // dots per inch
    const QByteArray page = withDensity(compressed(detailedPicture(size.width(), size.height()), Sampling::S420), density);
    const pages::TurnedPage turned = pages::turnPage(page, turn);
    QCOMPARE(turned.method, method);
    const Density expected = swapped ? Density{1, 100, 200} : density;
    QCOMPARE(jfifDensity(turned.bytes), expected);
}

void TestTurn::transformationKeepsOtherSegmentsAndCoding()
{
    const QByteArray comment = segment(0xFE, "Digitalizado pelo Cartulo");
    const QByteArray icc = segment(0xE2, QByteArray("ICC_PROFILE\0\1\1", 14) + QByteArray(64, 'p'));
    const QByteArray exif = exifSegment(true, 6);
    const QImage picture = detailedPicture(64, 48);
    for (const bool progressive : {false, true}) {
        QByteArray page = compressed(picture, Sampling::S420);
        if (progressive) {
            // The same coefficients, coded progressively.
            tjhandle handle = tjInitTransform();
            tjtransform t{};
            t.options = TJXOPT_PROGRESSIVE;
            unsigned char *out = nullptr;
            unsigned long size = 0;
            QCOMPARE(tjTransform(handle, reinterpret_cast<const uchar *>(page.constData()), page.size(), 1, &out, &size, &t, 0), 0);
            page = QByteArray(reinterpret_cast<const char *>(out), qsizetype(size));
            tjFree(out);
            tjDestroy(handle);
        }
        page = withSegmentAfter(withSegmentAfter(withSegmentAfter(page, 1, exif), 2, icc), 3, comment);

        // Recorded 6 (clockwise) and a further clockwise turn: a half turn in all,
        // perfect for 64x48, so the coefficients move and the tag says Normal.
        const pages::TurnedPage turned = pages::turnPage(page, Turn::Clockwise);
        QCOMPARE(turned.method, TurnMethod::Transformed);
        QCOMPARE(pages::pageOrientation(turned.bytes), Orientation::Normal);
        const QList<Segment> segments = segmentsOf(turned.bytes);
        QList<QByteArray> kept;
        for (const Segment &s : segments)
            kept << s.bytes(turned.bytes);
        QVERIFY(kept.contains(icc));
        QVERIFY(kept.contains(comment));
        const bool sof2 = std::any_of(segments.begin(), segments.end(), [](const Segment &s) { return s.marker == 0xC2; });
        QCOMPARE(sof2, progressive);
        QVERIFY(largestDifference(editing::jpeg::decode(turned.bytes), turnedImage(editing::jpeg::decode(page), Turn::Clockwise)) <= kRounding);

        // Back to what the tag said at first: nothing to move, only the tag changes.
        const pages::TurnedPage back = pages::turnPage(page, Turn::CounterClockwise);
        QCOMPARE(back.method, TurnMethod::Recorded);
        QCOMPARE(back.orientation, Orientation::Normal);
        QCOMPARE(compressedPicture(back.bytes), compressedPicture(page));
    }
}

void TestTurn::damagedDataIsRecordedNotRewritten()
{
    // Cut in the middle of its compressed picture: a transformation would write the
    // missing part back as if it were whole.
    const QByteArray whole = compressed(detailedPicture(64, 48), Sampling::S420);
    const QByteArray cut = whole.left(whole.size() - whole.size() / 4);
    const pages::TurnedPage turned = pages::turnPage(cut, Turn::Clockwise);
    QCOMPARE(turned.method, TurnMethod::Recorded);
    QCOMPARE(turned.orientation, Orientation::Rotate90);
    QCOMPARE(compressedPicture(turned.bytes), compressedPicture(cut));
}

void TestTurn::turnsPageFilesWhole()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(u"0000700003001.jpg"_s);
    const QByteArray page = compressed(detailedPicture(64, 48), Sampling::S420);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(page) == page.size());
    file.close();
    QCOMPARE(pages::turnPageFile(path, Turn::Clockwise), TurnMethod::Transformed);
    QCOMPARE(editing::jpeg::readFile(path), pages::turnPage(page, Turn::Clockwise).bytes);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left

    // Not a picture: a message naming the file, and the file as it was.
    const QString text = folder.filePath(u"0000700003002.jpg"_s);
    QFile notJpeg(text);
    QVERIFY(notJpeg.open(QIODevice::WriteOnly) && notJpeg.write("texto") == 5);
    notJpeg.close();
    try {
        pages::turnPageFile(text, Turn::HalfTurn);
        QFAIL("a text file was turned");
    } catch (const JpegError &error) {
        QVERIFY2(error.message().contains(text), qPrintable(error.message()));
    }
    QCOMPARE(editing::jpeg::readFile(text), QByteArray("texto"));
    QVERIFY_THROWS_EXCEPTION(JpegError, pages::turnPageFile(folder.filePath(u"missing.jpg"_s), Turn::Clockwise));
}

QTEST_MAIN(TestTurn)
#include "tst_turn.moc"
