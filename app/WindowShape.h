#pragma once
// The main window's outline and the fixed places on it. Header-only so that the
// artwork generator draws its backgrounds on exactly the shape the window shows.
#include <QColor>
#include <QPoint>
#include <QPolygon>
#include <QSize>
#include <array>

namespace cartulo::shape {

inline constexpr QSize kWindowSize{783, 603};
inline constexpr QSize kClientSize{775, 565};
// Where the old caption put the client area: the bars' buttons then fall inside the tab.
inline constexpr QPoint kContentOrigin{4, 34};
// A bar sits one pixel inside its screen panel, over the panel's bevel.
inline constexpr QPoint kBarOffsetInPanel{1, 1};
inline constexpr QSize kBarSize{kClientSize.width() - 2, kClientSize.height() - 2};
inline constexpr QSize kContentAreaSize{695, 475};

// Outline in window coordinates. The right shoulder is at y 61, the left one at 62:
// that asymmetry is part of the shape.
inline constexpr std::array<QPoint, 20> kOutlinePoints{{
    {48, 24}, {46, 25}, {44, 27}, {42, 31}, {39, 44}, {36, 62}, {19, 62},
    {5, 75}, {5, 586}, {13, 586}, {13, 594}, {755, 594}, {755, 84}, {730, 61},
    {716, 61}, {714, 44}, {710, 31}, {708, 27}, {706, 25}, {705, 24},
}};

inline QPolygon outline(QPoint offset = {})
{
    QPolygon polygon;
    polygon.reserve(int(kOutlinePoints.size()));
    for (const QPoint &p : kOutlinePoints)
        polygon << p + offset;
    return polygon;
}

// The outline as a bar sees it (its origin is the content origin plus its panel offset).
inline QPolygon outlineInBar()
{
    return outline(-(kContentOrigin + kBarOffsetInPanel));
}

// Colour of the window's own surface, visible in the tab above the panels; the
// artwork's tab uses it too so the two meet without a seam.
inline constexpr QColor kFrameColour{0x1f, 0x3a, 0x5f};
inline constexpr QColor kContentBackground{117, 197, 240};

} // namespace cartulo::shape
