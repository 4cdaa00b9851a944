#include "PdfFixtures.h"

#include "editing/JpegImage.h"
#include "pdf/PdfError.h"
#include "pdf/PdfImport.h"

#include <QColorSpace>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace pdftest;
using pdf::PageOrigin;
using pdf::PdfImport;

using PdfChange = std::function<void(QPDF &)>;
Q_DECLARE_METATYPE(PdfChange)
Q_DECLARE_METATYPE(pdf::PageOrigin)

namespace {

// Everything written on the standard error stream while it lives.
class StderrCapture {
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_saved = ::dup(2);
        if (m_file.open())
            ::dup2(m_file.handle(), 2);
    }
    ~StderrCapture() { restore(); }
    QByteArray text()
    {
        restore();
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

QString messageOfOpening(const QString &path)
{
    try {
        PdfImport opened(path);
        return u"opened with %1 pages"_s.arg(opened.pageCount());
    } catch (const pdf::PdfError &e) {
        return e.message();
    }
}

QRgb pixelAt(const QByteArray &jpeg, QPointF fraction)
{
    const QImage image = editing::jpeg::decode(jpeg);
    return image.pixel(int(image.width() * fraction.x()), int(image.height() * fraction.y()));
}

QPDFObjectHandle::Rectangle mediaBoxOf(QPDF &pdf)
{
    return firstPage(pdf).getKey("/MediaBox").getArrayAsRectangle();
}

std::string drawing(double w, double h, double x = 0, double y = 0)
{
    return "q " + std::to_string(w) + " 0 0 " + std::to_string(h) + " " + std::to_string(x) + " " + std::to_string(y)
         + " cm /Im0 Do Q";
}

void replaceDrawing(QPDF &pdf, const std::string &content)
{
    firstPage(pdf).replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, content));
}

QPDFObjectHandle rectangle(double llx, double lly, double urx, double ury)
{
    return QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(llx, lly, urx, ury));
}

const QRgb kRed = qRgb(220, 30, 30);
const QRgb kBlue = qRgb(30, 40, 210);
const QPointF kTopLeftQuadrant(0.25, 0.25);

} // namespace

class TestPdfImport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void picturePagesComeBackByteForByte_data();
    void picturePagesComeBackByteForByte();
    void textPdfIsRenderedAtA4Size();
    void pageIsTakenWholeOnlyWhenItIsJustOnePicture_data();
    void pageIsTakenWholeOnlyWhenItIsJustOnePicture();
    void unreadableFilesAreRefused_data();
    void unreadableFilesAreRefused();
    void damagedPictureIsRefusedNotTaken();
    void oddPageIsNoDamageToTheNext();
    void stoppingBetweenPagesLeavesNothing();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // A colour picture at 300 dpi, a grey one at 200 dpi, a colour one stating nothing.
    QStringList m_pictures;
    QString m_scanned; // the three pictures as pages
    QString m_one;     // the first picture alone
};

void TestPdfImport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_pictures = QStringList{path(u"colour.jpg"_s), path(u"grey.jpg"_s), path(u"plain.jpg"_s)};
    QVERIFY(writeFile(m_pictures[0], withJfifDensity(colourJpeg(1, QSize(600, 840)), 1, 300, 300)));
    QVERIFY(writeFile(m_pictures[1], greyJpeg(QSize(400, 560), 200)));
    QVERIFY(writeFile(m_pictures[2], colourJpeg(3, QSize(320, 240))));
    m_scanned = path(u"scanned.pdf"_s);
    QVERIFY(img2pdf(m_pictures, m_scanned));
    m_one = path(u"one.pdf"_s);
    QVERIFY(img2pdf({m_pictures[0]}, m_one));
}

void TestPdfImport::picturePagesComeBackByteForByte_data()
{
    QTest::addColumn<QStringList>("encryption");
    QTest::newRow("plain") << QStringList();
    // An owner password alone restricts nothing for reading; the pictures are encrypted.
    QTest::newRow("owner password only") << QStringList{u"--encrypt"_s, QString(), u"dono"_s, u"256"_s, u"--"_s};
}

void TestPdfImport::picturePagesComeBackByteForByte()
{
    QFETCH(QStringList, encryption);
    const QStringList sources = m_pictures;
    QString file = m_scanned;
    if (!encryption.isEmpty()) {
        const QString encrypted = path(u"scanned-owner.pdf"_s);
        const ToolRun run = runTool(u"qpdf"_s, QStringList{file} << encryption << encrypted);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(readFile(encrypted) != readFile(file));
        file = encrypted;
    }

    PdfImport import(file);
    QCOMPARE(import.pageCount(), sources.size());
    for (int i = 0; i < sources.size(); ++i) {
        const pdf::ImportedPage page = import.readPage(i);
        QCOMPARE(page.origin, PageOrigin::Copied);
        QVERIFY2(page.jpeg == readFile(sources[i]), qPrintable(u"page %1 differs"_s.arg(i + 1)));
    }
}

void TestPdfImport::textPdfIsRenderedAtA4Size()
{
    // Qt writes A4 as 595 x 842 points; A4 is 210 x 297 mm.
    const QString file = path(u"text.pdf"_s);
    QVERIFY(textPdf(path(u"qt-text.pdf"_s), 3));
    QVERIFY(rewritePdf(path(u"qt-text.pdf"_s), file, [](QPDF &pdf) {
        for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(pdf).getAllPages())
            page.getObjectHandle().replaceKey("/MediaBox", rectangle(0, 0, 210 / 25.4 * 72, 297 / 25.4 * 72));
    }));
    PdfImport import(file);
    QCOMPARE(import.pageCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const pdf::ImportedPage page = import.readPage(i);
        QCOMPARE(page.origin, PageOrigin::Rendered);
        QCOMPARE(editing::jpeg::imageSize(page.jpeg), QSize(2480, 3508));
        // The frame drawn from (200, 600) at 300 dpi: black where it runs, white inside.
        const QImage image = editing::jpeg::decode(page.jpeg);
        QVERIFY(qGray(image.pixel(1100, 600)) < 60);
        QVERIFY(qGray(image.pixel(1500, 700)) > 200);
    }
}

void TestPdfImport::pageIsTakenWholeOnlyWhenItIsJustOnePicture_data()
{
    QTest::addColumn<PdfChange>("change");
    QTest::addColumn<PageOrigin>("origin");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<QRgb>("topLeft");

    // The page of the 600 x 840 picture at 300 dpi is 144 x 201.6 points.
    const QSize upright(600, 840), turned(840, 600);
    QTest::newRow("as img2pdf writes it") << PdfChange([](QPDF &) {}) << PageOrigin::Copied << upright << kRed;
    QTest::newRow("without q and Q") << PdfChange([](QPDF &pdf) { replaceDrawing(pdf, "144 0 0 201.6 0 0 cm /Im0 Do"); })
                                     << PageOrigin::Copied << upright << kRed;
    QTest::newRow("drawing over two streams") << PdfChange([](QPDF &pdf) {
        QPDFObjectHandle parts = QPDFObjectHandle::newArray();
        parts.appendItem(QPDFObjectHandle::newStream(&pdf, "q 144 0 0 201.6 0 0 cm\n"));
        parts.appendItem(QPDFObjectHandle::newStream(&pdf, "/Im0 Do Q\n"));
        firstPage(pdf).replaceKey("/Contents", parts);
    }) << PageOrigin::Copied << upright << kRed;
    QTest::newRow("filter as a one-item array") << PdfChange([](QPDF &pdf) {
        QPDFObjectHandle filters = QPDFObjectHandle::newArray();
        filters.appendItem(QPDFObjectHandle::newName("/DCTDecode"));
        firstImage(pdf).getDict().replaceKey("/Filter", filters);
    }) << PageOrigin::Copied << upright << kRed;
    QTest::newRow("link annotation") << PdfChange([](QPDF &pdf) {
        firstPage(pdf).replaceKey("/Annots", QPDFObjectHandle::parse("[<< /Type /Annot /Subtype /Link /Rect [0 0 50 50] >>]"));
    }) << PageOrigin::Copied << upright << kRed;
    QTest::newRow("/Rotate 360") << PdfChange([](QPDF &pdf) { firstPage(pdf).replaceKey("/Rotate", QPDFObjectHandle::newInteger(360)); })
                                 << PageOrigin::Copied << upright << kRed;

    // The stored picture is not what the page shows: drawn at 300 dpi instead.
    QTest::newRow("/Rotate 90") << PdfChange([](QPDF &pdf) { firstPage(pdf).replaceKey("/Rotate", QPDFObjectHandle::newInteger(90)); })
                                << PageOrigin::Rendered << turned << kBlue;
    QTest::newRow("/Rotate -270 on the page tree") << PdfChange([](QPDF &pdf) {
        pdf.getRoot().getKey("/Pages").replaceKey("/Rotate", QPDFObjectHandle::newInteger(-270));
    }) << PageOrigin::Rendered << turned << kBlue;
    QTest::newRow("colours inverted by /Decode") << PdfChange([](QPDF &pdf) {
        firstImage(pdf).getDict().replaceKey("/Decode", QPDFObjectHandle::parse("[1 0 1 0 1 0]"));
    }) << PageOrigin::Rendered << upright << qRgb(35, 225, 225);
    QTest::newRow("soft mask") << PdfChange([](QPDF &pdf) {
        QPDFObjectHandle mask = QPDFObjectHandle::newStream(&pdf, std::string(1, '\xff'));
        mask.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
        mask.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
        mask.getDict().replaceKey("/Width", QPDFObjectHandle::newInteger(1));
        mask.getDict().replaceKey("/Height", QPDFObjectHandle::newInteger(1));
        mask.getDict().replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceGray"));
        mask.getDict().replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
        firstImage(pdf).getDict().replaceKey("/SMask", mask);
    }) << PageOrigin::Rendered << upright << kRed;
    QTest::newRow("colour profile") << PdfChange([](QPDF &pdf) {
        const QByteArray icc = QColorSpace(QColorSpace::SRgb).iccProfile();
        QPDFObjectHandle profile = QPDFObjectHandle::newStream(&pdf, icc.toStdString());
        profile.getDict().replaceKey("/N", QPDFObjectHandle::newInteger(3));
        QPDFObjectHandle space = QPDFObjectHandle::newArray();
        space.appendItem(QPDFObjectHandle::newName("/ICCBased"));
        space.appendItem(profile);
        firstImage(pdf).getDict().replaceKey("/ColorSpace", space);
    }) << PageOrigin::Rendered << upright << kRed;
    QTest::newRow("top half shown (crop box)") << PdfChange([](QPDF &pdf) {
        firstPage(pdf).replaceKey("/CropBox", rectangle(0, 100.8, 144, 201.6));
    }) << PageOrigin::Rendered << QSize(600, 420) << kRed;
    QTest::newRow("more drawing over the picture") << PdfChange([](QPDF &pdf) {
        replaceDrawing(pdf, drawing(144, 201.6) + " 0 0 1 rg 10 10 20 20 re f");
    }) << PageOrigin::Rendered << upright << kRed;
    QTest::newRow("picture on part of the page") << PdfChange([](QPDF &pdf) { replaceDrawing(pdf, drawing(72, 100.8, 72, 0)); })
                                                 << PageOrigin::Rendered << upright << qRgb(255, 255, 255);
    QTest::newRow("picture stretched out of proportion") << PdfChange([](QPDF &pdf) {
        firstPage(pdf).replaceKey("/MediaBox", rectangle(0, 0, 288, 201.6));
        replaceDrawing(pdf, drawing(288, 201.6));
    }) << PageOrigin::Rendered << QSize(1200, 840) << kRed;
    QTest::newRow("square annotation") << PdfChange([](QPDF &pdf) {
        firstPage(pdf).replaceKey("/Annots", QPDFObjectHandle::parse("[<< /Type /Annot /Subtype /Square /Rect [100 10 140 50] >>]"));
    }) << PageOrigin::Rendered << upright << kRed;
}

void TestPdfImport::pageIsTakenWholeOnlyWhenItIsJustOnePicture()
{
    QFETCH(PdfChange, change);
    QFETCH(PageOrigin, origin);
    QFETCH(QSize, pixels);
    QFETCH(QRgb, topLeft);

    const QString changed = path(u"changed.pdf"_s);
    const QString picture = m_pictures.first();
    QVERIFY(rewritePdf(m_one, changed, [&](QPDF &pdf) {
        const auto box = mediaBoxOf(pdf);
        QCOMPARE(box.urx - box.llx, 144.0);
        change(pdf);
    }));

    PdfImport import(changed);
    QCOMPARE(import.pageCount(), 1);
    const pdf::ImportedPage page = import.readPage(0);
    QCOMPARE(page.origin, origin);
    if (origin == PageOrigin::Copied)
        QVERIFY(page.jpeg == readFile(picture));
    QCOMPARE(editing::jpeg::imageSize(page.jpeg), pixels);
    QVERIFY2(near(pixelAt(page.jpeg, kTopLeftQuadrant), topLeft),
             qPrintable(u"top left is #%1"_s.arg(pixelAt(page.jpeg, kTopLeftQuadrant), 6, 16)));
}

void TestPdfImport::unreadableFilesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << u"nenhum.pdf"_s << u"O arquivo nenhum.pdf não foi encontrado."_s;
    QTest::newRow("empty") << u"empty.pdf"_s << u"O arquivo empty.pdf está vazio."_s;
    QTest::newRow("a picture named .pdf") << u"picture.pdf"_s << u"O arquivo picture.pdf não é um documento PDF."_s;
    QTest::newRow("cut after its header") << u"header.pdf"_s
                                          << u"O documento PDF header.pdf está danificado e não pode ser lido."_s;
    QTest::newRow("cut in half") << u"half.pdf"_s << u"O documento PDF half.pdf está danificado e não pode ser lido."_s;
    QTest::newRow("cut at nine tenths") << u"most.pdf"_s << u"O documento PDF most.pdf está danificado e não pode ser lido."_s;
    QTest::newRow("user password") << u"locked.pdf"_s
                                   << u"O documento PDF locked.pdf está protegido por senha e não pode ser lido."_s;
    QTest::newRow("no pages") << u"nopages.pdf"_s << u"O documento PDF nopages.pdf não tem páginas."_s;
}

void TestPdfImport::unreadableFilesAreRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, message);

    const QString whole = m_scanned;
    const QByteArray bytes = readFile(whole);
    QVERIFY(writeFile(path(u"empty.pdf"_s), {}));
    QVERIFY(writeFile(path(u"picture.pdf"_s), readFile(m_pictures.first())));
    QVERIFY(writeFile(path(u"header.pdf"_s), bytes.left(20)));
    QVERIFY(writeFile(path(u"half.pdf"_s), bytes.left(bytes.size() / 2)));
    QVERIFY(writeFile(path(u"most.pdf"_s), bytes.left(bytes.size() * 9 / 10)));
    QCOMPARE(runTool(u"qpdf"_s, {whole, u"--encrypt"_s, u"usuario"_s, u"dono"_s, u"256"_s, u"--"_s, path(u"locked.pdf"_s)}).exitCode, 0);
    QCOMPARE(runTool(u"qpdf"_s, {u"--empty"_s, path(u"nopages.pdf"_s)}).exitCode, 0);

    // The libraries' own complaints stay off the standard error stream.
    StderrCapture stderrCapture;
    const QString refusal = messageOfOpening(path(name));
    const QByteArray printed = stderrCapture.text();
    QCOMPARE(refusal, message);
    QVERIFY2(printed.isEmpty(), printed.constData());
}

void TestPdfImport::damagedPictureIsRefusedNotTaken()
{
    // Half of the last picture's bytes lost on the way: the pages are all there, that
    // picture's stream runs into what follows it.
    const QString whole = path(u"ordered.pdf"_s);
    const QStringList sources = m_pictures;
    QCOMPARE(runTool(u"qpdf"_s, {m_scanned, u"--object-streams=disable"_s, whole}).exitCode, 0);
    const QByteArray bytes = readFile(whole);
    const QByteArray lastPicture = readFile(sources.last());
    const qsizetype start = bytes.lastIndexOf(lastPicture.left(64));
    QVERIFY(start > 0);
    const QString cut = path(u"cut.pdf"_s);
    QVERIFY(writeFile(cut, bytes.left(start + lastPicture.size() / 2) + bytes.mid(start + lastPicture.size())));

    PdfImport import(cut);
    QCOMPARE(import.pageCount(), 3);
    for (int i = 0; i < 2; ++i)
        QVERIFY(import.readPage(i).jpeg == readFile(sources[i]));
    try {
        import.readPage(2);
        QFAIL("the cut picture was taken");
    } catch (const pdf::PdfError &e) {
        QCOMPARE(e.message(), u"O documento PDF cut.pdf está danificado e não pode ser lido."_s);
    }
}

void TestPdfImport::oddPageIsNoDamageToTheNext()
{
    // A first page without resources draws nothing; looking it over makes qpdf note the
    // missing dictionary, which is no damage of the pages after it.
    const QString file = path(u"odd.pdf"_s);
    QVERIFY(rewritePdf(m_scanned, file, [](QPDF &pdf) { firstPage(pdf).removeKey("/Resources"); }));
    PdfImport import(file);
    const pdf::ImportedPage first = import.readPage(0);
    QCOMPARE(first.origin, PageOrigin::Rendered);
    QVERIFY(near(pixelAt(first.jpeg, kTopLeftQuadrant), qRgb(255, 255, 255)));
    for (int i = 1; i < 3; ++i) {
        const pdf::ImportedPage page = import.readPage(i);
        QCOMPARE(page.origin, PageOrigin::Copied);
        QVERIFY(page.jpeg == readFile(m_pictures[i]));
    }
}

void TestPdfImport::stoppingBetweenPagesLeavesNothing()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(u"five.pdf"_s);
    QStringList sources;
    for (int i = 0; i < 5; ++i) {
        sources << folder.filePath(u"p%1.jpg"_s.arg(i));
        QVERIFY(writeFile(sources.last(), colourJpeg(i + 10)));
    }
    QVERIFY(img2pdf(sources, file));
    const QByteArray before = readFile(file);
    const QStringList filesBefore = filesIn(folder.path());
    {
        PdfImport import(file);
        QCOMPARE(import.pageCount(), 5);
        QVERIFY(import.readPage(0).jpeg == readFile(sources[0]));
        QVERIFY(import.readPage(1).jpeg == readFile(sources[1]));
    } // the caller stops here
    QCOMPARE(filesIn(folder.path()), filesBefore);
    QVERIFY(readFile(file) == before);
    PdfImport again(file);
    QVERIFY(again.readPage(4).jpeg == readFile(sources[4]));
}

QTEST_MAIN(TestPdfImport)
#include "tst_pdfimport.moc"
