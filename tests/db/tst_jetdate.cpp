// Day numbers counted from 30 December 1899, read day first, shown as dd/MM/yy.
#include "db/JetDate.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestJetDate : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void notADate_data();
    void notADate();
    void formatting_data();
    void formatting();
};

void TestJetDate::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("dayNumber");
    QTest::addColumn<QString>("shown");
    QTest::newRow("15/03/04") << u"15/03/04"_s << 38061.0 << u"15/03/04"_s;
    QTest::newRow("01/01/00") << u"01/01/00"_s << 36526.0 << u"01/01/00"_s;
    QTest::newRow("two-digit 49 is 2049") << u"31/12/49"_s << 54788.0 << u"31/12/49"_s;
    QTest::newRow("two-digit 50 is 1950") << u"01/01/50"_s << 18264.0 << u"01/01/50"_s;
    QTest::newRow("day zero") << u"30/12/1899"_s << 0.0 << u"30/12/99"_s;
    QTest::newRow("noon") << u"15/03/04 12:00"_s << 38061.5 << u"15/03/04 12:00:00"_s;
    QTest::newRow("seconds") << u"15/03/2004 10:30:15"_s << 38061.0 + (10 * 3600 + 30 * 60 + 15) / 86400.0
                             << u"15/03/04 10:30:15"_s;
    QTest::newRow("leap day") << u"29/02/04"_s << 38046.0 << u"29/02/04"_s;
}

void TestJetDate::roundTrip()
{
    QFETCH(QString, text);
    QFETCH(double, dayNumber);
    QFETCH(QString, shown);
    const auto parsed = db::parseDayFirst(text);
    QVERIFY(parsed.has_value());
    QCOMPARE(db::toDayNumber(*parsed), dayNumber);
    QCOMPARE(db::dayNumberToText(dayNumber), shown);
    QCOMPARE(db::fromDayNumber(dayNumber), *parsed);
}

void TestJetDate::notADate_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("blank mask") << u"  /  /  "_s;
    QTest::newRow("day 32") << u"32/01/04"_s;
    QTest::newRow("month 13") << u"01/13/04"_s;
    QTest::newRow("29 February of a common year") << u"29/02/05"_s;
    QTest::newRow("half filled") << u"15/03/__"_s;
    QTest::newRow("words") << u"ontem"_s;
    QTest::newRow("hour 25") << u"15/03/04 25:00"_s;
}

void TestJetDate::notADate()
{
    QFETCH(QString, text);
    QVERIFY(!db::parseDayFirst(text).has_value());
}

void TestJetDate::formatting_data()
{
    QTest::addColumn<double>("dayNumber");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 38061.0 << u"38061"_s;
    QTest::newRow("half") << 38061.5 << u"38061.5"_s;
    QTest::newRow("ten-thousandths") << 38061.437512 << u"38061.4375"_s;
    QTest::newRow("rounded up to a whole day") << 38061.99996 << u"38062"_s;
}

void TestJetDate::formatting()
{
    QFETCH(double, dayNumber);
    QFETCH(QString, text);
    QCOMPARE(db::formatDayNumber(dayNumber), text);
}

QTEST_GUILESS_MAIN(TestJetDate)
#include "tst_jetdate.moc"
