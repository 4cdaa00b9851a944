// Archives on network file systems: which file systems count as such, and the journal an
// archive is opened in on each kind.
#include "ArchiveFixture.h"

#include "db/FileSystem.h"

using namespace Qt::StringLiterals;

class TestFileSystem : public QObject {
    Q_OBJECT

private slots:
    void kinds_data();
    void kinds();
    void journalModes_data();
    void journalModes();
    void sharedArchiveMovesBackToTheLocalJournal();
};

void TestFileSystem::kinds_data()
{
    QTest::addColumn<qint64>("type");
    QTest::addColumn<bool>("network");
    // Network shares and cluster file systems.
    QTest::newRow("nfs") << qint64(0x6969) << true;
    QTest::newRow("smbfs") << qint64(0x517B) << true;
    QTest::newRow("cifs") << qint64(0xFF534D42) << true;
    QTest::newRow("smb2/smb3") << qint64(0xFE534D42) << true;
    QTest::newRow("9p") << qint64(0x01021997) << true;
    QTest::newRow("fuse (sshfs, glusterfs)") << qint64(0x65735546) << true;
    QTest::newRow("coda") << qint64(0x73757245) << true;
    QTest::newRow("afs") << qint64(0x5346414F) << true;
    QTest::newRow("kafs") << qint64(0x6B414653) << true;
    QTest::newRow("ceph") << qint64(0x00C36400) << true;
    QTest::newRow("ncp") << qint64(0x564C) << true;
    QTest::newRow("ocfs2") << qint64(0x7461636F) << true;
    QTest::newRow("gfs2") << qint64(0x01161970) << true;
    QTest::newRow("lustre") << qint64(0x0BD00BD0) << true;
    QTest::newRow("gpfs") << qint64(0x47504653) << true;
    QTest::newRow("orangefs") << qint64(0x20030528) << true;
    QTest::newRow("vboxsf") << qint64(0x786F4256) << true;
    // Local disks and memory.
    QTest::newRow("ext4") << qint64(0xEF53) << false;
    QTest::newRow("xfs") << qint64(0x58465342) << false;
    QTest::newRow("btrfs") << qint64(0x9123683E) << false;
    QTest::newRow("tmpfs") << qint64(0x01021994) << false;
    QTest::newRow("overlayfs") << qint64(0x794C7630) << false;
    QTest::newRow("zfs") << qint64(0x2FC12FC1) << false;
    QTest::newRow("f2fs") << qint64(0xF2F52010) << false;
    QTest::newRow("vfat") << qint64(0x4D44) << false;
    QTest::newRow("ntfs3") << qint64(0x7366746E) << false;
    QTest::newRow("exfat") << qint64(0x2011BAB0) << false;
}

void TestFileSystem::kinds()
{
    QFETCH(qint64, type);
    QFETCH(bool, network);
    QCOMPARE(db::fileSystemKind(type) == db::FileSystemKind::Network, network);
}

void TestFileSystem::journalModes_data()
{
    QTest::addColumn<bool>("network");
    QTest::addColumn<QString>("journal");
    QTest::newRow("local disk") << false << u"wal"_s;
    QTest::newRow("network share") << true << u"delete"_s;
}

// The archive is opened as if it lay on each kind of file system, and works there.
void TestFileSystem::journalModes()
{
    QFETCH(bool, network);
    QFETCH(QString, journal);
    fixture::Archive archive;
    archive.fill();
    archive.connection.close();
    const db::FileSystemKind kind = network ? db::FileSystemKind::Network : db::FileSystemKind::Local;
    archive.connection.openFile(archive.path, {kind});
    QCOMPARE(archive.connection.fileSystem(), kind);
    QCOMPARE(archive.connection.journalMode(), journal);
    QCOMPARE(archive.value(u"pragma journal_mode"_s), journal);
    archive.connection.execute(u"UPDATE processo SET descricao=\"Obra\" Where cod=\"00001\""_s);
    QCOMPARE(archive.value(u"select descricao from processo where cod=\"00001\""_s), u"Obra"_s);
    // A second copy of the program opens it the same way, and sees the write.
    db::Connection other;
    other.openFile(archive.path, {kind});
    QCOMPARE(other.journalMode(), journal);
    QVERIFY(other.execute(u"select cod from processo where descricao=\"Obra\""_s));
    QCOMPARE(QFile::exists(archive.path + u"-wal"_s), !network);
}

// An archive taken to a share and back gets the journal of where it lies each time.
void TestFileSystem::sharedArchiveMovesBackToTheLocalJournal()
{
    fixture::Archive archive;
    archive.fill();
    archive.connection.close();
    archive.connection.openFile(archive.path, {db::FileSystemKind::Network});
    QCOMPARE(archive.connection.journalMode(), u"delete"_s);
    archive.connection.close();
    archive.connection.openFile(archive.path, {db::FileSystemKind::Local});
    QCOMPARE(archive.connection.journalMode(), u"wal"_s);
    QCOMPARE(archive.value(u"select count(*) as n from documento"_s), u"3"_s);
}

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_filesystem.moc"
