#pragma once
#include <QString>

#include <stdexcept>

namespace pdf {

/// Raised when a PDF cannot be read or written; the message is meant for the user
/// (Portuguese) and names the file or the page.
class PdfError : public std::runtime_error {
public:
    explicit PdfError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

} // namespace pdf
