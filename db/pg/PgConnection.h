#pragma once
#include "db/ServerAddress.h"
#include "db/pg/PgResult.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

struct pg_conn;

namespace db::pg {

/// One parameter of a statement ($1, $2, ...), never spliced into the SQL text.
struct PgParam {
    std::optional<QByteArray> value; ///< nullopt: SQL NULL
    bool binary = false;
    unsigned type = 0; ///< 0: the server infers it from the statement

    static PgParam text(const QString &value);
    /// bytea, sent in binary form: the bytes arrive unchanged (page images).
    static PgParam bytes(const QByteArray &value);
    static PgParam integer(qint64 value);
    static PgParam null();
};

enum class ResultFormat { Text, Binary };

/// A connection to a PostgreSQL server; owns the PGconn. Text travels as UTF-8, server
/// notices go to the engine layer's logging category, and every failure is a DbError
/// with the server's own message, its SQLSTATE and the kind the program acts on.
class PgConnection {
public:
    /// Connects (keyword arrays, nothing parsed from a string). Throws DbError of kind
    /// ConnectionFailed with the server's message when the server is unreachable or
    /// refuses the role, the database or the password.
    explicit PgConnection(const ServerAddress &address);
    ~PgConnection();
    PgConnection(PgConnection &&) noexcept;
    PgConnection &operator=(PgConnection &&) noexcept;

    /// Runs one statement (a second one in the text is refused by the server). With a
    /// binary result every column comes in binary form: ask for page bytes on their own.
    PgResult exec(const QString &sql, const QList<PgParam> &params = {},
                  ResultFormat format = ResultFormat::Text);

    const ServerAddress &address() const noexcept { return m_address; }
    /// e.g. 150004 for 15.4
    int serverVersion() const;
    bool inTransaction() const;
    pg_conn *handle() const noexcept { return m_conn.get(); }

private:
    struct Finish {
        void operator()(pg_conn *conn) const noexcept;
    };
    std::unique_ptr<pg_conn, Finish> m_conn;
    ServerAddress m_address;
};

/// BEGIN at construction; ROLLBACK at destruction unless commit() ran. An error inside a
/// server transaction spoils the rest of it (SQLSTATE 25P02), so nothing is kept half done.
class PgTransaction {
public:
    explicit PgTransaction(PgConnection &connection);
    ~PgTransaction();
    PgTransaction(const PgTransaction &) = delete;
    PgTransaction &operator=(const PgTransaction &) = delete;

    void commit();

private:
    PgConnection &m_connection;
    bool m_open = true;
};

} // namespace db::pg
