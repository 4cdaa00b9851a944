#include "editing/Guard.h"

#include "editing/Edits.h"
#include "editing/Logging.h"

#include <QString>

using namespace Qt::StringLiterals;

namespace editing {

namespace {

ErrorHook &installedHook()
{
    static ErrorHook hook;
    return hook;
}

QString describe(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return u"unknown error"_s;
    }
}

} // namespace

ErrorHook setErrorHook(ErrorHook hook)
{
    ErrorHook previous = std::move(installedHook());
    installedHook() = std::move(hook);
    return previous;
}

void quietErrorHandling(std::exception_ptr error) noexcept
{
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const MaskedEntryError &masked) {
        // The user retypes over the whole date; the prepared text is not shown.
        if (TMaskEdit *entry = masked.entry())
            entry->selectAll();
        qCWarning(lcErrors).noquote() << MaskedEntryError::messageText();
        return;
    } catch (...) {
    }
    qCWarning(lcErrors).noquote() << describe(error);
}

void reportError(std::exception_ptr error) noexcept
{
    const ErrorHook &hook = installedHook();
    if (!hook) {
        quietErrorHandling(error);
        return;
    }
    try {
        hook(error);
    } catch (...) {
        qCWarning(lcErrors).noquote() << "error hook failed on:" << describe(error)
                                      << "with:" << describe(std::current_exception());
    }
}

void runGuarded(const std::function<void()> &handler) noexcept
{
    try {
        handler();
    } catch (...) {
        reportError(std::current_exception());
    }
}

} // namespace editing
