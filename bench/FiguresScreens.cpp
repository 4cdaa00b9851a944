// The figures of the screens: one real main window over the archive, driven headless as a
// user's steps would run (clicks on its buttons, keys in its fields, F2), timed from the
// user's action until the events it caused, painting included, have been handled.

#include "bench/Figures.h"

#include "app/untCartulo.h"
#include "app/PictureButton.h"
#include "app/UntFrameCartulo.h"
#include "db/Connection.h"
#include "db/Dialect.h"
#include "db/PageTextSearchSchema.h"
#include "db/pg/PgConnection.h"
#include "pages/PageStore.h"
#include "db/Query.h"
#include "documents/ImagePreview.h"
#include "documents/UntDoc.h"
#include "editing/FramePesquisa.h"
#include "editing/Guard.h"
#include "editing/JpegImage.h"
#include "editing/Prompt.h"
#include "editing/UntFramePesq.h"
#include "editing/painel.h"
#include "registers/UntFrameDoc.h"
#include "search/UntPesquisaAvancada.h"
#include "search/SearchStatement.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QPushButton>
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

/// Lets the events that a step caused run: the screen's queued work and its repaint.
void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

/// Types a text key by key. QTest::keyClicks knows ASCII only; "ç" and "ã" are sent as the
/// keyboard sends them: a key event carrying the character.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

template <typename T>
T *required(T *object, const QString &what)
{
    if (!object)
        throw BenchError(what + u" is not in the main window"_s);
    return object;
}

/// "12.3x faster" or "2.0x slower": the baseline's median over the figure's.
QString speedup(double ratio)
{
    return ratio >= 1 ? QString::number(ratio, 'f', 1) + u"x faster"_s : QString::number(1 / ratio, 'f', 1) + u"x slower"_s;
}

void click(QAbstractButton *button)
{
    if (!button->isVisible() || !button->isEnabled())
        throw BenchError(u"%1 (\"%2\") cannot be clicked: %3"_s.arg(button->objectName(), button->text(),
                                                                   button->isVisible() ? u"disabled"_s : u"hidden"_s));
    QTest::mouseClick(button, Qt::LeftButton);
}

/// The program as start-up leaves it, without its event loop: the same steps on the
/// archive's folder, the main window shown. Errors that reach the error hook fail the
/// figure that caused them.
class Program {
public:
    explicit Program(const Context &context)
        : m_hook([this](std::exception_ptr error) { keep(error); })
    {
        // Started from its own folder, as the executable is: the picture library is found.
        QDir::setCurrent(context.archiveDir);
        window = std::make_unique<TfrmCartulo>(context.archiveDir);
        window->ConnArq->openDescription(QDir(context.archiveDir).filePath(u"cartulo.udl"_s));
        window->FormCreate();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            throw BenchError(u"the main window was never shown"_s);
        activate();
        settle();
        checkNoErrors(u"start-up"_s);
    }

    /// The window a person works in is the active one, so focus moves and the fields'
    /// exit handlers run. A window manager gives it back after a dialog closes; the
    /// headless platform has none, so it is asked for here.
    void activate()
    {
        if (window->isActiveWindow())
            return;
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            throw BenchError(u"the main window never became the active window"_s);
    }

    /// Throws when a handler failed since the last check.
    void checkNoErrors(const QString &step)
    {
        if (!m_errors.isEmpty()) {
            const QString errors = m_errors.join(u"; "_s);
            m_errors.clear();
            throw BenchError(step + u": "_s + errors);
        }
    }

    /// Clicks a screen button of the navigation bar on top of the visible screen.
    void showScreen(TSpeedButton *TFrameCartulo::*button)
    {
        activate();
        const QList<QFrame *> panels = window->screenPanels();
        const QList<TFrameCartulo *> bars = window->bars();
        for (qsizetype i = 0; i < panels.size(); ++i) {
            if (panels[i]->isVisible()) {
                click(bars[i]->*button);
                settle();
                return;
            }
        }
        throw BenchError(u"no screen is visible"_s);
    }

    TFrameDoc *browser() const { return required(window->FrameDoc1, u"the process browser FrameDoc1"_s); }
    TFrameDocumento *documentScreen() const
    {
        return required(window->FrameDocumento1, u"the document screen FrameDocumento1"_s);
    }

    /// The documents area on the process browser, as after "Sair" on the document screen.
    void backToBrowser()
    {
        showScreen(&TFrameCartulo::spbDocumentos);
        if (window->documentsView() != window->Panel8) {
            click(required(documentScreen()->PnlDocumento->BtnSair, u"the document screen's Sair"_s));
            settle();
        }
        if (window->documentsView() != window->Panel8)
            throw BenchError(u"the documents area did not return to the process browser"_s);
        // A filter left from before: emptying the field lists every process again.
        TLabeledEdit *filter = browser()->EdtPesq;
        if (!filter->text().isEmpty()) {
            filter->selectAll();
            QTest::keyClick(filter, Qt::Key_Delete);
            settle();
        }
        checkNoErrors(u"back to the browser"_s);
    }

    /// Makes `process` the browser's current row, as a user selecting it in the list.
    void selectProcess(const QString &process)
    {
        TFrameDoc *frame = browser();
        if (!frame->QryProcesso->isOpen() || !frame->QryProcesso->locate(u"cod"_s, process))
            throw BenchError(u"process %1 is not in the browser's list"_s.arg(process));
        settle();
    }

    /// "&Documentos do Processo" on the selected process; returns when the document
    /// screen shows the process's first document and its pages.
    void openSelectedProcess(const QString &process)
    {
        click(browser()->BtnSel);
        settle();
        TFrameDocumento *screen = documentScreen();
        if (window->documentsView() != window->Panel10 || screen->EdtProcesso->text() != process)
            throw BenchError(u"the document screen did not open process %1"_s.arg(process));
    }

    std::unique_ptr<TfrmCartulo> window;

private:
    void keep(std::exception_ptr error)
    {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception &e) {
            m_errors << QString::fromUtf8(e.what());
        } catch (...) {
            m_errors << u"unknown error"_s;
        }
    }

    editing::ScopedErrorHook m_hook;
    // No box may wait for a person: an unexpected question ends the run loudly.
    editing::ScopedPrompt<editing::ScriptedPrompt> m_prompt;
    QStringList m_errors;
};

Row failedRow(const QString &figure, const QString &target, const std::exception &e)
{
    Row row;
    row.figure = figure;
    row.target = target;
    const auto *benchError = dynamic_cast<const BenchError *>(&e);
    row.note = u"FAILED: "_s + (benchError ? benchError->message() : QString::fromLocal8Bit(e.what()));
    return row;
}

Row openProcessFigure(Program &program, const Context &context)
{
    Row row;
    row.figure = u"opening a process of %1 documents from the browser"_s.arg(context.plan.bigProcessDocs);
    row.target = u"< 100 ms"_s;
    const QString process = context.plan.bigProcess;
    resetPeakMemory();
    row.samples = measure(context.runs, [&] {
        program.backToBrowser();
        program.selectProcess(process);
    }, [&] { program.openSelectedProcess(process); });
    row.peakMb = peakMemoryMb();
    program.checkNoErrors(row.figure);

    TFrameDocumento *screen = program.documentScreen();
    if (screen->EdtCod->text() != context.plan.a4Document.document)
        throw BenchError(u"the first document shown is %1"_s.arg(screen->EdtCod->text()));
    if (screen->LBoxLaudas->count() != context.plan.a4Pages
        || screen->ImgPrev->content() != documents::ImagePreview::Content::JpegPage)
        throw BenchError(u"the first document's %1 pages are not listed and previewed"_s.arg(context.plan.a4Pages));
    row.met = row.samples.p95() < 100;
    row.note = u"process %1: first document %2 shown with its %3 pages (A4, 300 dpi), page 1 previewed"_s.arg(
        process, screen->EdtCod->text()).arg(screen->LBoxLaudas->count());
    return row;
}

Row loadLaudasFigure(Program &program, const Context &context)
{
    Row row;
    row.figure = u"LoadLaudas of a document with %1 pages"_s.arg(context.plan.manyPages);
    row.target = u"< 20 ms"_s;
    const DocumentRef doc = context.plan.manyPagesDocument;
    program.backToBrowser();
    program.selectProcess(doc.process);
    program.openSelectedProcess(doc.process);
    TFrameDocumento *screen = program.documentScreen();
    if (screen->EdtCod->text() != doc.document)
        throw BenchError(u"document %1 of process %2 is not the one shown"_s.arg(doc.document, doc.process));
    resetPeakMemory();
    row.samples = measure(context.runs, [&] { screen->LBoxLaudas->clear(); settle(); }, [&] {
        screen->LoadLaudas();
        settle();
    });
    row.peakMb = peakMemoryMb();
    program.checkNoErrors(row.figure);
    if (screen->LBoxLaudas->count() != context.plan.manyPages)
        throw BenchError(u"%1 pages listed instead of %2"_s.arg(screen->LBoxLaudas->count()).arg(context.plan.manyPages));
    row.met = row.samples.p95() < 20;
    row.note = u"the list rebuilt from the page files and page 1 previewed"_s;
    return row;
}

Row browserFilterFigure(Program &program, const Context &context)
{
    Row row;
    row.figure = u"browser filter on %1 processes"_s.arg(context.plan.processes);
    row.target = u"< 100 ms"_s;
    const QString text = u"obra"_s;
    program.backToBrowser();
    TFrameDoc *frame = program.browser();
    resetPeakMemory();
    row.samples = measure(context.runs, [&] {
        // Emptying the field lists every process again; then the filter text is typed.
        frame->EdtPesq->selectAll();
        QTest::keyClick(frame->EdtPesq, Qt::Key_Delete);
        QTest::keyClicks(frame->EdtPesq, text);
        settle();
    }, [&] {
        click(frame->SBtnPesq);
        settle();
    });
    row.peakMb = peakMemoryMb();
    program.checkNoErrors(row.figure);
    if (!frame->QryProcesso->isOpen() || frame->QryProcesso->isEmpty())
        throw BenchError(u"the filter \"%1\" listed nothing"_s.arg(text));
    row.met = row.samples.p95() < 100;
    row.note = u"\"%1\" typed, the search button clicked; %2 processes listed"_s.arg(text).arg(
        frame->QryProcesso->recordCount());
    return row;
}

// Keystrokes in the lookup dialog's filter, typed while the dialog runs modally as F2
// opens it; each one re-runs the prefix filter over the types and repaints the list.
Row lookupFigure(Program &program, const Context &context)
{
    Row row;
    row.figure = u"one keystroke in the lookup dialog's filter over %1 types"_s.arg(context.plan.types);
    row.target = u"< 50 ms"_s;
    const QList<int> keys{Qt::Key_C, Qt::Key_O, Qt::Key_N, Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_Backspace};

    // F2 in the document screen's "Tipo" while a new document is typed in.
    program.backToBrowser();
    program.selectProcess(context.plan.bigProcess);
    program.openSelectedProcess(context.plan.bigProcess);
    TFrameDocumento *screen = program.documentScreen();
    click(screen->PnlDocumento->BtnInc);
    settle();
    QLineEdit *typeField = screen->EdtTpDoc;
    if (!typeField->isEnabled())
        throw BenchError(u"\"Incluir\" left the document's \"Tipo\" field disabled"_s);
    program.checkNoErrors(u"Incluir"_s);

    QString failure;
    int shown = 0;
    QTimer::singleShot(0, [&] {
        try {
            auto *dialog = qobject_cast<TFrmFramePesq *>(QApplication::activeModalWidget());
            if (!dialog)
                throw BenchError(u"F2 did not open the lookup dialog"_s);
            TFramePesquisa *frame = dialog->FPesq;
            resetPeakMemory();
            for (int run = 0; run < context.runs; ++run) {
                for (int key : keys) {
                    Stopwatch clock;
                    QTest::keyClick(frame->EdtValor, Qt::Key(key));
                    settle();
                    row.samples.add(clock.elapsedMs());
                }
            }
            row.peakMb = peakMemoryMb();
            QTest::keyClicks(frame->EdtValor, u"CON"_s);
            settle();
            shown = frame->GrdFrame->model() ? frame->GrdFrame->model()->rowCount() : 0;
            click(frame->BtnCancel);
        } catch (const BenchError &e) {
            failure = e.message();
            if (auto *dialog = QApplication::activeModalWidget())
                dialog->close();
        }
    });
    typeField->setFocus();
    QTest::keyClick(typeField, Qt::Key_F2);
    settle();
    // The new document is dropped again.
    click(screen->PnlDocumento->BtnSair);
    settle();
    program.checkNoErrors(row.figure);
    if (!failure.isEmpty())
        throw BenchError(failure);
    if (row.samples.isEmpty())
        throw BenchError(u"F2 did not open the lookup dialog"_s);
    row.met = row.samples.p95() < 50;
    row.note = u"F2 in the document's \"Tipo\" on \"Incluir\", then C, O, N and three backspaces, timed one by one; \"CON\" lists %1 types at first"_s
                   .arg(shown);
    return row;
}

// A click on a page of the list previews it: the page decoded at the smallest scale that
// covers the preview box, stretched, painted. The old way, side by side: the whole page
// decoded and smoothly scaled to the box.
Row previewFigure(Program &program, const Context &context)
{
    Row row;
    row.figure = u"previewing a 300-dpi A4 page (click in the page list)"_s;
    row.target = u">= 4x faster than whole decode + scale"_s;
    program.backToBrowser();
    program.selectProcess(context.plan.a4Document.process);
    program.openSelectedProcess(context.plan.a4Document.process);
    TFrameDocumento *screen = program.documentScreen();
    QListWidget *list = screen->LBoxLaudas;
    if (list->count() < 2)
        throw BenchError(u"the A4 document lists %1 pages"_s.arg(list->count()));

    int entry = 0;
    auto clickEntry = [&](int index) {
        const QRect rect = list->visualItemRect(list->item(index));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    };
    resetPeakMemory();
    // Each run clicks another page than the one shown, as a person stepping through them.
    row.samples = measure(context.runs, [&] {
        entry = entry % (list->count() - 1) + 1;
        list->scrollToItem(list->item(entry));
        settle();
    }, [&] {
        clickEntry(entry);
        settle();
        if (screen->ImgPrev->pagePath() != screen->pageStore().pageLocation(list->item(entry)->text()))
            throw BenchError(u"the click on %1 did not preview it"_s.arg(list->item(entry)->text()));
    });
    row.peakMb = peakMemoryMb();
    program.checkNoErrors(row.figure);

    // The page as the store holds it (a file, or a row on the server), read in each run.
    const QString entryName = list->item(entry)->text();
    const pages::PageStore &store = screen->pageStore();
    auto pageBytes = [&] {
        const std::optional<QByteArray> bytes = store.pageBytes(entryName);
        if (!bytes)
            throw BenchError(u"cannot read "_s + store.pageLocation(entryName));
        return *bytes;
    };
    const QSize box = screen->ImgPrev->size();
    Ratio ratio;
    ratio.baseline = u"whole decode + smooth scale"_s;
    ratio.baselineSamples = measure(context.runs, {}, [&] {
        const QImage scaled = editing::jpeg::decode(pageBytes()).scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (scaled.isNull())
            throw BenchError(u"cannot decode "_s + entryName);
    });
    ratio.value = ratio.baselineSamples.median() / row.samples.median();
    ratio.text = speedup(ratio.value);
    row.ratio = ratio;
    row.met = ratio.value >= 4;
    const QSize full = editing::jpeg::imageSize(pageBytes());
    row.note = u"pages of %1 x %2 decoded at %3 x %4 for the %5 x %6 box"_s.arg(full.width()).arg(full.height())
                   .arg(screen->ImgPrev->picture().width()).arg(screen->ImgPrev->picture().height())
                   .arg(box.width()).arg(box.height());
    return row;
}

// ---------------------------------------------------------------------------------------
// Advanced search

struct SearchCriteria {
    QString type;      ///< as typed in "Tipo"
    QString startDate; ///< digits typed in "DE:" (ddMMyy)
    QString endDate;   ///< digits typed in "ATÉ:"
    QStringList terms; ///< Edit1..Edit4
    QList<bool> andBefore; ///< "e" (true) or "ou" before terms 2..4
    search::TermOptions options; ///< the two check boxes
};

/// The advanced search screen of the main window.
struct SearchScreen {
    explicit SearchScreen(Program &program)
        : frame(required(program.window->FramePesquisaAvancada1, u"the advanced search FramePesquisaAvancada1"_s))
    {
        type = frame->EdtTpDoc;
        startDate = frame->EdtDtaIni;
        endDate = frame->EdtDtaFin;
        terms = {frame->Edit1, frame->Edit2, frame->Edit3, frame->Edit4};
        connectors = {frame->RBtnE1, frame->RBtnOu1, frame->RadioButton1, frame->RadioButton2, frame->RadioButton3,
                      frame->RadioButton4};
    }

    /// A field left as a user leaves it: the focus moves on, its exit handler runs.
    static void leave(QLineEdit *field, QWidget *next)
    {
        next->setFocus(Qt::TabFocusReason);
        settle();
        if (QApplication::focusWidget() != next)
            throw BenchError(u"the focus did not move from %1 to %2"_s.arg(field->objectName(), next->objectName()));
    }

    /// Back to an empty criteria page, then the criteria typed in as a user types them.
    void enter(const SearchCriteria &c)
    {
        if (frame->BtnNovaPesquisa->isEnabled()) {
            click(frame->BtnNovaPesquisa);
            settle();
        }
        type->setFocus(Qt::OtherFocusReason);
        settle();
        if (QApplication::focusWidget() != type)
            throw BenchError(u"\"Tipo\" did not take the focus"_s);
        if (!c.type.isEmpty()) {
            QTest::keyClicks(type, c.type);
            leave(type, startDate);
        }
        if (!c.startDate.isEmpty() || !c.endDate.isEmpty()) {
            startDate->setFocus(Qt::TabFocusReason);
            QTest::keyClicks(startDate, c.startDate);
            leave(startDate, endDate);
            QTest::keyClicks(endDate, c.endDate);
            leave(endDate, terms[0]);
        }
        for (qsizetype i = 0; i < c.terms.size(); ++i) {
            if (i > 0)
                click(connectors[(i - 1) * 2 + (c.andBefore.value(i - 1, true) ? 0 : 1)]);
            typeText(terms[i], c.terms[i]);
            if (terms[i]->text() != c.terms[i])
                throw BenchError(u"typing \"%1\" gave \"%2\""_s.arg(c.terms[i], terms[i]->text()));
        }
        for (const auto &[box, wanted] : {std::pair{frame->ChkTextoPaginas, c.options.pageText},
                                          std::pair{frame->ChkIgnorarAcentos, c.options.ignoreAccents}}) {
            if (box->isChecked() != wanted)
                click(box);
        }
        settle();
    }

    /// "Pesquisar Agora" until the first hits are shown.
    void run()
    {
        click(frame->BtnPesquisarAgora);
        settle();
        if (!frame->TSResultados->isVisible())
            throw BenchError(u"the search did not show its results"_s);
    }

    QString lastStatement() const
    {
        const QStringList lines = frame->Memo1->toPlainText().split(u'\n', Qt::SkipEmptyParts);
        return lines.isEmpty() ? QString() : lines.last();
    }

    TFramePesquisaAvancada *frame;
    QLineEdit *type = nullptr;
    QLineEdit *startDate = nullptr;
    QLineEdit *endDate = nullptr;
    QList<QLineEdit *> terms;
    QList<QAbstractButton *> connectors;
};

/// The statement of the "Script" page run as plain SQL on a connection of its own: a full
/// scan of the documents, SQLite's own like, every row read.
struct PlainScan {
    double ms = 0;
    long long rows = 0;
};

PlainScan plainScan(const QString &databasePath, QString statement)
{
    // The only non-SQL piece of the logged statement is "&" joining the two codes; every
    // document is read, whatever index the type or the dates could use.
    statement.replace(u"documento.processo&documento.cod"_s, u"documento.processo||documento.cod"_s);
    if (statement.count(u" from documento "_s) != 1)
        throw BenchError(u"unexpected search statement: "_s + statement);
    statement.replace(u" from documento "_s, u" from documento not indexed "_s);
    const ReadOnlyDatabase db = openReadOnly(databasePath);
    sqlite3 *raw = db.get();
    sqlite3_stmt *stmt = nullptr;
    Stopwatch clock;
    if (sqlite3_prepare_v2(raw, statement.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw BenchError(u"plain statement: "_s + QString::fromUtf8(sqlite3_errmsg(raw)) + u": "_s + statement);
    PlainScan scan;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        ++scan.rows;
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        throw BenchError(u"plain statement: "_s + QString::fromUtf8(sqlite3_errmsg(raw)));
    scan.ms = clock.elapsedMs();
    return scan;
}

/// The same on the server: the statement translated as the program translates it, run on
/// a connection of its own with the indexes turned away, every row read.
PlainScan plainServerScan(const Context &context, const QString &statement)
{
    db::pg::PgConnection server(serverOf(context));
    server.exec(u"SET enable_indexscan = off"_s);
    server.exec(u"SET enable_bitmapscan = off"_s);
    const db::Translation plain = db::translate(statement, {}, db::Provider::PostgreSQL);
    Stopwatch clock;
    const db::pg::PgResult rows = server.exec(plain.sql);
    PlainScan scan;
    scan.rows = rows.rowCount();
    scan.ms = clock.elapsedMs();
    return scan;
}

/// With the page texts or without accents: the plain statement through the program's own
/// engine, every row read: on a file every document is read and each one's page texts
/// through their key; on a server the trigram indexes are turned away (the keys stay).
PlainScan plainEngineScan(const Context &context, const SearchCriteria &criteria)
{
    QList<search::Term> terms;
    for (qsizetype i = 0; i < criteria.terms.size(); ++i)
        terms.append({i == 0 ? QString() : (criteria.andBefore.value(i - 1, true) ? u"AND"_s : u"OR"_s),
                      criteria.terms[i]});
    const QString statement = search::statement({}, {}, search::termsClause(terms, criteria.options));
    PlainScan scan;
    if (context.provider == db::Provider::PostgreSQL) {
        db::pg::PgConnection server(serverOf(context));
        server.exec(u"SET enable_bitmapscan = off"_s); // the trigram indexes serve bitmap scans only
        const db::Translation plain = db::translate(statement, {}, db::Provider::PostgreSQL);
        Stopwatch clock;
        scan.rows = server.exec(plain.sql).rowCount();
        scan.ms = clock.elapsedMs();
        return scan;
    }
    db::Connection connection;
    connection.openFile(QDir(context.archiveDir).filePath(u"dados/cartulo.db"_s));
    Stopwatch clock;
    db::Query query(&connection);
    query.setSql(statement);
    query.open();
    scan.rows = query.recordCount();
    scan.ms = clock.elapsedMs();
    return scan;
}

Row searchFigure(Program &program, const Context &context, const QString &figure, const SearchCriteria &criteria,
                 double targetMs, bool withBaseline)
{
    Row row;
    row.figure = figure;
    row.target = u"< %1 ms%2"_s.arg(targetMs).arg(withBaseline ? QString() : u", peak < 250 MB"_s);
    program.showScreen(&TFrameCartulo::spdPesquisa);
    SearchScreen screen(program);
    resetPeakMemory();
    row.samples = measure(context.runs, [&] { screen.enter(criteria); }, [&] { screen.run(); });
    row.peakMb = peakMemoryMb();
    program.checkNoErrors(figure);
    const int shown = screen.frame->DBGrid1->model() ? screen.frame->DBGrid1->model()->rowCount() : 0;
    const QString statement = screen.lastStatement();
    row.met = row.samples.p95() < targetMs && (withBaseline || *row.peakMb < 250);
    row.note = u"%1 hits in the grid at first"_s.arg(shown);
    if (withBaseline) {
        Ratio ratio;
        ratio.baseline = u"plain SQL full scan"_s;
        long long hits = 0;
        for (int i = 0; i < context.baselineRuns; ++i) {
            const bool beyondFields = criteria.options.pageText || criteria.options.ignoreAccents;
            const PlainScan scan = beyondFields ? plainEngineScan(context, criteria)
                                   : context.provider == db::Provider::PostgreSQL
                                       ? plainServerScan(context, statement)
                                       : plainScan(QDir(context.archiveDir).filePath(u"dados/cartulo.db"_s), statement);
            ratio.baselineSamples.add(scan.ms);
            hits = scan.rows;
        }
        ratio.value = ratio.baselineSamples.median() / row.samples.median();
        ratio.text = speedup(ratio.value);
        row.ratio = ratio;
        row.note = criteria.options.pageText || criteria.options.ignoreAccents
                       ? u"%1; the plain statement, reading every document and its page texts, finds %2"_s.arg(row.note).arg(hits)
                   : context.provider == db::Provider::PostgreSQL
                       ? u"%1; the plain statement, scanning every row, finds %2"_s.arg(row.note).arg(hits)
                       : u"%1; the plain statement finds %2 (SQLite's own like folds ASCII letters only)"_s.arg(row.note).arg(hits);
    }
    return row;
}

// The grid of every hit of the no-criteria search: once the hits are all read (timed from
// "Pesquisar Agora", given in the note), Ctrl+End makes the last one current and shows it.
Row hitListEndFigure(Program &program, const Context &context)
{
    Row row;
    row.figure = u"Ctrl+End in the hit list of the no-criteria search"_s;
    row.target = u"< 500 ms, peak < 250 MB"_s;
    program.showScreen(&TFrameCartulo::spdPesquisa);
    SearchScreen screen(program);
    QTableView *grid = screen.frame->DBGrid1;
    db::Query *hits = screen.frame->QryPesqAvanc;
    Samples allRead;
    int count = 0;
    resetPeakMemory();
    row.samples = measure(context.runs, [&] {
        screen.enter({});
        Stopwatch clock;
        screen.run();
        count = hits->recordCount(); // waits for the reading to end
        while (grid->model()->rowCount() < count)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        allRead.add(clock.elapsedMs());
        grid->setFocus();
        settle();
    }, [&] {
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        settle();
    });
    row.peakMb = peakMemoryMb();
    program.checkNoErrors(row.figure);
    if (grid->currentIndex().row() != count - 1 || hits->recNo() != count - 1)
        throw BenchError(u"Ctrl+End stopped at row %1 of %2"_s.arg(grid->currentIndex().row() + 1).arg(count));
    if (!grid->viewport()->rect().intersects(grid->visualRect(grid->model()->index(count - 1, 0))))
        throw BenchError(u"the last hit is not in view after Ctrl+End"_s);
    row.met = row.samples.p95() < 500 && *row.peakMb < 250;
    row.note = u"%1 hits; all of them read %2 ms (median) after \"Pesquisar Agora\", the first ones at once"_s
                   .arg(count)
                   .arg(allRead.median(), 0, 'f', 0);
    return row;
}

/// The searches measured: figure name, what the table calls it, the criteria, the target.
struct SearchCase {
    QString name;
    QString figure;
    SearchCriteria criteria;
    double targetMs;
    bool withBaseline; ///< the no-criteria search has no plain counterpart worth timing
};

QList<SearchCase> searchCases()
{
    return {
        {u"search-rare"_s, u"advanced search, one rare term (sambaqui)"_s, {{}, {}, {}, {u"sambaqui"_s}, {}}, 100, true},
        {u"search-common"_s, u"advanced search, one common term (contrato)"_s, {{}, {}, {}, {u"contrato"_s}, {}}, 100, true},
        {u"search-and"_s, u"advanced search, two terms \"e\" (licitação e pavimentação)"_s,
         {{}, {}, {}, {u"licitação"_s, u"pavimentação"_s}, {true}}, 100, true},
        {u"search-and-or"_s, u"advanced search, three terms (merenda e escolar ou sambaqui)"_s,
         {{}, {}, {}, {u"merenda"_s, u"escolar"_s, u"sambaqui"_s}, {true, false}}, 100, true},
        {u"search-type-dates"_s, u"advanced search, type 00007 and dates 01/01/90 to 31/12/99"_s,
         {u"7"_s, u"010190"_s, u"311299"_s, {}, {}}, 100, true},
        {u"search-all"_s, u"advanced search with no criteria"_s, {}, 300, false},
        {u"search-pages-rare"_s, u"advanced search in the page texts too, one rare term (sambaqui)"_s,
         {{}, {}, {}, {u"sambaqui"_s}, {}, {true, false}}, 100, true},
        {u"search-pages-common"_s, u"advanced search in the page texts too, one common term (contrato)"_s,
         {{}, {}, {}, {u"contrato"_s}, {}, {true, false}}, 100, true},
        {u"search-pages-and"_s, u"advanced search in the page texts too, two terms \"e\" (licitação e pavimentação)"_s,
         {{}, {}, {}, {u"licitação"_s, u"pavimentação"_s}, {true}, {true, false}}, 100, true},
        {u"search-pages-noaccents-rare"_s, u"advanced search in the page texts too, accents ignored, one rare term (jequitiba)"_s,
         {{}, {}, {}, {u"jequitiba"_s}, {}, {true, true}}, 100, true},
        {u"search-pages-noaccents-common"_s, u"advanced search in the page texts too, accents ignored, one common term (contrato)"_s,
         {{}, {}, {}, {u"contrato"_s}, {}, {true, true}}, 100, true},
        {u"search-noaccents-rare"_s, u"advanced search, accents ignored, one rare term (jequitiba)"_s,
         {{}, {}, {}, {u"jequitiba"_s}, {}, {false, true}}, 100, true},
        {u"search-noaccents-common"_s, u"advanced search, accents ignored, one common term (contrato)"_s,
         {{}, {}, {}, {u"contrato"_s}, {}, {false, true}}, 100, true},
        {u"search-pages-noaccents-and"_s, u"advanced search in the page texts too, accents ignored, two terms \"e\" (licitacao e pavimentacao)"_s,
         {{}, {}, {}, {u"licitacao"_s, u"pavimentacao"_s}, {true}, {true, true}}, 100, true},
    };
}

struct NamedFigure {
    QString name;
    QString figure;
    QString target;
    std::function<Row(Program &, const Context &)> measure;
};

bool archiveKeepsPageTexts(const Context &context)
{
    db::Connection connection;
    if (context.provider == db::Provider::PostgreSQL)
        connection.openServer(serverOf(context));
    else
        connection.openFile(QDir(context.archiveDir).filePath(u"dados/cartulo.db"_s));
    return db::pagetextsearch::hasPageTextTable(connection);
}

QList<NamedFigure> screenFigureList()
{
    QList<NamedFigure> figures{
        {u"open-process"_s, u"opening a process of 200 documents from the browser"_s, u"< 100 ms"_s, openProcessFigure},
        {u"browser-filter"_s, u"browser filter on 20,000 processes"_s, u"< 100 ms"_s, browserFilterFigure},
        {u"lookup"_s, u"one keystroke in the lookup dialog's filter"_s, u"< 50 ms"_s, lookupFigure},
        {u"loadlaudas"_s, u"LoadLaudas of a document with 999 pages"_s, u"< 20 ms"_s, loadLaudasFigure},
        {u"preview"_s, u"previewing a 300-dpi A4 page"_s, u">= 4x faster than whole decode + scale"_s, previewFigure},
    };
    for (const SearchCase &c : searchCases()) {
        const QString target = u"< %1 ms%2"_s.arg(c.targetMs).arg(c.withBaseline ? QString() : u", peak < 250 MB"_s);
        figures.append({c.name, c.figure, target, [c](Program &program, const Context &context) {
                            return searchFigure(program, context, c.figure, c.criteria, c.targetMs, c.withBaseline);
                        }});
    }
    figures.append({u"search-end"_s, u"Ctrl+End in the hit list of the no-criteria search"_s,
                    u"< 500 ms, peak < 250 MB"_s, hitListEndFigure});
    return figures;
}

} // namespace

QStringList figureNames()
{
    QStringList names{u"startup"_s};
    for (const NamedFigure &f : screenFigureList())
        names << f.name;
    names << u"encode"_s << u"turn"_s << u"turn-recorded"_s << u"scan-batch"_s << u"index-size"_s << u"workstations"_s;
    names << u"history"_s;
    return names;
}

QList<Row> screenFigures(const Context &context, const QStringList &only)
{
    QList<Row> rows;
    std::unique_ptr<Program> program;
    for (const NamedFigure &f : screenFigureList()) {
        if (!only.isEmpty() && !only.contains(f.name))
            continue;
        if (f.name.startsWith(u"search-pages"_s) && !archiveKeepsPageTexts(context)) {
            std::fprintf(stderr, "not measured, the archive keeps no page texts: %s\n", qPrintable(f.figure));
            continue;
        }
        std::fprintf(stderr, "measuring: %s\n", qPrintable(f.figure));
        try {
            if (!program)
                program = std::make_unique<Program>(context);
            rows << f.measure(*program, context);
        } catch (const std::exception &e) {
            rows << failedRow(f.figure, f.target, e);
        }
    }
    return rows;
}

} // namespace bench
