// Letter-case folding and the dialect's like(): case-insensitive for every letter,
// accented ones included, accent-sensitive otherwise; the same in C++ and in SQL.
#include "ArchiveFixture.h"

#include "db/Fold.h"

using namespace Qt::StringLiterals;

class TestFold : public QObject {
    Q_OBJECT

private slots:
    void fold_data();
    void fold();
    void foldAgreesWithQtBeyondLatin();
    void like_data();
    void like();
    void likeWithEscape();
    void likeOfNullIsNull();
};

void TestFold::fold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("folded");
    QTest::newRow("ascii") << u"LICITAÇÃO Nº 12"_s << u"licitação nº 12"_s;
    QTest::newRow("latin-1 letters") << u"ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ"_s << u"àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþ"_s;
    QTest::newRow("multiplication sign stays") << u"×÷"_s << u"×÷"_s;
    QTest::newRow("latin extended-a") << u"ĀĂĄĆŁŃŒŠŸŽ"_s << u"āăąćłńœšÿž"_s;
    QTest::newRow("greek and cyrillic") << u"ΣΑΒ ДОМ"_s << u"σαβ дом"_s;
    QTest::newRow("accents stay") << u"ação"_s << u"ação"_s;
    QTest::newRow("outside the basic plane") << u"𐐀x"_s << u"𐐨x"_s;
}

void TestFold::fold()
{
    QFETCH(QString, text);
    QFETCH(QString, folded);
    QCOMPARE(db::foldCase(text), folded);
    QCOMPARE(QString::fromUtf8(db::foldCaseUtf8(text.toUtf8())), folded);
    fixture::Archive archive;
    QCOMPARE(archive.value(u"select cartulo_fold(\"%1\")"_s.arg(text)), folded);
}

void TestFold::foldAgreesWithQtBeyondLatin()
{
    // The fast paths must give what Qt's own simple case folding gives.
    for (char32_t c = 0; c < 0x250; ++c) {
        if (c == 0x130 || c == 0x131 || c == 0xDF || c == 0x149 || c == 0x17F)
            continue; // no one-to-one fold, or a fold Qt only does in full
        QCOMPARE(uint(db::foldCodePoint(c)), uint(QChar::toCaseFolded(c)));
    }
}

void TestFold::like_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("accented, other case") << u"LICITAÇÃO"_s << u"%licitação%"_s << true;
    QTest::newRow("no accent in the pattern") << u"LICITAÇÃO"_s << u"%licitacao%"_s << false;
    QTest::newRow("prefix") << u"OFÍCIO 15"_s << u"ofí%"_s << true;
    QTest::newRow("prefix misses inside") << u"O OFÍCIO"_s << u"OF%"_s << false;
    QTest::newRow("underscore is one letter") << u"CARTA"_s << u"cart_"_s << true;
    QTest::newRow("underscore is one accented letter") << u"AÇÃO"_s << u"a__o"_s << true;
    QTest::newRow("underscore needs a letter") << u"CART"_s << u"cart_"_s << false;
    QTest::newRow("percent alone") << QString() << u"%"_s << true;
    QTest::newRow("whole text") << u"Obra"_s << u"obra"_s << true;
    QTest::newRow("longer than text") << u"Obra"_s << u"obras"_s << false;
    QTest::newRow("backtracking") << u"abcabcabd"_s << u"%abc%abd"_s << true;
    QTest::newRow("several runs") << u"pedido de vista do processo"_s << u"%de%vis%proc%"_s << true;
    QTest::newRow("runs in the wrong order") << u"pedido de vista"_s << u"%vista%pedido%"_s << false;
    QTest::newRow("head and tail may not overlap") << u"a"_s << u"a%a"_s << false;
    QTest::newRow("one piece twice") << u"aa"_s << u"%a%a%"_s << true;
    QTest::newRow("one piece twice, once there") << u"a"_s << u"%a%a%"_s << false;
    QTest::newRow("underscore leads a piece") << u"xAbCy"_s << u"%_bc%"_s << true;
    QTest::newRow("two percents together") << u"Obra"_s << u"o%%a"_s << true;
    QTest::newRow("line breaks") << u"linha 1\nlinha 2"_s << u"%1%2"_s << true;
}

void TestFold::like()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(db::likeMatchUtf8(pattern.toUtf8(), text.toUtf8()), matches);
    fixture::Archive archive;
    archive.connection.execute(u"insert into tipo_arq values ('00001', '%1')"_s.arg(text));
    QCOMPARE(archive.connection.execute(u"select cod from tipo_arq where descricao like \"%1\""_s.arg(pattern)), matches);
}

void TestFold::likeWithEscape()
{
    fixture::Archive archive;
    QCOMPARE(archive.value(u"select '50% A' like '50!% a' escape '!'"_s), u"1"_s);
    QCOMPARE(archive.value(u"select '50 A' like '50!%%' escape '!'"_s), u"0"_s);
    QCOMPARE(archive.value(u"select 'a_b' like 'A!_B' escape '!'"_s), u"1"_s);
    QCOMPARE(archive.value(u"select 'axb' like 'A!_B' escape '!'"_s), u"0"_s);
}

void TestFold::likeOfNullIsNull()
{
    fixture::Archive archive;
    QCOMPARE(archive.value(u"select typeof(NULL like '%') as t"_s), u"null"_s);
}

QTEST_GUILESS_MAIN(TestFold)
#include "tst_fold.moc"
