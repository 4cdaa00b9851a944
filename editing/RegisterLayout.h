#pragma once
#include <QStringList>

class QObject;
class QStatusBar;
class QWidget;
class TScreen;

namespace db {
class Query;
}

namespace editing {

/// Lays a screen out: its fields on the left, the command panel along the right edge, the
/// status bar along the bottom.
void arrangeScreen(QWidget *screen, QWidget *fields, QWidget *panel, QStatusBar *statusBar);

/// Lays a register screen out (arrangeScreen); it starts browsing: its edits locked.
void arrangeRegisterScreen(TScreen *screen, QWidget *fields, QWidget *panel, QStatusBar *statusBar);

/// A screen's query, named and holding its design-time lines; connected and opened later
/// by the main window.
db::Query *screenQuery(QObject *owner, const QString &name, const QStringList &lines);

} // namespace editing
