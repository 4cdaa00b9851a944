#include "search/Logging.h"

Q_LOGGING_CATEGORY(lcSearch, "cartulo.search", QtInfoMsg)
