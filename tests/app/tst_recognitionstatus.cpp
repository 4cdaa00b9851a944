// The main window's line about text recognition: the pages still waiting, counted in the
// background, and the button that pauses and resumes the work.
#include "app/RecognitionStatus.h"
#include "documents/UntDoc.h"
#include "editing/JpegImage.h"
#include "ocr/RecognitionWorker.h"
#include "tests/app/MainWindowFixture.h"

#include <QFile>
#include <QLabel>
#include <QLockFile>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>

#include <algorithm>

namespace {

QByteArray typedPage()
{
    QImage page(1000, 300, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    QFont font(u"DejaVu Serif"_s);
    font.setPixelSize(64);
    painter.setFont(font);
    painter.drawText(60, 150, u"Certidão de óbito"_s);
    painter.end();
    return editing::jpeg::encode(page);
}

} // namespace

class TestRecognitionStatus : public QObject {
    Q_OBJECT

private slots:
    void countsInBrazilianPortuguese_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << 1 << u"Reconhecendo texto: 1 página"_s;
        QTest::newRow("two") << 2 << u"Reconhecendo texto: 2 páginas"_s;
        QTest::newRow("thousands") << 1234 << u"Reconhecendo texto: 1.234 páginas"_s;
        QTest::newRow("millions") << 1234567 << u"Reconhecendo texto: 1.234.567 páginas"_s;
    }
    void countsInBrazilianPortuguese()
    {
        QFETCH(int, pages);
        QFETCH(QString, text);
        QCOMPARE(RecognitionStatus::waitingText(pages), text);
    }

    void windowShowsWaitingPagesAndPauses()
    {
        MainWindowFixture f;
        const QString page = f.programDir() + u"/dados/laudas/0000100001001.jpg"_s;
        QFile file(page);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(typedPage());
        file.close();
        // Another workstation is reading the page: it stays waiting until let go.
        QVERIFY(QDir().mkpath(f.programDir() + u"/dados/laudas/reconhecimento"_s));
        auto elsewhere = std::make_unique<QLockFile>(f.programDir() + u"/dados/laudas/reconhecimento/0000100001001.jpg.lock"_s);
        QVERIFY(elsewhere->tryLock(0));

        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        auto *label = f.find<QLabel>(u"LblReconhecimento"_s);
        auto *pause = f.find<QPushButton>(u"BtnPausarReconhecimento"_s);
        QVERIFY(label && pause);
        QCOMPARE(label->accessibleName(), u"Reconhecimento de texto"_s);
        QTRY_VERIFY_WITH_TIMEOUT(label->isVisible(), 60000);
        QCOMPARE(label->text(), u"Reconhecendo texto: 1 página"_s);
        QVERIFY(pause->isVisible());

        ocr::RecognitionWorker *worker = f.window->Reconhecimento->worker();
        QCOMPARE(pause->text(), u"Pausar reconhecimento"_s);
        QTest::mouseClick(pause, Qt::LeftButton);
        QCOMPARE(pause->text(), u"Retomar reconhecimento"_s);
        QCOMPARE(pause->accessibleName(), u"Retomar reconhecimento"_s);
        QVERIFY(worker->isPaused());
        QTest::mouseClick(pause, Qt::LeftButton);
        QCOMPARE(pause->text(), u"Pausar reconhecimento"_s);
        QVERIFY(!worker->isPaused());

        // Let go: the page is read and the line goes away.
        elsewhere.reset();
        f.window->Reconhecimento->wake();
        QTRY_VERIFY_WITH_TIMEOUT(!label->isVisible(), 120000);
    }

    // The worker rests a minute once everything is read; a page stored on this workstation
    // wakes it at once.
    void pageStoredHereIsReadWithoutWaitingForTheNextRound()
    {
        MainWindowFixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        ocr::RecognitionWorker *worker = f.window->Reconhecimento->worker();
        QTRY_VERIFY_WITH_TIMEOUT(worker->isResting(), 30000); // the first round found nothing
        QSignalSpy waiting(worker, &ocr::RecognitionWorker::waitingChanged);

        f.window->FrameDocumento1->pageStore().appendBytes({u"00001"_s, u"00001"_s}, typedPage());
        QTRY_VERIFY_WITH_TIMEOUT(waitedFor(waiting, 1), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(waiting.last().first().toInt() == 0, 30000);
    }

private:
    static bool waitedFor(const QSignalSpy &spy, int pages)
    {
        return std::any_of(spy.begin(), spy.end(), [pages](const QList<QVariant> &signal) {
            return signal.first().toInt() == pages;
        });
    }
};

QTEST_MAIN(TestRecognitionStatus)
#include "tst_recognitionstatus.moc"
