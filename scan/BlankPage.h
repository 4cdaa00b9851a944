#pragma once
#include <QImage>

namespace scan {

/// True when dark points (below mid-grey) cover less than `inkPercent` % of the page
/// inside a margin of 5 % on every side, where feeders leave shadows and punched holes.
bool isBlankPage(const QImage &page, double inkPercent);

} // namespace scan
