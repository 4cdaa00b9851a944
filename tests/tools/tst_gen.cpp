// cartulo-gen: the synthetic archive is the same for the same seed, and holds what the
// screens rely on (codes, dates, numbering, pages) and what the benchmark needs.

#include "db/Connection.h"
#include "db/Description.h"
#include "db/SearchIndex.h"
#include "editing/JpegImage.h"

#include "tests/support/ToolRun.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <map>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDayOf1970 = 25569;
const QDate kUntil(2024, 6, 30);

int dayNumber(const QDate &date)
{
    return int(QDate(1899, 12, 30).daysTo(date));
}

// Generation of the small archives takes seconds; the limit only stops a hang.
testsupport::ToolRun runGen(const QStringList &args)
{
    return testsupport::runTool(u"cartulo-gen"_s, args, {}, 240000);
}

// A small archive with every feature: a fixed-size process, a document whose page count
// passes 30, A4 pages at 300 dpi, random paged documents at low resolution.
QStringList smallArchiveArgs(const QString &dir, const QString &seed)
{
    return {dir,
            u"--processes"_s, u"12"_s,
            u"--documents"_s, u"400"_s,
            u"--types"_s, u"30"_s,
            u"--missing-types"_s, u"3"_s,
            u"--pages-docs"_s, u"4"_s,
            u"--page-dpi"_s, u"30"_s,
            u"--process-docs"_s, u"3:40"_s,
            u"--pages-for"_s, u"2:1:33@25"_s,
            u"--pages-for"_s, u"4:2:2@300"_s,
            u"--seed"_s, seed,
            u"--until"_s, kUntil.toString(Qt::ISODate),
            u"--jobs"_s, u"2"_s};
}

class Archive {
public:
    explicit Archive(const QString &dir) : m_dir(dir)
    {
        m_connection.openFile(dbPath());
    }
    QString dbPath() const { return m_dir + u"/dados/cartulo.db"_s; }
    QString laudas() const { return m_dir + u"/dados/laudas"_s; }

    QList<QStringList> rows(const QString &sql)
    {
        sqlite3_stmt *stmt = nullptr;
        QList<QStringList> result;
        if (sqlite3_prepare_v2(m_connection.handle(), sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            qWarning("%s: %s", qPrintable(sql), sqlite3_errmsg(m_connection.handle()));
            return result;
        }
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                row << (sqlite3_column_type(stmt, c) == SQLITE_NULL
                            ? u"<null>"_s
                            : QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c))));
            }
            result << row;
        }
        sqlite3_finalize(stmt);
        return result;
    }
    QString value(const QString &sql)
    {
        const auto r = rows(sql);
        return r.isEmpty() || r.first().isEmpty() ? QString() : r.first().first();
    }
    long long number(const QString &sql) { return value(sql).toLongLong(); }

    /// Page files by document stem (process + document code), page numbers sorted.
    std::map<QString, QList<int>> pages() const
    {
        std::map<QString, QList<int>> result;
        static const QRegularExpression name(u"^(\\d{10})(\\d{3,})\\.jpg$"_s);
        for (const QString &file : QDir(laudas()).entryList(QDir::Files, QDir::Name)) {
            const auto match = name.match(file);
            if (match.hasMatch())
                result[match.captured(1)] << match.captured(2).toInt();
        }
        for (auto &[stem, numbers] : result)
            std::sort(numbers.begin(), numbers.end());
        return result;
    }

private:
    QString m_dir;
    db::Connection m_connection;
};

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

} // namespace

class TestGen : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sameSeedSameArchive();
    void otherSeedOtherArchive();
    void countsAndNumbering();
    void codesHaveFiveDigits();
    void datesWithinRange();
    void someTypesMissing();
    void textsAsTyped();
    void pagesContiguousAndDecodable();
    void descriptionAndProfile();
    void searchIndexBuilt();
    void refusesExistingArchive();
    void rejectsBadOptions_data();
    void rejectsBadOptions();

private:
    QTemporaryDir m_tmp;
    QString m_a, m_b, m_c;
};

void TestGen::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    m_a = m_tmp.filePath(u"a"_s);
    m_b = m_tmp.filePath(u"b"_s);
    m_c = m_tmp.filePath(u"c"_s);
    for (const auto &[dir, seed] : {std::pair{m_a, u"7"_s}, std::pair{m_b, u"7"_s}, std::pair{m_c, u"8"_s}}) {
        const testsupport::ToolRun run = runGen(smallArchiveArgs(dir, seed));
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    }
}

void TestGen::sameSeedSameArchive()
{
    Archive a(m_a), b(m_b);
    for (const QString &sql : {u"select * from processo order by cod"_s, u"select * from tipo_arq order by cod"_s,
                               u"select * from documento order by processo, cod"_s}) {
        const auto rowsA = a.rows(sql);
        QVERIFY(!rowsA.isEmpty());
        QCOMPARE(rowsA, b.rows(sql));
    }
    // The profile names its own folder's logo; everything else is equal.
    QCOMPARE(a.rows(u"select nome,cnpj,endereco,cidade,resp1 from orgao"_s),
             b.rows(u"select nome,cnpj,endereco,cidade,resp1 from orgao"_s));

    const QStringList filesA = QDir(a.laudas()).entryList(QDir::Files, QDir::Name);
    QCOMPARE(filesA, QDir(b.laudas()).entryList(QDir::Files, QDir::Name));
    for (const QString &file : filesA)
        QVERIFY2(fileHash(a.laudas() + u'/' + file) == fileHash(b.laudas() + u'/' + file), qPrintable(file));
}

void TestGen::otherSeedOtherArchive()
{
    Archive a(m_a), c(m_c);
    const QString sql = u"select descricao, ementa from documento order by processo, cod"_s;
    QVERIFY(a.rows(sql) != c.rows(sql));
}

void TestGen::countsAndNumbering()
{
    Archive a(m_a);
    QCOMPARE(a.number(u"select count(*) from processo"_s), 12);
    QCOMPARE(a.number(u"select count(*) from documento"_s), 400);
    QCOMPARE(a.number(u"select count(*) from tipo_arq"_s), 30);
    QCOMPARE(a.number(u"select count(*) from documento where processo='00003'"_s), 40);

    // Each process numbers its documents from 00001 without a gap.
    const auto perProcess = a.rows(u"select processo, count(*), min(cod), max(cod), count(distinct cod) "
                                   u"from documento group by processo"_s);
    QVERIFY(!perProcess.isEmpty());
    for (const QStringList &row : perProcess) {
        QCOMPARE(row[2], u"00001"_s);
        QCOMPARE(row[3].toInt(), row[1].toInt());
        QCOMPARE(row[4], row[1]);
    }
    // Every document belongs to an existing process.
    QCOMPARE(a.number(u"select count(*) from documento where processo not in (select cod from processo)"_s), 0);
    // num_doc announces the count (the entry holds at most three digits).
    QCOMPARE(a.number(u"select count(*) from processo p where num_doc <> min(999, "
                      u"(select count(*) from documento d where d.processo = p.cod))"_s),
             0);
}

void TestGen::codesHaveFiveDigits()
{
    Archive a(m_a);
    static const QRegularExpression fiveDigits(u"^\\d{5}$"_s);
    const auto check = [&](const QString &sql) {
        const auto rows = a.rows(sql);
        QVERIFY(!rows.isEmpty());
        for (const QStringList &row : rows)
            for (const QString &code : row)
                QVERIFY2(fiveDigits.match(code).hasMatch(), qPrintable(sql + u": "_s + code));
    };
    check(u"select cod from processo"_s);
    check(u"select cod from tipo_arq"_s);
    check(u"select cod, processo, tp_doc from documento"_s);
}

void TestGen::datesWithinRange()
{
    Archive a(m_a);
    const int last = dayNumber(kUntil);
    for (const QString &column : {u"documento.data"_s, u"documento.data_arquivamento"_s, u"processo.data"_s}) {
        const QString table = column.section(u'.', 0, 0);
        const QString sql = u"select count(*) from %1 where %2 is not null and (%2 < %3 or %2 > %4)"_s
                                .arg(table, column).arg(kDayOf1970).arg(last);
        QCOMPARE(a.number(sql), 0);
    }
    QCOMPARE(a.number(u"select count(*) from documento where data_arquivamento < data"_s), 0);
    // Documents saved with blank dates hold NULL.
    QVERIFY(a.number(u"select count(*) from documento where data is null"_s) > 0);
    // Spread over the decades, not piled on one day.
    QVERIFY(a.number(u"select max(data) - min(data) from documento"_s) > 365 * 20);
}

void TestGen::someTypesMissing()
{
    Archive a(m_a);
    const long long orphans = a.number(u"select count(*) from documento where tp_doc not in (select cod from tipo_arq)"_s);
    QVERIFY(orphans > 0);
    QVERIFY(orphans < 400 / 2);
    QCOMPARE(a.number(u"select count(distinct tp_doc) from documento where tp_doc not in (select cod from tipo_arq)"_s) <= 3,
             true);
}

void TestGen::textsAsTyped()
{
    Archive a(m_a);
    const auto rows = a.rows(u"select descricao, ementa, palavras_chave from documento"_s);
    int multiLine = 0, accented = 0, mixedCase = 0, upperKeywords = 0, lowerKeywords = 0;
    for (const QStringList &row : rows) {
        QCOMPARE(row[0], row[0].toUpper()); // descriptions are typed in upper case
        QVERIFY(!row[0].isEmpty() && row[0].size() <= 50);
        multiLine += row[1].contains(u'\n');
        accented += row[1].contains(QRegularExpression(u"[ãõçáéíóúâêôÃÕÇÁÉÍÓÚÂÊÔ]"_s));
        mixedCase += row[1] != row[1].toUpper() && row[1] != row[1].toLower();
        upperKeywords += row[2] == row[2].toUpper();
        lowerKeywords += row[2] == row[2].toLower();
    }
    QVERIFY(multiLine > 0);
    QVERIFY(accented > 0);
    QVERIFY(mixedCase > rows.size() / 2);
    QVERIFY(upperKeywords > 0);
    QVERIFY(lowerKeywords > 0);
}

void TestGen::pagesContiguousAndDecodable()
{
    Archive a(m_a);
    const auto pages = a.pages();
    QVERIFY(pages.count(u"0000200001"_s));
    QVERIFY(pages.count(u"0000400002"_s));
    QVERIFY(pages.size() > 2); // the random documents too
    for (const auto &[stem, numbers] : pages) {
        // A page file belongs to a document of the archive.
        QCOMPARE(a.number(u"select count(*) from documento where processo='%1' and cod='%2'"_s.arg(stem.left(5), stem.mid(5))),
                 1);
        for (qsizetype i = 0; i < numbers.size(); ++i)
            QCOMPARE(numbers[i], int(i) + 1); // contiguous from 001
        if (stem != u"0000200001"_s)
            QVERIFY(numbers.size() <= 30);
        for (int n : numbers) {
            const QString path = a.laudas() + u'/' + stem + QString::number(n).rightJustified(3, u'0') + u".jpg"_s;
            QVERIFY2(editing::jpeg::isJpegFile(path), qPrintable(path));
        }
    }
    QCOMPARE(pages.at(u"0000200001"_s).size(), 33);
    QCOMPARE(pages.at(u"0000400002"_s).size(), 2);

    // A4 at the asked resolution: 300 dpi is 2480 x 3508 pixels.
    QFile a4(a.laudas() + u"/0000400002001.jpg"_s);
    QVERIFY(a4.open(QIODevice::ReadOnly));
    QCOMPARE(editing::jpeg::imageSize(a4.readAll()), QSize(2480, 3508));
    const QImage small = editing::jpeg::decodeFile(a.laudas() + u"/0000200001033.jpg"_s);
    QCOMPARE(small.size(), QSize(207, 292)); // A4 at 25 dpi
    // A drawn page, not a blank: dark text on light paper.
    int dark = 0;
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x)
            dark += qGray(small.pixel(x, y)) < 128;
    QVERIFY(dark > 100);
    QVERIFY(dark < small.width() * small.height() / 4);
}

void TestGen::descriptionAndProfile()
{
    const QString dbPath = QFileInfo(m_a + u"/dados/cartulo.db"_s).absoluteFilePath();
    QCOMPARE(db::databaseFromDescription(m_a + u"/cartulo.udl"_s), dbPath);
    Archive a(m_a);
    // Durability settings are back to the archive's own after the bulk load.
    QCOMPARE(a.value(u"pragma journal_mode"_s), u"wal"_s);
    QCOMPARE(a.number(u"select count(*) from orgao"_s), 1);
    const QString logo = a.value(u"select logomarca from orgao"_s);
    QCOMPARE(logo, QFileInfo(m_a + u"/dados/logo.jpg"_s).absoluteFilePath());
    QVERIFY(editing::jpeg::isJpegFile(logo));
}

void TestGen::searchIndexBuilt()
{
    // The archive is as one in use after its first search: the substring index is there.
    db::Connection connection;
    connection.openFile(m_a + u"/dados/cartulo.db"_s);
    QCOMPARE(db::searchindex::condition(connection.handle()), db::searchindex::Condition::Current);
}

void TestGen::refusesExistingArchive()
{
    const QString db = m_a + u"/dados/cartulo.db"_s;
    const QByteArray before = fileHash(db);
    const testsupport::ToolRun run = runGen(smallArchiveArgs(m_a, u"9"_s));
    QVERIFY(run.exitCode != 0);
    QVERIFY2(run.err.contains(u"exists"_s), qPrintable(run.err));
    QCOMPARE(fileHash(db), before);
}

void TestGen::rejectsBadOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no folder") << QStringList{u"--seed"_s, u"1"_s} << u"no output folder"_s;
    QTest::newRow("folder and target") << QStringList{u"X"_s, u"--target"_s, u"X.udl"_s} << u"not both"_s;
    QTest::newRow("unknown option") << QStringList{u"X"_s, u"--colour"_s} << u"unknown option --colour"_s;
    QTest::newRow("not a number") << QStringList{u"X"_s, u"--documents"_s, u"mil"_s} << u"--documents"_s;
    QTest::newRow("six-digit codes") << QStringList{u"X"_s, u"--processes"_s, u"100000"_s} << u"--processes"_s;
    QTest::newRow("missing value") << QStringList{u"X"_s, u"--seed"_s} << u"--seed needs a value"_s;
    QTest::newRow("pages plan") << QStringList{u"X"_s, u"--pages-for"_s, u"1:2"_s} << u"PROCESS:DOCUMENT:PAGES"_s;
    QTest::newRow("a thousand pages") << QStringList{u"X"_s, u"--pages-for"_s, u"1:1:1000"_s}
                                      << u"at most 999 pages"_s;
    QTest::newRow("pages past a whole number")
        << QStringList{u"X"_s, u"--pages-for"_s, u"1:1:99999999999"_s} << u"--pages-for pages"_s;
    QTest::newRow("document beyond process")
        << QStringList{u"X"_s, u"--processes"_s, u"2"_s, u"--documents"_s, u"4"_s, u"--process-docs"_s, u"1:2"_s,
                       u"--pages-for"_s, u"1:3:5"_s}
        << u"holds only 2 documents"_s;
    QTest::newRow("more fixed than total")
        << QStringList{u"X"_s, u"--processes"_s, u"2"_s, u"--documents"_s, u"4"_s, u"--process-docs"_s, u"1:9"_s}
        << u"more documents than --documents"_s;
}

void TestGen::rejectsBadOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir dir;
    for (QString &arg : args) {
        if (arg == u"X"_s)
            arg = dir.filePath(u"out"_s);
        else if (arg == u"X.udl"_s)
            arg = dir.filePath(u"out/cartulo.udl"_s);
    }
    const testsupport::ToolRun run = runGen(args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"out/dados"_s))); // nothing written
}

QTEST_GUILESS_MAIN(TestGen)
#include "tst_gen.moc"
