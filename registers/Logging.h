#pragma once
#include <QLoggingCategory>

// Diagnostics of the register screens.
Q_DECLARE_LOGGING_CATEGORY(lcRegisters)
