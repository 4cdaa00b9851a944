#pragma once
#include <QByteArrayView>
#include <QPointF>
#include <QSize>

#include <optional>

namespace pdf {

/// What a PDF needs to know of a JPEG picture before embedding it, read from its markers
/// alone (nothing is decoded).
struct JpegHeader {
    QSize pixels;
    int components = 0;  ///< 1 grey, 3 colour, 4 CMYK
    int precision = 0;   ///< bits per sample
    int frameMarker = 0; ///< 0xC0 baseline, 0xC1 extended, 0xC2 progressive, ...
    /// Dots per inch the picture states (JFIF density, else EXIF resolution); unset when
    /// it states none.
    std::optional<QPointF> dotsPerInch;
    int exifOrientation = 1; ///< 1 upright ... 8, as the EXIF tag reads; 1 when absent

    /// Huffman-coded baseline, extended or progressive: what PDF's DCTDecode reads.
    bool isDctDecodable() const { return frameMarker >= 0xC0 && frameMarker <= 0xC2 && precision == 8; }
};

/// The header of a JPEG stream, or nothing when the bytes do not start a JPEG picture
/// (no start-of-image marker, no frame before the first scan, a damaged segment).
std::optional<JpegHeader> readJpegHeader(QByteArrayView bytes);

/// True when the stream ends with the end-of-image marker: a picture cut short does not.
bool endsWithEndOfImage(QByteArrayView bytes);

} // namespace pdf
