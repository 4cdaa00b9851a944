// "Ignorar acentos": one map, the same in C++, in the file archive's SQL and on the server,
// for every code point, on both of the server function's ways through a text.
#include "ArchiveFixture.h"

#include "db/AccentFold.h"
#include "db/Fold.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgFold.h"
#include "db/pg/PgSchema.h"
#include "tests/support/PgTestDatabase.h"

using namespace Qt::StringLiterals;
using db::pg::PgParam;

namespace {

// Every code point the server can hold in a text, surrogates aside.
constexpr char32_t kLastChecked = 0x2FFFF;

QString character(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

} // namespace

class TestAccentFold : public QObject {
    Q_OBJECT

private slots:
    void fold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("folded");
        QTest::newRow("Portuguese, upper case") << u"LICITAÇÃO"_s << u"licitacao"_s;
        QTest::newRow("Portuguese, title case") << u"Licitação"_s << u"licitacao"_s;
        QTest::newRow("every Portuguese accent")
            << u"ÁÀÂÃ áàâã ÉÊ éê Í í ÓÔÕ óôõ Ú ú Ü ü Ç ç"_s << u"aaaa aaaa ee ee i i ooo ooo u u u u c c"_s;
        QTest::newRow("Latin-1 others") << u"ÄÅËÌÎÏÑÒÖÙÛÝŸ"_s << u"aaeiiinoouuyy"_s;
        QTest::newRow("Latin Extended-A") << u"ĀĂĄĆĈĊČĎĒĚĞĢĤĨĮĴĶĹĻĽŃŇŌŐŔŘŚŜŞŠŢŤŨŪŬŮŰŲŴŶŹŻŽ"_s
                                          << u"aaaccccdeegghiijklllnnoorrssssttuuuuuuwyzzz"_s;
        QTest::newRow("Vietnamese, two marks") << u"Việt Nam, Ở Đây"_s << u"viet nam, o day"_s;
        QTest::newRow("letters with a stroke") << u"Ø ø Đ đ Ł ł Ħ ħ Ŧ ŧ Ð ð"_s << u"o o d d l l h h t t d d"_s;
        QTest::newRow("spelled out") << u"Straße STRAẞE Æther œuvre Þór ĳs"_s << u"strasse strasse aether oeuvre thor ijs"_s;
        QTest::newRow("ligatures") << u"ﬁnal ﬂor ǆ ǅ"_s << u"final flor dz dz"_s;
        QTest::newRow("written decomposed") << u"licitac\u0327a\u0303o"_s << u"licitacao"_s;
        QTest::newRow("other scripts only lose case") << u"ΆΛΦΑ Ёлка"_s << u"άλφα ёлка"_s;
        QTest::newRow("signs stay") << u"Nº 15/2004 – 100% ª º ×"_s << u"nº 15/2004 – 100% ª º ×"_s;
        QTest::newRow("wildcards stay") << u"%ÇÃ_O%"_s << u"%ca_o%"_s;
        QTest::newRow("beyond the basic plane") << u"𐐀 x"_s << u"𐐨 x"_s;
    }
    void fold()
    {
        QFETCH(QString, text);
        QFETCH(QString, folded);
        QCOMPARE(db::foldAccents(text), folded);
        QCOMPARE(QString::fromUtf8(db::foldAccentsUtf8(text.toUtf8())), folded);
    }

    void mapIsClosed()
    {
        // A folded text folds to itself: the index and the statement may fold twice.
        QVERIFY(db::accentFoldMap().size() > 600);
        for (const db::AccentFoldEntry &entry : db::accentFoldMap()) {
            QCOMPARE(db::foldCodePoint(entry.from), entry.from);
            QCOMPARE(db::foldAccents(entry.to), entry.to.toString());
        }
        for (char32_t c = 1; c <= 0xFFFF; ++c) {
            if (QChar::isSurrogate(c))
                continue;
            const QString once = db::foldAccents(character(c));
            if (db::foldAccents(once) != once)
                QFAIL(qPrintable(u"U+%1 folds to %2, which folds again"_s.arg(uint(c), 4, 16, QChar(u'0')).arg(once)));
        }
    }

    void invalidBytesKept()
    {
        const QByteArray text = "A\xC3\x87\xFF\xC3" "B";
        QCOMPARE(db::foldAccentsUtf8(text), QByteArray("ac\xFF\xC3" "b"));
    }

    void fileArchiveFunction()
    {
        fixture::Archive archive;
        QCOMPARE(archive.value(u"select cartulo_sem_acento(\"LICITAÇÃO de Água\")"_s), u"licitacao de agua"_s);
        QCOMPARE(archive.value(u"select cartulo_sem_acento(NULL) is null"_s), u"1"_s);
        // Every code point through the SQL function, in texts of a thousand.
        for (char32_t first = 1; first <= kLastChecked; first += 1000) {
            QString text;
            for (char32_t c = first; c < first + 1000 && c <= kLastChecked; ++c) {
                if (!QChar::isSurrogate(c) && c != U'"')
                    text += character(c);
            }
            const QString same = archive.value(
                u"select cartulo_sem_acento(\"%1\") = \"%2\""_s.arg(text, db::foldAccents(text)));
            QVERIFY2(same == u"1"_s, qPrintable(u"from U+%1"_s.arg(uint(first), 4, 16, QChar(u'0'))));
        }
    }

    void serverFunctionIsTheMap()
    {
        testsupport::PgTestDatabase database;
        db::pg::PgConnection connection(database.address());
        db::pg::schema::create(connection);
        if (connection.exec(u"SELECT to_regprocedure('cartulo_sem_acento(text)') IS NULL"_s).text(0, 0) == u"t"_s)
            connection.exec(db::pg::accentFoldFunctionStatement(connection));
        // Each code point alone takes whichever way the function chooses for it.
        const db::pg::PgResult result = connection.exec(
            u"SELECT c, cartulo_sem_acento(chr(c)) FROM generate_series(1, $1::int) AS c "
            u"WHERE c < 55296 OR c > 57343 ORDER BY c"_s,
            {PgParam::text(QString::number(kLastChecked))});
        QStringList wrong;
        for (int row = 0; row < result.rowCount(); ++row) {
            const char32_t c = char32_t(result.text(row, 0).toUInt());
            if (result.text(row, 1) != db::foldAccents(character(c)))
                wrong << u"U+%1 -> %2"_s.arg(uint(c), 4, 16, QChar(u'0')).arg(result.text(row, 1));
        }
        QCOMPARE(wrong.mid(0, 20), QStringList());
        QCOMPARE(result.rowCount(), int(kLastChecked - 2048));

        // Whole texts: Portuguese ones take the cheap way, a rarer letter the full one.
        for (const QString &text : {u"LICITAÇÃO da Obra: ÁGUA, Pão e Ônibus, Straße, Ægir"_s,
                                    u"Licitação em Ăn Giang, Łódź, licitac\u0327a\u0303o"_s,
                                    u"ΆΛΦΑ 𐐀 Ǆ ﬁ Việt"_s, u"sem acento algum"_s}) {
            const db::pg::PgResult folded = connection.exec(u"SELECT cartulo_sem_acento($1)"_s, {PgParam::text(text)});
            QCOMPARE(folded.text(0, 0), db::foldAccents(text));
        }
        QVERIFY(connection.exec(u"SELECT cartulo_sem_acento(NULL)"_s).isNull(0, 0));
        const db::pg::PgResult volatility =
            connection.exec(u"SELECT provolatile FROM pg_proc WHERE proname = 'cartulo_sem_acento'"_s);
        QCOMPARE(volatility.text(0, 0), u"i"_s); // IMMUTABLE: it can be indexed
    }
};

QTEST_GUILESS_MAIN(TestAccentFold)
#include "tst_accentfold_pg.moc"
