#pragma once
#include <QLoggingCategory>

// Diagnostics of the advanced search.
Q_DECLARE_LOGGING_CATEGORY(lcSearch)
