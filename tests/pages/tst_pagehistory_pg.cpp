// The history of page changes: a file archive records each page added, removed, moved
// aside, turned or reordered in its history as a server records its page rows, so that
// both read alike; and a history that cannot be written never undoes a page change.
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/History.h"
#include "editing/JpegImage.h"
#include "pages/PageChange.h"
#include "pages/PageStore.h"
#include "tests/support/ProviderArchive.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTest>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using db::Provider;
using pages::DocumentKey;
using pages::PageStore;
using testsupport::ProviderArchive;

namespace {

const DocumentKey kDoc{u"00007"_s, u"00003"_s};
const DocumentKey kOther{u"00007"_s, u"00004"_s};
const DocumentKey kNewCode{u"00007"_s, u"00005"_s};

enum class Change { Appended, Replaced, Removed, Exchanged, Turned, DocumentAside, ProcessAside, PutBack, Given };

// 32 x 16 pictures that differ with `seed`; a quarter turn of them is perfect.
QByteArray jpegBytes(int seed)
{
    QImage image(32, 16, QImage::Format_RGB32);
    image.fill(qRgb(seed * 37 % 256, seed * 91 % 256, seed * 13 % 256));
    image.setPixel(seed % 32, 3, qRgb(255, 255, 255));
    return editing::jpeg::encode(image);
}

QString sha256Of(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

struct HistoryRow {
    QString who;
    QString workstation;
    QString operation;
    QString table;
    QString key;
    QJsonObject before;
    QJsonObject after;

    QString line() const { return operation + u' ' + table + u' ' + key; }
    // What both engines must write alike (who is a role on one, a user on the other).
    bool operator<(const HistoryRow &other) const
    {
        return std::tie(operation, table, key) < std::tie(other.operation, other.table, other.key);
    }
    bool sameChange(const HistoryRow &other) const
    {
        return line() == other.line() && before == other.before && after == other.after;
    }
};

QJsonObject parsed(const QString &json)
{
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

// The page rows of the history written after row `after`, as the view reports them.
QList<HistoryRow> pageRowsAfter(db::Connection &connection, qint64 after)
{
    const QString sql = u"SELECT coalesce(quem, 'cliente sem identificação'), estacao, operacao, tabela, chave, "
                        u"antes, depois FROM historico_registro WHERE id > %1 AND tabela IN ('lauda', 'lauda_excluida') "
                        u"ORDER BY id"_s.arg(after);
    QList<HistoryRow> rows;
    for (const QStringList &f : testsupport::rowsOf(connection, sql))
        rows << HistoryRow{f[0], f[1], f[2], f[3], f[4], parsed(f[5]), parsed(f[6])};
    return rows;
}

qint64 lastHistoryId(db::Connection &connection)
{
    const QString sql = u"SELECT coalesce(max(id), 0) FROM historico_registro"_s;
    return testsupport::rowsOf(connection, sql).at(0).at(0).toLongLong();
}

void runOnFile(db::Connection &connection, const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(connection.handle(), sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("%s", error);
}

// Process 00007: document 00003 with pages 1..3 (pictures 1..3), 00004 with one (picture 4).
std::shared_ptr<PageStore> seeded(ProviderArchive &archive)
{
    for (const QString &sql : {u"INSERT INTO processo (cod) VALUES ('00007')"_s,
                               u"INSERT INTO documento (cod, processo) VALUES ('00003', '00007')"_s,
                               u"INSERT INTO documento (cod, processo) VALUES ('00004', '00007')"_s})
        archive.connection().execute(sql);
    QDir(archive.programDir()).mkpath(u"dados/laudas"_s);
    auto store = pages::openPageStore(archive.programDir(), &archive.connection());
    for (int seed = 1; seed <= 3; ++seed)
        store->appendBytes(kDoc, jpegBytes(seed));
    store->appendBytes(kOther, jpegBytes(4));
    return store;
}

// The change made, its history read from `mark()` on (a put back after its move aside).
QList<HistoryRow> historyOf(Change change, ProviderArchive &archive)
{
    const std::shared_ptr<PageStore> store = seeded(archive);
    db::Connection &connection = archive.connection();
    qint64 mark = lastHistoryId(connection);
    switch (change) {
    case Change::Appended: store->appendBytes(kDoc, jpegBytes(9)); break;
    case Change::Replaced: store->storeBytes(kDoc, 2, jpegBytes(9)); break;
    case Change::Removed: store->removePage(kDoc, 1); break;
    case Change::Exchanged: store->movePageDown(kDoc, 2); break;
    case Change::Turned: store->turnPage(kDoc, 3, pages::Turn::Clockwise); break;
    case Change::DocumentAside: store->moveDocumentToDeleted(kDoc); break;
    case Change::ProcessAside: store->moveProcessToDeleted(kDoc.process); break;
    case Change::PutBack: {
        const pages::MovedPages moved = store->moveDocumentToDeleted(kDoc);
        mark = lastHistoryId(connection);
        store->putBack(moved);
        break;
    }
    case Change::Given: store->moveDocumentPages(kDoc, kNewCode); break;
    }
    return pageRowsAfter(connection, mark);
}

QStringList linesOf(const QList<HistoryRow> &rows)
{
    QStringList lines;
    for (const HistoryRow &row : rows)
        lines << row.line();
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestPageHistory : public QObject {
    Q_OBJECT
private slots:
    void fileArchiveRecordsPagesAsAServerDoes_data();
    void fileArchiveRecordsPagesAsAServerDoes();
    void unwrittenHistoryLeavesThePageChange_data();
    void unwrittenHistoryLeavesThePageChange();
};

void TestPageHistory::fileArchiveRecordsPagesAsAServerDoes_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("lines"); // as the file archive writes them, in order
    QTest::addColumn<int>("oldPicture");    // the picture the first row's antes prints (0: none)
    QTest::addColumn<int>("newPicture");    // the picture the first row's depois prints (0: none)
    const auto page = [](const QString &operation, const QString &key, const QString &table = u"lauda"_s) -> QString {
        return operation + u' ' + table + u' ' + key;
    };
    const QString included = u"página incluída"_s, removed = u"página removida"_s,
                  picture = u"imagem da página alterada"_s, renumbered = u"página renumerada"_s,
                  aside = u"página posta de lado"_s, back = u"página devolvida"_s;
    QTest::newRow("appended") << Change::Appended << QStringList{page(included, u"0000700003004"_s)} << 0 << 9;
    QTest::newRow("replaced") << Change::Replaced << QStringList{page(picture, u"0000700003002"_s)} << 2 << 9;
    QTest::newRow("removed, the next renumbered")
        << Change::Removed
        << QStringList{page(removed, u"0000700003001"_s), page(renumbered, u"0000700003001"_s),
                       page(renumbered, u"0000700003002"_s)}
        << 1 << 0;
    QTest::newRow("moved down") << Change::Exchanged
                                << QStringList{page(picture, u"0000700003002"_s), page(picture, u"0000700003003"_s)}
                                << 2 << 3;
    QTest::newRow("turned") << Change::Turned << QStringList{page(picture, u"0000700003003"_s)} << 3 << 0;
    QTest::newRow("document moved aside")
        << Change::DocumentAside
        << QStringList{page(removed, u"0000700003001"_s), page(removed, u"0000700003002"_s),
                       page(removed, u"0000700003003"_s), page(aside, u"0000700003001"_s, u"lauda_excluida"_s),
                       page(aside, u"0000700003002"_s, u"lauda_excluida"_s),
                       page(aside, u"0000700003003"_s, u"lauda_excluida"_s)}
        << 1 << 0;
    QTest::newRow("process moved aside")
        << Change::ProcessAside
        << QStringList{page(removed, u"0000700003001"_s), page(removed, u"0000700003002"_s),
                       page(removed, u"0000700003003"_s), page(removed, u"0000700004001"_s),
                       page(aside, u"0000700003001"_s, u"lauda_excluida"_s),
                       page(aside, u"0000700003002"_s, u"lauda_excluida"_s),
                       page(aside, u"0000700003003"_s, u"lauda_excluida"_s),
                       page(aside, u"0000700004001"_s, u"lauda_excluida"_s)}
        << 1 << 0;
    QTest::newRow("put back")
        << Change::PutBack
        << QStringList{page(included, u"0000700003001"_s), page(back, u"0000700003001"_s, u"lauda_excluida"_s),
                       page(included, u"0000700003002"_s), page(back, u"0000700003002"_s, u"lauda_excluida"_s),
                       page(included, u"0000700003003"_s), page(back, u"0000700003003"_s, u"lauda_excluida"_s)}
        << 0 << 1;
    QTest::newRow("given to another code")
        << Change::Given
        << QStringList{page(renumbered, u"0000700005001"_s), page(renumbered, u"0000700005002"_s),
                       page(renumbered, u"0000700005003"_s)}
        << 0 << 0;
}

void TestPageHistory::fileArchiveRecordsPagesAsAServerDoes()
{
    QFETCH(Change, change);
    QFETCH(QStringList, lines);
    QFETCH(int, oldPicture);
    QFETCH(int, newPicture);
    ProviderArchive file(Provider::SQLite);
    const QList<HistoryRow> rows = historyOf(change, file);
    QCOMPARE(linesOf(rows), lines);
    for (const HistoryRow &row : rows) {
        QCOMPARE(row.who, db::history::osUser());
        QCOMPARE(row.workstation, QSysInfo::machineHostName());
        QVERIFY(!row.before.contains(u"imagem"_s) && !row.after.contains(u"imagem"_s)); // never the bytes
    }
    if (oldPicture)
        QCOMPARE(rows[0].before[u"sha256"_s].toString(), sha256Of(jpegBytes(oldPicture)));
    if (newPicture)
        QCOMPARE(rows[0].after[u"sha256"_s].toString(), sha256Of(jpegBytes(newPicture)));

    // The same change on a server archive, recorded by its triggers: the same rows, the
    // same before and after, in whatever order one statement's rows come.
    ProviderArchive server(Provider::PostgreSQL);
    QList<HistoryRow> serverRows = historyOf(change, server);
    QList<HistoryRow> fileRows = rows;
    std::stable_sort(serverRows.begin(), serverRows.end());
    std::stable_sort(fileRows.begin(), fileRows.end());
    QCOMPARE(linesOf(fileRows), linesOf(serverRows));
    for (qsizetype i = 0; i < fileRows.size(); ++i) {
        const auto shown = [](const HistoryRow &row) -> QString {
            return QString::fromUtf8(QJsonDocument(row.before).toJson(QJsonDocument::Compact)) + u" → "_s
                + QString::fromUtf8(QJsonDocument(row.after).toJson(QJsonDocument::Compact));
        };
        QVERIFY2(fileRows[i].sameChange(serverRows[i]),
                 qPrintable(fileRows[i].line() + u"\nfile:   "_s + shown(fileRows[i]) + u"\nserver: "_s
                            + shown(serverRows[i])));
    }
}

void TestPageHistory::unwrittenHistoryLeavesThePageChange_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("refused"); // the operation whose row cannot be written
    QTest::addColumn<QStringList>("pictures"); // of document 00003 after the change
    QTest::newRow("removal, a renumbering refused")
        << Change::Removed << u"página renumerada"_s << QStringList{u"2"_s, u"3"_s};
    QTest::newRow("moved aside, the last row refused")
        << Change::DocumentAside << u"página posta de lado"_s << QStringList{};
    QTest::newRow("appended") << Change::Appended << u"página incluída"_s
                              << QStringList{u"1"_s, u"2"_s, u"3"_s, u"9"_s};
}

void TestPageHistory::unwrittenHistoryLeavesThePageChange()
{
    QFETCH(Change, change);
    QFETCH(QString, refused);
    QFETCH(QStringList, pictures);
    ProviderArchive file(Provider::SQLite);
    // Only this connection refuses the row, as a full disk or a locked file would.
    runOnFile(file.connection(),
        u"CREATE TEMP TRIGGER recusa BEFORE INSERT ON main.historico_registro WHEN NEW.operacao = '%1' "
        u"BEGIN SELECT RAISE(ABORT, 'sem espaço'); END"_s.arg(refused));
    const QList<HistoryRow> rows = historyOf(change, file); // does not throw
    QVERIFY2(rows.isEmpty(), qPrintable(linesOf(rows).join(u'\n'))); // all of the change's rows, or none
    const auto store = pages::openPageStore(file.programDir(), &file.connection());
    QStringList shown;
    for (const QString &name : store->listPages(kDoc)) {
        const QByteArray bytes = *store->pageBytes(name);
        for (int seed = 1; seed <= 9; ++seed) {
            if (bytes == jpegBytes(seed))
                shown << QString::number(seed);
        }
    }
    QCOMPARE(shown, pictures);
    // The connection is left outside any transaction: the next change is recorded.
    runOnFile(file.connection(), u"DROP TRIGGER temp.recusa"_s);
    const qint64 mark = lastHistoryId(file.connection());
    store->appendBytes(kOther, jpegBytes(5));
    QCOMPARE(linesOf(pageRowsAfter(file.connection(), mark)), QStringList{u"página incluída lauda 0000700004002"_s});
}

QTEST_GUILESS_MAIN(TestPageHistory)
#include "tst_pagehistory_pg.moc"
