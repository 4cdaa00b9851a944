#pragma once
// Real pictures and PDF files for the PDF tests, made with the project's JPEG encoder,
// libjpeg, QPdfWriter, img2pdf and qpdf, and the command-line tools that read them back.
#include "editing/JpegImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdlib>
#include <functional>
#include <jpeglib.h>
#include <optional>
#include <vector>

namespace pdftest {

using namespace Qt::StringLiterals;

// Four flat quadrants: their colours tell which way up a picture shows.
inline QImage quadrants(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    const QRgb colours[4] = {qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(30, 40, 210), qRgb(240, 230, 20)};
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = colours[(x >= size.width() / 2 ? 1 : 0) + (y >= size.height() / 2 ? 2 : 0)];
    }
    return image;
}

// A colour picture whose bytes differ with `seed`, so that pages can be told apart.
inline QByteArray colourJpeg(int seed, QSize size = QSize(300, 420))
{
    QImage image = quadrants(size);
    QPainter painter(&image);
    painter.setPen(QPen(Qt::black, 3));
    // Along the middle, away from the quadrants' centres that the tests look at.
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, u"Página %1"_s.arg(seed));
    painter.drawLine(0, size.height() / 2 + seed % 8, size.width(), size.height() / 2 + seed % 8);
    painter.end();
    return editing::jpeg::encode(image);
}

// A one-component picture with a stated resolution, through Qt's own JPEG writer.
inline QByteArray greyJpeg(QSize size, int dotsPerInch)
{
    QImage image(size, QImage::Format_Grayscale8);
    for (int y = 0; y < size.height(); ++y)
        std::fill_n(image.scanLine(y), size.width(), uchar((y * 255) / size.height()));
    image.setDotsPerMeterX(qRound(dotsPerInch / 0.0254));
    image.setDotsPerMeterY(qRound(dotsPerInch / 0.0254));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

// The JFIF segment the project's encoder writes first, given a density (unit 1 per inch,
// 2 per centimetre).
inline QByteArray withJfifDensity(QByteArray jpeg, int unit, int x, int y)
{
    if (jpeg.mid(6, 5) != QByteArrayView("JFIF\0", 5))
        qFatal("the picture has no JFIF segment first");
    jpeg[13] = char(unit);
    jpeg[14] = char(x >> 8);
    jpeg[15] = char(x & 0xFF);
    jpeg[16] = char(y >> 8);
    jpeg[17] = char(y & 0xFF);
    return jpeg;
}

struct ExifTags {
    std::optional<int> orientation;
    std::optional<double> dotsPerUnit; // X and Y alike, as a rational over 100
    int resolutionUnit = 2;            // 2 inch, 3 centimetre
    bool bigEndian = true;
};

// An EXIF segment (TIFF inside APP1) with the tags given, placed after the JFIF segment.
inline QByteArray withExif(const QByteArray &jpeg, const ExifTags &tags)
{
    QByteArray tiff;
    auto put16 = [&](QByteArray &to, int v) {
        if (tags.bigEndian) { to.append(char(v >> 8)); to.append(char(v & 0xFF)); }
        else { to.append(char(v & 0xFF)); to.append(char(v >> 8)); }
    };
    auto put32 = [&](QByteArray &to, quint32 v) {
        if (tags.bigEndian) { put16(to, int(v >> 16)); put16(to, int(v & 0xFFFF)); }
        else { put16(to, int(v & 0xFFFF)); put16(to, int(v >> 16)); }
    };
    struct Entry { int tag; int type; quint32 value; };
    std::vector<Entry> entries;
    QByteArray extra; // rationals, after the directory
    const int count = int(tags.orientation.has_value()) + (tags.dotsPerUnit ? 3 : 0);
    const quint32 extraStart = 8 + 2 + quint32(count) * 12 + 4;
    if (tags.orientation)
        entries.push_back({0x0112, 3, quint32(*tags.orientation)});
    if (tags.dotsPerUnit) {
        for (int tag : {0x011A, 0x011B}) {
            entries.push_back({tag, 5, extraStart + quint32(extra.size())});
            put32(extra, quint32(qRound(*tags.dotsPerUnit * 100)));
            put32(extra, 100);
        }
        entries.push_back({0x0128, 3, quint32(tags.resolutionUnit)});
    }
    tiff.append(tags.bigEndian ? "MM" : "II");
    put16(tiff, 42);
    put32(tiff, 8);
    put16(tiff, count);
    for (const Entry &e : entries) {
        put16(tiff, e.tag);
        put16(tiff, e.type);
        put32(tiff, 1);
        if (e.type == 3) { put16(tiff, int(e.value)); put16(tiff, 0); }
        else put32(tiff, e.value);
    }
    put32(tiff, 0);
    tiff.append(extra);

    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((payload.size() + 2) >> 8));
    segment.append(char((payload.size() + 2) & 0xFF));
    segment.append(payload);
    const int afterJfif = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    return jpeg.left(afterJfif) + segment + jpeg.mid(afterJfif);
}

// A picture in a colour space or coding the project's encoder does not write (CMYK,
// arithmetic coding), straight from libjpeg.
inline QByteArray libjpegPicture(QSize size, J_COLOR_SPACE space, bool arithmetic)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(size.width());
    cinfo.image_height = JDIMENSION(size.height());
    cinfo.input_components = space == JCS_CMYK ? 4 : 3;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    cinfo.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(size.width()) * size_t(cinfo.input_components), 40);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(outSize));
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolRun runTool(const QString &program, const QStringList &arguments)
{
    ToolRun run;
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        run.err = program.toUtf8() + " is not installed";
        return run;
    }
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForFinished(120000)) {
        run.err = program.toUtf8() + " did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// A PDF of JPEG pictures, one per page, as scanners and other archives write them.
inline bool img2pdf(const QStringList &pictures, const QString &pdf)
{
    const ToolRun run = runTool(u"img2pdf"_s, QStringList(pictures) << u"-o"_s << pdf);
    if (run.exitCode != 0)
        qWarning("img2pdf: %s", run.err.constData());
    return run.exitCode == 0;
}

// A PDF of text and vector drawings on A4 pages.
inline bool textPdf(const QString &path, int pages)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(300);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        QFont font(u"DejaVu Serif"_s);
        font.setPointSize(24);
        painter.setFont(font);
        painter.drawText(QRect(200, 200, 2000, 300), Qt::AlignLeft, u"Ofício nº %1 — licitação"_s.arg(page + 1));
        painter.setPen(QPen(Qt::black, 12));
        painter.drawRect(200, 600, 1800, 1200);
        painter.drawLine(200, 600, 2000, 1800);
    }
    return painter.end();
}

// Opens `in` with qpdf, lets `change` alter it and writes `out` (uncompressed, readable).
inline bool rewritePdf(const QString &in, const QString &out, const std::function<void(QPDF &)> &change)
{
    try {
        QPDF pdf;
        pdf.processFile(QFile::encodeName(in).constData());
        change(pdf);
        const QByteArray outName = QFile::encodeName(out); // the writer keeps the pointer until write()
        QPDFWriter writer(pdf, outName.constData());
        writer.write();
        return true;
    } catch (const std::exception &e) {
        qWarning("qpdf: %s", e.what());
        return false;
    }
}

inline QPDFObjectHandle firstPage(QPDF &pdf)
{
    return QPDFPageDocumentHelper(pdf).getAllPages().front().getObjectHandle();
}

inline QPDFObjectHandle firstImage(QPDF &pdf)
{
    return QPDFPageDocumentHelper(pdf).getAllPages().front().getImages().begin()->second;
}

// Colour distance within JPEG's and rendering's rounding.
inline bool near(QRgb a, QRgb b, int tolerance = 40)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

inline QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace pdftest
