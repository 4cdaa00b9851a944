// The advanced search inside the real main window: its place, F2 on its type field, and
// the window's routing of the type field's change and of "Proxima".
#include "app/untCartulo.h"
#include "app/PictureButton.h"
#include "app/UntFrameCartulo.h"
#include "db/Connection.h"
#include "documents/ImagePreview.h"
#include "documents/UntDoc.h"
#include "editing/FramePesquisa.h"
#include "editing/JpegImage.h"
#include "editing/UntFramePesq.h"
#include "search/UntPesquisaAvancada.h"
#include "tests/app/MainWindowFixture.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestSearchInWindow : public QObject {
    Q_OBJECT

    static void addTypes(MainWindowFixture &f)
    {
        f->ConnArq->execute(u"insert into tipo_arq (cod,descricao) values (\"00001\",\"ATA\")"_s);
        f->ConnArq->execute(u"insert into tipo_arq (cod,descricao) values (\"00002\",\"OFICIO\")"_s);
    }

    static int lookupsOf(const QSignalSpy &statements)
    {
        int count = 0;
        for (const QList<QVariant> &call : statements) {
            const QString sql = call.at(0).toString();
            count += sql.contains(u"From tipo_arq"_s) && sql.contains(u"Where cod="_s);
        }
        return count;
    }

private slots:
    void sitsInPanel2()
    {
        MainWindowFixture f;
        QVERIFY(f.showActive());
        TFramePesquisaAvancada *screen = f->FramePesquisaAvancada1;
        QVERIFY(screen);
        QCOMPARE(screen->parentWidget(), f->Panel2);
        QCOMPARE(screen->pos(), QPoint(35, 72));
        QCOMPARE(screen->size(), QSize(695, 475));
        f->FMain->spdPesquisa->click();
        QVERIFY(f->Panel2->isVisible());
        QVERIFY(screen->isVisible());
        QCOMPARE(screen->connection(), f->ConnArq);
        // One print form for every preview of the program.
        QCOMPARE(&screen->printForm(), &f->FrameDocumento1->printForm());
    }

    void f2ChoosesTheTypeOnce()
    {
        MainWindowFixture f;
        addTypes(f);
        QVERIFY(f.showActive());
        f->FMain->spdPesquisa->click();
        TFramePesquisaAvancada *screen = f->FramePesquisaAvancada1;
        screen->EdtTpDoc->setFocus();
        QTRY_VERIFY(screen->EdtTpDoc->hasFocus());
        QSignalSpy statements(f->ConnArq, &db::Connection::statementExecuted);
        bool opened = false;
        QTimer::singleShot(0, qApp, [&opened] {
            auto *dialog = qobject_cast<TFrmFramePesq *>(QApplication::activeModalWidget());
            if (!dialog) {
                if (QWidget *other = QApplication::activeModalWidget())
                    other->close();
                return;
            }
            opened = true;
            QTest::keyClicks(dialog->FPesq->EdtValor, u"OF"_s);
            QTest::mouseClick(dialog->FPesq->BtnOk, Qt::LeftButton);
        });
        QTest::keyClick(screen->EdtTpDoc, Qt::Key_F2);
        QVERIFY(opened);
        QCOMPARE(screen->EdtTpDoc->text(), u"00002"_s);
        QCOMPARE(screen->LblTpDoc->text(), u"OFICIO"_s);
        QCOMPARE(lookupsOf(statements), 1); // routed through the window, run once
    }

    void proximaStepsOnePageThroughTheWindow()
    {
        MainWindowFixture f;
        addTypes(f);
        f->ConnArq->execute(u"insert into processo (cod,descricao,numero,data,num_doc) values (\"00001\",\"P\",\"1\",NULL,0)"_s);
        f->ConnArq->execute(u"insert into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,n_laudas) "
                            u"values (\"00001\",\"00001\",\"00001\",\"ATA\",\"reunião\",NULL,38061,0)"_s);
        QImage page(40, 60, QImage::Format_RGB32);
        page.fill(Qt::white);
        for (const char16_t *number : {u"001", u"002", u"003"})
            editing::jpeg::writeFile(page, QDir(f.programDir()).filePath(u"dados/laudas/0000100001%1.jpg"_s.arg(QStringView(number))));
        QVERIFY(f.showActive());
        f->FMain->spdPesquisa->click();
        TFramePesquisaAvancada *screen = f->FramePesquisaAvancada1;
        QTest::mouseClick(screen->BtnPesquisarAgora, Qt::LeftButton);
        QCOMPARE(search::searchState().page, u"001"_s);
        QTest::mouseClick(screen->BtnProx, Qt::LeftButton);
        QCOMPARE(search::searchState().page, u"002"_s);
        QVERIFY(screen->ImgPrev->pagePath().endsWith(u"0000100001002.jpg"_s));
        QTest::mouseClick(screen->BtnNovaPesquisa, Qt::LeftButton);
    }
};

QTEST_MAIN(TestSearchInWindow)
#include "tst_window_search.moc"
