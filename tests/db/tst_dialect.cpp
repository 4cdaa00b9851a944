// The program's SQL dialect: every statement the screens send, word for word, run on a
// real archive, plus the cases around quotes, &, like, dates and result names.
#include "ArchiveFixture.h"

#include "db/DbError.h"
#include "db/Dialect.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(db::ErrorKind)

class TestDialect : public QObject {
    Q_OBJECT

private slots:
    void translation_data();
    void translation();
    void statements_data();
    void statements();
    void refusals_data();
    void refusals();
    void failedStatementInsideATransactionLeavesTheRestOfIt_data() { providers(); }
    void failedStatementInsideATransactionLeavesTheRestOfIt();
    void unparseableDateIsRefusedBeforeTheEngine_data() { providers(); }
    void unparseableDateIsRefusedBeforeTheEngine();
    void doubleQuotedWordNeverNamesAColumn_data() { providers(); }
    void doubleQuotedWordNeverNamesAColumn();
    void ampersandBindsBelowArithmetic_data();
    void ampersandBindsBelowArithmetic();

private:
    static void providers()
    {
        fixture::addProviderColumn();
        for (const db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }
};

void TestDialect::translation_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("sqlite");

    QTest::newRow("double-quoted literal") << u"select * from t where a=\"x\""_s << u"select * from t where a='x'"_s;
    QTest::newRow("doubled quote inside") << u"values (\"O \"\"Globo\"\"\")"_s << u"values ('O \"Globo\"')"_s;
    QTest::newRow("apostrophe inside") << u"values (\"D'Ávila\")"_s << u"values ('D''Ávila')"_s;
    QTest::newRow("single quotes pass") << u"where a='it''s'"_s << u"where a='it''s'"_s;
    QTest::newRow("& of columns") << u"select documento.processo&documento.cod from documento"_s
                                  << u"select ifnull(documento.processo,'')||ifnull(documento.cod,'') from documento"_s;
    QTest::newRow("& chain") << u"a & b & \"c\""_s << u"ifnull(a,'') || ifnull(b,'') || ifnull('c','')"_s;
    QTest::newRow("& of call and group") << u"upper(a)&(b)"_s << u"ifnull(upper(a),'')||ifnull((b),'')"_s;
    QTest::newRow("& after a sum") << u"\"x\" & 1 + 2"_s << u"ifnull('x','') || ifnull(1 + 2,'')"_s;
    QTest::newRow("& before a product") << u"a*b & c"_s << u"ifnull(a*b,'') || ifnull(c,'')"_s;
    QTest::newRow("& inside literal") << u"select \"a&b\""_s << u"select 'a&b'"_s;
    QTest::newRow("unterminated literal left to the engine") << u"select \"abc"_s << u"select \"abc"_s;
    QTest::newRow("comment untouched") << u"select 1 -- \"x\" & y"_s << u"select 1 -- \"x\" & y"_s;
    QTest::newRow("brackets name a column") << u"select [cod] from t"_s << u"select [cod] from t"_s;
    QTest::newRow("like pattern") << u"Where descricao like \"%obra%\""_s << u"Where descricao like '%obra%'"_s;
}

void TestDialect::translation()
{
    QFETCH(QString, jet);
    QFETCH(QString, sqlite);
    QCOMPARE(db::translate(jet).sql, sqlite);
}

void TestDialect::statements_data()
{
    fixture::addProviderColumn();
    QTest::addColumn<QStringList>("setup");     // run first, standard SQL
    QTest::addColumn<QStringList>("statement"); // the lines exactly as a screen sends them
    QTest::addColumn<QString>("check");         // select run afterwards; empty: the statement itself
    QTest::addColumn<bool>("ordered");          // false: rows compared without order
    QTest::addColumn<QStringList>("expected");  // header, then rows; fields joined by tabs

    for (const db::Provider provider : testsupport::allProviders()) {
    const QString processo7 = u"insert into processo values ('00007','x','1',NULL,0)"_s;
    const QString docSelect = u"Select cod,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta"_s;
    const QString docHeader = u"cod\ttp_doc\tdescricao\tementa\tpalavras_chave\tdata\tdata_arquivamento\tn_laudas\tlocalidade\tparteleira\tgaveta\tpasta"_s;
    const QString search = u"select documento.descricao, documento.data,tipo_arq.descricao,documento.processo&documento.cod from documento,tipo_arq where tipo_arq.cod=documento.tp_doc "_s;
    const QString searchHeader = u"documento.descricao\tdata\ttipo_arq.descricao\tExpr1003"_s;
    const QString edital = u"EDITAL\t15/03/04\tLICITAÇÃO\t0000100001"_s;
    const QString carta = u"CARTA AO PREFEITO\t13/04/04\tCARTA\t0000100002"_s;
    auto term = [](const QString &connector, const QString &t) {
        return u"%1 ((documento.ementa like \"%%2%\") or (documento.descricao like \"%%2%\") or (documento.palavras_chave like \"%%2%\")) "_s
            .arg(connector, t);
    };

    // Agency profile, process and type screens.
    QTest::newRow(fixture::caseName("QryOrg", provider)) << provider << QStringList{} << QStringList{u"select * "_s, u"from orgao"_s} << QString() << true
                            << QStringList{u"nome\tcnpj\tendereco\tbairro\tcidade\tuf\ttel\ttel1\temail\turl\tresp1\tcargo1\tresp2\tcargo2\tlogomarca"_s};
    QTest::newRow(fixture::caseName("QryProcesso", provider)) << provider << QStringList{} << QStringList{u"select * from processo"_s, u"order by cod"_s} << QString() << true
                                 << QStringList{u"cod\tdescricao\tnumero\tdata\tnum_doc"_s,
                                                u"00001\tObra da escola\t10\t14/01/04\t2"_s,
                                                u"00002\tCompra de papel\t11\t\t0"_s};
    QTest::newRow(fixture::caseName("QryTpDoc", provider)) << provider << QStringList{} << QStringList{u"select * from tipo_arq"_s} << QString() << true
                              << QStringList{u"cod\tdescricao"_s, u"00001\tCARTA"_s, u"00002\tOFÍCIO"_s, u"00003\tLICITAÇÃO"_s};
    QTest::newRow(fixture::caseName("process insert", provider)) << provider << QStringList{}
        << QStringList{u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"00007\",\"Licitação 12\",\"12\",38061,3)"_s}
        << u"select *, typeof(data) as t, typeof(num_doc) as n from processo where cod='00007'"_s << true
        << QStringList{u"cod\tdescricao\tnumero\tdata\tnum_doc\tt\tn"_s, u"00007\tLicitação 12\t12\t15/03/04\t3\tinteger\tinteger"_s};
    QTest::newRow(fixture::caseName("process update", provider)) << provider << QStringList{processo7}
        << QStringList{u"UPDATE processo SET descricao=\"Licitação 12\",numero=\"12\",data=\"15/03/04\",num_doc=\"3\" Where cod=\"00007\""_s}
        << u"select *, data+0 as day, typeof(num_doc) as n from processo where cod='00007'"_s << true
        << QStringList{u"cod\tdescricao\tnumero\tdata\tnum_doc\tday\tn"_s, u"00007\tLicitação 12\t12\t15/03/04\t3\t38061\tinteger"_s};
    QTest::newRow(fixture::caseName("BuildSql example", provider)) << provider << QStringList{processo7}
        << QStringList{u"UPDATE processo SET descricao=\"Obra\",numero=\"12\" Where cod=\"00007\""_s}
        << u"select descricao, numero, num_doc from processo where cod='00007'"_s << true
        << QStringList{u"descricao\tnumero\tnum_doc"_s, u"Obra\t12\t0"_s};
    QTest::newRow(fixture::caseName("BuildSql example, description empty", provider)) << provider << QStringList{processo7}
        << QStringList{u"UPDATE processo SET numero=\"12\" Where cod=\"00007\""_s}
        << u"select descricao, numero from processo where cod='00007'"_s << true
        << QStringList{u"descricao\tnumero"_s, u"x\t12"_s};
    QTest::newRow(fixture::caseName("process delete takes its documents", provider)) << provider
        << QStringList{processo7,
                       u"insert into documento (cod,processo,tp_doc) values ('00001','00007','00001'),('00002','00007','00001')"_s}
        << QStringList{u"Delete From processo Where cod=\"00007\""_s}
        << u"select processo, cod from documento order by processo, cod"_s << true
        << QStringList{u"processo\tcod"_s, u"00001\t00001"_s, u"00001\t00002"_s, u"00002\t00001"_s};
    QTest::newRow(fixture::caseName("type insert", provider)) << provider << QStringList{}
        << QStringList{u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00004\",\"OFICIO\")"_s}
        << u"select * from tipo_arq where cod='00004'"_s << true << QStringList{u"cod\tdescricao"_s, u"00004\tOFICIO"_s};
    QTest::newRow(fixture::caseName("type delete", provider)) << provider << QStringList{} << QStringList{u"Delete From tipo_arq Where cod=\"00003\""_s}
        << u"select cod from tipo_arq"_s << true << QStringList{u"cod"_s, u"00001"_s, u"00002"_s};

    // Lookup dialog and LookupValue.
    QTest::newRow(fixture::caseName("LookupValue", provider)) << provider << QStringList{}
        << QStringList{u"select cod,descricao"_s, u"From tipo_arq"_s, u"Where cod=\"00003\""_s} << QString() << true
        << QStringList{u"cod\tdescricao"_s, u"00003\tLICITAÇÃO"_s};
    QTest::newRow(fixture::caseName("LookupValue, no row", provider)) << provider << QStringList{}
        << QStringList{u"select cod,descricao"_s, u"From processo"_s, u"Where cod=\"0000\""_s} << QString() << true
        << QStringList{u"cod\tdescricao"_s};
    QTest::newRow(fixture::caseName("lookup prepare", provider)) << provider << QStringList{} << QStringList{u"select cod,descricao from tipo_arq"_s} << QString() << true
        << QStringList{u"cod\tdescricao"_s, u"00001\tCARTA"_s, u"00002\tOFÍCIO"_s, u"00003\tLICITAÇÃO"_s};
    QTest::newRow(fixture::caseName("type screen lookup", provider)) << provider << QStringList{} << QStringList{u"Select cod,descricao from tipo_arq"_s} << QString() << true
        << QStringList{u"cod\tdescricao"_s, u"00001\tCARTA"_s, u"00002\tOFÍCIO"_s, u"00003\tLICITAÇÃO"_s};
    QTest::newRow(fixture::caseName("lookup filter OF", provider)) << provider << QStringList{}
        << QStringList{u"select cod,descricao from tipo_arq"_s, u" Where descricao like \"OF%\""_s} << QString() << true
        << QStringList{u"cod\tdescricao"_s, u"00002\tOFÍCIO"_s};
    QTest::newRow(fixture::caseName("lookup filter, small letters and accent", provider)) << provider << QStringList{}
        << QStringList{u"select cod,descricao from tipo_arq"_s, u" Where descricao like \"ofí%\""_s} << QString() << true
        << QStringList{u"cod\tdescricao"_s, u"00002\tOFÍCIO"_s};
    QTest::newRow(fixture::caseName("lookup filter emptied", provider)) << provider << QStringList{u"insert into tipo_arq values ('00009', NULL)"_s}
        << QStringList{u"select cod,descricao from tipo_arq"_s, u" Where descricao like \"%\""_s} << QString() << true
        << QStringList{u"cod\tdescricao"_s, u"00001\tCARTA"_s, u"00002\tOFÍCIO"_s, u"00003\tLICITAÇÃO"_s};

    // Process browser.
    QTest::newRow(fixture::caseName("browser", provider)) << provider << QStringList{} << QStringList{u"select * "_s, u"from processo"_s, u"order by cod desc"_s} << QString() << true
        << QStringList{u"cod\tdescricao\tnumero\tdata\tnum_doc"_s, u"00002\tCompra de papel\t11\t\t0"_s,
                       u"00001\tObra da escola\t10\t14/01/04\t2"_s};
    QTest::newRow(fixture::caseName("browser filter", provider)) << provider << QStringList{}
        << QStringList{u"select *"_s, u"from processo"_s, u"Where descricao like \"%obra%\""_s, u"order by cod desc"_s} << QString() << true
        << QStringList{u"cod\tdescricao\tnumero\tdata\tnum_doc"_s, u"00001\tObra da escola\t10\t14/01/04\t2"_s};
    QTest::newRow(fixture::caseName("browser restore", provider)) << provider << QStringList{} << QStringList{u"select *"_s, u"from processo"_s, u"order by cod desc"_s} << QString() << true
        << QStringList{u"cod\tdescricao\tnumero\tdata\tnum_doc"_s, u"00002\tCompra de papel\t11\t\t0"_s,
                       u"00001\tObra da escola\t10\t14/01/04\t2"_s};

    // Document screen.
    QTest::newRow(fixture::caseName("QryDoc of a process, in code order", provider)) << provider << QStringList{}
        << QStringList{docSelect, u"From documento"_s, u"Where processo=\"00001\""_s} << QString() << true
        << QStringList{docHeader,
                       u"00001\t00003\tEDITAL\tLicitação ABC da obra\tdef; obra\t15/03/04\t19/03/04 12:00:00\t3\tARQUIVO\tA1\t1\t10"_s,
                       u"00002\t00001\tCARTA AO PREFEITO\tPedido de vista\t\t13/04/04\t\t1\tARQUIVO\tA1\t1\t10"_s};
    QTest::newRow(fixture::caseName("QryDoc at creation", provider)) << provider << QStringList{} << QStringList{docSelect, u"From documento"_s}
        << u"select count(*) as n from documento"_s << true << QStringList{u"n"_s, u"3"_s};
    QTest::newRow(fixture::caseName("process exists", provider)) << provider << QStringList{} << QStringList{u"select cod from processo where cod=\"00001\""_s} << QString() << true
        << QStringList{u"cod"_s, u"00001"_s};
    QTest::newRow(fixture::caseName("process missing", provider)) << provider << QStringList{} << QStringList{u"select cod from processo where cod=\"\""_s} << QString() << true
        << QStringList{u"cod"_s};
    const QString docCheck = docSelect + u", typeof(data_arquivamento) as t From documento Where processo='00007'"_s;
    QTest::newRow(fixture::caseName("document insert", provider)) << provider << QStringList{processo7}
        << QStringList{u"Insert Into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta) VALUES (\"00003\",\"00007\",\"00002\",\"OFÍCIO 15\",\"Pedido de vista\",\"\",38061,NULL,4,\"ARQUIVO\",\"A1\",\"2\",\"15\")"_s}
        << docCheck << true
        << QStringList{docHeader + u"\tt"_s, u"00003\t00002\tOFÍCIO 15\tPedido de vista\t\t15/03/04\t\t4\tARQUIVO\tA1\t2\t15\tnull"_s};
    QTest::newRow(fixture::caseName("document update", provider)) << provider << QStringList{processo7,
                       u"insert into documento values ('00003','00007','00001','y','z','x',1,2,9,'L','P','G','F')"_s}
        << QStringList{u"UPDATE documento SET processo=\"00007\",cod=\"00003\",descricao=\"OFÍCIO 15\",tp_doc=\"00002\",ementa=\"Pedido de vista\",data=\"15/03/04\",data_arquivamento=\"  /  /  \",n_laudas=\"4\",localidade=\"ARQUIVO\",parteleira=\"A1\",gaveta=\"2\",pasta=\"15\" Where cod=\"00003\" and processo=\"00007\" "_s}
        << docCheck << true
        << QStringList{docHeader + u"\tt"_s, u"00003\t00002\tOFÍCIO 15\tPedido de vista\tx\t15/03/04\t\t4\tARQUIVO\tA1\t2\t15\tnull"_s};
    QTest::newRow(fixture::caseName("document delete", provider)) << provider << QStringList{processo7,
                       u"insert into documento (cod,processo,tp_doc) values ('00003','00007','00001'),('00003','00001','00001')"_s}
        << QStringList{u"Delete From documento Where cod=\"00003\" and processo=\"00007\""_s}
        << u"select processo, cod from documento order by processo, cod"_s << true
        << QStringList{u"processo\tcod"_s, u"00001\t00001"_s, u"00001\t00002"_s, u"00001\t00003"_s, u"00002\t00001"_s};

    // Advanced search.
    QTest::newRow(fixture::caseName("search example", provider)) << provider << QStringList{}
        << QStringList{search + u"And documento.tp_doc=\"00003\"  And documento.data between 38061 and 38090   And ( "_s
                       + term(QString(), u"abc"_s) + term(u"AND"_s, u"def"_s) + term(u"OR"_s, u"ghi"_s) + u") "_s}
        << QString() << false << QStringList{searchHeader, edital};
    QTest::newRow(fixture::caseName("search, no criteria", provider)) << provider << QStringList{} << QStringList{search + u"   "_s} << QString() << false
        << QStringList{searchHeader, carta, edital};
    QTest::newRow(fixture::caseName("search, accented term any case", provider)) << provider << QStringList{}
        << QStringList{search + u"  And ( "_s + term(QString(), u"LICITAÇÃO"_s) + u") "_s} << QString() << false
        << QStringList{searchHeader, edital};
    QTest::newRow(fixture::caseName("search, accents are kept", provider)) << provider << QStringList{}
        << QStringList{search + u"  And ( "_s + term(QString(), u"licitacao"_s) + u") "_s} << QString() << false
        << QStringList{searchHeader};
    QTest::newRow(fixture::caseName("search, dates inclusive at both ends", provider)) << provider << QStringList{}
        << QStringList{search + u" And documento.data between 38061 and 38090   "_s} << QString() << false
        << QStringList{searchHeader, carta, edital};
    QTest::newRow(fixture::caseName("search, start date only", provider)) << provider << QStringList{}
        << QStringList{search + u" And documento.data between 38062 and 0   "_s} << QString() << false
        << QStringList{searchHeader};
    QTest::newRow(fixture::caseName("search, type and end date", provider)) << provider << QStringList{}
        << QStringList{search + u"And documento.tp_doc=\"00001\"  And documento.data between 0 and 38090   "_s} << QString() << false
        << QStringList{searchHeader, carta};

    // Around the statements: quotes, &, like, dates, names.
    QTest::newRow(fixture::caseName("quotes inside a value", provider)) << provider << QStringList{}
        << QStringList{u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00005\",\"O \"\"Globo\"\"\")"_s}
        << u"select descricao from tipo_arq where cod='00005'"_s << true << QStringList{u"descricao"_s, u"O \"Globo\""_s};
    QTest::newRow(fixture::caseName("apostrophe inside a value", provider)) << provider << QStringList{}
        << QStringList{u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00006\",\"D'Ávila\")"_s}
        << u"select descricao from tipo_arq where cod='00006'"_s << true << QStringList{u"descricao"_s, u"D'Ávila"_s};
    QTest::newRow(fixture::caseName("& with NULL", provider)) << provider << QStringList{}
        << QStringList{u"select \"<\"&palavras_chave&\">\" from documento where processo=\"00001\" and cod=\"00002\""_s}
        << QString() << true << QStringList{u"Expr1000"_s, u"<>"_s};
    QTest::newRow(fixture::caseName("& with a number", provider)) << provider << QStringList{}
        << QStringList{u"select cod as codigo, cod&n_laudas from documento where processo=\"00001\""_s}
        << QString() << false << QStringList{u"codigo\tExpr1001"_s, u"00001\t000013"_s, u"00002\t000021"_s};
    QTest::newRow(fixture::caseName("like _ for one letter", provider)) << provider << QStringList{} << QStringList{u"select cod from tipo_arq where descricao like \"cart_\""_s}
        << QString() << true << QStringList{u"cod"_s, u"00001"_s};
    QTest::newRow(fixture::caseName("like, accent-sensitive", provider)) << provider << QStringList{} << QStringList{u"select cod from tipo_arq where descricao like \"%oficio%\""_s}
        << QString() << true << QStringList{u"cod"_s};
    QTest::newRow(fixture::caseName("time of day survives", provider)) << provider << QStringList{}
        << QStringList{u"UPDATE processo SET data=\"15/03/04 10:30:15\" Where cod=\"00001\""_s}
        << u"select data from processo where cod='00001'"_s << true << QStringList{u"data"_s, u"15/03/04 10:30:15"_s};
    QTest::newRow(fixture::caseName("blank date is NULL", provider)) << provider << QStringList{}
        << QStringList{u"UPDATE processo SET data=\"  /  /  \" Where cod=\"00001\""_s}
        << u"select data, typeof(data) as t from processo where cod='00001'"_s << true << QStringList{u"data\tt"_s, u"\tnull"_s};
    QTest::newRow(fixture::caseName("date text in an insert", provider)) << provider << QStringList{}
        << QStringList{u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"00008\",\"x\",\"1\",\"01/01/00\",0)"_s}
        << u"select data, data+0 as n from processo where cod='00008'"_s << true << QStringList{u"data\tn"_s, u"01/01/00\t36526"_s};
    QTest::newRow(fixture::caseName("day number in, text out", provider)) << provider << QStringList{}
        << QStringList{u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"00008\",\"x\",\"1\",38061.4375,0)"_s}
        << u"select data from processo where cod='00008'"_s << true << QStringList{u"data"_s, u"15/03/04 10:30:00"_s};
    QTest::newRow(fixture::caseName("year 1999", provider)) << provider << QStringList{}
        << QStringList{u"UPDATE processo SET data=\"31/12/99\" Where cod=\"00001\""_s}
        << u"select data+0 as n from processo where cod='00001'"_s << true << QStringList{u"n"_s, u"36525"_s};
    QTest::newRow(fixture::caseName("a number compared with a text code", provider)) << provider
        << QStringList{u"insert into tipo_arq values ('1', 'UM'), ('1.5', 'UM E MEIO')"_s}
        << QStringList{u"select cod from tipo_arq where cod = 00001 or 1.50 = cod or cod = 3 order by cod"_s} << QString() << true
        << QStringList{u"cod"_s, u"1"_s, u"1.5"_s};
    QTest::newRow(fixture::caseName("a quoted number in a number column", provider)) << provider << QStringList{}
        << QStringList{u"select cod from processo where num_doc = \"2\" and \"10\" = numero"_s} << QString() << true
        << QStringList{u"cod"_s, u"00001"_s};
    QTest::newRow(fixture::caseName("names without regard to case", provider)) << provider << QStringList{}
        << QStringList{u"UPDATE PROCESSO SET NUM_DOC=\"7\" Where COD=\"00001\""_s}
        << u"select num_doc, typeof(num_doc) as t from processo where cod='00001'"_s << true << QStringList{u"num_doc\tt"_s, u"7\tinteger"_s};
    }
}

void TestDialect::statements()
{
    QFETCH(QStringList, setup);
    QFETCH(QStringList, statement);
    QFETCH(QString, check);
    QFETCH(bool, ordered);
    QFETCH(QStringList, expected);
    QFETCH(db::Provider, provider);

    fixture::Archive archive(provider);
    archive.fill();
    for (const QString &s : setup)
        archive.connection.execute(s);

    QStringList sent;
    connect(&archive.connection, &db::Connection::statementExecuted, this,
            [&sent](const QString &sql) { sent << sql; });
    const QString text = statement.join(u'\n');
    QStringList actual;
    if (check.isEmpty()) {
        db::Query query(&archive.connection);
        for (const QString &line : statement)
            query.addSql(line);
        query.open();
        actual = db::resultLines(query);
    } else {
        archive.connection.execute(text);
        actual = archive.rows(check);
    }
    QCOMPARE(sent.value(0), text);
    if (!ordered) {
        std::sort(actual.begin() + 1, actual.end());
        std::sort(expected.begin() + 1, expected.end());
    }
    QCOMPARE(actual, expected);
}

void TestDialect::refusals_data()
{
    fixture::addProviderColumn();
    QTest::addColumn<QString>("statement");
    QTest::addColumn<db::ErrorKind>("kind");
    QTest::addColumn<QString>("messagePart"); // the same on both engines
    for (const db::Provider provider : testsupport::allProviders()) {
        QTest::newRow(fixture::caseName("text too long", provider))
            << provider << u"UPDATE processo SET numero=\"123456\" Where cod=\"00001\""_s << db::ErrorKind::TooLong
            << u"processo.numero: no máximo 5 caracteres"_s;
        QTest::newRow(fixture::caseName("not a number", provider))
            << provider << u"UPDATE processo SET num_doc=\"dois\" Where cod=\"00001\""_s << db::ErrorKind::NotANumber
            << QString();
        QTest::newRow(fixture::caseName("duplicate key", provider))
            << provider << u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00001\",\"ATA\")"_s
            << db::ErrorKind::DuplicateKey << QString();
        QTest::newRow(fixture::caseName("process code not of five digits", provider))
            << provider << u"Insert Into processo (cod,descricao,numero,data,num_doc) VALUES (\"7\",\"x\",\"1\",NULL,0)"_s
            << db::ErrorKind::CheckViolation << u"processo.cod"_s;
        QTest::newRow(fixture::caseName("second statement", provider))
            << provider << u"Delete From tipo_arq Where cod=\"00003\"; Delete From tipo_arq"_s << db::ErrorKind::Other
            << u"Só uma instrução SQL por vez: \"Delete From tipo_arq\""_s;
    }
}

// A refused statement changes nothing and raises the kind the program acts on.
void TestDialect::refusals()
{
    QFETCH(db::Provider, provider);
    QFETCH(QString, statement);
    QFETCH(db::ErrorKind, kind);
    QFETCH(QString, messagePart);
    fixture::Archive archive(provider);
    archive.fill();
    const QString everything = u"select * from processo, tipo_arq order by processo.cod, tipo_arq.cod"_s;
    const QStringList before = archive.rows(everything);
    try {
        archive.connection.execute(statement);
        QFAIL("the statement was accepted");
    } catch (const db::DbError &error) {
        QCOMPARE(error.kind(), kind);
        QVERIFY2(error.message().contains(messagePart), qPrintable(error.message()));
    }
    QCOMPARE(archive.rows(everything), before);
}

// On the server an error spoils the whole transaction; a statement of the program that
// fails inside one is undone alone, as on SQLite.
void TestDialect::failedStatementInsideATransactionLeavesTheRestOfIt()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    archive.connection.execute(u"begin"_s);
    archive.connection.execute(u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00004\",\"ATA\")"_s);
    QVERIFY_THROWS_EXCEPTION(db::DbError,
                             archive.connection.execute(u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00001\",\"ATA\")"_s));
    archive.connection.execute(u"Insert Into tipo_arq (COD,DESCRICAO) VALUES (\"00005\",\"EDITAL\")"_s);
    archive.connection.execute(u"commit"_s);
    QCOMPARE(archive.rows(u"select cod from tipo_arq order by cod"_s),
             (QStringList{u"cod"_s, u"00001"_s, u"00002"_s, u"00003"_s, u"00004"_s, u"00005"_s}));
}

void TestDialect::unparseableDateIsRefusedBeforeTheEngine()
{
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    QStringList sent;
    connect(&archive.connection, &db::Connection::statementExecuted, this,
            [&sent](const QString &sql) { sent << sql; });
    try {
        archive.connection.execute(u"UPDATE processo SET data=\"32/13/04\" Where cod=\"00001\""_s);
        QFAIL("an impossible date was accepted");
    } catch (const db::DbError &error) {
        QVERIFY2(error.message().contains(u"32/13/04"_s), qPrintable(error.message()));
    }
    QVERIFY(sent.isEmpty());
    QCOMPARE(archive.value(u"select data from processo where cod='00001'"_s), u"14/01/04"_s);
}

void TestDialect::doubleQuotedWordNeverNamesAColumn()
{
    QFETCH(db::Provider, provider);
    // With the engine's fallback, "descricao" would compare the column with itself.
    fixture::Archive archive(provider);
    archive.fill();
    QCOMPARE(archive.rows(u"select cod from tipo_arq where descricao = \"descricao\""_s), QStringList{u"cod"_s});
    QVERIFY(!archive.connection.execute(u"select cod from tipo_arq where descricao = \"descricao\""_s));
}

void TestDialect::ampersandBindsBelowArithmetic_data()
{
    fixture::addProviderColumn();
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("value");
    for (const db::Provider provider : testsupport::allProviders()) {

    QTest::newRow(fixture::caseName("sum on the right", provider)) << provider << u"\"x\" & 1 + 2"_s << u"x3"_s;
    QTest::newRow(fixture::caseName("product on the right", provider)) << provider << u"\"x\" & 2 * 3"_s << u"x6"_s;
    QTest::newRow(fixture::caseName("sum on the left", provider)) << provider << u"1 + 2 & \"x\""_s << u"3x"_s;
    QTest::newRow(fixture::caseName("difference on both sides", provider)) << provider << u"5 - 2 & 10 - 1"_s << u"39"_s;
    QTest::newRow(fixture::caseName("chain around a sum", provider)) << provider << u"\"a\" & 2 - 3 & \"b\""_s << u"a-1b"_s;
    QTest::newRow(fixture::caseName("negative number", provider)) << provider << u"\"x\" & -1"_s << u"x-1"_s;
    QTest::newRow(fixture::caseName("sign after an operator", provider)) << provider << u"2 * -3 & \"x\""_s << u"-6x"_s;
    QTest::newRow(fixture::caseName("modulo", provider)) << provider << u"\"x\" & 7 % 4"_s << u"x3"_s;
    QTest::newRow(fixture::caseName("group times a number", provider)) << provider << u"\"x\" & (1 + 2) * 2"_s << u"x6"_s;
    QTest::newRow(fixture::caseName("call plus a number", provider)) << provider << u"\"x\" & abs(-2) + 1"_s << u"x3"_s;
    QTest::newRow(fixture::caseName("column plus a number", provider)) << provider << u"cod & n_laudas + 1 from documento where processo=\"00002\""_s << u"000012"_s;
    QTest::newRow(fixture::caseName("NULL stays empty", provider)) << provider << u"\"x\" & NULL & 1 + 1"_s << u"x2"_s;
    QTest::newRow(fixture::caseName("comparison below &", provider)) << provider << u"\"x\" & 1 + 2 = \"x3\""_s << u"1"_s;
    QTest::newRow(fixture::caseName("comparison on the left", provider)) << provider << u"\"x3\" = \"x\" & 1 + 2"_s << u"1"_s;
    QTest::newRow(fixture::caseName("and below comparison", provider)) << provider << u"\"a\" & 1 = \"a1\" and 2 & \"b\" = \"2b\""_s << u"1"_s;
    }
}

// Statements an administrator types in cartulo-sql: `&` groups as in the old dialect.
void TestDialect::ampersandBindsBelowArithmetic()
{
    QFETCH(QString, expression);
    QFETCH(QString, value);
    QFETCH(db::Provider, provider);
    fixture::Archive archive(provider);
    archive.fill();
    QCOMPARE(archive.value(u"select "_s + expression), value);
}

QTEST_GUILESS_MAIN(TestDialect)
#include "tst_dialect.moc"
