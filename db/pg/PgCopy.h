#pragma once
#include "db/pg/PgConnection.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace db::pg {

/// COPY table (columns) FROM STDIN in text format, row by row: many rows in one statement,
/// far faster than one INSERT each. Destroyed without finish(), the copy is aborted and
/// the server keeps none of its rows. Every value is escaped here; bytea goes as hex.
class PgCopy {
public:
    /// Starts the copy; throws DbError with the server's message (unknown table or column).
    PgCopy(PgConnection &connection, const QString &table, const QStringList &columns);
    ~PgCopy();
    PgCopy(const PgCopy &) = delete;
    PgCopy &operator=(const PgCopy &) = delete;

    PgCopy &text(const QString &value);
    PgCopy &integer(qint64 value);
    PgCopy &real(double value);
    PgCopy &bytes(const QByteArray &value);
    PgCopy &null();
    /// Ends the current row; throws DbError when it has fewer or more values than columns.
    void endRow();

    /// Sends what is left and ends the copy; the server checks every row now at the latest.
    /// Returns the rows the server stored. Throws DbError with the server's message.
    qint64 finish();
    /// Ends the copy keeping nothing (also what destruction without finish() does).
    void abort(const QString &reason);

    qint64 rowsSent() const noexcept { return m_rows; }

private:
    void beginValue();
    void flush();
    void putData(const QByteArray &data);

    PgConnection &m_connection;
    int m_columnCount;
    int m_valuesInRow = 0;
    qint64 m_rows = 0;
    QByteArray m_buffer;
    bool m_open = true;
};

} // namespace db::pg
