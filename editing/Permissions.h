#pragma once
#include <QString>

class QAbstractButton;
class TFrame1;

namespace db {
class Connection;
}

namespace editing {

/// What the connected user may change, as the server's rights say (group roles
/// cartulo_consulta, cartulo_arquivista, cartulo_admin). A file archive allows everything.
struct Permissions {
    bool includeProcesses = true;
    bool editProcesses = true;
    bool deleteProcesses = true;
    bool includeDocuments = true;
    bool editDocuments = true;
    bool deleteDocuments = true;
    bool changePages = true;
    bool editTypes = true;
    bool deleteTypes = true;
    bool editAgency = true;

    /// Asks the server once; throws DbError when it cannot.
    static Permissions of(db::Connection &connection);
};

/// The tooltip of a control the user may not use: "Sem permissão para " + what.
QString refusalText(const QString &what);

/// Locks the panel's include, edit and delete buttons the user may not use, each with
/// why; `what` names the records ("processos").
void restrictPanel(TFrame1 &panel, bool include, bool edit, bool remove, const QString &what);

} // namespace editing
