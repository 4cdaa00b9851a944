#pragma once
#include <QLoggingCategory>

// Diagnostics of PDF reading and writing, the PDF libraries' own complaints included.
Q_DECLARE_LOGGING_CATEGORY(lcPdf)
