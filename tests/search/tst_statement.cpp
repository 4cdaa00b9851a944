// The search statement as text, built clause by clause from the fixed format strings.
#include "search/FastSearch.h"
#include "search/SearchStatement.h"

#include <QTest>

using namespace Qt::StringLiterals;
using search::Term;

namespace {

// The inner join of the old statement lost documents whose type has no row in tipo_arq;
// the outer join below is the one deliberate change to the old text.
const QString kInnerJoin = u"from documento,tipo_arq where tipo_arq.cod=documento.tp_doc"_s;
const QString kOuterJoin = u"from documento left join tipo_arq on tipo_arq.cod=documento.tp_doc where 1=1"_s;

QString withOuterJoin(QString oldText)
{
    oldText.replace(kInnerJoin, kOuterJoin);
    return oldText;
}

QString build(const QString &type, const QString &start, const QString &end, const QList<Term> &terms)
{
    return search::statement(search::typeClause(type), search::dateClause(start, end),
                             search::termsClause(terms));
}

} // namespace

class TestStatement : public QObject {
    Q_OBJECT

private slots:
    void example()
    {
        const QString oldText =
            u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod from documento,tipo_arq where tipo_arq.cod=documento.tp_doc And documento.tp_doc=\"00003\"  And documento.data between 38061 and 38090   And ( ((documento.ementa like \"%abc%\") or (documento.descricao like \"%abc%\") or (documento.palavras_chave like \"%abc%\")) AND ((documento.ementa like \"%def%\") or (documento.descricao like \"%def%\") or (documento.palavras_chave like \"%def%\")) OR ((documento.ementa like \"%ghi%\") or (documento.descricao like \"%ghi%\") or (documento.palavras_chave like \"%ghi%\")) ) "_s;
        const QList<Term> terms = search::usedTerms({u"abc"_s, u"def"_s, u"ghi"_s, QString()},
                                                    {true, false, true});
        QCOMPARE(build(u"00003"_s, search::dayNumberOf(u"15/03/04"_s), search::dayNumberOf(u"13/04/04"_s), terms),
                 withOuterJoin(oldText));
    }

    void noCriteria()
    {
        const QString oldText =
            u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod from documento,tipo_arq where tipo_arq.cod=documento.tp_doc    "_s;
        QCOMPARE(build({}, u"0"_s, u"0"_s, {}), withOuterJoin(oldText));
    }

    void scriptLine()
    {
        const QString line = search::scriptLine(
            build(u"00003"_s, u"38061"_s, u"0"_s, {{QString(), u"abc"_s}}));
        QCOMPARE(line, u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod "
                       u"from documento left join tipo_arq on tipo_arq.cod=documento.tp_doc where 1=1 "
                       u"And documento.tp_doc='00003'  And documento.data >= 38061   And ( ((documento.ementa like '%abc%') "
                       u"or (documento.descricao like '%abc%') or (documento.palavras_chave like '%abc%')) ) "_s);
    }

    // Both boxes off: the term condition of old; each box adds its part to every like.
    void termConditionOptions_data()
    {
        QTest::addColumn<bool>("pageText");
        QTest::addColumn<bool>("ignoreAccents");
        QTest::addColumn<QString>("condition");
        QTest::newRow("both off") << false << false
            << u"AND ((documento.ementa like \"+a\"\"b+\") or (documento.descricao like \"+a\"\"b+\") or "
               u"(documento.palavras_chave like \"+a\"\"b+\")) "_s;
        QTest::newRow("page text") << true << false
            << u"AND ((documento.ementa like \"+a\"\"b+\") or (documento.descricao like \"+a\"\"b+\") or "
               u"(documento.palavras_chave like \"+a\"\"b+\") or exists (select 1 from lauda_texto where "
               u"lauda_texto.processo=documento.processo and lauda_texto.documento=documento.cod and "
               u"lauda_texto.texto like \"+a\"\"b+\")) "_s;
        QTest::newRow("accents ignored") << false << true
            << u"AND ((cartulo_sem_acento(documento.ementa) like cartulo_sem_acento(\"+a\"\"b+\")) or "
               u"(cartulo_sem_acento(documento.descricao) like cartulo_sem_acento(\"+a\"\"b+\")) or "
               u"(cartulo_sem_acento(documento.palavras_chave) like cartulo_sem_acento(\"+a\"\"b+\"))) "_s;
        QTest::newRow("both on") << true << true
            << u"AND ((cartulo_sem_acento(documento.ementa) like cartulo_sem_acento(\"+a\"\"b+\")) or "
               u"(cartulo_sem_acento(documento.descricao) like cartulo_sem_acento(\"+a\"\"b+\")) or "
               u"(cartulo_sem_acento(documento.palavras_chave) like cartulo_sem_acento(\"+a\"\"b+\")) or "
               u"exists (select 1 from lauda_texto where lauda_texto.processo=documento.processo and "
               u"lauda_texto.documento=documento.cod and "
               u"cartulo_sem_acento(lauda_texto.texto) like cartulo_sem_acento(\"+a\"\"b+\"))) "_s;
    }
    void termConditionOptions()
    {
        QFETCH(bool, pageText);
        QFETCH(bool, ignoreAccents);
        QFETCH(QString, condition);
        QCOMPARE(search::termCondition(u"AND"_s, u"a\"b"_s, {pageText, ignoreAccents}), condition);
        if (!pageText && !ignoreAccents)
            QCOMPARE(search::termCondition(u"AND"_s, u"a\"b"_s), condition);
    }

    void firstHitPage()
    {
        const QList<Term> terms{{QString(), u"obra"_s}, {u"OR"_s, u"c+d\""_s}};
        QCOMPARE(search::firstHitPageStatement(u"00001"_s, u"00002"_s, terms, {true, false}),
                 u"select min(lauda_texto.numero) from lauda_texto where lauda_texto.processo=\"00001\" and "
                 u"lauda_texto.documento=\"00002\" and (lauda_texto.texto like \"%obra%\" or "
                 u"lauda_texto.texto like \"%c%d\"\"%\")"_s);
        QCOMPARE(search::firstHitPageStatement(u"00001"_s, u"00002"_s, terms.mid(0, 1), {true, true}),
                 u"select min(lauda_texto.numero) from lauda_texto where lauda_texto.processo=\"00001\" and "
                 u"lauda_texto.documento=\"00002\" and (cartulo_sem_acento(lauda_texto.texto) like "
                 u"cartulo_sem_acento(\"%obra%\"))"_s);
        QCOMPARE(search::firstHitPageStatement(u"00001"_s, u"00002"_s, {}, {true, false}), QString());
    }

    void dateClause_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("clause");
        QTest::newRow("both") << u"38061"_s << u"38090"_s << u"And documento.data between 38061 and 38090 "_s;
        QTest::newRow("only start") << u"38061"_s << u"0"_s << u"And documento.data >= 38061 "_s;
        QTest::newRow("only end") << u"0"_s << u"38090"_s << u"And documento.data <= 38090 "_s;
        QTest::newRow("none") << u"0"_s << u"0"_s << QString();
        QTest::newRow("never set") << QString() << QString() << QString();
    }
    void dateClause()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, clause);
        QCOMPARE(search::dateClause(start, end), clause);
    }

    void dayNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("day");
        QTest::newRow("15/03/04") << u"15/03/04"_s << u"38061"_s;
        QTest::newRow("01/01/00") << u"01/01/00"_s << u"36526"_s;
        QTest::newRow("31/12/99 is 1999") << u"31/12/99"_s << u"36525"_s;
        QTest::newRow("blank mask") << u"  /  /  "_s << u"0"_s;
        QTest::newRow("no such day") << u"32/13/04"_s << u"0"_s;
        QTest::newRow("half typed") << u"15/0 /  "_s << u"0"_s;
    }
    void dayNumbers()
    {
        QFETCH(QString, text);
        QFETCH(QString, day);
        QCOMPARE(search::dayNumberOf(text), day);
    }

    void typeCode_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("padded"); // empty: no integer, no type condition
        QTest::newRow("7") << u"7"_s << u"00007"_s;
        QTest::newRow("00003") << u"00003"_s << u"00003"_s;
        QTest::newRow("12345") << u"12345"_s << u"12345"_s;
        QTest::newRow("letters") << u"abc"_s << QString();
        QTest::newRow("digits and letters") << u"7a"_s << QString();
        QTest::newRow("decimal") << u"1,5"_s << QString();
    }
    void typeCode()
    {
        QFETCH(QString, typed);
        QFETCH(QString, padded);
        const std::optional<QString> code = search::paddedTypeCode(typed, 5);
        QCOMPARE(code.value_or(QString()), padded);
        if (code)
            QCOMPARE(search::typeClause(*code), u"And documento.tp_doc=\"%1\" "_s.arg(padded));
    }

    void usedTerms_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QList<bool>>("andBefore");
        QTest::addColumn<QList<Term>>("terms");
        const QList<bool> allAnd{true, true, true};
        QTest::newRow("none") << QStringList{{}, {}, {}, {}} << allAnd << QList<Term>{};
        QTest::newRow("first only") << QStringList{u"a"_s, {}, {}, {}} << allAnd
                                    << QList<Term>{{QString(), u"a"_s}};
        QTest::newRow("empty second ignores the third")
            << QStringList{u"a"_s, {}, u"c"_s, u"d"_s} << allAnd << QList<Term>{{QString(), u"a"_s}};
        QTest::newRow("empty first ignores all") << QStringList{{}, u"b"_s, {}, {}} << allAnd << QList<Term>{};
        QTest::newRow("connectors") << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s}
                                    << QList<bool>{true, false, true}
                                    << QList<Term>{{QString(), u"a"_s}, {u"AND"_s, u"b"_s},
                                                   {u"OR"_s, u"c"_s}, {u"AND"_s, u"d"_s}};
    }
    void usedTerms()
    {
        QFETCH(QStringList, fields);
        QFETCH(QList<bool>, andBefore);
        QFETCH(QList<Term>, terms);
        QCOMPARE(search::usedTerms(fields, andBefore), terms);
    }

    // A typed double quote stays inside its literal; the Script line shows it doubled in
    // single quotes, which reads the same in SQL.
    void quoteInTerm()
    {
        const QString clause = search::termsClause({{QString(), u"a\"b"_s}});
        QCOMPARE(clause, u" And ( ((documento.ementa like \"+a\"\"b+\") or (documento.descricao like \"+a\"\"b+\") "
                         u"or (documento.palavras_chave like \"+a\"\"b+\")) )"_s);
        const QString line = search::scriptLine(search::statement({}, {}, clause));
        QVERIFY(line.contains(u"(documento.ementa like '%a''b%')"_s));
    }

    // "+" typed in a term becomes a wildcard too; a "%s" typed is no format place.
    void plusAndPercentS()
    {
        const QString text = search::statement({}, {}, search::termsClause({{QString(), u"a+b %s"_s}}));
        QVERIFY(text.contains(u"(documento.ementa like \"%a%b %s%\")"_s));
        QVERIFY(text.endsWith(u")) ) "_s));
    }

    void fragments_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("fragments");
        QTest::newRow("plain") << u"%Licitação%"_s << QStringList{u"licitação"_s};
        QTest::newRow("short") << u"%ab%"_s << QStringList{};
        QTest::newRow("underscore splits") << u"%abc_de_fgh%"_s << QStringList{u"abc"_s, u"fgh"_s};
        QTest::newRow("percent splits") << u"%ÁGUA%luz%"_s << QStringList{u"água"_s, u"luz"_s};
        QTest::newRow("spaces count") << u"% a %"_s << QStringList{u" a "_s};
    }
    void fragments()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, fragments);
        QCOMPARE(search::necessaryFragments(pattern), fragments);
    }

    void candidates_data()
    {
        QTest::addColumn<QList<Term>>("terms");
        QTest::addColumn<QString>("expression"); // empty: no restriction
        // Each term gives the AND of its trigrams (the index keeps no positions).
        QTest::newRow("one") << QList<Term>{{QString(), u"Obra"_s}} << u"\"obr\" AND \"bra\""_s;
        QTest::newRow("short") << QList<Term>{{QString(), u"ob"_s}} << QString();
        QTest::newRow("and with short")
            << QList<Term>{{QString(), u"obra"_s}, {u"AND"_s, u"ab"_s}} << u"\"obr\" AND \"bra\""_s;
        QTest::newRow("or with short") << QList<Term>{{QString(), u"obra"_s}, {u"OR"_s, u"ab"_s}} << QString();
        QTest::newRow("t1 e t2 ou t3")
            << QList<Term>{{QString(), u"abc"_s}, {u"AND"_s, u"def"_s}, {u"OR"_s, u"ghi"_s}}
            << u"(\"abc\" AND \"def\") OR \"ghi\""_s;
        QTest::newRow("t1 ou t2 e t3")
            << QList<Term>{{QString(), u"abc"_s}, {u"OR"_s, u"def"_s}, {u"AND"_s, u"ghi"_s}}
            << u"\"abc\" OR (\"def\" AND \"ghi\")"_s;
        QTest::newRow("wildcards in a term")
            << QList<Term>{{QString(), u"abc_def+xyz"_s}} << u"\"abc\" AND \"def\" AND \"xyz\""_s;
        QTest::newRow("quote") << QList<Term>{{QString(), u"a\"bc"_s}} << u"\"a\"\"b\" AND \"\"\"bc\""_s;
        QTest::newRow("repeated trigram once") << QList<Term>{{QString(), u"aaaa"_s}} << u"\"aaa\""_s;
        QTest::newRow("accented, folded") << QList<Term>{{QString(), u"AÇÃO"_s}} << u"\"açã\" AND \"ção\""_s;
        // Letters whose case the index folds otherwise than like() are not looked up.
        QTest::newRow("cyrillic not looked up") << QList<Term>{{QString(), u"ДОМ"_s}} << QString();
        QTest::newRow("cyrillic beside latin")
            << QList<Term>{{QString(), u"abcд"_s}} << u"\"abc\""_s;
    }
    void candidates()
    {
        QFETCH(QList<Term>, terms);
        QFETCH(QString, expression);
        QCOMPARE(search::candidateExpression(terms).value_or(QString()), expression);
    }
};

QTEST_GUILESS_MAIN(TestStatement)
#include "tst_statement.moc"
