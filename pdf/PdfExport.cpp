#include "pdf/PdfExport.h"

#include "pdf/JpegHeader.h"
#include "pdf/Logging.h"
#include "pdf/PagePlacement.h"
#include "pdf/PdfError.h"
#include "pdf/TextLayer.h"
#include "pdf/XmpPacket.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <cerrno>
#include <cstring>
#include <map>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace pdf {

namespace {

using Handle = QPDFObjectHandle;

// Enough for the header of nearly every JPEG; a picture with larger segments before its
// frame is read whole.
constexpr qsizetype kHeadBytes = 128 * 1024;
constexpr const char *kCreatorTool = "Cartulo";

// Thrown through qpdf from the page provider, deliberately not std::exceptions: qpdf
// turns those into its own error, and the caller's cancel or the page's message would
// be lost on the way.
struct Cancelled {};
struct PageFailed {
    PdfError error;
};

QString fileNameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

PdfError cannotWrite(const QString &target, const QString &why)
{
    return PdfError(u"Não foi possível gravar o arquivo %1: %2"_s.arg(fileNameOf(target), why));
}

// The first `limit` bytes of a page file, or all of them for a negative limit.
QByteArray readPageFile(const QString &path, const QString &name, qsizetype limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PdfError(u"Não foi possível ler a página %1: %2"_s.arg(name, file.errorString()));
    QByteArray bytes = limit < 0 ? file.readAll() : file.read(limit);
    if (file.error() != QFileDevice::NoError)
        throw PdfError(u"Não foi possível ler a página %1: %2"_s.arg(name, file.errorString()));
    return bytes;
}

struct PlannedPage {
    const PageSource *source = nullptr;
    const ExportPage *page = nullptr;
    int number = 0; // 1-based, across the whole file
    JpegHeader header;
    PagePlacement placement;
};

class Steps {
public:
    Steps(const ExportProgress &progress, int total) : m_progress(progress), m_total(total) {}
    void advance()
    {
        ++m_done;
        if (m_progress && !m_progress(m_done, m_total))
            throw Cancelled{};
    }

private:
    const ExportProgress &m_progress;
    int m_total;
    int m_done = 0;
};

QString describe(const PlannedPage &page)
{
    return u"A página %1 (%2)"_s.arg(page.number).arg(page.source->name());
}

JpegHeader measure(const PlannedPage &page)
{
    std::optional<JpegHeader> header;
    const QByteArray head = page.source->readHead(kHeadBytes);
    header = readJpegHeader(head);
    if (!header && head.size() >= kHeadBytes)
        header = readJpegHeader(page.source->readAll());
    if (!header)
        throw PdfError(describe(page) + u" não é uma imagem JPEG."_s);
    if (header->components == 4)
        throw PdfError(describe(page)
                       + u" está em cores CMYK, que um PDF/A com perfil sRGB não admite; converta-a para RGB antes de exportar."_s);
    if ((header->components != 1 && header->components != 3) || !header->isDctDecodable())
        throw PdfError(describe(page) + u" usa uma codificação JPEG que o formato PDF não admite."_s);
    return *header;
}

std::vector<PlannedPage> plan(const QList<ExportDocument> &documents, Steps &steps)
{
    std::vector<PlannedPage> pages;
    for (const ExportDocument &document : documents) {
        for (const ExportPage &page : document.pages) {
            PlannedPage planned;
            planned.source = &page.source;
            planned.page = &page;
            planned.number = int(pages.size()) + 1;
            planned.header = measure(planned);
            planned.placement = placePicture(planned.header);
            pages.push_back(planned);
            steps.advance();
        }
    }
    return pages;
}

// Hands qpdf each page's bytes while it writes, so only one picture is in memory.
class PagePictures : public QPDFObjectHandle::StreamDataProvider {
public:
    PagePictures(const std::vector<PlannedPage> &pages, Steps &steps) : m_pages(pages), m_steps(steps) {}

    void add(QPDFObjGen image, size_t page) { m_pageOf[image] = page; }

    using StreamDataProvider::provideStreamData;
    void provideStreamData(QPDFObjGen const &image, Pipeline *pipeline) override
    {
        const PlannedPage &page = m_pages.at(m_pageOf.at(image));
        QByteArray bytes;
        try {
            bytes = page.source->readAll();
        } catch (const PdfError &e) {
            throw PageFailed{e};
        } catch (const std::exception &e) {
            throw PageFailed{PdfError(describe(page) + u" não pôde ser lida: "_s + QString::fromLocal8Bit(e.what()))};
        }
        const auto header = readJpegHeader(bytes);
        // The page was measured a moment ago; a picture replaced since would not fit it.
        if (!header || header->pixels != page.header.pixels || header->components != page.header.components)
            throw PageFailed{PdfError(describe(page) + u" mudou durante a exportação."_s)};
        pipeline->write(reinterpret_cast<const unsigned char *>(bytes.constData()), size_t(bytes.size()));
        m_steps.advance();
    }

private:
    const std::vector<PlannedPage> &m_pages;
    Steps &m_steps;
    std::map<QPDFObjGen, size_t> m_pageOf;
};

// Writes qpdf's output into the temporary file of a QSaveFile.
class SaveFilePipeline : public Pipeline {
public:
    SaveFilePipeline(QSaveFile &file, const QString &target) : Pipeline("cartulo file", nullptr), m_file(file), m_target(target) {}
    void write(unsigned char const *data, size_t length) override
    {
        if (m_file.write(reinterpret_cast<const char *>(data), qint64(length)) != qint64(length))
            throw cannotWrite(m_target, m_file.errorString());
    }
    void finish() override
    {
        if (!m_file.flush())
            throw cannotWrite(m_target, m_file.errorString());
    }

private:
    QSaveFile &m_file;
    QString m_target;
};

Handle name(const char *text)
{
    return Handle::newName(text);
}

Handle unicode(const QString &text)
{
    return Handle::newUnicodeString(text.toStdString());
}

std::string number(double value)
{
    return QUtil::double_to_string(value, 4);
}

// The picture over the whole media box, flipped left to right when EXIF asks for it. A
// text layer's invisible words would follow these operators.
std::string pictureDrawing(const PagePlacement &placement)
{
    const std::string w = number(placement.mediaBox.width()), h = number(placement.mediaBox.height());
    if (placement.mirrored)
        return "q -" + w + " 0 0 " + h + " " + w + " 0 cm /Im0 Do Q\n";
    return "q " + w + " 0 0 " + h + " 0 0 cm /Im0 Do Q\n";
}

Handle addPage(QPDF &pdf, const PlannedPage &page, const std::shared_ptr<PagePictures> &pictures, TextLayer &text)
{
    Handle image = Handle::newStream(&pdf);
    Handle imageDict = image.getDict();
    imageDict.replaceKey("/Type", name("/XObject"));
    imageDict.replaceKey("/Subtype", name("/Image"));
    imageDict.replaceKey("/Width", Handle::newInteger(page.header.pixels.width()));
    imageDict.replaceKey("/Height", Handle::newInteger(page.header.pixels.height()));
    imageDict.replaceKey("/ColorSpace", name(page.header.components == 1 ? "/DeviceGray" : "/DeviceRGB"));
    imageDict.replaceKey("/BitsPerComponent", Handle::newInteger(8));
    image.replaceStreamData(pictures, name("/DCTDecode"), Handle::newNull());
    image.setFilterOnWrite(false); // the bytes go in as they are
    pictures->add(image.getObjGen(), size_t(page.number - 1));

    Handle xobjects = Handle::newDictionary();
    xobjects.replaceKey("/Im0", image);
    Handle resources = Handle::newDictionary();
    resources.replaceKey("/XObject", xobjects);

    Handle dict = Handle::newDictionary();
    dict.replaceKey("/Type", name("/Page"));
    dict.replaceKey("/MediaBox", Handle::newArray(QPDFObjectHandle::Rectangle(
                                     0, 0, page.placement.mediaBox.width(), page.placement.mediaBox.height())));
    dict.replaceKey("/Resources", resources);
    std::string contents = pictureDrawing(page.placement);
    if (!page.page->words.isEmpty()) {
        const std::string words = text.drawing(page.page->words, page.page->wordsPicture, page.header.pixels, page.placement);
        if (!words.empty()) {
            contents += words;
            Handle fonts = Handle::newDictionary();
            fonts.replaceKey(TextLayer::kFontName, text.font(pdf));
            resources.replaceKey("/Font", fonts);
        }
    }
    dict.replaceKey("/Contents", Handle::newStream(&pdf, contents));
    if (page.placement.rotate != 0)
        dict.replaceKey("/Rotate", Handle::newInteger(page.placement.rotate));
    Handle pageObject = pdf.makeIndirectObject(dict);
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(pageObject), false);
    return pageObject;
}

// One bookmark per document, each leading to the document's first page.
void addBookmarks(QPDF &pdf, const QList<ExportDocument> &documents, const std::vector<Handle> &pageObjects)
{
    std::vector<Handle> items;
    Handle outlines = pdf.makeIndirectObject(Handle::newDictionary());
    outlines.replaceKey("/Type", name("/Outlines"));
    size_t firstPage = 0;
    for (const ExportDocument &document : documents) {
        const QString title = metadataText(document.bookmark);
        if (!title.isEmpty() && !document.pages.isEmpty()) {
            Handle item = pdf.makeIndirectObject(Handle::newDictionary());
            item.replaceKey("/Title", unicode(title));
            item.replaceKey("/Parent", outlines);
            Handle destination = Handle::newArray();
            destination.appendItem(pageObjects.at(firstPage));
            destination.appendItem(name("/Fit"));
            item.replaceKey("/Dest", destination);
            if (!items.empty()) {
                items.back().replaceKey("/Next", item);
                item.replaceKey("/Prev", items.back());
            }
            items.push_back(item);
        }
        firstPage += size_t(document.pages.size());
    }
    if (items.empty())
        return;
    outlines.replaceKey("/First", items.front());
    outlines.replaceKey("/Last", items.back());
    outlines.replaceKey("/Count", Handle::newInteger(qint64(items.size())));
    pdf.getRoot().replaceKey("/Outlines", outlines);
    pdf.getRoot().replaceKey("/PageMode", name("/UseOutlines"));
}

// Info dictionary and XMP packet with the same texts and dates, as PDF/A requires.
void addMetadata(QPDF &pdf, const ExportMetadata &metadata)
{
    XmpFields fields;
    fields.title = metadataText(metadata.title);
    fields.subject = metadataText(metadata.subject);
    fields.keywords = metadataText(metadata.keywords);
    fields.creatorTool = QString::fromLatin1(kCreatorTool);
    fields.producer = u"Cartulo (qpdf %1)"_s.arg(QString::fromStdString(QPDF::QPDFVersion()));
    const QUtil::QPDFTime now = QUtil::get_current_qpdf_time();
    fields.date = QString::fromStdString(QUtil::qpdf_time_to_iso8601(now));

    Handle info = pdf.makeIndirectObject(Handle::newDictionary());
    const std::pair<const char *, const QString &> texts[] = {
        {"/Title", fields.title}, {"/Subject", fields.subject}, {"/Keywords", fields.keywords},
        {"/Creator", fields.creatorTool}, {"/Producer", fields.producer}};
    for (const auto &[key, text] : texts) {
        if (!text.isEmpty())
            info.replaceKey(key, unicode(text));
    }
    const std::string pdfDate = QUtil::qpdf_time_to_pdf_time(now);
    info.replaceKey("/CreationDate", Handle::newString(pdfDate));
    info.replaceKey("/ModDate", Handle::newString(pdfDate));
    pdf.getTrailer().replaceKey("/Info", info);

    const QByteArray packet = xmpPacket(fields);
    Handle xmp = Handle::newStream(&pdf, packet.toStdString());
    xmp.getDict().replaceKey("/Type", name("/Metadata"));
    xmp.getDict().replaceKey("/Subtype", name("/XML"));
    pdf.getRoot().replaceKey("/Metadata", xmp);
}

// Colours are meant as sRGB: the profile comes from Qt, so none is shipped.
void addOutputIntent(QPDF &pdf)
{
    const QByteArray icc = QColorSpace(QColorSpace::SRgb).iccProfile();
    Handle profile = Handle::newStream(&pdf, icc.toStdString());
    profile.getDict().replaceKey("/N", Handle::newInteger(3));
    Handle intent = Handle::newDictionary();
    intent.replaceKey("/Type", name("/OutputIntent"));
    intent.replaceKey("/S", name("/GTS_PDFA1"));
    intent.replaceKey("/OutputConditionIdentifier", Handle::newString("sRGB IEC61966-2.1"));
    intent.replaceKey("/Info", Handle::newString("sRGB IEC61966-2.1"));
    intent.replaceKey("/RegistryName", Handle::newString("http://www.color.org"));
    intent.replaceKey("/DestOutputProfile", profile);
    Handle intents = Handle::newArray();
    intents.appendItem(intent);
    pdf.getRoot().replaceKey("/OutputIntents", intents);
}

void writeFile(QPDF &pdf, const QString &target)
{
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        throw cannotWrite(target, file.errorString());
    SaveFilePipeline output(file, target);
    QPDFWriter writer(pdf);
    writer.setOutputPipeline(&output);
    writer.setMinimumPDFVersion("1.7");
    writer.setObjectStreamMode(qpdf_o_disable);
    writer.write();
    // The whole file must be on disk before the rename makes it the target.
    if (!file.flush() || ::fdatasync(file.handle()) != 0)
        throw cannotWrite(target, file.error() != QFileDevice::NoError ? file.errorString()
                                                                       : QString::fromLocal8Bit(std::strerror(errno)));
    if (!file.commit())
        throw cannotWrite(target, file.errorString());
}

} // namespace

PageSource PageSource::file(const QString &path)
{
    PageSource source;
    source.m_name = fileNameOf(path);
    source.m_path = path;
    return source;
}

PageSource PageSource::reader(const QString &name, std::function<QByteArray()> read)
{
    PageSource source;
    source.m_name = name;
    source.m_read = std::move(read);
    return source;
}

QByteArray PageSource::readHead(qsizetype count) const
{
    return m_read ? m_read() : readPageFile(m_path, m_name, count);
}

QByteArray PageSource::readAll() const
{
    return m_read ? m_read() : readPageFile(m_path, m_name, -1);
}

ExportOutcome exportPdf(const QString &target, const ExportMetadata &metadata, const QList<ExportDocument> &documents,
                        const ExportProgress &progress)
{
    qsizetype pageCount = 0;
    for (const ExportDocument &document : documents)
        pageCount += document.pages.size();
    if (pageCount == 0)
        throw PdfError(u"Não há páginas para exportar."_s);
    Steps steps(progress, int(pageCount) * 2);
    try {
        const std::vector<PlannedPage> pages = plan(documents, steps);
        QPDF pdf;
        pdf.emptyPDF();
        const auto pictures = std::make_shared<PagePictures>(pages, steps);
        std::vector<Handle> pageObjects;
        pageObjects.reserve(pages.size());
        TextLayer text;
        for (const PlannedPage &page : pages)
            pageObjects.push_back(addPage(pdf, page, pictures, text));
        addBookmarks(pdf, documents, pageObjects);
        addMetadata(pdf, metadata);
        addOutputIntent(pdf);
        writeFile(pdf, target);
        return ExportOutcome::Written;
    } catch (const Cancelled &) {
        return ExportOutcome::Cancelled;
    } catch (const PageFailed &failure) {
        throw failure.error;
    } catch (const PdfError &) {
        throw;
    } catch (const std::exception &e) {
        qCWarning(lcPdf) << "writing" << target << "failed:" << e.what();
        throw cannotWrite(target, QString::fromLocal8Bit(e.what()));
    }
}

} // namespace pdf
