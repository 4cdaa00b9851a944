#include "pages/Exif.h"

#include "editing/JpegImage.h"
#include "pages/JpegLayout.h"

#include <QtEndian>

using namespace Qt::StringLiterals;

namespace pages {

namespace {

using editing::jpeg::JpegError;
using editing::jpeg::kExifSignature;
using editing::jpeg::kOrientationTag;
using editing::jpeg::TiffIfd0;

constexpr quint8 kApp0 = 0xE0;
constexpr quint8 kApp1 = 0xE1;
constexpr qsizetype kMaxPayload = 0xFFFF - 2; // the length field counts itself
constexpr qsizetype kEntrySize = 12;
constexpr quint16 kTiffShort = 3;

void put16(QByteArray &data, qsizetype at, quint16 value, bool bigEndian)
{
    auto *p = reinterpret_cast<uchar *>(data.data()) + at;
    bigEndian ? qToBigEndian(value, p) : qToLittleEndian(value, p);
}

void put32(QByteArray &data, qsizetype at, quint32 value, bool bigEndian)
{
    auto *p = reinterpret_cast<uchar *>(data.data()) + at;
    bigEndian ? qToBigEndian(value, p) : qToLittleEndian(value, p);
}

quint16 get16(QByteArrayView data, qsizetype at, bool bigEndian)
{
    const auto *p = reinterpret_cast<const uchar *>(data.data()) + at;
    return bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
}

// tag, SHORT, count 1, the value in the first two bytes of the value field
QByteArray orientationEntry(Orientation orientation, bool bigEndian)
{
    QByteArray entry(kEntrySize, '\0');
    put16(entry, 0, kOrientationTag, bigEndian);
    put16(entry, 2, kTiffShort, bigEndian);
    put32(entry, 4, 1, bigEndian);
    put16(entry, 8, quint16(orientation), bigEndian);
    return entry;
}

QByteArray segmentBytes(quint8 marker, QByteArrayView payload)
{
    QByteArray segment(4, '\0');
    segment[0] = char(0xFF);
    segment[1] = char(marker);
    put16(segment, 2, quint16(payload.size() + 2), true);
    return segment + payload;
}

// A TIFF structure whose IFD0 holds the orientation alone.
QByteArray newExifPayload(Orientation orientation)
{
    QByteArray tiff("MM\0\x2a", 4);
    tiff.resize(8 + 2);
    put32(tiff, 4, 8, true);
    put16(tiff, 8, 1, true);
    tiff += orientationEntry(orientation, true);
    tiff += QByteArray(4, '\0'); // no IFD1
    return kExifSignature.toByteArray() + tiff;
}

// IFD0 with the orientation added, written after everything else: nothing already there
// moves, so every offset in the structure (maker notes included) stays right.
QByteArray tiffWithAddedOrientation(QByteArrayView tiff, const TiffIfd0 &ifd, Orientation orientation)
{
    QByteArray out = tiff.toByteArray();
    if (out.size() % 2 != 0)
        out.append('\0'); // IFDs start on a word boundary
    const qsizetype newIfd = out.size();
    QByteArray count(2, '\0');
    put16(count, 0, quint16(ifd.entryCount + 1), ifd.bigEndian);
    out += count;
    bool added = false;
    for (quint16 i = 0; i < ifd.entryCount; ++i) {
        const qsizetype entry = qsizetype(ifd.offset) + 2 + qsizetype(i) * kEntrySize;
        if (!added && get16(tiff, entry, ifd.bigEndian) > kOrientationTag) {
            out += orientationEntry(orientation, ifd.bigEndian);
            added = true;
        }
        out += tiff.sliced(entry, kEntrySize);
    }
    if (!added)
        out += orientationEntry(orientation, ifd.bigEndian);
    QByteArray next(4, '\0');
    put32(next, 0, ifd.nextIfd, ifd.bigEndian);
    out += next;
    put32(out, 4, quint32(newIfd), ifd.bigEndian);
    return out;
}

QByteArray tiffWithOrientation(QByteArrayView tiff, const TiffIfd0 &ifd, Orientation orientation)
{
    if (!ifd.orientationEntry)
        return tiffWithAddedOrientation(tiff, ifd, orientation);
    QByteArray out = tiff.toByteArray();
    out.replace(qsizetype(*ifd.orientationEntry), kEntrySize, orientationEntry(orientation, ifd.bigEndian));
    return out;
}

QByteArray spliced(QByteArrayView jpeg, qsizetype from, qsizetype to, QByteArrayView replacement)
{
    QByteArray out;
    out.reserve(jpeg.size() - (to - from) + replacement.size());
    out.append(jpeg.first(from));
    out.append(replacement);
    out.append(jpeg.sliced(to));
    return out;
}

// After the JFIF header (and its extensions) when the file starts with one, else right
// after the start of image.
qsizetype newExifOffset(const JpegLayout &layout)
{
    qsizetype at = 2;
    for (const JpegSegment &segment : layout.segments) {
        if (segment.marker != kApp0)
            break;
        at = segment.end();
    }
    return at;
}

} // namespace

Orientation pageOrientation(QByteArrayView jpeg)
{
    const JpegLayout layout = readJpegLayout(jpeg);
    const auto exif = layout.firstExif(jpeg);
    return exif ? editing::jpeg::orientationOfExif(exif->payload(jpeg)) : Orientation::Normal;
}

QByteArray withOrientation(QByteArrayView jpeg, Orientation orientation)
{
    const JpegLayout layout = readJpegLayout(jpeg);
    const auto exif = layout.firstExif(jpeg);
    if (!exif) {
        if (orientation == Orientation::Normal)
            return jpeg.toByteArray();
        const qsizetype at = newExifOffset(layout);
        return spliced(jpeg, at, at, segmentBytes(kApp1, newExifPayload(orientation)));
    }

    const QByteArrayView tiff = exif->payload(jpeg).sliced(kExifSignature.size());
    const auto ifd = editing::jpeg::readTiffIfd0(tiff);
    if (!ifd)
        throw JpegError(u"Os dados EXIF da imagem estão danificados: a orientação não pode ser gravada neles sem risco."_s);
    if (!ifd->orientationEntry && orientation == Orientation::Normal)
        return jpeg.toByteArray();
    const QByteArray payload = kExifSignature.toByteArray() + tiffWithOrientation(tiff, *ifd, orientation);
    if (payload.size() > kMaxPayload)
        throw JpegError(u"Os dados EXIF da imagem não têm espaço para gravar a orientação."_s);
    return spliced(jpeg, exif->offset, exif->end(), segmentBytes(kApp1, payload));
}

} // namespace pages
