#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>

struct pg_result;

namespace db::pg {

/// One result of a statement on a PostgreSQL server; owns the PGresult.
class PgResult {
public:
    PgResult() = default;
    explicit PgResult(pg_result *result) noexcept;

    int rowCount() const;
    int columnCount() const;
    QString columnName(int column) const;
    /// The type's OID as the server reports it (a domain reports its base type).
    unsigned columnType(int column) const;
    bool isNull(int row, int column) const;
    /// The value's bytes as sent: text, or the binary form when the result was asked binary.
    QByteArrayView bytes(int row, int column) const;
    /// A text-format value as text; empty for NULL.
    QString text(int row, int column) const;
    /// Rows changed by an INSERT, UPDATE or DELETE.
    qint64 affectedRows() const;

    pg_result *get() const noexcept { return m_result.get(); }

private:
    struct Clear {
        void operator()(pg_result *result) const noexcept;
    };
    std::unique_ptr<pg_result, Clear> m_result;
};

} // namespace db::pg
