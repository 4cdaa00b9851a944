// The index-driven search finds exactly what the plain statement finds by reading every
// document with like(), on a varied archive; the index follows every change, whoever
// writes (the program or the sqlite3 shell), and a copy whose index no longer matches its
// table (a dump restored by the shell) is noticed and repaired.
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "db/SearchIndex.h"
#include "editing/lib.h"
#include "search/FastSearch.h"
#include "search/SearchStatement.h"
#include "db/Dialect.h"
#include "db/pg/PgConnection.h"
#include "tests/support/ProviderArchive.h"
#include "tests/support/SqliteShell.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;
using search::Term;
using search::TermOptions;

namespace {

struct Doc {
    QString processo, cod, tipo, descricao, ementa, palavras;
    int data = 0; // 0: NULL
};

QString literalOrNull(const QString &text)
{
    return text.isNull() ? u"NULL"_s : lib::quoted(text);
}

// Hand-written documents that show each way a substring index could go wrong.
QList<Doc> handDocs()
{
    return {
        {u"00001"_s, u"00001"_s, u"00001"_s, u"LICITAÇÃO DA OBRA"_s, u"Licitação para a escola municipal"_s, u"obra; escola"_s, 38061},
        {u"00001"_s, u"00002"_s, u"00002"_s, u"OFÍCIO"_s, u"Pedido de informação à Secretaria de Saúde"_s, u"saúde"_s, 38090},
        {u"00001"_s, u"00003"_s, u"00009"_s, u"RECIBO SEM TIPO"_s, u"papel A4 para impressão"_s, QString(), 38100},
        {u"00002"_s, u"00001"_s, u"00001"_s, u"licitacao sem acento"_s, u"LICITACAO DE PAPEL"_s, u"licitacao"_s, 30000},
        {u"00002"_s, u"00002"_s, u"00002"_s, u"CÓDIGO 100%"_s, u"taxa de 100% paga"_s, u"100_por_cento"_s, 0},
        {u"00002"_s, u"00003"_s, u"00003"_s, u"ASPAS"_s, u"o chamado \"Projeto Sol\" e o 'Plano Lua'"_s, u"aspas"_s, 45000},
        {u"00003"_s, u"00001"_s, u"00001"_s, u"ÁGUA E ESGOTO"_s, u"ÁGUA água Água aGUA"_s, u"saneamento"_s, 38061},
        {u"00003"_s, u"00002"_s, QString(), u"SEM TIPO NENHUM"_s, QString(), QString(), 38062},
        {u"00003"_s, u"00003"_s, u"00002"_s, u"ABC"_s, u"abcdef abcxdef ab cd"_s, u"xyz"_s, 38070},
        {u"00003"_s, u"00004"_s, u"00002"_s, u"multi\r\nlinha"_s, u"primeira linha\r\nsegunda linha"_s, u"açaí\r\nCaju"_s, 38071},
        {u"00003"_s, u"00005"_s, u"00001"_s, u"ÇÇÇ"_s, u"ççç ÇÃO ção"_s, u"ç"_s, 38072},
        {u"00004"_s, u"00001"_s, u"00001"_s, u"ESPAÇO  DUPLO"_s, u"duas  palavras"_s, u"a b c"_s, 38073},
    };
}

// Words with accents and mixed case, to make a bigger random archive.
const QStringList kWords = {
    u"processo"_s, u"LICITAÇÃO"_s, u"licitação"_s, u"Licitacao"_s, u"ofício"_s, u"OFICIO"_s,
    u"saúde"_s, u"Saude"_s, u"escola"_s, u"ESCOLA"_s, u"obra"_s, u"pavimentação"_s, u"rua"_s,
    u"São"_s, u"Paulo"_s, u"açúcar"_s, u"AÇÚCAR"_s, u"ção"_s, u"x_y"_s, u"50%"_s, u"a"_s, u"de"_s,
    u"ÁGUA"_s, u"àgua"_s, u"ÆSIR"_s, u"straße"_s, u"ΣΊΣΥΦΟΣ"_s, u"σίσυφος"_s, u"Ünter"_s, u"naïve"_s,
};

QString randomText(QRandomGenerator &random, int words)
{
    QStringList out;
    for (int i = 0; i < words; ++i)
        out << kWords[random.bounded(int(kWords.size()))];
    return out.join(random.bounded(4) == 0 ? u"  "_s : u" "_s);
}

// A term cut from a word, its letters' case changed at random.
QString randomTerm(QRandomGenerator &random)
{
    const QString word = kWords[random.bounded(int(kWords.size()))] + u' '
        + kWords[random.bounded(int(kWords.size()))];
    const int start = random.bounded(int(word.size()));
    const int length = 1 + random.bounded(int(qMin<qsizetype>(9, word.size() - start)));
    QString term = word.mid(start, length);
    for (QChar &c : term) {
        if (random.bounded(2))
            c = random.bounded(2) ? c.toUpper() : c.toLower();
    }
    if (random.bounded(8) == 0)
        term.insert(random.bounded(int(term.size()) + 1), random.bounded(2) ? u'_' : u'+');
    return term;
}

using testsupport::dumpAndRestore;
using testsupport::ShellRun;
using testsupport::sqliteShell;

struct Restored {};

// "name" on SQLite, "name, postgresql" on the server.
QByteArray caseName(const char *name, db::Provider provider)
{
    return provider == db::Provider::SQLite ? QByteArray(name)
                                            : QByteArray(name) + ", " + testsupport::providerName(provider);
}

class Archive {
public:
    /// A copy of source made by the sqlite3 shell's dump and restore, opened.
    Archive(const Archive &source, Restored)
    {
        path = dir.filePath(u"cartulo.db"_s);
        QVERIFY(dumpAndRestore(source.path, path));
        connection.openFile(path);
    }

    /// A new file archive, or the test binary's server archive emptied; with the types and
    /// processes the documents use.
    explicit Archive(db::Provider provider = db::Provider::SQLite)
    {
        if (provider == db::Provider::PostgreSQL) {
            connection.openServer(testsupport::sharedServerArchive().address());
            testsupport::emptyServerArchive(*connection.server());
        } else {
            path = dir.filePath(u"cartulo.db"_s);
            db::Connection::createArchive(path);
            connection.openFile(path);
        }
        for (const auto &[cod, desc] : {std::pair{u"00001"_s, u"CARTA"_s}, {u"00002"_s, u"OFÍCIO"_s},
                                        {u"00003"_s, u"LICITAÇÃO"_s}})
            run(u"Insert Into tipo_arq (cod,descricao) VALUES (%1,%2)"_s.arg(lib::quoted(cod), lib::quoted(desc)));
        for (const char16_t *cod : {u"00001", u"00002", u"00003", u"00004", u"00009"})
            run(u"insert into processo (cod,descricao,numero,data,num_doc) values (\"%1\",\"P\",\"1\",NULL,0)"_s
                    .arg(QStringView(cod)));
    }

    void run(const QString &sql)
    {
        db::Command command(&connection);
        command.setText(sql);
        command.execute();
    }

    void insert(const Doc &d)
    {
        run(u"insert into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,n_laudas) "
            u"values (%1,%2,%3,%4,%5,%6,%7,0)"_s.arg(
                lib::quoted(d.cod), lib::quoted(d.processo), literalOrNull(d.tipo), lib::quoted(d.descricao),
                literalOrNull(d.ementa), literalOrNull(d.palavras),
                d.data ? QString::number(d.data) : u"NULL"_s));
    }

    // The document keys a statement finds, sorted (the statement orders nothing).
    QStringList keys(const QString &statement)
    {
        db::Query query(&connection);
        query.setSql(statement);
        query.open();
        QStringList found;
        const int key = query.fieldIndex(u"Expr1003"_s);
        const int type = query.fieldIndex(u"tipo_arq.descricao"_s);
        if (key < 0 || type < 0 || query.fieldIndex(u"documento.descricao"_s) < 0 || query.fieldIndex(u"data"_s) < 0)
            return {u"missing result name"_s};
        for (query.first(); !query.isEmpty() && !query.eof(); query.next())
            found << query.asText(key) + u'|' + query.asText(type);
        std::sort(found.begin(), found.end());
        return found;
    }

    QTemporaryDir dir;
    QString path;
    db::Connection connection;
};

struct Criteria {
    QString type;
    QString start = u"0"_s;
    QString end = u"0"_s;
    QList<Term> terms;
};

} // namespace

Q_DECLARE_METATYPE(Criteria)

class TestFastSearch : public QObject {
    Q_OBJECT

    // The plain statement, the index-driven one and the one the screen runs give the
    // same hits; returns how many.
    int compareAll(Archive &archive, const Criteria &c)
    {
        const QString type = search::typeClause(c.type);
        const QString date = search::dateClause(c.start, c.end);
        const QString terms = search::termsClause(c.terms);
        const QStringList plain = archive.keys(search::statement(type, date, terms));
        const auto expression = search::candidateExpression(c.terms);
        if (expression && !archive.connection.server()) {
            db::searchindex::ensure(archive.connection);
            const QString indexed = search::indexedStatement(*expression, type, date, terms);
            const QStringList viaIndex = archive.keys(indexed);
            if (viaIndex != plain) {
                qWarning().noquote() << "index-driven:" << indexed;
                qWarning() << "plain:" << plain << "index:" << viaIndex;
            }
            [&] { QCOMPARE(viaIndex, plain); }();
        }
        [&] { QCOMPARE(archive.keys(search::statementToRun(archive.connection, c.terms, type, date, true)), plain); }();
        if (!archive.connection.server())
            compareWithoutAccents(archive, c, type, date);
        return int(plain.size());
    }

    // "Ignorar acentos" on a file, with and without the page texts, against its plain
    // statement: first with the rows written since the last upkeep read plainly (when the
    // indexes still match their tables), then once the upkeep has folded them.
    void compareWithoutAccents(Archive &archive, const Criteria &c, const QString &type, const QString &date)
    {
        auto compare = [&](const char *when) {
            for (const TermOptions options : {TermOptions{false, true}, TermOptions{true, true}}) {
                const QStringList plain = archive.keys(search::statement(type, date, search::termsClause(c.terms, options)));
                const QString toRun = search::statementToRun(archive.connection, c.terms, type, date, true, options);
                const QStringList found = archive.keys(toRun);
                if (found != plain)
                    qWarning().noquote() << when << "ran:" << toRun;
                QCOMPARE(found, plain);
            }
        };
        if (db::searchindex::condition(archive.connection.handle()) == db::searchindex::Condition::Current)
            compare("before the upkeep");
        db::searchindex::ensure(archive.connection);
        compare("after the upkeep");
    }

    std::unique_ptr<Archive> m_hand; // read only, shared by the hand-picked cases
    std::unique_ptr<Archive> m_handHoles;    // the hand-picked documents, some deleted
    std::unique_ptr<Archive> m_handRestored; // m_handHoles dumped and restored by the shell

    static QList<Criteria> oneTermEach(const QStringList &terms)
    {
        QList<Criteria> criteria;
        for (const QString &t : terms)
            criteria.append({{}, u"0"_s, u"0"_s, {{QString(), t}}});
        return criteria;
    }

    static QStringList shellTerms()
    {
        return {u"zebra"_s, u"saúde"_s, u"LICITAÇÃO"_s, u"água"_s, u"escola"_s, u"ção"_s, u"linha"_s, u"papel"_s};
    }

private slots:
    void initTestCase()
    {
        m_hand = std::make_unique<Archive>();
        for (const Doc &d : handDocs())
            m_hand->insert(d);
        // Deleted documents leave holes in the rowids, which a restored dump closes up.
        m_handHoles = std::make_unique<Archive>();
        for (const Doc &d : handDocs())
            m_handHoles->insert(d);
        for (const char16_t *doc : {u"processo=\"00001\" and cod=\"00002\"", u"processo=\"00002\" and cod=\"00002\"",
                                    u"processo=\"00003\" and cod=\"00002\""})
            m_handHoles->run(u"DELETE FROM documento Where "_s + QStringView(doc));
        m_handRestored = std::make_unique<Archive>(*m_handHoles, Restored{});
    }

    void handPicked_data()
    {
        QTest::addColumn<db::Provider>("provider");
        QTest::addColumn<Criteria>("criteria");
        QTest::addColumn<int>("hits");
        auto one = [](const QString &t) { return QList<Term>{{QString(), t}}; };
        for (const db::Provider provider : testsupport::allProviders()) {
            QTest::newRow(caseName("accented, any case", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"LICITAÇÃO"_s)} << 1;
            QTest::newRow(caseName("accents stay apart", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"licitacao"_s)} << 1;
            QTest::newRow(caseName("inside a word", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"ICITA"_s)} << 2;
            QTest::newRow(caseName("upper cedilla", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"ÇÃO"_s)} << 3;
            QTest::newRow(caseName("short term", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"ç"_s)} << 5;
            QTest::newRow(caseName("two letters", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"ab"_s)} << 1;
            QTest::newRow(caseName("underscore wildcard", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"abc_def"_s)} << 1;
            QTest::newRow(caseName("underscore typed", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"100_por"_s)} << 1;
            QTest::newRow(caseName("percent typed", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"100%"_s)} << 1;
            QTest::newRow(caseName("plus is a wildcard", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"água+esgoto"_s)} << 1;
            QTest::newRow(caseName("double quote", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"\"Projeto Sol\""_s)} << 1;
            QTest::newRow(caseName("single quote", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"'Plano"_s)} << 1;
            QTest::newRow(caseName("two spaces", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"o  d"_s)} << 1;
            QTest::newRow(caseName("across a line break", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"linha\r\nseg"_s)} << 1;
            QTest::newRow(caseName("keywords only", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"AÇAÍ"_s)} << 1;
            QTest::newRow(caseName("no such text", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"inexistente"_s)} << 0;
            QTest::newRow(caseName("t1 e t2 ou t3", provider)) << provider
                << Criteria{{}, u"0"_s, u"0"_s, {{QString(), u"escola"_s}, {u"AND"_s, u"obra"_s}, {u"OR"_s, u"papel"_s}}}
                << 3;
            QTest::newRow(caseName("t1 ou t2 e t3", provider)) << provider
                << Criteria{{}, u"0"_s, u"0"_s, {{QString(), u"escola"_s}, {u"OR"_s, u"papel"_s}, {u"AND"_s, u"A4"_s}}}
                << 2;
            QTest::newRow(caseName("or with a short term", provider)) << provider
                << Criteria{{}, u"0"_s, u"0"_s, {{QString(), u"escola"_s}, {u"OR"_s, u"xy"_s}}} << 2;
            QTest::newRow(caseName("with type", provider)) << provider << Criteria{u"00001"_s, u"0"_s, u"0"_s, one(u"licita"_s)} << 2;
            QTest::newRow(caseName("with dates", provider)) << provider << Criteria{{}, u"38061"_s, u"38090"_s, one(u"a"_s)} << 6;
            QTest::newRow(caseName("from a day", provider)) << provider << Criteria{{}, u"38100"_s, u"0"_s, one(u"p"_s)} << 2;
            QTest::newRow(caseName("until a day", provider)) << provider << Criteria{{}, u"0"_s, u"30000"_s, {}} << 1;
            QTest::newRow(caseName("type missing from tipo_arq", provider)) << provider << Criteria{{}, u"0"_s, u"0"_s, one(u"impressão"_s)} << 1;
            QTest::newRow(caseName("no criteria", provider)) << provider << Criteria{} << 12;
        }
    }
    void handPicked()
    {
        QFETCH(db::Provider, provider);
        QFETCH(Criteria, criteria);
        QFETCH(int, hits);
        if (provider == db::Provider::SQLite) {
            QCOMPARE(compareAll(*m_hand, criteria), hits);
            return;
        }
        Archive server(provider);
        for (const Doc &d : handDocs())
            server.insert(d);
        QCOMPARE(compareAll(server, criteria), hits);
        QCOMPARE(server.keys(search::statement(search::typeClause(criteria.type),
                                               search::dateClause(criteria.start, criteria.end),
                                               search::termsClause(criteria.terms))),
                 m_hand->keys(search::statement(search::typeClause(criteria.type),
                                                search::dateClause(criteria.start, criteria.end),
                                                search::termsClause(criteria.terms))));
    }

    // On the server the plain statement itself is served by the trigram index on the folded
    // texts: its like() is translated to the very expression the index holds.
    void serverIndexServesTheSearch()
    {
        Archive server(db::Provider::PostgreSQL);
        for (const Doc &d : handDocs())
            server.insert(d);
        // Enough documents that no other index is a cheap way round reading them all.
        db::pg::PgConnection &connection = *server.connection.server();
        connection.exec(u"INSERT INTO documento (cod, processo, tp_doc, descricao, ementa, palavras_chave) "
                        u"SELECT lpad((x % 90000 + 10000)::text, 5, '0'), '00009', '00001', 'DOC ' || x, "
                        u"'texto comum número ' || x, 'chave' FROM generate_series(1, 20000) AS x"_s);
        connection.exec(u"ANALYZE documento"_s);
        connection.exec(u"SET enable_seqscan = off"_s); // the plan that can use no index reads them all
        const QString plain = search::statement({}, {}, search::termsClause({{QString(), u"Licitação"_s}}));
        const db::pg::PgResult plan = connection.exec(u"EXPLAIN "_s + db::translate(plain, {}, db::Provider::PostgreSQL).sql);
        QStringList lines;
        for (int row = 0; row < plan.rowCount(); ++row)
            lines << plan.text(row, 0);
        QVERIFY2(lines.join(u'\n').contains(u"Bitmap Index Scan on documento_busca"_s), qPrintable(lines.join(u'\n')));
        connection.exec(u"RESET enable_seqscan"_s);
        QCOMPARE(server.keys(plain), m_hand->keys(plain));
        QCOMPARE(search::statementToRun(server.connection, {{QString(), u"Licitação"_s}}, {}, {}, true), plain);
    }

    // Many random terms over one random archive in a file and on the server: the server's
    // hits are exactly the file's (which agree with its own index).
    void serverAgreesWithTheFile()
    {
        Archive file;
        Archive server(db::Provider::PostgreSQL);
        QRandomGenerator random(20261210);
        file.run(u"begin"_s);
        server.run(u"begin"_s);
        for (int i = 0; i < 300; ++i) {
            const Doc d{QString::number(1 + i / 20).rightJustified(5, u'0'), QString::number(1 + i % 20).rightJustified(5, u'0'),
                        QString::number(1 + random.bounded(4)).rightJustified(5, u'0'), randomText(random, 3).left(50),
                        randomText(random, 12), randomText(random, 3), 36000 + random.bounded(3000)};
            if (d.processo > u"00004"_s && d.processo != u"00009"_s && i % 20 == 0)
                for (Archive *a : {&file, &server})
                    a->run(u"insert into processo (cod,descricao,numero,data,num_doc) values (\"%1\",\"P\",\"1\",NULL,0)"_s
                               .arg(d.processo));
            file.insert(d);
            server.insert(d);
        }
        file.run(u"commit"_s);
        server.run(u"commit"_s);
        int withHits = 0;
        for (int i = 0; i < 100; ++i) {
            Criteria c;
            const int count = 1 + random.bounded(3);
            for (int t = 0; t < count; ++t)
                c.terms << Term{t == 0 ? QString() : (random.bounded(2) ? u"AND"_s : u"OR"_s), randomTerm(random)};
            if (random.bounded(4) == 0)
                c.type = u"0000%1"_s.arg(1 + random.bounded(4));
            if (random.bounded(4) == 0)
                c.start = QString::number(36000 + random.bounded(3000));
            const int hits = compareAll(file, c);
            const QString plain = search::statement(search::typeClause(c.type), search::dateClause(c.start, c.end),
                                                    search::termsClause(c.terms));
            QCOMPARE(server.keys(plain), file.keys(plain));
            withHits += hits > 0;
        }
        QVERIFY2(withHits > 50, "the random terms should mostly find something");
    }

    // The restored copy's index still names the old rowids: the program sees it does not
    // match its table (as it stood, it misses hits) and fills it again.
    void restoredDumpIsSeenStale()
    {
        Archive copy(*m_handHoles, Restored{});
        sqlite3 *handle = copy.connection.handle();
        QCOMPARE(db::searchindex::condition(handle), db::searchindex::Condition::Stale);
        int wrong = 0;
        for (const Criteria &c : oneTermEach(shellTerms())) {
            const QString terms = search::termsClause(c.terms);
            const QString indexed = search::indexedStatement(*search::candidateExpression(c.terms), {}, {}, terms);
            wrong += copy.keys(indexed) != copy.keys(search::statement({}, {}, terms));
        }
        QVERIFY(wrong > 0);
        // Checked, it is not used by the search.
        const QList<Term> terms = {{QString(), u"saúde"_s}};
        QVERIFY(!search::statementToRun(copy.connection, terms, {}, {}, false).contains(u"match"_s));
        db::searchindex::ensure(copy.connection);
        QCOMPARE(db::searchindex::condition(handle), db::searchindex::Condition::Current);
    }

    void restoredDumpSearches_data()
    {
        QTest::addColumn<Criteria>("criteria");
        QTest::addColumn<int>("hits");
        auto one = [](const QString &t) { return Criteria{{}, u"0"_s, u"0"_s, {{QString(), t}}}; };
        QTest::newRow("saúde") << one(u"saúde"_s) << 0;
        QTest::newRow("LICITAÇÃO") << one(u"LICITAÇÃO"_s) << 1;
        QTest::newRow("licitacao") << one(u"licitacao"_s) << 1;
        QTest::newRow("água") << one(u"água"_s) << 1;
        QTest::newRow("ção") << one(u"ção"_s) << 2;
        QTest::newRow("linha") << one(u"linha"_s) << 1;
        QTest::newRow("duas  palavras") << one(u"duas  palavras"_s) << 1;
        QTest::newRow("100%") << one(u"100%"_s) << 0;
        QTest::newRow("escola ou papel")
            << Criteria{{}, u"0"_s, u"0"_s, {{QString(), u"escola"_s}, {u"OR"_s, u"papel"_s}}} << 3;
    }
    // The program searches the restored copy (its index checked and filled again first)
    // and finds exactly what the plain statement finds.
    void restoredDumpSearches()
    {
        QFETCH(Criteria, criteria);
        QFETCH(int, hits);
        QCOMPARE(compareAll(*m_handRestored, criteria), hits);
    }

    void shellWritesThenSearch_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("current"); // the index still matches its table afterwards
        QTest::newRow("update of ementa")
            << u"UPDATE documento SET ementa='Uma zebra listrada' WHERE processo='00001' AND cod='00002';"_s << true;
        QTest::newRow("update of the three columns")
            << u"UPDATE documento SET descricao='ZEBRA', palavras_chave='zebra', ementa=NULL "
               u"WHERE processo='00003' AND cod='00001';"_s << true;
        QTest::newRow("delete a document") << u"DELETE FROM documento WHERE processo='00001' AND cod='00001';"_s << true;
        QTest::newRow("delete a process") << u"DELETE FROM processo WHERE cod='00003';"_s << true;
        QTest::newRow("insert") << u"INSERT INTO documento (cod,processo,tp_doc,descricao,ementa,n_laudas) "
                                   u"VALUES ('00009','00004','00001','ZEBRA NOVA','zebra e saúde',0);"_s << true;
        QTest::newRow("rowid moved") << u"UPDATE documento SET rowid = rowid + 1000 WHERE processo='00002' AND cod='00001';"_s
                                     << true;
        QTest::newRow("one transaction")
            << u"BEGIN; DELETE FROM documento WHERE processo='00004'; "
               u"UPDATE documento SET palavras_chave='zebra' WHERE processo='00001'; COMMIT;"_s << true;
        // REPLACE deletes the old row without its delete trigger: the count shows it.
        QTest::newRow("insert or replace")
            << u"INSERT OR REPLACE INTO documento (cod,processo,tp_doc,descricao,ementa,n_laudas) "
               u"VALUES ('00002','00001','00002','OFÍCIO NOVO','zebra no ofício',0);"_s << false;
    }
    // An administrator writes the archive with the sqlite3 shell: every write succeeds, and
    // the program's search finds exactly what the plain statement finds afterwards.
    void shellWritesThenSearch()
    {
        QFETCH(QString, sql);
        QFETCH(bool, current);
        Archive archive;
        for (const Doc &d : handDocs())
            archive.insert(d);
        const ShellRun shell = sqliteShell(archive.path, sql);
        QCOMPARE(shell.errors, QString());
        QCOMPARE(shell.exitCode, 0);
        QCOMPARE(db::searchindex::condition(archive.connection.handle()) == db::searchindex::Condition::Current,
                 current);
        for (const Criteria &c : oneTermEach(shellTerms())) {
            compareAll(archive, c);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // Archives made by the first version carry an index whose triggers call a function of
    // the program: the shell cannot write them. Opened, the index is replaced by this one.
    void firstVersionIndexIsReplaced()
    {
        Archive archive;
        for (const Doc &d : handDocs())
            archive.insert(d);
        db::searchindex::drop(archive.connection.handle());
        const QString folded = u"cartulo_fold(%1.ementa), cartulo_fold(%1.descricao), cartulo_fold(%1.palavras_chave)"_s;
        for (const QString &sql : {
                 u"CREATE VIRTUAL TABLE documento_busca USING fts5(ementa, descricao, palavras_chave, "
                 u"tokenize = 'trigram case_sensitive 1', content = '', detail = full)"_s,
                 u"CREATE TRIGGER documento_busca_v1_altera AFTER UPDATE OF ementa, descricao, palavras_chave ON documento BEGIN "
                 u"INSERT INTO documento_busca(documento_busca, rowid, ementa, descricao, palavras_chave) VALUES ('delete', old.rowid, %1); "
                 u"INSERT INTO documento_busca(rowid, ementa, descricao, palavras_chave) VALUES (new.rowid, %2); END"_s
                     .arg(folded.arg(u"old"_s), folded.arg(u"new"_s)),
                 u"INSERT INTO documento_busca(rowid, ementa, descricao, palavras_chave) SELECT rowid, %1 FROM documento"_s
                     .arg(folded.arg(u"documento"_s))})
            archive.run(sql);
        const QString update = u"UPDATE documento SET ementa='zebra' WHERE processo='00001' AND cod='00003';"_s;
        QVERIFY(sqliteShell(archive.path, update).errors.contains(u"no such function: cartulo_fold"_s));

        QCOMPARE(db::searchindex::condition(archive.connection.handle()), db::searchindex::Condition::Missing);
        db::searchindex::ensure(archive.connection);
        QCOMPARE(db::searchindex::condition(archive.connection.handle()), db::searchindex::Condition::Current);
        const ShellRun shell = sqliteShell(archive.path, update);
        QCOMPARE(shell.errors, QString());
        QCOMPARE(compareAll(archive, {{}, u"0"_s, u"0"_s, {{QString(), u"zebra"_s}}}), 1);
    }

    // The index is filled in steps; stopped half-way, it stays usable for writing (by any
    // client) and the next update goes on from where it stopped.
    void fillingResumesAfterCancel()
    {
        Archive archive;
        archive.run(u"WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 5000) "
                    u"INSERT INTO documento (cod, processo, tp_doc, descricao, ementa, n_laudas) "
                    u"SELECT printf('%05d', x), '00001', '00001', 'DOC ' || x, "
                    u"CASE x % 3 WHEN 0 THEN 'Contrato ' || x WHEN 1 THEN 'Licitação ' || x ELSE 'Ofício' END, 0 FROM n"_s);
        sqlite3 *handle = archive.connection.handle();
        db::searchindex::drop(handle);

        std::atomic<bool> cancel{false};
        QList<qint64> done;
        db::searchindex::UpdateOptions options;
        options.documentsPerTransaction = 1000;
        options.cancel = &cancel;
        options.progress = [&](const db::searchindex::Progress &p) {
            done << p.done;
            QCOMPARE(p.total, 5000);
            if (done.size() == 2)
                cancel = true;
        };
        QVERIFY(!db::searchindex::update(handle, options));
        QCOMPARE(done, (QList<qint64>{1000, 2000}));
        QCOMPARE(db::searchindex::condition(handle), db::searchindex::Condition::Filling);
        QVERIFY(!db::searchindex::isFilled(handle));

        // Writes below and above the point reached, by the shell and by the program.
        const ShellRun shell = sqliteShell(
            archive.path, u"UPDATE documento SET ementa='zebra' WHERE cod IN ('00010', '04000'); "
                          u"DELETE FROM documento WHERE cod IN ('00011', '04001'); "
                          u"INSERT INTO documento (cod, processo, tp_doc, descricao, ementa, n_laudas) "
                          u"VALUES ('09999', '00002', '00001', 'NOVO', 'zebra contrato', 0);"_s);
        QCOMPARE(shell.errors, QString());
        archive.run(u"UPDATE documento SET palavras_chave=\"zebra\" Where processo=\"00001\" and cod=\"00020\""_s);

        cancel = false;
        done.clear();
        options.progress = [&](const db::searchindex::Progress &p) { done << p.done; };
        QVERIFY(db::searchindex::update(handle, options));
        QCOMPARE(done.first(), 2000 - 1 + 1000); // one deleted below the point, the next step on
        QCOMPARE(db::searchindex::condition(handle), db::searchindex::Condition::Current);
        for (const Criteria &c : oneTermEach({u"zebra"_s, u"contrato"_s, u"licitação"_s, u"ofício"_s})) {
            compareAll(archive, c);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // Many random terms over a random archive: every one agrees with the full scan.
    void randomAgainstFullScan()
    {
        Archive archive;
        QRandomGenerator random(20240315);
        archive.run(u"begin"_s);
        for (int i = 0; i < 400; ++i) {
            archive.insert({QString::number(1 + i / 20).rightJustified(5, u'0'),
                            QString::number(1 + i % 20).rightJustified(5, u'0'),
                            QString::number(1 + random.bounded(4)).rightJustified(5, u'0'),
                            randomText(random, 3).left(50), randomText(random, 12), randomText(random, 3),
                            36000 + random.bounded(3000)});
        }
        archive.run(u"commit"_s);
        int withHits = 0;
        for (int i = 0; i < 120; ++i) {
            Criteria c;
            const int count = 1 + random.bounded(3);
            for (int t = 0; t < count; ++t)
                c.terms << Term{t == 0 ? QString() : (random.bounded(2) ? u"AND"_s : u"OR"_s), randomTerm(random)};
            if (random.bounded(4) == 0)
                c.type = u"0000%1"_s.arg(1 + random.bounded(4));
            if (random.bounded(4) == 0)
                c.start = QString::number(36000 + random.bounded(3000));
            withHits += compareAll(archive, c) > 0;
            if (QTest::currentTestFailed())
                return;
        }
        QVERIFY2(withHits > 60, "the random terms should mostly find something");

        // Documents deleted at random, the archive dumped and restored by the shell: its
        // index is stale, and every search still agrees with the full scan.
        for (int i = 0; i < 40; ++i)
            archive.run(u"DELETE FROM documento Where processo=\"%1\" and cod=\"%2\""_s.arg(
                QString::number(1 + random.bounded(20)).rightJustified(5, u'0'),
                QString::number(1 + random.bounded(20)).rightJustified(5, u'0')));
        Archive restored(archive, Restored{});
        QCOMPARE(db::searchindex::condition(restored.connection.handle()), db::searchindex::Condition::Stale);
        for (int i = 0; i < 60; ++i) {
            Criteria c;
            const int count = 1 + random.bounded(3);
            for (int t = 0; t < count; ++t)
                c.terms << Term{t == 0 ? QString() : (random.bounded(2) ? u"AND"_s : u"OR"_s), randomTerm(random)};
            compareAll(restored, c);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // Documents written after the index exists are found through it: the triggers keep it.
    void indexFollowsChanges()
    {
        Archive archive;
        for (const Doc &d : handDocs())
            archive.insert(d);
        QCOMPARE(db::searchindex::condition(archive.connection.handle()), db::searchindex::Condition::Current);
        const Criteria zebra{{}, u"0"_s, u"0"_s, {{QString(), u"zebra"_s}}};
        const Criteria obra{{}, u"0"_s, u"0"_s, {{QString(), u"licitação para"_s}}};

        archive.insert({u"00009"_s, u"00001"_s, u"00001"_s, u"NOVO"_s, u"Uma ZEBRA listrada"_s, QString(), 38000});
        QCOMPARE(compareAll(archive, zebra), 1);

        archive.run(u"UPDATE documento SET ementa=\"sem listras\" Where processo=\"00009\" and cod=\"00001\""_s);
        QCOMPARE(compareAll(archive, zebra), 0);
        archive.run(u"UPDATE documento SET palavras_chave=\"zebra\" Where processo=\"00001\" and cod=\"00001\""_s);
        QCOMPARE(compareAll(archive, zebra), 1);
        QCOMPARE(compareAll(archive, obra), 1);

        // A column outside the index changes: the row keeps its entry.
        archive.run(u"UPDATE documento SET gaveta=\"9\" Where processo=\"00001\" and cod=\"00001\""_s);
        QCOMPARE(compareAll(archive, obra), 1);

        archive.run(u"DELETE FROM documento Where processo=\"00001\" and cod=\"00001\""_s);
        QCOMPARE(compareAll(archive, zebra), 0);
        QCOMPARE(compareAll(archive, obra), 0);
        // Deleting a process deletes its documents, and their entries.
        archive.run(u"DELETE FROM processo Where cod=\"00003\""_s);
        archive.insert({u"00003"_s, u"00001"_s, u"00001"_s, u"OUTRO"_s, u"zebra de novo"_s, QString(), 38000});
        QCOMPARE(compareAll(archive, zebra), 1);
    }

    // An archive made before the index existed gets it, filled with what it holds.
    void indexBuiltForOldArchive()
    {
        Archive archive;
        for (const Doc &d : handDocs())
            archive.insert(d);
        sqlite3 *handle = archive.connection.handle();
        db::searchindex::drop(handle);
        QCOMPARE(db::searchindex::condition(handle), db::searchindex::Condition::Missing);
        db::searchindex::ensure(archive.connection);
        QCOMPARE(db::searchindex::condition(handle), db::searchindex::Condition::Current);
        QCOMPARE(compareAll(archive, {{}, u"0"_s, u"0"_s, {{QString(), u"saúde"_s}}}), 1);
    }

    // With the type and date range narrowing to few documents, the plain statement runs.
    void fewInRangeRunsPlain()
    {
        Archive archive;
        for (const Doc &d : handDocs())
            archive.insert(d);
        const QList<Term> terms{{QString(), u"licita"_s}};
        const QString type = search::typeClause(u"00001"_s);
        QCOMPARE(search::statementToRun(archive.connection, terms, type, {}, true),
                 search::statement(type, {}, search::termsClause(terms)));
        QVERIFY(search::statementToRun(archive.connection, terms, {}, {}, true).contains(u"documento_busca match"_s));
        // An index not checked yet against its table is not used.
        QCOMPARE(search::statementToRun(archive.connection, terms, {}, {}, false),
                 search::statement({}, {}, search::termsClause(terms)));
    }
};

QTEST_GUILESS_MAIN(TestFastSearch)
#include "tst_fastsearch.moc"
