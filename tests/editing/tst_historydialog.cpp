// The "Histórico" list: a long history opens with its rows fitted to their text as they
// come into view, and fitted anew when the window's width wraps them otherwise.
#include "editing/HistoryDialog.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

using namespace Qt::StringLiterals;
using editing::HistoryDialog;

namespace {

constexpr int kEntries = 1000;
constexpr int kLongRow = 2;

// Odd rows change three fields (three lines), even rows one; one row a long text.
std::vector<db::history::Entry> entries()
{
    std::vector<db::history::Entry> list;
    for (int i = 0; i < kEntries; ++i) {
        db::history::Entry entry{u"2026-01-02 10:00:00"_s, u"ana"_s, u"estacao1"_s, u"alteração"_s,
                                 u"documento"_s, u"0000100001"_s, {}, {}};
        if (i == kLongRow) {
            entry.antes = u"{\"ementa\":\"%1\"}"_s.arg(QString(u"pedido de vista "_s).repeated(25));
            entry.depois = u"{\"ementa\":\"%1\"}"_s.arg(QString(u"parecer favorável "_s).repeated(25));
        } else if (i % 2 == 1) {
            entry.antes = u"{\"pasta\":\"A\",\"gaveta\":\"G1\",\"localidade\":\"Sala 1\"}"_s;
            entry.depois = u"{\"pasta\":\"B\",\"gaveta\":\"G2\",\"localidade\":\"Sala 2\"}"_s;
        } else {
            entry.antes = u"{\"pasta\":\"A\"}"_s;
            entry.depois = u"{\"pasta\":\"B\"}"_s;
        }
        list.push_back(entry);
    }
    return list;
}

struct ShownDialog {
    HistoryDialog dialog{u"Histórico do documento 00001 do processo 00001"_s, entries()};
    QTableView *table = nullptr;

    ShownDialog()
    {
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog))
            qFatal("the dialog was not shown");
        table = dialog.findChild<QTableView *>(u"TblHistorico"_s);
    }
    int lineSpacing() const { return table->fontMetrics().lineSpacing(); }
};

} // namespace

class TestHistoryDialog : public QObject {
    Q_OBJECT
private slots:
    void rowsInViewFitTheirText_data();
    void rowsInViewFitTheirText();
    void anotherWidthWrapsAnew();
};

void TestHistoryDialog::rowsInViewFitTheirText_data()
{
    QTest::addColumn<int>("topRow"); // -1: as opened; kEntries: scrolled to the end
    QTest::newRow("as opened") << -1;
    QTest::newRow("scrolled to a row") << 600;
    QTest::newRow("scrolled to the end") << kEntries;
}

// Every row in view is as high as its lines of changes, no matter how it came into view.
void TestHistoryDialog::rowsInViewFitTheirText()
{
    QFETCH(int, topRow);
    ShownDialog shown;
    if (topRow == kEntries)
        shown.table->scrollToBottom();
    else if (topRow >= 0)
        shown.table->scrollTo(shown.dialog.model()->index(topRow, 0), QAbstractItemView::PositionAtTop);
    QCoreApplication::processEvents();
    const int first = shown.table->rowAt(0);
    QVERIFY(first >= std::max(topRow == kEntries ? kEntries - 20 : topRow, 0));
    int inView = 0;
    for (int row = first; row < kEntries && shown.table->rowViewportPosition(row) < shown.table->viewport()->height();
         ++row, ++inView) {
        if (row == kLongRow)
            continue;
        const int lines = int(shown.dialog.model()->item(row, HistoryDialog::Changes)->text().count(u'\n')) + 1;
        const int height = shown.table->rowHeight(row);
        QVERIFY2(height >= lines * shown.lineSpacing() && height < (lines + 2) * shown.lineSpacing(),
                 qPrintable(u"row %1: %2 lines, %3 pixels"_s.arg(row).arg(lines).arg(height)));
    }
    QVERIFY(inView >= 4);
}

void TestHistoryDialog::anotherWidthWrapsAnew()
{
    ShownDialog shown;
    const int narrow = shown.table->rowHeight(kLongRow);
    QVERIFY(narrow >= 3 * shown.lineSpacing()); // wraps at the window's first width
    shown.dialog.resize(1600, shown.dialog.height());
    QTRY_VERIFY(shown.table->rowHeight(kLongRow) < narrow);
}

QTEST_MAIN(TestHistoryDialog)
#include "tst_historydialog.moc"
