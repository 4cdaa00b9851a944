#pragma once
#include <QString>
#include <QStringList>

#include <vector>

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

/// A row the program writes itself, for a change no table trigger can see (the page files
/// beside a file archive). A null antes or depois is stored as NULL.
struct WrittenRow {
    QString operacao;
    QString tabela;
    QString chave;
    QString registro; ///< the record whose history lists the row
    QString antes;
    QString depois;
};

/// Adds `rows` as the table triggers add theirs: the time now, who and where named as
/// identifyWriter set them. All or none (inside the caller's transaction when there is
/// one); throws DbError.
void append(sqlite3 *handle, const std::vector<WrittenRow> &rows);

/// The operating-system user running the program.
QString osUser();

} // namespace db::history
