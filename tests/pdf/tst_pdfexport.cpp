#include "PdfFixtures.h"

#include "pdf/PdfError.h"
#include "pdf/PdfExport.h"
#include "pdf/PdfImport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTransform>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;
using namespace pdftest;
using pdf::ExportDocument;
using pdf::ExportOutcome;
using pdf::ExportPage;
using pdf::PageSource;

namespace {

ExportPage filePage(const QString &path)
{
    return ExportPage{PageSource::file(path)};
}

ExportDocument document(const QString &bookmark, const QStringList &paths)
{
    ExportDocument d;
    d.bookmark = bookmark;
    for (const QString &path : paths)
        d.pages << filePage(path);
    return d;
}

// "Key: value" lines of pdfinfo.
QMap<QString, QString> pdfinfo(const QStringList &arguments)
{
    QMap<QString, QString> fields;
    const ToolRun run = runTool(u"pdfinfo"_s, arguments);
    for (const QString &line : QString::fromUtf8(run.out).split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon > 0)
            fields.insert(line.left(colon).simplified(), line.mid(colon + 1).trimmed());
    }
    return fields;
}

QSizeF pointsOf(const QString &pageSize) // "595.2 x 841.92 pts (A4)"
{
    const QStringList parts = pageSize.split(u' ');
    return parts.size() >= 3 ? QSizeF(parts[0].toDouble(), parts[2].toDouble()) : QSizeF();
}

QJsonObject qpdfJson(const QString &file)
{
    const ToolRun run = runTool(u"qpdf"_s, {u"--json"_s, file});
    return QJsonDocument::fromJson(run.out).object();
}

// The value of an object ("3 0 R") in qpdf's JSON: a stream's dictionary for a stream.
QJsonObject objectOf(const QJsonObject &json, const QString &reference)
{
    const QJsonObject entry = json[u"qpdf"_s].toArray()[1].toObject()[u"obj:"_s + reference].toObject();
    return entry.contains(u"stream"_s) ? entry[u"stream"_s][u"dict"_s].toObject() : entry[u"value"_s].toObject();
}

QJsonObject rootOf(const QJsonObject &json)
{
    const QJsonObject trailer = json[u"qpdf"_s].toArray()[1].toObject()[u"trailer"_s][u"value"_s].toObject();
    return objectOf(json, trailer[u"/Root"_s].toString());
}

QJsonObject trailerOf(const QJsonObject &json)
{
    return json[u"qpdf"_s].toArray()[1].toObject()[u"trailer"_s][u"value"_s].toObject();
}

QString objectNumber(const QString &reference) // "12 0 R" -> "12"
{
    return reference.section(u' ', 0, 0);
}

// "D:20240115103000-03'00'" or "D:20240115133000Z" as an instant.
QDateTime fromPdfDate(QString text)
{
    text.remove(u"u:"_s);
    static const QRegularExpression pattern(u"^D:(\\d{14})(?:Z|([+-])(\\d\\d)'(\\d\\d)'?)$"_s);
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    QDateTime local = QDateTime::fromString(match.captured(1), u"yyyyMMddHHmmss"_s);
    const int offset = (match.captured(3).toInt() * 3600 + match.captured(4).toInt() * 60) * (match.captured(2) == u"-"_s ? -1 : 1);
    local.setOffsetFromUtc(offset); // no sign: "Z", UTC
    return local;
}

// The upright picture shown by a page whose stored picture carries EXIF orientation k:
// the stored picture is that picture turned back.
QImage storedFor(const QImage &upright, int orientation)
{
    const auto turned = [](const QImage &image, int degrees) { return image.transformed(QTransform().rotate(degrees)); };
    switch (orientation) {
    case 2: return upright.mirrored(true, false);
    case 3: return turned(upright, 180);
    case 4: return upright.mirrored(false, true);
    case 5: return turned(upright, 90).mirrored(true, false);
    case 6: return turned(upright, 270);
    case 7: return turned(upright, 270).mirrored(true, false);
    case 8: return turned(upright, 90);
    default: return upright;
    }
}

} // namespace

class TestPdfExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void exportedFilePassesTheChecks();
    void orientationShowsUpright_data();
    void orientationShowsUpright();
    void exportedPagesComeBackByteForByte();
    void eachPageIsReadWhenWritten();
    void refusedPageLeavesNothing_data();
    void refusedPageLeavesNothing();
    void failureWhileWritingLeavesTargetAsItWas_data();
    void failureWhileWritingLeavesTargetAsItWas();
    void cancelLeavesNothing_data();
    void cancelLeavesNothing();
    void nothingToExport();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString m_a4;     // 2480 x 3508, JFIF 300 dpi
    QString m_grey;   // 400 x 560, JFIF 200 dpi, one component
    QString m_dpcm;   // 236 x 354, JFIF 118 per centimetre
    QString m_exif;   // 400 x 300, EXIF 200 dpi (little-endian), JFIF states none
    QString m_plain;  // 320 x 240, states nothing
    QString m_turned; // 300 x 420, EXIF orientation 6
    QStringList pagePaths() const { return {m_a4, m_grey, m_dpcm, m_exif, m_plain, m_turned}; }
};

void TestPdfExport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir(m_dir.path()).mkdir(u"pages"_s);
    m_a4 = path(u"pages/a4.jpg"_s);
    m_grey = path(u"pages/grey.jpg"_s);
    m_dpcm = path(u"pages/dpcm.jpg"_s);
    m_exif = path(u"pages/exif.jpg"_s);
    m_plain = path(u"pages/plain.jpg"_s);
    m_turned = path(u"pages/turned.jpg"_s);
    QVERIFY(writeFile(m_a4, withJfifDensity(colourJpeg(1, QSize(2480, 3508)), 1, 300, 300)));
    QVERIFY(writeFile(m_grey, greyJpeg(QSize(400, 560), 200)));
    QVERIFY(writeFile(m_dpcm, withJfifDensity(colourJpeg(2, QSize(236, 354)), 2, 118, 118)));
    QVERIFY(writeFile(m_exif, withExif(colourJpeg(3, QSize(400, 300)), {std::nullopt, 200.0, 2, false})));
    QVERIFY(writeFile(m_plain, colourJpeg(4, QSize(320, 240))));
    QVERIFY(writeFile(m_turned, withExif(colourJpeg(5, QSize(300, 420)), {6, std::nullopt, 2, true})));
}

void TestPdfExport::exportedFilePassesTheChecks()
{
    const QString file = path(u"processo.pdf"_s);
    pdf::ExportMetadata metadata;
    metadata.title = u"Ofício nº 15 — licitação\a"_s; // the bell is no text: left out
    metadata.subject = u"Compra de material de expediente & papel <A4>"_s;
    metadata.keywords = u"licitação, ofício"_s;
    const QList<ExportDocument> documents = {document(u"00003 - OFÍCIO 15"_s, {m_a4, m_grey}),
                                             document(QString(), {}), // a document without pages
                                             document(u"00004 - DESPACHO"_s, {m_dpcm, m_exif, m_plain, m_turned})};
    QCOMPARE(pdf::exportPdf(file, metadata, documents), ExportOutcome::Written);
    QCOMPARE(filesIn(m_dir.path()), QStringList{u"processo.pdf"_s});

    const ToolRun check = runTool(u"qpdf"_s, {u"--check"_s, file});
    QVERIFY2(check.exitCode == 0 && check.out.contains("No syntax or stream encoding errors found"), QByteArray(check.out + check.err).constData());

    const auto info = pdfinfo({u"-f"_s, u"1"_s, u"-l"_s, u"6"_s, file});
    QCOMPARE(info[u"Title"_s], u"Ofício nº 15 — licitação"_s);
    QCOMPARE(info[u"Subject"_s], metadata.subject);
    QCOMPARE(info[u"Keywords"_s], metadata.keywords);
    QCOMPARE(info[u"Creator"_s], u"Cartulo"_s);
    QCOMPARE(info[u"PDF version"_s], u"1.7"_s);
    QCOMPARE(info[u"Pages"_s], u"6"_s);
    QCOMPARE(info[u"Encrypted"_s], u"no"_s);
    QCOMPARE(info[u"Metadata Stream"_s], u"yes"_s);
    // Page sizes from the stated resolutions; 300 dpi where none is stated.
    const QList<QSizeF> sizes = {{595.2, 841.92}, {144, 201.6}, {236 / 118.0 / 2.54 * 72, 354 / 118.0 / 2.54 * 72},
                                 {144, 108}, {76.8, 57.6}, {72, 100.8}};
    for (int page = 1; page <= 6; ++page) {
        const QString prefix = u"Page %1"_s.arg(page);
        const QSizeF size = pointsOf(info[prefix + u" size"_s]);
        QVERIFY2(std::abs(size.width() - sizes[page - 1].width()) < 0.01 && std::abs(size.height() - sizes[page - 1].height()) < 0.01,
                 qPrintable(u"page %1 is %2"_s.arg(page).arg(info[prefix + u" size"_s])));
        QCOMPARE(info[prefix + u" rot"_s], page == 6 ? u"90"_s : u"0"_s);
    }
    QVERIFY(info[u"Page 1 size"_s].endsWith(u"(A4)"_s));

    // The pictures are in the file as they are in the page files.
    const ToolRun list = runTool(u"pdfimages"_s, {u"-list"_s, file});
    const QStringList rows = QString::fromUtf8(list.out).split(u'\n', Qt::SkipEmptyParts).mid(2);
    QCOMPARE(rows.size(), 6);
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList columns = rows[i].simplified().split(u' ');
        QCOMPARE(columns[0], QString::number(i + 1));                 // page
        QCOMPARE(columns[5], i == 1 ? u"gray"_s : u"rgb"_s);         // color
        QCOMPARE(columns[8], u"jpeg"_s);                              // enc
    }
    QDir(m_dir.path()).mkdir(u"extracted"_s);
    QCOMPARE(runTool(u"pdfimages"_s, {u"-all"_s, file, path(u"extracted/p"_s)}).exitCode, 0);
    const QStringList extracted = filesIn(path(u"extracted"_s));
    QCOMPARE(extracted.size(), 6);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(extracted[i], u"p-%1.jpg"_s.arg(i, 3, 10, QChar(u'0')));
        QVERIFY2(readFile(path(u"extracted/"_s + extracted[i])) == readFile(pagePaths()[i]), qPrintable(extracted[i]));
    }

    const QJsonObject json = qpdfJson(file);
    const QJsonArray outlines = json[u"outlines"_s].toArray();
    QCOMPARE(outlines.size(), 2);
    QCOMPARE(outlines[0][u"title"_s].toString(), u"00003 - OFÍCIO 15"_s);
    QCOMPARE(outlines[0][u"destpageposfrom1"_s].toInt(), 1);
    QCOMPARE(outlines[1][u"title"_s].toString(), u"00004 - DESPACHO"_s);
    QCOMPARE(outlines[1][u"destpageposfrom1"_s].toInt(), 3);

    const QJsonObject trailer = trailerOf(json);
    QCOMPARE(trailer[u"/ID"_s].toArray().size(), 2);
    QVERIFY(!trailer.contains(u"/Encrypt"_s));
    const QJsonObject root = rootOf(json);
    const QJsonObject intent = root[u"/OutputIntents"_s].toArray()[0].toObject();
    QCOMPARE(intent[u"/S"_s].toString(), u"/GTS_PDFA1"_s);
    QCOMPARE(objectOf(json, intent[u"/DestOutputProfile"_s].toString())[u"/N"_s].toInt(), 3);
    const QJsonObject metadataStream = objectOf(json, root[u"/Metadata"_s].toString());
    QCOMPARE(metadataStream[u"/Subtype"_s].toString(), u"/XML"_s);
    QVERIFY(!metadataStream.contains(u"/Filter"_s)); // readable without decoding

    // The XMP packet says PDF/A-2b and repeats the Info dictionary.
    const ToolRun raw = runTool(u"qpdf"_s, {u"--show-object="_s + objectNumber(root[u"/Metadata"_s].toString()),
                                            u"--raw-stream-data"_s, file});
    QXmlStreamReader xmp(raw.out);
    QMap<QString, QString> xmpTexts;
    QString element;
    while (!xmp.atEnd()) {
        xmp.readNext();
        if (xmp.isStartElement() && xmp.qualifiedName() != u"rdf:Alt"_s && xmp.qualifiedName() != u"rdf:li"_s)
            element = xmp.qualifiedName().toString();
        else if (xmp.isCharacters() && !xmp.isWhitespace())
            xmpTexts[element] += xmp.text();
    }
    QVERIFY2(!xmp.hasError(), qPrintable(xmp.errorString()));
    QCOMPARE(xmpTexts[u"pdfaid:part"_s], u"2"_s);
    QCOMPARE(xmpTexts[u"pdfaid:conformance"_s], u"B"_s);
    QCOMPARE(xmpTexts[u"dc:title"_s], info[u"Title"_s]);
    QCOMPARE(xmpTexts[u"dc:description"_s], metadata.subject);
    QCOMPARE(xmpTexts[u"pdf:Keywords"_s], metadata.keywords);
    QCOMPARE(xmpTexts[u"xmp:CreatorTool"_s], u"Cartulo"_s);
    QCOMPARE(xmpTexts[u"pdf:Producer"_s], info[u"Producer"_s]);
    const QJsonObject infoDict = objectOf(json, trailer[u"/Info"_s].toString());
    const QDateTime created = fromPdfDate(infoDict[u"/CreationDate"_s].toString());
    QVERIFY2(created.isValid(), qPrintable(infoDict[u"/CreationDate"_s].toString()));
    QCOMPARE(QDateTime::fromString(xmpTexts[u"xmp:CreateDate"_s], Qt::ISODate), created);
    QCOMPARE(QDateTime::fromString(xmpTexts[u"xmp:ModifyDate"_s], Qt::ISODate), fromPdfDate(infoDict[u"/ModDate"_s].toString()));
}

void TestPdfExport::orientationShowsUpright_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("rotation");
    for (const auto &[orientation, rotation] : {std::pair{1, 0}, {2, 0}, {3, 180}, {4, 180}, {5, 270}, {6, 90}, {7, 90}, {8, 270}})
        QTest::addRow("EXIF orientation %d", orientation) << orientation << rotation;
}

void TestPdfExport::orientationShowsUpright()
{
    QFETCH(int, orientation);
    QFETCH(int, rotation);
    const QImage upright = quadrants(QSize(160, 240));
    const QString picture = path(u"oriented.jpg"_s);
    QVERIFY(writeFile(picture, withExif(editing::jpeg::encode(storedFor(upright, orientation)), {orientation, std::nullopt, 2, true})));
    const QString file = path(u"oriented.pdf"_s);
    QCOMPARE(pdf::exportPdf(file, {}, {document(QString(), {picture})}), ExportOutcome::Written);
    QCOMPARE(pdfinfo({file})[u"Page rot"_s], QString::number(rotation));

    const QString rendered = path(u"oriented"_s);
    QCOMPARE(runTool(u"pdftoppm"_s, {u"-r"_s, u"300"_s, u"-png"_s, u"-singlefile"_s, file, rendered}).exitCode, 0);
    const QImage shown(rendered + u".png"_s);
    QCOMPARE(shown.size(), upright.size());
    for (const QPoint centre : {QPoint(40, 60), QPoint(120, 60), QPoint(40, 180), QPoint(120, 180)})
        QVERIFY2(near(shown.pixel(centre), upright.pixel(centre)),
                 qPrintable(u"at (%1, %2): #%3"_s.arg(centre.x()).arg(centre.y()).arg(shown.pixel(centre), 6, 16)));
    QVERIFY(QFile::remove(rendered + u".png"_s));
}

void TestPdfExport::exportedPagesComeBackByteForByte()
{
    const QString file = path(u"roundtrip.pdf"_s);
    const QStringList upright = {m_a4, m_grey, m_dpcm, m_exif, m_plain};
    QCOMPARE(pdf::exportPdf(file, {}, {document(u"00001 - A"_s, upright)}), ExportOutcome::Written);
    pdf::PdfImport import(file);
    QCOMPARE(import.pageCount(), upright.size());
    for (int i = 0; i < upright.size(); ++i) {
        const pdf::ImportedPage page = import.readPage(i);
        QCOMPARE(page.origin, pdf::PageOrigin::Copied);
        QVERIFY(page.jpeg == readFile(upright[i]));
    }
}

void TestPdfExport::eachPageIsReadWhenWritten()
{
    // Pages from another store: each is asked for twice (measured, then written), never
    // kept, and goes in unchanged.
    QList<QByteArray> pictures = {colourJpeg(7), greyJpeg(QSize(200, 100), 150), colourJpeg(8)};
    QList<int> reads(pictures.size(), 0);
    ExportDocument d;
    for (int i = 0; i < pictures.size(); ++i) {
        d.pages << ExportPage{PageSource::reader(u"página %1"_s.arg(i + 1), [&, i] {
            ++reads[i];
            return pictures[i];
        })};
    }
    QList<std::pair<int, int>> steps;
    const QString file = path(u"store.pdf"_s);
    QCOMPARE(pdf::exportPdf(file, {}, {d}, [&](int done, int total) {
                 steps << std::pair{done, total};
                 return true;
             }),
             ExportOutcome::Written);
    QCOMPARE(reads, QList<int>({2, 2, 2}));
    QCOMPARE(steps.size(), 6);
    for (int i = 0; i < steps.size(); ++i)
        QCOMPARE(steps[i], std::pair(i + 1, 6));

    const QString extracted = path(u"store"_s);
    QCOMPARE(runTool(u"pdfimages"_s, {u"-all"_s, file, extracted}).exitCode, 0);
    for (int i = 0; i < pictures.size(); ++i) {
        const QString name = extracted + u"-%1.jpg"_s.arg(i, 3, 10, QChar(u'0'));
        QVERIFY(readFile(name) == pictures[i]);
        QVERIFY(QFile::remove(name));
    }
}

void TestPdfExport::refusedPageLeavesNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("CMYK") << libjpegPicture(QSize(64, 48), JCS_CMYK, false)
                          << u"A página 2 (recusada.jpg) está em cores CMYK, que um PDF/A com perfil sRGB não admite; "
                             u"converta-a para RGB antes de exportar."_s;
    QTest::newRow("arithmetic coding") << libjpegPicture(QSize(64, 48), JCS_RGB, true)
                                       << u"A página 2 (recusada.jpg) usa uma codificação JPEG que o formato PDF não admite."_s;
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    QTest::newRow("PNG") << png << u"A página 2 (recusada.jpg) não é uma imagem JPEG."_s;
    QTest::newRow("missing") << QByteArray() << u"Não foi possível ler a página recusada.jpg: No such file or directory"_s;
}

void TestPdfExport::refusedPageLeavesNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QTemporaryDir folder;
    const QString refused = folder.filePath(u"recusada.jpg"_s);
    if (!bytes.isEmpty())
        QVERIFY(writeFile(refused, bytes));
    const QString target = folder.filePath(u"saida.pdf"_s);
    QVERIFY(writeFile(target, "o arquivo de antes"));
    const QStringList before = filesIn(folder.path());

    try {
        pdf::exportPdf(target, {}, {document(u"00001 - A"_s, {m_plain, refused, m_grey})});
        QFAIL("the export went through");
    } catch (const pdf::PdfError &e) {
        QCOMPARE(e.message(), message);
    }
    QCOMPARE(filesIn(folder.path()), before);
    QCOMPARE(readFile(target), QByteArray("o arquivo de antes"));
}

void TestPdfExport::failureWhileWritingLeavesTargetAsItWas_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QByteArray>("secondRead"); // empty: the store fails
    QTest::addColumn<QString>("message");
    QTest::newRow("page replaced meanwhile") << QString() << colourJpeg(9, QSize(100, 100))
                                             << u"A página 2 (instável) mudou durante a exportação."_s;
    QTest::newRow("store fails meanwhile") << QString() << QByteArray() << u"O banco de páginas não responde."_s;
    QTest::newRow("no such folder") << u"nao-existe"_s << QByteArray() << u"Não foi possível gravar o arquivo saida.pdf: "_s;
}

void TestPdfExport::failureWhileWritingLeavesTargetAsItWas()
{
    QFETCH(QString, folder);
    QFETCH(QByteArray, secondRead);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString target = dir.filePath(folder.isEmpty() ? u"saida.pdf"_s : folder + u"/saida.pdf"_s);
    if (folder.isEmpty())
        QVERIFY(writeFile(target, "o arquivo de antes"));
    const QStringList before = filesIn(dir.path());

    int reads = 0;
    ExportDocument d = document(u"00001 - A"_s, {m_plain});
    d.pages << ExportPage{PageSource::reader(u"instável"_s, [&]() -> QByteArray {
        if (++reads == 1)
            return colourJpeg(10);
        if (secondRead.isEmpty())
            throw pdf::PdfError(u"O banco de páginas não responde."_s);
        return secondRead;
    })};
    d.pages << filePage(m_grey);
    try {
        pdf::exportPdf(target, {}, {d});
        QFAIL("the export went through");
    } catch (const pdf::PdfError &e) {
        QVERIFY2(e.message().startsWith(message), qPrintable(e.message()));
    }
    QCOMPARE(filesIn(dir.path()), before);
    if (folder.isEmpty()) {
        QCOMPARE(reads, 2);
        QCOMPARE(readFile(target), QByteArray("o arquivo de antes"));
    }
}

void TestPdfExport::cancelLeavesNothing_data()
{
    QTest::addColumn<int>("cancelAt");
    QTest::newRow("while measuring") << 2;
    QTest::newRow("while writing") << 8;
    QTest::newRow("at the last page") << 12;
}

void TestPdfExport::cancelLeavesNothing()
{
    QFETCH(int, cancelAt);
    QTemporaryDir folder;
    const QString target = folder.filePath(u"saida.pdf"_s);
    int lastStep = 0;
    const auto outcome = pdf::exportPdf(target, {}, {document(u"00001 - A"_s, pagePaths())}, [&](int done, int total) {
        lastStep = done;
        return total == 12 && done < cancelAt;
    });
    QCOMPARE(outcome, ExportOutcome::Cancelled);
    QCOMPARE(lastStep, cancelAt);
    QCOMPARE(filesIn(folder.path()), QStringList());
}

void TestPdfExport::nothingToExport()
{
    const QString target = path(u"vazio.pdf"_s);
    try {
        pdf::exportPdf(target, {}, {document(u"00001 - A"_s, {})});
        QFAIL("an empty file was written");
    } catch (const pdf::PdfError &e) {
        QCOMPARE(e.message(), u"Não há páginas para exportar."_s);
    }
    QVERIFY(!QFile::exists(target));
}

QTEST_MAIN(TestPdfExport)
#include "tst_pdfexport.moc"
