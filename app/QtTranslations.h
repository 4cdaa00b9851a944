#pragma once

class QCoreApplication;

namespace startup {

/// Qt's own texts (file, print and page set-up dialogs, standard buttons) in Brazilian
/// Portuguese whatever the system's locale, from Qt's translations folder. False when the
/// translation is not installed there; the dialogs then stay in English.
bool installQtTranslations(QCoreApplication &application);

} // namespace startup
