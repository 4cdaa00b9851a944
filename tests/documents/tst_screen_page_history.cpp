// The history of the pages on a file archive, as the document screen's "Histórico" shows
// it: every page the screen adds, moves, turns or removes, and the pages of a deleted
// document moved aside, each named with its operating-system user.
#include "DocumentWindow.h"

#include "db/History.h"
#include "editing/HistoryDialog.h"

#include <QStandardItemModel>

using namespace Qt::StringLiterals;
using editing::HistoryDialog;

namespace {

enum class Action { AddFile, MoveUp, TurnRight, Remove };

QString pageName(int page)
{
    return u"0000700003"_s + QString::number(page).rightJustified(3, u'0') + u".jpg"_s;
}

struct Shown {
    QString who;
    QString line; // operation and key
    QString changes;
};

// The page rows of the dialog "Histórico" opens, newest first; the dialog closed after.
QList<Shown> pageHistoryShown(QPushButton *button, QWidget *screen)
{
    QList<Shown> rows;
    DocumentWindow::click(button);
    auto *dialog = screen->findChild<HistoryDialog *>();
    if (!dialog || !dialog->isVisible())
        return rows;
    const QStandardItemModel &model = *dialog->model();
    for (int r = 0; r < model.rowCount(); ++r) {
        const QString key = model.item(r, HistoryDialog::Key)->text();
        if (key.size() == 13) // a page: the document's key and its number
            rows << Shown{model.item(r, HistoryDialog::Who)->text(),
                          model.item(r, HistoryDialog::Operation)->text() + u' ' + key,
                          model.item(r, HistoryDialog::Changes)->text()};
    }
    delete dialog;
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(Action)

class TestScreenPageHistory : public QObject {
    Q_OBJECT

    std::unique_ptr<DocumentWindow> fx;
    QTemporaryDir sources;

    // Process 00007, its document 00003 with two pages (pictures 1 and 2), shown.
    void start()
    {
        fx = std::make_unique<DocumentWindow>(QStringList{processRow(u"00007"_s), documentRow(u"00007"_s, u"00003"_s, u"2"_s)});
        for (int page = 1; page <= 2; ++page)
            fx->writeFile(fx->pagePath(pageName(page)), jpegBytes(page));
        fx->openProcess(u"00007"_s);
        QCOMPARE(fx->listedPages(), (QStringList{pageName(1), pageName(2)}));
    }

    void act(Action action)
    {
        TFrameDocumento *screen = fx->screen;
        switch (action) {
        case Action::AddFile: {
            const QString path = sources.filePath(u"nova.jpg"_s);
            fx->writeFile(path, jpegBytes(3));
            fx->ui->answerFiles({path});
            DocumentWindow::click(screen->BtnAddArq);
            break;
        }
        case Action::MoveUp:
            screen->LBoxLaudas->setCurrentRow(1);
            DocumentWindow::click(screen->findChild<QAbstractButton *>(u"BtnSubirLauda"_s));
            break;
        case Action::TurnRight:
            screen->LBoxLaudas->setCurrentRow(0);
            DocumentWindow::click(screen->findChild<QAbstractButton *>(u"BtnGirarDireita"_s));
            break;
        case Action::Remove:
            screen->LBoxLaudas->setCurrentRow(0);
            fx->ui->answerQuestion(true);
            DocumentWindow::click(screen->BtnDelArq);
            break;
        }
    }

private slots:
    void cleanup()
    {
        if (fx) {
            const bool allUsed = fx->ui->allAnswersUsed();
            fx.reset();
            QVERIFY2(allUsed, "a scripted answer was left over");
        }
    }

    void pageChangesShownNewestFirst_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QStringList>("lines");   // the page rows the change adds, newest first
        QTest::addColumn<QString>("firstChanges"); // what the newest says changed ("": its picture's print)
        QTest::addColumn<QList<int>>("pictures");  // of pages 1.. afterwards
        QTest::newRow("added from a file") << Action::AddFile << QStringList{u"página incluída 0000700003003"_s}
                                           << QString() << QList<int>{1, 2, 3};
        QTest::newRow("moved up") << Action::MoveUp
                                  << QStringList{u"imagem da página alterada 0000700003002"_s,
                                                 u"imagem da página alterada 0000700003001"_s}
                                  << QString() << QList<int>{2, 1};
        QTest::newRow("turned") << Action::TurnRight << QStringList{u"imagem da página alterada 0000700003001"_s}
                                << QString() << QList<int>{0, 2};
        QTest::newRow("removed") << Action::Remove
                                 << QStringList{u"página renumerada 0000700003001"_s, u"página removida 0000700003001"_s}
                                 << u"numero: 2 → 1"_s << QList<int>{2};
    }
    void pageChangesShownNewestFirst()
    {
        QFETCH(Action, action);
        QFETCH(QStringList, lines);
        QFETCH(QString, firstChanges);
        QFETCH(QList<int>, pictures);
        start();
        QPushButton *history = fx->screen->BtnHistorico;
        const qsizetype earlier = pageHistoryShown(history, fx->screen).size();
        DocumentWindow::click(fx->panelButton("BtnAlt"));
        act(action);
        DocumentWindow::click(fx->panelButton("BtnAlt")); // "Gravar"
        QCOMPARE(fx->panelButton("BtnAlt")->text(), u"Editar"_s);
        for (int page = 1; page <= pictures.size(); ++page) {
            const QByteArray bytes = DocumentWindow::readFile(fx->pagePath(pageName(page)));
            QVERIFY(!bytes.isEmpty());
            if (pictures[page - 1]) // 0: turned, no longer the picture written
                QCOMPARE(bytes, jpegBytes(pictures[page - 1]));
        }

        const QList<Shown> rows = pageHistoryShown(history, fx->screen);
        QCOMPARE(rows.size(), earlier + lines.size());
        QStringList newest;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            newest << rows[i].line;
            QCOMPARE(rows[i].who, db::history::osUser());
        }
        QCOMPARE(newest, lines);
        if (firstChanges.isEmpty())
            QVERIFY2(rows[0].changes.contains(u"sha256: "_s), qPrintable(rows[0].changes));
        else
            QCOMPARE(rows[0].changes, firstChanges);
        QVERIFY(fx->errors.isEmpty());
    }

    // Deleting the document moves its pages aside: the history keeps where each went.
    void deletedDocumentsPagesRecorded()
    {
        start();
        fx->ui->answerQuestion(true);
        DocumentWindow::click(fx->panelButton("BtnDel"));
        QVERIFY(fx->rows(u"select cod from documento"_s).isEmpty());
        QCOMPARE(fx->rows(u"select operacao, tabela, chave, quem from historico where chave like '0000700003___' "
                          u"and operacao like 'página posta%' order by chave"_s),
                 (QStringList{u"página posta de lado|lauda_excluida|0000700003001|"_s + db::history::osUser(),
                              u"página posta de lado|lauda_excluida|0000700003002|"_s + db::history::osUser()}));
        QVERIFY(fx->errors.isEmpty());
    }
};

QTEST_MAIN(TestScreenPageHistory)
#include "tst_screen_page_history.moc"
