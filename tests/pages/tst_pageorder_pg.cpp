// Putting pages in order and upright through the page store, on a file archive's page
// folder and on a server archive's page rows alike; and what a crash in the middle of a
// move leaves in the folder.
#include "editing/JpegImage.h"
#include "pages/FolderExchange.h"
#include "pages/FolderPageStore.h"
#include "pages/PageStore.h"
#include "pdf/PdfExport.h"
#include "tests/support/ProviderStores.h"

#include "JpegFixtures.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTransform>

using namespace Qt::StringLiterals;
using namespace fixtures;
using pages::DocumentKey;
using pages::Turn;
using pages::TurnMethod;
using testsupport::ProviderArchive;

Q_DECLARE_METATYPE(pages::Turn)

namespace {

const DocumentKey kDoc{u"00007"_s, u"00003"_s};

// A JPEG whose bytes differ with `seed`, so every page can be told apart.
QByteArray jpegBytes(int seed)
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(qRgb(seed * 37 % 256, seed * 91 % 256, seed * 13 % 256));
    image.setPixel(seed % 24, 0, qRgb(255, 255, 255));
    return editing::jpeg::encode(image);
}

QString name(int page)
{
    return pages::PageStore::pageName(kDoc, page);
}

// The seed of every listed page, in list order (0 for bytes no seed made).
QList<int> listedSeeds(const pages::PageStore &store, int seeds)
{
    QList<int> found;
    for (const QString &entry : store.listPages(kDoc)) {
        const std::optional<QByteArray> bytes = store.pageBytes(entry);
        int seed = 0;
        for (int s = 1; s <= seeds && bytes; ++s)
            if (*bytes == jpegBytes(s))
                seed = s;
        found.append(seed);
    }
    return found;
}

QByteArray a4Scan()
{
    return compressed(pageWithMark(2480, 3508), Sampling::Grey, 85);
}

bool dark(QRgb pixel)
{
    return qGray(pixel) < 60;
}

QString runTool(const QString &tool, const QStringList &arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        throw std::runtime_error(tool.toStdString() + " is missing");
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        throw std::runtime_error(tool.toStdString() + " failed: " + process.readAllStandardError().toStdString());
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestPageOrder : public QObject {
    Q_OBJECT

    testsupport::ProviderStores m_stores;

    ProviderArchive &archive(db::Provider provider) { return m_stores.archive(provider); }
    QString pageFolder(db::Provider provider) { return m_stores.pageFolder(provider); }
    std::shared_ptr<pages::PageStore> freshStore(db::Provider provider) { return m_stores.freshStore(provider); }

    std::shared_ptr<pages::PageStore> storeWithPages(db::Provider provider, int count)
    {
        auto store = freshStore(provider);
        for (int seed = 1; seed <= count; ++seed)
            store->storeBytes(kDoc, seed, jpegBytes(seed));
        return store;
    }

    static void providers()
    {
        QTest::addColumn<db::Provider>("provider");
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }

private slots:
    void movesSwapWithTheNeighbour_data()
    {
        QTest::addColumn<db::Provider>("provider");
        QTest::addColumn<bool>("up");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("applies");
        QTest::addColumn<QList<int>>("after");
        for (const db::Provider provider : testsupport::allProviders()) {
            const char *p = testsupport::providerName(provider);
            QTest::addRow("%s: page 2 up", p) << provider << true << 2 << true << QList<int>{2, 1, 3, 4};
            QTest::addRow("%s: page 4 up", p) << provider << true << 4 << true << QList<int>{1, 2, 4, 3};
            QTest::addRow("%s: page 1 down", p) << provider << false << 1 << true << QList<int>{2, 1, 3, 4};
            QTest::addRow("%s: page 3 down", p) << provider << false << 3 << true << QList<int>{1, 2, 4, 3};
            QTest::addRow("%s: page 1 up", p) << provider << true << 1 << false << QList<int>{1, 2, 3, 4};
            QTest::addRow("%s: last page down", p) << provider << false << 4 << false << QList<int>{1, 2, 3, 4};
            QTest::addRow("%s: no such page", p) << provider << true << 6 << false << QList<int>{1, 2, 3, 4};
            QTest::addRow("%s: page 0", p) << provider << false << 0 << false << QList<int>{1, 2, 3, 4};
        }
    }
    void movesSwapWithTheNeighbour()
    {
        QFETCH(db::Provider, provider);
        QFETCH(bool, up);
        QFETCH(int, page);
        QFETCH(bool, applies);
        QFETCH(QList<int>, after);
        const auto store = storeWithPages(provider, 4);
        // A page beyond a gap is no listed page: it never takes part.
        store->storeBytes(kDoc, 6, jpegBytes(6));
        QCOMPARE(up ? store->movePageUp(kDoc, page) : store->movePageDown(kDoc, page), applies);
        QCOMPARE(listedSeeds(*store, 6), after);
        QCOMPARE(store->pageBytes(name(6)), jpegBytes(6));
        if (provider == db::Provider::SQLite) {
            // On disk: the four page files, the one past the gap, nothing else.
            QCOMPARE(QDir(pageFolder(provider)).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                     QStringList({name(1), name(2), name(3), name(4), name(6)}));
        } else {
            const auto rows = archive(provider).connection().server()->exec(
                u"SELECT string_agg(numero::text, ',' ORDER BY numero) FROM lauda"_s);
            QCOMPARE(rows.text(0, 0), u"1,2,3,4,6"_s);
        }
    }

    void upThenDownGivesTheOrderBack_data() { providers(); }
    void upThenDownGivesTheOrderBack()
    {
        QFETCH(db::Provider, provider);
        const auto store = storeWithPages(provider, 3);
        QVERIFY(store->movePageDown(kDoc, 1));
        QVERIFY(store->movePageDown(kDoc, 2)); // the first page, now second, goes last
        QCOMPARE(listedSeeds(*store, 3), QList<int>({2, 3, 1}));
        QVERIFY(store->movePageUp(kDoc, 3));
        QVERIFY(store->movePageUp(kDoc, 2));
        QCOMPARE(listedSeeds(*store, 3), QList<int>({1, 2, 3}));
    }

    // An interrupted move, stopped after each of its steps in turn, and the folder opened
    // again: every page is there exactly once, in the old order or the new, and the
    // journal and the parked file are gone. Listing finishes it as well as appending, which
// locks the folder.
    void crashInTheMiddleOfAMoveLosesNoPage_data()
    {
        QTest::addColumn<int>("stepsDone");
        QTest::addColumn<QString>("reopenedBy");
        for (int steps = 0; steps <= pages::FolderExchange::kSteps; ++steps)
            for (const QString &by : {u"listing"_s, u"appending"_s, u"deleting"_s})
                QTest::addRow("stopped after %d steps, then %s", steps, qPrintable(by)) << steps << by;
    }
    void crashInTheMiddleOfAMoveLosesNoPage()
    {
        QFETCH(int, stepsDone);
        QFETCH(QString, reopenedBy);
        QString folder;
        {
            const auto store = storeWithPages(db::Provider::SQLite, 3);
            folder = static_cast<const pages::FolderPageStore &>(*store).folder();
            const pages::FolderExchange move(folder, name(2), name(3));
            for (int step = 0; step < stepsDone; ++step)
                move.runStep(step);
        } // the program stops here

        const pages::FolderPageStore reopened(archive(db::Provider::SQLite).programDir());
        if (reopenedBy == u"deleting"_s) {
            // The page parked half-way goes aside with the others, none comes back later.
            QCOMPARE(reopened.moveDocumentToDeleted(kDoc).count(), 3);
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
            QList<int> aside;
            for (const QString &file : QDir(reopened.deletedFolder()).entryList(QDir::Files, QDir::Name))
                for (int seed = 1; seed <= 3; ++seed)
                    if (editing::jpeg::readFile(reopened.deletedFolder() + file) == jpegBytes(seed))
                        aside << seed;
            std::sort(aside.begin(), aside.end());
            QCOMPARE(aside, QList<int>({1, 2, 3}));
            return;
        }
        const bool appended = reopenedBy == u"appending"_s;
        if (appended)
            QCOMPARE(reopened.appendBytes(kDoc, jpegBytes(4)), 4);
        const QList<int> seeds = listedSeeds(reopened, 4);
        // Undone while the second page still had its name, finished once it had moved.
        // (Steps: journal, first parked, second renamed, parked renamed, journal removed.)
        QCOMPARE(seeds.mid(0, 3), stepsDone <= 2 ? QList<int>({1, 2, 3}) : QList<int>({1, 3, 2}));
        QCOMPARE(seeds.size(), appended ? 4 : 3);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 appended ? QStringList({name(1), name(2), name(3), name(4)}) : QStringList({name(1), name(2), name(3)}));
    }

    void damagedJournalMovesNothing()
    {
        const auto store = storeWithPages(db::Provider::SQLite, 2);
        const QString folder = static_cast<const pages::FolderPageStore &>(*store).folder();
        const pages::FolderExchange move(folder, name(1), name(2));
        move.runStep(0);
        move.runStep(1);
        QFile journal(folder + pages::FolderExchange::journalName());
        QVERIFY(journal.open(QIODevice::WriteOnly | QIODevice::Truncate));
        journal.write("../../elsewhere.jpg\n0000700003002.jpg\n");
        journal.close();
        try {
            store->listPages(kDoc);
            QFAIL("a damaged journal was followed");
        } catch (const pages::PageError &error) {
            QCOMPARE(error.kind(), pages::PageError::Kind::Io);
            QVERIFY2(error.message().contains(pages::FolderExchange::parkingName()), qPrintable(error.message()));
        }
        QVERIFY(QFile::exists(folder + pages::FolderExchange::parkingName()));
        QVERIFY(QFile::exists(folder + name(2)));
    }

    void blockAlignedTurnEqualsJpegtranPerfect_data()
    {
        QTest::addColumn<db::Provider>("provider");
        QTest::addColumn<Turn>("turn");
        QTest::addColumn<QString>("degrees");
        for (const db::Provider provider : testsupport::allProviders()) {
            const char *p = testsupport::providerName(provider);
            QTest::addRow("%s: clockwise", p) << provider << Turn::Clockwise << u"90"_s;
            QTest::addRow("%s: counter-clockwise", p) << provider << Turn::CounterClockwise << u"270"_s;
            QTest::addRow("%s: half turn", p) << provider << Turn::HalfTurn << u"180"_s;
        }
    }
    void blockAlignedTurnEqualsJpegtranPerfect()
    {
        QFETCH(db::Provider, provider);
        QFETCH(Turn, turn);
        QFETCH(QString, degrees);
        const QByteArray page = compressed(detailedPicture(320, 448), Sampling::S420);
        const auto store = freshStore(provider);
        store->storeBytes(kDoc, 1, jpegBytes(1));
        store->storeBytes(kDoc, 2, page);

        QCOMPARE(store->turnPage(kDoc, 2, turn).value_or(TurnMethod::Recorded), TurnMethod::Transformed);

        QTemporaryDir dir;
        const QString in = dir.filePath(u"page.jpg"_s), out = dir.filePath(u"jpegtran.jpg"_s);
        QFile file(in);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(page) == page.size());
        file.close();
        runTool(u"jpegtran"_s, {u"-rotate"_s, degrees, u"-perfect"_s, u"-outfile"_s, out, in});
        QCOMPARE(store->pageBytes(name(2)), editing::jpeg::readFile(out));
        QCOMPARE(store->pageBytes(name(1)), jpegBytes(1)); // its neighbour untouched
    }

    // The A4 scan's clockwise turn cannot be perfect (3508 rows): recorded, the compressed
    // picture kept byte for byte, and seen turned by the preview, the print and the PDF.
    void a4ScanTurnedClockwiseKeepsItsCompressedData_data() { providers(); }
    void a4ScanTurnedClockwiseKeepsItsCompressedData()
    {
        QFETCH(db::Provider, provider);
        const QByteArray scan = a4Scan();
        const auto store = freshStore(provider);
        store->storeBytes(kDoc, 1, scan);

        QCOMPARE(store->turnPage(kDoc, 1, Turn::Clockwise).value_or(TurnMethod::Transformed), TurnMethod::Recorded);
        const QByteArray turned = *store->pageBytes(name(1));
        QCOMPARE(compressedPicture(turned), compressedPicture(scan));

        const QImage full = store->fullImage(name(1)); // what printing prints
        QCOMPARE(full.size(), QSize(3508, 2480));
        QVERIFY(dark(full.pixel(3508 - 1 - 250, 250))); // the mark of the top left corner, now top right
        QVERIFY(!dark(full.pixel(250, 250)));
        const QImage preview = store->previewImage(name(1), QSize(209, 250));
        QVERIFY(preview.width() > preview.height());
        QVERIFY(dark(preview.pixel(preview.width() - 1 - preview.width() * 250 / 3508, preview.height() * 250 / 2480)));

        QTemporaryDir dir;
        const QString pdfFile = dir.filePath(u"turned.pdf"_s);
        const pdf::ExportPage exported{pdf::PageSource::reader(name(1), [&] { return *store->pageBytes(name(1)); })};
        QCOMPARE(pdf::exportPdf(pdfFile, {}, {pdf::ExportDocument{{}, {exported}}}), pdf::ExportOutcome::Written);
        const QString info = runTool(u"pdfinfo"_s, {pdfFile});
        QVERIFY2(info.contains(QRegularExpression(u"Page rot:\\s+90"_s)), qPrintable(info));
        runTool(u"pdfimages"_s, {u"-j"_s, pdfFile, dir.filePath(u"img"_s)});
        QCOMPARE(compressedPicture(editing::jpeg::readFile(dir.filePath(u"img-000.jpg"_s))), compressedPicture(scan));
    }

    void fourQuarterTurnsGiveTheOriginalPixels_data()
    {
        QTest::addColumn<db::Provider>("provider");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Turn>("turn");
        for (const db::Provider provider : testsupport::allProviders()) {
            const char *p = testsupport::providerName(provider);
            QTest::addRow("%s: block-aligned clockwise", p) << provider << QSize(64, 48) << Turn::Clockwise;
            QTest::addRow("%s: mixed counter-clockwise", p) << provider << QSize(64, 44) << Turn::CounterClockwise;
            QTest::addRow("%s: unaligned clockwise", p) << provider << QSize(60, 44) << Turn::Clockwise;
        }
    }
    void fourQuarterTurnsGiveTheOriginalPixels()
    {
        QFETCH(db::Provider, provider);
        QFETCH(QSize, size);
        QFETCH(Turn, turn);
        const QByteArray page = compressed(detailedPicture(size.width(), size.height()), Sampling::S420);
        const auto store = freshStore(provider);
        store->storeBytes(kDoc, 1, page);
        const QImage original = editing::jpeg::decode(page);
        for (int quarter = 1; quarter <= 4; ++quarter) {
            QVERIFY(store->turnPage(kDoc, 1, turn));
            const QSize seen = store->fullImage(name(1)).size();
            QCOMPARE(seen, quarter % 2 ? size.transposed() : size);
        }
        QCOMPARE(store->fullImage(name(1)), original);
    }

    void turningNoListedPageChangesNothing_data() { providers(); }
    void turningNoListedPageChangesNothing()
    {
        QFETCH(db::Provider, provider);
        const auto store = storeWithPages(provider, 2);
        store->storeBytes(kDoc, 4, jpegBytes(4)); // beyond a gap
        QVERIFY(!store->turnPage(kDoc, 3, Turn::Clockwise));
        QVERIFY(!store->turnPage(kDoc, 4, Turn::Clockwise));
        QCOMPARE(store->pageBytes(name(4)), jpegBytes(4));
    }
};

QTEST_GUILESS_MAIN(TestPageOrder)
#include "tst_pageorder_pg.moc"
