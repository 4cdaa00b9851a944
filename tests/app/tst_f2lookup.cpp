// F2's document type lookup and the main window's error hook.
#include "MainWindowFixture.h"

#include "app/PictureButton.h"
#include "app/UntFrameCartulo.h"
#include "editing/Edits.h"
#include "editing/FramePesquisa.h"
#include "editing/Guard.h"
#include "editing/UntFramePesq.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

struct LookupSeen {
    bool opened = false;
    QString statement;
    QStringList titles;
    QStringList headers;
};

// Answers the lookup dialog once it is up: records what it shows, lets the caller act on
// it (type a filter, ...) and then presses OK or Cancel. A dialog that never comes up
// costs nothing; any other modal window is rejected so no test can hang.
void answerLookup(LookupSeen &seen, bool ok, const std::function<void(TFrmFramePesq *)> &before = {})
{
    QTimer::singleShot(0, qApp, [&seen, ok, before] {
        auto *dialog = qobject_cast<TFrmFramePesq *>(QApplication::activeModalWidget());
        if (!dialog) {
            if (QWidget *other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        seen.opened = true;
        seen.statement = dialog->FPesq->BaseSql;
        seen.titles = dialog->FPesq->ColTitles;
        const QAbstractItemModel *model = dialog->FPesq->GrdFrame->model();
        for (int column = 0; model && column < model->columnCount(); ++column)
            seen.headers << model->headerData(column, Qt::Horizontal).toString();
        if (before)
            before(dialog);
        QTest::mouseClick(ok ? dialog->FPesq->BtnOk : dialog->FPesq->BtnCancel, Qt::LeftButton);
    });
}

// Fails (instead of hanging) when anything modal comes up.
void refuseModal(bool &appeared)
{
    QTimer::singleShot(0, qApp, [&appeared] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            appeared = true;
            modal->close();
        }
    });
}

struct TypeFields {
    TEdit *type;
    TEdit *description;
};

// The document screen's type field and a neighbour, where the document screen will sit.
TypeFields typeFieldsOn(MainWindowFixture &f)
{
    auto *type = new TEdit(u"EdtTpDoc"_s, f->Panel10);
    type->setGeometry(10, 10, 60, 21);
    auto *description = new TEdit(u"EdtDesc"_s, f->Panel10);
    description->setGeometry(10, 40, 200, 21);
    type->show();
    description->show();
    f->FMain->spbDocumentos->click();
    f->FrameDoc1BtnSelClick();
    return {type, description};
}

void addTypes(MainWindowFixture &f)
{
    f->ConnArq->execute(u"insert into tipo_arq (cod,descricao) values (\"00001\",\"ATA\")"_s);
    f->ConnArq->execute(u"insert into tipo_arq (cod,descricao) values (\"00002\",\"OFICIO\")"_s);
    f->ConnArq->execute(u"insert into tipo_arq (cod,descricao) values (\"00003\",\"PORTARIA\")"_s);
}

// Collects the lines the error hook writes (category "cartulo.errors").
class ErrorLines {
public:
    ErrorLines() { s_lines.clear(); m_previous = qInstallMessageHandler(&ErrorLines::handler); }
    ~ErrorLines() { qInstallMessageHandler(m_previous); }
    QStringList lines() const { return s_lines; }

private:
    static void handler(QtMsgType, const QMessageLogContext &context, const QString &message)
    {
        if (context.category && QByteArray(context.category) == "cartulo.errors")
            s_lines << message;
    }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

bool anyMessageBoxVisible()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && qobject_cast<QMessageBox *>(widget))
            return true;
    return false;
}

} // namespace

class TestF2AndErrorHook : public QObject {
    Q_OBJECT

private slots:
    void f2InTheTypeFieldChoosesAType_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("no filter: the list stands on its last row") << u""_s << u"00003"_s;
        QTest::newRow("filter OF") << u"OF"_s << u"00002"_s;
        QTest::newRow("filter A") << u"A"_s << u"00001"_s;
    }

    void f2InTheTypeFieldChoosesAType()
    {
        QFETCH(QString, filter);
        QFETCH(QString, chosen);
        MainWindowFixture f;
        addTypes(f);
        QVERIFY(f.showActive());
        const TypeFields fields = typeFieldsOn(f);
        fields.type->setFocus();
        QSignalSpy changes(fields.type, &QLineEdit::textChanged);
        LookupSeen seen;
        answerLookup(seen, true, [filter](TFrmFramePesq *dialog) {
            if (!filter.isEmpty())
                QTest::keyClicks(dialog->FPesq->EdtValor, filter);
        });
        QTest::keyClick(fields.type, Qt::Key_F2);
        QVERIFY(seen.opened);
        QCOMPARE(seen.statement, u"select cod,descricao from tipo_arq"_s);
        QCOMPARE(seen.titles, (QStringList{u"Código"_s, u"Descrição"_s}));
        QCOMPARE(seen.headers, (QStringList{u"Código"_s, u"Descrição"_s}));
        QCOMPARE(fields.type->text(), chosen);
        QCOMPARE(changes.count(), 1); // the field's own change handling runs
    }

    void f2FromTheSearchScreensTypeFieldToo()
    {
        MainWindowFixture f;
        addTypes(f);
        QVERIFY(f.showActive());
        auto *searchType = new TEdit(u"EdtTpDoc"_s, f->Panel2);
        searchType->setGeometry(60, 120, 60, 21);
        searchType->show();
        f->FMain->spdPesquisa->click();
        searchType->setFocus();
        LookupSeen seen;
        answerLookup(seen, true);
        QTest::keyClick(searchType, Qt::Key_F2);
        QVERIFY(seen.opened);
        QCOMPARE(searchType->text(), u"00003"_s);
    }

    void cancelLeavesTheFieldUnchanged()
    {
        MainWindowFixture f;
        addTypes(f);
        QVERIFY(f.showActive());
        const TypeFields fields = typeFieldsOn(f);
        fields.type->setText(u"00007"_s);
        fields.type->setFocus();
        LookupSeen seen;
        answerLookup(seen, false);
        QTest::keyClick(fields.type, Qt::Key_F2);
        QVERIFY(seen.opened);
        QCOMPARE(fields.type->text(), u"00007"_s);
    }

    void f2ElsewhereDoesNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("description field") << u"EdtDesc"_s;
        QTest::newRow("name differs in case") << u"edtTpDoc"_s;
        QTest::newRow("another type-like name") << u"EdtTpDoc2"_s;
    }

    void f2ElsewhereDoesNothing()
    {
        QFETCH(QString, name);
        MainWindowFixture f;
        addTypes(f);
        QVERIFY(f.showActive());
        const TypeFields fields = typeFieldsOn(f);
        fields.description->setObjectName(name);
        fields.description->setText(u"Obra"_s);
        fields.description->setFocus();
        bool appeared = false;
        refuseModal(appeared);
        QTest::keyClick(fields.description, Qt::Key_F2);
        QVERIFY(!appeared);
        QCOMPARE(fields.description->text(), u"Obra"_s);
        QCOMPARE(fields.type->text(), u""_s);
    }

    void failingLookupLeavesTheFieldAndShowsNothing()
    {
        MainWindowFixture f;
        f->ConnArq->execute(u"drop table tipo_arq"_s);
        QVERIFY(f.showActive());
        const TypeFields fields = typeFieldsOn(f);
        fields.type->setText(u"00002"_s);
        fields.type->setFocus();
        ErrorLines errors;
        bool appeared = false;
        refuseModal(appeared);
        QTest::keyClick(fields.type, Qt::Key_F2);
        QVERIFY(!appeared);
        QCOMPARE(fields.type->text(), u"00002"_s);
        QCOMPARE(errors.lines().size(), 1);
    }

    void throwingHandlerEndsQuietlyAndTheProgramGoesOn()
    {
        MainWindowFixture f;
        QVERIFY(f.showActive());
        auto *button = new QPushButton(u"Falha"_s, f->Panel1);
        button->setGeometry(300, 300, 80, 24);
        button->show();
        int started = 0;
        int finished = 0;
        editing::guard(button, &QPushButton::clicked, f.window.get(), [&] {
            ++started;
            throw std::runtime_error("coluna inexistente: xyz");
            ++finished;
        });
        ErrorLines errors;
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(started, 2);
        QCOMPARE(finished, 0);
        QVERIFY(!anyMessageBoxVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(errors.lines().size(), 2); // one line per error
        QVERIFY(errors.lines().first().contains(u"coluna inexistente: xyz"_s));
        // The window still answers.
        QTest::mouseClick(f->FMain->spbNatureza, Qt::LeftButton);
        QVERIFY(f->Panel4->isVisible());
    }

    void partlyFilledDateKeepsTheFocusWithItsTextSelected()
    {
        MainWindowFixture f;
        QVERIFY(f.showActive());
        auto *date = new TMaskEdit(u"EdtDtaDoc"_s, f->Panel10);
        date->setGeometry(10, 70, 70, 21);
    date->show();
        const TypeFields fields = typeFieldsOn(f);
        date->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), date);
        QTest::keyClick(date, Qt::Key_Home);
        QTest::keyClicks(date, u"150"_s);
        const QString typed = date->text();
        QVERIFY(date->isPartlyFilled());
        ErrorLines errors;
        QTest::keyClick(date, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), date);
        QCOMPARE(date->text(), typed);
        QCOMPARE(date->selectedText(), date->text());
        QVERIFY(!anyMessageBoxVisible());
        QCOMPARE(date->accessibleDescription(), u"Formato Incorreto Favor Verificar"_s);
        QCOMPARE(errors.lines().size(), 1);

        // Clicking into another field is refused the same way (a click as the window
        // system delivers it, through the window).
        QTest::mouseClick(f->windowHandle(), Qt::LeftButton, {},
                          fields.description->mapTo(f.window.get(), QPoint(5, 5)));
        QCOMPARE(QApplication::focusWidget(), date);
        QCOMPARE(date->selectedText(), date->text());

        // Typed in again, the date lets the focus go and the prepared text is gone.
        QTest::keyClick(date, Qt::Key_Home);
        QTest::keyClicks(date, u"150304"_s);
        QCOMPARE(date->text(), u"15/03/04"_s);
        QVERIFY(date->accessibleDescription().isEmpty());
        QTest::keyClick(date, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != date);
    }
};

QTEST_MAIN(TestF2AndErrorHook)
#include "tst_f2lookup.moc"
