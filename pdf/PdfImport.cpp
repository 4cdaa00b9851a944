#include "pdf/PdfImport.h"

#include "editing/JpegImage.h"
#include "pdf/JpegHeader.h"
#include "pdf/Logging.h"
#include "pdf/PdfError.h"

#include <QFile>
#include <QFileInfo>

#include <poppler/qt6/poppler-qt6.h>
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <future>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace pdf {

namespace {

// Pages larger than A2 are drawn at the resolution that keeps them at this many pixels,
// and no side may pass what JPEG can state.
constexpr double kMaxRenderedPixels = 36e6;
constexpr double kMaxRenderedSide = 65000;
// A page is drawn and encoded in bands of at most this size. A whole 300-dpi A4 picture
// (35 MB) is above what the allocator keeps for reuse and would be mapped afresh, page
// after page; bands are not, and cost no more to draw.
constexpr qsizetype kBandBytes = 24 * 1024 * 1024;
// How far a picture's edge may lie from the page's and still count as covering it.
constexpr double kEdgeTolerancePoints = 1.0;
constexpr double kAspectTolerance = 0.01;

void routePopplerMessage(const QString &message, const QVariant &)
{
    qCDebug(lcPdf) << "poppler:" << message;
}

// Poppler prints its complaints on stderr unless told otherwise, once per process.
void routePopplerMessages()
{
    [[maybe_unused]] static const bool routed = [] {
        Poppler::setDebugErrorFunction(routePopplerMessage, QVariant());
        return true;
    }();
}

QString fileNameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

PdfError damaged(const QString &path)
{
    return PdfError(u"O documento PDF %1 está danificado e não pode ser lido."_s.arg(fileNameOf(path)));
}

PdfError locked(const QString &path)
{
    return PdfError(u"O documento PDF %1 está protegido por senha e não pode ser lido."_s.arg(fileNameOf(path)));
}

// The raw bytes of a stream (decrypted, not decoded) gathered in one buffer.
class ByteArrayPipeline : public Pipeline {
public:
    explicit ByteArrayPipeline(QByteArray &out) : Pipeline("cartulo bytes", nullptr), m_out(out) {}
    void write(unsigned char const *data, size_t length) override
    {
        m_out.append(reinterpret_cast<const char *>(data), qsizetype(length));
    }
    void finish() override {}

private:
    QByteArray &m_out;
};

struct Operation {
    std::string name;
    std::vector<QPDFObjectHandle> operands;
};

// The page's drawing operators, up to a few: a picture page has at most four.
class OperationList : public QPDFObjectHandle::ParserCallbacks {
public:
    static constexpr size_t kMostWanted = 4;
    std::vector<Operation> operations;
    bool tooMany = false;
    bool strayOperands = false;

    void handleObject(QPDFObjectHandle object) override
    {
        if (!object.isOperator()) {
            m_operands.push_back(object);
            return;
        }
        operations.push_back({object.getOperatorValue(), std::move(m_operands)});
        m_operands.clear();
        if (operations.size() > kMostWanted) {
            tooMany = true;
            terminateParsing();
        }
    }
    void handleEOF() override { strayOperands = !m_operands.empty(); }

private:
    std::vector<QPDFObjectHandle> m_operands;
};

struct Placement {
    std::string imageName;
    double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0; // the cm matrix
};

bool allNumbers(std::vector<QPDFObjectHandle> operands)
{
    return std::all_of(operands.begin(), operands.end(), [](QPDFObjectHandle o) { return o.isNumber(); });
}

// Exactly "[q] a b c d e f cm /Name Do [Q]".
std::optional<Placement> singlePicturePlacement(std::vector<Operation> &operations)
{
    size_t first = 0, last = operations.size();
    if (last == 4 && operations.front().name == "q" && operations.back().name == "Q") {
        first = 1;
        last = 3;
    }
    if (last - first != 2)
        return std::nullopt;
    Operation &cm = operations[first];
    Operation &doOp = operations[first + 1];
    if (cm.name != "cm" || cm.operands.size() != 6 || !allNumbers(cm.operands) || doOp.name != "Do"
        || doOp.operands.size() != 1 || !doOp.operands[0].isName())
        return std::nullopt;
    Placement p;
    p.imageName = doOp.operands[0].getName();
    double *const m[6] = {&p.a, &p.b, &p.c, &p.d, &p.e, &p.f};
    for (size_t i = 0; i < 6; ++i)
        *m[i] = cm.operands[i].getNumericValue();
    return p;
}

QPDFObjectHandle::Rectangle normalised(QPDFObjectHandle::Rectangle r)
{
    return {std::min(r.llx, r.urx), std::min(r.lly, r.ury), std::max(r.llx, r.urx), std::max(r.lly, r.ury)};
}

bool sameRectangle(const QPDFObjectHandle::Rectangle &x, const QPDFObjectHandle::Rectangle &y)
{
    return std::abs(x.llx - y.llx) <= kEdgeTolerancePoints && std::abs(x.lly - y.lly) <= kEdgeTolerancePoints
        && std::abs(x.urx - y.urx) <= kEdgeTolerancePoints && std::abs(x.ury - y.ury) <= kEdgeTolerancePoints;
}

// Upright, unflipped, over the whole visible page, in the picture's own proportions.
bool coversPage(const Placement &p, const QPDFObjectHandle::Rectangle &page, QSize pixels)
{
    if (p.b != 0 || p.c != 0 || p.a <= 0 || p.d <= 0)
        return false;
    if (!sameRectangle({p.e, p.f, p.e + p.a, p.f + p.d}, page))
        return false;
    const double pictureAspect = double(pixels.width()) / pixels.height();
    return std::abs((p.a / p.d) / pictureAspect - 1) <= kAspectTolerance;
}

bool isPlainDctFilter(QPDFObjectHandle filter)
{
    if (filter.isArray() && filter.getArrayNItems() == 1)
        filter = filter.getArrayItem(0);
    return filter.isNameAndEquals("/DCTDecode");
}

bool hasNoDecodeParameters(QPDFObjectHandle parameters)
{
    if (parameters.isArray() && parameters.getArrayNItems() == 1)
        parameters = parameters.getArrayItem(0);
    return parameters.isNull() || (parameters.isDictionary() && parameters.getKeys().empty());
}

int componentsOf(QPDFObjectHandle colourSpace)
{
    if (colourSpace.isNameAndEquals("/DeviceGray"))
        return 1;
    if (colourSpace.isNameAndEquals("/DeviceRGB"))
        return 3;
    return 0; // anything else is rendered
}

// What the picture's dictionary must say for its bytes to be the page as drawn.
std::optional<int> plainJpegComponents(QPDFObjectHandle image)
{
    QPDFObjectHandle dict = image.getDict();
    if (!dict.getKey("/Subtype").isNameAndEquals("/Image") || !isPlainDctFilter(dict.getKey("/Filter"))
        || !hasNoDecodeParameters(dict.getKey("/DecodeParms")))
        return std::nullopt;
    for (const char *key : {"/Decode", "/SMask", "/Mask", "/SMaskInData", "/OC"}) {
        if (dict.hasKey(key) && !dict.getKey(key).isNull())
            return std::nullopt;
    }
    if (dict.getKey("/ImageMask").isBool() && dict.getKey("/ImageMask").getBoolValue())
        return std::nullopt;
    if (!dict.getKey("/BitsPerComponent").isInteger() || dict.getKey("/BitsPerComponent").getIntValue() != 8)
        return std::nullopt;
    const int components = componentsOf(dict.getKey("/ColorSpace"));
    return components ? std::optional<int>(components) : std::nullopt;
}

QSize declaredSize(QPDFObjectHandle image)
{
    QPDFObjectHandle dict = image.getDict();
    QPDFObjectHandle width = dict.getKey("/Width"), height = dict.getKey("/Height");
    if (!width.isInteger() || !height.isInteger())
        return {};
    return QSize(int(width.getIntValue()), int(height.getIntValue()));
}

// Annotations other than links draw on the page: such a page is rendered.
bool hasDrawnAnnotations(QPDFPageObjectHelper &page)
{
    QPDFObjectHandle annotations = page.getObjectHandle().getKey("/Annots");
    if (!annotations.isArray())
        return false;
    for (QPDFObjectHandle annotation : annotations.aitems()) {
        if (!annotation.isDictionary() || !annotation.getKey("/Subtype").isNameAndEquals("/Link"))
            return true;
    }
    return false;
}

// A dictionary's entry, or null for anything that is no dictionary (asking a null or a
// number for a key makes qpdf warn).
QPDFObjectHandle entry(QPDFObjectHandle dictionary, const std::string &key)
{
    return dictionary.isDictionary() ? dictionary.getKey(key) : QPDFObjectHandle::newNull();
}

int rotationOf(QPDFPageObjectHelper &page)
{
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    if (rotate.isNull())
        return 0;
    if (!rotate.isInteger())
        return -1;
    return int(((rotate.getIntValue() % 360) + 360) % 360);
}

double renderDpi(QSizeF points)
{
    const QSizeF inches = points / 72.0;
    double dpi = kRenderDpi;
    if (inches.width() * inches.height() * dpi * dpi > kMaxRenderedPixels)
        dpi = std::sqrt(kMaxRenderedPixels / (inches.width() * inches.height()));
    return std::min(dpi, kMaxRenderedSide / std::max(inches.width(), inches.height()));
}

} // namespace

struct PdfImport::Private {
    QString path;
    QPDF qpdf;
    std::vector<QPDFPageObjectHelper> qpdfPages;
    std::unique_ptr<Poppler::Document> poppler;

    void open();
    std::optional<QByteArray> wholePageJpeg(int index);
    QByteArray render(int index);
    // qpdf warns of damage it worked around (a stream cut short, an object missing) as it
    // does of a lookup of a key in a null: only damage stops the reading.
    void failOnDamage();
};

void PdfImport::Private::open()
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw PdfError(u"O arquivo %1 não foi encontrado."_s.arg(fileNameOf(path)));
    if (info.size() == 0)
        throw PdfError(u"O arquivo %1 está vazio."_s.arg(fileNameOf(path)));
    {
        QFile probe(path);
        if (!probe.open(QIODevice::ReadOnly))
            throw PdfError(u"Não foi possível ler o arquivo %1: %2"_s.arg(fileNameOf(path), probe.errorString()));
        // Readers allow a little junk before the header; anything else is no PDF at all.
        if (!probe.read(1024).contains("%PDF-"))
            throw PdfError(u"O arquivo %1 não é um documento PDF."_s.arg(fileNameOf(path)));
    }

    qpdf.setSuppressWarnings(true);
    try {
        qpdf.processFile(QFile::encodeName(path).constData());
        qpdfPages = QPDFPageDocumentHelper(qpdf).getAllPages();
    } catch (const QPDFExc &e) {
        qCInfo(lcPdf) << "qpdf refuses" << path << ":" << e.what();
        throw e.getErrorCode() == qpdf_e_password ? locked(path) : damaged(path);
    } catch (const std::exception &e) {
        qCInfo(lcPdf) << "qpdf refuses" << path << ":" << e.what();
        throw damaged(path);
    }
    // Repairs that both libraries agree on (an offset table off by a few bytes) are common
    // and harmless; what they disagree on is checked below through the page counts.
    const std::vector<QPDFExc> repairs = qpdf.getWarnings();
    for (const QPDFExc &warning : repairs)
        qCInfo(lcPdf) << "qpdf repairs" << path << ":" << warning.what();

    routePopplerMessages();
    poppler = Poppler::Document::load(path);
    if (!poppler)
        throw damaged(path);
    // A file locked by a user password answers numPages() with a crash: ask this first.
    if (poppler->isLocked())
        throw locked(path);
    const int popplerPages = poppler->numPages();
    // A file cut short loads with no pages, or with fewer in poppler than qpdf rebuilds.
    if (popplerPages != int(qpdfPages.size()) || (popplerPages == 0 && !repairs.empty())) {
        qCInfo(lcPdf) << path << "has" << popplerPages << "pages for poppler," << qpdfPages.size() << "for qpdf";
        throw damaged(path);
    }
    if (popplerPages == 0)
        throw PdfError(u"O documento PDF %1 não tem páginas."_s.arg(fileNameOf(path)));
    poppler->setRenderHint(Poppler::Document::Antialiasing);
    poppler->setRenderHint(Poppler::Document::TextAntialiasing);
}

void PdfImport::Private::failOnDamage()
{
    bool damage = false;
    for (const QPDFExc &warning : qpdf.getWarnings()) {
        qCInfo(lcPdf) << "qpdf on" << path << ":" << warning.what();
        damage = damage || warning.getErrorCode() == qpdf_e_damaged_pdf;
    }
    if (damage)
        throw damaged(path);
}

std::optional<QByteArray> PdfImport::Private::wholePageJpeg(int index)
{
    QPDFPageObjectHelper &page = qpdfPages[size_t(index)];
    // The stored picture is unturned: a turned page is rendered upright instead.
    if (rotationOf(page) != 0 || hasDrawnAnnotations(page))
        return std::nullopt;
    QPDFObjectHandle mediaBoxObject = page.getMediaBox(), cropBoxObject = page.getCropBox();
    if (!mediaBoxObject.isRectangle() || !cropBoxObject.isRectangle())
        return std::nullopt;
    const auto mediaBox = normalised(mediaBoxObject.getArrayAsRectangle());
    if (!sameRectangle(mediaBox, normalised(cropBoxObject.getArrayAsRectangle())))
        return std::nullopt;

    OperationList operations;
    page.parseContents(&operations);
    if (operations.tooMany || operations.strayOperands)
        return std::nullopt;
    const auto placement = singlePicturePlacement(operations.operations);
    if (!placement)
        return std::nullopt;
    QPDFObjectHandle image = entry(entry(page.getAttribute("/Resources", false), "/XObject"), placement->imageName);
    if (!image.isStream())
        return std::nullopt;
    const auto components = plainJpegComponents(image);
    const QSize pixels = declaredSize(image);
    if (!components || pixels.isEmpty() || !coversPage(*placement, mediaBox, pixels))
        return std::nullopt;

    QByteArray bytes;
    ByteArrayPipeline pipeline(bytes);
    if (!image.pipeStreamData(&pipeline, nullptr, 0, qpdf_dl_none))
        throw damaged(path);
    const auto header = readJpegHeader(bytes);
    // The bytes must be the whole picture the dictionary describes, drawn as stored.
    if (!header || header->pixels != pixels || header->components != *components || !header->isDctDecodable()
        || header->exifOrientation != 1 || !endsWithEndOfImage(bytes))
        return std::nullopt;
    return bytes;
}

QByteArray PdfImport::Private::render(int index)
{
    const std::unique_ptr<Poppler::Page> page = poppler->page(index);
    if (!page)
        throw damaged(path);
    const auto cannotDraw = [&] {
        return PdfError(u"Não foi possível desenhar a página %1 do documento PDF %2."_s.arg(index + 1).arg(fileNameOf(path)));
    };
    const QSizeF points = page->pageSizeF(); // turned by /Rotate already
    const double dpi = renderDpi(points);
    // Poppler's own rounding of the page's size in pixels.
    const QSize pixels(int(points.width() * dpi / 72 + 0.5), int(points.height() * dpi / 72 + 0.5));
    if (pixels.isEmpty())
        throw cannotDraw();
    const int bandRows = int(std::max<qsizetype>(1, kBandBytes / (qsizetype(pixels.width()) * 4)));
    try {
        editing::jpeg::BandEncoder encoder(pixels, editing::jpeg::kPageQuality);
        // Each band is encoded on another thread while the next one is drawn; the encoder
        // passes from one band's thread to the next only after the one before has ended.
        std::future<void> encoding;
        for (int top = 0; top < pixels.height(); top += bandRows) {
            const int rows = std::min(bandRows, pixels.height() - top);
            QImage band = page->renderToImage(dpi, dpi, 0, top, pixels.width(), rows);
            if (band.size() != QSize(pixels.width(), rows))
                throw cannotDraw();
            if (encoding.valid())
                encoding.get();
            encoding = std::async(std::launch::async, [&encoder, band = std::move(band)] { encoder.addBand(band); });
        }
        encoding.get();
        return encoder.finish();
    } catch (const editing::jpeg::JpegError &e) {
        throw PdfError(e.message());
    }
}

PdfImport::PdfImport(const QString &path) : d(std::make_unique<Private>())
{
    d->path = path;
    d->open();
}

PdfImport::~PdfImport() = default;

int PdfImport::pageCount() const
{
    return int(d->qpdfPages.size());
}

ImportedPage PdfImport::readPage(int index)
{
    if (index < 0 || index >= pageCount())
        throw std::out_of_range("PdfImport::readPage: no such page");
    std::optional<QByteArray> copied;
    try {
        copied = d->wholePageJpeg(index);
        // The drawing a page is rendered from is read whole once, so that damage in it
        // stops the reading instead of leaving part of the page out.
        if (!copied) {
            Pl_Discard discard;
            d->qpdfPages[size_t(index)].pipeContents(&discard);
        }
        d->failOnDamage();
    } catch (const PdfError &) {
        throw;
    } catch (const std::exception &e) {
        qCInfo(lcPdf) << "qpdf fails on page" << index + 1 << "of" << d->path << ":" << e.what();
        throw damaged(d->path);
    }
    if (copied)
        return {std::move(*copied), PageOrigin::Copied};
    return {d->render(index), PageOrigin::Rendered};
}

} // namespace pdf
