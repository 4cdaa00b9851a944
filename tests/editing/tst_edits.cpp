// The four edit kinds: the masked date entry, the labelled edit, letter case; status bar panels.
#define QTEST_QPA_MOUSE_HANDLING // presses go through the window, as a real click does
#include "editing/Edits.h"
#include "editing/Guard.h"
#include "editing/StatusBar.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Records what reaches the error hook and then does what the program does by default.
struct HookRecorder {
    QStringList messages;
    QList<QPointer<TMaskEdit>> maskedEntries;
    editing::ScopedErrorHook installed{[this](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const MaskedEntryError &masked) {
            maskedEntries.append(masked.entry());
            messages.append(QString::fromUtf8(masked.what()));
        } catch (const std::exception &other) {
            messages.append(QString::fromUtf8(other.what()));
        }
        editing::quietErrorHandling(error);
    }};
};

// A window with a date entry between two other controls.
struct DateWindow {
    QWidget window;
    TEdit *before = new TEdit(u"EdtAntes"_s, &window);
    TMaskEdit *date = new TMaskEdit(u"EdtDta"_s, &window);
    TEdit *after = new TEdit(u"EdtDepois"_s, &window);
    QPushButton *button = new QPushButton(u"Incluir"_s, &window);

    DateWindow()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(before);
        layout->addWidget(date);
        layout->addWidget(after);
        layout->addWidget(button);
        window.show();
        window.activateWindow();
    }
};

} // namespace

class TestEdits : public QObject {
    Q_OBJECT
private slots:
    void maskedEntryReadsAsTheOldMask();
    void typingFillsDigitPlaces_data();
    void typingFillsDigitPlaces();
    void setTextKeepsTheMaskShape_data();
    void setTextKeepsTheMaskShape();
    void typedChangeReachesTextEdited();
    void leavingPartlyFilledEntryIsRefused_data();
    void leavingPartlyFilledEntryIsRefused();
    void pressElsewhereIsRefusedWhilePartlyFilled();
    void leavingEmptyOrFilledEntryIsAllowed_data();
    void leavingEmptyOrFilledEntryIsAllowed();

    void labelIsBuddyAndNamesTheEdit();
    void labelFollowsTheEdit();
    void labelShowsAndHidesWithTheEdit();
    void labelGoesWithTheEdit();
    void upperCaseEdit();
    void lowerCaseEdit();
    void memoText();

    void statusBarPanels();
};

void TestEdits::maskedEntryReadsAsTheOldMask()
{
    TMaskEdit date;
    QCOMPARE(date.text(), u"  /  /  "_s);
    QCOMPARE(TMaskEdit::emptyText(), u"  /  /  "_s);
    QVERIFY(date.isBlank());
    QVERIFY(!date.isPartlyFilled());
    date.setText(u"15/03/04"_s);
    QCOMPARE(date.text(), u"15/03/04"_s);
    QVERIFY(date.isComplete());
    date.clear();
    QCOMPARE(date.text(), u"  /  /  "_s);
}

void TestEdits::typingFillsDigitPlaces_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("keys"); // '<' backspace, '>' delete, other characters typed
    QTest::addColumn<QString>("expected");
    QTest::newRow("six digits") << QString() << 0 << u"150304"_s << u"15/03/04"_s;
    QTest::newRow("separators typed are skipped") << QString() << 0 << u"15/03/04"_s << u"15/03/04"_s;
    QTest::newRow("letters dropped") << QString() << 0 << u"1a5b0-3"_s << u"15/03/  "_s;
    QTest::newRow("extra digits dropped") << QString() << 0 << u"15030499"_s << u"15/03/04"_s;
    QTest::newRow("overwrite in the middle") << u"15/03/04"_s << 3 << u"11"_s << u"15/11/04"_s;
    QTest::newRow("backspace blanks the digit before") << u"15/03/04"_s << 8 << u"<"_s << u"15/03/0 "_s;
    QTest::newRow("backspace over a separator") << u"15/03/04"_s << 3 << u"<"_s << u"1 /03/04"_s;
    QTest::newRow("delete blanks the digit at the cursor") << u"15/03/04"_s << 0 << u">"_s << u" 5/03/04"_s;
    QTest::newRow("backspace all, retype") << u"15/03/04"_s << 8 << u"<<<<<<01"_s << u"01/  /  "_s;
}

void TestEdits::typingFillsDigitPlaces()
{
    QFETCH(QString, start);
    QFETCH(int, cursor);
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    QWidget window;
    auto *date = new TMaskEdit(u"EdtDta"_s, &window);
    window.show();
    date->setText(start);
    date->setFocus();
    date->deselect();
    date->setCursorPosition(cursor);
    for (const QChar key : keys) {
        if (key == u'<')
            QTest::keyClick(date, Qt::Key_Backspace);
        else if (key == u'>')
            QTest::keyClick(date, Qt::Key_Delete);
        else
            QTest::keyClicks(date, QString(key));
    }
    QCOMPARE(date->text(), expected);
}

void TestEdits::setTextKeepsTheMaskShape_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QString() << u"  /  /  "_s;
    QTest::newRow("date") << u"01/02/03"_s << u"01/02/03"_s;
    QTest::newRow("date with time, as read back") << u"15/03/04 10:30:00"_s << u"15/03/04"_s;
    QTest::newRow("partly filled") << u"15/03/  "_s << u"15/03/  "_s;
    QTest::newRow("digits only") << u"150304"_s << u"15/03/04"_s;
}

void TestEdits::setTextKeepsTheMaskShape()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    TMaskEdit date;
    date.setText(given);
    QCOMPARE(date.text(), expected);
}

void TestEdits::typedChangeReachesTextEdited()
{
    QWidget window;
    auto *date = new TMaskEdit(&window);
    window.show();
    date->setFocus();
    date->setCursorPosition(0);
    QSignalSpy edited(date, &QLineEdit::textEdited);
    QTest::keyClicks(date, u"1"_s);
    QCOMPARE(edited.size(), 1);
    QCOMPARE(edited.first().first().toString(), u"1 /  /  "_s);
}

void TestEdits::leavingPartlyFilledEntryIsRefused_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Tab") << int(Qt::Key_Tab);
    QTest::newRow("Backtab") << int(Qt::Key_Backtab);
}

void TestEdits::leavingPartlyFilledEntryIsRefused()
{
    QFETCH(int, key);
    HookRecorder hook;
    DateWindow w;
    QVERIFY(QTest::qWaitForWindowActive(&w.window));
    w.date->setFocus();
    w.date->setCursorPosition(0);
    QTest::keyClicks(w.date, u"1503"_s);
    QCOMPARE(w.date->text(), u"15/03/  "_s);

    QTest::ignoreMessage(QtWarningMsg, "Formato Incorreto Favor Verificar");
    QTest::keyClick(w.date, Qt::Key(key));
    QVERIFY(w.date->hasFocus());
    QCOMPARE(hook.maskedEntries.size(), 1);
    QCOMPARE(hook.maskedEntries.first(), w.date);
    QCOMPARE(hook.messages, QStringList{u"Formato Incorreto Favor Verificar"_s});
    QCOMPARE(w.date->selectedText(), u"15/03/  "_s); // the hook selected the whole text

    // Retyped whole, the entry lets the focus go.
    QTest::keyClicks(w.date, u"150304"_s);
    QCOMPARE(w.date->text(), u"15/03/04"_s);
    QTest::keyClick(w.date, Qt::Key(key));
    QVERIFY(!w.date->hasFocus());
    QCOMPARE(hook.maskedEntries.size(), 1);
}

void TestEdits::pressElsewhereIsRefusedWhilePartlyFilled()
{
    HookRecorder hook;
    DateWindow w;
    QVERIFY(QTest::qWaitForWindowActive(&w.window));
    QSignalSpy clicked(w.button, &QPushButton::clicked);
    w.date->setFocus();
    w.date->setCursorPosition(0);
    QTest::keyClicks(w.date, u"1"_s);

    QTest::ignoreMessage(QtWarningMsg, "Formato Incorreto Favor Verificar");
    QTest::mouseClick(w.after, Qt::LeftButton);
    QVERIFY(w.date->hasFocus());
    QVERIFY(!w.after->hasFocus());
    QTest::ignoreMessage(QtWarningMsg, "Formato Incorreto Favor Verificar");
    QTest::mouseClick(w.button, Qt::LeftButton);
    QVERIFY(w.date->hasFocus());
    QCOMPARE(clicked.size(), 0);
    QCOMPARE(hook.maskedEntries.size(), 2);

    // A press inside the entry itself is no attempt to leave.
    QTest::mouseClick(w.date, Qt::LeftButton);
    QCOMPARE(hook.maskedEntries.size(), 2);

    w.date->clear();
    QTest::mouseClick(w.after, Qt::LeftButton);
    QVERIFY(w.after->hasFocus());
    QCOMPARE(hook.maskedEntries.size(), 2);
}

void TestEdits::leavingEmptyOrFilledEntryIsAllowed_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("filled") << u"15/03/04"_s;
    QTest::newRow("filled with no date, left for the save to refuse") << u"32/13/04"_s;
}

void TestEdits::leavingEmptyOrFilledEntryIsAllowed()
{
    QFETCH(QString, text);
    HookRecorder hook;
    DateWindow w;
    QVERIFY(QTest::qWaitForWindowActive(&w.window));
    w.date->setFocus();
    w.date->setText(text);
    QTest::keyClick(w.date, Qt::Key_Tab);
    QVERIFY(w.after->hasFocus());
    QVERIFY(hook.maskedEntries.isEmpty());
}

void TestEdits::labelIsBuddyAndNamesTheEdit()
{
    QWidget screen;
    auto *edit = new TLabeledEdit(u"EdtDesc"_s, u"Descrição"_s, &screen);
    QCOMPARE(edit->label()->text(), u"Descrição"_s);
    QCOMPARE(edit->caption(), u"Descrição"_s);
    QCOMPARE(edit->label()->buddy(), edit);
    QCOMPARE(edit->label()->parentWidget(), &screen);
    QCOMPARE(edit->label()->objectName(), u"EdtDescLabel"_s);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(edit);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), u"Descrição"_s);

    edit->setCaption(u"Descricao"_s);
    QCOMPARE(accessible->text(QAccessible::Name), u"Descricao"_s);
}

void TestEdits::labelFollowsTheEdit()
{
    QWidget screen;
    auto *edit = new TLabeledEdit(u"EdtCod"_s, u"Codigo"_s, &screen);
    screen.show(); // a hidden widget's moves arrive when it is shown
    edit->setGeometry(8, 24, 50, 21);
    QLabel *label = edit->label();
    QCOMPARE(label->x(), 8);
    QCOMPARE(label->geometry().bottom() + 1 + 3, 24);

    edit->move(100, 200);
    QCOMPARE(label->x(), 100);
    QCOMPARE(label->geometry().bottom() + 1 + 3, 200);

    edit->setLabelPosition(TLabeledEdit::LabelPosition::Left, 5);
    QCOMPARE(label->geometry().right() + 1 + 5, 100);
    QCOMPARE(label->geometry().bottom(), edit->geometry().bottom()); // aligned to the edit's bottom

    edit->setLabelPosition(TLabeledEdit::LabelPosition::Manual);
    label->move(1, 1);
    edit->move(300, 300);
    QCOMPARE(label->pos(), QPoint(1, 1));
}

void TestEdits::labelShowsAndHidesWithTheEdit()
{
    QWidget screen;
    auto *edit = new TLabeledEdit(u"EdtDesc"_s, u"Descrição"_s, &screen);
    screen.show();
    QVERIFY(edit->label()->isVisible());
    edit->hide();
    QVERIFY(!edit->label()->isVisible());
    edit->show();
    QVERIFY(edit->label()->isVisible());
    // Disabling the edit leaves its caption readable.
    edit->setEnabled(false);
    QVERIFY(edit->label()->isEnabled());
}

void TestEdits::labelGoesWithTheEdit()
{
    QWidget screen;
    auto *edit = new TLabeledEdit(u"EdtDesc"_s, u"Descrição"_s, &screen);
    QPointer<QLabel> label = edit->label();
    delete edit;
    QVERIFY(label.isNull());

    // Created without a parent, the label follows the edit into its parent.
    auto *later = new TLabeledEdit;
    later->setCaption(u"Valor"_s);
    later->setParent(&screen);
    QCOMPARE(later->label()->parentWidget(), &screen);
    screen.show();
    QVERIFY(later->label()->isVisible());
}

void TestEdits::upperCaseEdit()
{
    QWidget window;
    auto *edit = new TLabeledEdit(u"EdtDesc"_s, u"Descricao"_s, &window);
    edit->setCharCase(CharCase::Upper);
    window.show();
    edit->setFocus();
    QTest::keyClicks(edit, u"ata"_s);
    QCOMPARE(edit->text(), u"ATA"_s);
    edit->setText(u"licitação"_s);
    QCOMPARE(edit->text(), u"LICITAÇÃO"_s);

    auto *plain = new TEdit(u"EdtNome"_s, &window);
    plain->setText(u"órgão"_s);
    plain->setCharCase(CharCase::Upper); // the text already there follows
    QCOMPARE(plain->text(), u"ÓRGÃO"_s);
    plain->setCharCase(CharCase::Normal);
    plain->setText(u"Misto"_s);
    QCOMPARE(plain->text(), u"Misto"_s);
}

void TestEdits::lowerCaseEdit()
{
    TEdit mail(u"EdtMail"_s, nullptr);
    mail.setCharCase(CharCase::Lower);
    mail.setText(u"Contato@Orgao.GOV.br"_s);
    QCOMPARE(mail.text(), u"contato@orgao.gov.br"_s);
}

void TestEdits::memoText()
{
    TMemo memo(u"MMEmenta"_s, nullptr);
    memo.setText(u"linha 1\nlinha 2"_s);
    QCOMPARE(memo.text(), u"linha 1\nlinha 2"_s);
    QCOMPARE(memo.document()->blockCount(), 2);
}

void TestEdits::statusBarPanels()
{
    TStatusBar bar(nullptr, 3, 200);
    QCOMPARE(bar.panelCount(), 3);
    QCOMPARE(bar.panel(0)->width(), 200);
    setFirstPanelText(&bar, u"Excluir "_s);
    QCOMPARE(bar.panelText(0), u"Excluir "_s);
    QCOMPARE(firstPanelText(&bar), u"Excluir "_s);
    QCOMPARE(bar.panelText(1), QString());

    QStatusBar plain;
    setFirstPanelText(&plain, u"Incluir "_s);
    QCOMPARE(firstPanelText(&plain), u"Incluir "_s);
}

QTEST_MAIN(TestEdits)
#include "tst_edits.moc"
