// The description file cartulo.udl and opening an archive through it.
#include "ArchiveFixture.h"

#include "db/DbError.h"
#include "db/Description.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>

using namespace Qt::StringLiterals;

class TestDescription : public QObject {
    Q_OBJECT

private slots:
    void writtenFileNamesTheDatabase();
    void neverOverwrites();
    void anyPathReadsBack_data();
    void anyPathReadsBack();
    void readsOtherForms_data();
    void readsOtherForms();
    void refusedDescriptions_data();
    void refusedDescriptions();
    void openFailures_data();
    void openFailures();
    void openingNeverCreatesADatabase();
    void damagedSchema();

private:
    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray utf16le(const QString &text)
    {
        QStringEncoder encoder(QStringConverter::Utf16LE);
        return encoder(text);
    }
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

void TestDescription::writtenFileNamesTheDatabase()
{
    fixture::Archive archive;
    archive.fill();
    const QString udl = archive.dir.filePath(u"cartulo.udl"_s);
    db::writeDescriptionFile(udl, archive.path);
    const QString text = QString::fromUtf8(readFile(udl));
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], u"[oledb]"_s);
    QVERIFY(lines[1].startsWith(u';'));
    QCOMPARE(lines[2], u"Provider=SQLite;Data Source="_s + archive.path);
    QCOMPARE(db::databaseFromDescription(udl), archive.path);

    db::Connection connection;
    connection.openDescription(udl);
    QCOMPARE(connection.databasePath(), archive.path);
    QVERIFY(connection.execute(u"select cod from tipo_arq where cod=\"00001\""_s));
}

void TestDescription::neverOverwrites()
{
    QTemporaryDir dir;
    const QString udl = dir.filePath(u"cartulo.udl"_s);
    const QByteArray original = "[oledb]\n; mine\nProvider=SQLite;Data Source=/elsewhere/arquivo.db\n";
    writeFile(udl, original);
    QVERIFY_THROWS_EXCEPTION(db::DbError, db::writeDescriptionFile(udl, dir.filePath(u"dados/cartulo.db"_s)));
    QCOMPARE(readFile(udl), original);
}

void TestDescription::anyPathReadsBack_data()
{
    QTest::addColumn<QString>("folder"); // the archive's folder inside a temporary one
    QTest::addColumn<QString>("written"); // the Data Source value as written, %1 the temporary folder
    QTest::newRow("plain") << u"dados"_s << u"%1/dados/cartulo.db"_s;
    QTest::newRow("semicolon") << u"a;b"_s << u"\"%1/a;b/cartulo.db\""_s;
    QTest::newRow("space") << u"meus dados"_s << u"%1/meus dados/cartulo.db"_s;
    QTest::newRow("double quotes") << u"o \"arquivo\""_s << u"%1/o \"arquivo\"/cartulo.db"_s;
    QTest::newRow("single quote") << u"d'ávila"_s << u"%1/d'ávila/cartulo.db"_s;
    QTest::newRow("semicolon and quotes") << u"x;\"y\" 'z'"_s << u"\"%1/x;\"\"y\"\" 'z'/cartulo.db\""_s;
    QTest::newRow("equals after a semicolon") << u"k;v=1"_s << u"\"%1/k;v=1/cartulo.db\""_s;
    QTest::newRow("ends with a space") << u"pasta /sub "_s << u"%1/pasta /sub /cartulo.db"_s;
}

void TestDescription::anyPathReadsBack()
{
    QFETCH(QString, folder);
    QFETCH(QString, written);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(folder));
    const QString database = dir.filePath(folder + u"/cartulo.db"_s);
    const QString udl = dir.filePath(u"cartulo.udl"_s);
    db::writeDescriptionFile(udl, database);
    const QStringList lines = QString::fromUtf8(readFile(udl)).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(2), u"Provider=SQLite;Data Source="_s + written.arg(dir.path()));
    QCOMPARE(db::databaseFromDescription(udl), database);

    db::Connection::createArchive(database);
    db::Connection connection;
    connection.openDescription(udl);
    QCOMPARE(connection.databasePath(), database);
}

void TestDescription::readsOtherForms_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("database"); // relative to the description's folder
    QTest::newRow("quoted source, spaces, CRLF")
        << QByteArray("[oledb]\r\n; c\r\nProvider = sqlite ; Data Source=\"dados/meu arquivo.db\";Persist Security Info=False\r\n")
        << u"dados/meu arquivo.db"_s;
    QTest::newRow("UTF-16 with byte-order mark")
        << (QByteArray("\xFF\xFE") + utf16le(u"[oledb]\r\n; c\r\nProvider=SQLite;Data Source=ação.db\r\n"_s))
        << u"ação.db"_s;
    QTest::newRow("bare path with a semicolon, as first written")
        << QByteArray("[oledb]\n; c\nProvider=SQLite;Data Source=dados;velhos/cartulo.db\n") << u"dados;velhos/cartulo.db"_s;
    QTest::newRow("bare path with a semicolon, more pairs after")
        << QByteArray("[oledb]\n; c\nProvider=SQLite;Data Source=a;b;c.db;Mode=Share Deny None\n") << u"a;b;c.db"_s;
    QTest::newRow("single-quoted, quote doubled")
        << QByteArray("[oledb]\n; c\nProvider=SQLite;Data Source='d''x;y.db'\n") << u"d'x;y.db"_s;
    QTest::newRow("UTF-8 with byte-order mark")
        << QByteArray("\xEF\xBB\xBF[oledb]\n; c\nProvider=SQLite;Data Source=a.db\n") << u"a.db"_s;
}

void TestDescription::readsOtherForms()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, database);
    QTemporaryDir dir;
    const QString udl = dir.filePath(u"cartulo.udl"_s);
    writeFile(udl, content);
    QCOMPARE(db::databaseFromDescription(udl), QDir(dir.path()).filePath(database));
}

void TestDescription::refusedDescriptions_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("old provider") << QByteArray("[oledb]\n; c\nProvider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\x.mdb\n")
                                  << u"Provedor desconhecido \"Microsoft.Jet.OLEDB.4.0\""_s;
    QTest::newRow("no provider") << QByteArray("[oledb]\n; c\nData Source=x.db\n") << u"Provider="_s;
    QTest::newRow("no source") << QByteArray("[oledb]\n; c\nProvider=SQLite\n") << u"Data Source="_s;
    QTest::newRow("empty file") << QByteArray() << u"Provider="_s;
}

void TestDescription::refusedDescriptions()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, messagePart);
    QTemporaryDir dir;
    const QString udl = dir.filePath(u"cartulo.udl"_s);
    writeFile(udl, content);
    db::Connection connection;
    try {
        connection.openDescription(udl);
        QFAIL("the description was accepted");
    } catch (const db::DbError &error) {
        QVERIFY2(error.message().contains(messagePart), qPrintable(error.message()));
    }
    QVERIFY(!connection.isOpen());
}

void TestDescription::openFailures_data()
{
    QTest::addColumn<QByteArray>("databaseContent"); // empty: no file at all
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("missing") << QByteArray() << u"unable to open database file"_s;
    QTest::newRow("not a database") << QByteArray(4096, 'x') << u"file is not a database"_s;
    QTest::newRow("header without a database") << QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\x7f')
                                               << u"file is not a database"_s;
}

void TestDescription::openFailures()
{
    QFETCH(QByteArray, databaseContent);
    QFETCH(QString, messagePart);
    QTemporaryDir dir;
    const QString database = dir.filePath(u"dados/cartulo.db"_s);
    QDir(dir.path()).mkpath(u"dados"_s);
    if (!databaseContent.isEmpty())
        writeFile(database, databaseContent);
    const QString udl = dir.filePath(u"cartulo.udl"_s);
    db::writeDescriptionFile(udl, database);
    db::Connection connection;
    try {
        connection.openDescription(udl);
        QFAIL("a bad database was opened");
    } catch (const db::DbError &error) {
        QVERIFY2(error.message().contains(messagePart), qPrintable(error.message()));
        QVERIFY2(error.message().contains(database), qPrintable(error.message()));
    }
    QVERIFY(!connection.isOpen());
}

void TestDescription::openingNeverCreatesADatabase()
{
    QTemporaryDir dir;
    const QString database = dir.filePath(u"cartulo.db"_s);
    db::Connection connection;
    QVERIFY_THROWS_EXCEPTION(db::DbError, connection.openFile(database));
    QVERIFY(!QFile::exists(database));

    // An SQLite file without the archive's tables is no archive.
    {
        fixture::Archive archive;
        archive.connection.execute(u"drop table documento"_s);
        archive.connection.close();
        try {
            connection.openFile(archive.path);
            QFAIL("a database without documento was opened");
        } catch (const db::DbError &error) {
            QVERIFY2(error.message().contains(u"documento"_s), qPrintable(error.message()));
        }
    }
}

void TestDescription::damagedSchema()
{
    fixture::Archive archive;
    archive.connection.close();
    QFile file(archive.path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(100)); // the table list right after the file header
    file.write(QByteArray(1000, '\x55'));
    file.close();
    try {
        archive.connection.openFile(archive.path);
        QFAIL("a damaged archive was opened");
    } catch (const db::DbError &error) {
        QVERIFY2(error.message().contains(u"malformed"_s), qPrintable(error.message()));
    }
}

QTEST_GUILESS_MAIN(TestDescription)
#include "tst_description.moc"
