// The page area of the document screen inside the main window: list, preview, adding
// from a file, removal, the page-limit warning, and pages of deleted documents.
#include "DocumentWindow.h"

#include "editing/StatusBar.h"

#include <QBuffer>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using Kind = editing::ScriptedPrompt::Kind;
using Content = documents::ImagePreview::Content;

namespace {

QString pageName(int page, const QString &document = u"00003"_s)
{
    return u"00007"_s + document + QString::number(page).rightJustified(3, u'0') + u".jpg"_s;
}

const QString kLimitWarning = u"Número de laudas informado excedido"_s;

} // namespace

class TestDocumentPages : public QObject {
    Q_OBJECT

    std::unique_ptr<DocumentWindow> fx;
    TFrameDocumento *screen = nullptr;
    QTemporaryDir sources; // files the user picks in the open dialog

    /// Process 00007 with its document 00003 (page count `laudas`) and `pages` page files.
    void start(int pages, const QString &laudas = u"0"_s, const QStringList &extraSeed = {})
    {
        fx = std::make_unique<DocumentWindow>(
            QStringList{processRow(u"00007"_s), documentRow(u"00007"_s, u"00003"_s, laudas)} + extraSeed);
        screen = fx->screen;
        for (int page = 1; page <= pages; ++page)
            fx->writeFile(fx->pagePath(pageName(page)), jpegBytes(page));
        fx->openProcess(u"00007"_s);
    }
    QString sourceFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = sources.filePath(name);
        fx->writeFile(path, bytes);
        return path;
    }
    void edit() { DocumentWindow::click(fx->panelButton("BtnAlt")); }
    void addFile(const QString &path)
    {
        fx->ui->answerFiles({path});
        DocumentWindow::click(screen->BtnAddArq);
    }
    // Steps from the first document until `code` is shown.
    void showDocument(const QString &code)
    {
        DocumentWindow::click(fx->panelButton("BtnAnt"));
        for (int steps = 0; steps < 10 && screen->EdtCod->text() != code; ++steps)
            DocumentWindow::click(fx->panelButton("BtnProx"));
        QCOMPARE(screen->EdtCod->text(), code);
    }
    QStringList names(int first, int last) const
    {
        QStringList result;
        for (int page = first; page <= last; ++page)
            result << pageName(page);
        return result;
    }

private slots:
    void cleanup()
    {
        if (fx) {
            const bool allUsed = fx->ui->allAnswersUsed();
            fx.reset(); // even after a failure: the next window must not outlive this prompt
            QVERIFY2(allUsed, "a scripted answer was left over");
        }
    }

    void listsContiguousPages_data()
    {
        QTest::addColumn<QList<int>>("files");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("1, 2 and 4") << QList<int>{1, 2, 4} << QStringList{pageName(1), pageName(2)};
        QTest::newRow("12 pages") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}
                                  << QStringList{u"0000700003001.jpg"_s, u"0000700003002.jpg"_s,
                                                 u"0000700003003.jpg"_s, u"0000700003004.jpg"_s,
                                                 u"0000700003005.jpg"_s, u"0000700003006.jpg"_s,
                                                 u"0000700003007.jpg"_s, u"0000700003008.jpg"_s,
                                                 u"0000700003009.jpg"_s, u"0000700003010.jpg"_s,
                                                 u"0000700003011.jpg"_s, u"0000700003012.jpg"_s};
        QTest::newRow("only page 2") << QList<int>{2} << QStringList();
    }
    void listsContiguousPages()
    {
        QFETCH(QList<int>, files);
        QFETCH(QStringList, listed);
        fx = std::make_unique<DocumentWindow>(
            QStringList{processRow(u"00007"_s), documentRow(u"00007"_s, u"00003"_s),
                        // Same document code in another process: its pages are not these.
                        processRow(u"00070"_s), documentRow(u"00070"_s, u"00003"_s)});
        screen = fx->screen;
        for (int page : files)
            fx->writeFile(fx->pagePath(pageName(page)), jpegBytes(page));
        fx->writeFile(fx->pagePath(u"0007000003001.jpg"_s), jpegBytes(99));
        fx->openProcess(u"00007"_s);

        QCOMPARE(fx->listedPages(), listed);
        if (listed.isEmpty()) {
            QCOMPARE(screen->ImgPrev->content(), Content::Icon);
        } else {
            QCOMPARE(screen->LBoxLaudas->currentRow(), 0);
            QCOMPARE(screen->ImgPrev->content(), Content::JpegPage);
            QCOMPARE(screen->ImgPrev->pagePath(), fx->pagePath(pageName(1)));
        }
    }

    void previewDecodesToCoverTheBox()
    {
        fx = std::make_unique<DocumentWindow>(QStringList{processRow(u"00007"_s), documentRow(u"00007"_s, u"00003"_s)});
        screen = fx->screen;
        // A 300-dpi A4 colour page.
        fx->writeFile(fx->pagePath(pageName(1)), jpegBytes(5, QSize(2480, 3508)));
        fx->openProcess(u"00007"_s);
        const QImage shown = screen->ImgPrev->picture();
        const QSize box = screen->ImgPrev->size();
        QVERIFY(shown.width() >= box.width() && shown.height() >= box.height());
        QVERIFY2(shown.width() < 2480 / 2, "the whole page was decoded for the preview");
        QCOMPARE(screen->ImgPrev->printablePicture().size(), QSize(2480, 3508));
    }

    void damagedPageDoesNotStopTheStep()
    {
        fx = std::make_unique<DocumentWindow>(QStringList{processRow(u"00007"_s), documentRow(u"00007"_s, u"00003"_s)});
        screen = fx->screen;
        fx->writeFile(fx->pagePath(pageName(1)), jpegBytes(1, QSize(64, 64)).left(200));
        fx->writeFile(fx->pagePath(pageName(2)), jpegBytes(2));
        fx->openProcess(u"00007"_s);
        QCOMPARE(fx->listedPages(), names(1, 2));
        QCOMPARE(screen->ImgPrev->content(), Content::Icon);
        QCOMPARE(fx->errors.size(), 1); // reported, quietly

        edit();
        DocumentWindow::click(fx->panelButton("BtnSair")); // shows the row again
        QCOMPARE(fx->errors.size(), 2);
        QVERIFY(!screen->BtnAddArq->isEnabled()); // the cancel ran to its end

        edit();
        QVERIFY(screen->BtnDelArq->isEnabled()); // the damaged page can be removed
        fx->ui->answerQuestion(true);
        DocumentWindow::click(screen->BtnDelArq);
        QCOMPARE(fx->pageFiles(), names(1, 1));
        QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(1))), jpegBytes(2));
        QCOMPARE(screen->ImgPrev->content(), Content::JpegPage);
    }

    void clickingAnEntryPreviewsIt()
    {
        start(3);
        QListWidget *list = screen->LBoxLaudas;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(screen->ImgPrev->pagePath(), fx->pagePath(pageName(3)));
        // The file went away: the icon, and "<< Remover" alone is disabled.
        edit();
        QVERIFY(QFile::remove(fx->pagePath(pageName(2))));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        QCOMPARE(screen->ImgPrev->content(), Content::Icon);
        QVERIFY(!screen->BtnDelArq->isEnabled());
        QVERIFY(screen->BtnAddArq->isEnabled());
        QVERIFY(screen->BtnScan->isEnabled());
    }

    void addingStoresNextPage_data()
    {
        QTest::addColumn<int>("existing");
        QTest::newRow("no page") << 0;
        QTest::newRow("one page") << 1;
        QTest::newRow("three pages") << 3;
    }
    void addingStoresNextPage()
    {
        QFETCH(int, existing);
        start(existing);
        // A leftover file under the next number is replaced.
        fx->writeFile(fx->pagePath(pageName(existing + 2)), jpegBytes(77));
        edit();
        const QByteArray chosen = jpegBytes(42, QSize(60, 80));
        addFile(sourceFile(u"digitalizada.JPG"_s, chosen));

        QCOMPARE(fx->ui->callsOf(Kind::OpenFile).first().filter,
                 u"Imagens JPEG e documentos PDF (*.jpg *.pdf);;Arquivos de Imagem JPEG (*.jpg);;Documentos PDF (*.pdf)"_s);
        QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(existing + 1))), chosen);
        for (int page = 1; page <= existing; ++page)
            QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(page))), jpegBytes(page));
        QCOMPARE(fx->listedPages(), names(1, existing + 2)); // the leftover joins the list
        QCOMPARE(screen->ImgPrev->pagePath(), fx->pagePath(pageName(1))); // back on page 1
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
        QVERIFY(fx->errors.isEmpty());
    }

    // The list stops at 999: a 1000th page would be written where nobody sees it, and
    // every later one over it. The commands stay usable so that the user learns why.
    void thousandthPageIsRefused()
    {
        start(0);
        const QByteArray page = jpegBytes(1);
        for (int number = 1; number <= 999; ++number)
            fx->writeFile(fx->pagePath(pageName(number)), page);
        DocumentWindow::click(fx->panelButton("BtnAnt")); // reload the list
        QCOMPARE(screen->LBoxLaudas->count(), 999);
        const QStringList before = fx->pageFiles();
        edit();
        // Neither dialog opens: no file answer and no scanner are there to be used.
        DocumentWindow::click(screen->BtnAddArq);
        DocumentWindow::click(screen->BtnScan);

        const QString refusal = u"O documento já tem 999 páginas, o máximo que um documento pode ter. "
                                u"A página não foi incluída."_s;
        QCOMPARE(fx->ui->calls().size(), 2);
        for (const auto &call : fx->ui->calls()) {
            QCOMPARE(call.kind, Kind::Message);
            QCOMPARE(call.text, refusal);
        }
        QCOMPARE(fx->pageFiles(), before);
        QVERIFY(!QFile::exists(fx->pagePath(u"00007000031000.jpg"_s)));
        QCOMPARE(screen->LBoxLaudas->count(), 999);
        QVERIFY(screen->BtnAddArq->isEnabled() && screen->BtnScan->isEnabled());
        QVERIFY(fx->errors.isEmpty());
    }

    void nonJpegIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("não sou uma imagem\n");
        QTest::newRow("png") << [] {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QImage image(8, 8, QImage::Format_RGB32);
            image.fill(Qt::red);
            image.save(&buffer, "PNG");
            return png;
        }();
        QTest::newRow("truncated jpeg") << jpegBytes(3, QSize(64, 64)).left(300);
        QTest::newRow("empty") << QByteArray();
    }
    void nonJpegIsRefused()
    {
        QFETCH(QByteArray, bytes);
        start(2);
        edit();
        const QStringList before = fx->pageFiles();
        addFile(sourceFile(u"falsa.jpg"_s, bytes));
        const QList<editing::ScriptedPrompt::Call> messages = fx->ui->callsOf(Kind::Message);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().text.contains(u"não é uma imagem JPEG"_s), qPrintable(messages.first().text));
        QCOMPARE(fx->pageFiles(), before); // nothing copied, no temporary left
        QCOMPARE(fx->listedPages(), names(1, 2));
    }

    void missingFileIsReported()
    {
        start(1);
        edit();
        addFile(sources.filePath(u"sumiu.jpg"_s));
        QCOMPARE(fx->ui->callsOf(Kind::Message).size(), 1);
        QCOMPARE(fx->ui->callsOf(Kind::Message).first().text, u"Arquivo nao encontrado"_s);
        QCOMPARE(fx->listedPages(), names(1, 1));
    }

    void cancellingTheDialogAddsNothing()
    {
        start(1);
        edit();
        fx->ui->answerFiles({}); // the chooser was closed without a file
        DocumentWindow::click(screen->BtnAddArq);
        QCOMPARE(fx->ui->callsOf(Kind::OpenFile).size(), 1);
        QCOMPARE(fx->pageFiles(), names(1, 1));
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
    }

    void pageLimitWarning_data()
    {
        QTest::addColumn<QString>("laudas");
        QTest::addColumn<int>("warnings");
        QTest::newRow("3 with three pages") << u"3"_s << 1;
        QTest::newRow("2 with three pages") << u"2"_s << 1;
        QTest::newRow("4 with three pages") << u"4"_s << 1; // reached by the first addition
        QTest::newRow("0") << u"0"_s << 0;
        QTest::newRow("empty") << u"NULL"_s << 0;
    }
    void pageLimitWarning()
    {
        QFETCH(QString, laudas);
        QFETCH(int, warnings);
        start(3, laudas);
        edit();
        addFile(sourceFile(u"a.jpg"_s, jpegBytes(10)));
        addFile(sourceFile(u"b.jpg"_s, jpegBytes(11)));
        const QList<editing::ScriptedPrompt::Call> messages = fx->ui->callsOf(Kind::Message);
        QCOMPARE(messages.size(), warnings);
        if (warnings) {
            QCOMPARE(messages.first().text, kLimitWarning);
            // Shown before the dialog it precedes.
            const QList<editing::ScriptedPrompt::Call> calls = fx->ui->calls();
            const auto warning = std::find_if(calls.begin(), calls.end(),
                                              [](const auto &call) { return call.kind == Kind::Message; });
            QVERIFY(warning + 1 != calls.end());
            QCOMPARE((warning + 1)->kind, Kind::OpenFile);
        }
        // The warning never stops an addition.
        QCOMPARE(fx->listedPages(), names(1, 5));
        QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(5))), jpegBytes(11));
    }

    void warningComesBackAfterAStep()
    {
        start(3, u"3"_s);
        edit();
        addFile(sourceFile(u"a.jpg"_s, jpegBytes(10)));
        QCOMPARE(fx->ui->calls().first().kind, Kind::Message); // before the dialog
        DocumentWindow::click(fx->panelButton("BtnSair")); // cancel: the flag stays
        edit();
        addFile(sourceFile(u"b.jpg"_s, jpegBytes(11)));
        QCOMPARE(fx->ui->callsOf(Kind::Message).size(), 1);
        DocumentWindow::click(fx->panelButton("BtnSair"));
        DocumentWindow::click(fx->panelButton("BtnProx")); // a step clears it
        edit();
        addFile(sourceFile(u"c.jpg"_s, jpegBytes(12)));
        QCOMPARE(fx->ui->callsOf(Kind::Message).size(), 2);
        QCOMPARE(fx->listedPages(), names(1, 6));
    }

    void ctrlOOnlyWhileTheButtonIsEnabled()
    {
        start(1);
        screen->LBoxLaudas->setFocus();
        QVERIFY(!screen->BtnAddArq->isEnabled());
        QTest::keyClick(screen->LBoxLaudas, Qt::Key_O, Qt::ControlModifier);
        QVERIFY(fx->ui->callsOf(Kind::OpenFile).isEmpty());

        edit();
        QVERIFY(screen->BtnAddArq->isEnabled());
        fx->ui->answerFiles({});
        screen->LBoxLaudas->setFocus();
        QTest::keyClick(screen->LBoxLaudas, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(fx->ui->callsOf(Kind::OpenFile).size(), 1);

        DocumentWindow::click(fx->panelButton("BtnSair"));
        QVERIFY(!screen->ActAbrirArq->isEnabled());
        screen->LBoxLaudas->setFocus();
        QTest::keyClick(screen->LBoxLaudas, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(fx->ui->callsOf(Kind::OpenFile).size(), 1);
    }

    void removingRenumbers_data()
    {
        QTest::addColumn<int>("removed");
        QTest::addColumn<QList<int>>("remaining"); // former numbers of pages 1..4
        QTest::newRow("page 2 of 5") << 2 << QList<int>{1, 3, 4, 5};
        QTest::newRow("page 1 of 5") << 1 << QList<int>{2, 3, 4, 5};
        QTest::newRow("page 5 of 5") << 5 << QList<int>{1, 2, 3, 4};
    }
    void removingRenumbers()
    {
        QFETCH(int, removed);
        QFETCH(QList<int>, remaining);
        start(5);
        edit();
        screen->LBoxLaudas->setCurrentRow(removed - 1);
        fx->ui->answerQuestion(true);
        DocumentWindow::click(screen->BtnDelArq);
        QCOMPARE(fx->ui->callsOf(Kind::Question).first().text, u"Remover Página???"_s);
        QCOMPARE(fx->pageFiles(), names(1, 4));
        for (int page = 1; page <= 4; ++page)
            QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(page))), jpegBytes(remaining[page - 1]));
        QCOMPARE(fx->listedPages(), names(1, 4));
        QCOMPARE(screen->LBoxLaudas->currentRow(), 0);
        QVERIFY(fx->errors.isEmpty());
    }

    void removingNeedsYesAndASelection_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("selected");
        QTest::newRow("answer No") << false << true;
        QTest::newRow("nothing selected") << true << false;
    }
    void removingNeedsYesAndASelection()
    {
        QFETCH(bool, yes);
        QFETCH(bool, selected);
        start(3);
        edit();
        screen->LBoxLaudas->setCurrentRow(selected ? 1 : -1);
        fx->ui->answerQuestion(yes);
        DocumentWindow::click(screen->BtnDelArq);
        QCOMPARE(fx->ui->callsOf(Kind::Question).size(), 1); // asked all the same
        QCOMPARE(fx->pageFiles(), names(1, 3));
        for (int page = 1; page <= 3; ++page)
            QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(page))), jpegBytes(page));
    }

    void deletedDocumentsPagesMoveAside()
    {
        start(2, u"0"_s,
              {documentRow(u"00007"_s, u"00001"_s), documentRow(u"00007"_s, u"00002"_s), processRow(u"00008"_s),
               documentRow(u"00008"_s, u"00003"_s)});
        const QString otherPage = fx->pagePath(u"0000800003001.jpg"_s);
        fx->writeFile(otherPage, jpegBytes(50));
        showDocument(u"00003"_s);
        QCOMPARE(fx->listedPages(), names(1, 2));
        fx->ui->answerQuestion(true);
        DocumentWindow::click(fx->panelButton("BtnDel"));

        QCOMPARE(fx->rows(u"select cod from documento where processo=\"00007\""_s),
                 (QStringList{u"00001"_s, u"00002"_s}));
        const QString aside = fx->pageFolder() + u"excluidas/"_s;
        for (int page = 1; page <= 2; ++page) {
            QVERIFY(!QFile::exists(fx->pagePath(pageName(page))));
            QCOMPARE(DocumentWindow::readFile(aside + pageName(page)), jpegBytes(page)); // every byte kept
        }
        QCOMPARE(DocumentWindow::readFile(otherPage), jpegBytes(50)); // another process's document

        // The next inclusion gets the same codes: it starts with no pages.
        DocumentWindow::click(fx->panelButton("BtnInc"));
        QCOMPARE(screen->EdtCod->text(), u"00003"_s);
        QTest::keyClicks(screen->EdtDesc, u"novo"_s);
        fx->ui->answerQuestion(true);
        DocumentWindow::click(fx->panelButton("BtnInc"));
        showDocument(u"00003"_s);
        QCOMPARE(screen->EdtDesc->text(), u"NOVO"_s);
        QCOMPARE(screen->LBoxLaudas->count(), 0);
        QCOMPARE(screen->ImgPrev->content(), Content::Icon);
        QVERIFY(fx->errors.isEmpty());
    }

    // Pages added to an inclusion that is then cancelled belong to no document: they go
    // aside, and the next inclusion, given the same code, starts with none of them.
    void cancelledInclusionsPagesMoveAside_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("Cancelar") << false;
        QTest::newRow("Esc") << true;
    }
    void cancelledInclusionsPagesMoveAside()
    {
        QFETCH(bool, byEscape);
        start(2);
        DocumentWindow::click(fx->panelButton("BtnInc"));
        QCOMPARE(screen->EdtCod->text(), u"00004"_s);
        addFile(sourceFile(u"a.jpg"_s, jpegBytes(21)));
        addFile(sourceFile(u"b.jpg"_s, jpegBytes(22)));
        QCOMPARE(fx->listedPages(), (QStringList{pageName(1, u"00004"_s), pageName(2, u"00004"_s)}));
        if (byEscape)
            QTest::keyClick(screen->EdtDesc, Qt::Key_Escape);
        else
            DocumentWindow::click(fx->panelButton("BtnSair"));
        QCOMPARE(fx->panelButton("BtnInc")->text(), u"Incluir"_s);

        const QString aside = fx->pageFolder() + u"excluidas/"_s;
        QCOMPARE(fx->pageFiles(), names(1, 2)); // the shown document's, untouched
        QCOMPARE(QDir(aside).entryList(QDir::Files, QDir::Name),
                 (QStringList{pageName(1, u"00004"_s), pageName(2, u"00004"_s)}));
        QCOMPARE(DocumentWindow::readFile(aside + pageName(1, u"00004"_s)), jpegBytes(21));
        QCOMPARE(DocumentWindow::readFile(aside + pageName(2, u"00004"_s)), jpegBytes(22));
        QVERIFY2(screen->StatusBar1->panelText(1).contains(u"2 páginas movidas"_s),
                 qPrintable(screen->StatusBar1->panelText(1)));

        // Included again under the same code: an empty list, and its own page 1.
        DocumentWindow::click(fx->panelButton("BtnInc"));
        QCOMPARE(screen->EdtCod->text(), u"00004"_s);
        QCOMPARE(screen->LBoxLaudas->count(), 0);
        addFile(sourceFile(u"c.jpg"_s, jpegBytes(23)));
        fx->ui->answerQuestion(true);
        DocumentWindow::click(fx->panelButton("BtnInc"));
        showDocument(u"00004"_s);
        QCOMPARE(fx->listedPages(), QStringList{pageName(1, u"00004"_s)});
        QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(1, u"00004"_s))), jpegBytes(23));
        QCOMPARE(QDir(aside).entryList(QDir::Files).size(), 2);
        QVERIFY(fx->errors.isEmpty());
    }

    // Files already named after the code an inclusion gets (a program that stopped
    // half-way, an older version) are moved aside before it starts, and the user is told.
    void inclusionNeverStartsOverOldPages()
    {
        start(1);
        fx->writeFile(fx->pagePath(pageName(1, u"00004"_s)), jpegBytes(31));
        fx->writeFile(fx->pagePath(pageName(3, u"00004"_s)), jpegBytes(33)); // beyond a gap
        DocumentWindow::click(fx->panelButton("BtnInc"));
        QCOMPARE(screen->EdtCod->text(), u"00004"_s);
        QCOMPARE(fx->pageFiles(), names(1, 1));
        const QString aside = fx->pageFolder() + u"excluidas/"_s;
        QCOMPARE(DocumentWindow::readFile(aside + pageName(1, u"00004"_s)), jpegBytes(31));
        QCOMPARE(DocumentWindow::readFile(aside + pageName(3, u"00004"_s)), jpegBytes(33));
        const QString note = screen->StatusBar1->panelText(1);
        QVERIFY2(note.contains(u"00004"_s) && note.contains(u"2 páginas movidas"_s), qPrintable(note));
        addFile(sourceFile(u"novo.jpg"_s, jpegBytes(34)));
        QCOMPARE(fx->listedPages(), QStringList{pageName(1, u"00004"_s)});
        QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(1, u"00004"_s))), jpegBytes(34));
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
    }

    // The old pages cannot move: the inclusion does not start over them.
    void inclusionCalledOffWhenOldPagesCannotMove()
    {
        start(1);
        fx->writeFile(fx->pagePath(pageName(1, u"00004"_s)), jpegBytes(31));
        fx->writeFile(fx->pageFolder() + u"excluidas"_s, "a file where the folder goes");
        DocumentWindow::click(fx->panelButton("BtnInc"));
        QCOMPARE(fx->ui->callsOf(Kind::Message).size(), 1);
        QVERIFY2(fx->ui->callsOf(Kind::Message).first().text.startsWith(u"A inclusão foi cancelada"_s),
                 qPrintable(fx->ui->callsOf(Kind::Message).first().text));
        QCOMPARE(fx->panelButton("BtnInc")->text(), u"Incluir"_s);
        QCOMPARE(fx->panelButton("BtnSair")->text(), u"Sair"_s);
        QVERIFY(!screen->BtnAddArq->isEnabled());
        QCOMPARE(fx->listedPages(), names(1, 1)); // the document shown before
        QCOMPARE(DocumentWindow::readFile(fx->pagePath(pageName(1, u"00004"_s))), jpegBytes(31));
    }

    // "Confirmar" leaves the page commands on for the new document; deleting it must not
    // leave them writing under its codes.
    void deleteRightAfterConfirmingFollowsTheShownDocument()
    {
        start(2);
        DocumentWindow::click(fx->panelButton("BtnInc"));
        addFile(sourceFile(u"a.jpg"_s, jpegBytes(41)));
        fx->ui->answerQuestion(true);
        DocumentWindow::click(fx->panelButton("BtnInc"));
        QCOMPARE(screen->EdtCod->text(), u"00004"_s);
        QVERIFY(screen->BtnAddArq->isEnabled());
        fx->ui->answerQuestion(true);
        DocumentWindow::click(fx->panelButton("BtnDel"));

        QCOMPARE(fx->rows(u"select cod from documento"_s), QStringList{u"00003"_s});
        QCOMPARE(screen->EdtCod->text(), u"00003"_s);
        QCOMPARE(fx->listedPages(), names(1, 2));
        for (QPushButton *command : {screen->BtnScan, screen->BtnAddArq, screen->BtnDelArq})
            QVERIFY2(!command->isEnabled(), qPrintable(command->objectName()));
        QVERIFY(!screen->ActAbrirArq->isEnabled() && !screen->ActScan->isEnabled());
        screen->LBoxLaudas->setFocus();
        QTest::keyClick(screen->LBoxLaudas, Qt::Key_O, Qt::ControlModifier); // no dialog may open
        QCOMPARE(fx->pageFiles(), names(1, 2));
        QCOMPARE(DocumentWindow::readFile(fx->pageFolder() + u"excluidas/"_s + pageName(1, u"00004"_s)), jpegBytes(41));
        QCOMPARE(screen->StatusBar1->panelText(1),
                 u"1 página movida para "_s + QDir::toNativeSeparators(fx->pageFolder() + u"excluidas/"_s));
        QVERIFY(fx->errors.isEmpty());
    }

    // The row and its pages go together or not at all.
    void deletionAndItsPagesSucceedOrFailTogether_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("pages cannot move") << u"move"_s;
        QTest::newRow("row cannot be deleted") << u"delete"_s;
    }
    void deletionAndItsPagesSucceedOrFailTogether()
    {
        QFETCH(QString, failing);
        start(3);
        if (failing == u"move") {
            fx->writeFile(fx->pageFolder() + u"excluidas"_s, "a file where the folder goes");
        } else {
            char *error = nullptr;
            const int rc = sqlite3_exec(fx->window->ConnArq->handle(),
                                        "CREATE TRIGGER recusa BEFORE DELETE ON documento "
                                        "BEGIN SELECT RAISE(ABORT, 'exclusão recusada'); END",
                                        nullptr, nullptr, &error);
            sqlite3_free(error);
            QCOMPARE(rc, SQLITE_OK);
        }
        QMap<QString, QByteArray> before;
        for (const QString &name : fx->pageFiles())
            before.insert(name, DocumentWindow::readFile(fx->pagePath(name)));
        fx->ui->answerQuestion(true);
        DocumentWindow::click(fx->panelButton("BtnDel"));

        QCOMPARE(fx->rows(u"select cod from documento"_s), QStringList{u"00003"_s});
        QCOMPARE(fx->pageFiles(), before.keys());
        for (const QString &name : before.keys())
            QCOMPARE(DocumentWindow::readFile(fx->pagePath(name)), before.value(name));
        if (failing == u"delete")
            QVERIFY(QDir(fx->pageFolder() + u"excluidas"_s).entryList(QDir::Files).isEmpty());
        const auto messages = fx->ui->callsOf(Kind::Message);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().text.startsWith(u"O documento não foi excluído"_s), qPrintable(messages.first().text));
        QCOMPARE(fx->listedPages(), names(1, 3));
    }

    void answeringNoKeepsDocumentAndPages()
    {
        start(2);
        fx->ui->answerQuestion(false);
        DocumentWindow::click(fx->panelButton("BtnDel"));
        QCOMPARE(fx->rows(u"select cod from documento"_s), QStringList{u"00003"_s});
        QCOMPARE(fx->pageFiles(), names(1, 2));
    }
};

QTEST_MAIN(TestDocumentPages)
#include "tst_screen_pages.moc"
