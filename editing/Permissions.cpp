#include "editing/Permissions.h"

#include "db/Connection.h"
#include "db/pg/PgConnection.h"
#include "editing/painel.h"

#include <QPushButton>

using namespace Qt::StringLiterals;

namespace editing {

Permissions Permissions::of(db::Connection &connection)
{
    db::pg::PgConnection *server = connection.server();
    if (!server)
        return {};
    const db::pg::PgResult r = server->exec(
        u"SELECT has_table_privilege('processo', 'INSERT'), has_table_privilege('processo', 'UPDATE'), "
        // Each right asked alone: with several names the answer is true when any is held.
        u"has_table_privilege('processo', 'DELETE'), has_table_privilege('documento', 'INSERT'), "
        u"has_table_privilege('documento', 'UPDATE'), has_table_privilege('documento', 'DELETE'), "
        u"has_table_privilege('lauda', 'INSERT') AND has_table_privilege('lauda', 'UPDATE') "
        u"AND has_table_privilege('lauda', 'DELETE') AND has_table_privilege('lauda_excluida', 'INSERT'), "
        u"has_table_privilege('tipo_arq', 'INSERT') AND has_table_privilege('tipo_arq', 'UPDATE'), "
        u"has_table_privilege('tipo_arq', 'DELETE'), "
        u"has_table_privilege('orgao', 'INSERT') AND has_table_privilege('orgao', 'UPDATE')"_s);
    auto yes = [&](int column) { return r.text(0, column) == u"t"_s; };
    Permissions p;
    p.includeProcesses = yes(0);
    p.editProcesses = yes(1);
    p.deleteProcesses = yes(2);
    p.includeDocuments = yes(3);
    p.editDocuments = yes(4);
    p.deleteDocuments = yes(5);
    p.changePages = yes(6);
    p.editTypes = yes(7);
    p.deleteTypes = yes(8);
    p.editAgency = yes(9);
    return p;
}

QString refusalText(const QString &what)
{
    return u"Sem permissão para "_s + what;
}

void restrictPanel(TFrame1 &panel, bool include, bool edit, bool remove, const QString &what)
{
    if (!include)
        panel.forbid(panel.BtnInc, refusalText(u"incluir "_s + what));
    if (!edit)
        panel.forbid(panel.BtnAlt, refusalText(u"editar "_s + what));
    if (!remove)
        panel.forbid(panel.BtnDel, refusalText(u"excluir "_s + what));
}

} // namespace editing
