#pragma once
#include "pages/Exif.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Turning a page by quarter turns without ever decoding and encoding it again, so no turn
// costs a pixel or any quality.
namespace pages {

/// A turn as the user sees it on the page.
enum class Turn {
    Clockwise,        ///< "Girar à direita"
    CounterClockwise, ///< "Girar à esquerda"
    HalfTurn,         ///< "Girar 180°"
};

/// How a turn reached the bytes.
enum class TurnMethod {
    /// The stored coefficients were moved (a perfect lossless transformation): the picture
    /// itself now stands as it is seen, and any EXIF orientation says Normal.
    Transformed,
    /// Only the EXIF orientation changed: the picture's size does not allow a perfect
    /// transformation (a 300-dpi A4 scan is 2480x3508, and 3508 is no multiple of the
    /// 8- or 16-pixel block), and the compressed picture stays byte-identical.
    Recorded,
};

struct TurnedPage {
    QByteArray bytes;
    TurnMethod method = TurnMethod::Recorded;
    Orientation orientation = Orientation::Normal; ///< what the new bytes record
};

/// Turns the page as it is seen: the orientation already recorded and the new turn are
/// composed, and the whole composition is carried out on the coefficients when that is
/// perfect for this picture's size and sampling; otherwise it is recorded in EXIF.
/// Throws editing::jpeg::JpegError (Portuguese message) when the bytes are not a JPEG
/// picture or the orientation cannot be recorded in their EXIF data.
TurnedPage turnPage(QByteArrayView jpeg, Turn turn);

/// turnPage() on a page file, written back whole or not at all (temporary file, flushed,
/// renamed over the page). Throws editing::jpeg::JpegError naming the file; the page is
/// then untouched.
TurnMethod turnPageFile(const QString &path, Turn turn);

} // namespace pages
