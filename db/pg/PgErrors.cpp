#include "db/pg/PgErrors.h"

#include <QString>
#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace db::pg {

namespace {

QString field(const pg_result *result, int code)
{
    return QString::fromUtf8(PQresultErrorField(result, code));
}

} // namespace

ErrorKind errorKindOf(QByteArrayView sqlState)
{
    struct Known {
        const char *state;
        ErrorKind kind;
    };
    static constexpr Known known[] = {
        {"23505", ErrorKind::DuplicateKey},
        {"23503", ErrorKind::MissingReference},
        {"23514", ErrorKind::CheckViolation},
        {"23502", ErrorKind::CheckViolation}, // NOT NULL
        {"22001", ErrorKind::TooLong},
        {"22P02", ErrorKind::NotANumber},
        {"42804", ErrorKind::NotANumber}, // a value of another type (a text into a date)
        {"22003", ErrorKind::OutOfRange},
        {"42501", ErrorKind::NoPrivilege},
        {"25P02", ErrorKind::TransactionAborted},
    };
    for (const Known &k : known) {
        if (sqlState == QByteArrayView(k.state))
            return k.kind;
    }
    // Class 08: the connection broke; 28: the login was refused.
    if (sqlState.startsWith("08") || sqlState.startsWith("28"))
        return ErrorKind::ConnectionFailed;
    return ErrorKind::Other;
}

DbError errorOf(const pg_result *result)
{
    const QByteArray state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    QString message = field(result, PG_DIAG_MESSAGE_PRIMARY);
    if (message.isEmpty())
        message = QString::fromUtf8(PQresultErrorMessage(result)).simplified();
    const ErrorKind kind = errorKindOf(state);
    // The detail names the key for these two; for the others it repeats the whole row.
    const QString detail = field(result, PG_DIAG_MESSAGE_DETAIL);
    if ((kind == ErrorKind::DuplicateKey || kind == ErrorKind::MissingReference) && !detail.isEmpty())
        message += u": "_s + detail;
    // Every screen shows this text as it stands: the user must learn why in Portuguese.
    if (kind == ErrorKind::NoPrivilege)
        message = u"Seu usuário não tem permissão para esta operação no servidor; as permissões podem ter "
                  u"mudado (%1)."_s.arg(message);
    return DbError(message, kind, QString::fromLatin1(state));
}

DbError connectionErrorOf(const pg_conn *conn, ErrorKind kind)
{
    const QString message = QString::fromUtf8(PQerrorMessage(conn)).simplified();
    return DbError(message.isEmpty() ? u"A conexão com o servidor PostgreSQL falhou."_s : message,
                   kind);
}

} // namespace db::pg
