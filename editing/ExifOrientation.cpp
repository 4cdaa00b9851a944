#include "editing/ExifOrientation.h"

#include <QTransform>
#include <QtEndian>

namespace editing::jpeg {

namespace {

constexpr quint16 kTiffShort = 3;
constexpr quint16 kTiffLong = 4;
constexpr qsizetype kIfdEntrySize = 12;

std::optional<quint16> read16(QByteArrayView data, qsizetype at, bool bigEndian)
{
    if (at < 0 || at + 2 > data.size())
        return std::nullopt;
    const auto *p = reinterpret_cast<const uchar *>(data.data()) + at;
    return bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
}

std::optional<quint32> read32(QByteArrayView data, qsizetype at, bool bigEndian)
{
    if (at < 0 || at + 4 > data.size())
        return std::nullopt;
    const auto *p = reinterpret_cast<const uchar *>(data.data()) + at;
    return bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
}

std::optional<bool> byteOrder(QByteArrayView tiff)
{
    if (tiff.size() < 8)
        return std::nullopt;
    if (tiff.first(4) == QByteArrayView("II\x2a\0", 4))
        return false;
    if (tiff.first(4) == QByteArrayView("MM\0\x2a", 4))
        return true;
    return std::nullopt;
}

Orientation orientationFromValue(quint32 value)
{
    return value >= 1 && value <= 8 ? Orientation(value) : Orientation::Normal;
}

} // namespace

std::optional<TiffIfd0> readTiffIfd0(QByteArrayView tiff)
{
    const auto bigEndian = byteOrder(tiff);
    if (!bigEndian)
        return std::nullopt;
    TiffIfd0 ifd;
    ifd.bigEndian = *bigEndian;
    const auto offset = read32(tiff, 4, ifd.bigEndian);
    if (!offset || *offset < 8)
        return std::nullopt;
    ifd.offset = *offset;
    const auto count = read16(tiff, qsizetype(ifd.offset), ifd.bigEndian);
    if (!count)
        return std::nullopt;
    ifd.entryCount = *count;
    const qsizetype entries = qsizetype(ifd.offset) + 2;
    const qsizetype end = entries + qsizetype(ifd.entryCount) * kIfdEntrySize;
    if (end > tiff.size())
        return std::nullopt;
    for (qsizetype entry = entries; entry < end; entry += kIfdEntrySize) {
        if (read16(tiff, entry, ifd.bigEndian) == kOrientationTag) {
            ifd.orientationEntry = quint32(entry);
            break;
        }
    }
    // Some writers end IFD0 without the pointer to the next one.
    ifd.nextIfd = read32(tiff, end, ifd.bigEndian).value_or(0);
    return ifd;
}

Orientation orientationOfExif(QByteArrayView app1Payload)
{
    if (!app1Payload.startsWith(kExifSignature))
        return Orientation::Normal;
    const QByteArrayView tiff = app1Payload.sliced(kExifSignature.size());
    const auto ifd = readTiffIfd0(tiff);
    if (!ifd || !ifd->orientationEntry)
        return Orientation::Normal;
    const qsizetype entry = *ifd->orientationEntry;
    const auto type = read16(tiff, entry + 2, ifd->bigEndian);
    if (type == kTiffShort)
        return orientationFromValue(read16(tiff, entry + 8, ifd->bigEndian).value_or(1));
    if (type == kTiffLong)
        return orientationFromValue(read32(tiff, entry + 8, ifd->bigEndian).value_or(1));
    return Orientation::Normal;
}

bool swapsAxes(Orientation orientation)
{
    return quint16(orientation) >= quint16(Orientation::Transpose);
}

QImage oriented(const QImage &stored, Orientation orientation)
{
    // Each orientation is a horizontal mirror or none, followed by a clockwise turn.
    const auto turned = [](const QImage &image, int degrees) {
        return image.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
    case Orientation::Normal:
        return stored;
    case Orientation::MirrorHorizontal:
        return stored.mirrored(true, false);
    case Orientation::Rotate180:
        return stored.mirrored(true, true);
    case Orientation::MirrorVertical:
        return stored.mirrored(false, true);
    case Orientation::Transpose:
        return turned(stored.mirrored(true, false), 270);
    case Orientation::Rotate90:
        return turned(stored, 90);
    case Orientation::Transverse:
        return turned(stored.mirrored(true, false), 90);
    case Orientation::Rotate270:
        return turned(stored, 270);
    }
    return stored;
}

QSize orientedSize(QSize stored, Orientation orientation)
{
    return swapsAxes(orientation) ? stored.transposed() : stored;
}

} // namespace editing::jpeg
