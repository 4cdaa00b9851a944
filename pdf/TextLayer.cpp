#include "pdf/TextLayer.h"

#include <qpdf/QUtil.hh>

#include <QTransform>

namespace pdf {

namespace {

using Handle = QPDFObjectHandle;

constexpr int kFirstCode = 32;
constexpr int kLastCode = 255;
constexpr double kGlyphWidth = 0.5; // of the font size, every glyph

std::string number(double value)
{
    return QUtil::double_to_string(value, 4);
}

// A PDF string of the word's Latin-1 codes; a character outside Latin-1 becomes '?'.
std::string latin1String(const QString &text)
{
    std::string out = "(";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const int code = u >= kFirstCode && u <= kLastCode && !(u >= 0x7F && u < 0xA0) ? int(u) : '?';
        if (code == '(' || code == ')' || code == '\\') {
            out += '\\';
            out += char(code);
        } else if (code < 0x7F) {
            out += char(code);
        } else {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", code);
            out += octal;
        }
    }
    return out + ")";
}

// Upright picture pixels (y down) to the page's own space (points, y up, before /Rotate).
QTransform seenToPage(QSize seen, QSize pixels, const PagePlacement &placement)
{
    const bool sideways = placement.rotate == 90 || placement.rotate == 270;
    const QSizeF upright = sideways ? QSizeF(pixels.height(), pixels.width()) : QSizeF(pixels);
    // The boxes may come from a picture of another size (a reduced copy): scale first.
    const QTransform toUpright = QTransform::fromScale(upright.width() / seen.width(), upright.height() / seen.height());
    const double w = upright.width(), h = upright.height();
    // Back from upright to the picture as stored and drawn (the turn /Rotate undoes).
    QTransform toDrawn;
    switch (placement.rotate) {
    case 90: toDrawn = QTransform(0, -1, 1, 0, 0, w); break;
    case 180: toDrawn = QTransform(-1, 0, 0, -1, w, h); break;
    case 270: toDrawn = QTransform(0, 1, -1, 0, h, 0); break;
    default: break;
    }
    const double sx = placement.mediaBox.width() / pixels.width();
    const double sy = placement.mediaBox.height() / pixels.height();
    const QTransform toPage(sx, 0, 0, -sy, 0, placement.mediaBox.height());
    return toUpright * toDrawn * toPage;
}

} // namespace

std::string TextLayer::drawing(const QList<TextWord> &words, QSize seenSize, QSize pixels,
                               const PagePlacement &placement) const
{
    if (seenSize.isEmpty() || pixels.isEmpty())
        return {};
    const QTransform toPage = seenToPage(seenSize, pixels, placement);
    std::string out = "BT 3 Tr " + std::string(kFontName) + " 1 Tf\n";
    bool any = false;
    for (const TextWord &word : words) {
        if (word.text.isEmpty() || word.box.isEmpty())
            continue;
        // Glyph space stretched over the box: the baseline on its bottom edge, the word's
        // advance its width, its height the font size.
        const double width = word.box.width(), height = word.box.height();
        const QTransform glyphs(width / (kGlyphWidth * word.text.size()), 0, 0, -height, word.box.left(),
                                word.box.top() + height);
        const QTransform m = glyphs * toPage;
        out += number(m.m11()) + " " + number(m.m12()) + " " + number(m.m21()) + " " + number(m.m22()) + " "
            + number(m.dx()) + " " + number(m.dy()) + " Tm " + latin1String(word.text) + " Tj\n";
        any = true;
    }
    return any ? out + "ET\n" : std::string();
}

QPDFObjectHandle TextLayer::font(QPDF &pdf)
{
    if (m_font.isInitialized())
        return m_font;
    // Every code draws nothing and advances half the font size.
    Handle empty = Handle::newStream(&pdf, number(kGlyphWidth * 1000) + " 0 d0\n");
    Handle procs = Handle::newDictionary();
    Handle differences = Handle::newArray();
    differences.appendItem(Handle::newInteger(kFirstCode));
    Handle widths = Handle::newArray();
    for (int code = kFirstCode; code <= kLastCode; ++code) {
        const std::string glyph = "/g" + std::to_string(code);
        differences.appendItem(Handle::newName(glyph));
        procs.replaceKey(glyph, empty);
        widths.appendItem(Handle::newReal(kGlyphWidth * 1000, 0));
    }
    Handle encoding = Handle::newDictionary();
    encoding.replaceKey("/Type", Handle::newName("/Encoding"));
    encoding.replaceKey("/Differences", differences);
    // Codes are Latin-1, which is Unicode's first 256 characters.
    Handle toUnicode = Handle::newStream(&pdf,
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n"
        "1 beginbfrange\n<20> <FF> <0020>\nendbfrange\n"
        "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
    Handle dict = Handle::newDictionary();
    dict.replaceKey("/Type", Handle::newName("/Font"));
    dict.replaceKey("/Subtype", Handle::newName("/Type3"));
    dict.replaceKey("/FontBBox", Handle::newArray(QPDFObjectHandle::Rectangle(0, 0, 0, 0)));
    dict.replaceKey("/FontMatrix", Handle::newArray(std::vector<Handle>{
                                       Handle::newReal(0.001, 3), Handle::newInteger(0), Handle::newInteger(0),
                                       Handle::newReal(0.001, 3), Handle::newInteger(0), Handle::newInteger(0)}));
    dict.replaceKey("/CharProcs", procs);
    dict.replaceKey("/Encoding", encoding);
    dict.replaceKey("/FirstChar", Handle::newInteger(kFirstCode));
    dict.replaceKey("/LastChar", Handle::newInteger(kLastCode));
    dict.replaceKey("/Widths", widths);
    dict.replaceKey("/Resources", Handle::newDictionary());
    dict.replaceKey("/ToUnicode", toUnicode);
    m_font = pdf.makeIndirectObject(dict);
    return m_font;
}

} // namespace pdf
