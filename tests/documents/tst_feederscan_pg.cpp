// "Adquirir" from a document feeder, on a file archive's page folder and on a server
// archive's page rows: SANE's test backend (its feeder runs empty after 10 pages) and, for
// failures in the middle of a batch, the fake backend (see fakesane/).
#include "tests/support/TestPaths.h"
#include "documents/FeederScan.h"
#include "documents/Scanner.h"
#include "editing/JpegImage.h"
#include "editing/Prompt.h"
#include "pages/PageStore.h"
#include "scan/ScanMemory.h"
#include "tests/support/ProviderArchive.h"
#include "tests/support/WhenShown.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <dlfcn.h>
#include <map>
#include <sane/sane.h>

using namespace Qt::StringLiterals;
using documents::FeederScan;
using documents::Scanner;
using editing::ScriptedPrompt;
using pages::DocumentKey;
using testsupport::ProviderArchive;

namespace {

const DocumentKey kDoc{u"00007"_s, u"00003"_s};
const QString kTestFeeder = u"Automatic Document Feeder"_s;

QString pageName(int page)
{
    return pages::PageStore::pageName(kDoc, page);
}

QStringList pageNames(int first, int last)
{
    QStringList names;
    for (int page = first; page <= last; ++page)
        names << pageName(page);
    return names;
}

// SANE's backends through a private configuration folder read at each load.
class Backends {
public:
    Backends() { use("test"); }
    QString path() const { return m_dir.path(); }
    void use(const QByteArray &backend) { write(u"dll.conf"_s, backend + '\n'); }
    /// The test backend at 25 dpi (78 x 98 pixels), `extra` lines overriding.
    void configureTest(const QByteArray &extra = {})
    {
        write(u"test.conf"_s,
              "number_of_devices 1\nmode Gray\ndepth 8\nhand-scanner false\nthree-pass false\n"
              "resolution_min 1.0\nresolution_max 1200.0\nresolution_quant 1.0\nresolution 25.0\n"
              "test-picture \"Color pattern\"\nread-limit false\nread-delay false\n"
              "read-status-code \"Default\"\nnon-blocking false\nselect-fd false\n"
                  + extra);
    }
    void fakeFrames(const QByteArray &lines) { write(u"cartulofake.conf"_s, lines); }

private:
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QTemporaryDir m_dir;
};

// Kept loaded across sane_exit, so the leak checker can name what the test backend keeps.
void keepTestBackendLoaded()
{
    Dl_info sane{};
    if (!dladdr(reinterpret_cast<void *>(&sane_init), &sane) || !sane.dli_fname)
        return;
    const QByteArray backend = QFileInfo(QFile::decodeName(sane.dli_fname)).absolutePath().toLocal8Bit()
        + "/sane/libsane-test.so.1";
    if (void *handle = dlopen(backend.constData(), RTLD_NOW | RTLD_NODELETE))
        dlclose(handle);
}

// A feeder of the fake backend: pages of the given greys, then whatever `tail` says.
QByteArray fakeFeeder(const QList<int> &greys, const QByteArray &tail = {})
{
    QByteArray lines = "source Flatbed|ADF\n";
    for (int grey : greys)
        lines += "gray 8 40 40 50 1 fill=" + QByteArray::number(grey) + '\n';
    return lines + tail;
}

} // namespace

class TestFeederScan : public QObject {
    Q_OBJECT

    std::unique_ptr<Backends> m_backends;
    std::map<db::Provider, std::unique_ptr<ProviderArchive>> m_archives;
    std::shared_ptr<pages::PageStore> m_store;
    std::optional<editing::ScopedPrompt<ScriptedPrompt>> m_ui;
    QStringList m_storedNames; // as the screen was told, in order

    void providerData()
    {
        QTest::addColumn<db::Provider>("provider");
        for (db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }

    // A fresh archive of the provider; document 00003 of process 00007 with `pages` pages.
    void start(int pages = 0)
    {
        QFETCH(db::Provider, provider);
        auto &slot = m_archives[provider];
        if (!slot)
            slot = std::make_unique<ProviderArchive>(provider);
        slot->clear();
        if (provider == db::Provider::SQLite)
            QDir(slot->programDir() + u"/dados/laudas"_s).removeRecursively();
        QDir(slot->programDir()).mkpath(u"dados/laudas"_s);
        m_store = pages::openPageStore(slot->programDir(), &slot->connection());
        QImage small(8, 8, QImage::Format_RGB32);
        small.fill(Qt::white);
        const QByteArray bytes = editing::jpeg::encode(small);
        for (int page = 1; page <= pages; ++page)
            m_store->storeBytes(kDoc, page, bytes);
        m_storedNames.clear();
        m_ui.emplace();
    }

    // "Adquirir" with the feeder chosen on `device`.
    int runBatch(const QString &device, const QString &source, int announced = 0, bool skipBlank = false)
    {
        Scanner scanner;
        scan::ScanSettings settings{device, {}, 0, source};
        settings.skipBlankPages = skipBlank;
        scanner.setSettings(settings);
        FeederScan feeder(scanner, *m_store);
        const int listed = m_store->pageCount(kDoc);
        return feeder.run(nullptr, {kDoc, listed, announced}, [this](const QString &name, const QImage &page) {
            QVERIFY(!page.isNull());
            m_storedNames << name;
        });
    }

    QStringList messages() const
    {
        QStringList texts;
        for (const ScriptedPrompt::Call &call : (*m_ui)->callsOf(ScriptedPrompt::Kind::Message))
            texts << call.text;
        return texts;
    }

    // The pages listed are `expected`, those from `firstScanned` on whole JPEGs of the size
    // scanned; a page folder holds nothing else.
    void verifyWholePages(const QStringList &expected, QSize size, int firstScanned = 1)
    {
        QCOMPARE(m_store->listPages(kDoc), expected);
        for (const QString &name : expected.mid(firstScanned - 1)) {
            const std::optional<QByteArray> bytes = m_store->pageBytes(name);
            QVERIFY2(bytes && editing::jpeg::isJpegData(*bytes), qPrintable(name));
            QCOMPARE(editing::jpeg::imageSize(*bytes), size);
        }
        QFETCH(db::Provider, provider);
        if (provider == db::Provider::SQLite)
            QCOMPARE(QDir(m_archives[provider]->programDir() + u"/dados/laudas"_s).entryList(QDir::Files, QDir::Name),
                     expected);
    }

private slots:
    void initTestCase()
    {
        m_backends = std::make_unique<Backends>();
        qputenv("SANE_CONFIG_DIR", m_backends->path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", m_backends->path().toLocal8Bit());
        qputenv("LD_LIBRARY_PATH", testsupport::fakeSaneDir() + ':' + qgetenv("LD_LIBRARY_PATH"));
        keepTestBackendLoaded();
    }
    void init()
    {
        m_backends->use("test");
        m_backends->configureTest();
        scan::ScanMemory().clear();
    }
    void cleanup()
    {
        m_ui.reset();
        m_store.reset();
    }
    void cleanupTestCase() { m_archives.clear(); }

    void fullBatchStoresTenPages_data() { providerData(); }
    void fullBatchStoresTenPages()
    {
        start(2); // the batch follows the pages there are
        QCOMPARE(runBatch(u"test:0"_s, kTestFeeder), 10);
        QCOMPARE(m_storedNames, pageNames(3, 12));
        verifyWholePages(pageNames(1, 12), QSize(78, 98), 3);
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join(u'\n')));
    }

    // Pages arrive in the device's order (fake backend: every page a grey of its own).
    void pagesKeepTheFeedersOrder_data() { providerData(); }
    void pagesKeepTheFeedersOrder()
    {
        start();
        m_backends->use("cartulofake");
        const QList<int> greys{20, 40, 60, 80, 100, 120, 140, 160, 180, 200};
        m_backends->fakeFrames(fakeFeeder(greys));
        QCOMPARE(runBatch(u"cartulofake:0"_s, u"ADF"_s), 10);
        QCOMPARE(m_storedNames, pageNames(1, 10));
        verifyWholePages(pageNames(1, 10), QSize(40, 50));
        for (int page = 1; page <= 10; ++page) {
            const QImage stored = m_store->fullImage(pageName(page));
            QVERIFY2(std::abs(qGray(stored.pixel(20, 25)) - greys[page - 1]) <= 2, qPrintable(pageName(page)));
        }
        QVERIFY(messages().isEmpty());
    }

    void errorInTheMiddleKeepsWhatWasStored_data()
    {
        QTest::addColumn<db::Provider>("provider");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QString>("said");
        const QList<std::pair<QByteArray, QString>> failures{{"JAMMED", u"papel preso no alimentador"_s},
                                                             {"COVER_OPEN", u"a tampa do scanner está aberta"_s},
                                                             {"IO_ERROR", u"erro de comunicação com o scanner"_s}};
        for (db::Provider provider : testsupport::allProviders())
            for (const auto &[status, said] : failures)
                QTest::addRow("%s, %s", testsupport::providerName(provider), status.constData()) << provider << status << said;
    }
    // The fake backend fails the fourth page's read (the test backend, told to fail a read,
    // may hang in its own reader thread).
    void errorInTheMiddleKeepsWhatWasStored()
    {
        QFETCH(QByteArray, status);
        QFETCH(QString, said);
        start(1);
        m_backends->use("cartulofake");
        m_backends->fakeFrames(fakeFeeder({20, 40, 60}, "gray 8 40 40 50 1 " + status + "\ngray 8 40 40 50 1\n"));
        QCOMPARE(runBatch(u"cartulofake:0"_s, u"ADF"_s), 3);
        QCOMPARE(m_storedNames, pageNames(2, 4));
        QCOMPARE(m_store->listPages(kDoc), pageNames(1, 4));
        QCOMPARE(messages(), QStringList{u"A digitalização pelo alimentador parou. A leitura da página falhou: %1. "
                                         u"A última página guardada é a 4 (0000700003004.jpg)."_s.arg(said)});
    }

    void emptyFeederStoresNothing_data() { providerData(); }
    void emptyFeederStoresNothing()
    {
        start(1);
        m_backends->use("cartulofake");
        m_backends->fakeFrames(fakeFeeder({}));
        QCOMPARE(runBatch(u"cartulofake:0"_s, u"ADF"_s), 0);
        QVERIFY(m_storedNames.isEmpty());
        QCOMPARE(m_store->listPages(kDoc), pageNames(1, 1));
        QCOMPARE(messages(), QStringList{u"O alimentador de folhas está vazio: nenhuma página foi digitalizada."_s});
    }

    // "Laudas" is warned of once for the whole batch, and only when the batch goes past it.
    void announcedPagesWarnedOnce_data() { providerData(); }
    void announcedPagesWarnedOnce()
    {
        start(2);
        QCOMPARE(runBatch(u"test:0"_s, kTestFeeder, 5), 10);
        QCOMPARE(messages(), QStringList{u"Número de laudas informado excedido"_s});
        (*m_ui)->clearCalls();
        QCOMPARE(runBatch(u"test:0"_s, kTestFeeder, 22), 10);
        QVERIFY(messages().isEmpty());
    }

    void limitOf999EndsTheBatch_data() { providerData(); }
    void limitOf999EndsTheBatch()
    {
        start(997);
        QCOMPARE(runBatch(u"test:0"_s, kTestFeeder, 999), 2);
        QCOMPARE(m_storedNames, (QStringList{pageName(998), pageName(999)}));
        QCOMPARE(m_store->pageCount(kDoc), 999);
        QCOMPARE(messages(), QStringList{u"O documento chegou ao limite de 999 páginas: as folhas que restam no "
                                         u"alimentador não foram lidas. A última página guardada é a 999 "
                                         u"(0000700003999.jpg)."_s});
    }

    void cancelAfterThreeKeepsThree_data() { providerData(); }
    void cancelAfterThreeKeepsThree()
    {
        start();
        // Slow enough to be caught on the third page: 12 small reads of 50 ms each per page.
        m_backends->configureTest("read-limit true\nread-limit-size 2048\nread-delay true\nread-delay-duration 50000\n");
        QString labelAtCancel;
        whenShown(u"DlgScanProgress"_s, [&](QDialog *dialog) {
            auto *label = dialog->findChild<QLabel *>(u"LblScanStatus"_s);
            auto *bar = dialog->findChild<QProgressBar *>(u"PrgScan"_s);
            auto *cancel = dialog->findChild<QPushButton *>(u"BtnCancelar"_s);
            QVERIFY(label && bar && cancel);
            QTRY_VERIFY_WITH_TIMEOUT(label->text().startsWith(u"Lendo a página 3 do alimentador"_s), 30000);
            QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000);
            labelAtCancel = label->text();
            QCOMPARE(cancel->text(), u"Cancelar"_s);
            QTest::mouseClick(cancel, Qt::LeftButton);
            QCOMPARE(cancel->text(), u"Interromper"_s); // a second click would drop page 3 too
        });
        QCOMPARE(runBatch(u"test:0"_s, kTestFeeder), 3);
        QVERIFY2(labelAtCancel.contains(u"2 páginas guardadas"_s), qPrintable(labelAtCancel));
        QCOMPARE(m_storedNames, pageNames(1, 3));
        verifyWholePages(pageNames(1, 3), QSize(78, 98));
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join(u'\n')));
    }

    // "Interromper", the second click, drops the page being read as well.
    void secondClickDropsThePageBeingRead_data() { providerData(); }
    void secondClickDropsThePageBeingRead()
    {
        start();
        m_backends->configureTest("read-limit true\nread-limit-size 2048\nread-delay true\nread-delay-duration 50000\n");
        whenShown(u"DlgScanProgress"_s, [&](QDialog *dialog) {
            auto *label = dialog->findChild<QLabel *>(u"LblScanStatus"_s);
            auto *bar = dialog->findChild<QProgressBar *>(u"PrgScan"_s);
            auto *cancel = dialog->findChild<QPushButton *>(u"BtnCancelar"_s);
            QVERIFY(label && bar && cancel);
            QTRY_VERIFY_WITH_TIMEOUT(label->text().startsWith(u"Lendo a página 2 do alimentador"_s), 30000);
            QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0 && bar->value() < 80, 20000);
            QTest::mouseClick(cancel, Qt::LeftButton);
            QTest::mouseClick(cancel, Qt::LeftButton);
            QVERIFY(!cancel->isEnabled());
        });
        QCOMPARE(runBatch(u"test:0"_s, kTestFeeder), 1);
        QCOMPARE(m_storedNames, pageNames(1, 1));
        verifyWholePages(pageNames(1, 1), QSize(78, 98));
        QVERIFY(messages().isEmpty());
    }
};

QTEST_MAIN(TestFeederScan)
#include "tst_feederscan_pg.moc"
