#pragma once
#include <QByteArrayView>
#include <QImage>
#include <QSize>

#include <optional>

// The EXIF orientation of a picture (TIFF tag 0x0112 in IFD0 of an APP1 "Exif" segment):
// how the stored picture is turned or mirrored to be seen upright. Other tools write all
// eight values, so all eight are honoured.
namespace editing::jpeg {

enum class Orientation : quint16 {
    Normal = 1,
    MirrorHorizontal = 2,
    Rotate180 = 3,
    MirrorVertical = 4,
    Transpose = 5,  ///< mirrored along the main diagonal
    Rotate90 = 6,   ///< seen upright after a clockwise quarter turn
    Transverse = 7, ///< mirrored along the other diagonal
    Rotate270 = 8,  ///< seen upright after a counter-clockwise quarter turn
};

/// The first bytes of an APP1 segment that holds EXIF data; the TIFF structure follows.
inline constexpr QByteArrayView kExifSignature{"Exif\0\0", 6};
/// The TIFF tag that holds the orientation.
inline constexpr quint16 kOrientationTag = 0x0112;

/// IFD0 of a TIFF structure, found with every offset checked against the data's size.
struct TiffIfd0 {
    bool bigEndian = false;
    quint32 offset = 0;     ///< of IFD0, from the start of the TIFF data
    quint16 entryCount = 0; ///< 12-byte entries follow the count
    quint32 nextIfd = 0;    ///< offset of IFD1, 0 when there is none
    std::optional<quint32> orientationEntry; ///< offset of the orientation tag's entry
};

/// Reads IFD0 of `tiff` (an APP1 "Exif" payload after its signature); nothing when the
/// structure is damaged or truncated.
std::optional<TiffIfd0> readTiffIfd0(QByteArrayView tiff);

/// The orientation recorded in an APP1 payload (signature included); Normal when the
/// payload is no EXIF data, carries no orientation or an invalid one.
Orientation orientationOfExif(QByteArrayView app1Payload);

/// True for the orientations that exchange width and height (5 to 8).
bool swapsAxes(Orientation orientation);

/// The stored picture as it is seen upright.
QImage oriented(const QImage &stored, Orientation orientation);

/// The size of the picture seen upright, from the stored size.
QSize orientedSize(QSize stored, Orientation orientation);

} // namespace editing::jpeg
