#include "scan/ImageBuilder.h"

#include "scan/ScanTypes.h"

#include <cstring>

using namespace Qt::StringLiterals;

namespace scan {

namespace {

// One sample of a line: 1-bit samples are packed from the most significant bit;
// 16-bit samples come in the machine's byte order.
int sampleAt(const uchar *line, int index, int depth)
{
    switch (depth) {
    case 1:
        return (line[index / 8] >> (7 - index % 8)) & 1;
    case 16: {
        quint16 value;
        std::memcpy(&value, line + 2 * index, sizeof value);
        return value >> 8;
    }
    default:
        return line[index];
    }
}

int channelOf(SANE_Frame format)
{
    switch (format) {
    case SANE_FRAME_RED: return 0;
    case SANE_FRAME_GREEN: return 1;
    case SANE_FRAME_BLUE: return 2;
    default: return -1;
    }
}

// Why the parameters a backend reports cannot make a page, or nothing when they can: a
// known frame format, 1, 8 or 16 bits per sample, and lines that hold their pixels (a
// shorter line would be read past its end).
std::optional<QString> invalidParameters(const SANE_Parameters &p)
{
    const bool knownFormat = p.format == SANE_FRAME_GRAY || p.format == SANE_FRAME_RGB || channelOf(p.format) >= 0;
    if (!knownFormat)
        return u"formato de quadro desconhecido (%1)"_s.arg(int(p.format));
    if (p.depth != 1 && p.depth != 8 && p.depth != 16)
        return u"%1 bits por amostra (o programa lê 1, 8 ou 16)"_s.arg(p.depth);
    if (p.pixels_per_line <= 0)
        return u"%1 pixels por linha"_s.arg(p.pixels_per_line);
    if (p.lines < -1)
        return u"%1 linhas"_s.arg(p.lines);
    const qint64 channels = p.format == SANE_FRAME_RGB ? 3 : 1;
    const qint64 needed = (qint64(p.pixels_per_line) * channels * p.depth + 7) / 8;
    if (p.bytes_per_line < needed)
        return u"linhas de %1 bytes para %2 pixels, que ocupam %3 bytes"_s.arg(p.bytes_per_line).arg(p.pixels_per_line).arg(needed);
    return std::nullopt;
}

[[noreturn]] void malformed(const QString &why)
{
    throw ScanError(ScanError::Kind::Malformed, u"O scanner enviou dados de imagem inválidos: "_s + why + u'.');
}

void fillGreyLine(uchar *out, const uchar *line, int depth, int width)
{
    switch (depth) {
    case 8:
        std::memcpy(out, line, size_t(width));
        break;
    case 1:
        for (int x = 0; x < width; ++x)
            out[x] = sampleAt(line, x, 1) ? 0 : 255; // line art: a set bit is black
        break;
    default:
        for (int x = 0; x < width; ++x)
            out[x] = uchar(sampleAt(line, x, depth));
    }
}

void fillColourLine(QRgb *out, const uchar *line, const SANE_Parameters &p, int width)
{
    const int depth = p.depth;
    if (p.format == SANE_FRAME_RGB) {
        for (int x = 0; x < width; ++x) {
            int rgb[3];
            for (int c = 0; c < 3; ++c) {
                rgb[c] = sampleAt(line, x * 3 + c, depth);
                if (depth == 1)
                    rgb[c] = rgb[c] ? 255 : 0; // colour bits: a set bit is full intensity
            }
            out[x] = qRgb(rgb[0], rgb[1], rgb[2]);
        }
    } else if (const int channel = channelOf(p.format); channel >= 0) {
        const int shift = 16 - 8 * channel;
        for (int x = 0; x < width; ++x) {
            int v = sampleAt(line, x, depth);
            if (depth == 1)
                v = v ? 255 : 0;
            out[x] = (out[x] & ~(0xFFu << shift)) | (QRgb(v) << shift);
        }
    }
}

QImage blankImage(int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    if (image.isNull())
        throw ScanError(ScanError::Kind::NoMemory, u"Não há memória para a página lida do scanner."_s);
    return image;
}

const uchar *lineOf(const QByteArray &data, const SANE_Parameters &p, int y)
{
    return reinterpret_cast<const uchar *>(data.constData()) + qsizetype(y) * p.bytes_per_line;
}

} // namespace

int ImageBuilder::Frame::lines() const
{
    const int bpl = parameters.bytes_per_line;
    if (bpl <= 0)
        return 0;
    const int received = int(data.size() / bpl); // lines == -1: as many as came
    return parameters.lines >= 0 ? std::min(parameters.lines, received) : received;
}

void ImageBuilder::beginFrame(const SANE_Parameters &p)
{
    if (const auto why = invalidParameters(p))
        malformed(*why);
    // The three colours of a three-pass scan come once each, alike in size and depth.
    if (!m_frames.empty()) {
        const SANE_Parameters &first = m_frames.front().parameters;
        if (channelOf(p.format) < 0 || channelOf(first.format) < 0)
            malformed(u"um quadro de outro tipo no meio de uma imagem em três passadas"_s);
        if (p.pixels_per_line != first.pixels_per_line || p.depth != first.depth)
            malformed(u"quadros de tamanhos diferentes na mesma imagem"_s);
        for (const Frame &frame : m_frames)
            if (frame.parameters.format == p.format)
                malformed(u"a mesma cor enviada duas vezes"_s);
    }
    if (m_frames.empty() && p.lines > 0)
        m_expectedBytes = qint64(p.bytes_per_line) * p.lines * (channelOf(p.format) >= 0 ? 3 : 1);
    Frame frame;
    frame.parameters = p;
    // Room for the announced page, within reason: a page that is bigger grows as it comes.
    constexpr qint64 kMostReserved = 256 * 1024 * 1024;
    if (p.lines > 0)
        frame.data.reserve(qsizetype(std::min(kMostReserved, qint64(p.lines) * p.bytes_per_line)));
    m_frames.push_back(std::move(frame));
}

void ImageBuilder::append(const SANE_Byte *data, int length)
{
    if (!m_frames.empty() && length > 0)
        m_frames.back().data.append(reinterpret_cast<const char *>(data), length);
}

bool ImageBuilder::isWhole() const
{
    if (m_frames.empty())
        return false;
    const SANE_Parameters &p = m_frames.back().parameters;
    return p.last_frame || channelOf(p.format) < 0 || m_frames.size() == 3;
}

QImage ImageBuilder::finish() const
{
    if (m_frames.empty())
        throw ScanError(ScanError::Kind::Read, u"O scanner não enviou nenhuma linha."_s);
    if (channelOf(m_frames.front().parameters.format) >= 0 && m_frames.size() != 3)
        malformed(u"faltam cores da imagem em três passadas"_s);
    const int width = m_frames.front().parameters.pixels_per_line;
    int height = m_frames.front().lines();
    for (const Frame &frame : m_frames)
        height = std::min(height, frame.lines());
    if (width <= 0 || height <= 0)
        throw ScanError(ScanError::Kind::Read, u"O scanner não enviou nenhuma linha."_s);
    // A grey page stays grey: a quarter of the memory, every pixel written once.
    const SANE_Parameters &first = m_frames.front().parameters;
    if (first.format == SANE_FRAME_GRAY) {
        QImage image = blankImage(width, height, QImage::Format_Grayscale8);
        for (int y = 0; y < height; ++y)
            fillGreyLine(image.scanLine(y), lineOf(m_frames.front().data, first, y), first.depth, width);
        return image;
    }
    QImage image = blankImage(width, height, QImage::Format_RGB32);
    if (m_frames.size() > 1)
        image.fill(Qt::black); // three colours are laid in one by one
    for (const Frame &frame : m_frames)
        for (int y = 0; y < height; ++y)
            fillColourLine(reinterpret_cast<QRgb *>(image.scanLine(y)), lineOf(frame.data, frame.parameters, y),
                           frame.parameters, width);
    return image;
}

} // namespace scan
