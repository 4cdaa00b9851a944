#include "pages/PageTurn.h"

#include "editing/JpegImage.h"
#include "pages/JpegLayout.h"

#include <QLoggingCategory>
#include <QtEndian>

#include <optional>

#include <turbojpeg.h>

using namespace Qt::StringLiterals;

namespace pages {

namespace {

Q_LOGGING_CATEGORY(lcPages, "cartulo.pages")

using editing::jpeg::JpegError;

// An orientation as a geometric step: the stored picture, mirrored left to right when
// `mirrored`, then turned clockwise by `quarterTurns`, is what is seen. A further turn
// only adds quarter turns.
struct Placement {
    int quarterTurns = 0;
    bool mirrored = false;
};

Placement placementOf(Orientation orientation)
{
    switch (orientation) {
    case Orientation::Normal: return {0, false};
    case Orientation::Rotate90: return {1, false};
    case Orientation::Rotate180: return {2, false};
    case Orientation::Rotate270: return {3, false};
    case Orientation::MirrorHorizontal: return {0, true};
    case Orientation::Transverse: return {1, true};
    case Orientation::MirrorVertical: return {2, true};
    case Orientation::Transpose: return {3, true};
    }
    return {};
}

Orientation orientationOf(Placement placement)
{
    static constexpr Orientation plain[4] = {Orientation::Normal, Orientation::Rotate90, Orientation::Rotate180,
                                             Orientation::Rotate270};
    static constexpr Orientation mirrored[4] = {Orientation::MirrorHorizontal, Orientation::Transverse,
                                                Orientation::MirrorVertical, Orientation::Transpose};
    return placement.mirrored ? mirrored[placement.quarterTurns] : plain[placement.quarterTurns];
}

int quarterTurnsOf(Turn turn)
{
    switch (turn) {
    case Turn::Clockwise: return 1;
    case Turn::HalfTurn: return 2;
    case Turn::CounterClockwise: return 3;
    }
    return 0;
}

// The transformation of the coefficients that makes a picture recorded with
// `orientation` stand as it is seen.
TJXOP transformationFor(Orientation orientation)
{
    switch (orientation) {
    case Orientation::Normal: return TJXOP_NONE;
    case Orientation::MirrorHorizontal: return TJXOP_HFLIP;
    case Orientation::Rotate180: return TJXOP_ROT180;
    case Orientation::MirrorVertical: return TJXOP_VFLIP;
    case Orientation::Transpose: return TJXOP_TRANSPOSE;
    case Orientation::Rotate90: return TJXOP_ROT90;
    case Orientation::Transverse: return TJXOP_TRANSVERSE;
    case Orientation::Rotate270: return TJXOP_ROT270;
    }
    return TJXOP_NONE;
}

// A partial block on the right edge must not move to the left or top, nor one on the
// bottom edge to the top or left: there it would leave a strip of the picture out.
bool isPerfect(const JpegFrame &frame, Orientation orientation)
{
    if (frame.width <= 0 || frame.height <= 0)
        return false;
    const QSize mcu = frame.mcuSize();
    const bool widthWhole = frame.width % mcu.width() == 0;
    const bool heightWhole = frame.height % mcu.height() == 0;
    switch (orientation) {
    case Orientation::MirrorHorizontal:
    case Orientation::Rotate270:
        return widthWhole;
    case Orientation::MirrorVertical:
    case Orientation::Rotate90:
        return heightWhole;
    case Orientation::Rotate180:
    case Orientation::Transverse:
        return widthWhole && heightWhole;
    case Orientation::Normal:
    case Orientation::Transpose:
        return true;
    }
    return false;
}

struct Transformer {
    Transformer() : handle(tjInitTransform()) {}
    ~Transformer()
    {
        if (handle)
            tjDestroy(handle);
    }
    Transformer(const Transformer &) = delete;
    Transformer &operator=(const Transformer &) = delete;
    tjhandle handle;
};

struct TransformedBuffer {
    TransformedBuffer() = default;
    ~TransformedBuffer() { tjFree(data); }
    TransformedBuffer(const TransformedBuffer &) = delete;
    TransformedBuffer &operator=(const TransformedBuffer &) = delete;
    unsigned char *data = nullptr; // allocated by tjTransform
    unsigned long size = 0;
};

// The coefficients moved by a perfect transformation; every marker segment is copied.
// Nothing when the library refuses (damaged data, a coding it does not transform), with
// its reason in `refusal`.
std::optional<QByteArray> transformed(QByteArrayView jpeg, const JpegFrame &frame, Orientation orientation,
                                      QString &refusal)
{
    Transformer transformer;
    if (!transformer.handle)
        throw JpegError(u"Não foi possível preparar a transformação da imagem: "_s + QString::fromLocal8Bit(tjGetErrorStr2(nullptr)));
    tjtransform transformation{};
    transformation.op = transformationFor(orientation);
    transformation.options = TJXOPT_PERFECT | (frame.progressive() ? TJXOPT_PROGRESSIVE : 0);
    TransformedBuffer out;
    // A warning means damaged data, which a transformation would write back as if whole.
    const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    if (tjTransform(transformer.handle, reinterpret_cast<const unsigned char *>(jpeg.data()),
                    static_cast<unsigned long>(jpeg.size()), 1, &out.data, &out.size, &transformation, flags) != 0) {
        refusal = QString::fromLocal8Bit(tjGetErrorStr2(transformer.handle));
        return std::nullopt;
    }
    return QByteArray(reinterpret_cast<const char *>(out.data), qsizetype(out.size));
}

// The library copies the JFIF density as it was; across a quarter turn the horizontal
// and vertical resolutions trade places.
void swapJfifDensity(QByteArray &jpeg)
{
    constexpr quint8 kApp0 = 0xE0;
    const JpegLayout layout = readJpegLayout(jpeg);
    for (const JpegSegment &segment : layout.segments) {
        const QByteArrayView payload = segment.payload(jpeg);
        if (segment.marker != kApp0 || !payload.startsWith(QByteArrayView("JFIF\0", 5)) || payload.size() < 12)
            continue;
        auto *density = reinterpret_cast<uchar *>(jpeg.data()) + segment.offset + 4 + 8;
        const quint16 x = qFromBigEndian<quint16>(density);
        const quint16 y = qFromBigEndian<quint16>(density + 2);
        qToBigEndian(y, density);
        qToBigEndian(x, density + 2);
        return;
    }
}

} // namespace

TurnedPage turnPage(QByteArrayView jpeg, Turn turn)
{
    const JpegLayout layout = readJpegLayout(jpeg);
    Placement placement = placementOf(pageOrientation(jpeg));
    placement.quarterTurns = (placement.quarterTurns + quarterTurnsOf(turn)) % 4;
    const Orientation seen = orientationOf(placement);

    if (seen != Orientation::Normal && isPerfect(layout.frame, seen)) {
        QString refusal;
        if (auto moved = transformed(jpeg, layout.frame, seen, refusal)) {
            if (editing::jpeg::swapsAxes(seen))
                swapJfifDensity(*moved);
            // An EXIF segment copied along still holds the old orientation.
            return {withOrientation(*moved, Orientation::Normal), TurnMethod::Transformed, Orientation::Normal};
        }
        qCWarning(lcPages) << "lossless transformation refused, the turn is recorded instead:" << refusal;
    }
    return {withOrientation(jpeg, seen), TurnMethod::Recorded, seen};
}

TurnMethod turnPageFile(const QString &path, Turn turn)
{
    const QByteArray bytes = editing::jpeg::readFile(path);
    TurnedPage turned;
    try {
        turned = turnPage(bytes, turn);
    } catch (const JpegError &error) {
        throw JpegError(u"Não foi possível girar a página %1: %2"_s.arg(path, error.message()));
    }
    editing::jpeg::writeFileAtomically(path, turned.bytes);
    return turned.method;
}

} // namespace pages
