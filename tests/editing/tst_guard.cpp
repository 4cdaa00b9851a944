// The guard, the error hook and the prompt interface.
#include "editing/Guard.h"
#include "editing/Prompt.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// Answers the message box that the code under test is about to show, then checks it closed.
class BoxAnswerer : public QObject {
public:
    QString title;
    QStringList buttons;
    QString text;
    bool seen = false;

    explicit BoxAnswerer(QString clickText) : m_clickText(std::move(clickText))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { answer(); });
        m_timer.start();
        // Never let a box the test did not expect keep the test waiting.
        QTimer::singleShot(10000, this, [] {
            if (auto *box = QApplication::activeModalWidget())
                box->close();
        });
    }

private:
    void answer()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        m_timer.stop();
        seen = true;
        title = box->windowTitle();
        text = box->text();
        for (QAbstractButton *button : box->buttons()) {
            buttons << button->text();
            if (button->text() == m_clickText)
                button->click();
        }
    }

    QString m_clickText;
    QTimer m_timer;
};

} // namespace

class TestGuard : public QObject {
    Q_OBJECT
private slots:
    void handlerErrorEndsHandlerAndReachesHook();
    void defaultHookWritesOneLinePerError();
    void guardPassesSignalArguments();
    void guardWithMemberFunction();
    void runGuardedSurvivesAThrowingHook();
    void scopedHookRestoresThePrevious();

    void scriptedPromptRecordsAndAnswers();
    void scopedPromptRestoresThePrevious();
    void messageBoxQuestion_data();
    void messageBoxQuestion();
};

void TestGuard::handlerErrorEndsHandlerAndReachesHook()
{
    QStringList reached;
    editing::ScopedErrorHook hook([&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception &e) {
            reached << QString::fromUtf8(e.what());
        }
    });
    QPushButton button;
    QStringList steps;
    editing::guard(&button, &QPushButton::clicked, &button, [&] {
        steps << u"antes"_s;
        throw std::runtime_error("falhou");
        steps << u"depois"_s; // never runs
    });
    button.click();
    button.click();
    QCOMPARE(steps, (QStringList{u"antes"_s, u"antes"_s}));
    QCOMPARE(reached, (QStringList{u"falhou"_s, u"falhou"_s}));
}

void TestGuard::defaultHookWritesOneLinePerError()
{
    QPushButton button;
    editing::guard(&button, &QPushButton::clicked, &button, [] { throw std::runtime_error("sem tabela"); });
    QTest::ignoreMessage(QtWarningMsg, "sem tabela");
    button.click(); // no box, no crash: one line on the standard error stream
    QTest::ignoreMessage(QtWarningMsg, "unknown error");
    editing::runGuarded([] { throw 42; });
}

void TestGuard::guardPassesSignalArguments()
{
    QLineEdit edit;
    QStringList texts;
    int bare = 0;
    editing::guard(&edit, &QLineEdit::textChanged, &edit, [&](const QString &text) { texts << text; });
    editing::guard(&edit, &QLineEdit::textChanged, &edit, [&] { ++bare; });
    edit.setText(u"OF"_s);
    QCOMPARE(texts, QStringList{u"OF"_s});
    QCOMPARE(bare, 1);
}

namespace {
struct Receiver : QObject {
    bool lastChecked = false;
    int calls = 0;
    void onToggled(bool checked)
    {
        lastChecked = checked;
        ++calls;
    }
};
} // namespace

void TestGuard::guardWithMemberFunction()
{
    QPushButton button;
    button.setCheckable(true);
    Receiver receiver;
    editing::guard(&button, &QPushButton::toggled, &receiver, &Receiver::onToggled);
    button.click();
    QCOMPARE(receiver.calls, 1);
    QVERIFY(receiver.lastChecked);
}

void TestGuard::runGuardedSurvivesAThrowingHook()
{
    editing::ScopedErrorHook hook([](std::exception_ptr) { throw std::runtime_error("hook"); });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"error hook failed on: \"?handler"_s));
    editing::runGuarded([] { throw std::runtime_error("handler"); });
}

void TestGuard::scopedHookRestoresThePrevious()
{
    int outer = 0;
    int inner = 0;
    editing::ScopedErrorHook first([&](std::exception_ptr) { ++outer; });
    {
        editing::ScopedErrorHook second([&](std::exception_ptr) { ++inner; });
        editing::runGuarded([] { throw std::runtime_error("x"); });
    }
    editing::runGuarded([] { throw std::runtime_error("y"); });
    QCOMPARE(inner, 1);
    QCOMPARE(outer, 1);
}

void TestGuard::scriptedPromptRecordsAndAnswers()
{
    editing::ScopedPrompt<editing::ScriptedPrompt> ui;
    ui->answerQuestion(false);
    ui->answerQuestion(true);
    ui->answerFile(u"/tmp/a.jpg"_s);
    ui->answerFile(std::nullopt);

    editing::Prompt &p = editing::prompt();
    p.message(u"Processo não cadastrado."_s);
    QCOMPARE(p.question(u"Confirm"_s, u"Deseja Incluir o  ?"_s), false);
    QCOMPARE(p.question(u"Error"_s, u"ATENÇÃO!!!"_s), true);
    p.beep();
    QCOMPARE(p.openFileName(u"Abrir"_s, u"JPEG (*.jpg)"_s), std::optional<QString>(u"/tmp/a.jpg"_s));
    QCOMPARE(p.openFileName(u"Abrir"_s, u"JPEG (*.jpg)"_s), std::optional<QString>());
    QVERIFY(ui->allAnswersUsed());

    using Kind = editing::ScriptedPrompt::Kind;
    QCOMPARE(ui->calls().size(), 6);
    QCOMPARE(ui->calls().at(0).kind, Kind::Message);
    QCOMPARE(ui->calls().at(0).text, u"Processo não cadastrado."_s);
    const auto questions = ui->callsOf(Kind::Question);
    QCOMPARE(questions.size(), 2);
    QCOMPARE(questions.at(0).title, u"Confirm"_s);
    QCOMPARE(questions.at(0).text, u"Deseja Incluir o  ?"_s);
    QCOMPARE(questions.at(1).title, u"Error"_s);
    QCOMPARE(ui->callsOf(Kind::Beep).size(), 1);
    QCOMPARE(ui->callsOf(Kind::OpenFile).at(0).filter, u"JPEG (*.jpg)"_s);
}

void TestGuard::scopedPromptRestoresThePrevious()
{
    editing::ScopedPrompt<editing::ScriptedPrompt> outer;
    {
        editing::ScopedPrompt<editing::ScriptedPrompt> inner;
        editing::prompt().message(u"dentro"_s);
        QCOMPARE(inner->calls().size(), 1);
    }
    editing::prompt().message(u"fora"_s);
    QCOMPARE(outer->calls().size(), 1);
    QCOMPARE(outer->calls().first().text, u"fora"_s);
}

void TestGuard::messageBoxQuestion_data()
{
    QTest::addColumn<QString>("click");
    QTest::addColumn<bool>("expected");
    QTest::newRow("Yes") << u"&Yes"_s << true;
    QTest::newRow("No") << u"&No"_s << false;
}

void TestGuard::messageBoxQuestion()
{
    QFETCH(QString, click);
    QFETCH(bool, expected);
    editing::MessageBoxPrompt boxes;
    BoxAnswerer answerer(click);
    QCOMPARE(boxes.question(u"Confirm"_s, u"Deseja Excluir o  ?"_s), expected);
    QVERIFY(answerer.seen);
    QCOMPARE(answerer.title, u"Confirm"_s);
    QCOMPARE(answerer.text, u"Deseja Excluir o  ?"_s);
    QCOMPARE(answerer.buttons.size(), 2);
    QVERIFY(answerer.buttons.contains(u"&Yes"_s));
    QVERIFY(answerer.buttons.contains(u"&No"_s));
}

QTEST_MAIN(TestGuard)
#include "tst_guard.moc"
