// Start-up, by running the real executable from a temporary program folder and another
// working directory. A successful start is ended with SIGTERM, which closes the window.
#include "tests/support/TestPaths.h"
#include "db/Connection.h"
#include "db/Description.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList listing(const QString &dir)
{
    QStringList entries;
    QDir base(dir);
    const auto all = base.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo &info : all)
        entries << info.fileName();
    return entries;
}

/// A copy of the built program in a folder of its own; the archive is added on demand.
struct ProgramFolder {
    QTemporaryDir dir;
    QTemporaryDir workingDir; // where the program is started from; must stay empty

    /// nameStart: the start of the folder's name (any characters a folder name may hold).
    explicit ProgramFolder(const QString &nameStart = u"cartulo"_s)
        : dir(QDir::tempPath() + u'/' + nameStart + u"-XXXXXX"_s)
    {
        const QString built = testsupport::binDir() + u"/cartulo"_s;
        if (!QFile::copy(built, executable()))
            qFatal("cannot copy %s", qPrintable(built));
    }
    QString executable() const { return dir.filePath(u"cartulo"_s); }
    QString description() const { return dir.filePath(u"cartulo.udl"_s); }
    QString database() const { return dir.filePath(u"dados/cartulo.db"_s); }
    void addArchive()
    {
        QDir(dir.path()).mkpath(u"dados/laudas"_s);
        db::Connection::createArchive(database());
    }
};

struct Outcome {
    int exitCode = -1;
    QString err;
};

/// Starts the program; with untilRunning, waits until its event loop runs and asks it to
/// end (SIGTERM); checkWhileRunning sees the program folder while it runs.
Outcome start(ProgramFolder &folder, bool untilRunning,
              const std::function<void()> &checkWhileRunning = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"QT_LOGGING_RULES"_s, u"cartulo.startup.debug=true"_s);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder.workingDir.path());
    process.start(folder.executable(), {});
    if (!process.waitForStarted())
        return {};
    QByteArray err;
    if (untilRunning) {
        QElapsedTimer waited;
        waited.start();
        while (!err.contains("cartulo.startup: running") && process.state() == QProcess::Running
               && waited.elapsed() < 120000) {
            process.waitForReadyRead(1000);
            err += process.readAllStandardError();
        }
        if (process.state() == QProcess::Running) {
            if (checkWhileRunning)
                checkWhileRunning();
            process.terminate();
        }
    }
    if (!process.waitForFinished(120000))
        process.kill();
    err += process.readAllStandardError();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, QString::fromUtf8(err)};
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void firstStartWritesTheDescriptionAndOpens();
    void existingDescriptionIsUsedAndKept();
    void noDatabaseFailsEveryTime();
    void startsFromAnyFolder_data();
    void startsFromAnyFolder();
    void failures_data();
    void failures();
};

void TestStartup::firstStartWritesTheDescriptionAndOpens()
{
    ProgramFolder folder;
    folder.addArchive();
    bool archiveOpen = false;
    const Outcome outcome = start(folder, true, [&] { archiveOpen = QFile::exists(folder.database() + u"-wal"_s); });
    QVERIFY2(outcome.err.contains(u"cartulo.startup: running"_s), qPrintable(outcome.err));
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(archiveOpen);
    QCOMPARE(readFile(folder.description()),
             "[oledb]\n; Everything after this line is an OLE DB initstring\nProvider=SQLite;Data Source="
                 + folder.database().toUtf8() + "\n");
    QCOMPARE(listing(folder.workingDir.path()), QStringList());
}

void TestStartup::existingDescriptionIsUsedAndKept()
{
    QTemporaryDir elsewhere;
    const QString otherDatabase = elsewhere.filePath(u"outro.db"_s);
    db::Connection::createArchive(otherDatabase);
    ProgramFolder folder;
    const QByteArray description = "[oledb]\r\n; escrito à mão\r\nProvider=SQLite;Data Source=" + otherDatabase.toUtf8() + "\r\n";
    writeFile(folder.description(), description);

    bool otherOpen = false;
    const Outcome outcome = start(folder, true, [&] { otherOpen = QFile::exists(otherDatabase + u"-wal"_s); });
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(otherOpen);
    QCOMPARE(readFile(folder.description()), description);
    QCOMPARE(listing(folder.dir.path()), (QStringList{u"cartulo"_s, u"cartulo.udl"_s}));
}

void TestStartup::noDatabaseFailsEveryTime()
{
    ProgramFolder folder;
    const Outcome first = start(folder, false);
    QCOMPARE(first.exitCode, 1);
    QVERIFY2(first.err.contains(u"unable to open database file: "_s + folder.database()), qPrintable(first.err));
    QVERIFY(!first.err.contains(u"running"_s));
    const QByteArray written = readFile(folder.description());
    QVERIFY(written.contains(QByteArray("Data Source=" + folder.database().toUtf8())));
    const QStringList files = listing(folder.dir.path());
    QCOMPARE(files, (QStringList{u"cartulo"_s, u"cartulo.udl"_s}));

    const Outcome second = start(folder, false);
    QCOMPARE(second.exitCode, 1);
    QVERIFY2(second.err.contains(u"unable to open database file"_s), qPrintable(second.err));
    QCOMPARE(readFile(folder.description()), written);
    QCOMPARE(listing(folder.dir.path()), files);
}

void TestStartup::startsFromAnyFolder_data()
{
    QTest::addColumn<QString>("nameStart");
    QTest::newRow("semicolon") << u"pasta;cartulo"_s;
    QTest::newRow("space") << u"Meus Programas"_s;
    QTest::newRow("quotes") << u"o \"cartulo\" d'ávila"_s;
    QTest::newRow("all together") << u"a;b \"c\" 'd' e=f"_s;
}

// The first start writes the description; every later start reads the same path back.
void TestStartup::startsFromAnyFolder()
{
    QFETCH(QString, nameStart);
    ProgramFolder folder(nameStart);
    QVERIFY(folder.dir.isValid());
    folder.addArchive();
    for (int run = 0; run < 2; ++run) {
        const Outcome outcome = start(folder, true);
        QVERIFY2(outcome.err.contains(u"cartulo.startup: running"_s), qPrintable(outcome.err));
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(db::databaseFromDescription(folder.description()), folder.database());
    }
}

void TestStartup::failures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("unknown provider") << u"provider"_s << u"Provedor desconhecido \"Microsoft.Jet.OLEDB.4.0\""_s;
    QTest::newRow("damaged database") << u"damaged"_s << u"file is not a database"_s;
    QTest::newRow("description not writable") << u"unwritable"_s << u"Não foi possível criar o arquivo de descrição"_s;
    QTest::newRow("description not readable") << u"unreadable"_s << u"Não foi possível ler o arquivo de descrição"_s;
}

void TestStartup::failures()
{
    QFETCH(QString, kind);
    QFETCH(QString, messagePart);
    ProgramFolder folder;
    folder.addArchive();
    if (kind == u"provider"_s) {
        writeFile(folder.description(), "[oledb]\n; x\nProvider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\cartulo\\DADOS\\cartulo.mdb\n");
    } else if (kind == u"damaged"_s) {
        QFile::remove(folder.database());
        writeFile(folder.database(), QByteArray(8192, 'x'));
    } else if (kind == u"unwritable"_s) {
        // Runs as any user, root included: the file would land in a folder that is missing.
        QVERIFY(QFile::link(folder.dir.filePath(u"sem-pasta/cartulo.udl"_s), folder.description()));
    } else if (kind == u"unreadable"_s) {
        QVERIFY(QDir(folder.dir.path()).mkdir(u"cartulo.udl"_s));
    }
    const Outcome outcome = start(folder, false);
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.err.contains(messagePart), qPrintable(outcome.err));
    QVERIFY(!outcome.err.contains(u"running"_s));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
