#include "documents/ImagePreview.h"
#include "pages/PageStore.h"
#include "editing/JpegImage.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using documents::ImagePreview;

namespace {

QString writeJpeg(const QTemporaryDir &dir, const QString &name, QSize size)
{
    QImage page(size, QImage::Format_RGB32);
    page.fill(qRgb(40, 90, 160));
    const QString path = dir.filePath(name);
    editing::jpeg::writeFile(page, path);
    return path;
}

} // namespace

class TestImagePreview : public QObject {
    Q_OBJECT

private slots:
    void pageIsDecodedToCoverTheBoxAndPrintedWhole();
    void iconIsShownAtItsOwnSize();
    void onlyAScanSurvivesAsBitmap_data();
    void onlyAScanSurvivesAsBitmap();
    void undecodablePageKeepsWhatWasShown();
    void clicksAreSignalled();
};

void TestImagePreview::pageIsDecodedToCoverTheBoxAndPrintedWhole()
{
    QTemporaryDir dir;
    const QString path = writeJpeg(dir, u"0000100001001.jpg"_s, QSize(2480, 3508));
    ImagePreview preview;
    preview.resize(209, 250);
    preview.showJpegPage(path);
    QCOMPARE(preview.content(), ImagePreview::Content::JpegPage);
    QCOMPARE(preview.pagePath(), path);
    QCOMPARE(preview.picture().size(), QSize(310, 439)); // one eighth: covers 209 x 250
    QVERIFY(preview.stretch());
    QCOMPARE(preview.printablePicture().size(), QSize(2480, 3508));

    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    preview.resize(400, 600); // a larger box gets a sharper decode
    QVERIFY(preview.picture().width() >= 400 && preview.picture().height() >= 600);
}

void TestImagePreview::iconIsShownAtItsOwnSize()
{
    ImagePreview preview;
    preview.resize(209, 250);
    preview.showIcon();
    QCOMPARE(preview.content(), ImagePreview::Content::Icon);
    QVERIFY(!preview.stretch());
    QCOMPARE(preview.picture().size(), ImagePreview::applicationIcon().size());
    QCOMPARE(preview.printablePicture(), ImagePreview::applicationIcon());
    QVERIFY(preview.pagePath().isEmpty());
}

void TestImagePreview::onlyAScanSurvivesAsBitmap_data()
{
    QTest::addColumn<int>("content");
    QTest::newRow("scan") << int(ImagePreview::Content::Bitmap);
    QTest::newRow("page file") << int(ImagePreview::Content::JpegPage);
    QTest::newRow("icon") << int(ImagePreview::Content::Icon);
    QTest::newRow("blank") << int(ImagePreview::Content::Empty);
}

// What "Adquirir" does after the scan: a scanned image is stored; anything else the box
// showed is dropped and the box goes blank.
void TestImagePreview::onlyAScanSurvivesAsBitmap()
{
    QFETCH(int, content);
    QTemporaryDir dir;
    ImagePreview preview;
    preview.resize(209, 250);
    QImage scan(300, 200, QImage::Format_RGB32);
    scan.fill(Qt::darkGreen);
    switch (ImagePreview::Content(content)) {
    case ImagePreview::Content::Bitmap: preview.showBitmap(scan); break;
    case ImagePreview::Content::JpegPage: preview.showJpegPage(writeJpeg(dir, u"p.jpg"_s, QSize(50, 50))); break;
    case ImagePreview::Content::Icon: preview.showIcon(); break;
    case ImagePreview::Content::Empty: preview.clear(); break;
    }
    const QImage bitmap = preview.takeBitmapOrClear();
    if (ImagePreview::Content(content) == ImagePreview::Content::Bitmap) {
        QCOMPARE(bitmap, scan);
        QCOMPARE(preview.content(), ImagePreview::Content::Bitmap);
    } else {
        QVERIFY(bitmap.isNull());
        QCOMPARE(preview.content(), ImagePreview::Content::Empty);
        QVERIFY(preview.printablePicture().isNull()); // prints an empty sheet
    }
}

void TestImagePreview::undecodablePageKeepsWhatWasShown()
{
    QTemporaryDir dir;
    const QString bad = dir.filePath(u"bad.jpg"_s);
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    ImagePreview preview;
    preview.showIcon();
    QVERIFY_THROWS_EXCEPTION(pages::PageError, preview.showJpegPage(bad));
    QCOMPARE(preview.content(), ImagePreview::Content::Icon);
}

void TestImagePreview::clicksAreSignalled()
{
    ImagePreview preview;
    preview.resize(209, 250);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QSignalSpy clicked(&preview, &ImagePreview::clicked);
    QSignalSpy doubleClicked(&preview, &ImagePreview::doubleClicked);
    QTest::mouseClick(&preview, Qt::LeftButton, {}, QPoint(50, 50));
    QCOMPARE(clicked.count(), 1);
    QTest::mouseDClick(&preview, Qt::LeftButton, {}, QPoint(50, 50));
    QCOMPARE(doubleClicked.count(), 1);
    const auto clicks = clicked.count();
    QTest::mouseClick(&preview, Qt::RightButton, {}, QPoint(50, 50));
    QCOMPARE(clicked.count(), clicks); // only the left button prints
}

QTEST_MAIN(TestImagePreview)
#include "tst_imagepreview.moc"
