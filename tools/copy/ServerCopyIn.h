#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace db::pg {
class PgConnection;
}

namespace copying {

/// `COPY ... FROM STDIN` in text format on a server connection: lines are gathered and
/// sent in large pieces. finish() ends it and reports the server's refusal; destroyed
/// unfinished, the COPY is cancelled (the server keeps none of its rows).
class ServerCopyIn {
public:
    /// `copyStatement`: "COPY table (columns) FROM STDIN". Throws DbError.
    ServerCopyIn(db::pg::PgConnection &connection, const QString &copyStatement);
    ~ServerCopyIn();
    ServerCopyIn(const ServerCopyIn &) = delete;
    ServerCopyIn &operator=(const ServerCopyIn &) = delete;

    /// One line, with its fields already in COPY's text form and the final "\n".
    void writeLine(QByteArrayView line);
    void finish();

    /// A field's COPY text form: backslash, tab, newline and carriage return escaped.
    static void appendText(QByteArray &line, QByteArrayView text);
    /// bytea in COPY's text form ("\\x" and hexadecimal digits).
    static void appendBytes(QByteArray &line, QByteArrayView bytes);

private:
    void send();

    db::pg::PgConnection &m_connection;
    QByteArray m_buffer;
    bool m_open = true;
};

} // namespace copying
