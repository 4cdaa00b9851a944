#pragma once
#include <QString>
#include <QStringList>

namespace db::pg {

class PgConnection;

/// Who may do what on a server archive, and the record of who did what.
///
/// Three group roles (NOLOGIN): `cartulo_consulta` reads, `cartulo_arquivista` besides
/// includes and edits processes and documents and changes pages, `cartulo_admin` besides
/// deletes processes and documents and edits the document types and the agency profile.
/// Workstation users are login roles, members of one group.
///
/// The history (`historico_registro`, read as the view `historico`) is written only by
/// triggers owned by the database owner: every change of processo, documento, tipo_arq,
/// orgao and of the page tables, with the server's time, the session's login role and the
/// workstation the client names (application_name). No group may change or delete a row.
namespace roles {

inline constexpr QStringView kConsulta = u"cartulo_consulta";
inline constexpr QStringView kArquivista = u"cartulo_arquivista";
inline constexpr QStringView kAdmin = u"cartulo_admin";
inline constexpr QStringView kHistoryTable = u"historico_registro";
inline constexpr QStringView kHistoryView = u"historico";

/// The history table, its view, index and triggers; idempotent. Needs the database owner.
void ensureHistory(PgConnection &connection);

/// The three group roles (when missing and the connected role may create roles) and their
/// rights on every table of the archive present now (the page-text table included once it
/// exists); idempotent. Returns the groups that could not be made (no CREATEROLE).
QStringList ensureRoles(PgConnection &connection);

/// Both of the above when the connected role owns the database (a workstation's login does
/// without, quietly); in one transaction, so a failure leaves the archive as it was.
/// Returns a note for the user, empty when all is in place.
QString bringUpToDate(PgConnection &connection);

/// True when the database holds the history.
bool hasHistory(PgConnection &connection);

} // namespace roles
} // namespace db::pg
