#pragma once
#include <QString>
#include <stdexcept>

namespace db {

/// Raised by every engine-layer operation that fails; carries the engine's message.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

} // namespace db
