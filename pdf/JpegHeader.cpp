#include "pdf/JpegHeader.h"

#include <cstdint>

namespace pdf {

namespace {

constexpr double kCentimetresPerInch = 2.54;

// Bounds-checked big- or little-endian reads over a segment.
class Bytes {
public:
    explicit Bytes(QByteArrayView view, bool bigEndian = true) : m_view(view), m_bigEndian(bigEndian) {}

    qsizetype size() const { return m_view.size(); }
    bool has(qsizetype offset, qsizetype count) const { return offset >= 0 && count >= 0 && offset + count <= size(); }
    std::uint8_t u8(qsizetype offset) const { return std::uint8_t(m_view[offset]); }
    std::uint16_t u16(qsizetype offset) const
    {
        const std::uint16_t a = u8(offset), b = u8(offset + 1);
        return m_bigEndian ? std::uint16_t(a << 8 | b) : std::uint16_t(b << 8 | a);
    }
    std::uint32_t u32(qsizetype offset) const
    {
        const std::uint32_t a = u16(offset), b = u16(offset + 2);
        return m_bigEndian ? (a << 16 | b) : (b << 16 | a);
    }
    QByteArrayView mid(qsizetype offset, qsizetype count) const { return m_view.sliced(offset, count); }
    void setBigEndian(bool bigEndian) { m_bigEndian = bigEndian; }

private:
    QByteArrayView m_view;
    bool m_bigEndian;
};

std::optional<QPointF> dpiFrom(double x, double y, int unit /* 1 inch, 2 centimetre */)
{
    if (x <= 0 || y <= 0)
        return std::nullopt;
    const double factor = unit == 2 ? kCentimetresPerInch : 1.0;
    return QPointF(x * factor, y * factor);
}

// APP0 "JFIF\0": version (2), units (1: 0 aspect only, 1 per inch, 2 per cm), X and Y density.
std::optional<QPointF> jfifDensity(const Bytes &segment)
{
    if (!segment.has(0, 12) || segment.mid(0, 5) != QByteArrayView("JFIF\0", 5))
        return std::nullopt;
    const int units = segment.u8(7);
    if (units != 1 && units != 2)
        return std::nullopt;
    return dpiFrom(segment.u16(8), segment.u16(10), units);
}

struct ExifFields {
    std::optional<double> xResolution;
    std::optional<double> yResolution;
    int resolutionUnit = 2; // 1 none, 2 inch (the default), 3 centimetre
    int orientation = 1;
};

std::optional<double> rational(const Bytes &tiff, std::uint32_t offset)
{
    if (!tiff.has(offset, 8))
        return std::nullopt;
    const std::uint32_t numerator = tiff.u32(offset), denominator = tiff.u32(offset + 4);
    if (denominator == 0)
        return std::nullopt;
    return double(numerator) / double(denominator);
}

// The first image file directory of the TIFF structure inside APP1 "Exif\0\0".
ExifFields readExifIfd0(Bytes tiff)
{
    ExifFields fields;
    if (!tiff.has(0, 8))
        return fields;
    const QByteArrayView order = tiff.mid(0, 2);
    if (order == "II")
        tiff.setBigEndian(false);
    else if (order != "MM")
        return fields;
    if (tiff.u16(2) != 42)
        return fields;
    const std::uint32_t ifd = tiff.u32(4);
    if (!tiff.has(ifd, 2))
        return fields;
    const int entries = tiff.u16(ifd);
    for (int i = 0; i < entries; ++i) {
        const qsizetype entry = qsizetype(ifd) + 2 + qsizetype(i) * 12;
        if (!tiff.has(entry, 12))
            break;
        const int tag = tiff.u16(entry);
        const int type = tiff.u16(entry + 2);
        constexpr int kShort = 3, kRational = 5;
        switch (tag) {
        case 0x0112: // Orientation
            if (type == kShort)
                fields.orientation = tiff.u16(entry + 8);
            break;
        case 0x011A: // XResolution
            if (type == kRational)
                fields.xResolution = rational(tiff, tiff.u32(entry + 8));
            break;
        case 0x011B: // YResolution
            if (type == kRational)
                fields.yResolution = rational(tiff, tiff.u32(entry + 8));
            break;
        case 0x0128: // ResolutionUnit
            if (type == kShort)
                fields.resolutionUnit = tiff.u16(entry + 8);
            break;
        default:
            break;
        }
    }
    return fields;
}

bool isExif(const Bytes &segment)
{
    return segment.has(0, 6) && segment.mid(0, 6) == QByteArrayView("Exif\0\0", 6);
}

std::optional<QPointF> exifDensity(const ExifFields &exif)
{
    if (!exif.xResolution || !exif.yResolution || (exif.resolutionUnit != 2 && exif.resolutionUnit != 3))
        return std::nullopt;
    return dpiFrom(*exif.xResolution, *exif.yResolution, exif.resolutionUnit == 3 ? 2 : 1);
}

bool isStartOfFrame(int marker)
{
    // C4 (Huffman tables), C8 (reserved) and CC (arithmetic conditioning) share the range.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool standsAlone(int marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

} // namespace

std::optional<JpegHeader> readJpegHeader(QByteArrayView bytes)
{
    const Bytes data(bytes);
    if (!data.has(0, 2) || data.u8(0) != 0xFF || data.u8(1) != 0xD8)
        return std::nullopt;
    JpegHeader header;
    std::optional<QPointF> jfifDpi, exifDpi;
    qsizetype at = 2;
    while (true) {
        if (!data.has(at, 2) || data.u8(at) != 0xFF)
            return std::nullopt;
        while (data.has(at + 1, 1) && data.u8(at + 1) == 0xFF) // fill bytes
            ++at;
        if (!data.has(at, 2))
            return std::nullopt;
        const int marker = data.u8(at + 1);
        at += 2;
        if (standsAlone(marker))
            continue;
        if (marker == 0xD9 || marker == 0xDA || !data.has(at, 2)) // end or scan before any frame
            return std::nullopt;
        const int length = data.u16(at);
        if (length < 2 || !data.has(at, length))
            return std::nullopt;
        const Bytes segment(data.mid(at + 2, length - 2));
        if (marker == 0xE0 && !jfifDpi) {
            jfifDpi = jfifDensity(segment);
        } else if (marker == 0xE1 && isExif(segment)) {
            const ExifFields exif = readExifIfd0(Bytes(segment.mid(6, segment.size() - 6)));
            if (exif.orientation >= 1 && exif.orientation <= 8)
                header.exifOrientation = exif.orientation;
            exifDpi = exifDensity(exif);
        } else if (isStartOfFrame(marker)) {
            if (!segment.has(0, 6))
                return std::nullopt;
            header.frameMarker = marker;
            header.precision = segment.u8(0);
            header.pixels = QSize(segment.u16(3), segment.u16(1));
            header.components = segment.u8(5);
            // A height of 0 is given later by a DNL marker, which PDF readers do not take.
            if (header.pixels.isEmpty() || header.components == 0)
                return std::nullopt;
            // JFIF is the format's own statement; EXIF speaks when JFIF says nothing.
            header.dotsPerInch = jfifDpi ? jfifDpi : exifDpi;
            return header;
        }
        at += length;
    }
}

bool endsWithEndOfImage(QByteArrayView bytes)
{
    return bytes.size() >= 4 && bytes.endsWith(QByteArrayView("\xFF\xD9", 2));
}

} // namespace pdf
