#pragma once
#include <QString>
#include <QStringList>

struct sqlite3;

namespace db::history {

/// The history of a file archive: the table `historico_registro`, filled by plain-SQL
/// triggers on processo, documento, tipo_arq and orgao (so another SQLite client's changes
/// are recorded too, and still succeed), and the view `historico` that reports it. "Who"
/// is filled by the program's own connection (see identifyWriter); a change by another
/// client reads "cliente sem identificação".
inline constexpr QStringView kTable = u"historico_registro";
inline constexpr QStringView kView = u"historico";
inline constexpr QStringView kUnknownClient = u"cliente sem identificação";

QStringList createStatements();

/// Creates the history in an archive made before it existed; nothing when it is there.
void ensure(sqlite3 *handle);

/// For this connection only: the rows its changes add name this user and workstation.
void identifyWriter(sqlite3 *handle, const QString &user, const QString &workstation);

/// The operating-system user running the program.
QString osUser();

} // namespace db::history
