// The substring index itself: what a new archive holds, how its condition is read, and
// that the tokenizer's case folding agrees with like() wherever the search relies on it.
#include "ArchiveFixture.h"

#include "db/Fold.h"
#include "db/QueuedIndex.h"
#include "db/SearchIndex.h"
#include "db/Statement.h"

using namespace Qt::StringLiterals;

class TestSearchIndex : public QObject {
    Q_OBJECT

private slots:
    void newArchiveHasItCurrent();
    void lookupTrigrams_data();
    void lookupTrigrams();
    void foldAgreesWhereTrigramsAreLookedUp();
};

void TestSearchIndex::newArchiveHasItCurrent()
{
    fixture::Archive archive;
    sqlite3 *handle = archive.connection.handle();
    QCOMPARE(db::searchindex::condition(handle), db::searchindex::Condition::Current);
    QVERIFY(db::searchindex::isFilled(handle));
    archive.fill();
    QCOMPARE(db::searchindex::condition(handle), db::searchindex::Condition::Current);
    for (const db::queuedindex::Source *source : db::queuedindex::all()) {
        QCOMPARE(db::queuedindex::condition(handle, *source), db::searchindex::Condition::Current);
        QVERIFY(db::queuedindex::isFilled(handle, *source));
    }
    db::searchindex::drop(handle);
    QCOMPARE(db::searchindex::condition(handle), db::searchindex::Condition::Missing);
    QVERIFY(!db::searchindex::isFilled(handle));
    for (const db::queuedindex::Source *source : db::queuedindex::all())
        QCOMPARE(db::queuedindex::condition(handle, *source), db::searchindex::Condition::Missing);
    // Without its index the archive is written as before.
    archive.connection.execute(u"DELETE FROM documento Where processo=\"00001\""_s);
}

void TestSearchIndex::lookupTrigrams_data()
{
    QTest::addColumn<QString>("fragment"); // folded already
    QTest::addColumn<QStringList>("trigrams");
    QTest::newRow("word") << u"obra"_s << QStringList{u"\"obr\""_s, u"\"bra\""_s};
    QTest::newRow("accents") << u"ação"_s << QStringList{u"\"açã\""_s, u"\"ção\""_s};
    QTest::newRow("quote doubled") << u"a\"b"_s << QStringList{u"\"a\"\"b\""_s};
    QTest::newRow("spaces") << u"a b"_s << QStringList{u"\"a b\""_s};
    QTest::newRow("short") << u"ab"_s << QStringList{};
    QTest::newRow("greek left out") << u"σίσυφος"_s << QStringList{};
    QTest::newRow("beside greek") << u"abcσ"_s << QStringList{u"\"abc\""_s};
    QTest::newRow("outside the basic plane") << u"ab\U0001D400cd"_s << QStringList{};
}

void TestSearchIndex::lookupTrigrams()
{
    QFETCH(QString, fragment);
    QFETCH(QStringList, trigrams);
    QCOMPARE(db::searchindex::lookupTrigrams(fragment), trigrams);
}

// Every character that like() folds to another, or any below U+0250, whose folded form
// the search looks up ("K" Kelvin sign and "ẞ" included) is found by its folded trigram:
// the index never misses a hit through case. Characters whose folding the tokenizer does
// otherwise must not be looked up.
void TestSearchIndex::foldAgreesWhereTrigramsAreLookedUp()
{
    fixture::Archive archive;
    sqlite3 *handle = archive.connection.handle();
    QList<char32_t> letters;
    for (char32_t c = 1; c < 0x110000; ++c) {
        const char32_t folded = db::foldCodePoint(c);
        if ((c >= 0xD800 && c <= 0xDFFF) || (folded == c && c >= 0x250))
            continue;
        if (!db::searchindex::lookupTrigrams(QString::fromUcs4(&folded, 1) + u"zq"_s).isEmpty())
            letters << c;
    }
    QVERIFY(letters.size() > 500);
    QVERIFY(letters.contains(U'\u212A') && letters.contains(U'\u1E9E'));

    sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *raw = nullptr;
    QCOMPARE(sqlite3_prepare_v2(handle, "INSERT INTO documento (cod, processo, tp_doc, descricao, ementa) "
                                        "VALUES (printf('%05d', ?1 % 100000), printf('%05d', ?1 / 100000), '00001', 'x', ?2)",
                                -1, &raw, nullptr), SQLITE_OK);
    db::StatementPtr insert(raw);
    for (const char32_t c : letters) {
        const QByteArray text = (QString::fromUcs4(&c, 1) + u"zq"_s).toUtf8();
        sqlite3_bind_int64(raw, 1, c);
        sqlite3_bind_text(raw, 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        QCOMPARE(sqlite3_step(raw), SQLITE_DONE);
        sqlite3_reset(raw);
    }
    sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);

    QCOMPARE(sqlite3_prepare_v2(handle, "SELECT count(*) FROM documento_busca, documento "
                                        "WHERE documento_busca MATCH ?1 AND documento.rowid = documento_busca.rowid "
                                        "AND documento.cod = printf('%05d', ?2 % 100000) "
                                        "AND documento.processo = printf('%05d', ?2 / 100000)",
                                -1, &raw, nullptr), SQLITE_OK);
    db::StatementPtr find(raw);
    QStringList missed;
    for (const char32_t c : letters) {
        const char32_t folded = db::foldCodePoint(c);
        const QStringList trigrams = db::searchindex::lookupTrigrams(QString::fromUcs4(&folded, 1) + u"zq"_s);
        const QByteArray match = trigrams.first().toUtf8();
        sqlite3_bind_text(raw, 1, match.constData(), int(match.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(raw, 2, c);
        QCOMPARE(sqlite3_step(raw), SQLITE_ROW);
        if (sqlite3_column_int(raw, 0) != 1)
            missed << u"U+%1"_s.arg(quint32(c), 4, 16, QChar(u'0'));
        sqlite3_reset(raw);
    }
    QCOMPARE(missed, QStringList());
}

QTEST_GUILESS_MAIN(TestSearchIndex)
#include "tst_searchindex.moc"
