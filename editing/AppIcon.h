#pragma once
#include <QIcon>
#include <QPixmap>

namespace editing {

/// The application's icon, drawn by the program itself: set on the main window and shown
/// by screens where a picture is missing (a page preview without a page).
QPixmap applicationIcon(int size = 64);
/// The same at the sizes a window system asks for.
QIcon applicationWindowIcon();

} // namespace editing
