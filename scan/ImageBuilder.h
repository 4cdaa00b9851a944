#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>
#include <vector>

#include <sane/sane.h>

// Private to the scan library: the one place besides the session that knows SANE's frames.
namespace scan {

/// Turns the frames of one page into a picture: 1-bit line art (a set bit is black),
/// 8- and 16-bit grey and colour (16-bit samples in the machine's byte order), three-pass
/// red/green/blue frames in any order, lines padded past their pixels, and pages of
/// unknown height (lines == -1: as many lines as came). Parameters no picture can be made
/// of are refused before their data is read.
class ImageBuilder {
public:
    /// Takes the parameters of the next frame. Throws ScanError(Malformed) when they
    /// cannot make a page or cannot follow the frames before them.
    void beginFrame(const SANE_Parameters &parameters);
    /// Data of the current frame, as sane_read gave it.
    void append(const SANE_Byte *data, int length);
    /// True once the current frame ends the picture: a grey or colour frame, or the third
    /// colour, whatever it says of frames to come (starting again would feed the next sheet).
    bool isWhole() const;
    /// Bytes the whole page takes, for progress; 0 when the height is unknown.
    qint64 expectedBytes() const { return m_expectedBytes; }
    /// The picture: Grayscale8 for a grey page, RGB32 for a colour one. Throws ScanError(Malformed) for missing colours and
    /// ScanError(Read) when no line came.
    QImage finish() const;

private:
    struct Frame {
        SANE_Parameters parameters{};
        QByteArray data;
        int lines() const;
    };
    std::vector<Frame> m_frames;
    qint64 m_expectedBytes = 0;
};

} // namespace scan
