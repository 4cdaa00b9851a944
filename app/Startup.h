#pragma once
#include <QString>

class QApplication;

namespace startup {

/// Where the program finds its configuration and its archive: always the folder of the
/// program file, never the working directory.
struct Paths {
    QString programDir;      ///< absolute, without a trailing separator
    QString descriptionFile; ///< programDir/cartulo.udl
    QString databaseFile;    ///< programDir/dados/cartulo.db (used only to write cartulo.udl)
};
Paths pathsFor(const QString &programDir);

/// The whole program after the application object exists: writes cartulo.udl when it
/// is missing, opens ConnArq through it, sets the main window up, shows it and runs the
/// event loop. Returns the exit status: 0 after a normal end, 1 when start-up failed
/// (an "Application Error" box with the engine's message, the same line on stderr).
int run(QApplication &application);

} // namespace startup
