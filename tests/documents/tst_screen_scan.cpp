// "Adquirir" on the document screen with SANE's test backend, and a click on the preview
// opening the print preview with the picture it shows.
#include "tests/support/TestPaths.h"
#include "DocumentWindow.h"

#include "documents/ScanImg.h"
#include "documents/UntPrevImg.h"
#include "scan/ScanMemory.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProgressBar>

#include <dlfcn.h>
#include <sane/sane.h>

using namespace Qt::StringLiterals;
using Kind = editing::ScriptedPrompt::Kind;
using Content = documents::ImagePreview::Content;

namespace {

QString pageName(const QString &document, int page)
{
    return u"00007"_s + document + QString::number(page).rightJustified(3, u'0') + u".jpg"_s;
}

// SANE's test backend alone, through a private configuration folder read at each load.
class TestBackend {
public:
    TestBackend() { useBackend("test"); }
    QString path() const { return m_dir.path(); }

    /// The one backend SANE loads from now on ("test", or "cartulofake" for frames as told).
    void useBackend(const QByteArray &name) { write(u"dll.conf"_s, name + '\n'); }
    /// The frames the fake backend reports, one line each (see fakesane/).
    void fakeFrames(const QByteArray &lines) { write(u"cartulofake.conf"_s, lines); }

    // 25 dpi keeps pages small (78 x 98 pixels); `extra` lines override what comes before.
    void configure(const QByteArray &extra = {})
    {
        write(u"test.conf"_s,
              "number_of_devices 2\nmode Color\ndepth 8\nhand-scanner false\nthree-pass false\n"
              "resolution_min 1.0\nresolution_max 1200.0\nresolution_quant 1.0\nresolution 25.0\n"
              "test-picture \"Color pattern\"\nread-limit false\nread-delay false\n"
              "read-status-code \"Default\"\nnon-blocking false\nselect-fd false\n"
                  + extra);
    }

private:
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QTemporaryDir m_dir;
};

// The test backend frees nothing of a cancelled page, and sane_exit unloads it, which
// leaves the leak checker an unnamed module that no suppression can name. Kept loaded, the
// leak is reported inside libsane-test and falls under the "libsane" suppression.
void keepTestBackendLoaded()
{
    Dl_info sane{};
    if (!dladdr(reinterpret_cast<void *>(&sane_init), &sane) || !sane.dli_fname)
        return;
    const QByteArray backend = QFileInfo(QFile::decodeName(sane.dli_fname)).absolutePath().toLocal8Bit()
        + "/sane/libsane-test.so.1";
    if (void *handle = dlopen(backend.constData(), RTLD_NOW | RTLD_NODELETE))
        dlclose(handle); // RTLD_NODELETE: stays mapped
}

bool samePicture(const QImage &a, const QImage &b)
{
    return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestDocumentScan : public QObject {
    Q_OBJECT

    std::unique_ptr<TestBackend> backend;
    std::unique_ptr<DocumentWindow> fx;
    TFrameDocumento *screen = nullptr;

    /// Process 00007 with its document 00003 (page count `laudas`) and `pages` page files.
    void start(int pages, const QString &laudas = u"0"_s, const QStringList &extraSeed = {})
    {
        fx = std::make_unique<DocumentWindow>(
            QStringList{processRow(u"00007"_s), documentRow(u"00007"_s, u"00003"_s, laudas)} + extraSeed);
        screen = fx->screen;
        for (int page = 1; page <= pages; ++page)
            fx->writeFile(fx->pagePath(pageName(u"00003"_s, page)), jpegBytes(page, QSize(60, 80)));
        fx->openProcess(u"00007"_s);
    }
    // "Adquirir", choosing the first scanner in the source dialog.
    void scan(std::function<void(QDialog *)> whileReading = {})
    {
        bool chose = false;
        whenShown(u"DlgScanSource"_s, [&chose](QDialog *dialog) {
            chose = true;
            dialog->accept();
        });
        if (whileReading)
            whenShown(u"DlgScanProgress"_s, whileReading);
        DocumentWindow::click(screen->BtnScan);
        QVERIFY(chose);
    }
    // "Cancelar" once the page is coming in. Not earlier: the test backend cancels its
    // reader thread asynchronously, and one still starting (inside malloc) would leave the
    // allocator's lock taken and the process hanging.
    static void cancelOnceReading(QDialog *progress)
    {
        auto *cancel = progress->findChild<QPushButton *>(u"BtnCancelar"_s);
        auto *bar = progress->findChild<QProgressBar *>(u"PrgScan"_s);
        QVERIFY(cancel && bar);
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000);
        QTest::mouseClick(cancel, Qt::LeftButton);
    }
    // Clicks the preview and hands back the picture the print preview received.
    QImage printFromPreview(bool doubleClick = false)
    {
        bool shown = false;
        QString title;
        whenShown(u"DlgPrintPreview"_s, [&](QDialog *dialog) {
            shown = dialog->isModal();
            title = dialog->windowTitle();
            dialog->close();
        });
        if (doubleClick) {
            // The double-click event alone: a real one's first click already opened the
            // modal preview, which takes the second.
            const QPointF at = QRectF(screen->ImgPrev->rect()).center();
            QMouseEvent event(QEvent::MouseButtonDblClick, at, screen->ImgPrev->mapToGlobal(at), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(screen->ImgPrev, &event);
        } else
            QTest::mouseClick(screen->ImgPrev, Qt::LeftButton);
        [&] {
            QVERIFY(shown);
            QCOMPARE(title, u"Print Preview"_s);
        }();
        return screen->printForm().picture();
    }

private slots:
    void initTestCase()
    {
        backend = std::make_unique<TestBackend>();
        qputenv("SANE_CONFIG_DIR", backend->path().toLocal8Bit());
        // SANE's dll backend looks for backends in these folders before its own.
        qputenv("LD_LIBRARY_PATH", testsupport::fakeSaneDir() + ':' + qgetenv("LD_LIBRARY_PATH"));
        keepTestBackendLoaded();
    }
    void init()
    {
        backend->useBackend("test");
        backend->configure();
        scan::ScanMemory().clear(); // every test chooses from the devices as they come
    }
    void cleanup()
    {
        if (fx) {
            const bool allUsed = fx->ui->allAnswersUsed();
            fx.reset(); // even after a failure: the next window must not outlive this prompt
            QVERIFY2(allUsed, "a scripted answer was left over");
        }
    }

    void scanStoresNextPageKeepingSelection()
    {
        // Three pages announced and three listed: scanning warns of nothing.
        start(3, u"3"_s);
        DocumentWindow::click(fx->panelButton("BtnAlt"));
        screen->LBoxLaudas->setCurrentRow(1);
        scan();

        const QString stored = fx->pagePath(pageName(u"00003"_s, 4));
        QVERIFY(editing::jpeg::isJpegFile(stored));
        QCOMPARE(screen->ImgPrev->content(), Content::Bitmap);
        const QImage scanned = screen->ImgPrev->picture();
        QCOMPARE(scanned.size(), QSize(78, 98));
        QCOMPARE(editing::jpeg::decodeFile(stored).size(), scanned.size());
        QCOMPARE(fx->listedPages(), (QStringList{pageName(u"00003"_s, 1), pageName(u"00003"_s, 2),
                                                 pageName(u"00003"_s, 3), pageName(u"00003"_s, 4)}));
        QCOMPARE(screen->LBoxLaudas->currentRow(), 1); // the selection did not move
        for (int page = 1; page <= 3; ++page)
            QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(u"00003"_s, page))),
                     jpegBytes(page, QSize(60, 80)));
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
        QVERIFY(fx->errors.isEmpty());

        // The scan is what the preview shows, and what a click prints.
        QVERIFY(samePicture(printFromPreview(), scanned));
    }

    void scanRightAfterStartingAnInclusion()
    {
        start(0, u"0"_s, {documentRow(u"00007"_s, u"00001"_s), documentRow(u"00007"_s, u"00002"_s)});
        // Left by an earlier document that got the same codes: moved aside, never replaced.
        const QString leftover = fx->pagePath(pageName(u"00004"_s, 1));
        const QByteArray old = jpegBytes(9);
        fx->writeFile(leftover, old);
        DocumentWindow::click(fx->panelButton("BtnInc"));
        QCOMPARE(screen->EdtCod->text(), u"00004"_s);
        QCOMPARE(screen->LBoxLaudas->count(), 0);
        QCOMPARE(DocumentWindow::readFile(fx->pageFolder() + u"excluidas/"_s + pageName(u"00004"_s, 1)), old);
        scan();
        QCOMPARE(fx->listedPages(), QStringList{pageName(u"00004"_s, 1)});
        QVERIFY(editing::jpeg::isJpegFile(leftover));
        QCOMPARE(editing::jpeg::decodeFile(leftover).size(), QSize(78, 98));
        QVERIFY(fx->errors.isEmpty());
    }

    // A scan that delivers no new picture after one that did: the earlier picture is not
    // stored a second time, and the preview stops pretending to show a new page.
    void secondScanDeliveringNothingStoresNothing_data()
    {
        QTest::addColumn<bool>("cancelled"); // or failed
        QTest::newRow("cancelled") << true;
        QTest::newRow("failed") << false;
    }
    void secondScanDeliveringNothingStoresNothing()
    {
        QFETCH(bool, cancelled);
        start(1);
        DocumentWindow::click(fx->panelButton("BtnAlt"));
        scan();
        QCOMPARE(fx->pageFiles(), (QStringList{pageName(u"00003"_s, 1), pageName(u"00003"_s, 2)}));
        QCOMPARE(screen->ImgPrev->content(), Content::Bitmap);
        const QByteArray scanned = DocumentWindow::readFile(fx->pagePath(pageName(u"00003"_s, 2)));

        if (cancelled) {
            backend->configure("read-limit true\nread-limit-size 64\nread-delay true\nread-delay-duration 50000\n");
            scan(cancelOnceReading);
        } else {
            backend->useBackend("cartulofake");
            backend->fakeFrames("gray 8 100 100 40 1 JAMMED\n");
            scan();
        }
        QCOMPARE(fx->pageFiles(), (QStringList{pageName(u"00003"_s, 1), pageName(u"00003"_s, 2)}));
        QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(u"00003"_s, 1))), jpegBytes(1, QSize(60, 80)));
        QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(u"00003"_s, 2))), scanned);
        QCOMPARE(fx->listedPages(), (QStringList{pageName(u"00003"_s, 1), pageName(u"00003"_s, 2)}));
        QCOMPARE(screen->ImgPrev->content(), Content::Empty);
        const auto messages = fx->ui->callsOf(Kind::Message);
        if (cancelled) {
            QVERIFY(messages.isEmpty());
        } else {
            QCOMPARE(messages.size(), 1);
            QVERIFY2(messages.first().text.startsWith(u"A página não foi digitalizada: "_s), qPrintable(messages.first().text));
        }
        QVERIFY(fx->errors.isEmpty());
    }

    // A feeder source: one "Adquirir" stores the whole stack after the pages there are, and
    // the next "Adquirir" offers the feeder again.
    void feederScanStoresEveryPage()
    {
        start(1);
        DocumentWindow::click(fx->panelButton("BtnAlt"));
        screen->LBoxLaudas->setCurrentRow(0);
        QString offered;
        whenShown(u"DlgScanSource"_s, [&offered](QDialog *dialog) {
            auto *source = dialog->findChild<QComboBox *>(u"CmbFonte"_s);
            QVERIFY(source);
            offered = source->currentData().toString();
            source->setCurrentIndex(source->findData(u"Automatic Document Feeder"_s));
            dialog->accept();
        });
        DocumentWindow::click(screen->BtnScan);
        QCOMPARE(offered, u"Flatbed"_s);
        QStringList expected;
        for (int page = 1; page <= 11; ++page)
            expected << pageName(u"00003"_s, page);
        QCOMPARE(fx->listedPages(), expected);
        QCOMPARE(fx->pageFiles(), expected);
        QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(u"00003"_s, 1))), jpegBytes(1, QSize(60, 80)));
        for (int page = 2; page <= 11; ++page)
            QCOMPARE(editing::jpeg::decodeFile(fx->pagePath(pageName(u"00003"_s, page))).size(), QSize(78, 98));
        QCOMPARE(screen->LBoxLaudas->currentRow(), 0); // the selection stays
        QCOMPARE(screen->ImgPrev->content(), Content::Bitmap); // the last page read
        QCOMPARE(screen->ImgPrev->picture().size(), QSize(78, 98));
        QVERIFY(fx->ui->calls().isEmpty());

        scan(); // the feeder is what the dialog offers now
        QCOMPARE(fx->listedPages().size(), 21);
        QCOMPARE(fx->pageFiles().size(), 21);
        QVERIFY(fx->ui->calls().isEmpty());
        QVERIFY(fx->errors.isEmpty());
    }

    // The source dialog is the one place to back out: "Cancelar" there scans nothing.
    void cancellingTheScannerChoiceScansNothing()
    {
        start(1);
        DocumentWindow::click(fx->panelButton("BtnAlt"));
        QCOMPARE(screen->ImgPrev->content(), Content::JpegPage);
        bool chose = false;
        whenShown(u"DlgScanSource"_s, [&chose](QDialog *dialog) {
            chose = true;
            auto *buttons = dialog->findChild<QDialogButtonBox *>();
            QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        });
        DocumentWindow::click(screen->BtnScan);
        QVERIFY(chose);
        QCOMPARE(fx->pageFiles(), QStringList{pageName(u"00003"_s, 1)});
        QCOMPARE(fx->listedPages(), QStringList{pageName(u"00003"_s, 1)});
        QCOMPARE(screen->ImgPrev->content(), Content::JpegPage); // nothing was acquired
        QCOMPARE(screen->ImgPrev->pagePath(), fx->pagePath(pageName(u"00003"_s, 1)));
        QVERIFY(!screen->ex->scanner().isLoaded());
        QVERIFY(fx->ui->calls().isEmpty());
    }

    // Frames no page can be made of: a message, and nothing stored.
    void malformedScanStoresNothing()
    {
        backend->useBackend("cartulofake");
        backend->fakeFrames("gray 8 100 99 40 1\n"); // lines a byte short of their pixels
        start(1);
        DocumentWindow::click(fx->panelButton("BtnAlt"));
        scan();
        QCOMPARE(fx->pageFiles(), QStringList{pageName(u"00003"_s, 1)});
        QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(u"00003"_s, 1))), jpegBytes(1, QSize(60, 80)));
        QCOMPARE(fx->listedPages(), QStringList{pageName(u"00003"_s, 1)});
        QCOMPARE(screen->ImgPrev->content(), Content::Empty);
        const auto messages = fx->ui->callsOf(Kind::Message);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().text.contains(u"dados de imagem inválidos"_s), qPrintable(messages.first().text));
    }

    void cancelledScanStoresNothing()
    {
        // Slow enough to be caught part-way: each small read waits 50 ms.
        backend->configure("read-limit true\nread-limit-size 64\nread-delay true\nread-delay-duration 50000\n");
        start(3);
        DocumentWindow::click(fx->panelButton("BtnAlt"));
        QCOMPARE(screen->ImgPrev->content(), Content::JpegPage);
        const QStringList before = fx->pageFiles();
        scan(cancelOnceReading);
        QCOMPARE(fx->pageFiles(), before);
        QCOMPARE(screen->LBoxLaudas->count(), 3);
        QCOMPARE(screen->ImgPrev->content(), Content::Empty); // blank, not the page it showed
        QVERIFY(fx->ui->calls().isEmpty());
        QVERIFY(fx->errors.isEmpty());

        // A blank preview prints an empty sheet.
        QVERIFY(printFromPreview().isNull());
    }

    void failedScanStoresNothing()
    {
        // The fake backend fails without a reader thread of its own to race (see tst_scanner).
        backend->useBackend("cartulofake");
        backend->fakeFrames("gray 8 100 100 40 1 IO_ERROR\n");
        start(1);
        DocumentWindow::click(fx->panelButton("BtnAlt"));
        scan();
        QCOMPARE(fx->pageFiles(), QStringList{pageName(u"00003"_s, 1)});
        QCOMPARE(screen->LBoxLaudas->count(), 1);
        QCOMPARE(screen->ImgPrev->content(), Content::Empty);
    }

    void previewClickPrintsWhatIsShown_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("doubleClick");
        QTest::newRow("page, click") << 2 << false;
        QTest::newRow("page, double click") << 2 << true;
        QTest::newRow("no page: the icon") << 0 << false;
    }
    void previewClickPrintsWhatIsShown()
    {
        QFETCH(int, pages);
        QFETCH(bool, doubleClick);
        start(0);
        // A page bigger than the box: printing gets every pixel, not the preview's.
        for (int page = 1; page <= pages; ++page)
            fx->writeFile(fx->pagePath(pageName(u"00003"_s, page)), jpegBytes(page, QSize(900, 1200)));
        DocumentWindow::click(fx->panelButton("BtnAnt")); // shows the pages
        const QImage printed = printFromPreview(doubleClick);
        if (pages == 0) {
            QCOMPARE(screen->ImgPrev->content(), Content::Icon);
            QVERIFY(samePicture(printed, documents::ImagePreview::applicationIcon()));
        } else {
            QCOMPARE(printed.size(), QSize(900, 1200));
            QVERIFY(samePicture(printed, editing::jpeg::decodeFile(fx->pagePath(pageName(u"00003"_s, 1)))));
        }
        QVERIFY(fx->errors.isEmpty());
    }
};

QTEST_MAIN(TestDocumentScan)
#include "tst_screen_scan.moc"
