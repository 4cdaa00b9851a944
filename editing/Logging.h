#pragma once
#include <QLoggingCategory>

// Diagnostics of the editing framework; errors that reach the hook go to "cartulo.errors".
Q_DECLARE_LOGGING_CATEGORY(lcEditing)
Q_DECLARE_LOGGING_CATEGORY(lcErrors)
