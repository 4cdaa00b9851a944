#include "pages/FolderPageStore.h"
#include "editing/JpegImage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using pages::DocumentKey;
using pages::MovedPages;
using pages::PageError;
using PageStore = pages::FolderPageStore;

namespace {

// A real JPEG whose bytes differ with `seed`, so every page can be told apart.
QByteArray jpegBytes(int seed, QSize size = QSize(40, 30))
{
    QImage image(size, QImage::Format_RGB32);
    quint32 noise = 2654435761u * quint32(seed + 1);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            noise = noise * 1664525u + 1013904223u; // detail that does not compress away
            line[x] = qRgb((seed * 53 + (noise >> 24) % 64) % 256, (seed * 97) % 256, (noise >> 16) % 256);
        }
    }
    return editing::jpeg::encode(image);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

ino_t inodeOf(const QString &path)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// A program folder with dados/laudas/, as the build lays it out.
struct ProgramFolder {
    QTemporaryDir dir;
    PageStore store{dir.path()};
    ProgramFolder() { QDir(dir.path()).mkpath(u"dados/laudas"_s); }

    // Writes pages with distinct contents straight into the folder.
    void putPages(const DocumentKey &key, std::initializer_list<int> pages, int seedBase = 0)
    {
        for (int page : pages)
            writeAll(store.pagePath(key, page), jpegBytes(seedBase + page));
    }
    QStringList files() const { return QDir(store.folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
};

const DocumentKey kDoc{u"00007"_s, u"00003"_s};

} // namespace

class TestFolderPageStore : public QObject {
    Q_OBJECT

private slots:
    void namesPages_data();
    void namesPages();
    void refusesCodesThatAreNotNames_data();
    void refusesCodesThatAreNotNames();
    void folderIsUnderProgramFolder();
    void listsContiguousPagesOnly();
    void refusesPageAfter999th_data();
    void refusesPageAfter999th();
    void storesFileByteForByte();
    void appendStoresNextPage();
    void refusesMissingAndNonJpegFiles_data();
    void refusesMissingAndNonJpegFiles();
    void failsWhenPageFolderIsMissing();
    void storesImageAsColourJpeg();
    void removesAndRenumbersByRenaming_data();
    void removesAndRenumbersByRenaming();
    void removingMissingPageChangesNothing();
    void movesDeletedDocumentPagesKeepingEveryByte();
    void movesEveryDocumentOfDeletedProcess();
    void shortProcessCodeMovesNobodysPages();
    void movedPagesGoBack();
    void putBackKeepsWhatCannotReturn();
    void blockedMoveMovesNothing();
    void previewsAndFullImages();
    void interruptedWriteLeavesFolderAsItWas();
};

void TestFolderPageStore::namesPages_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("name");
    QTest::newRow("1") << 1 << u"0000700003001.jpg"_s;
    QTest::newRow("12") << 12 << u"0000700003012.jpg"_s;
    QTest::newRow("999") << 999 << u"0000700003999.jpg"_s;
}

void TestFolderPageStore::namesPages()
{
    QFETCH(int, page);
    QFETCH(QString, name);
    QCOMPARE(PageStore::pageName(kDoc, page), name);
    const PageStore store(u"/opt/cartulo"_s);
    QCOMPARE(store.pagePath(kDoc, page), u"/opt/cartulo/dados/laudas/"_s + name);
}

void TestFolderPageStore::refusesCodesThatAreNotNames_data()
{
    QTest::addColumn<QString>("process");
    QTest::addColumn<QString>("document");
    QTest::addColumn<int>("page");
    QTest::newRow("empty process") << QString() << u"00001"_s << 1;
    QTest::newRow("empty document") << u"00001"_s << QString() << 1;
    QTest::newRow("separator") << u"../.."_s << u"00001"_s << 1;
    QTest::newRow("page 0") << u"00001"_s << u"00001"_s << 0;
    // "1" + "00011" and "10001" + "1" would name the same file.
    QTest::newRow("one-digit process") << u"1"_s << u"00011"_s << 1;
    QTest::newRow("one-digit document") << u"10001"_s << u"1"_s << 1;
    QTest::newRow("four digits") << u"0001"_s << u"00001"_s << 1;
    QTest::newRow("six digits") << u"00001"_s << u"000001"_s << 1;
    QTest::newRow("letter") << u"0000A"_s << u"00001"_s << 1;
    QTest::newRow("space") << u" 0001"_s << u"00001"_s << 1;
    QTest::newRow("sign") << u"-0001"_s << u"00001"_s << 1;
    QTest::newRow("other digits") << u"00001"_s << u"\u0660\u0660\u0660\u0660\u0661"_s << 1;
}

void TestFolderPageStore::refusesCodesThatAreNotNames()
{
    QFETCH(QString, process);
    QFETCH(QString, document);
    QFETCH(int, page);
    try {
        PageStore::pageName({process, document}, page);
        QFAIL("a bad page name was accepted");
    } catch (const PageError &error) {
        QCOMPARE(error.kind(), PageError::Kind::BadCode);
    }
}

void TestFolderPageStore::folderIsUnderProgramFolder()
{
    const PageStore store(u"/opt/cartulo"_s);
    QCOMPARE(store.folder(), u"/opt/cartulo/dados/laudas/"_s);
    QCOMPARE(store.deletedFolder(), u"/opt/cartulo/dados/laudas/excluidas/"_s);
    QCOMPARE(store.entryPath(u"0000700003001.jpg"_s), u"/opt/cartulo/dados/laudas/0000700003001.jpg"_s);
}

void TestFolderPageStore::listsContiguousPagesOnly()
{
    ProgramFolder program;
    QVERIFY(program.store.listPages(kDoc).isEmpty());
    program.putPages(kDoc, {1, 2, 4});
    program.putPages({u"00007"_s, u"00004"_s}, {1, 2, 3}); // a neighbour's pages
    QCOMPARE(program.store.listPages(kDoc), (QStringList{u"0000700003001.jpg"_s, u"0000700003002.jpg"_s}));
    program.putPages(kDoc, {3});
    QCOMPARE(program.store.pageCount(kDoc), 4); // page 4 is listed again once 3 exists
}

void TestFolderPageStore::refusesPageAfter999th_data()
{
    QTest::addColumn<bool>("scanned"); // an encoded image, or a file copied in
    QTest::newRow("file") << false;
    QTest::newRow("image") << true;
}

// The list stops at 999: a 1000th page would be written where nobody ever sees it, and
// every later one over it.
void TestFolderPageStore::refusesPageAfter999th()
{
    QFETCH(bool, scanned);
    ProgramFolder program;
    const QByteArray bytes = jpegBytes(1);
    for (int page = 1; page <= 999; ++page)
        writeAll(program.store.pagePath(kDoc, page), bytes);
    const QString source = program.dir.filePath(u"new.jpg"_s);
    writeAll(source, jpegBytes(2));
    const QStringList before = program.files();
    try {
        if (scanned)
            program.store.appendImage(kDoc, QImage(20, 20, QImage::Format_RGB32));
        else
            program.store.appendFile(kDoc, source);
        QFAIL("a 1000th page was stored");
    } catch (const PageError &error) {
        QCOMPARE(error.kind(), PageError::Kind::PageLimit);
        QCOMPARE(error.message(), u"O documento já tem 999 páginas, o máximo que um documento pode ter. "
                                  u"A página não foi incluída."_s);
    }
    QCOMPARE(program.files(), before);
    QVERIFY_THROWS_EXCEPTION(PageError, PageStore::pageName(kDoc, 1000));
    QCOMPARE(program.store.listPages(kDoc).last(), u"0000700003999.jpg"_s);
}

void TestFolderPageStore::storesFileByteForByte()
{
    ProgramFolder program;
    program.putPages(kDoc, {1, 2, 3}); // page 3 is left from an earlier document
    const QString source = program.dir.filePath(u"scan.jpg"_s);
    // Bytes after the end marker are part of the file and are kept as they are.
    const QByteArray bytes = jpegBytes(40, QSize(300, 200)) + QByteArray("trailing bytes");
    writeAll(source, bytes);
    program.store.storeFile(kDoc, 3, source);
    QCOMPARE(readAll(program.store.pagePath(kDoc, 3)), bytes);
    QCOMPARE(readAll(source), bytes);
}

void TestFolderPageStore::appendStoresNextPage()
{
    ProgramFolder program;
    const QString source = program.dir.filePath(u"scan.jpg"_s);
    writeAll(source, jpegBytes(9));
    QCOMPARE(program.store.appendFile(kDoc, source), 1);
    program.putPages(kDoc, {2, 3});
    QCOMPARE(program.store.appendFile(kDoc, source), 4);
    QCOMPARE(program.store.pageCount(kDoc), 4);
    QCOMPARE(readAll(program.store.pagePath(kDoc, 4)), readAll(source));
}

void TestFolderPageStore::refusesMissingAndNonJpegFiles_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << int(PageError::Kind::SourceMissing) << u"Arquivo nao encontrado"_s;
    QTest::newRow("text") << QByteArray("just text") << int(PageError::Kind::NotJpeg) << u"não é uma imagem JPEG"_s;
    QTest::newRow("cut jpeg") << jpegBytes(3, QSize(400, 400)).left(3000) << int(PageError::Kind::NotJpeg)
                              << u"não é uma imagem JPEG"_s;
}

void TestFolderPageStore::refusesMissingAndNonJpegFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(int, kind);
    QFETCH(QString, message);
    ProgramFolder program;
    program.putPages(kDoc, {1});
    const QString source = program.dir.filePath(u"chosen.jpg"_s);
    if (!content.isEmpty())
        writeAll(source, content);
    const QStringList before = program.files();
    try {
        program.store.appendFile(kDoc, source);
        QFAIL("the file was accepted");
    } catch (const PageError &error) {
        QCOMPARE(int(error.kind()), kind);
        QVERIFY2(error.message().contains(message), qPrintable(error.message()));
    }
    QCOMPARE(program.files(), before); // nothing copied
}

void TestFolderPageStore::failsWhenPageFolderIsMissing()
{
    QTemporaryDir dir; // no dados/laudas: the program never creates it
    const PageStore store(dir.path());
    const QString source = dir.filePath(u"scan.jpg"_s);
    writeAll(source, jpegBytes(1));
    QVERIFY_THROWS_EXCEPTION(PageError, store.appendFile(kDoc, source));
    QVERIFY_THROWS_EXCEPTION(PageError, store.storeImage(kDoc, 1, QImage(10, 10, QImage::Format_RGB32)));
    QVERIFY(!QDir(dir.filePath(u"dados"_s)).exists());
}

void TestFolderPageStore::storesImageAsColourJpeg()
{
    ProgramFolder program;
    QImage scan(640, 480, QImage::Format_Grayscale8);
    scan.fill(200);
    QCOMPARE(program.store.appendImage(kDoc, scan), 1);
    const QByteArray stored = readAll(program.store.pagePath(kDoc, 1));
    QVERIFY(editing::jpeg::isJpegData(stored));
    QCOMPARE(editing::jpeg::imageSize(stored), scan.size());
    QCOMPARE(stored, editing::jpeg::encode(scan, 90));
}

void TestFolderPageStore::removesAndRenumbersByRenaming_data()
{
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("removed");
    QTest::newRow("2 of 5") << 5 << 2;
    QTest::newRow("first of 3") << 3 << 1;
    QTest::newRow("last of 4") << 4 << 4;
    QTest::newRow("only page") << 1 << 1;
}

void TestFolderPageStore::removesAndRenumbersByRenaming()
{
    QFETCH(int, pages);
    QFETCH(int, removed);
    ProgramFolder program;
    QList<QByteArray> contents;
    QList<ino_t> inodes;
    for (int page = 1; page <= pages; ++page) {
        contents.append(jpegBytes(page));
        writeAll(program.store.pagePath(kDoc, page), contents.last());
        inodes.append(inodeOf(program.store.pagePath(kDoc, page)));
    }
    program.putPages(kDoc, {pages + 2}); // beyond a gap: not a listed page, left alone
    const QByteArray beyondGap = readAll(program.store.pagePath(kDoc, pages + 2));

    QVERIFY(program.store.removePage(kDoc, removed));

    contents.removeAt(removed - 1);
    inodes.removeAt(removed - 1);
    QCOMPARE(program.store.pageCount(kDoc), pages - 1);
    for (int page = 1; page < pages; ++page) {
        const QString path = program.store.pagePath(kDoc, page);
        QCOMPARE(readAll(path), contents.at(page - 1));
        QCOMPARE(inodeOf(path), inodes.at(page - 1)); // renamed, never copied
    }
    QVERIFY(!QFile::exists(program.store.pagePath(kDoc, pages)));
    QCOMPARE(readAll(program.store.pagePath(kDoc, pages + 2)), beyondGap);
}

void TestFolderPageStore::removingMissingPageChangesNothing()
{
    ProgramFolder program;
    program.putPages(kDoc, {1, 2});
    const QStringList before = program.files();
    QVERIFY(!program.store.removePage(kDoc, 3));
    QCOMPARE(program.files(), before);
}

void TestFolderPageStore::movesDeletedDocumentPagesKeepingEveryByte()
{
    ProgramFolder program;
    const DocumentKey sameCodeOtherProcess{u"00008"_s, u"00003"_s};
    program.putPages(kDoc, {1, 2, 5});
    program.putPages(sameCodeOtherProcess, {1}, 100);
    program.putPages({u"00007"_s, u"00004"_s}, {1}, 200);
    const QByteArray firstPage1 = readAll(program.store.pagePath(kDoc, 1));

    // A 1000th page, as older versions wrote it, belongs to the document too.
    writeAll(program.store.folder() + u"00007000031000.jpg"_s, jpegBytes(1000));

    const MovedPages moved = program.store.moveDocumentToDeleted(kDoc);
    QCOMPARE(moved.names(), (QStringList{u"0000700003001.jpg"_s, u"0000700003002.jpg"_s, u"0000700003005.jpg"_s,
                                         u"00007000031000.jpg"_s}));
    QCOMPARE(program.store.pageCount(kDoc), 0); // a new document with these codes starts empty
    QVERIFY(!QFile::exists(program.store.pagePath(kDoc, 5)));
    const QString deleted = program.store.deletedFolder();
    QCOMPARE(readAll(deleted + u"0000700003001.jpg"_s), firstPage1);
    QVERIFY(QFile::exists(deleted + u"0000700003005.jpg"_s));
    QCOMPARE(readAll(deleted + u"00007000031000.jpg"_s), jpegBytes(1000));
    QCOMPARE(program.store.pageCount(sameCodeOtherProcess), 1);
    QCOMPARE(program.store.pageCount({u"00007"_s, u"00004"_s}), 1);

    // The same codes deleted again: the earlier moved files stay, the new ones get a suffix.
    program.putPages(kDoc, {1}, 300);
    const QByteArray secondPage1 = readAll(program.store.pagePath(kDoc, 1));
    QCOMPARE(program.store.moveDocumentToDeleted(kDoc).count(), 1);
    QCOMPARE(readAll(deleted + u"0000700003001.jpg"_s), firstPage1);
    QCOMPARE(readAll(deleted + u"0000700003001_2.jpg"_s), secondPage1);
    QVERIFY(program.store.moveDocumentToDeleted(kDoc).isEmpty());
}

void TestFolderPageStore::movesEveryDocumentOfDeletedProcess()
{
    ProgramFolder program;
    program.putPages({u"00007"_s, u"00001"_s}, {1, 2});
    program.putPages({u"00007"_s, u"00002"_s}, {1});
    program.putPages({u"00070"_s, u"00001"_s}, {1}); // another process that starts alike
    program.putPages({u"00008"_s, u"00007"_s}, {1});
    QCOMPARE(program.store.moveProcessToDeleted(u"00007"_s).count(), 3);
    QCOMPARE(program.files(), (QStringList{u"0000800007001.jpg"_s, u"0007000001001.jpg"_s}));
    QCOMPARE(QDir(program.store.deletedFolder()).entryList(QDir::Files).size(), 3);
}

// A process code of one digit would take the pages of processes 10000 to 19999.
void TestFolderPageStore::shortProcessCodeMovesNobodysPages()
{
    ProgramFolder program;
    program.putPages({u"10000"_s, u"00001"_s}, {1});
    program.putPages({u"19999"_s, u"00042"_s}, {1, 2});
    const QStringList before = program.files();
    try {
        program.store.moveProcessToDeleted(u"1"_s);
        QFAIL("a one-digit process code was taken");
    } catch (const PageError &error) {
        QCOMPARE(error.kind(), PageError::Kind::BadCode);
    }
    QVERIFY_THROWS_EXCEPTION(PageError, program.store.moveDocumentToDeleted({u"1"_s, u"00001"_s}));
    QCOMPARE(program.files(), before);
    QVERIFY(!QDir(program.store.deletedFolder()).exists());
}

// A deletion that fails after its pages moved puts them back: same names, same files.
void TestFolderPageStore::movedPagesGoBack()
{
    ProgramFolder program;
    program.putPages(kDoc, {1, 2, 3});
    QDir().mkpath(program.store.deletedFolder());
    writeAll(program.store.deletedFolder() + u"0000700003002.jpg"_s, jpegBytes(99)); // deleted long ago
    QMap<QString, QByteArray> before;
    QMap<QString, ino_t> inodes;
    for (const QString &name : program.files()) {
        before.insert(name, readAll(program.store.folder() + name));
        inodes.insert(name, inodeOf(program.store.folder() + name));
    }

    const MovedPages moved = program.store.moveDocumentToDeleted(kDoc);
    QCOMPARE(moved.count(), 3);
    QVERIFY(program.files().isEmpty());
    program.store.putBack(moved);

    QCOMPARE(program.files(), before.keys());
    for (const QString &name : before.keys()) {
        QCOMPARE(readAll(program.store.folder() + name), before.value(name));
        QCOMPARE(inodeOf(program.store.folder() + name), inodes.value(name));
    }
    QCOMPARE(QDir(program.store.deletedFolder()).entryList(QDir::Files), QStringList{u"0000700003002.jpg"_s});
    QCOMPARE(readAll(program.store.deletedFolder() + u"0000700003002.jpg"_s), jpegBytes(99));
}

// A name taken again meanwhile is never overwritten: that file stays aside, and says so.
void TestFolderPageStore::putBackKeepsWhatCannotReturn()
{
    ProgramFolder program;
    program.putPages(kDoc, {1, 2});
    const QByteArray page2 = readAll(program.store.pagePath(kDoc, 2));
    const MovedPages moved = program.store.moveDocumentToDeleted(kDoc);
    program.putPages(kDoc, {2}, 50); // a new page 2 arrived
    try {
        program.store.putBack(moved);
        QFAIL("a page was put back over another");
    } catch (const PageError &error) {
        QVERIFY2(error.message().contains(u"0000700003002.jpg"_s), qPrintable(error.message()));
    }
    QCOMPARE(readAll(program.store.pagePath(kDoc, 2)), jpegBytes(52));
    QCOMPARE(readAll(program.store.deletedFolder() + u"0000700003002.jpg"_s), page2);
    QVERIFY(QFile::exists(program.store.pagePath(kDoc, 1)));
}

// excluidas/ cannot be made (a file stands in its place): the pages stay where they are.
void TestFolderPageStore::blockedMoveMovesNothing()
{
    ProgramFolder program;
    program.putPages(kDoc, {1, 2});
    writeAll(program.store.folder() + u"excluidas"_s, "not a folder");
    const QStringList before = program.files();
    try {
        program.store.moveDocumentToDeleted(kDoc);
        QFAIL("the pages moved into a file");
    } catch (const PageError &error) {
        QCOMPARE(error.kind(), PageError::Kind::Io);
    }
    QVERIFY_THROWS_EXCEPTION(PageError, program.store.moveProcessToDeleted(kDoc.process));
    QCOMPARE(program.files(), before);
}

void TestFolderPageStore::previewsAndFullImages()
{
    ProgramFolder program;
    writeAll(program.store.pagePath(kDoc, 1), jpegBytes(1, QSize(2480, 3508)));
    writeAll(program.store.pagePath(kDoc, 2), QByteArray("garbage"));
    const QImage preview = program.store.previewImage(u"0000700003001.jpg"_s, QSize(209, 243));
    QCOMPARE(preview.size(), QSize(310, 439));
    QCOMPARE(program.store.fullImage(u"0000700003001.jpg"_s).size(), QSize(2480, 3508));
    QVERIFY(program.store.previewImage(u"0000700003009.jpg"_s, QSize(209, 243)).isNull());
    QVERIFY(program.store.fullImage(u"0000700003009.jpg"_s).isNull());
    QVERIFY_THROWS_EXCEPTION(PageError, program.store.previewImage(u"0000700003002.jpg"_s, QSize(209, 243)));
}

// The program is killed while a page is being written (here: by the file size limit,
// which ends a process that writes past it). The folder must read as before: every old
// page whole and under its own name, and no half-written page.
void TestFolderPageStore::interruptedWriteLeavesFolderAsItWas()
{
    ProgramFolder program;
    program.putPages(kDoc, {1, 2});
    program.putPages(kDoc, {3}); // an old page 3 that a new page 3 replaces
    const QString source = program.dir.filePath(u"big.jpg"_s);
    writeAll(source, jpegBytes(7, QSize(1200, 1600)));
    QVERIFY(QFileInfo(source).size() > 64 * 1024);
    QMap<QString, QByteArray> before;
    for (const QString &name : program.files())
        before.insert(name, readAll(program.store.folder() + name));

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 16 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            program.store.storeFile(kDoc, 3, source);
            program.store.storeFile(kDoc, 4, source);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ, "the write was not interrupted");

    QMap<QString, QByteArray> after;
    for (const QString &name : program.files())
        after.insert(name, readAll(program.store.folder() + name));
    QCOMPARE(after.keys(), before.keys());
    QVERIFY(after == before);
    QCOMPARE(program.store.pageCount(kDoc), 3);
}

QTEST_GUILESS_MAIN(TestFolderPageStore)
#include "tst_folderpagestore.moc"
