#include "documents/ImagePreview.h"
#include "documents/UntPrevImg.h"
#include "editing/Prompt.h"
#include "tests/support/WhenShown.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

using namespace Qt::StringLiterals;
using documents::PrintPreviewWindow;
using documents::TFrmPrevImg;
namespace report = documents::report;

namespace {

constexpr double kDpi = 72.0;
constexpr double kPointsPerMm = kDpi / 25.4;

// Four flat quadrants, so placement and orientation show on the rendered page.
QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb colours[4] = {qRgb(220, 30, 30), qRgb(30, 180, 40), qRgb(30, 40, 210), qRgb(230, 200, 20)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colours[(x >= width / 2 ? 1 : 0) + (y >= height / 2 ? 2 : 0)]);
    return image;
}

struct Rendered {
    int pages = 0;
    QString pageSize;
    QImage page; // the first page at 72 dpi
};

Rendered render(const QString &pdf)
{
    Rendered result;
    QProcess info;
    info.start(u"pdfinfo"_s, {pdf});
    if (!info.waitForFinished(30000))
        return result;
    const QString text = QString::fromUtf8(info.readAllStandardOutput());
    const auto pages = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(text);
    result.pages = pages.hasMatch() ? pages.captured(1).toInt() : 0;
    const auto size = QRegularExpression(u"Page size:\\s+(.*)"_s).match(text);
    result.pageSize = size.captured(1).trimmed();
    const QString png = pdf + u"-page"_s;
    QProcess ppm;
    ppm.start(u"pdftoppm"_s, {u"-r"_s, QString::number(kDpi), u"-png"_s, u"-singlefile"_s, pdf, png});
    if (ppm.waitForFinished(30000))
        result.page = QImage(png + u".png"_s).convertToFormat(QImage::Format_RGB32);
    return result;
}

QString printToPdf(const QString &path, const QImage &picture)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    report::configurePrinter(printer);
    TFrmPrevImg form;
    form.setPicture(picture);
    form.printTo(printer);
    return path;
}

bool isWhite(QRgb c)
{
    return qRed(c) > 245 && qGreen(c) > 245 && qBlue(c) > 245;
}

QRect inkBounds(const QImage &page)
{
    QRect bounds;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (!isWhite(page.pixel(x, y)))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

bool near(QRgb a, QRgb b, int tolerance = 25)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The area inside the 10 mm margins, in pixels of the page rendered at kDpi.
QRectF printableArea()
{
    return QRectF(10 * kPointsPerMm, 10 * kPointsPerMm, 190 * kPointsPerMm, 277 * kPointsPerMm);
}


} // namespace

class TestPrevImg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void pictureFillsAreaInsideMargins_data();
    void pictureFillsAreaInsideMargins();
    void iconIsStretchedLikeAnyPicture();
    void nullPictureGivesEmptySheet();
    void savedReportLoadsBack_data();
    void savedReportLoadsBack();
    void refusesFilesThatAreNotReports();
    void previewWindowHasTheOldToolbar();
    void previewWindowSavesAndLoadsThroughPrompt();
    void previewIsModalAndCloses();
    void printGoesThroughPrinterDialog();
    void printerSetupKeepsTheReportPage();

private:
    QTemporaryDir m_dir;
};

void TestPrevImg::initTestCase()
{
    if (QStandardPaths::findExecutable(u"pdftoppm"_s).isEmpty() || QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty())
        QSKIP("poppler-utils is not installed");
}

void TestPrevImg::pictureFillsAreaInsideMargins_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::newRow("portrait page") << quadrants(248, 350);
    QTest::newRow("landscape page") << quadrants(350, 248); // stretched, never rotated
    QTest::newRow("small picture") << quadrants(16, 12);
}

void TestPrevImg::pictureFillsAreaInsideMargins()
{
    QFETCH(QImage, picture);
    const Rendered rendered = render(printToPdf(m_dir.filePath(u"page.pdf"_s), picture));
    QCOMPARE(rendered.pages, 1);
    QVERIFY2(rendered.pageSize.contains(u"(A4)"_s), qPrintable(rendered.pageSize));
    QCOMPARE(rendered.page.size(), QSize(595, 842));

    const QRectF area = printableArea();
    const QRect ink = inkBounds(rendered.page);
    QVERIFY2(std::abs(ink.left() - area.left()) <= 1.5 && std::abs(ink.top() - area.top()) <= 1.5
                 && std::abs(ink.right() + 1 - area.right()) <= 1.5 && std::abs(ink.bottom() + 1 - area.bottom()) <= 1.5,
             qPrintable(u"ink %1,%2 %3x%4"_s.arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())));

    // Each quadrant of the picture covers the same quadrant of the area.
    const QPointF c = area.center();
    const double dx = area.width() / 4, dy = area.height() / 4;
    QVERIFY(near(rendered.page.pixel(QPointF(c.x() - dx, c.y() - dy).toPoint()), qRgb(220, 30, 30)));
    QVERIFY(near(rendered.page.pixel(QPointF(c.x() + dx, c.y() - dy).toPoint()), qRgb(30, 180, 40)));
    QVERIFY(near(rendered.page.pixel(QPointF(c.x() - dx, c.y() + dy).toPoint()), qRgb(30, 40, 210)));
    QVERIFY(near(rendered.page.pixel(QPointF(c.x() + dx, c.y() + dy).toPoint()), qRgb(230, 200, 20)));
    // The split lies in the middle of the area in both directions.
    // (a few points off the edges: the scaled picture is smoothed across one of its pixels)
    const double off = std::max(area.width() / picture.width(), area.height() / picture.height()) + 2;
    QVERIFY(near(rendered.page.pixel(int(c.x() - off), int(area.top() + off)), qRgb(220, 30, 30)));
    QVERIFY(near(rendered.page.pixel(int(c.x() + off), int(area.top() + off)), qRgb(30, 180, 40)));
    QVERIFY(near(rendered.page.pixel(int(area.left() + off), int(c.y() - off)), qRgb(220, 30, 30)));
    QVERIFY(near(rendered.page.pixel(int(area.left() + off), int(c.y() + off)), qRgb(30, 40, 210)));
}

// A document without pages shows the application's icon, and that is what prints,
// stretched over the same area.
void TestPrevImg::iconIsStretchedLikeAnyPicture()
{
    const QImage icon = documents::ImagePreview::applicationIcon();
    QVERIFY(!icon.isNull());
    QRect opaque; // the icon's drawn part, in icon pixels
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            if (qAlpha(icon.pixel(x, y)) > 128 && !isWhite(icon.pixel(x, y)))
                opaque |= QRect(x, y, 1, 1);
    QVERIFY(!opaque.isEmpty());

    const Rendered rendered = render(printToPdf(m_dir.filePath(u"icon.pdf"_s), icon));
    QCOMPARE(rendered.pages, 1);
    const QRectF area = printableArea();
    const double sx = area.width() / icon.width(), sy = area.height() / icon.height();
    const QRectF expected(area.left() + opaque.left() * sx, area.top() + opaque.top() * sy,
                          opaque.width() * sx, opaque.height() * sy);
    const QRect ink = inkBounds(rendered.page);
    const double slackX = sx + 1.5, slackY = sy + 1.5; // one icon pixel blends at each edge
    QVERIFY2(std::abs(ink.left() - expected.left()) <= slackX && std::abs(ink.right() + 1 - expected.right()) <= slackX
                 && std::abs(ink.top() - expected.top()) <= slackY && std::abs(ink.bottom() + 1 - expected.bottom()) <= slackY,
             qPrintable(u"ink %1,%2 %3x%4"_s.arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())));
    QVERIFY(ink.height() > ink.width()); // stretched to the tall area, not kept square
}

// After a cancelled scan the preview is blank: an empty sheet, still one A4 page.
void TestPrevImg::nullPictureGivesEmptySheet()
{
    const Rendered rendered = render(printToPdf(m_dir.filePath(u"empty.pdf"_s), QImage()));
    QCOMPARE(rendered.pages, 1);
    QVERIFY(rendered.pageSize.contains(u"(A4)"_s));
    QVERIFY(!rendered.page.isNull());
    QVERIFY(inkBounds(rendered.page).isNull());
}

void TestPrevImg::savedReportLoadsBack_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::newRow("scanned page") << quadrants(300, 420);
    QTest::newRow("icon") << documents::ImagePreview::applicationIcon();
    QTest::newRow("empty sheet") << QImage();
}

void TestPrevImg::savedReportLoadsBack()
{
    QFETCH(QImage, picture);
    const QString path = m_dir.filePath(u"saved.pdf"_s);
    report::savePdf(path, picture);
    // The saved file is the same page as the printed one, for any PDF reader.
    const Rendered saved = render(path);
    const Rendered printed = render(printToPdf(m_dir.filePath(u"printed.pdf"_s), picture));
    QCOMPARE(saved.pages, 1);
    QCOMPARE(saved.page.size(), printed.page.size());
    QCOMPARE(inkBounds(saved.page), inkBounds(printed.page));

    const QImage loaded = report::loadPdf(path);
    QCOMPARE(loaded.isNull(), picture.isNull());
    if (picture.isNull())
        return;
    QCOMPARE(loaded.size(), picture.size());
    const int w = picture.width(), h = picture.height();
    for (const QPoint p : {QPoint(w / 4, h / 4), QPoint(3 * w / 4, h / 4), QPoint(w / 4, 3 * h / 4),
                           QPoint(3 * w / 4, 3 * h / 4), QPoint(1, 1)}) {
        const QRgb got = loaded.pixel(p), want = picture.pixel(p);
        QCOMPARE(qAlpha(got), qAlpha(want));
        if (qAlpha(want) > 0)
            QVERIFY2(near(got, want, 8), qPrintable(u"at %1,%2"_s.arg(p.x()).arg(p.y())));
    }
}

void TestPrevImg::refusesFilesThatAreNotReports()
{
    const QString plainPdf = printToPdf(m_dir.filePath(u"plain.pdf"_s), quadrants(20, 20));
    QVERIFY_THROWS_EXCEPTION(documents::ReportError, report::loadPdf(plainPdf));
    QFile text(m_dir.filePath(u"notes.pdf"_s));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("<cartulo:picture>AAAA</cartulo:picture>");
    text.close();
    QVERIFY_THROWS_EXCEPTION(documents::ReportError, report::loadPdf(text.fileName()));
    QVERIFY_THROWS_EXCEPTION(documents::ReportError, report::loadPdf(m_dir.filePath(u"missing.pdf"_s)));
}

void TestPrevImg::previewWindowHasTheOldToolbar()
{
    TFrmPrevImg form;
    form.setPicture(quadrants(100, 140));
    const auto window = form.createPreviewWindow();
    QCOMPARE(window->windowTitle(), u"Print Preview"_s);
    auto *toolBar = window->findChild<QToolBar *>();
    QVERIFY(toolBar);
    QStringList hints;
    for (QAction *action : toolBar->actions())
        if (!action->isSeparator())
            hints << action->text();
    QCOMPARE(hints, (QStringList{u"Zoom to fit"_s, u"100%"_s, u"Zoom to width"_s, u"First page"_s, u"Previous page"_s,
                                 u"Next page"_s, u"Last page"_s, u"Printer setup"_s, u"Print"_s, u"Save Report"_s,
                                 u"Load Report"_s, u"&Close"_s}));
    auto *print = window->findChild<QAction *>(u"ActPrint"_s);
    auto *setup = window->findChild<QAction *>(u"ActPrinterSetup"_s);
    QVERIFY(!print->isEnabled() && !setup->isEnabled()); // not before the page is built
    QCOMPARE(window->zoomText(), u"0%"_s);

    window->show();
    QTRY_VERIFY(print->isEnabled());
    QVERIFY(setup->isEnabled());
    QCOMPARE(window->zoomText(), u"100%"_s);
    QCOMPARE(window->pageText(), u"Page 1 of 1"_s);
    QCOMPARE(window->view()->currentPage(), 1);
    QVERIFY(window->findChild<QAction *>(u"ActZoom100"_s)->isChecked());
    QCOMPARE(window->printer().pageLayout().pageSize().id(), QPageSize::A4);
    QCOMPARE(window->printer().pageLayout().margins(QPageLayout::Millimeter), QMarginsF(10, 10, 10, 10));

    window->findChild<QAction *>(u"ActZoomFit"_s)->trigger();
    QCOMPARE(window->view()->zoomMode(), QPrintPreviewWidget::FitInView);
    QVERIFY(!window->findChild<QAction *>(u"ActZoom100"_s)->isChecked());
    window->findChild<QAction *>(u"ActZoomWidth"_s)->trigger();
    QCOMPARE(window->view()->zoomMode(), QPrintPreviewWidget::FitToWidth);
    window->findChild<QAction *>(u"ActZoom100"_s)->trigger();
    QCOMPARE(window->view()->zoomFactor(), 1.0);
    window->findChild<QAction *>(u"ActLastPage"_s)->trigger();
    QCOMPARE(window->view()->currentPage(), 1); // one page only

    window->findChild<QAction *>(u"ActClose"_s)->trigger();
    QVERIFY(!window->isVisible());
}

void TestPrevImg::previewWindowSavesAndLoadsThroughPrompt()
{
    editing::ScopedPrompt<editing::ScriptedPrompt> ui;
    TFrmPrevImg form;
    const QImage scanned = quadrants(120, 160);
    form.setPicture(scanned);
    const auto window = form.createPreviewWindow();
    const QString path = m_dir.filePath(u"relatorio"_s);
    ui->answerFile(path); // no extension typed: ".pdf" is added
    window->findChild<QAction *>(u"ActSaveReport"_s)->trigger();
    QVERIFY(QFile::exists(path + u".pdf"_s));

    form.setPicture(QImage()); // something else shown since
    ui->answerFile(path + u".pdf"_s);
    window->findChild<QAction *>(u"ActLoadReport"_s)->trigger();
    QCOMPARE(form.picture().size(), scanned.size());

    ui->answerFile(m_dir.filePath(u"missing.pdf"_s));
    window->findChild<QAction *>(u"ActLoadReport"_s)->trigger();
    QCOMPARE(ui->callsOf(editing::ScriptedPrompt::Kind::Message).size(), 1); // said, not thrown
    QCOMPARE(form.picture().size(), scanned.size());
    QVERIFY(ui->allAnswersUsed());
}

void TestPrevImg::previewIsModalAndCloses()
{
    TFrmPrevImg form;
    form.setPicture(quadrants(50, 50));
    bool modal = false;
    QString title;
    whenShown(u"DlgPrintPreview"_s, [&](QDialog *window) {
        modal = window->isModal();
        title = window->windowTitle();
        window->findChild<QAction *>(u"ActClose"_s)->trigger();
    });
    form.Preview(nullptr);
    QVERIFY(modal);
    QCOMPARE(title, u"Print Preview"_s);
}

// "Print" asks the system's printer dialog first; here it prints to a PDF file.
void TestPrevImg::printGoesThroughPrinterDialog()
{
    TFrmPrevImg form;
    form.setPicture(quadrants(200, 280));
    const auto window = form.createPreviewWindow();
    const QString pdf = m_dir.filePath(u"from-dialog.pdf"_s);
    window->printer().setOutputFormat(QPrinter::PdfFormat);
    window->printer().setOutputFileName(pdf);
    window->show();
    auto *print = window->findChild<QAction *>(u"ActPrint"_s);
    QTRY_VERIFY(print->isEnabled());

    bool sawDialog = false;
    whenShown(u"DlgPrint"_s, [&](QDialog *dialog) {
        sawDialog = true;
        dialog->accept();
    });
    print->trigger();
    QVERIFY(sawDialog);
    const Rendered rendered = render(pdf);
    QCOMPARE(rendered.pages, 1);
    QVERIFY(rendered.pageSize.contains(u"(A4)"_s));
    const QRectF area = printableArea();
    const QRect ink = inkBounds(rendered.page);
    QVERIFY(std::abs(ink.left() - area.left()) <= 1.5 && std::abs(ink.bottom() + 1 - area.bottom()) <= 1.5);

    // Cancelling the dialog prints nothing.
    QFile::remove(pdf);
    whenShown(u"DlgPrint"_s, [&](QDialog *dialog) { dialog->reject(); });
    print->trigger();
    QVERIFY(!QFile::exists(pdf));
}

// Whatever the printer setup dialog changes, the report stays one A4 page with its margins.
void TestPrevImg::printerSetupKeepsTheReportPage()
{
    TFrmPrevImg form;
    form.setPicture(quadrants(60, 80));
    const auto window = form.createPreviewWindow();
    window->show();
    auto *setup = window->findChild<QAction *>(u"ActPrinterSetup"_s);
    QTRY_VERIFY(setup->isEnabled());
    bool sawDialog = false;
    QString confirmText;
    whenShown(u"DlgPrinterSetup"_s, [&](QDialog *dialog) {
        sawDialog = true;
        // It sets the printer up and prints nothing: its button must not say "Print".
        if (auto *buttons = dialog->findChild<QDialogButtonBox *>())
            confirmText = buttons->button(QDialogButtonBox::Ok)->text();
        window->printer().setPageSize(QPageSize(QPageSize::Letter)); // as a user might pick
        window->printer().setPageMargins(QMarginsF(2, 2, 2, 2), QPageLayout::Millimeter);
        dialog->accept();
    });
    const QString pdf = m_dir.filePath(u"from-setup.pdf"_s);
    window->printer().setOutputFormat(QPrinter::PdfFormat);
    window->printer().setOutputFileName(pdf);
    setup->trigger();
    QVERIFY(sawDialog);
    QCOMPARE(confirmText, u"OK"_s);
    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(window->printer().pageLayout().pageSize().id(), QPageSize::A4);
    QCOMPARE(window->printer().pageLayout().orientation(), QPageLayout::Portrait);
    QCOMPARE(window->printer().pageLayout().margins(QPageLayout::Millimeter), QMarginsF(10, 10, 10, 10));
}

QTEST_MAIN(TestPrevImg)
#include "tst_previmg.moc"
