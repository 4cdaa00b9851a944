#include "documents/Scanner.h"
#include "editing/Prompt.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using documents::Scanner;

// SANE reads its configuration folder once per process, so the machine without any
// scanner is a test program of its own.
class TestScannerNone : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QFile dll(m_config.filePath(u"dll.conf"_s)); // no backend at all
        QVERIFY(dll.open(QIODevice::WriteOnly));
        qputenv("SANE_CONFIG_DIR", m_config.path().toLocal8Bit());
    }

    void noScannerFoundIsSaid()
    {
        editing::ScopedPrompt<editing::ScriptedPrompt> ui;
        Scanner scanner;
        QVERIFY(scanner.sources().isEmpty());
        QCOMPARE(scanner.selectSource(nullptr), 0);
        const auto messages = ui->callsOf(editing::ScriptedPrompt::Kind::Message);
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().text.startsWith(u"Nenhum scanner foi encontrado."_s));
        QVERIFY(!scanner.settings());
    }

    void acquireWithoutScannerDeliversNothing()
    {
        Scanner scanner;
        QCOMPARE(scanner.load(), 1);
        QCOMPARE(scanner.acquire(nullptr), 0);
        QVERIFY(scanner.lastError().startsWith(u"Nenhum scanner"_s));
        QVERIFY(scanner.takeImage().isNull());
        scanner.unload();
        QVERIFY(!scanner.isLoaded());
    }

    void unknownDeviceFailsQuietly()
    {
        Scanner scanner;
        scanner.setSettings({u"nosuch:device"_s, {}, 0});
        QCOMPARE(scanner.load(), 1);
        QCOMPARE(scanner.acquire(nullptr), 0);
        QVERIFY(scanner.lastError().contains(u"nosuch:device"_s));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, scanner.sourceOptions(u"nosuch:device"_s));
    }

private:
    QTemporaryDir m_config;
};

QTEST_MAIN(TestScannerNone)
#include "tst_scanner_none.moc"
