#pragma once
#include "editing/ExifOrientation.h"

#include <QByteArray>
#include <QByteArrayView>

// Reading and recording the EXIF orientation of a page without touching its compressed
// picture.
namespace pages {

using editing::jpeg::Orientation;

/// The orientation the page is seen with: that of its first EXIF segment, Normal without
/// one (or with damaged EXIF data, as viewers read it). Throws editing::jpeg::JpegError
/// when the bytes do not begin as a JPEG picture.
Orientation pageOrientation(QByteArrayView jpeg);

/// The same picture with `orientation` recorded in its EXIF segment. Only the segments
/// before the compressed picture change, and only the EXIF one: the tag is rewritten in
/// place, added to an EXIF segment that lacks it, or a small EXIF segment is inserted
/// (after the JFIF header when there is one, so its density stays where readers look).
/// Everything from the first scan on is byte-identical. Recording Normal where nothing
/// is recorded returns the bytes unchanged.
/// Throws editing::jpeg::JpegError (with a Portuguese message) when the bytes are not a
/// JPEG picture, when an existing EXIF segment is too damaged to edit safely, or when it
/// has no room left; the caller's bytes are never half changed.
QByteArray withOrientation(QByteArrayView jpeg, Orientation orientation);

} // namespace pages
