#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>
#include <memory>
#include <stdexcept>

// JPEG pictures through libjpeg-turbo: page files, the agency logo and scanned pages.
// Pictures are returned as they are seen: turned and mirrored by their EXIF orientation
// (editing/ExifOrientation.h), so a page turned by recording its orientation previews,
// prints and exports upright.
namespace editing::jpeg {

/// Raised when a picture cannot be read, encoded or written; the message is meant for
/// the user (Portuguese) and names the file where there is one.
class JpegError : public std::runtime_error {
public:
    explicit JpegError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

/// Quality of every picture the program encodes (scanned pages, the logo).
inline constexpr int kPageQuality = 90;

/// True when the bytes are a whole JPEG image that libjpeg can decode: its header reads
/// and its data does not end before the last scan line. Anything else is false.
bool isJpegData(QByteArrayView bytes);
/// The same for a file; false when the file cannot be read.
bool isJpegFile(const QString &path);

/// The whole content of a file. Throws JpegError naming the file when it cannot be read.
QByteArray readFile(const QString &path);

/// Width and height as seen (EXIF orientation applied), from the header alone.
/// Throws JpegError.
QSize imageSize(QByteArrayView bytes);

/// Decodes at full resolution into Format_RGB32 (grey and CMYK pictures included),
/// turned by the EXIF orientation.
/// Throws JpegError when the bytes are not a JPEG image.
QImage decode(QByteArrayView bytes);
/// Reads and decodes a file. Throws JpegError (missing, unreadable or not a JPEG).
QImage decodeFile(const QString &path);

/// Decodes at the smallest DCT scale (n/8) whose result, turned by the EXIF orientation,
/// still covers `box` in both directions, or at full size when the picture is smaller
/// than the box. The caller stretches the result to the box; the full-size picture is
/// never built.
QImage decodeToCover(QByteArrayView bytes, QSize box);
QImage decodeFileToCover(const QString &path, QSize box);

/// Encodes as baseline colour JPEG: three components, 24 bits per pixel, the encoder's
/// default settings at the given quality. Alpha is flattened on white.
/// Throws JpegError for a null image.
QByteArray encode(const QImage &image, int quality = kPageQuality);

/// Encodes a picture handed over in horizontal bands, top to bottom, into the same bytes
/// encode() gives for the whole picture: a page drawn band by band is never held whole.
class BandEncoder {
public:
    /// Throws JpegError for an empty size.
    explicit BandEncoder(QSize size, int quality = kPageQuality);
    ~BandEncoder();
    BandEncoder(const BandEncoder &) = delete;
    BandEncoder &operator=(const BandEncoder &) = delete;

    /// The next rows, as wide as the picture. Throws JpegError for another width or rows
    /// beyond the picture's height.
    void addBand(const QImage &band);
    /// The JPEG bytes. Throws JpegError when rows are missing.
    QByteArray finish();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

/// Writes bytes to `path` whole or not at all: a temporary file in the same folder,
/// flushed to disk, then renamed over the destination. Throws JpegError on failure and
/// leaves whatever was at `path` before untouched.
void writeFileAtomically(const QString &path, QByteArrayView bytes);

/// encode() then writeFileAtomically().
void writeFile(const QImage &image, const QString &path, int quality = kPageQuality);

} // namespace editing::jpeg
