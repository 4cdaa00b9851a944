#pragma once
#include <QImage>
#include <QString>

namespace cartulo {

/// The picture of a bar's screen button: a 24-bit image of 88 x 23 pixels (88 x 24 for
/// "Ajuda") holding a rounded label with the word. Part of the program, drawn at run
/// time, so the bars work without the picture library.
QImage screenButtonPicture(const QString &word);

} // namespace cartulo
