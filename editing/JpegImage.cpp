#include "editing/JpegImage.h"

#include "editing/ExifOrientation.h"

#include <QFile>
#include <QLoggingCategory>
#include <QPainter>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

using namespace Qt::StringLiterals;

namespace editing::jpeg {

namespace {

Q_LOGGING_CATEGORY(lcJpeg, "cartulo.jpeg")

// libjpeg reports a fatal error by calling error_exit, which must not return. It jumps
// back to the guard below; only plain data lives between the guard and libjpeg, so the
// jump skips no destructor. Everything that owns memory sits outside the guarded steps.
struct ErrorManager {
    jpeg_error_mgr pub{}; // first member: libjpeg hands us &pub as cinfo->err
    std::jmp_buf jump{};
    std::array<char, JMSG_LENGTH_MAX> message{};
    bool dataEndedEarly = false;
};

extern "C" void onJpegError(j_common_ptr cinfo)
{
    auto *errors = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message.data());
    std::longjmp(errors->jump, 1);
}

extern "C" void onJpegMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace messages
    auto *errors = reinterpret_cast<ErrorManager *>(cinfo->err);
    ++cinfo->err->num_warnings;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF)
        errors->dataEndedEarly = true;
}

void installErrorManager(ErrorManager &errors)
{
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = onJpegError;
    errors.pub.emit_message = onJpegMessage;
}

// Runs libjpeg steps; false when libjpeg raised an error inside them.
template <typename Steps>
bool guarded(ErrorManager &errors, Steps &&steps)
{
    if (setjmp(errors.jump) != 0)
        return false;
    steps();
    return true;
}

QString libjpegMessage(const ErrorManager &errors)
{
    return QString::fromLocal8Bit(errors.message.data());
}

struct Decompressor {
    Decompressor()
    {
        installErrorManager(errors);
        cinfo.err = &errors.pub;
    }
    // Safe on a struct that jpeg_create_decompress never finished: its memory manager is null.
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    Decompressor(const Decompressor &) = delete;
    Decompressor &operator=(const Decompressor &) = delete;

    ErrorManager errors;
    jpeg_decompress_struct cinfo{};
};

struct Compressor {
    Compressor()
    {
        installErrorManager(errors);
        cinfo.err = &errors.pub;
    }
    ~Compressor()
    {
        jpeg_destroy_compress(&cinfo);
        std::free(output);
    }
    Compressor(const Compressor &) = delete;
    Compressor &operator=(const Compressor &) = delete;

    ErrorManager errors;
    jpeg_compress_struct cinfo{};
    unsigned char *output = nullptr; // grown by jpeg_mem_dest with malloc/free
    unsigned long outputSize = 0;
};

// QImage::Format_RGB32 is 0xffRRGGBB in native order.
constexpr J_COLOR_SPACE kRgb32Out = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB;
constexpr J_COLOR_SPACE kRgb32In = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;

QString notJpegMessage(const QString &detail)
{
    return u"A imagem não pôde ser lida como JPEG: "_s + detail;
}

void openHeader(Decompressor &d, QByteArrayView bytes)
{
    if (bytes.isEmpty())
        throw JpegError(notJpegMessage(u"arquivo vazio"_s));
    const bool ok = guarded(d.errors, [&] {
        jpeg_create_decompress(&d.cinfo);
        jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xFFFF); // EXIF: the orientation
        jpeg_mem_src(&d.cinfo, reinterpret_cast<const unsigned char *>(bytes.data()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&d.cinfo, TRUE);
    });
    if (!ok)
        throw JpegError(notJpegMessage(libjpegMessage(d.errors)));
}

// Viewers read the first EXIF segment; so does this.
Orientation recordedOrientation(const jpeg_decompress_struct &cinfo)
{
    for (auto *marker = cinfo.marker_list; marker; marker = marker->next) {
        const QByteArrayView payload(reinterpret_cast<const char *>(marker->data), qsizetype(marker->data_length));
        if (marker->marker == JPEG_APP0 + 1 && payload.startsWith(kExifSignature))
            return orientationOfExif(payload);
    }
    return Orientation::Normal;
}

bool isCmyk(const jpeg_decompress_struct &cinfo)
{
    return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

// Picks the smallest n/8 whose output covers the box; n = 8 is the full picture.
void chooseScaleToCover(Decompressor &d, QSize box)
{
    for (unsigned int n = 1; n <= 8; ++n) {
        d.cinfo.scale_num = n;
        d.cinfo.scale_denom = 8;
        const bool ok = guarded(d.errors, [&] { jpeg_calc_output_dimensions(&d.cinfo); });
        if (!ok)
            throw JpegError(notJpegMessage(libjpegMessage(d.errors)));
        if (static_cast<int>(d.cinfo.output_width) >= box.width()
            && static_cast<int>(d.cinfo.output_height) >= box.height())
            return;
    }
}

void cmykRowToRgb32(const unsigned char *cmyk, QRgb *out, int width, bool adobeInverted)
{
    for (int x = 0; x < width; ++x, cmyk += 4) {
        int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!adobeInverted) { // plain CMYK: 0 is no ink
            c = 255 - c; m = 255 - m; y = 255 - y; k = 255 - k;
        }
        out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

// After the header: decodes at the chosen scale into RGB32, as stored.
QImage decodeStored(Decompressor &d)
{
    const bool cmyk = isCmyk(d.cinfo);
    d.cinfo.out_color_space = cmyk ? JCS_CMYK : kRgb32Out;
    if (!guarded(d.errors, [&] { jpeg_start_decompress(&d.cinfo); }))
        throw JpegError(notJpegMessage(libjpegMessage(d.errors)));

    const int width = static_cast<int>(d.cinfo.output_width);
    const int height = static_cast<int>(d.cinfo.output_height);
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        throw JpegError(u"Memória insuficiente para uma imagem de %1 x %2 pontos."_s.arg(width).arg(height));
    std::unique_ptr<unsigned char[]> cmykRow(cmyk ? new unsigned char[size_t(width) * 4] : nullptr);
    uchar *const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const bool adobe = d.cinfo.saw_Adobe_marker;

    const bool ok = guarded(d.errors, [&] {
        while (d.cinfo.output_scanline < d.cinfo.output_height) {
            const auto line = d.cinfo.output_scanline;
            if (cmyk) {
                JSAMPROW row = cmykRow.get();
                jpeg_read_scanlines(&d.cinfo, &row, 1);
                cmykRowToRgb32(cmykRow.get(), reinterpret_cast<QRgb *>(bits + line * stride), width, adobe);
            } else {
                std::array<JSAMPROW, 16> rows{};
                const JDIMENSION wanted = std::min<JDIMENSION>(16, d.cinfo.output_height - line);
                for (JDIMENSION i = 0; i < wanted; ++i)
                    rows[i] = bits + (line + i) * stride;
                jpeg_read_scanlines(&d.cinfo, rows.data(), wanted);
            }
        }
        jpeg_finish_decompress(&d.cinfo);
    });
    if (!ok)
        throw JpegError(notJpegMessage(libjpegMessage(d.errors)));
    if (d.errors.dataEndedEarly)
        qCWarning(lcJpeg) << "JPEG data ends before its last line; the rest is grey";
    return image;
}

// After the header: the picture as it is seen, turned by its EXIF orientation.
QImage decodeOpened(Decompressor &d)
{
    return oriented(decodeStored(d), recordedOrientation(d.cinfo));
}

QImage flattenedRgb32(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    return flat;
}

} // namespace

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw JpegError(u"Não foi possível ler o arquivo %1: %2"_s.arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw JpegError(u"Não foi possível ler o arquivo %1: %2"_s.arg(path, file.errorString()));
    return bytes;
}

bool isJpegData(QByteArrayView bytes)
{
    try {
        Decompressor d;
        openHeader(d, bytes);
        chooseScaleToCover(d, QSize(1, 1)); // the whole stream is read, the cheapest way
        decodeStored(d);
        return !d.errors.dataEndedEarly;
    } catch (const JpegError &error) {
        qCDebug(lcJpeg) << "not a JPEG image:" << error.message();
        return false;
    }
}

bool isJpegFile(const QString &path)
{
    try {
        return isJpegData(readFile(path));
    } catch (const JpegError &) {
        return false;
    }
}

QSize imageSize(QByteArrayView bytes)
{
    Decompressor d;
    openHeader(d, bytes);
    const QSize stored(static_cast<int>(d.cinfo.image_width), static_cast<int>(d.cinfo.image_height));
    return orientedSize(stored, recordedOrientation(d.cinfo));
}

QImage decode(QByteArrayView bytes)
{
    Decompressor d;
    openHeader(d, bytes);
    return decodeOpened(d);
}

QImage decodeFile(const QString &path)
{
    return decode(readFile(path));
}

QImage decodeToCover(QByteArrayView bytes, QSize box)
{
    Decompressor d;
    openHeader(d, bytes);
    if (box.isValid()) {
        // The box is what is seen: a picture stored on its side fills it turned.
        chooseScaleToCover(d, orientedSize(box, recordedOrientation(d.cinfo)));
        if (d.cinfo.scale_num < d.cinfo.scale_denom) {
            // A preview is smoothed by its own scaling: the fast IDCT and plain upsampling
            // cost less and show no difference at this size.
            d.cinfo.dct_method = JDCT_IFAST;
            d.cinfo.do_fancy_upsampling = FALSE;
        }
    }
    return decodeOpened(d);
}

QImage decodeFileToCover(const QString &path, QSize box)
{
    return decodeToCover(readFile(path), box);
}

QByteArray encode(const QImage &image, int quality)
{
    if (image.isNull())
        throw JpegError(u"Não há imagem para gravar."_s);
    BandEncoder encoder(image.size(), quality);
    encoder.addBand(image);
    return encoder.finish();
}

struct BandEncoder::Private {
    Compressor c;
};

BandEncoder::BandEncoder(QSize size, int quality) : d(std::make_unique<Private>())
{
    if (size.isEmpty())
        throw JpegError(u"Não há imagem para gravar."_s);
    Compressor &c = d->c;
    const bool ok = guarded(c.errors, [&] {
        jpeg_create_compress(&c.cinfo);
        jpeg_mem_dest(&c.cinfo, &c.output, &c.outputSize);
        c.cinfo.image_width = static_cast<JDIMENSION>(size.width());
        c.cinfo.image_height = static_cast<JDIMENSION>(size.height());
        c.cinfo.input_components = 4;
        c.cinfo.in_color_space = kRgb32In;
        jpeg_set_defaults(&c.cinfo); // YCbCr, three components, Huffman tables not optimised
        jpeg_set_quality(&c.cinfo, quality, TRUE);
        jpeg_start_compress(&c.cinfo, TRUE); // no progression script: baseline
    });
    if (!ok)
        throw JpegError(u"Não foi possível codificar a imagem JPEG: "_s + libjpegMessage(c.errors));
}

BandEncoder::~BandEncoder() = default;

void BandEncoder::addBand(const QImage &band)
{
    Compressor &c = d->c;
    if (band.isNull() || band.width() != static_cast<int>(c.cinfo.image_width)
        || static_cast<JDIMENSION>(band.height()) > c.cinfo.image_height - c.cinfo.next_scanline)
        throw JpegError(u"Não foi possível codificar a imagem JPEG: faixa de %1 x %2 pontos fora da imagem."_s
                            .arg(band.width()).arg(band.height()));
    const QImage rgb = flattenedRgb32(band);
    const uchar *const bits = rgb.constBits();
    const qsizetype stride = rgb.bytesPerLine();
    const bool ok = guarded(c.errors, [&] {
        for (int y = 0; y < rgb.height();) {
            std::array<JSAMPROW, 16> rows{};
            const int count = std::min(16, rgb.height() - y);
            for (int i = 0; i < count; ++i)
                rows[size_t(i)] = const_cast<uchar *>(bits + (y + i) * stride);
            y += static_cast<int>(jpeg_write_scanlines(&c.cinfo, rows.data(), static_cast<JDIMENSION>(count)));
        }
    });
    if (!ok)
        throw JpegError(u"Não foi possível codificar a imagem JPEG: "_s + libjpegMessage(c.errors));
}

QByteArray BandEncoder::finish()
{
    Compressor &c = d->c;
    if (c.cinfo.next_scanline != c.cinfo.image_height)
        throw JpegError(u"Não foi possível codificar a imagem JPEG: faltam %1 linhas."_s
                            .arg(c.cinfo.image_height - c.cinfo.next_scanline));
    if (!guarded(c.errors, [&] { jpeg_finish_compress(&c.cinfo); }))
        throw JpegError(u"Não foi possível codificar a imagem JPEG: "_s + libjpegMessage(c.errors));
    return QByteArray(reinterpret_cast<const char *>(c.output), static_cast<qsizetype>(c.outputSize));
}

void writeFileAtomically(const QString &path, QByteArrayView bytes)
{
    QSaveFile file(path);
    const auto fail = [&](const QString &why) {
        file.cancelWriting();
        throw JpegError(u"Não foi possível gravar o arquivo %1: %2"_s.arg(path, why));
    };
    if (!file.open(QIODevice::WriteOnly))
        fail(file.errorString());
    if (file.write(bytes.data(), bytes.size()) != bytes.size() || !file.flush())
        fail(file.errorString());
    // The bytes must be on disk before the rename makes them the page.
    if (::fdatasync(file.handle()) != 0)
        fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!file.commit())
        throw JpegError(u"Não foi possível gravar o arquivo %1: %2"_s.arg(path, file.errorString()));
}

void writeFile(const QImage &image, const QString &path, int quality)
{
    writeFileAtomically(path, encode(image, quality));
}

} // namespace editing::jpeg
