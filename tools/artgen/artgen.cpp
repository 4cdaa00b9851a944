// cartulo-artgen SOURCE.json OUTDIR: paints the pictures of the library img/ctlo.rcc
// from their description and writes them as PNG files with the qrc that lists them.
// Run by the build; the pictures are never edited by hand.
#include "app/WindowShape.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>

using namespace Qt::StringLiterals;
namespace shape = cartulo::shape;

namespace {

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const QColor kInk{0x1f, 0x2d, 0x3d};
const QColor kMuted{0x5a, 0x6b, 0x7d};
const QColor kBody{0xee, 0xf3, 0xf8};
const QColor kBodyLow{0xdc, 0xe6, 0xf0};
const QColor kBand{0xfb, 0xfc, 0xfe};

// A pale tint of a colour, mixed with white: keeps the accents sober.
QColor tint(const QColor &colour, double share)
{
    const auto mix = [share](int channel) { return int(channel * share + 255 * (1 - share) + 0.5); };
    return QColor(mix(colour.red()), mix(colour.green()), mix(colour.blue()));
}

// Bar coordinates of the places the window puts over a background.
constexpr int kTabBottom = 27;     // the shoulders of the outline
constexpr int kBandBottom = 70;    // content areas start at y 72
constexpr int kWindowButtonsLeft = 676;

QFont serifFont(int pixelSize, bool bold)
{
    QFont font(u"DejaVu Serif"_s);
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont sansFont(int pixelSize, bool bold = false)
{
    QFont font(u"DejaVu Sans"_s);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// ---- motifs: simple line drawings in a square box --------------------------------------

QPen inkPen(const QRectF &box)
{
    QPen pen(kInk, std::max(1.5, box.width() / 28.0));
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

void drawArchive(QPainter &p, const QRectF &box, const QColor &accent)
{
    const QRectF cabinet = box.adjusted(box.width() * 0.18, box.height() * 0.04,
                                        -box.width() * 0.18, -box.height() * 0.02);
    p.setPen(inkPen(box));
    p.setBrush(kBand);
    p.drawRoundedRect(cabinet, 3, 3);
    const double drawerHeight = cabinet.height() / 3.0;
    for (int i = 0; i < 3; ++i) {
        const QRectF drawer(cabinet.left() + cabinet.width() * 0.08,
                            cabinet.top() + i * drawerHeight + drawerHeight * 0.12,
                            cabinet.width() * 0.84, drawerHeight * 0.76);
        p.setBrush(i == 0 ? tint(accent, 0.3) : kBody);
        p.drawRect(drawer);
        const QRectF label(drawer.center().x() - drawer.width() * 0.2, drawer.top() + drawer.height() * 0.18,
                           drawer.width() * 0.4, drawer.height() * 0.22);
        p.setBrush(Qt::white);
        p.drawRect(label);
        p.drawLine(QPointF(drawer.center().x() - drawer.width() * 0.12, drawer.top() + drawer.height() * 0.66),
                   QPointF(drawer.center().x() + drawer.width() * 0.12, drawer.top() + drawer.height() * 0.66));
    }
}

void drawSheet(QPainter &p, const QRectF &sheet, const QRectF &box, const QColor &fill)
{
    const double fold = sheet.width() * 0.25;
    QPainterPath outline;
    outline.moveTo(sheet.topLeft());
    outline.lineTo(sheet.right() - fold, sheet.top());
    outline.lineTo(sheet.right(), sheet.top() + fold);
    outline.lineTo(sheet.bottomRight());
    outline.lineTo(sheet.bottomLeft());
    outline.closeSubpath();
    p.setPen(inkPen(box));
    p.setBrush(fill);
    p.drawPath(outline);
    p.drawPolyline(QPolygonF{QPointF(sheet.right() - fold, sheet.top()),
                             QPointF(sheet.right() - fold, sheet.top() + fold),
                             QPointF(sheet.right(), sheet.top() + fold)});
    const double step = sheet.height() / 8.0;
    for (int i = 3; i < 7; ++i) {
        const double y = sheet.top() + i * step;
        const double right = sheet.right() - sheet.width() * (i == 6 ? 0.4 : 0.15);
        p.drawLine(QPointF(sheet.left() + sheet.width() * 0.15, y), QPointF(right, y));
    }
}

void drawDocuments(QPainter &p, const QRectF &box, const QColor &accent)
{
    const QSizeF size(box.width() * 0.55, box.height() * 0.72);
    drawSheet(p, QRectF(box.topLeft() + QPointF(box.width() * 0.1, box.height() * 0.04), size), box,
              tint(accent, 0.22));
    drawSheet(p, QRectF(box.topLeft() + QPointF(box.width() * 0.32, box.height() * 0.24), size), box, Qt::white);
}

void drawMagnifier(QPainter &p, const QRectF &box, const QColor &accent)
{
    drawSheet(p, QRectF(box.left() + box.width() * 0.08, box.top() + box.height() * 0.04,
                        box.width() * 0.5, box.height() * 0.66), box, Qt::white);
    const QPointF centre(box.left() + box.width() * 0.55, box.top() + box.height() * 0.52);
    const double radius = box.width() * 0.22;
    QPen handle = inkPen(box);
    handle.setWidthF(handle.widthF() * 2.6);
    p.setPen(handle);
    p.drawLine(centre + QPointF(radius * 0.72, radius * 0.72), centre + QPointF(radius * 1.9, radius * 1.9));
    p.setPen(inkPen(box));
    QColor glass = tint(accent, 0.3);
    glass.setAlpha(210);
    p.setBrush(glass);
    p.drawEllipse(centre, radius, radius);
}

void drawTag(QPainter &p, const QRectF &box, const QColor &accent)
{
    const QRectF body(box.left() + box.width() * 0.12, box.top() + box.height() * 0.28,
                      box.width() * 0.76, box.height() * 0.44);
    QPainterPath tag;
    tag.moveTo(body.left() + body.height() * 0.5, body.top());
    tag.lineTo(body.right(), body.top());
    tag.lineTo(body.right(), body.bottom());
    tag.lineTo(body.left() + body.height() * 0.5, body.bottom());
    tag.lineTo(body.left(), body.center().y());
    tag.closeSubpath();
    p.setPen(inkPen(box));
    p.setBrush(tint(accent, 0.35));
    p.drawPath(tag);
    p.setBrush(Qt::white);
    const double hole = body.height() * 0.12;
    p.drawEllipse(QPointF(body.left() + body.height() * 0.5, body.center().y()), hole, hole);
    for (int i = 0; i < 2; ++i) {
        const double y = body.top() + body.height() * (0.38 + i * 0.26);
        p.drawLine(QPointF(body.left() + body.width() * 0.36, y), QPointF(body.right() - body.width() * 0.1, y));
    }
}

void drawList(QPainter &p, const QRectF &box, const QColor &accent)
{
    const QRectF board(box.left() + box.width() * 0.18, box.top() + box.height() * 0.1,
                       box.width() * 0.64, box.height() * 0.86);
    p.setPen(inkPen(box));
    p.setBrush(Qt::white);
    p.drawRoundedRect(board, 4, 4);
    p.setBrush(tint(accent, 0.4));
    p.drawRoundedRect(QRectF(board.center().x() - board.width() * 0.22, board.top() - box.height() * 0.06,
                             board.width() * 0.44, box.height() * 0.12), 3, 3);
    const double step = board.height() / 6.0;
    for (int i = 1; i < 6; ++i) {
        const double y = board.top() + i * step + step * 0.2;
        p.setBrush(accent);
        p.drawEllipse(QPointF(board.left() + board.width() * 0.18, y), box.width() * 0.025, box.width() * 0.025);
        p.drawLine(QPointF(board.left() + board.width() * 0.3, y), QPointF(board.right() - board.width() * 0.12, y));
    }
}

void drawBuilding(QPainter &p, const QRectF &box, const QColor &accent)
{
    p.setPen(inkPen(box));
    p.setBrush(tint(accent, 0.3));
    const QPolygonF pediment{QPointF(box.left() + box.width() * 0.06, box.top() + box.height() * 0.34),
                             QPointF(box.center().x(), box.top() + box.height() * 0.06),
                             QPointF(box.right() - box.width() * 0.06, box.top() + box.height() * 0.34)};
    p.drawPolygon(pediment);
    p.setBrush(Qt::white);
    const QRectF base(box.left() + box.width() * 0.04, box.top() + box.height() * 0.86,
                      box.width() * 0.92, box.height() * 0.1);
    p.drawRect(base);
    const QRectF beam(box.left() + box.width() * 0.1, box.top() + box.height() * 0.34,
                      box.width() * 0.8, box.height() * 0.08);
    p.drawRect(beam);
    for (int i = 0; i < 4; ++i) {
        const double x = box.left() + box.width() * (0.18 + i * 0.2);
        p.drawRect(QRectF(x, beam.bottom(), box.width() * 0.08, base.top() - beam.bottom()));
    }
}

void drawHelp(QPainter &p, const QRectF &box, const QColor &accent)
{
    p.setPen(inkPen(box));
    p.setBrush(tint(accent, 0.3));
    p.drawEllipse(box.adjusted(box.width() * 0.08, box.height() * 0.08, -box.width() * 0.08, -box.height() * 0.08));
    p.setFont(serifFont(int(box.height() * 0.6), true));
    p.setPen(kInk);
    p.drawText(box, Qt::AlignCenter, u"?"_s);
}

using Motif = std::function<void(QPainter &, const QRectF &, const QColor &)>;

const std::map<QString, Motif> &motifs()
{
    static const std::map<QString, Motif> table{
        {u"archive"_s, drawArchive},   {u"documents"_s, drawDocuments}, {u"magnifier"_s, drawMagnifier},
        {u"tag"_s, drawTag},           {u"list"_s, drawList},           {u"building"_s, drawBuilding},
        {u"help"_s, drawHelp},
    };
    return table;
}

const Motif &motifNamed(const QString &name)
{
    const auto found = motifs().find(name);
    if (found == motifs().end())
        throw Failure("unknown motif: " + name.toStdString());
    return found->second;
}

// ---- backgrounds -----------------------------------------------------------------------

struct Background {
    QString title;
    QString subtitle;
    QString layout;
    QString motif;
    QColor accent;
    QStringList lines;
    QString footer;
};

QColor colourFrom(const QJsonObject &object, const QString &key)
{
    const QColor colour = QColor::fromString(object.value(key).toString());
    if (!colour.isValid())
        throw Failure("picture without a valid colour in '" + key.toStdString() + "'");
    return colour;
}

void paintShell(QPainter &p, const QSize &size, const QColor &accent)
{
    const QPolygon outline = shape::outlineInBar();
    p.fillRect(QRect(QPoint(0, 0), size), kBody);
    p.setClipRegion(QRegion(outline, Qt::OddEvenFill));

    QLinearGradient body(0, kTabBottom, 0, size.height());
    body.setColorAt(0, kBody);
    body.setColorAt(1, kBodyLow);
    p.fillRect(QRect(0, kTabBottom, size.width(), size.height()), body);

    // The tab starts in the window's own colour, which shows above the bar.
    QLinearGradient tab(0, 0, 0, kTabBottom);
    tab.setColorAt(0, shape::kFrameColour);
    tab.setColorAt(1, shape::kFrameColour.darker(115));
    p.fillRect(QRect(0, 0, size.width(), kTabBottom), tab);

    p.fillRect(QRect(0, kTabBottom, size.width(), kBandBottom - kTabBottom), kBand);
    p.fillRect(QRect(0, kBandBottom - 3, size.width(), 3), accent);
    p.fillRect(QRect(0, kTabBottom, size.width(), 1), shape::kFrameColour.darker(120));

    // A thin rim along the outline so the window's edge reads on any desktop.
    p.setClipping(false);
    p.setPen(QPen(shape::kFrameColour, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(outline);
}

void paintBandTitle(QPainter &p, const Background &bg)
{
    const QRectF icon(40, kTabBottom + 6, 32, 32);
    motifNamed(bg.motif)(p, icon, bg.accent);

    p.setPen(kInk);
    const QFont titleFont = serifFont(24, true);
    p.setFont(titleFont);
    const int titleLeft = 82;
    const int baseline = kBandBottom - 13;
    p.drawText(titleLeft, baseline, bg.title);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(bg.title);

    p.setFont(sansFont(13));
    p.setPen(kMuted);
    const QRect subtitle(titleLeft + titleWidth + 18, kTabBottom, kWindowButtonsLeft - titleLeft - titleWidth - 30,
                         baseline - kTabBottom + 3);
    p.drawText(subtitle, Qt::AlignLeft | Qt::AlignBottom, bg.subtitle);
}

void paintTextLines(QPainter &p, const QRect &area, const QStringList &lines)
{
    p.setFont(sansFont(15));
    p.setPen(kInk);
    const int lineHeight = QFontMetrics(p.font()).height() + 12;
    int y = area.top();
    for (const QString &line : lines) {
        p.setBrush(QColor(shape::kFrameColour));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(area.left() + 4, y + lineHeight / 2.0 - 5), 3.5, 3.5);
        p.setPen(kInk);
        p.drawText(QRect(area.left() + 18, y, area.width() - 18, lineHeight), Qt::AlignLeft | Qt::AlignTop, line);
        y += lineHeight;
    }
}

QImage paintBackground(const Background &bg)
{
    QImage image(shape::kBarSize, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    paintShell(p, image.size(), bg.accent);

    if (bg.layout == u"band") {
        // The screen's content area covers the body.
        paintBandTitle(p, bg);
    } else if (bg.layout == u"page") {
        paintBandTitle(p, bg);
        const QRect card(50, 104, 660, 410);
        p.setPen(QPen(kBodyLow.darker(115), 1));
        p.setBrush(Qt::white);
        p.drawRoundedRect(card, 6, 6);
        motifNamed(bg.motif)(p, QRectF(card.right() - 150, card.bottom() - 150, 120, 120), bg.accent);
        paintTextLines(p, card.adjusted(30, 30, -30, -160), bg.lines);
    } else if (bg.layout == u"home") {
        motifNamed(bg.motif)(p, QRectF(95, 140, 220, 260), bg.accent);
        p.setPen(kInk);
        p.setFont(serifFont(64, true));
        p.drawText(QRect(340, 170, 400, 90), Qt::AlignLeft | Qt::AlignBottom, bg.title);
        p.fillRect(QRect(344, 272, 300, 3), bg.accent);
        p.setFont(sansFont(22));
        p.setPen(kMuted);
        p.drawText(QRect(344, 284, 400, 40), Qt::AlignLeft | Qt::AlignTop, bg.subtitle);
        p.setFont(sansFont(14));
        p.drawText(QRect(344, 330, 360, 80), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, bg.lines.join(u' '));
        p.setFont(sansFont(13, true));
        p.setPen(shape::kFrameColour);
        p.drawText(QRect(0, image.height() - 70, image.width(), 30), Qt::AlignHCenter | Qt::AlignVCenter, bg.footer);
    } else {
        throw Failure("unknown layout: " + bg.layout.toStdString());
    }
    return image;
}

Background backgroundFrom(const QJsonObject &object)
{
    Background bg;
    bg.title = object.value(u"title"_s).toString();
    bg.subtitle = object.value(u"subtitle"_s).toString();
    bg.layout = object.value(u"layout"_s).toString();
    bg.motif = object.value(u"motif"_s).toString();
    bg.accent = colourFrom(object, u"accent"_s);
    for (const QJsonValue &line : object.value(u"lines"_s).toArray())
        bg.lines << line.toString();
    bg.footer = object.value(u"footer"_s).toString();
    return bg;
}

// ---- window buttons: two 25 x 22 images side by side, normal then disabled -------------

void paintGlyph(QPainter &p, const QRectF &face, const QString &glyph, const QColor &ink)
{
    QPen pen(ink, 2.2);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    const QRectF mark = face.adjusted(7.5, 6.5, -7.5, -6.5);
    if (glyph == u"minimise")
        p.drawLine(QPointF(mark.left(), mark.bottom()), QPointF(mark.right(), mark.bottom()));
    else if (glyph == u"close") {
        p.drawLine(mark.topLeft(), mark.bottomRight());
        p.drawLine(mark.topRight(), mark.bottomLeft());
    } else
        throw Failure("unknown glyph: " + glyph.toStdString());
}

QImage paintWindowButton(const QJsonObject &object)
{
    const QString glyph = object.value(u"glyph"_s).toString();
    const QColor fill = colourFrom(object, u"fill"_s);
    QImage image(50, 22, QImage::Format_RGB888);
    image.fill(kBand);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const struct {
        int left;
        QColor face;
        QColor ink;
    } states[] = {{0, fill, Qt::white}, {25, QColor(0xb8, 0xc2, 0xcc), QColor(0xee, 0xf1, 0xf4)}};
    for (const auto &state : states) {
        const QRectF face(state.left + 1.5, 1.5, 22, 19);
        QLinearGradient shade(face.topLeft(), face.bottomLeft());
        shade.setColorAt(0, state.face.lighter(125));
        shade.setColorAt(1, state.face);
        p.setPen(QPen(state.face.darker(130), 1));
        p.setBrush(shade);
        p.drawRoundedRect(face, 3, 3);
        paintGlyph(p, face, glyph, state.ink);
    }
    return image;
}

// ---- driver ------------------------------------------------------------------------------

QJsonArray readPictures(const QString &sourcePath)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        throw Failure("cannot read " + sourcePath.toStdString());
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(source.readAll(), &error);
    if (document.isNull())
        throw Failure(sourcePath.toStdString() + ": " + error.errorString().toStdString());
    return document.object().value(u"pictures"_s).toArray();
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.commit())
        throw Failure("cannot write " + path.toStdString());
}

void writeImage(const QImage &image, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
        throw Failure("cannot write " + path.toStdString());
}

void generate(const QString &sourcePath, const QString &outDir)
{
    if (!QDir().mkpath(outDir))
        throw Failure("cannot create " + outDir.toStdString());
    QString qrc = u"<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n"_s;
    for (const QJsonValue &entry : readPictures(sourcePath)) {
        const QJsonObject object = entry.toObject();
        const QString name = object.value(u"name"_s).toString();
        const QString kind = object.value(u"kind"_s).toString();
        if (name.isEmpty())
            throw Failure("picture without a name");
        QImage image;
        if (kind == u"background")
            image = paintBackground(backgroundFrom(object));
        else if (kind == u"windowButton")
            image = paintWindowButton(object);
        else
            throw Failure("unknown kind of picture: " + kind.toStdString());
        const QString file = name + u".png"_s;
        writeImage(image, outDir + u'/' + file);
        qrc += u"    <file alias=\""_s + name + u"\">"_s + file + u"</file>\n"_s;
    }
    qrc += u"</qresource>\n</RCC>\n"_s;
    writeFile(outDir + u"/ctlo.qrc"_s, qrc.toUtf8());
}

} // namespace

int main(int argc, char **argv)
{
    // Painting text needs a GUI application; no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: cartulo-artgen SOURCE.json OUTDIR\n", stderr);
        return 2;
    }
    try {
        generate(args.at(1), args.at(2));
    } catch (const Failure &failure) {
        std::fprintf(stderr, "cartulo-artgen: %s\n", failure.what());
        return 1;
    }
    return 0;
}
