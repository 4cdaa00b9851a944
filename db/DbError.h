#pragma once
#include <QString>
#include <stdexcept>

namespace db {

/// What went wrong, as far as the program acts on it; the same on every engine.
enum class ErrorKind {
    Other,
    DuplicateKey,       ///< a key or unique value already stored
    MissingReference,   ///< a reference to a row that does not exist (or still referenced)
    CheckViolation,     ///< a size, code or range rule of the archive refused the value
    TooLong,            ///< a text longer than its column's type allows
    NotANumber,         ///< a value that is not valid for the column's type
    OutOfRange,         ///< a number outside its column's type
    NoPrivilege,        ///< the server refused the role the operation
    TransactionAborted, ///< an earlier error ended the transaction; roll back first
    ConnectionFailed,   ///< the server could not be reached, or refused the login
};

/// Raised by every engine-layer operation that fails; carries the engine's message.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    DbError(const QString &message, ErrorKind kind, const QString &sqlState = {})
        : std::runtime_error(message.toStdString()), m_message(message), m_kind(kind),
          m_sqlState(sqlState) {}
    const QString &message() const noexcept { return m_message; }
    ErrorKind kind() const noexcept { return m_kind; }
    /// The server's five-character SQLSTATE; empty when the engine gives none.
    const QString &sqlState() const noexcept { return m_sqlState; }

private:
    QString m_message;
    ErrorKind m_kind = ErrorKind::Other;
    QString m_sqlState;
};

} // namespace db
