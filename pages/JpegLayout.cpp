#include "pages/JpegLayout.h"

#include "editing/ExifOrientation.h"
#include "editing/JpegImage.h"

#include <QtEndian>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pages {

namespace {

constexpr quint8 kStartOfImage = 0xD8;
constexpr quint8 kEndOfImage = 0xD9;
constexpr quint8 kStartOfScan = 0xDA;
constexpr quint8 kApp1 = 0xE1;
constexpr int kBlock = 8;

[[noreturn]] void notJpeg(const QString &detail)
{
    throw editing::jpeg::JpegError(u"A imagem não pôde ser lida como JPEG: "_s + detail);
}

// Markers without a length field: restarts and TEM.
bool standsAlone(quint8 marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// SOF0 to SOF15, except DHT (C4), JPG (C8) and DAC (CC).
bool isFrameHeader(quint8 marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

JpegFrame readFrame(quint8 marker, QByteArrayView payload)
{
    // precision(1) height(2) width(2) components(1), then 3 bytes per component
    if (payload.size() < 6)
        notJpeg(u"cabeçalho de quadro truncado"_s);
    const auto *p = reinterpret_cast<const uchar *>(payload.data());
    JpegFrame frame;
    frame.marker = marker;
    frame.height = qFromBigEndian<quint16>(p + 1);
    frame.width = qFromBigEndian<quint16>(p + 3);
    frame.components = p[5];
    if (frame.components < 1 || payload.size() < 6 + 3 * frame.components)
        notJpeg(u"cabeçalho de quadro truncado"_s);
    for (int c = 0; c < frame.components; ++c) {
        const uchar sampling = p[6 + 3 * c + 1];
        frame.maxHorizontalSampling = std::max(frame.maxHorizontalSampling, sampling >> 4);
        frame.maxVerticalSampling = std::max(frame.maxVerticalSampling, sampling & 0x0F);
    }
    return frame;
}

} // namespace

QSize JpegFrame::mcuSize() const
{
    if (components == 1)
        return QSize(kBlock, kBlock);
    return QSize(kBlock * maxHorizontalSampling, kBlock * maxVerticalSampling);
}

std::optional<JpegSegment> JpegLayout::firstExif(QByteArrayView jpeg) const
{
    for (const JpegSegment &segment : segments) {
        if (segment.marker == kApp1 && segment.payload(jpeg).startsWith(editing::jpeg::kExifSignature))
            return segment;
    }
    return std::nullopt;
}

JpegLayout readJpegLayout(QByteArrayView jpeg)
{
    const auto *b = reinterpret_cast<const uchar *>(jpeg.data());
    const qsizetype size = jpeg.size();
    if (size < 4 || b[0] != 0xFF || b[1] != kStartOfImage)
        notJpeg(u"falta o início da imagem"_s);

    JpegLayout layout;
    bool sawFrame = false;
    qsizetype at = 2;
    while (true) {
        if (at >= size || b[at] != 0xFF)
            notJpeg(u"marcador esperado na posição %1"_s.arg(at));
        qsizetype code = at + 1;
        while (code < size && b[code] == 0xFF) // fill bytes
            ++code;
        if (code >= size)
            notJpeg(u"termina antes da imagem"_s);
        const quint8 marker = b[code];
        if (marker == kStartOfScan) {
            if (!sawFrame)
                notJpeg(u"dados de imagem sem cabeçalho de quadro"_s);
            layout.scanOffset = code - 1;
            return layout;
        }
        if (marker == kEndOfImage || marker == kStartOfImage)
            notJpeg(u"termina antes da imagem"_s);
        if (standsAlone(marker)) {
            at = code + 1;
            continue;
        }
        if (code + 3 > size)
            notJpeg(u"segmento truncado"_s);
        const qsizetype length = qFromBigEndian<quint16>(b + code + 1);
        if (length < 2 || code + 1 + length > size)
            notJpeg(u"segmento truncado"_s);
        JpegSegment segment{marker, code - 1, length + 2};
        if (isFrameHeader(marker) && !sawFrame) {
            layout.frame = readFrame(marker, segment.payload(jpeg));
            sawFrame = true;
        }
        layout.segments.append(segment);
        at = segment.end();
    }
}

} // namespace pages
