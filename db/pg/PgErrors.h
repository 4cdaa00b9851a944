#pragma once
#include "db/DbError.h"

#include <QByteArrayView>

struct pg_conn;
struct pg_result;

namespace db::pg {

/// The kind of a server error, from its SQLSTATE.
ErrorKind errorKindOf(QByteArrayView sqlState);

/// The error a failed result carries: the server's message (with the key in question for
/// duplicate and reference errors), its SQLSTATE and kind.
DbError errorOf(const pg_result *result);

/// The connection's last error (libpq's own text, or the server's refusal), on one line.
DbError connectionErrorOf(const pg_conn *conn, ErrorKind kind);

} // namespace db::pg
