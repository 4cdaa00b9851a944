#pragma once
// Installs an error hook for a test's lifetime that records the message of every error.
#include "editing/Guard.h"
#include "tests/support/ErrorText.h"

#include <QStringList>
#include <exception>

struct ErrorRecorder {
    QStringList errors;
    editing::ScopedErrorHook hook{[this](std::exception_ptr error) { errors << testsupport::errorText(error); }};
};
