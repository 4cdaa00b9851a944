#pragma once
// Pictures, EXIF segments and JPEG structure made and read by the tests themselves, apart
// from the code under test.
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QtEndian>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include <turbojpeg.h>

namespace fixtures {

enum class Sampling { Grey = TJSAMP_GRAY, S420 = TJSAMP_420, S444 = TJSAMP_444, S422 = TJSAMP_422, S440 = TJSAMP_440 };

inline const char *samplingName(Sampling s)
{
    switch (s) {
    case Sampling::Grey: return "grey";
    case Sampling::S420: return "4:2:0";
    case Sampling::S444: return "4:4:4";
    case Sampling::S422: return "4:2:2";
    case Sampling::S440: return "4:4:0";
    }
    return "?";
}

/// A baseline JPEG with a JFIF header, as TurboJPEG writes it.
inline QByteArray compressed(const QImage &image, Sampling sampling, int quality = 90)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    tjhandle handle = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    const int failed = tjCompress2(handle, rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(),
                                   TJPF_RGB, &out, &size, int(sampling), quality, TJFLAG_ACCURATEDCT);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(size));
    tjFree(out);
    tjDestroy(handle);
    if (failed)
        throw std::runtime_error("tjCompress2 failed");
    return bytes;
}

/// Whether the library itself accepts a perfect transformation of `jpeg`.
inline bool libraryTransformsPerfectly(const QByteArray &jpeg, TJXOP op)
{
    tjhandle handle = tjInitTransform();
    tjtransform t{};
    t.op = op;
    t.options = TJXOPT_PERFECT | TJXOPT_NOOUTPUT;
    unsigned char *out = nullptr;
    unsigned long size = 0;
    const int result = tjTransform(handle, reinterpret_cast<const unsigned char *>(jpeg.constData()),
                                   static_cast<unsigned long>(jpeg.size()), 1, &out, &size, &t, 0);
    tjFree(out);
    tjDestroy(handle);
    return result == 0;
}

/// Blocks of distinct colours: no turn or mirror of it equals another. Cells are 16
/// pixels, so a JPEG round trip keeps each cell's colour near its centre.
inline QImage asymmetricPicture(int columns, int rows)
{
    static const QRgb colours[] = {qRgb(220, 30, 30),  qRgb(30, 190, 40),   qRgb(30, 40, 210),  qRgb(240, 230, 20),
                                   qRgb(20, 20, 20),   qRgb(250, 250, 250), qRgb(200, 40, 200), qRgb(40, 210, 210),
                                   qRgb(140, 90, 20),  qRgb(120, 120, 120), qRgb(250, 150, 60), qRgb(90, 40, 140)};
    QImage image(columns * 16, rows * 16, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, colours[((y / 16) * columns + x / 16) % 12]);
    return image;
}

/// A picture with detail in every block (gradients and a diagonal pattern), of any size.
inline QImage detailedPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 255) / std::max(1, width - 1), (y * 255) / std::max(1, height - 1),
                                      ((x + 2 * y) % 23) * 11));
    return image;
}

/// A white page with a black square near its top left corner, as a scan of a form.
inline QImage pageWithMark(int width, int height)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 100; y < 400; ++y)
        std::fill_n(image.scanLine(y) + 100, 300, uchar(0));
    for (int y = 600; y < height - 200; y += 60) // lines of "text"
        std::fill_n(image.scanLine(y) + 150, width - 300, uchar(40));
    return image;
}

struct Segment {
    int marker = 0;
    qsizetype offset = 0;
    qsizetype size = 0;
    QByteArray bytes(const QByteArray &jpeg) const { return jpeg.mid(offset, size); }
    QByteArray payload(const QByteArray &jpeg) const { return jpeg.mid(offset + 4, size - 4); }
};

/// The segments before the first scan; the scan's offset goes to `scan`.
inline QList<Segment> segmentsOf(const QByteArray &jpeg, qsizetype *scan = nullptr)
{
    const auto *b = reinterpret_cast<const uchar *>(jpeg.constData());
    QList<Segment> segments;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && b[at] == 0xFF) {
        if (b[at + 1] == 0xDA) {
            if (scan)
                *scan = at;
            return segments;
        }
        const qsizetype length = qFromBigEndian<quint16>(b + at + 2);
        segments.append({b[at + 1], at, length + 2});
        at += length + 2;
    }
    throw std::runtime_error("no scan in the JPEG fixture");
}

/// Everything from the first start-of-scan marker on: the compressed picture.
inline QByteArray compressedPicture(const QByteArray &jpeg)
{
    qsizetype scan = 0;
    segmentsOf(jpeg, &scan);
    return jpeg.mid(scan);
}

/// The bytes of every segment but the EXIF ones, in order.
inline QList<QByteArray> segmentBytesExceptExif(const QByteArray &jpeg)
{
    QList<QByteArray> out;
    for (const Segment &s : segmentsOf(jpeg))
        if (!(s.marker == 0xE1 && s.payload(jpeg).startsWith(QByteArray("Exif\0\0", 6))))
            out << s.bytes(jpeg);
    return out;
}

inline QByteArray segment(int marker, const QByteArray &payload)
{
    QByteArray bytes(4, '\0');
    bytes[0] = char(0xFF);
    bytes[1] = char(marker);
    qToBigEndian(quint16(payload.size() + 2), bytes.data() + 2);
    return bytes + payload;
}

/// `jpeg` with `extra` inserted after its first `after` segments (0: right after SOI).
inline QByteArray withSegmentAfter(const QByteArray &jpeg, int after, const QByteArray &extra)
{
    const QList<Segment> segments = segmentsOf(jpeg);
    const qsizetype at = after == 0 ? 2 : segments.at(after - 1).offset + segments.at(after - 1).size;
    return jpeg.left(at) + extra + jpeg.mid(at);
}

/// `jpeg` without its APPn segments (a bare stream, as some scanners write).
inline QByteArray withoutAppSegments(const QByteArray &jpeg)
{
    QByteArray out = jpeg.left(2);
    qsizetype scan = 0;
    for (const Segment &s : segmentsOf(jpeg, &scan))
        if (s.marker < 0xE0 || s.marker > 0xEF)
            out += s.bytes(jpeg);
    return out + jpeg.mid(scan);
}

// ---- EXIF, written by hand in either byte order ----

struct TiffWriter {
    bool bigEndian;
    QByteArray data;

    void u16(quint16 v)
    {
        char b[2];
        bigEndian ? qToBigEndian(v, b) : qToLittleEndian(v, b);
        data.append(b, 2);
    }
    void u32(quint32 v)
    {
        char b[4];
        bigEndian ? qToBigEndian(v, b) : qToLittleEndian(v, b);
        data.append(b, 4);
    }
    void entry(quint16 tag, quint16 type, quint32 count, quint32 valueOrOffset, bool shortValue = false)
    {
        u16(tag);
        u16(type);
        u32(count);
        if (shortValue) {
            u16(quint16(valueOrOffset));
            u16(0);
        } else {
            u32(valueOrOffset);
        }
    }
};

inline constexpr quint16 kMake = 0x010F;
inline constexpr quint16 kXResolution = 0x011A;
inline constexpr quint16 kExifIfd = 0x8769;
inline constexpr quint16 kDateTimeOriginal = 0x9003;
inline constexpr char kMakeText[] = "Cartulo Scan";       // 13 bytes with its NUL
inline constexpr char kDateText[] = "2024:03:15 10:20:30"; // 20 bytes with its NUL

/// An APP1 payload as a camera writes it: IFD0 with Make, the orientation (when given),
/// XResolution and a pointer to the EXIF IFD, which holds DateTimeOriginal; IFD1 exists.
/// Values longer than four bytes lie after the IFDs.
inline QByteArray exifPayload(bool bigEndian, std::optional<quint16> orientation)
{
    TiffWriter w{bigEndian, {}};
    w.data = bigEndian ? QByteArray("MM\0\x2a", 4) : QByteArray("II\x2a\0", 4);
    w.u32(8);
    const quint16 entries = orientation ? 4 : 3;
    const quint32 ifd0End = 8 + 2 + entries * 12 + 4;
    const quint32 makeAt = ifd0End;
    const quint32 resolutionAt = makeAt + 14; // 13 bytes, word aligned
    const quint32 exifIfdAt = resolutionAt + 8;
    const quint32 dateAt = exifIfdAt + 2 + 12 + 4;
    const quint32 ifd1At = dateAt + 20;
    w.u16(entries);
    w.entry(kMake, 2, 13, makeAt);
    if (orientation)
        w.entry(0x0112, 3, 1, *orientation, true);
    w.entry(kXResolution, 5, 1, resolutionAt);
    w.entry(kExifIfd, 4, 1, exifIfdAt);
    w.u32(ifd1At);
    w.data.append(kMakeText, 13);
    w.data.append('\0');
    w.u32(300);
    w.u32(1);
    w.u16(1); // the EXIF IFD
    w.entry(kDateTimeOriginal, 2, 20, dateAt);
    w.u32(0);
    w.data.append(kDateText, 20);
    w.u16(1); // IFD1: one entry, no further IFD
    w.entry(0x0103, 3, 1, 6, true);
    w.u32(0);
    return QByteArray("Exif\0\0", 6) + w.data;
}

inline QByteArray exifSegment(bool bigEndian, std::optional<quint16> orientation)
{
    return segment(0xE1, exifPayload(bigEndian, orientation));
}

/// The value bytes of `tag` in the IFD at `ifdOffset` of a TIFF structure, following the
/// offset when the value is longer than four bytes.
inline std::optional<QByteArray> tiffValue(const QByteArray &tiff, quint32 ifdOffset, quint16 tag)
{
    const bool big = tiff.startsWith("MM");
    const auto *b = reinterpret_cast<const uchar *>(tiff.constData());
    const auto r16 = [&](qsizetype at) { return big ? qFromBigEndian<quint16>(b + at) : qFromLittleEndian<quint16>(b + at); };
    const auto r32 = [&](qsizetype at) { return big ? qFromBigEndian<quint32>(b + at) : qFromLittleEndian<quint32>(b + at); };
    static const int typeSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    const quint16 count = r16(ifdOffset);
    for (quint16 i = 0; i < count; ++i) {
        const qsizetype e = ifdOffset + 2 + i * 12;
        if (r16(e) != tag)
            continue;
        const quint16 type = r16(e + 2);
        const qsizetype bytes = qsizetype(r32(e + 4)) * (type < 13 ? typeSize[type] : 1);
        return bytes <= 4 ? tiff.mid(e + 8, bytes) : tiff.mid(r32(e + 8), bytes);
    }
    return std::nullopt;
}

/// The tags of the IFD at `ifdOffset`, in the order they are written.
inline QList<quint16> tiffTags(const QByteArray &tiff, quint32 ifdOffset)
{
    const bool big = tiff.startsWith("MM");
    const auto *b = reinterpret_cast<const uchar *>(tiff.constData());
    const auto r16 = [&](qsizetype at) { return big ? qFromBigEndian<quint16>(b + at) : qFromLittleEndian<quint16>(b + at); };
    QList<quint16> tags;
    for (quint16 i = 0; i < r16(ifdOffset); ++i)
        tags << r16(ifdOffset + 2 + i * 12);
    return tags;
}

/// IFD0's offset, and the offset that follows IFD0's entries (IFD1's).
inline quint32 ifd0Offset(const QByteArray &tiff)
{
    const auto *b = reinterpret_cast<const uchar *>(tiff.constData()) + 4;
    return tiff.startsWith("MM") ? qFromBigEndian<quint32>(b) : qFromLittleEndian<quint32>(b);
}

inline quint32 nextIfdOffset(const QByteArray &tiff, quint32 ifd)
{
    const bool big = tiff.startsWith("MM");
    const auto *b = reinterpret_cast<const uchar *>(tiff.constData());
    const quint16 count = big ? qFromBigEndian<quint16>(b + ifd) : qFromLittleEndian<quint16>(b + ifd);
    const auto *next = b + ifd + 2 + count * 12;
    return big ? qFromBigEndian<quint32>(next) : qFromLittleEndian<quint32>(next);
}

inline quint32 toU32(const QByteArray &value, bool bigEndian)
{
    const auto *b = reinterpret_cast<const uchar *>(value.constData());
    return bigEndian ? qFromBigEndian<quint32>(b) : qFromLittleEndian<quint32>(b);
}

/// The JFIF header's density: unit, horizontal, vertical.
struct Density {
    int unit = -1;
    int x = 0;
    int y = 0;
    bool operator==(const Density &) const = default;
};

inline std::optional<Density> jfifDensity(const QByteArray &jpeg)
{
    for (const Segment &s : segmentsOf(jpeg)) {
        const QByteArray p = s.payload(jpeg);
        if (s.marker == 0xE0 && p.startsWith(QByteArray("JFIF\0", 5))) {
            const auto *b = reinterpret_cast<const uchar *>(p.constData());
            return Density{b[7], qFromBigEndian<quint16>(b + 8), qFromBigEndian<quint16>(b + 10)};
        }
    }
    return std::nullopt;
}

/// `jpeg` (with a JFIF header first) given another density.
inline QByteArray withDensity(QByteArray jpeg, Density density)
{
    const Segment jfif = segmentsOf(jpeg).first();
    auto *b = reinterpret_cast<uchar *>(jpeg.data()) + jfif.offset + 4;
    b[7] = uchar(density.unit);
    qToBigEndian(quint16(density.x), b + 8);
    qToBigEndian(quint16(density.y), b + 10);
    return jpeg;
}

/// Largest difference of one colour channel between two pictures of one size.
inline int largestDifference(const QImage &a, const QImage &b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *la = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *lb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            largest = std::max({largest, std::abs(qRed(la[x]) - qRed(lb[x])), std::abs(qGreen(la[x]) - qGreen(lb[x])),
                                std::abs(qBlue(la[x]) - qBlue(lb[x]))});
    }
    return largest;
}

} // namespace fixtures
