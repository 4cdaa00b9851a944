#pragma once
#include <QString>
#include <exception>

namespace testsupport {

/// The message an error hook receives, as the tests record it.
inline QString errorText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

} // namespace testsupport
