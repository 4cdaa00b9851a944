// Recognition of pages drawn from known Portuguese text, and texts that stay with their
// pages as the pages move, on a file archive and on a server archive.
#include "db/Connection.h"
#include "db/PageTexts.h"
#include "db/PageWords.h"
#include "db/pg/PgConnection.h"
#include "ocr/PageReading.h"
#include "ocr/RecognitionWorker.h"
#include "ocr/Recognizer.h"
#include "pages/PageStore.h"
#include "tests/ocr/PageDrawing.h"
#include "tests/support/ProviderStores.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <thread>

using namespace Qt::StringLiterals;
using pages::DocumentKey;
using testsupport::drawnPage;
using testsupport::ProviderArchive;

namespace {

const DocumentKey kDoc{u"00012"_s, u"00034"_s};

// Three pages told apart by their words.
const QStringList kFirst{u"Licitação pública"_s, u"Ata da reunião"_s};
const QStringList kSecond{u"Contrato número 4521"_s, u"Prestação de serviços"_s};
const QStringList kThird{u"Decisão do diretor"_s, u"Petição indeferida"_s};

db::PagePlace place(int page)
{
    return {kDoc.process, kDoc.document, page};
}

} // namespace

class TestRecognition : public QObject {
    Q_OBJECT

    testsupport::ProviderStores m_stores;

    ocr::ArchiveSource source(db::Provider provider)
    {
        ProviderArchive &a = m_stores.archive(provider);
        return ocr::ArchiveSource::of(a.programDir(), a.connection());
    }

    std::unique_ptr<db::PageTexts> texts(db::Provider provider)
    {
        return db::PageTexts::on(m_stores.archive(provider).connection());
    }

    // The recognised text of a page, empty when it has none.
    QString textOf(db::Provider provider, int page)
    {
        const std::optional<db::PageText> found = texts(provider)->find(place(page));
        return found && found->texto ? *found->texto : QString();
    }

    // Reads every waiting page; returns how many were read.
    static int readAll(ocr::PageReading &reading)
    {
        reading.lookAgain();
        int read = 0;
        while (reading.readNext())
            ++read;
        return read;
    }

    static qsizetype threadsOfThisProcess()
    {
        return QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    }

    static void providers()
    {
        QTest::addColumn<db::Provider>("provider");
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }

private slots:
    // First: a team Tesseract started stays in the process, and would hide a later one.
    void recognitionStartsNoOtherThread()
    {
        const QImage page = QImage::fromData(drawnPage(kFirst));
        qsizetype before = 0, after = 0;
        QString text;
        std::thread reader([&] {
            before = threadsOfThisProcess();
            ocr::Recognizer recognizer;
            text = recognizer.read(page, 300).text;
            after = threadsOfThisProcess();
        });
        reader.join();
        QVERIFY2(text.contains(u"reunião"_s), qPrintable(text));
        QCOMPARE(after, before);
    }

    void pagesAreRecognisedWithTheirWords_data() { providers(); }
    void pagesAreRecognisedWithTheirWords()
    {
        QFETCH(db::Provider, provider);
        const auto store = m_stores.freshStore(provider);
        store->appendBytes(kDoc, drawnPage(kFirst));
        store->appendBytes(kDoc, drawnPage(kSecond));

        ocr::PageReading reading(source(provider));
        QCOMPARE(reading.whyNot(), QString());
        QCOMPARE(reading.lookAgain(), 2);
        QCOMPARE(readAll(reading), 2);

        const QString first = textOf(provider, 1);
        QVERIFY2(first.contains(u"Licitação pública"_s) && first.contains(u"reunião"_s), qPrintable(first));
        QVERIFY2(textOf(provider, 2).contains(u"Prestação de serviços"_s), qPrintable(textOf(provider, 2)));

        const std::optional<db::PageText> stored = texts(provider)->find(place(1));
        QVERIFY(stored);
        QCOMPARE(stored->impressao, ocr::fingerprint(*store->pageBytes(pages::PageStore::pageName(kDoc, 1))));
        QVERIFY(!stored->nota);
        const std::optional<db::PageWords> words = db::PageWords::decode(stored->palavras);
        QVERIFY(words);
        const auto word = std::find_if(words->words.begin(), words->words.end(),
                                       [](const db::PageWord &w) { return w.text == u"Licitação"_s; });
        QVERIFY(word != words->words.end());
        // Drawn from x = 80 on the first line (baseline 110, 64-pixel type).
        QVERIFY2(word->box.left() >= 60 && word->box.left() <= 100, qPrintable(QString::number(word->box.left())));
        QVERIFY(word->box.top() >= 40 && word->box.bottom() <= 140);

        QCOMPARE(reading.lookAgain(), 0);
    }

    void textsFollowRemovedAndExchangedPages_data() { providers(); }
    void textsFollowRemovedAndExchangedPages()
    {
        QFETCH(db::Provider, provider);
        const auto store = m_stores.freshStore(provider);
        for (const QStringList &lines : {kFirst, kSecond, kThird})
            store->appendBytes(kDoc, drawnPage(lines));
        ocr::PageReading reading(source(provider));
        QCOMPARE(readAll(reading), 3);

        QVERIFY(store->removePage(kDoc, 1)); // 2 and 3 become 1 and 2
        QVERIFY(textOf(provider, 1).contains(u"Contrato"_s));
        QVERIFY(textOf(provider, 2).contains(u"Decisão"_s));
        QVERIFY(!texts(provider)->find(place(3)));

        QVERIFY(store->movePageDown(kDoc, 1)); // exchanged
        QVERIFY(textOf(provider, 1).contains(u"Decisão"_s));
        QVERIFY(textOf(provider, 2).contains(u"Contrato"_s));

        // Every text still describes the bytes now at its place: nothing to read again.
        for (int page : {1, 2})
            QCOMPARE(texts(provider)->find(place(page))->impressao,
                     ocr::fingerprint(*store->pageBytes(pages::PageStore::pageName(kDoc, page))));
        QCOMPARE(reading.lookAgain(), 0);

        store->moveDocumentToDeleted(kDoc);
        QCOMPARE(texts(provider)->count(), 0);
    }

    void replacedPageIsReadAgain_data() { providers(); }
    void replacedPageIsReadAgain()
    {
        QFETCH(db::Provider, provider);
        const auto store = m_stores.freshStore(provider);
        store->appendBytes(kDoc, drawnPage(kFirst));
        ocr::PageReading reading(source(provider));
        QCOMPARE(readAll(reading), 1);

        store->storeBytes(kDoc, 1, drawnPage(kThird));
        QCOMPARE(textOf(provider, 1), QString()); // no stale text meanwhile
        QCOMPARE(reading.lookAgain(), 1);
        QVERIFY(reading.readNext());
        QVERIFY(textOf(provider, 1).contains(u"Petição indeferida"_s));
    }

    void damagedPageGetsANoteOnce_data() { providers(); }
    void damagedPageGetsANoteOnce()
    {
        QFETCH(db::Provider, provider);
        const auto store = m_stores.freshStore(provider);
        // A page cut short inside its headers: the file is there, its picture is not.
        const QByteArray damaged = drawnPage(kFirst).left(120);
        putRawPage(provider, damaged);

        ocr::PageReading reading(source(provider));
        QCOMPARE(reading.lookAgain(), 1);
        QVERIFY(reading.readNext());
        const std::optional<db::PageText> noted = texts(provider)->find(place(1));
        QVERIFY(noted);
        QVERIFY(!noted->texto);
        QVERIFY(noted->nota && !noted->nota->isEmpty());
        // Not tried again, by this reading or a later one.
        QCOMPARE(reading.lookAgain(), 0);
        QVERIFY(!reading.readNext());
        QCOMPARE(ocr::PageReading(source(provider)).lookAgain(), 0);
    }

    void workGoesOnAfterARestart_data() { providers(); }
    void workGoesOnAfterARestart()
    {
        QFETCH(db::Provider, provider);
        const auto store = m_stores.freshStore(provider);
        for (const QStringList &lines : {kFirst, kSecond, kThird})
            store->appendBytes(kDoc, drawnPage(lines));
        {
            ocr::PageReading first(source(provider));
            QCOMPARE(first.lookAgain(), 3);
            QVERIFY(first.readNext());
        } // the program stops
        ocr::PageReading again(source(provider));
        QCOMPARE(again.lookAgain(), 2);
        QCOMPARE(readAll(again), 2);
        QVERIFY(textOf(provider, 3).contains(u"Petição"_s));
    }

    void pageBeingReadElsewhereIsLeftAlone()
    {
        // Two workstations on one server: the page one of them claimed is not read twice.
        const db::Provider provider = db::Provider::PostgreSQL;
        const auto store = m_stores.freshStore(provider);
        store->appendBytes(kDoc, drawnPage(kFirst));
        db::pg::PgConnection other(m_stores.archive(provider).connection().server()->address());
        other.exec(u"SELECT pg_advisory_lock(hashtextextended($1, 0))"_s,
                   {db::pg::PgParam::text(u"texto:"_s + pages::PageStore::pageName(kDoc, 1))});
        ocr::PageReading reading(source(provider));
        QCOMPARE(reading.lookAgain(), 1);
        QVERIFY(!reading.readNext());
        QCOMPARE(textOf(provider, 1), QString());
        other.exec(u"SELECT pg_advisory_unlock_all()"_s);
        QCOMPARE(reading.lookAgain(), 1);
        QVERIFY(reading.readNext());
    }

    void workerCountsDownAndPauses()
    {
        const db::Provider provider = db::Provider::SQLite;
        const auto store = m_stores.freshStore(provider);
        store->appendBytes(kDoc, drawnPage(kFirst));
        store->appendBytes(kDoc, drawnPage(kSecond));
        ocr::RecognitionWorker worker(source(provider));
        worker.setPaused(true); // nothing is read while paused
        QSignalSpy counts(&worker, &ocr::RecognitionWorker::waitingChanged);
        worker.start();
        QVERIFY(counts.wait(60000));
        QCOMPARE(counts.first().first().toInt(), 2);
        QCOMPARE(texts(provider)->count(), 0);
        worker.setPaused(false);
        while (counts.last().first().toInt() != 0)
            QVERIFY(counts.wait(120000));
        QCOMPARE(texts(provider)->count(), 2);
    }

private:
    // Writes bytes as page 1 past the store's own checks, as a damaged disk would leave them.
    void putRawPage(db::Provider provider, const QByteArray &bytes)
    {
        ProviderArchive &a = m_stores.archive(provider);
        if (provider == db::Provider::PostgreSQL) {
            a.connection().server()->exec(
                u"INSERT INTO lauda (processo, documento, numero, imagem) VALUES ($1, $2, 1, $3)"_s,
                {db::pg::PgParam::text(kDoc.process), db::pg::PgParam::text(kDoc.document), db::pg::PgParam::bytes(bytes)});
            return;
        }
        QFile file(m_stores.pageFolder(provider) + pages::PageStore::pageName(kDoc, 1));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
};

QTEST_MAIN(TestRecognition)
#include "tst_recognition_pg.moc"
