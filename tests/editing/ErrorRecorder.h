#pragma once
// Installs an error hook for a test's lifetime that records the message of every error.
#include "editing/Guard.h"

#include <QStringList>
#include <exception>

struct ErrorRecorder {
    QStringList errors;
    editing::ScopedErrorHook hook{[this](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception &e) {
            errors << QString::fromUtf8(e.what());
        } catch (...) {
            errors << QStringLiteral("unknown error");
        }
    }};
};
