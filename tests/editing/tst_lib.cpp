// The routines of module lib: builders, small helpers and what they do to a screen's edits.
#include "Archive.h"

#include "db/DbError.h"
#include "editing/Edits.h"
#include "editing/lib.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A screen holding one edit of each kind, a plain QLineEdit (not an edit kind) and a
// nested screen with an edit of its own.
struct Screens {
    QWidget mainWindow; // not a screen: owns no edit control
    TScreen *screen = new TScreen(&mainWindow);
    TLabeledEdit *edtDesc = new TLabeledEdit(u"EdtDesc"_s, u"Descrição"_s, screen);
    TEdit *edtNum = new TEdit(u"EdtNum"_s, screen);
    TMaskEdit *edtDta = new TMaskEdit(u"EdtDta"_s, screen);
    TMemo *mmEmenta = new TMemo(u"MMEmenta"_s, screen);
    QLineEdit *plain = new QLineEdit(screen);
    QFrame *box = new QFrame(screen); // controls inside a plain container still belong to the screen
    TEdit *edtInBox = new TEdit(u"EdtPasta"_s, box);
    TScreen *inner = new TScreen(screen);
    TEdit *innerEdit = new TEdit(u"EdtInner"_s, inner);

    Screens()
    {
        plain->setObjectName(u"Plain"_s);
        edtDesc->setText(u"Obra"_s);
        edtNum->setText(u"12"_s);
        edtDta->setText(u"15/03/04"_s);
        mmEmenta->setPlainText(u"linha 1\nlinha 2"_s);
        plain->setText(u"fica"_s);
        edtInBox->setText(u"P1"_s);
        innerEdit->setText(u"de outra tela"_s);
    }
};

} // namespace

class TestLib : public QObject {
    Q_OBJECT
private slots:
    void nextCode_data();
    void nextCode();
    void nextCodeFailsOnNonNumber_data();
    void nextCodeFailsOnNonNumber();
    void nextCodeOpensClosedQuery();
    void nextCodeRefusedAfter99999();

    void dateToSql_data();
    void dateToSql();
    void dateToSqlFailsOnNonDate_data();
    void dateToSqlFailsOnNonDate();

    void buildSql_data();
    void buildSql();
    void buildSqlRefusesUnknownControl_data();
    void buildSqlRefusesUnknownControl();

    void substChar_data();
    void substChar();
    void repeatStr_data();
    void repeatStr();
    void isNumKey_data();
    void isNumKey();
    void quoted_data();
    void quoted();

    void ownedEditsAreThoseOfTheNearestScreen();
    void clearEdits();
    void enableEditsLeavesCaptionsEnabled();
    void enableEditsExcept();
    void mainWindowAsOwnerChangesNothing();
    void enableButtons();
    void showValues();
    void showValuesRefusesMoreTextsThanControls();

    void lookupValue_data();
    void lookupValue();
    void lookupValueStatementText();
    void quotesRoundTripThroughTheArchive_data();
    void quotesRoundTripThroughTheArchive();
};

void TestLib::nextCode_data()
{
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty table") << QStringList{} << u"00001"_s;
    QTest::newRow("one row") << QStringList{u"00001"_s} << u"00002"_s;
    QTest::newRow("last 00041") << QStringList{u"00003"_s, u"00041"_s} << u"00042"_s;
    QTest::newRow("last 99998") << QStringList{u"00007"_s, u"99998"_s} << u"99999"_s;
    QTest::newRow("query order, not insertion order")
        << QStringList{u"00009"_s, u"00002"_s, u"00005"_s} << u"00010"_s;
}

void TestLib::nextCode()
{
    QFETCH(QStringList, codes);
    QFETCH(QString, expected);
    TestArchive archive;
    for (const QString &code : codes)
        archive.run(u"Insert Into tipo_arq (cod,descricao) VALUES (\"%1\",\"T\")"_s.arg(code));
    db::Query query(&archive.connection);
    query.setSql(u"select * from tipo_arq order by cod"_s);
    query.open();
    QCOMPARE(lib::NextCode(query, 0), expected);
    if (!codes.isEmpty()) // the query is left on its last row
        QCOMPARE(query.recNo(), int(codes.size()) - 1);
}

void TestLib::nextCodeFailsOnNonNumber_data()
{
    QTest::addColumn<QString>("lastCode");
    QTest::newRow("letters") << u"ABC"_s;
    QTest::newRow("empty code") << QString();
    QTest::newRow("digits and letters") << u"0004a"_s;
}

void TestLib::nextCodeFailsOnNonNumber()
{
    QFETCH(QString, lastCode);
    TestArchive archive;
    archive.addTypes({{u"00001"_s, u"A"_s}, {lastCode, u"B"_s}});
    db::Query query(&archive.connection);
    query.setSql(u"select cod from tipo_arq order by descricao"_s);
    QVERIFY_THROWS_EXCEPTION(lib::ConvertError, lib::NextCode(query, 0));
}

void TestLib::nextCodeOpensClosedQuery()
{
    TestArchive archive;
    archive.addTypes({{u"00001"_s, u"A"_s}, {u"00002"_s, u"B"_s}});
    db::Query query(&archive.connection);
    query.setSql(u"select * from tipo_arq order by cod"_s);
    QVERIFY(!query.isOpen());
    QCOMPARE(lib::NextCode(query, 0), u"00003"_s);
    QVERIFY(query.isOpen());
    QCOMPARE(query.recNo(), 1);
}

// Cut to the field's five characters, "100000" would propose "10000", a code in use.
void TestLib::nextCodeRefusedAfter99999()
{
    TestArchive archive;
    archive.addTypes({{u"00007"_s, u"A"_s}, {u"99999"_s, u"B"_s}});
    db::Query query(&archive.connection);
    query.setSql(u"select * from tipo_arq order by cod"_s);
    try {
        lib::NextCode(query, 0);
        QFAIL("a code past 99999 was proposed");
    } catch (const lib::CodeLimitError &error) {
        QCOMPARE(error.message(), u"O código 99999 é o último de cinco algarismos: não há código para um novo registro."_s);
    }
}

void TestLib::dateToSql_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blank mask") << u"  /  /  "_s << u"NULL"_s;
    QTest::newRow("empty text") << QString() << u"NULL"_s;
    QTest::newRow("only separators") << u"__/__/__"_s << u"NULL"_s;
    QTest::newRow("15/03/04") << u"15/03/04"_s << u"38061"_s;
    QTest::newRow("01/01/00") << u"01/01/00"_s << u"36526"_s;
    QTest::newRow("31/12/99 is 1999") << u"31/12/99"_s << u"36525"_s;
    QTest::newRow("30/12/99 four-digit year 1899") << u"30/12/1899"_s << u"0"_s;
    QTest::newRow("with a time") << u"15/03/04 12:00:00"_s << u"38061.5"_s;
}

void TestLib::dateToSql()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(lib::DateToSql(text), expected);
}

void TestLib::dateToSqlFailsOnNonDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("32/13/04") << u"32/13/04"_s;
    QTest::newRow("29/02/03") << u"29/02/03"_s;
    QTest::newRow("partly filled") << u"15/03/  "_s;
    QTest::newRow("letters") << u"ab/cd/ef"_s;
}

void TestLib::dateToSqlFailsOnNonDate()
{
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(lib::ConvertError, lib::DateToSql(text));
}

void TestLib::buildSql_data()
{
    QTest::addColumn<QString>("desc");
    QTest::addColumn<QString>("num");
    QTest::addColumn<QString>("ementa");
    QTest::addColumn<QString>("expected");
    const QString all = u"UPDATE processo SET descricao=\"Obra\",numero=\"12\",data=\"15/03/04\",ementa=\"resumo\""_s;
    QTest::newRow("all filled") << u"Obra"_s << u"12"_s << u"resumo"_s << all;
    QTest::newRow("first empty") << QString() << u"12"_s << u"resumo"_s
                                 << u"UPDATE processo SET numero=\"12\",data=\"15/03/04\",ementa=\"resumo\""_s;
    QTest::newRow("middle empty") << u"Obra"_s << QString() << u"resumo"_s
                                  << u"UPDATE processo SET descricao=\"Obra\",data=\"15/03/04\",ementa=\"resumo\""_s;
    QTest::newRow("last empty") << u"Obra"_s << u"12"_s << QString()
                                << u"UPDATE processo SET descricao=\"Obra\",numero=\"12\",data=\"15/03/04\""_s;
    QTest::newRow("typed quotes doubled") << u"Obra \"A\""_s << u"1\"2"_s << u"\""_s
                                          << u"UPDATE processo SET descricao=\"Obra \"\"A\"\"\",numero=\"1\"\"2\",data=\"15/03/04\",ementa=\"\"\"\""_s;
    QTest::newRow("accents kept") << u"Licitação 12"_s << u"12"_s << QString()
                                  << u"UPDATE processo SET descricao=\"Licitação 12\",numero=\"12\",data=\"15/03/04\""_s;
}

void TestLib::buildSql()
{
    QFETCH(QString, desc);
    QFETCH(QString, num);
    QFETCH(QString, ementa);
    QFETCH(QString, expected);
    Screens s;
    s.edtDesc->setText(desc);
    s.edtNum->setText(num);
    s.mmEmenta->setPlainText(ementa);
    const BindingTable bindings{{u"EdtDesc"_s, u"descricao"_s, {}},
                                {u"EdtNum"_s, u"numero"_s, {}},
                                {u"EdtDta"_s, u"data"_s, {}},
                                {u"MMEmenta"_s, u"ementa"_s, {}}};
    QCOMPARE(lib::BuildSql(bindings, s.screen, u"processo"_s), expected);
}

void TestLib::buildSqlRefusesUnknownControl_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("no such control") << u"EdtNada"_s;
    QTest::newRow("control of a nested screen") << u"EdtInner"_s;
    QTest::newRow("not an edit kind") << u"Plain"_s;
}

void TestLib::buildSqlRefusesUnknownControl()
{
    QFETCH(QString, name);
    Screens s;
    const BindingTable bindings{{u"EdtDesc"_s, u"descricao"_s, {}}, {name, u"x"_s, {}}};
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, lib::BuildSql(bindings, s.screen, u"processo"_s));
}

void TestLib::substChar_data()
{
    QTest::addColumn<QString>("searched");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("expected");
    QTest::newRow("comma to point") << u","_s << u"."_s << u"12,5"_s << u"12.5"_s;
    QTest::newRow("two-character searched text") << u",5"_s << u"."_s << u"12,5"_s << u"12,5"_s;
    QTest::newRow("empty searched text") << QString() << u"."_s << u"12,5"_s << u"12,5"_s;
    QTest::newRow("plus to percent") << u"+"_s << u"%"_s << u"obra+12+a"_s << u"obra%12%a"_s;
    QTest::newRow("quote to apostrophe") << u"\""_s << u"'"_s << u"a\"b\""_s << u"a'b'"_s;
    QTest::newRow("longer replacement") << u"a"_s << u"xy"_s << u"banana"_s << u"bxynxynxy"_s;
    QTest::newRow("empty replacement") << u"a"_s << QString() << u"banana"_s << u"bnn"_s;
    QTest::newRow("nothing to replace") << u"z"_s << u"y"_s << u"abc"_s << u"abc"_s;
}

void TestLib::substChar()
{
    QFETCH(QString, searched);
    QFETCH(QString, replacement);
    QFETCH(QString, subject);
    QFETCH(QString, expected);
    QCOMPARE(lib::SubstChar(searched, replacement, subject), expected);
}

void TestLib::repeatStr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    QTest::newRow("pattern of five zeros") << u"0"_s << 5 << u"00000"_s;
    QTest::newRow("two characters twice") << u"ab"_s << 2 << u"abab"_s;
    QTest::newRow("zero") << u"x"_s << 0 << QString();
    QTest::newRow("negative") << u"x"_s << -3 << QString();
}

void TestLib::repeatStr()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QString, expected);
    QCOMPARE(lib::RepeatStr(text, count), expected);
}

void TestLib::isNumKey_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("expected");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("7") << u"7"_s << true;
    QTest::newRow("0") << u"0"_s << true;
    QTest::newRow("9") << u"9"_s << true;
    QTest::newRow("comma") << u","_s << true;
    QTest::newRow("full stop") << u"."_s << true;
    QTest::newRow("backspace") << QString(QChar(8)) << true;
    QTest::newRow("letter a") << u"a"_s << false;
    QTest::newRow("minus") << u"-"_s << false;
    QTest::newRow("blank") << u" "_s << false;
    QTest::newRow("only the first character counts") << u"7a"_s << true;
    QTest::newRow("arabic-indic digit") << QString(QChar(0x0663)) << false;
}

void TestLib::isNumKey()
{
    QFETCH(QString, typed);
    QFETCH(bool, expected);
    QCOMPARE(lib::IsNumKey(typed), expected);
}

void TestLib::quoted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << u"Obra 12"_s << u"\"Obra 12\""_s;
    QTest::newRow("empty") << QString() << u"\"\""_s;
    QTest::newRow("inner quotes") << u"Obra \"A\""_s << u"\"Obra \"\"A\"\"\""_s;
    QTest::newRow("lone quote") << u"\""_s << u"\"\"\"\""_s;
    QTest::newRow("apostrophe untouched") << u"D'Ávila"_s << u"\"D'Ávila\""_s;
}

void TestLib::quoted()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(lib::quoted(text), expected);
    QCOMPARE(u'"' + lib::escapeQuotes(text) + u'"', expected);
}

void TestLib::ownedEditsAreThoseOfTheNearestScreen()
{
    Screens s;
    const QList<QWidget *> owned = lib::ownedEdits(s.screen);
    QCOMPARE(owned.size(), 5);
    for (QWidget *edit : {static_cast<QWidget *>(s.edtDesc), static_cast<QWidget *>(s.edtNum),
                          static_cast<QWidget *>(s.edtDta), static_cast<QWidget *>(s.mmEmenta),
                          static_cast<QWidget *>(s.edtInBox)})
        QVERIFY2(owned.contains(edit), qPrintable(edit->objectName()));
    QCOMPARE(lib::ownedEdits(s.inner), QList<QWidget *>{s.innerEdit});
    QVERIFY(lib::ownedEdits(&s.mainWindow).isEmpty());
    QCOMPARE(lib::findOwnedEdit(s.screen, u"EdtDta"_s), s.edtDta);
    QCOMPARE(lib::findOwnedEdit(s.screen, u"EdtInner"_s), nullptr);
}

void TestLib::clearEdits()
{
    Screens s;
    lib::ClearEdits(s.screen);
    QCOMPARE(s.edtDesc->text(), QString());
    QCOMPARE(s.edtNum->text(), QString());
    QCOMPARE(s.edtDta->text(), u"  /  /  "_s);
    QCOMPARE(s.mmEmenta->toPlainText(), QString());
    QCOMPARE(s.edtInBox->text(), QString());
    QCOMPARE(s.plain->text(), u"fica"_s);
    QCOMPARE(s.innerEdit->text(), u"de outra tela"_s);
}

void TestLib::enableEditsLeavesCaptionsEnabled()
{
    Screens s;
    s.edtDesc->label()->setEnabled(false); // even a caption greyed by someone else comes back
    lib::EnableEdits(s.screen, false);
    QVERIFY(!s.edtDesc->isEnabled());
    QVERIFY(s.edtDesc->label()->isEnabled());
    QVERIFY(!s.edtNum->isEnabled());
    QVERIFY(!s.edtDta->isEnabled());
    QVERIFY(!s.mmEmenta->isEnabled());
    QVERIFY(!s.edtInBox->isEnabled());
    QVERIFY(s.plain->isEnabled());
    QVERIFY(s.innerEdit->isEnabled());

    lib::EnableEdits(s.screen, true);
    QVERIFY(s.edtDesc->isEnabled());
    QVERIFY(s.edtDesc->label()->isEnabled());
    QVERIFY(s.mmEmenta->isEnabled());
}

void TestLib::enableEditsExcept()
{
    Screens s;
    lib::EnableEditsExcept(s.screen, false, {s.edtDesc, s.edtDta});
    QVERIFY(s.edtDesc->isEnabled());
    QVERIFY(s.edtDta->isEnabled());
    QVERIFY(!s.edtNum->isEnabled());
    QVERIFY(!s.mmEmenta->isEnabled());
    QVERIFY(s.edtDesc->label()->isEnabled());
    QVERIFY(s.innerEdit->isEnabled());
}

void TestLib::mainWindowAsOwnerChangesNothing()
{
    Screens s;
    lib::EnableEdits(&s.mainWindow, false);
    for (QWidget *edit : lib::ownedEdits(s.screen))
        QVERIFY2(edit->isEnabled(), qPrintable(edit->objectName()));
    QVERIFY(s.innerEdit->isEnabled());

    lib::ClearEdits(&s.mainWindow);
    QCOMPARE(s.edtDesc->text(), u"Obra"_s);

    // The listed controls are still set, to the opposite state.
    lib::EnableEditsExcept(&s.mainWindow, false, {s.edtNum});
    QVERIFY(s.edtNum->isEnabled());
    QVERIFY(s.edtDesc->isEnabled());
    lib::EnableEdits(s.screen, false);
    lib::EnableEditsExcept(&s.mainWindow, false, {s.edtNum});
    QVERIFY(s.edtNum->isEnabled());
    QVERIFY(!s.edtDesc->isEnabled()); // left as it was
}

void TestLib::enableButtons()
{
    QWidget window;
    auto *a = new QPushButton(&window);
    auto *b = new QPushButton(&window);
    auto *c = new QPushButton(&window);
    lib::EnableButtons(false, {a, b});
    QVERIFY(!a->isEnabled());
    QVERIFY(!b->isEnabled());
    QVERIFY(c->isEnabled());
    lib::EnableButtons(true, {b});
    QVERIFY(b->isEnabled());
    QVERIFY(!a->isEnabled());
}

void TestLib::showValues()
{
    Screens s;
    lib::ShowValues({s.edtNum, s.edtDesc, s.edtDta, s.mmEmenta},
                    {u"00007"_s, u"ATA"_s, u"01/02/03"_s, u"a\nb"_s});
    QCOMPARE(s.edtNum->text(), u"00007"_s);
    QCOMPARE(s.edtDesc->text(), u"ATA"_s);
    QCOMPARE(s.edtDta->text(), u"01/02/03"_s);
    QCOMPARE(s.mmEmenta->toPlainText(), u"a\nb"_s);

    // Fewer texts than controls: the rest keep their text.
    lib::ShowValues({s.edtNum, s.edtDesc}, {u"00008"_s});
    QCOMPARE(s.edtNum->text(), u"00008"_s);
    QCOMPARE(s.edtDesc->text(), u"ATA"_s);

    // A NULL date column reads as empty text: the masked field shows its bare mask.
    lib::ShowValues({s.edtDta}, {QString()});
    QCOMPARE(s.edtDta->text(), u"  /  /  "_s);
}

void TestLib::showValuesRefusesMoreTextsThanControls()
{
    Screens s;
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                             lib::ShowValues({s.edtNum}, {u"1"_s, u"2"_s}));
}

void TestLib::lookupValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("found") << u"00002"_s << u"OFICIO"_s;
    QTest::newRow("not found") << u"00009"_s << QString();
    QTest::newRow("empty value") << QString() << QString();
    QTest::newRow("typed quote") << u"0\"01"_s << u"ASPAS"_s;
    QTest::newRow("quote cannot widen the condition") << u"x\" or cod<>\""_s << QString();
}

void TestLib::lookupValue()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    TestArchive archive;
    archive.addTypes({{u"00001"_s, u"ATA"_s}, {u"00002"_s, u"OFICIO"_s}, {u"0\"01"_s, u"ASPAS"_s}});
    QCOMPARE(lib::LookupValue(archive.connection, value, u"cod"_s, u"descricao"_s, u"tipo_arq"_s),
             expected);
}

void TestLib::lookupValueStatementText()
{
    TestArchive archive;
    archive.addTypes({{u"00003"_s, u"ATA"_s}});
    QSignalSpy executed(&archive.connection, &db::Connection::statementExecuted);
    QCOMPARE(lib::LookupValue(archive.connection, u"00003"_s, u"cod"_s, u"descricao"_s, u"tipo_arq"_s),
             u"ATA"_s);
    QCOMPARE(executed.size(), 1);
    const QStringList lines = executed.first().first().toString().split(
        QRegularExpression(u"\r?\n"_s), Qt::SkipEmptyParts);
    QCOMPARE(lines, (QStringList{u"select cod,descricao"_s, u"From tipo_arq"_s,
                                 u"Where cod=\"00003\""_s}));
    // A missing table is an error for the caller, not an empty result.
    QVERIFY_THROWS_EXCEPTION(db::DbError, lib::LookupValue(archive.connection, u"1"_s, u"cod"_s,
                                                           u"descricao"_s, u"tabela_nenhuma"_s));
}

void TestLib::quotesRoundTripThroughTheArchive_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("inner quotes") << u"OFÍCIO \"URGENTE\""_s;
    QTest::newRow("lone quote") << u"\""_s;
    QTest::newRow("doubled quote") << u"\"\""_s;
    QTest::newRow("ends in a quote") << u"ATA\""_s;
    QTest::newRow("statement inside") << u"x\" Where 1=1 or cod=\""_s;
    QTest::newRow("second statement") << u"x\"); Delete From tipo_arq; --"_s;
}

void TestLib::quotesRoundTripThroughTheArchive()
{
    QFETCH(QString, text);
    TestArchive archive;
    archive.addTypes({{u"00001"_s, u"OUTRO"_s}});
    archive.addTypes({{u"00002"_s, text}});
    QCOMPARE(lib::LookupValue(archive.connection, u"00002"_s, u"cod"_s, u"descricao"_s, u"tipo_arq"_s),
             text);

    // The same text typed on a screen and saved through BuildSql.
    TScreen screen;
    auto *edtDesc = new TLabeledEdit(u"EdtDesc"_s, u"Descricao"_s, &screen);
    edtDesc->setText(text + u"!"_s);
    const BindingTable bindings{{u"EdtDesc"_s, u"descricao"_s, {}}};
    archive.run(lib::BuildSql(bindings, &screen, u"tipo_arq"_s) + u" Where cod="_s + lib::quoted(u"00002"_s));
    QCOMPARE(archive.rows(u"select cod,descricao from tipo_arq order by cod"_s),
             (QStringList{u"00001|OUTRO"_s, u"00002|"_s + text + u"!"_s}));
    QCOMPARE(lib::LookupValue(archive.connection, text + u"!"_s, u"descricao"_s, u"cod"_s, u"tipo_arq"_s),
             u"00002"_s);
}

QTEST_MAIN(TestLib)
#include "tst_lib.moc"
