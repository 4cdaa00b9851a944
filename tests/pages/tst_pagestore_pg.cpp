// The page store's behaviour through its interface, the same cases on a file archive's page
// folder and on a server archive's page rows.
#include "pages/PageStore.h"
#include "db/Connection.h"
#include "editing/JpegImage.h"
#include "tests/support/ProviderStores.h"

#include <QDirIterator>
#include <QImage>
#include <QTest>

using namespace Qt::StringLiterals;
using pages::DocumentKey;
using pages::PageError;
using testsupport::ProviderArchive;


namespace {

// A JPEG whose bytes differ with `seed`, so every page can be told apart.
QByteArray jpegBytes(int seed)
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(qRgb(seed * 37 % 256, seed * 91 % 256, seed * 13 % 256));
    image.setPixel(seed % 24, 0, qRgb(255, 255, 255));
    return editing::jpeg::encode(image);
}

const DocumentKey kDoc{u"00007"_s, u"00003"_s};

} // namespace

class TestPageStoreOnProviders : public QObject {
    Q_OBJECT

    testsupport::ProviderStores m_stores;

    ProviderArchive &archive(db::Provider provider) { return m_stores.archive(provider); }
    std::shared_ptr<pages::PageStore> freshStore(db::Provider provider) { return m_stores.freshStore(provider); }

    // Every page ever moved aside, counted where the provider keeps them.
    int pagesAside(db::Provider provider)
    {
        ProviderArchive &a = archive(provider);
        if (provider == db::Provider::PostgreSQL)
            return a.connection().server()->exec(u"SELECT count(*) FROM lauda_excluida"_s).text(0, 0).toInt();
        int files = 0;
        for (QDirIterator it(a.programDir() + u"/dados/laudas/excluidas"_s, QDir::Files); it.hasNext(); it.next())
            ++files;
        return files;
    }

    static void providers()
    {
        QTest::addColumn<db::Provider>("provider");
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }

private slots:
    void appendListsBytesUnchangedAndRemoveRenumbers_data() { providers(); }
    void appendListsBytesUnchangedAndRemoveRenumbers()
    {
        QFETCH(db::Provider, provider);
        const auto store = freshStore(provider);
        for (int seed = 1; seed <= 3; ++seed)
            QCOMPARE(store->appendBytes(kDoc, jpegBytes(seed)), seed);
        QCOMPARE(store->listPages(kDoc),
                 QStringList({u"0000700003001.jpg"_s, u"0000700003002.jpg"_s, u"0000700003003.jpg"_s}));
        QCOMPARE(store->pageBytes(u"0000700003002.jpg"_s), jpegBytes(2));
        QVERIFY(!store->listPages({u"00007"_s, u"00004"_s}).size()); // another document owns nothing

        QVERIFY(store->removePage(kDoc, 2));
        QCOMPARE(store->pageCount(kDoc), 2);
        QCOMPARE(store->pageBytes(u"0000700003001.jpg"_s), jpegBytes(1));
        QCOMPARE(store->pageBytes(u"0000700003002.jpg"_s), jpegBytes(3));
        QVERIFY(!store->pageBytes(u"0000700003003.jpg"_s));
        QVERIFY(!store->removePage(kDoc, 5));
        QCOMPARE(store->pageCount(kDoc), 2);
        QCOMPARE(store->fullImage(u"0000700003002.jpg"_s).size(), QSize(24, 16));
    }

    void movingAsideKeepsEveryPageAndPutsBack_data() { providers(); }
    void movingAsideKeepsEveryPageAndPutsBack()
    {
        QFETCH(db::Provider, provider);
        const auto store = freshStore(provider);
        store->appendBytes(kDoc, jpegBytes(1));
        store->appendBytes(kDoc, jpegBytes(2));
        QCOMPARE(store->moveDocumentToDeleted(kDoc).count(), 2);
        QCOMPARE(store->pageCount(kDoc), 0);

        // The same codes and number again, moved aside again: nothing aside is lost.
        store->appendBytes(kDoc, jpegBytes(3));
        const pages::MovedPages again = store->moveDocumentToDeleted(kDoc);
        QCOMPARE(again.names(), QStringList{u"0000700003001.jpg"_s});
        QCOMPARE(pagesAside(provider), 3);

        store->putBack(again);
        QCOMPARE(store->pageBytes(u"0000700003001.jpg"_s), jpegBytes(3));
        QCOMPARE(pagesAside(provider), 2);

        const DocumentKey other{u"00007"_s, u"00009"_s};
        store->appendBytes(other, jpegBytes(4));
        QCOMPARE(store->moveProcessToDeleted(u"00007"_s).count(), 2);
        QCOMPARE(store->pageCount(kDoc) + store->pageCount(other), 0);
        QCOMPARE(pagesAside(provider), 4);
    }

    // Another workstation (a connection of its own) is never given a code held for an
    // inclusion under way; once released, the code is free again.
    void anInclusionHoldsItsCodeUntilReleased_data() { providers(); }
    void anInclusionHoldsItsCodeUntilReleased()
    {
        QFETCH(db::Provider, provider);
        const auto store = freshStore(provider);
        db::Connection otherWorkstation;
        otherWorkstation.openDescription(archive(provider).udlPath());
        const auto other = pages::openPageStore(archive(provider).programDir(), &otherWorkstation);

        auto held = store->claimInclusion(kDoc);
        QVERIFY(held);
        QVERIFY(!other->claimInclusion(kDoc));
        const DocumentKey nextCode{kDoc.process, u"00004"_s};
        QVERIFY(other->claimInclusion(nextCode));
        held.reset();
        QVERIFY(other->claimInclusion(kDoc));
    }

    void givingPagesToAnotherCodeIsAllOrNothing_data() { providers(); }
    void givingPagesToAnotherCodeIsAllOrNothing()
    {
        QFETCH(db::Provider, provider);
        const auto store = freshStore(provider);
        store->appendBytes(kDoc, jpegBytes(1));
        store->appendBytes(kDoc, jpegBytes(2));
        const DocumentKey next{kDoc.process, u"00004"_s};
        store->moveDocumentPages(kDoc, next);
        QCOMPARE(store->pageCount(kDoc), 0);
        QCOMPARE(store->pageBytes(u"0000700004001.jpg"_s), jpegBytes(1));
        QCOMPARE(store->pageBytes(u"0000700004002.jpg"_s), jpegBytes(2));

        // Onto a document that has pages: refused, and nothing moves.
        store->appendBytes(kDoc, jpegBytes(3));
        QVERIFY_THROWS_EXCEPTION(PageError, store->moveDocumentPages(kDoc, next));
        QCOMPARE(store->listPages(kDoc), QStringList{u"0000700003001.jpg"_s});
        QCOMPARE(store->pageBytes(u"0000700003001.jpg"_s), jpegBytes(3));
        QCOMPARE(store->pageCount(next), 2);
    }

    void refusalsWriteNothing_data()
    {
        QTest::addColumn<db::Provider>("provider");
        QTest::addColumn<QString>("document");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("jpeg");
        QTest::addColumn<int>("kind");
        for (const db::Provider provider : testsupport::allProviders()) {
            const char *name = testsupport::providerName(provider);
            QTest::addRow("%s: not a JPEG", name) << provider << u"00003"_s << 1 << false << int(PageError::Kind::NotJpeg);
            QTest::addRow("%s: page 1000", name) << provider << u"00003"_s << 1000 << true << int(PageError::Kind::PageLimit);
            QTest::addRow("%s: short code", name) << provider << u"3"_s << 1 << true << int(PageError::Kind::BadCode);
        }
    }
    void refusalsWriteNothing()
    {
        QFETCH(db::Provider, provider);
        QFETCH(QString, document);
        QFETCH(int, page);
        QFETCH(bool, jpeg);
        QFETCH(int, kind);
        const auto store = freshStore(provider);
        const DocumentKey key{u"00007"_s, document};
        try {
            store->storeBytes(key, page, jpeg ? jpegBytes(1) : QByteArray("GIF89a not a picture"));
            QFAIL("the page was accepted");
        } catch (const PageError &error) {
            QCOMPARE(int(error.kind()), kind);
            QVERIFY(!error.message().isEmpty());
        }
        QCOMPARE(store->pageCount(kDoc), 0);
        QVERIFY(!store->pageBytes(u"0000700003001.jpg"_s));
    }
};

QTEST_GUILESS_MAIN(TestPageStoreOnProviders)
#include "tst_pagestore_pg.moc"
