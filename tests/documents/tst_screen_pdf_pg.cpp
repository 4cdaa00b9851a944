// PDF on the document screen and the search's hit view, on a file archive and on a server
// archive: adding JPEG and PDF files, exporting a document or its process, and printing a
// whole document. The PDF files are made here and read back with the command-line tools.
#include "DocumentWindow.h"

#include "documents/DocumentExport.h"
#include "documents/PageImport.h"
#include "documents/UntPrevImg.h"
#include "pages/Exif.h"
#include "search/UntPesquisaAvancada.h"
#include "tests/support/ProviderArchive.h"

#include <QBuffer>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>

using namespace Qt::StringLiterals;
using Kind = editing::ScriptedPrompt::Kind;
using testsupport::ProviderArchive;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
};

Run run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted() || !process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError())};
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A picture of one colour, or of two halves (left, right), saved by Qt with a stated
// resolution (0: the program's encoder, which states none).
QByteArray picture(QSize size, QColor left, QColor right, int dpi = 0)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(left);
    QPainter(&image).fillRect(QRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height()), right);
    if (dpi == 0)
        return editing::jpeg::encode(image);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

QByteArray solid(QColor colour, QSize size = QSize(60, 84))
{
    return picture(size, colour, colour);
}

// "Page    2 size: 144 x 96 pts" and "Page    2 rot:  90" of pdfinfo, as seen.
QList<QSizeF> seenPageSizes(const QString &pdf)
{
    const Run info = run(u"pdfinfo"_s, {u"-f"_s, u"1"_s, u"-l"_s, u"999"_s, pdf});
    QList<QSizeF> sizes;
    static const QRegularExpression size(u"^Page +\\d+ size: +([\\d.]+) x ([\\d.]+) pts"_s,
                                         QRegularExpression::MultilineOption);
    static const QRegularExpression rotation(u"^Page +\\d+ rot: +(\\d+)"_s, QRegularExpression::MultilineOption);
    auto sizeMatch = size.globalMatch(info.out);
    auto rotMatch = rotation.globalMatch(info.out);
    while (sizeMatch.hasNext()) {
        const auto m = sizeMatch.next();
        QSizeF page(m.captured(1).toDouble(), m.captured(2).toDouble());
        const int rot = rotMatch.hasNext() ? rotMatch.next().captured(1).toInt() : 0;
        sizes << (rot % 180 == 90 ? page.transposed() : page);
    }
    return sizes;
}

QString infoField(const QString &pdf, const QString &field)
{
    const QString out = run(u"pdfinfo"_s, {pdf}).out;
    const QRegularExpression line(u"^"_s + field + u": +(.*)$"_s, QRegularExpression::MultilineOption);
    return line.match(out).captured(1).trimmed();
}

// The embedded pictures, as pdfimages -j writes them out, in page order.
QList<QByteArray> embeddedJpegs(const QString &pdf, const QString &folder)
{
    const QString root = folder + u"/img"_s;
    if (run(u"pdfimages"_s, {u"-j"_s, pdf, root}).exitCode != 0)
        return {};
    QList<QByteArray> result;
    for (const QString &name : QDir(folder).entryList({u"img-*"_s}, QDir::Files, QDir::Name))
        result << readAll(QDir(folder).filePath(name));
    return result;
}

QSizeF pointsOf(QSize pixels, double dpi)
{
    return QSizeF(pixels.width() * 72.0 / dpi, pixels.height() * 72.0 / dpi);
}

bool closeTo(QSizeF a, QSizeF b)
{
    return qAbs(a.width() - b.width()) < 0.5 && qAbs(a.height() - b.height()) < 0.5;
}

// A PDF whose pages are the JPEG files, embedded unchanged (img2pdf never re-encodes).
QString pdfOfPictures(const QString &folder, const QString &name, const QList<QByteArray> &jpegs)
{
    QStringList args;
    for (int i = 0; i < jpegs.size(); ++i) {
        const QString path = QDir(folder).filePath(u"%1-src%2.jpg"_s.arg(name).arg(i));
        writeAll(path, jpegs.at(i));
        args << path;
    }
    const QString pdf = QDir(folder).filePath(name);
    const Run made = run(u"img2pdf"_s, args << u"-o"_s << pdf);
    if (made.exitCode != 0)
        qWarning().noquote() << "img2pdf:" << made.out;
    return pdf;
}

// A PDF of text and lines on A6 pages, which only rendering can take in.
QString textPdf(const QString &folder, const QString &name, int pages)
{
    const QString path = QDir(folder).filePath(name);
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A6));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(300);
    QPainter painter(&writer);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            writer.newPage();
        QFont font(u"DejaVu Sans"_s);
        font.setPointSize(14);
        painter.setFont(font);
        painter.drawText(QRect(100, 100, 1000, 200), u"Ofício %1 da Secretaria de Obras"_s.arg(page));
        painter.drawLine(100, 400, 1100, 400 + page * 200);
        painter.drawEllipse(QPoint(600, 1200), 200, 100 * page);
    }
    painter.end();
    return path;
}


} // namespace

// The document screen on an archive of either engine, with process 00007 open.
class PdfScreen {
public:
    PdfScreen(db::Provider provider, const QStringList &seed) : archive(provider)
    {
        QVERIFY(QDir(archive.programDir()).mkpath(u"dados/laudas"_s));
        for (const QString &sql : seed)
            archive.connection().execute(sql);
        screen.setProgramDir(archive.programDir());
        screen.PnlDocumento->ConnArq = &archive.connection();
        screen.QryDoc->setConnection(&archive.connection());
        screen.EdtProcesso->setText(u"00007"_s);
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
    }

    std::shared_ptr<pages::PageStore> store() const
    {
        return pages::openPageStore(archive.programDir(), &const_cast<ProviderArchive &>(archive).connection());
    }
    /// Stores pages for a document before the screen shows it.
    void storePages(const QString &document, const QList<QByteArray> &jpegs)
    {
        const auto pages = store();
        for (int i = 0; i < jpegs.size(); ++i)
            pages->storeBytes({u"00007"_s, document}, i + 1, jpegs.at(i));
    }
    /// Opens the process and shows the document `code`.
    void show(const QString &code)
    {
        screen.BtnProcessoClick();
        QVERIFY(screen.QryDoc->locate(u"cod"_s, code));
        screen.showCurrentRow();
        QCOMPARE(screen.EdtCod->text(), code);
    }
    QList<QByteArray> storedPages(const QString &document) const
    {
        const auto pages = store();
        QList<QByteArray> result;
        for (const QString &name : pages->listPages({u"00007"_s, document}))
            result << pages->pageBytes(name).value_or(QByteArray());
        return result;
    }
    /// What the user does: the edit mode's page commands, then "&Adicionar >>".
    void add(const QStringList &files)
    {
        screen.setPageCommandsEnabled(true);
        ui->answerFiles(files);
        QTest::mouseClick(screen.BtnAddArq, Qt::LeftButton);
    }

    editing::ScopedPrompt<editing::ScriptedPrompt> ui;
    ProviderArchive archive;
    TFrameDocumento screen;
};

class TestPdfScreen : public QObject {
    Q_OBJECT

    QTemporaryDir files; // what the user picks and where exports go
    std::unique_ptr<PdfScreen> fx;

    void start(db::Provider provider, const QStringList &documents = {documentRow(u"00007"_s, u"00003"_s)})
    {
        fx = std::make_unique<PdfScreen>(provider, QStringList{processRow(u"00007"_s)} + documents);
    }
    QString file(const QString &name) const { return files.filePath(name); }
    QString freshFolder(const QString &name) const
    {
        QDir(files.path()).mkpath(name);
        return files.filePath(name);
    }

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(u"cartulo.*.debug=false"_s); }
    void init() { QVERIFY(files.isValid()); }
    void cleanup()
    {
        if (fx) {
            const bool allUsed = fx->ui->allAnswersUsed();
            fx.reset();
            QVERIFY2(allUsed, "a scripted answer was left over");
        }
    }

    void pdfOfPicturesIsTakenByteForByte_data()
    {
        QTest::addColumn<db::Provider>("provider");
        for (db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }
    void pdfOfPicturesIsTakenByteForByte()
    {
        QFETCH(db::Provider, provider);
        start(provider);
        const QList<QByteArray> scans = {picture({120, 170}, Qt::red, Qt::white, 150),
                                         picture({170, 120}, Qt::darkGreen, Qt::yellow),
                                         picture({100, 140}, Qt::blue, Qt::black, 300)};
        const QString pdf = pdfOfPictures(files.path(), u"digitalizado.pdf"_s, scans);
        const QList<QByteArray> inside = embeddedJpegs(pdf, freshFolder(u"inside"_s));
        QCOMPARE(inside, scans); // the pictures as the PDF holds them
        fx->show(u"00003"_s);
        fx->add({pdf});

        QCOMPARE(fx->storedPages(u"00003"_s), inside);
        QCOMPARE(fx->screen.LBoxLaudas->count(), 3);
        QCOMPARE(fx->screen.LBoxLaudas->currentRow(), 0); // the preview ends on page 1
        const auto opened = fx->ui->callsOf(Kind::OpenFile);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.first().filter, u"Imagens JPEG e documentos PDF (*.jpg *.pdf);;"
                                        u"Arquivos de Imagem JPEG (*.jpg);;Documentos PDF (*.pdf)"_s);
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
    }

    void textPdfIsRenderedAt300Dpi_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void textPdfIsRenderedAt300Dpi()
    {
        QFETCH(db::Provider, provider);
        start(provider);
        const QString pdf = textPdf(files.path(), u"oficio.pdf"_s, 2);
        fx->show(u"00003"_s);
        fx->add({pdf});

        const QList<QByteArray> stored = fx->storedPages(u"00003"_s);
        QCOMPARE(stored.size(), 2);
        const QList<QSizeF> pdfPages = seenPageSizes(pdf);
        QCOMPARE(pdfPages.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const QImage page = editing::jpeg::decode(stored.at(i));
            const QSizeF expected = pdfPages.at(i) * (300.0 / 72.0); // A6: 1240 x 1748
            QVERIFY2(qAbs(page.width() - expected.width()) <= 1 && qAbs(page.height() - expected.height()) <= 1,
                     qPrintable(u"%1x%2"_s.arg(page.width()).arg(page.height())));
            // Drawn, not blank: the text and lines are dark on white.
            QCOMPARE(page.convertToFormat(QImage::Format_Grayscale8).pixelColor(0, 0).value() > 240, true);
            bool dark = false;
            const QImage gray = page.convertToFormat(QImage::Format_Grayscale8);
            for (int y = 0; y < gray.height() && !dark; y += 2)
                for (int x = 0; x < gray.width() && !dark; x += 2)
                    dark = qGray(gray.pixel(x, y)) < 80;
            QVERIFY(dark);
        }
        QVERIFY(stored.at(0) != stored.at(1));
    }

    void severalFilesGoInByName_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void severalFilesGoInByName()
    {
        QFETCH(db::Provider, provider);
        start(provider);
        const QByteArray existing = solid(Qt::gray);
        fx->storePages(u"00003"_s, {existing});
        const QByteArray first = solid(Qt::red), tenth = solid(Qt::blue);
        const QList<QByteArray> second = {solid(Qt::green), solid(Qt::yellow)};
        writeAll(file(u"pagina1.jpg"_s), first);
        writeAll(file(u"pagina10.jpg"_s), tenth);
        const QString pdf = pdfOfPictures(files.path(), u"pagina2.pdf"_s, second);
        fx->show(u"00003"_s);
        // Picked in another order: they go in as the dialog lists them, numbers by value.
        fx->add({file(u"pagina10.jpg"_s), pdf, file(u"pagina1.jpg"_s)});

        QCOMPARE(fx->storedPages(u"00003"_s), (QList<QByteArray>{existing, first, second.at(0), second.at(1), tenth}));
        QCOMPARE(fx->screen.LBoxLaudas->count(), 5);
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
    }

    void cancelKeepsOnlyWholeFiles_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void cancelKeepsOnlyWholeFiles()
    {
        QFETCH(db::Provider, provider);
        start(provider);
        const QByteArray existing = solid(Qt::gray);
        fx->storePages(u"00003"_s, {existing});
        const QList<QByteArray> a = {solid(Qt::red), solid(Qt::green)};
        const QList<QByteArray> b = {solid(Qt::blue), solid(Qt::yellow), solid(Qt::cyan)};
        const QString pdfA = pdfOfPictures(files.path(), u"a.pdf"_s, a);
        const QString pdfB = pdfOfPictures(files.path(), u"b.pdf"_s, b);
        writeAll(file(u"c.jpg"_s), solid(Qt::magenta));
        fx->show(u"00003"_s);

        // "Cancelar" pressed as the second page of b.pdf is stored.
        int stored = 0;
        connect(fx->screen.pageImport, &documents::PageImport::pageStored, this, [&] {
            if (++stored != 4)
                return;
            // It shows after half a second; its button works from the start.
            auto *progress = fx->screen.findChild<QProgressDialog *>(u"DlgIncluirPaginas"_s);
            QVERIFY(progress);
            progress->findChild<QPushButton *>(u"BtnCancelar"_s)->click();
        });
        fx->add({pdfA, pdfB, file(u"c.jpg"_s)});

        QCOMPARE(stored, 4);
        QCOMPARE(fx->storedPages(u"00003"_s), (QList<QByteArray>{existing, a.at(0), a.at(1)}));
        QCOMPARE(fx->screen.LBoxLaudas->count(), 3);
        QVERIFY(!fx->store()->hasPage(u"0000700003004.jpg"_s));
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
        QVERIFY(!fx->screen.findChild<QProgressDialog *>(u"DlgIncluirPaginas"_s)); // gone with the work
    }

    // Another workstation fills the document while a PDF goes in: the file fails at the
    // page past 999 and takes its pages out again; the other pages stay.
    void failingFileLeavesNoPage_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void failingFileLeavesNoPage()
    {
        QFETCH(db::Provider, provider);
        start(provider);
        const QByteArray page = solid(Qt::gray, QSize(8, 8));
        fx->storePages(u"00003"_s, QList<QByteArray>(996, page));
        const QString pdf = pdfOfPictures(files.path(), u"tres.pdf"_s, {solid(Qt::red), solid(Qt::green), solid(Qt::blue)});
        fx->show(u"00003"_s);
        const QByteArray other = solid(Qt::yellow);
        connect(fx->screen.pageImport, &documents::PageImport::pageStored, this, [&](const QString &name) {
            if (name != u"0000700003997.jpg"_s)
                return;
            fx->store()->appendBytes({u"00007"_s, u"00003"_s}, other);
            fx->store()->appendBytes({u"00007"_s, u"00003"_s}, other);
        });
        fx->add({pdf});

        const auto messages = fx->ui->callsOf(Kind::Message);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().text.contains(u"tres.pdf não foi incluído"_s), qPrintable(messages.first().text));
        const QList<QByteArray> stored = fx->storedPages(u"00003"_s);
        QCOMPARE(stored.size(), 998);
        QCOMPARE(stored.mid(996), (QList<QByteArray>{other, other}));
        QCOMPARE(fx->screen.LBoxLaudas->count(), 998);
    }

    void refusedFilesWriteNothing_data()
    {
        QTest::addColumn<db::Provider>("provider");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("told");
        for (db::Provider provider : testsupport::allProviders()) {
            const QByteArray name = testsupport::providerName(provider);
            QTest::newRow(QByteArray(name + " encrypted").constData()) << provider << u"encrypted"_s << u"protegido por senha"_s;
            QTest::newRow(QByteArray(name + " damaged").constData()) << provider << u"damaged"_s << u"oficio.pdf"_s;
            QTest::newRow(QByteArray(name + " empty").constData()) << provider << u"empty"_s << u"está vazio"_s;
            QTest::newRow(QByteArray(name + " not a pdf").constData()) << provider << u"text"_s << u"não é um documento PDF"_s;
        }
    }
    void refusedFilesWriteNothing()
    {
        QFETCH(db::Provider, provider);
        QFETCH(QString, kind);
        QFETCH(QString, told);
        start(provider);
        const QByteArray existing = solid(Qt::gray);
        fx->storePages(u"00003"_s, {existing});
        const QString good = pdfOfPictures(files.path(), u"boa.pdf"_s, {solid(Qt::red)});
        const QString bad = file(u"oficio.pdf"_s);
        if (kind == u"encrypted") {
            QCOMPARE(run(u"qpdf"_s, {u"--encrypt"_s, u"usuario"_s, u"dono"_s, u"256"_s, u"--"_s,
                                     textPdf(files.path(), u"aberto.pdf"_s, 1), bad})
                         .exitCode,
                     0);
        } else if (kind == u"damaged") {
            const QByteArray whole = readAll(textPdf(files.path(), u"inteiro.pdf"_s, 2));
            writeAll(bad, whole.left(whole.size() / 2));
        } else if (kind == u"empty") {
            writeAll(bad, {});
        } else {
            writeAll(bad, "Isto é um texto, não um PDF.\n");
        }
        fx->show(u"00003"_s);

        // Alone, and beside a sound file that must not go in either.
        for (const QStringList &choice : {QStringList{bad}, QStringList{good, bad}}) {
            fx->ui->clearCalls();
            fx->add(choice);
            const auto messages = fx->ui->callsOf(Kind::Message);
            QCOMPARE(messages.size(), 1);
            QVERIFY2(messages.first().text.contains(told), qPrintable(messages.first().text));
            QCOMPARE(fx->storedPages(u"00003"_s), QList<QByteArray>{existing});
            QCOMPARE(fx->screen.LBoxLaudas->count(), 1);
        }
    }

    void pageLimitCountsEveryPage_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void pageLimitCountsEveryPage()
    {
        QFETCH(db::Provider, provider);
        start(provider, {documentRow(u"00007"_s, u"00003"_s, u"2"_s)});
        const QByteArray page = solid(Qt::gray, QSize(8, 8));
        fx->storePages(u"00003"_s, QList<QByteArray>(998, page));
        const QString pdf = pdfOfPictures(files.path(), u"duas.pdf"_s, {solid(Qt::red), solid(Qt::blue)});
        fx->show(u"00003"_s);
        fx->add({pdf});

        const auto messages = fx->ui->callsOf(Kind::Message);
        QCOMPARE(messages.size(), 2);
        // The announced count of 2 was passed long ago: warned once, before the dialog.
        QCOMPARE(messages.at(0).text, u"Número de laudas informado excedido"_s);
        QVERIFY2(messages.at(1).text.contains(u"999"_s), qPrintable(messages.at(1).text));
        QCOMPARE(fx->store()->pageCount({u"00007"_s, u"00003"_s}), 998);
    }

    void exportedDocumentIsChecked_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void exportedDocumentIsChecked()
    {
        QFETCH(db::Provider, provider);
        start(provider, {u"Insert Into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,n_laudas) "
                         u"VALUES (\"00003\",\"00007\",\"00001\",\"OFÍCIO 15\",\"Pedido de reparo da ponte\","
                         u"\"ponte; reparo\",3)"_s});
        const QList<QByteArray> jpegs = {
            picture({600, 840}, Qt::red, Qt::white),          // states no resolution: 300 dpi
            picture({300, 200}, Qt::blue, Qt::white, 150),     // 150 dpi
            pages::withOrientation(picture({200, 100}, Qt::green, Qt::black, 300),
                                   editing::jpeg::Orientation::Rotate90), // seen upright turned
        };
        fx->storePages(u"00003"_s, jpegs);
        fx->show(u"00003"_s);
        QVERIFY(fx->screen.BtnExportarPdf->isEnabled());
        const QString folder = freshFolder(u"saida"_s);
        fx->ui->answerSaveChoice(editing::Prompt::SaveChoice{folder + u"/oficio"_s, 0});
        QTest::mouseClick(fx->screen.BtnExportarPdf, Qt::LeftButton);

        const QString pdf = folder + u"/oficio.pdf"_s;
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"oficio.pdf"_s}); // no temporary
        const Run check = run(u"qpdf"_s, {u"--check"_s, pdf});
        QVERIFY2(check.exitCode == 0, qPrintable(check.out));
        QCOMPARE(infoField(pdf, u"Pages"_s), u"3"_s);
        QCOMPARE(infoField(pdf, u"Title"_s), u"OFÍCIO 15"_s);
        QCOMPARE(infoField(pdf, u"Subject"_s), u"Pedido de reparo da ponte"_s);
        QCOMPARE(infoField(pdf, u"Keywords"_s), u"ponte; reparo"_s);
        QCOMPARE(embeddedJpegs(pdf, freshFolder(u"extraidas"_s)), jpegs);
        const QList<QSizeF> sizes = seenPageSizes(pdf);
        QCOMPARE(sizes.size(), 3);
        QVERIFY(closeTo(sizes.at(0), pointsOf({600, 840}, 300)));
        QVERIFY(closeTo(sizes.at(1), pointsOf({300, 200}, 150)));
        QVERIFY2(closeTo(sizes.at(2), pointsOf({100, 200}, 300)), qPrintable(u"%1 x %2"_s.arg(sizes.at(2).width()).arg(sizes.at(2).height())));
        const QString xmp = run(u"pdfinfo"_s, {u"-meta"_s, pdf}).out;
        QVERIFY2(xmp.contains(u"pdfaid:part"_s), qPrintable(xmp.left(400)));
    }

    void exportedProcessHasABookmarkPerDocument_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void exportedProcessHasABookmarkPerDocument()
    {
        QFETCH(db::Provider, provider);
        start(provider, {documentRow(u"00007"_s, u"00003"_s, u"0"_s, u"OFÍCIO 15"_s),
                         documentRow(u"00007"_s, u"00001"_s, u"0"_s, u"ATA"_s),
                         documentRow(u"00007"_s, u"00002"_s, u"0"_s, u"SEM PÁGINAS"_s)});
        const QList<QByteArray> office = {solid(Qt::red), solid(Qt::green)};
        const QList<QByteArray> minutes = {solid(Qt::blue)};
        fx->storePages(u"00003"_s, office);
        fx->storePages(u"00001"_s, minutes);
        fx->show(u"00003"_s);
        const QString pdf = file(u"processo.pdf"_s);
        fx->ui->answerSaveChoice(editing::Prompt::SaveChoice{pdf, 1});
        QTest::mouseClick(fx->screen.BtnExportarPdf, Qt::LeftButton);

        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
        QCOMPARE(fx->ui->callsOf(Kind::SaveFile).first().filter,
                 u"Documento em PDF (*.pdf);;Processo inteiro em PDF (*.pdf)"_s);
        QCOMPARE(run(u"qpdf"_s, {u"--check"_s, pdf}).exitCode, 0);
        QCOMPARE(embeddedJpegs(pdf, freshFolder(u"processo"_s)), minutes + office); // code order
        const Run json = run(u"qpdf"_s, {u"--json=2"_s, u"--json-key=outlines"_s, pdf});
        const QJsonArray outlines = QJsonDocument::fromJson(json.out.toUtf8()).object().value(u"outlines"_s).toArray();
        QCOMPARE(outlines.size(), 2);
        QCOMPARE(outlines.at(0).toObject().value(u"title"_s).toString(), u"00001 - ATA"_s);
        QCOMPARE(outlines.at(0).toObject().value(u"destpageposfrom1"_s).toInt(), 1);
        QCOMPARE(outlines.at(1).toObject().value(u"title"_s).toString(), u"00003 - OFÍCIO 15"_s);
        QCOMPARE(outlines.at(1).toObject().value(u"destpageposfrom1"_s).toInt(), 2);
    }

    void cancelledExportLeavesTheTargetAsItWas_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void cancelledExportLeavesTheTargetAsItWas()
    {
        QFETCH(db::Provider, provider);
        start(provider);
        fx->storePages(u"00003"_s, {solid(Qt::red), solid(Qt::green), solid(Qt::blue)});
        fx->show(u"00003"_s);
        const QString folder = freshFolder(u"antigo"_s);
        const QString pdf = folder + u"/documento.pdf"_s;
        writeAll(pdf, "o arquivo de antes");
        connect(fx->screen.documentExport, &documents::DocumentExport::progressed, this, [&](int done) {
            if (done != 2)
                return;
            auto *progress = fx->screen.findChild<QProgressDialog *>(u"DlgExportarPdf"_s);
            QVERIFY(progress);
            progress->findChild<QPushButton *>(u"BtnCancelar"_s)->click();
        });
        fx->ui->answerSaveChoice(editing::Prompt::SaveChoice{pdf, 0});
        QTest::mouseClick(fx->screen.BtnExportarPdf, Qt::LeftButton);

        QCOMPARE(readAll(pdf), QByteArray("o arquivo de antes"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"documento.pdf"_s});
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
    }

    void outputsFollowPagesAndEditing_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void outputsFollowPagesAndEditing()
    {
        QFETCH(db::Provider, provider);
        start(provider, {documentRow(u"00007"_s, u"00003"_s), documentRow(u"00007"_s, u"00004"_s)});
        fx->storePages(u"00003"_s, {solid(Qt::red)});
        fx->show(u"00004"_s);
        QVERIFY(!fx->screen.BtnExportarPdf->isEnabled());
        QVERIFY(!fx->screen.BtnImprimirDoc->isEnabled());
        fx->show(u"00003"_s);
        QVERIFY(fx->screen.BtnExportarPdf->isEnabled());
        QVERIFY(fx->screen.BtnImprimirDoc->isEnabled());
        fx->screen.setPageCommandsEnabled(true); // editing: the pages may still change
        QVERIFY(!fx->screen.BtnExportarPdf->isEnabled());
        QVERIFY(fx->screen.BtnImprimirDoc->isEnabled());
        fx->screen.setPageCommandsEnabled(false);
        QVERIFY(fx->screen.BtnExportarPdf->isEnabled());
    }

    void wholeDocumentPrintsOneA4SheetPerPage_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void wholeDocumentPrintsOneA4SheetPerPage()
    {
        QFETCH(db::Provider, provider);
        start(provider);
        // Page 2 is stored lying (red left, green right) with an orientation that stands it
        // up: red on top.
        fx->storePages(u"00003"_s, {solid(Qt::red), pages::withOrientation(picture({84, 60}, Qt::red, Qt::green),
                                                                           editing::jpeg::Orientation::Rotate90),
                                    solid(Qt::blue)});
        fx->show(u"00003"_s);
        const QString pdf = file(u"impressao.pdf"_s);
        const QString saved = file(u"relatorio.pdf"_s);
        QStringList pageTexts;
        whenShown(u"DlgPrintPreview"_s, [&](QDialog *dialog) {
            auto *window = static_cast<documents::PrintPreviewWindow *>(dialog);
            pageTexts << window->pageText();
            for (const char *step : {"ActNextPage", "ActNextPage", "ActNextPage", "ActFirstPage"}) {
                window->findChild<QAction *>(QString::fromLatin1(step))->trigger();
                pageTexts << window->pageText();
            }
            QPrinter printer(QPrinter::HighResolution);
            documents::report::configurePrinter(printer);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            fx->screen.printForm().printTo(printer);
            fx->ui->answerFile(saved); // "Save Report" keeps every sheet too
            window->findChild<QAction *>(u"ActSaveReport"_s)->trigger();
            dialog->accept();
        });
        QTest::mouseClick(fx->screen.BtnImprimirDoc, Qt::LeftButton);

        QCOMPARE(pageTexts, (QStringList{u"Page 1 of 3"_s, u"Page 2 of 3"_s, u"Page 3 of 3"_s, u"Page 3 of 3"_s,
                                         u"Page 1 of 3"_s}));
        QCOMPARE(infoField(pdf, u"Pages"_s), u"3"_s);
        QCOMPARE(infoField(saved, u"Pages"_s), u"3"_s);
        const QList<QSizeF> sizes = seenPageSizes(pdf);
        QCOMPARE(sizes.size(), 3);
        for (const QSizeF &size : sizes)
            QVERIFY(closeTo(size, QSizeF(595.28, 841.89)));
        const QString prefix = file(u"folha"_s);
        QCOMPARE(run(u"pdftoppm"_s, {u"-r"_s, u"20"_s, u"-png"_s, pdf, prefix}).exitCode, 0);
        const auto colourAt = [&](int page, double y) {
            const QImage sheet(u"%1-%2.png"_s.arg(prefix).arg(page));
            return sheet.pixelColor(sheet.width() / 2, int(sheet.height() * y));
        };
        const auto near = [](QColor seen, QColor wanted) {
            return qAbs(seen.red() - wanted.red()) < 40 && qAbs(seen.green() - wanted.green()) < 40
                && qAbs(seen.blue() - wanted.blue()) < 40;
        };
        QVERIFY(near(colourAt(1, 0.5), Qt::red));
        QVERIFY(near(colourAt(2, 0.25), Qt::red));
        QVERIFY(near(colourAt(2, 0.75), Qt::green));
        QVERIFY(near(colourAt(3, 0.5), Qt::blue));
        QVERIFY(near(colourAt(1, 0.01), Qt::white)); // the 10 mm margin
    }

    void searchHitViewPrintsAndExports_data() { pdfOfPicturesIsTakenByteForByte_data(); }
    void searchHitViewPrintsAndExports()
    {
        QFETCH(db::Provider, provider);
        start(provider, {documentRow(u"00007"_s, u"00003"_s, u"0"_s, u"OFÍCIO 15"_s)});
        const QList<QByteArray> jpegs = {solid(Qt::red), solid(Qt::blue)};
        fx->storePages(u"00003"_s, jpegs);
        TFramePesquisaAvancada search;
        search.setProgramDir(fx->archive.programDir());
        search.setConnection(&fx->archive.connection());
        search.show();
        QVERIFY(!search.BtnExportarPdf->isEnabled());
        search.Edit1->setText(u"OFÍCIO"_s);
        QTest::mouseClick(search.BtnPesquisarAgora, Qt::LeftButton);
        QVERIFY(search.BtnExportarPdf->isEnabled());
        QVERIFY(search.BtnImprimirDoc->isEnabled());

        const QString pdf = file(u"achado.pdf"_s);
        fx->ui->answerSaveChoice(editing::Prompt::SaveChoice{pdf, 0});
        QTest::mouseClick(search.BtnExportarPdf, Qt::LeftButton);
        QCOMPARE(embeddedJpegs(pdf, freshFolder(u"achado"_s)), jpegs);
        QCOMPARE(infoField(pdf, u"Title"_s), u"OFÍCIO 15"_s);

        int sheets = 0;
        whenShown(u"DlgPrintPreview"_s, [&](QDialog *dialog) {
            sheets = static_cast<documents::PrintPreviewWindow *>(dialog)->view()->pageCount();
            dialog->accept();
        });
        QTest::mouseClick(search.BtnImprimirDoc, Qt::LeftButton);
        QCOMPARE(sheets, 2);

        QTest::mouseClick(search.BtnNovaPesquisa, Qt::LeftButton);
        QVERIFY(!search.BtnExportarPdf->isEnabled());
        QVERIFY(!search.BtnImprimirDoc->isEnabled());
        QVERIFY(fx->ui->callsOf(Kind::Message).isEmpty());
    }
};

QTEST_MAIN(TestPdfScreen)
#include "tst_screen_pdf_pg.moc"
