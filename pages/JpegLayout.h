#pragma once
#include <QByteArrayView>
#include <QList>
#include <QSize>

#include <optional>

// The marker segments of a JPEG file up to its compressed picture, read without decoding:
// where the lossless transformations find the frame's geometry and the EXIF segment, and
// what they leave untouched.
namespace pages {

/// One marker segment before the first scan.
struct JpegSegment {
    quint8 marker = 0;    ///< 0xE0 + n for APPn, 0xC0 for a baseline frame, ...
    qsizetype offset = 0; ///< of its 0xFF in the file
    qsizetype size = 0;   ///< marker, length field and payload

    qsizetype end() const { return offset + size; }
    /// The bytes after the length field.
    QByteArrayView payload(QByteArrayView jpeg) const { return jpeg.sliced(offset + 4, size - 4); }
};

/// The frame header: the picture's size and sampling.
struct JpegFrame {
    quint8 marker = 0; ///< 0xC0 baseline, 0xC1 extended, 0xC2 progressive, ...
    int width = 0;
    int height = 0;
    int components = 0;
    int maxHorizontalSampling = 1;
    int maxVerticalSampling = 1;

    /// The block of pixels that a lossless transformation moves whole: 8x8 for one
    /// component, 8 times the largest sampling factors otherwise (16x16 for 4:2:0).
    QSize mcuSize() const;
    bool progressive() const { return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE; }
};

struct JpegLayout {
    QList<JpegSegment> segments; ///< from the start of image to the first scan, in order
    qsizetype scanOffset = 0;    ///< the first start-of-scan marker: the compressed picture begins here
    JpegFrame frame;

    /// The first APP1 segment holding EXIF data, as viewers pick it.
    std::optional<JpegSegment> firstExif(QByteArrayView jpeg) const;
};

/// Reads the segments before the first scan. Throws editing::jpeg::JpegError when the
/// bytes do not begin as a JPEG picture (no start of image, a segment running past the
/// end, no frame header or no scan).
JpegLayout readJpegLayout(QByteArrayView jpeg);

} // namespace pages
